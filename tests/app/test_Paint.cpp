// The paint tool bar in the window: keys and tooltips from its table, a drag applied as
// one undo step, the selection's time range played, the zoom keys and the readout.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "FormFixture.h"
#include "app/PaintTools.h"
#include "app/PictureView.h"

namespace kestrelon::test {
namespace {

class PaintWindowTest : public TForm1Test {
protected:
    // Drags over the viewport from one view position to another, then waits for the
    // stroke to be applied.
    void drag(QPoint from, QPoint to)
    {
        QWidget* viewport = form->ScrollBox1->viewport();
        const int steps = form->history().count();
        QTest::mousePress(viewport, Qt::LeftButton, {}, from);
        for (int i = 1; i <= 10; ++i)
            QTest::mouseMove(viewport, from + (to - from) * i / 10);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
        for (int i = 0; i < 200 && form->history().count() == steps; ++i)
            QTest::qWait(10);
    }
};

TEST_F(PaintWindowTest, ToolsStrokesSelectionsZoomAndReadout)
{
    open("voice.wav", 44100, 1, 44100); // 1 s: 88 frames at N = 1024
    form->resize(800, 700);
    showForm();
    PaintToolBar& tools = *form->PaintTools1;
    for (const PaintToolText& t : kPaintToolTexts) {
        QAction* a = tools.toolAction(t.tool);
        EXPECT_EQ(a->toolTip(), Message(t.toolTip).text());
        EXPECT_FALSE(a->icon().isNull());
        QTest::keySequence(form.get(), QKeySequence(QLatin1String(t.key)));
        EXPECT_EQ(tools.tool(), t.tool) << t.key;
    }

    // A brush stroke over frames 20 .. 50: one step named after the tool, undone exactly.
    const std::vector<uint8_t> opened = form->document().FWave->FData;
    QTest::keyClick(form.get(), Qt::Key_B);
    const int y = 16 + 513 - 100 - form->ScrollBox1->scrollOffset().y(); // bin 100
    drag(QPoint(48 + 20, y), QPoint(48 + 50, y));
    ASSERT_EQ(form->history().count(), 1);
    EXPECT_EQ(
        form->Undo->toolTip(), Message(MessageCode::UndoHint, kPaintToolTexts[1].caption).text());
    // Its message has the status bar's room, though the pointer stays over the picture.
    EXPECT_EQ(form->MessagePanel->text(),
        Message(MessageCode::PaintApplied, kPaintToolTexts[1].caption).text());
    EXPECT_FALSE(tools.readout()->isVisible());
    auto* hold = form->findChild<QTimer*>("ReadoutHold");
    ASSERT_TRUE(hold && hold->isActive());
    hold->start(0);
    QTest::qWait(20);
    EXPECT_TRUE(tools.readout()->isVisible());
    EXPECT_FALSE(form->document().FWave->FData == opened);
    form->UndoClick();
    EXPECT_TRUE(form->document().FWave->FData == opened);

    // A rectangle over frames 30 .. 40: the selection's samples, and its gain applied.
    QSignalSpy selection(&tools, &PaintToolBar::selectionChanged);
    QTest::keyClick(form.get(), Qt::Key_R);
    drag(QPoint(48 + 30, y - 20), QPoint(48 + 40, y + 20));
    EXPECT_EQ(tools.selectionSamples(), std::make_pair(30u * 512, 41u * 512));
    ASSERT_EQ(selection.count(), 1);
    EXPECT_EQ(selection[0][0].toUInt(), 30u * 512);
    // Listening to it, looped.
    EXPECT_TRUE(tools.PlaySelection->isEnabled());
    tools.LoopSelection->setChecked(true);
    tools.PlaySelection->trigger();
    EXPECT_TRUE(form->player().isLooping());
    EXPECT_DOUBLE_EQ(form->player().position(), 30.0 * 512);
    form->StopClick();
    EXPECT_EQ(form->history().count(), 1); // the undone stroke's step was dropped
    EXPECT_FALSE(form->document().FWave->FData == opened);
    // A selection that went while a long command ran leaves nothing to play after it.
    QTimer::singleShot(0, &tools, [&tools] { tools.clearSelection(); });
    form->UndoClick();
    EXPECT_FALSE(tools.PlaySelection->isEnabled());

    // The readout under the pointer.
    QTest::mouseMove(form->ScrollBox1->viewport(), QPoint(48 + 10, y));
    EXPECT_EQ(tools.readout()->text(), cellReadout(form->document(), 10, 99));
    EXPECT_TRUE(tools.readout()->text().startsWith(QStringLiteral("0.116 秒  4263.6 Hz")))
        << tools.readout()->text().toStdString();

    // Zoom keys change the view only.
    const QImage picture = form->document().FBitmap;
    QTest::keySequence(form.get(), QKeySequence(Qt::CTRL | Qt::Key_Equal));
    EXPECT_DOUBLE_EQ(form->ScrollBox1->zoomX(), std::sqrt(2.0));
    QTest::keySequence(form.get(), QKeySequence(Qt::CTRL | Qt::Key_1));
    EXPECT_DOUBLE_EQ(form->ScrollBox1->zoomY(), 1.0);
    tools.ColorMapBox->setCurrentIndex(1);
    EXPECT_EQ(form->ScrollBox1->colorMap(), ColorMap::Viridis);
    EXPECT_TRUE(form->document().FBitmap == picture);
}

} // namespace
} // namespace kestrelon::test
