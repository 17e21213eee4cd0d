// Play, stop, the play-head, the start position and A/B through the window, with a
// fake audio output; and the disabled controls on a machine without a device.
#include <cstring>

#include <QAction>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "FormFixture.h"
#include "app/PictureView.h"

namespace kestrelon::test {
namespace {

class NoDeviceTest : public TForm1Test {
protected:
    QString deviceMissing() const override
    {
        return QStringLiteral("音声出力装置が見つかりません");
    }
};

TEST_F(NoDeviceTest, PlayControlsAreDisabledAndSayWhy)
{
    open("voice.wav");
    for (QAction* a : {form->Play, form->Stop, form->Compare}) {
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
        EXPECT_EQ(a->toolTip(), "音声出力装置が見つかりません");
    }
    for (QToolButton* b : {form->ToolButton10, form->ToolButton11, form->ToolButton12}) {
        EXPECT_FALSE(b->isEnabled());
        EXPECT_EQ(b->toolTip(), "音声出力装置が見つかりません");
    }
    form->PlayClick(); // reached anyway: nothing plays, nothing fails
    EXPECT_EQ(audio->starts, 0);
    EXPECT_FALSE(form->player().isPlaying());
    // Everything else works.
    EXPECT_TRUE(form->Save->isEnabled());
}

class ListeningTest : public TForm1Test {
protected:
    // The picture column of a frame: one column per analysis frame, hop N / 2.
    int column(double frame) const { return 48 + int(std::lround(frame / 512.0)); }
    void expectPulled(const TWave& w, uint32_t fromFrame, const QByteArray& chunk, const char* what)
    {
        const size_t bpf = w.FFormat.nBlockAlign;
        ASSERT_LE(fromFrame * bpf + size_t(chunk.size()), w.FData.size()) << what;
        EXPECT_EQ(0,
            std::memcmp(chunk.constData(), w.FData.data() + fromFrame * bpf, size_t(chunk.size())))
            << what;
    }
};

TEST_F(ListeningTest, PlayStopAndTheSpaceBar)
{
    EXPECT_FALSE(form->Play->isEnabled()) << "nothing to play yet";
    open("voice.wav", 44100, 2, 44100);
    EXPECT_TRUE(form->Play->isEnabled());
    EXPECT_FALSE(form->Stop->isEnabled());
    EXPECT_FALSE(form->Compare->isEnabled()) << "no import to compare with";
    EXPECT_EQ(form->ToolButton10->toolTip(), "音を再生する");

    form->PlayClick();
    ASSERT_TRUE(audio->running);
    EXPECT_EQ(audio->format, (DeviceFormat{44100, 2, PcmSample::Int16}));
    EXPECT_FALSE(form->Play->isEnabled());
    EXPECT_TRUE(form->Stop->isEnabled());
    expectPulled(*form->document().FWave, 0, audio->pull(4 * 10000), "from the start");

    // The play-head follows what was heard.
    audio->played = 5120;
    form->player().tick();
    EXPECT_EQ(form->ScrollBox1->playHead(), column(5120));

    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_Space);
    EXPECT_FALSE(audio->running) << "space stops";
    EXPECT_EQ(form->ScrollBox1->playHead(), -1);
    EXPECT_TRUE(form->Play->isEnabled());
    QTest::keyClick(form.get(), Qt::Key_Space);
    EXPECT_TRUE(audio->running) << "space plays";
    EXPECT_EQ(audio->starts, 2);
    form->StopClick();

    // Played to the end: the controls come back by themselves.
    form->PlayClick();
    while (!audio->source->atEnd())
        audio->pull(1 << 16);
    audio->played = audio->pulledFrames();
    form->player().tick();
    EXPECT_FALSE(form->player().isPlaying());
    EXPECT_TRUE(form->Play->isEnabled());
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(ListeningTest, AClickInThePictureSetsWherePlayingStarts)
{
    open("voice.wav", 44100, 1, 44100);
    form->resize(400, 700);
    showForm();
    QWidget* viewport = form->ScrollBox1->viewport();

    // In the data area: frame 30 of the analysis, sample 30 * 512.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(48 + 30, 200));
    EXPECT_DOUBLE_EQ(form->player().startFrame(), 30 * 512.0);
    EXPECT_EQ(form->ScrollBox1->startMarker(), 48 + 30);
    // In the time axis above it.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(48 + 12, 5));
    EXPECT_DOUBLE_EQ(form->player().startFrame(), 12 * 512.0);
    // The frequency axis at the left sets nothing.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(20, 200));
    EXPECT_DOUBLE_EQ(form->player().startFrame(), 12 * 512.0);

    form->PlayClick();
    expectPulled(*form->document().FWave, 12 * 512, audio->pull(2 * 1000), "from the click");
    audio->played = 1000;
    form->player().tick();
    EXPECT_EQ(form->ScrollBox1->playHead(), column(12 * 512 + 1000));

    // The play-head is drawn over the picture; the picture is left as it was.
    const QImage before = form->document().FBitmap.copy();
    QCoreApplication::processEvents();
    const QImage grabbed = viewport->grab().toImage();
    const int x = column(12 * 512 + 1000) - form->ScrollBox1->scrollOffset().x();
    const QRgb line = grabbed.pixel(x, 300);
    EXPECT_GT(qRed(line), 200);
    EXPECT_LT(qGreen(line), 100);
    EXPECT_EQ(form->document().FBitmap, before);

    // A click while playing plays on from there.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(48 + 50, 200));
    EXPECT_TRUE(form->player().isPlaying());
    EXPECT_EQ(audio->starts, 2);
    expectPulled(*form->document().FWave, 50 * 512, audio->pull(2 * 1000), "from the new click");
}

TEST_F(ListeningTest, CompareSwitchesToTheSoundBeforeTheLastImport)
{
    open("voice.wav", 44100, 2, 44100);
    const TWave original = *form->document().FWave;
    importEdited([](int g, int, int) { return g - 30; });
    const TWave imported = *form->document().FWave;
    ASSERT_NE(imported.FData, original.FData);
    EXPECT_TRUE(form->Compare->isEnabled());

    form->player().setStartFrame(1000);
    form->PlayClick();
    expectPulled(imported, 1000, audio->pull(4 * 500), "A: the imported sound");
    form->Compare->setChecked(true); // B, from where A left off
    expectPulled(original, 1500, audio->pull(4 * 500), "B: the sound before the import");
    form->Compare->setChecked(false);
    expectPulled(imported, 2000, audio->pull(4 * 500), "A again");
    EXPECT_EQ(audio->starts, 1);

    // Stopped and played again in B.
    form->StopClick();
    form->Compare->setChecked(true);
    form->PlayClick();
    expectPulled(original, 1000, audio->pull(4 * 500), "B from the start frame");

    // Undoing the import leaves nothing to compare with.
    form->UndoClick();
    EXPECT_FALSE(form->Compare->isChecked());
    EXPECT_FALSE(form->Compare->isEnabled());
    EXPECT_TRUE(form->player().isPlaying()) << "the sound goes on, now the restored one";
    expectPulled(original, 1500, audio->pull(4 * 500), "after undo");

    // Opening another file stops playing.
    open("other.wav", 8000);
    EXPECT_FALSE(form->player().isPlaying());
    EXPECT_FALSE(audio->running);
    EXPECT_DOUBLE_EQ(form->player().startFrame(), 0.0);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("; ").toStdString();
}

} // namespace
} // namespace kestrelon::test
