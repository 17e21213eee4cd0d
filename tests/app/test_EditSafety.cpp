// Undo and redo of imports, the unsaved-changes mark and questions, and the clip report,
// driven through the window with scripted answers.
#include <vector>

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QImage>
#include <QKeySequence>
#include <QTest>
#include <gtest/gtest.h>

#include "FormFixture.h"

namespace kestrelon::test {
namespace {

class EditSafetyTest : public TForm1Test { };

class UndoInBothViews : public EditSafetyTest, public ::testing::WithParamInterface<int> { };

TEST_P(UndoInBothViews, RestoresExactSamplesAndPictures)
{
    open("voice.wav", 22050, 2, 22050);
    form->ComboBox1->setCurrentIndex(GetParam());
    // Rows near the 1 kHz tone (bin 46) in the spectrum, low quefrencies in the cepstrum.
    const int r0 = GetParam() == 0 ? 512 - 60 : 4, r1 = GetParam() == 0 ? 512 - 30 : 40;
    EXPECT_FALSE(form->Undo->isEnabled());

    std::vector<Shown> states{shown()};
    const int blocks[3][3] = {{5, 15, -30}, {20, 30, +20}, {0, 40, -10}}; // frames, gray
    for (const auto& b : blocks) {
        importBlock(r0, r1, b[0], b[1], b[2]);
        states.push_back(shown());
        ASSERT_NE(states.back().samples, states[states.size() - 2].samples) << "nothing changed";
    }
    ASSERT_EQ(form->history().count(), 3);

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
}

INSTANTIATE_TEST_SUITE_P(Views, UndoInBothViews, ::testing::Values(0, 1),
    [](const auto& info) { return info.param == 0 ? "Spectrum" : "Cepstrum"; });

TEST_F(EditSafetyTest, ModifiedMarkFollowsImportSaveAndUndo)
{
    showForm();
    EXPECT_TRUE(form->close()) << "nothing loaded: no question";
    form->show();
    open("voice.wav");
    EXPECT_EQ(form->windowTitle(), "voice.wav[*]");
    EXPECT_FALSE(form->isWindowModified());
    EXPECT_TRUE(form->close()) << "unchanged: no question";
    form->show();
    importBlock(440, 480, 5, 15, -30);
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
    EXPECT_TRUE(form->close()) << "saved: no question";
    EXPECT_TRUE(dialogs.saveQuestions.isEmpty());
}

// --- the questions before changes are lost ---------------------------------------------------

struct CloseCase {
    const char* name;
    SaveChoice choice;
    const char* saveAs; // the save dialog's answer when the choice is Save; "" cancels
    bool closes;
};

class CloseQuestion : public EditSafetyTest, public ::testing::WithParamInterface<CloseCase> { };

TEST_P(CloseQuestion, DoesWhatTheAnswerSays)
{
    const CloseCase& c = GetParam();
    open("voice.wav");
    showForm();
    importBlock(440, 480, 5, 15, -30);
    const std::vector<uint8_t> edited = form->document().FWave->FData;
    dialogs.saveChoices.push_back(c.choice);
    if (c.choice == SaveChoice::Save)
        dialogs.fileAnswers.push_back(*c.saveAs ? path(c.saveAs) : QString());
    const bool saved = c.choice == SaveChoice::Save && c.closes;

    EXPECT_EQ(form->close(), c.closes);
    EXPECT_EQ(dialogs.saveQuestions, QStringList({"\"voice.wav\" への変更を保存しますか？"}));
    EXPECT_EQ(form->isVisible(), !c.closes);
    EXPECT_EQ(form->isWindowModified(), !saved);
    EXPECT_EQ(form->document().FWave->FData, edited) << "the sound itself never changes";
    const QString target = path("voice_fix.wav");
    if (saved) {
        const std::vector<uint8_t> bytes = form->document().FWave->SaveToMemory();
        EXPECT_EQ(readBytes(target),
            QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
    } else {
        EXPECT_FALSE(QFileInfo::exists(target));
    }
    EXPECT_EQ(dialogs.errors.size(), QString(c.saveAs).contains("no/such") ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Answers, CloseQuestion,
    ::testing::Values(CloseCase{"Save", SaveChoice::Save, "voice_fix.wav", true},
        CloseCase{"Discard", SaveChoice::Discard, "", true},
        CloseCase{"Cancel", SaveChoice::Cancel, "", false},
        CloseCase{"SaveFails", SaveChoice::Save, "no/such/dir/voice_fix.wav", false},
        CloseCase{"SaveCancelled", SaveChoice::Save, "", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EditSafetyTest, OpeningAnotherFileAsksFirst)
{
    open("voice.wav");
    writeToneWav(path("next.wav"), 1, 8000, 8000);
    importBlock(440, 480, 5, 15, -30);
    const std::vector<uint8_t> edited = form->document().FWave->FData;
    const size_t asked = dialogs.fileAsks.size();

    // Cancel: no open dialog, nothing changes.
    dialogs.saveChoices.push_back(SaveChoice::Cancel);
    form->O1Click();
    EXPECT_EQ(dialogs.fileAsks.size(), asked);
    EXPECT_EQ(form->document().FWave->FData, edited);
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

    // Discard, then open: the history starts again.
    importBlock(440, 480, 5, 15, -30);
    dialogs.saveChoices.push_back(SaveChoice::Discard);
    dialogs.fileAnswers.push_back(path("voice.wav"));
    form->O1Click();
    EXPECT_EQ(caption(), "voice.wav");
    EXPECT_EQ(form->history().count(), 0);
    EXPECT_FALSE(form->Undo->isEnabled());
    EXPECT_FALSE(form->Redo->isEnabled());
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
    EXPECT_TRUE(report.endsWith(QStringLiteral("dBFS)"))) << report.toStdString();
    EXPECT_TRUE(form->ClipPanel->toolTip().contains(QString::number(reported)));

    // Every clipped sample now sits at full scale; the report counts them.
    qlonglong atFullScale = 0;
    const TWave& w = *form->document().FWave;
    for (uint32_t f = 0; f < w.FSampleCount; ++f)
        for (uint8_t c = 0; c < 2; ++c)
            atFullScale += (w.GetSample(f, c) == 32767 || w.GetSample(f, c) == -32768);
    EXPECT_GT(reported, 1000) << report.toStdString();
    EXPECT_LE(reported, atFullScale);
    EXPECT_GE(reported, atFullScale - atFullScale / 100);
    // The peak before clipping: about ten times the 0.6 of the file, in dB above full scale.
    const double peakDb
        = report.section(QStringLiteral("ピーク "), 1).section(QLatin1Char(' '), 0, 0).toDouble();
    EXPECT_GT(peakDb, 10.0) << report.toStdString();
    EXPECT_LT(peakDb, 20.0) << report.toStdString();
    // The report takes the room the panels leave, beside the import's message: the
    // window keeps its width and no panel text is cut off (a framed label indents it).
    showForm();
    EXPECT_EQ(form->width(), 786);
    ASSERT_TRUE(form->MessagePanel->isVisibleTo(form.get()));
    for (QLabel* panel : form->StatusPanels)
        EXPECT_GE(panel->width(), panel->sizeHint().width()) << panel->text().toStdString();
    EXPECT_GE(form->ClipPanel->width(), form->ClipPanel->sizeHint().width());

    // The report follows the sound: undo takes it away, redo brings it back.
    form->UndoClick();
    EXPECT_FALSE(form->ClipPanel->isVisibleTo(form.get()));
    form->RedoClick();
    EXPECT_TRUE(form->ClipPanel->isVisibleTo(form.get()));
    EXPECT_EQ(form->ClipPanel->text(), report);
    // A gentle import reports nothing.
    form->UndoClick();
    importEdited([](int g, int, int) { return g - 12; });
    EXPECT_FALSE(form->ClipPanel->isVisibleTo(form.get()));
    EXPECT_TRUE(dialogs.warnings.isEmpty());
}

} // namespace
} // namespace kestrelon::test
