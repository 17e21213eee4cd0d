// Undo and redo of imports, the unsaved-changes mark and questions, and the clip report,
// driven through the window with scripted answers.
#include <algorithm>
#include <functional>

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QImage>
#include <QKeySequence>
#include <QTest>
#include <QUndoStack>
#include <gtest/gtest.h>

#include "FormFixture.h"

namespace kestrelon::test {
namespace {

class EditSafetyTest : public TForm1Test {
protected:
    // Exports the current view, changes the gray of its data area with edit(gray,
    // column, row) and imports the result.
    void importEdited(const std::function<int(int, int, int)>& edit)
    {
        const QString exported = path(QStringLiteral("export%1.bmp").arg(++exports));
        dialogs.fileAnswers.push_back(exported);
        form->P1Click();
        QImage image = QImage(exported).convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(image.isNull());
        for (int y = form->core().FTopMargin; y < image.height(); ++y)
            for (int x = form->core().FLeftMargin; x < image.width(); ++x) {
                const int g = std::clamp(edit(qBlue(image.pixel(x, y)), x, y), 0, 255);
                image.setPixel(x, y, qRgb(g, g, g));
            }
        const QString edited = path(QStringLiteral("edited%1.bmp").arg(exports));
        ASSERT_TRUE(image.save(edited, "BMP"));
        dialogs.fileAnswers.push_back(edited);
        form->L1Click();
        ASSERT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("; ").toStdString();
    }

    // A darker or lighter block of cells: rows top + r0 .. top + r1, frames f0 .. f1.
    void importBlock(int r0, int r1, int f0, int f1, int delta)
    {
        const int top = form->core().FTopMargin, left = form->core().FLeftMargin;
        importEdited([=](int g, int x, int y) {
            return (y >= top + r0 && y <= top + r1 && x >= left + f0 && x <= left + f1) ? g + delta
                                                                                        : g;
        });
    }

    struct Shown {
        std::vector<uint8_t> samples;
        QImage picture;
        QStringList status;
    };
    Shown shown() const
    {
        return {form->core().FWave->FData, form->core().FBitmap.copy(), statusTexts()};
    }
    void expectShown(const Shown& s, const char* when) const
    {
        EXPECT_TRUE(form->core().FWave->FData == s.samples) << when;
        EXPECT_TRUE(form->core().FBitmap == s.picture) << when;
        EXPECT_EQ(statusTexts(), s.status) << when;
    }

    int exports = 0;
};

class UndoInBothViews : public EditSafetyTest, public ::testing::WithParamInterface<int> { };

TEST_P(UndoInBothViews, RestoresExactSamplesAndPictures)
{
    open("voice.wav", 22050, 2, 22050);
    form->ComboBox1->setCurrentIndex(GetParam());
    // Rows near the 1 kHz tone (bin 46) in the spectrum, low quefrencies in the cepstrum.
    const int r0 = GetParam() == 0 ? 512 - 60 : 4, r1 = GetParam() == 0 ? 512 - 30 : 40;
    EXPECT_FALSE(form->Undo->isEnabled());

    std::vector<Shown> states{shown()};
    importBlock(r0, r1, 5, 15, -30);
    states.push_back(shown());
    importBlock(r0, r1, 20, 30, +20);
    states.push_back(shown());
    importBlock(r0, r1, 0, 40, -10);
    states.push_back(shown());
    ASSERT_EQ(form->history().count(), 3);
    for (size_t i = 1; i < states.size(); ++i)
        ASSERT_NE(states[i].samples, states[i - 1].samples) << "import " << i << " changed nothing";

    for (int i = 2; i >= 0; --i) {
        EXPECT_TRUE(form->Undo->isEnabled());
        form->UndoClick();
        expectShown(states[size_t(i)], "after undo");
    }
    EXPECT_FALSE(form->Undo->isEnabled());
    EXPECT_TRUE(form->Redo->isEnabled());
    for (size_t i = 1; i <= 3; ++i) {
        form->RedoClick();
        expectShown(states[i], "after redo");
    }
    EXPECT_FALSE(form->Redo->isEnabled());

    // The keyboard: Ctrl+Z, then Ctrl+Y and Ctrl+Shift+Z.
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(form.get(), Qt::Key_Z, Qt::ControlModifier);
    expectShown(states[1], "after Ctrl+Z twice");
    QTest::keyClick(form.get(), Qt::Key_Y, Qt::ControlModifier);
    expectShown(states[2], "after Ctrl+Y");
    QTest::keyClick(form.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    expectShown(states[3], "after Ctrl+Shift+Z");
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("; ").toStdString();

    // Another file: the history starts again (the changes are discarded when asked).
    dialogs.saveChoices.push_back(SaveChoice::Discard);
    open("other.wav", 11025);
    EXPECT_EQ(form->history().count(), 0);
    EXPECT_FALSE(form->Undo->isEnabled());
    EXPECT_FALSE(form->Redo->isEnabled());
    EXPECT_FALSE(form->isWindowModified());
    EXPECT_EQ(caption(), "other.wav");
}

INSTANTIATE_TEST_SUITE_P(Views, UndoInBothViews, ::testing::Values(0, 1),
    [](const auto& info) { return info.param == 0 ? "Spectrum" : "Cepstrum"; });

TEST_F(EditSafetyTest, ModifiedMarkFollowsImportSaveAndUndo)
{
    open("voice.wav");
    EXPECT_EQ(form->windowTitle(), "voice.wav[*]");
    EXPECT_FALSE(form->isWindowModified());
    importBlock(440, 480, 5, 15, -30);
    EXPECT_TRUE(form->isWindowModified());
    EXPECT_EQ(caption(), "voice.wav*");

    // A failed save keeps the mark; a save clears it.
    dialogs.fileAnswers.push_back(path("no/such/dir/x.wav"));
    form->S1Click();
    EXPECT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(form->isWindowModified());
    dialogs.errors.clear();
    dialogs.fileAnswers.push_back(path("voice_fix.wav"));
    form->S1Click();
    EXPECT_FALSE(form->isWindowModified());

    importBlock(440, 480, 20, 30, -30);
    EXPECT_TRUE(form->isWindowModified());
    form->UndoClick();
    EXPECT_FALSE(form->isWindowModified()) << "back at the saved sound";
    form->UndoClick();
    EXPECT_TRUE(form->isWindowModified()) << "before the saved sound";
    form->RedoClick();
    EXPECT_FALSE(form->isWindowModified());
    // Changing the view or N changes no samples.
    form->ComboBox1->setCurrentIndex(1);
    form->ComboBox2->setCurrentText("512");
    EXPECT_FALSE(form->isWindowModified());
    EXPECT_EQ(form->history().count(), 2);
}

// --- the questions before changes are lost ---------------------------------------------------

enum class CloseAnswer { Save, Discard, Cancel, SaveFails, SaveCancelled };

class CloseQuestion : public EditSafetyTest, public ::testing::WithParamInterface<CloseAnswer> { };

TEST_P(CloseQuestion, DoesWhatTheAnswerSays)
{
    open("voice.wav");
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    importBlock(440, 480, 5, 15, -30);
    const std::vector<uint8_t> edited = form->core().FWave->FData;
    const QString target = path("voice_fix.wav");
    switch (GetParam()) {
    case CloseAnswer::Save:
        dialogs.saveChoices.push_back(SaveChoice::Save);
        dialogs.fileAnswers.push_back(target);
        break;
    case CloseAnswer::Discard:
        dialogs.saveChoices.push_back(SaveChoice::Discard);
        break;
    case CloseAnswer::Cancel:
        dialogs.saveChoices.push_back(SaveChoice::Cancel);
        break;
    case CloseAnswer::SaveFails:
        dialogs.saveChoices.push_back(SaveChoice::Save);
        dialogs.fileAnswers.push_back(path("no/such/dir/voice_fix.wav"));
        break;
    case CloseAnswer::SaveCancelled:
        dialogs.saveChoices.push_back(SaveChoice::Save);
        dialogs.fileAnswers.push_back(QString());
        break;
    }
    const bool closed = form->close();
    EXPECT_EQ(dialogs.saveQuestions, QStringList({"\"voice.wav\" への変更を保存しますか？"}));
    const bool shouldClose = GetParam() == CloseAnswer::Save || GetParam() == CloseAnswer::Discard;
    EXPECT_EQ(closed, shouldClose);
    EXPECT_EQ(form->isVisible(), !shouldClose);
    EXPECT_EQ(form->isWindowModified(), GetParam() != CloseAnswer::Save);
    EXPECT_EQ(form->core().FWave->FData, edited) << "the sound itself never changes";
    if (GetParam() == CloseAnswer::Save) {
        ASSERT_EQ(dialogs.fileAsks.back().request.fileName, target) << "the Save command ran";
        const std::vector<uint8_t> saved = form->core().FWave->SaveToMemory();
        EXPECT_EQ(readBytes(target),
            QByteArray(reinterpret_cast<const char*>(saved.data()), qsizetype(saved.size())));
    } else {
        EXPECT_FALSE(QFileInfo::exists(target));
    }
    EXPECT_EQ(dialogs.errors.size(), GetParam() == CloseAnswer::SaveFails ? 1 : 0);
}

std::string answerName(const ::testing::TestParamInfo<CloseAnswer>& info)
{
    static const char* const names[] = {"Save", "Discard", "Cancel", "SaveFails", "SaveCancelled"};
    return names[int(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Answers, CloseQuestion,
    ::testing::Values(CloseAnswer::Save, CloseAnswer::Discard, CloseAnswer::Cancel,
        CloseAnswer::SaveFails, CloseAnswer::SaveCancelled),
    answerName);

TEST_F(EditSafetyTest, UnchangedOrSavedSoundClosesWithoutAQuestion)
{
    form->show();
    EXPECT_TRUE(form->close()) << "nothing loaded";
    form->show();
    open("voice.wav");
    EXPECT_TRUE(form->close());
    form->show();
    importBlock(440, 480, 5, 15, -30);
    dialogs.fileAnswers.push_back(path("saved.wav"));
    form->S1Click();
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(dialogs.saveQuestions.isEmpty());
}

TEST_F(EditSafetyTest, OpeningAnotherFileAsksFirst)
{
    open("voice.wav");
    writeToneWav(path("next.wav"), 1, 8000, 8000);
    importBlock(440, 480, 5, 15, -30);
    const std::vector<uint8_t> edited = form->core().FWave->FData;
    const size_t asked = dialogs.fileAsks.size();

    // Cancel: no open dialog, nothing changes.
    dialogs.saveChoices.push_back(SaveChoice::Cancel);
    form->O1Click();
    EXPECT_EQ(dialogs.fileAsks.size(), asked);
    EXPECT_EQ(form->core().FWave->FData, edited);
    EXPECT_EQ(caption(), "voice.wav*");
    // The same for a dropped file or one named on the command line.
    dialogs.saveChoices.push_back(SaveChoice::Cancel);
    EXPECT_FALSE(form->openFile(path("next.wav")));
    EXPECT_EQ(caption(), "voice.wav*");

    // Save, but the save fails: the file is not opened.
    dialogs.saveChoices.push_back(SaveChoice::Save);
    dialogs.fileAnswers.push_back(path("no/such/dir/v.wav"));
    form->O1Click();
    EXPECT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(caption(), "voice.wav*");
    dialogs.errors.clear();

    // Save, then open.
    dialogs.saveChoices.push_back(SaveChoice::Save);
    dialogs.fileAnswers.push_back(path("voice_fix.wav"));
    dialogs.fileAnswers.push_back(path("next.wav"));
    form->O1Click();
    EXPECT_EQ(readBytes(path("voice_fix.wav")).size(), 44 + qsizetype(edited.size()));
    EXPECT_EQ(caption(), "next.wav");
    EXPECT_EQ(dialogs.saveQuestions.size(), 4);
    EXPECT_EQ(dialogs.saveQuestions[0], "\"voice.wav\" への変更を保存しますか？");

    // Discard, then open.
    importBlock(440, 480, 5, 15, -30);
    dialogs.saveChoices.push_back(SaveChoice::Discard);
    dialogs.fileAnswers.push_back(path("voice.wav"));
    form->O1Click();
    EXPECT_EQ(caption(), "voice.wav");
    EXPECT_EQ(form->history().count(), 0);
}

// --- clipping ----------------------------------------------------------------------------------

TEST_F(EditSafetyTest, ClippedSamplesAreCountedInTheStatusBar)
{
    open("loud.wav", 22050, 2, 22050); // peaks near 0.6 of full scale
    importEdited([](int g, int, int) { return g + 40; }); // +20 dB on every cell
    EXPECT_TRUE(dialogs.warnings.isEmpty()) << "no box: the status bar says it";
    ASSERT_TRUE(form->ClipPanel->isVisibleTo(form.get()));
    const QString report = form->ClipPanel->text();
    const qlonglong reported = report.section(QLatin1Char(' '), 1, 1).toLongLong();
    EXPECT_TRUE(report.startsWith(QStringLiteral("クリップ "))) << report.toStdString();
    EXPECT_TRUE(form->ClipPanel->toolTip().contains(QString::number(reported)));

    // Every clipped sample now sits at full scale; the report counts them.
    qlonglong atFullScale = 0;
    const TWave& w = *form->core().FWave;
    for (uint32_t f = 0; f < w.FSampleCount; ++f)
        for (uint8_t c = 0; c < 2; ++c) {
            const int16_t v = w.GetSample(f, c);
            atFullScale += (v == 32767 || v == -32768);
        }
    EXPECT_GT(reported, 1000) << report.toStdString();
    EXPECT_LE(reported, atFullScale);
    EXPECT_GE(reported, atFullScale - atFullScale / 100);
    // The peak before clipping: about ten times the 0.6 of the file, in dB above full scale.
    const double peakDb
        = report.section(QStringLiteral("ピーク "), 1).section(QLatin1Char(' '), 0, 0).toDouble();
    EXPECT_GT(peakDb, 10.0) << report.toStdString();
    EXPECT_LT(peakDb, 20.0) << report.toStdString();
    EXPECT_TRUE(report.endsWith(QStringLiteral("dBFS)"))) << report.toStdString();
    // The report takes the room the panels leave: the window keeps its width and no
    // panel text is cut off.
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_EQ(form->width(), 786);
    for (QLabel* panel : form->StatusPanels)
        EXPECT_LE(
            panel->fontMetrics().horizontalAdvance(panel->text()), panel->contentsRect().width())
            << panel->text().toStdString();
    EXPECT_GE(form->ClipPanel->contentsRect().width(),
        form->ClipPanel->fontMetrics().horizontalAdvance(report))
        << "the report fits in a window of the start-up size";

    // Undo takes the report away; a gentle import reports nothing.
    form->UndoClick();
    EXPECT_FALSE(form->ClipPanel->isVisibleTo(form.get()));
    importEdited([](int g, int, int) { return g - 12; });
    EXPECT_FALSE(form->ClipPanel->isVisibleTo(form.get()));
    EXPECT_TRUE(dialogs.warnings.isEmpty());
}

} // namespace
} // namespace kestrelon::test
