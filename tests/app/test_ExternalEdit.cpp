// The image-editor round trip through the window (export, editor started through the
// dialog seam, saves imported as undo steps, the end of the watch), the editor settings,
// and the long commands on the worker: cancel changes nothing, results equal the
// synchronous commands.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include <QAbstractButton>
#include <QBuffer>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QTest>
#include <gtest/gtest.h>

#include "FormFixture.h"
#include "app/ExternalEditor.h"

namespace kestrelon::test {
namespace {

// --- the editor command ----------------------------------------------------------------------

struct CommandCase {
    const char* name;
    const char* command;
    const char* path;
    QStringList arguments;
};

class EditorArguments : public ::testing::TestWithParam<CommandCase> { };

TEST_P(EditorArguments, QuoteThePathWhereverItGoes)
{
    const CommandCase& c = GetParam();
    EXPECT_EQ(
        editorArguments(QString::fromUtf8(c.command), QString::fromUtf8(c.path)), c.arguments);
}

INSTANTIATE_TEST_SUITE_P(Commands, EditorArguments,
    ::testing::Values(CommandCase{"Placeholder", "gimp %f", "/tmp/a.bmp", {"gimp", "/tmp/a.bmp"}},
        CommandCase{"Appended", "krita", "/tmp/a.bmp", {"krita", "/tmp/a.bmp"}},
        CommandCase{"Spaces", "my editor --new %f --x", "/tmp/a b/c d.bmp",
            {"my", "editor", "--new", "/tmp/a b/c d.bmp", "--x"}},
        CommandCase{
            "QuoteInPath", "gimp %f", "/tmp/say \"hi\".bmp", {"gimp", "/tmp/say \"hi\".bmp"}},
        CommandCase{"QuotedProgram", "\"/opt/paint app/paint\" -o %f", "/tmp/x.bmp",
            {"/opt/paint app/paint", "-o", "/tmp/x.bmp"}},
        CommandCase{"Empty", "  ", "/tmp/x.bmp", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EditorSettings, TheDialogStoresAndReloadsTheCommand)
{
    setEditorCommand(QString());
    ASSERT_EQ(editorCommand(), "");
    QtUserDialogs real;
    QString command = editorCommand();
    onNextModal([](QWidget* modal) {
        auto* dialog = qobject_cast<EditorSettingsDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "外部エディタの設定");
        EXPECT_EQ(dialog->commandEdit()->text(), "");
        EXPECT_EQ(dialog->commandEdit()->placeholderText(), "既定のアプリケーション");
        dialog->commandEdit()->setText("  gimp %f ");
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    ASSERT_TRUE(real.askEditorCommand(nullptr, &command));
    EXPECT_EQ(command, "gimp %f");
    setEditorCommand(command);
    // Stored where QSettings keeps Kestrelon's settings, and read again from there.
    EXPECT_TRUE(QFileInfo::exists(settingsDirectory() + "/Kestrelon/Kestrelon.conf"));
    EXPECT_EQ(
        QSettings("Kestrelon", "Kestrelon").value("externalEditor/command").toString(), "gimp %f");
    EXPECT_EQ(editorCommand(), "gimp %f");

    // Shown next time; Cancel changes nothing.
    command = editorCommand();
    onNextModal([](QWidget* modal) {
        auto* dialog = qobject_cast<EditorSettingsDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->commandEdit()->text(), "gimp %f");
        dialog->commandEdit()->clear();
        auto* cancel = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel);
        EXPECT_EQ(cancel->text(), "キャンセル");
        cancel->click();
    });
    EXPECT_FALSE(real.askEditorCommand(nullptr, &command));
    EXPECT_EQ(command, "gimp %f");
    // Empty: the desktop's default application again.
    setEditorCommand(QString());
    EXPECT_EQ(editorCommand(), "");
    EXPECT_FALSE(QSettings("Kestrelon", "Kestrelon").contains("externalEditor/command"));
}

// --- the round trip through the window ---------------------------------------------------------

class ExternalEditTest : public TForm1Test {
protected:
    void SetUp() override
    {
        TForm1Test::SetUp();
        setEditorCommand(QString());
        form->setExternalEditTiming({10, 1500});
    }
    void TearDown() override
    {
        TForm1Test::TearDown();
        setEditorCommand(QString());
    }

    // The exported picture with a darker block of cells, as BMP bytes.
    QByteArray editedPicture(const QString& exported, int delta = -40) const
    {
        QImage image = QImage(exported).convertToFormat(QImage::Format_RGB32);
        EXPECT_FALSE(image.isNull());
        const int top = form->document().FTopMargin, left = form->document().FLeftMargin;
        for (int y = top + 440; y <= top + 480 && y < image.height(); ++y)
            for (int x = left + 5; x <= left + 15 && x < image.width(); ++x) {
                const int g = std::clamp(qBlue(image.pixel(x, y)) + delta, 0, 255);
                image.setPixel(x, y, qRgb(g, g, g));
            }
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        EXPECT_TRUE(image.save(&buffer, "BMP"));
        return bytes;
    }

    bool waitForSteps(int steps, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return form->history().count() >= steps; }, ms);
    }
};

TEST_F(ExternalEditTest, ExportsAsksBeforeOverwritingAndStartsTheChosenEditor)
{
    open("voice.wav");
    dialogs.editorAnswers.push_back("gimp %f");
    form->EditorSettings->trigger();
    EXPECT_EQ(editorCommand(), "gimp %f");

    const QString target = path("voice_s1024.bmp");
    ASSERT_EQ(form->document().proposedExportPath(), target);
    ASSERT_TRUE(form->ExternalEdit->isEnabled());
    const size_t asks = dialogs.fileAsks.size();
    form->ExternalEdit->trigger();
    EXPECT_TRUE(dialogs.questions.isEmpty());
    EXPECT_EQ(dialogs.fileAsks.size(), asks) << "the proposed path is used without a dialog";
    ASSERT_EQ(dialogs.launches.size(), 1u);
    EXPECT_EQ(dialogs.launches[0].command, "gimp %f");
    EXPECT_EQ(dialogs.launches[0].path, target);
    // The file is what Export writes.
    dialogs.fileAnswers.push_back(path("plain.bmp"));
    form->P1Click();
    EXPECT_EQ(readBytes(target), readBytes(path("plain.bmp")));
    ASSERT_NE(form->editSession(), nullptr);
    EXPECT_TRUE(form->editSession()->isActive());
    EXPECT_EQ(form->MessagePanel->text(), QString("voice_s1024.bmp の保存を待っています"));
    EXPECT_TRUE(form->MessagePanel->toolTip().contains("保存するたびに"));

    // Again: the file exists. No keeps it and starts nothing; Yes writes it again.
    writeBytes(target, "stale");
    dialogs.yesNoAnswers.push_back(false);
    form->ExternalEditClick();
    EXPECT_EQ(dialogs.questions, QStringList({"\"voice_s1024.bmp\" を上書きしますか？"}));
    EXPECT_EQ(readBytes(target), "stale");
    EXPECT_EQ(dialogs.launches.size(), 1u);
    dialogs.yesNoAnswers.push_back(true);
    form->ExternalEditClick();
    EXPECT_EQ(readBytes(target), readBytes(path("plain.bmp")));
    EXPECT_EQ(dialogs.launches.size(), 2u);
    EXPECT_EQ(form->history().count(), 0) << "writing the export is no save of the editor";

    // An editor that cannot be started is reported; the file is still followed.
    dialogs.launchSucceeds = false;
    dialogs.yesNoAnswers.push_back(true);
    form->ExternalEditClick();
    EXPECT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(form->editSession()->isActive());
    EXPECT_TRUE(dialogs.warnings.isEmpty());
}

enum class SaveStyle { InPlace, Rename, TwoWrites };

class EditorSaves : public ExternalEditTest, public ::testing::WithParamInterface<SaveStyle> { };

TEST_P(EditorSaves, BecomeOneUndoStepThatUndoTakesBack)
{
    open("voice.wav");
    const std::vector<uint8_t> original = form->document().FWave->FData;
    const QImage originalPicture = form->document().FBitmap.copy();
    const QStringList originalStatus = statusTexts();
    form->ExternalEditClick();
    const QString target = path("voice_s1024.bmp");
    const QByteArray edited = editedPicture(target);

    switch (GetParam()) {
    case SaveStyle::InPlace:
        writeBytes(target, edited);
        break;
    case SaveStyle::Rename: { // a new file renamed over the old one
        QSaveFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(edited);
        ASSERT_TRUE(file.commit());
        break;
    }
    case SaveStyle::TwoWrites: { // half the file, a pause, the rest
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(edited.left(edited.size() / 2));
        file.flush();
        QTest::qWait(150);
        EXPECT_EQ(form->history().count(), 0) << "a half-written picture was applied";
        file.write(edited.mid(edited.size() / 2));
        file.close();
        break;
    }
    }
    ASSERT_TRUE(waitForSteps(1)) << form->MessagePanel->text().toStdString();
    QTest::qWait(50);
    EXPECT_EQ(form->history().count(), 1);
    EXPECT_TRUE(form->isWindowModified());
    EXPECT_EQ(form->MessagePanel->text(), QString("voice_s1024.bmp を適用しました"))
        << form->MessagePanel->text().toStdString();
    EXPECT_TRUE(form->editSession()->isActive());
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("; ").toStdString();

    // The same sound and picture as importing that picture by hand.
    const CommandResult opened = makeDocument()->Open(path("voice.wav"));
    ASSERT_TRUE(opened.ok);
    writeBytes(path("by_hand.bmp"), edited);
    const CommandResult byHand = opened.document->Import(path("by_hand.bmp"));
    ASSERT_TRUE(byHand.ok);
    EXPECT_TRUE(form->document().FWave->FData == byHand.document->FWave->FData);
    EXPECT_TRUE(form->document().FBitmap == byHand.document->FBitmap);
    EXPECT_NE(form->document().FWave->FData, original);

    form->UndoClick();
    EXPECT_TRUE(form->document().FWave->FData == original);
    EXPECT_TRUE(form->document().FBitmap == originalPicture);
    EXPECT_EQ(statusTexts(), originalStatus);
    EXPECT_FALSE(form->isWindowModified());
    // The sound is no longer the one the editor's picture applies to.
    EXPECT_FALSE(form->editSession()->isActive());
    EXPECT_TRUE(form->MessagePanel->text().contains("音が変わったため監視を終了しました"));
}

INSTANTIATE_TEST_SUITE_P(Styles, EditorSaves,
    ::testing::Values(SaveStyle::InPlace, SaveStyle::Rename, SaveStyle::TwoWrites),
    [](const auto& info) {
        switch (info.param) {
        case SaveStyle::InPlace:
            return "InPlace";
        case SaveStyle::Rename:
            return "Rename";
        case SaveStyle::TwoWrites:
            break;
        }
        return "TwoWrites";
    });

class WatchEnds : public ExternalEditTest, public ::testing::WithParamInterface<bool> { };

TEST_P(WatchEnds, WhenNOrTheViewChanges)
{
    open("voice.wav");
    form->ExternalEditClick();
    const QString target = path("voice_s1024.bmp");
    const QByteArray edited = editedPicture(target);
    if (GetParam())
        form->ComboBox2->setCurrentText("512");
    else
        form->ComboBox1->setCurrentIndex(1);
    EXPECT_FALSE(form->editSession()->isActive());
    EXPECT_TRUE(form->MessagePanel->isVisibleTo(form.get()));
    EXPECT_TRUE(
        form->MessagePanel->text().contains(GetParam() ? "FFT長を変えたため" : "表示を変えたため"))
        << form->MessagePanel->text().toStdString();
    const std::vector<uint8_t> sound = form->document().FWave->FData;
    writeBytes(target, edited);
    QTest::qWait(200);
    EXPECT_EQ(form->history().count(), 0);
    EXPECT_TRUE(form->document().FWave->FData == sound);
}

INSTANTIATE_TEST_SUITE_P(Changes, WatchEnds, ::testing::Bool(),
    [](const auto& info) { return info.param ? "FFTLength" : "View"; });

// --- long commands on the worker ---------------------------------------------------------------

enum class LongCommand { Open, Cepstrum, FFTLength, Import, Undo };

class CancelledCommand : public ExternalEditTest,
                         public ::testing::WithParamInterface<LongCommand> {
protected:
    struct State {
        std::vector<uint8_t> samples;
        QImage picture;
        int mode, n, view, lengthBox, steps;
        QString caption, exportProposal, importProposal;
        QStringList status;
        bool modified;
    };
    State state() const
    {
        const Document& c = form->document();
        return {c.FWave->FData, c.FBitmap.copy(), c.FMode, c.FFFTLength,
            form->ComboBox1->currentIndex(), form->ComboBox2->currentIndex(),
            form->history().count(), caption(), c.proposedExportPath(), form->FilterOD.fileName,
            statusTexts(), form->isWindowModified()};
    }
    void expectSame(const State& a, const State& b) const
    {
        EXPECT_TRUE(a.samples == b.samples);
        EXPECT_TRUE(a.picture == b.picture);
        EXPECT_EQ(a.mode, b.mode);
        EXPECT_EQ(a.n, b.n);
        EXPECT_EQ(a.view, b.view);
        EXPECT_EQ(a.lengthBox, b.lengthBox);
        EXPECT_EQ(a.steps, b.steps);
        EXPECT_EQ(a.caption, b.caption);
        EXPECT_EQ(a.exportProposal, b.exportProposal);
        EXPECT_EQ(a.importProposal, b.importProposal);
        EXPECT_EQ(a.status, b.status);
        EXPECT_EQ(a.modified, b.modified);
    }
    void run(LongCommand command)
    {
        switch (command) {
        case LongCommand::Open:
            dialogs.saveChoices.push_back(SaveChoice::Discard);
            open("other.wav", 11025, 2);
            break;
        case LongCommand::Cepstrum:
            form->ComboBox1->setCurrentIndex(1);
            break;
        case LongCommand::FFTLength:
            form->ComboBox2->setCurrentText("2048");
            break;
        case LongCommand::Import:
            dialogs.fileAnswers.push_back(path("edited.bmp"));
            form->L1Click();
            break;
        case LongCommand::Undo:
            form->UndoClick();
            break;
        }
    }
    // A sound with one import already made, an export proposal and an edited picture.
    void prepare()
    {
        open("voice.wav");
        dialogs.fileAnswers.push_back(path("first.bmp"));
        form->P1Click();
        writeBytes(path("edited.bmp"), editedPicture(path("first.bmp")));
        dialogs.fileAnswers.push_back(path("edited.bmp"));
        form->L1Click();
        ASSERT_EQ(form->history().count(), 1);
        dialogs.fileAnswers.push_back(path("second.bmp"));
        form->P1Click();
        writeBytes(path("edited.bmp"), editedPicture(path("second.bmp"), -20));
    }
};

TEST_P(CancelledCommand, LeavesTheWindowAsItWas)
{
    prepare();
    const State before = state();
    // Cancelled as soon as the worker reports its first pass.
    const QMetaObject::Connection c = QObject::connect(
        &form->runner(), &CommandRunner::progress, &form->runner(),
        [this] { form->runner().cancel(); }, Qt::DirectConnection);
    run(GetParam());
    QObject::disconnect(c);
    EXPECT_FALSE(form->isBusy());
    expectSame(state(), before);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("; ").toStdString();
    for (QAction* a : {form->Open, form->Save, form->Export, form->Import, form->Undo,
             form->ExternalEdit, form->EditorSettings})
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    EXPECT_FALSE(form->Redo->isEnabled());
    EXPECT_TRUE(form->ComboBox1->isEnabled());
    EXPECT_TRUE(form->Play->isEnabled());
    // And the command still works afterwards.
    run(GetParam());
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("; ").toStdString();
    EXPECT_FALSE(form->document().FWave->FData == before.samples
        && form->document().FBitmap == before.picture);
}

INSTANTIATE_TEST_SUITE_P(Commands, CancelledCommand,
    ::testing::Values(LongCommand::Open, LongCommand::Cepstrum, LongCommand::FFTLength,
        LongCommand::Import, LongCommand::Undo),
    [](const auto& info) {
        switch (info.param) {
        case LongCommand::Open:
            return "Open";
        case LongCommand::Cepstrum:
            return "Cepstrum";
        case LongCommand::FFTLength:
            return "FFTLength";
        case LongCommand::Import:
            return "Import";
        case LongCommand::Undo:
            break;
        }
        return "Undo";
    });

TEST_F(CancelledCommand, TheProgressDialogAppearsAndItsCancelButtonCancels)
{
    prepare();
    const State before = state();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    // The worker waits in its first report until the person has pressed Cancel.
    std::atomic<bool> released{false};
    const QMetaObject::Connection c = QObject::connect(
        &form->runner(), &CommandRunner::progress, &form->runner(),
        [&released] {
            for (int i = 0; i < 500 && !released.load(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        },
        Qt::DirectConnection);
    bool seen = false;
    QElapsedTimer clock;
    qint64 shownAfter = -1;
    onNextModal([&](QWidget* modal) {
        auto* progress = qobject_cast<QProgressDialog*>(modal);
        ASSERT_NE(progress, nullptr);
        shownAfter = clock.elapsed();
        seen = true;
        EXPECT_TRUE(progress->labelText().startsWith("FFT長 2048 で解析しています"))
            << progress->labelText().toStdString();
        EXPECT_FALSE(form->Open->isEnabled());
        EXPECT_FALSE(form->Play->isEnabled());
        EXPECT_FALSE(form->ComboBox1->isEnabled());
        QPushButton* cancel = nullptr;
        for (QPushButton* b : progress->findChildren<QPushButton*>())
            if (b->text() == "キャンセル")
                cancel = b;
        ASSERT_NE(cancel, nullptr);
        cancel->click();
        // it stays up, without its button, until everything is back
        EXPECT_TRUE(progress->isVisible());
        EXPECT_TRUE(progress->labelText().endsWith("キャンセルしています…"))
            << progress->labelText().toStdString();
        for (QPushButton* b : progress->findChildren<QPushButton*>())
            EXPECT_FALSE(b->isVisible()) << b->text().toStdString();
        released = true;
    });
    clock.start();
    run(LongCommand::FFTLength);
    released = true;
    QObject::disconnect(c);
    EXPECT_TRUE(seen);
    EXPECT_GE(shownAfter, 450) << "the dialog waits half a second";
    expectSame(state(), before);
    EXPECT_TRUE(form->Open->isEnabled());
    EXPECT_TRUE(form->Play->isEnabled());
}

TEST_F(ExternalEditTest, TheWindowShowsWhatTheCommandsGive)
{
    writeToneWav(path("voice.wav"), 2, 22050, 30000);
    DocumentPtr reference = makeDocument();
    const auto step = [&](const CommandResult& r) {
        EXPECT_TRUE(r.ok) << r.message.text().toStdString();
        if (r.ok)
            reference = r.document;
    };
    const auto expectEqual = [&](const char* when) {
        EXPECT_TRUE(form->document().FWave->FData == reference->FWave->FData) << when;
        EXPECT_TRUE(form->document().FBitmap == reference->FBitmap) << when;
        EXPECT_EQ(form->document().FFFTLength, reference->FFFTLength) << when;
        EXPECT_EQ(form->document().FMode, reference->FMode) << when;
        EXPECT_EQ(statusTexts(), reference->statusTexts()) << when;
    };
    open("voice.wav", 0);
    step(reference->Open(path("voice.wav")));
    expectEqual("open");
    form->ComboBox1->setCurrentIndex(1);
    step(reference->SetMode(kCepstrumView));
    expectEqual("cepstrum");
    form->ComboBox2->setCurrentText("512");
    step(reference->ChangeFFTLength(512));
    expectEqual("N = 512");
    dialogs.fileAnswers.push_back(path("voice_c512.bmp"));
    form->P1Click();
    ASSERT_TRUE(reference->Export(path("reference.bmp")).ok);
    EXPECT_EQ(readBytes(path("voice_c512.bmp")), readBytes(path("reference.bmp")));
    const int top = form->document().FTopMargin, left = form->document().FLeftMargin;
    QImage image = QImage(path("voice_c512.bmp")).convertToFormat(QImage::Format_RGB32);
    for (int y = top + 4; y < top + 30; ++y)
        for (int x = left + 3; x < left + 20; ++x)
            image.setPixel(x, y, qRgb(qBlue(image.pixel(x, y)) / 2, 0, 0));
    ASSERT_TRUE(image.save(path("edited.bmp"), "BMP"));
    dialogs.fileAnswers.push_back(path("edited.bmp"));
    form->L1Click();
    const DocumentPtr beforeImport = reference;
    const CommandResult result = reference->Import(path("edited.bmp"));
    step(result);
    expectEqual("import");
    EXPECT_EQ(form->history().count(), 1);
    EXPECT_EQ(form->ClipPanel->isVisibleTo(form.get()), result.clips.clipped > 0);
    form->UndoClick();
    reference = beforeImport;
    expectEqual("undo");
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("; ").toStdString();
}

} // namespace
} // namespace kestrelon::test
