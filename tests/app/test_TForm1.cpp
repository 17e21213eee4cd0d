// The main window driven as a person would, with the dialogs answered by a script.
#include <utility>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "FormFixture.h"
#include "app/About.h"
#include "app/HelpWindow.h"
#include "app/KestrelonMain.h"
#include "app/PaintTools.h"
#include "app/PictureView.h"
#include "app/RecentFiles.h"
#include "audio/SoundFile.h"
#include "base/Message.h"

namespace kestrelon::test {
namespace {

using Texts = std::vector<std::pair<QString, const char*>>;

void expectTexts(const Texts& texts)
{
    for (const auto& [shown, expected] : texts)
        EXPECT_EQ(shown, QString::fromUtf8(expected));
}

// No status text is cut off.
void expectStatusFits(const TForm1& form)
{
    for (QLabel* panel : form.StatusPanels)
        EXPECT_LE(
            panel->fontMetrics().horizontalAdvance(panel->text()), panel->contentsRect().width())
            << panel->text().toStdString();
}

// --- what the person sees at start-up ----------------------------------------------------

TEST_F(TForm1Test, StartsEmptyWithOnlyOpenAvailable)
{
    EXPECT_EQ(caption(), "Kestrelon");
    EXPECT_EQ(statusTexts(), QStringList({"sec", "samples", "ch", "Hz", "bit", "Frames"}));
    EXPECT_TRUE(form->Open->isEnabled());
    EXPECT_TRUE(form->ToolButton1->isEnabled());
    for (QAction* a :
        {form->Save, form->Export, form->ExportRange, form->Import, form->ExternalEdit, form->Undo})
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    for (QToolButton* button : {form->ToolButton5, form->ToolButton7, form->ToolButton8})
        EXPECT_FALSE(button->isEnabled()) << button->toolTip().toStdString();
    // Reached anyway, export and import ask nothing.
    form->P1Click();
    form->L1Click();
    EXPECT_TRUE(dialogs.fileAsks.empty());
    EXPECT_TRUE(dialogs.errors.isEmpty());

    QStringList lengths;
    for (int i = 0; i < form->ComboBox2->count(); ++i)
        lengths << form->ComboBox2->itemText(i);
    EXPECT_EQ(lengths, QStringList({"256", "512", "1024", "2048", "4096"}));
    ASSERT_EQ(form->ComboBox1->count(), 2);
    // The Export/Import buttons keep their own hints after the actions change state.
    form->Export->setEnabled(true);
    form->Import->setEnabled(true);
    expectTexts({{form->ComboBox1->currentText(), "スペクトラム"},
        {form->ComboBox1->itemText(1), "ケプストラム"}, {form->ComboBox2->currentText(), "1024"},
        {form->Label1->text(), "FFT長"}, {form->Open->text(), "Open"}, {form->Save->text(), "Save"},
        {form->Export->text(), "Export"}, {form->Import->text(), "Import"},
        {form->Open->toolTip(), "Waveファイルを開く"},
        {form->Save->toolTip(), "Waveファイルを保存する"},
        {form->Export->toolTip(), "スペクトラム/ケプストラムをエクスポートする"},
        {form->Import->toolTip(), "スペクトラム/ケプストラムをインポートする"},
        {form->ToolButton1->toolTip(), "Waveファイルを開く"},
        {form->ToolButton5->toolTip(), "Waveファイルを保存する"},
        {form->ToolButton7->toolTip(), "フィルタ画像をエクスポートする"},
        {form->ToolButton8->toolTip(), "フィルタ画像をインポートする"},
        {form->ExternalEdit->text(), "外部エディタで編集"},
        {form->EditorSettings->text(), "外部エディタの設定..."},
        {form->Undo->text(), "元に戻す(&U)"}, {form->Redo->text(), "やり直し(&R)"},
        {form->Play->text(), "再生(&P)"}, {form->Stop->text(), "停止(&S)"},
        {form->Compare->text(), "インポート前の音(&B)"}, {form->EST1->text(), "スペクトル作成"},
        {form->Wave1->text(), "Waveに出力"}, {form->KestrelonA1->text(), "Kestrelon(&A)"}});
    EXPECT_EQ(form->Undo->shortcuts(), QList<QKeySequence>({QKeySequence("Ctrl+Z")}));
    EXPECT_EQ(form->Redo->shortcuts(),
        QList<QKeySequence>({QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")}));
    EXPECT_EQ(form->Play->shortcut(), QKeySequence(Qt::Key_Space));
    EXPECT_EQ(form->Stop->shortcut(), QKeySequence(Qt::Key_Space));
    EXPECT_TRUE(form->Compare->isCheckable());

    QStringList menus;
    for (QAction* a : form->menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, QStringList({"ファイル(&F)", "編集(&E)", "再生(&P)", "ヘルプ(&H)"}));
    QList<QAction*> file = form->FileMenu->actions();
    ASSERT_EQ(file.size(), 6);
    EXPECT_TRUE(file[2]->isSeparator() && file[4]->isSeparator());
    file[2] = file[4] = nullptr;
    EXPECT_EQ(file,
        QList<QAction*>({form->Open, form->Save, nullptr, form->RecentMenu->menuAction(), nullptr,
            form->Quit}));
    auto* languages = form->HelpMenu->findChild<QMenu*>("LanguageMenu");
    ASSERT_NE(languages, nullptr);
    EXPECT_EQ(form->HelpMenu->actions(),
        QList<QAction*>({form->Help, form->KestrelonA1, languages->menuAction()}));
    for (const auto& [action, keys] :
        std::initializer_list<std::pair<QAction*, const char*>>{{form->Open, "Ctrl+O"},
            {form->Save, "Ctrl+S"}, {form->Quit, "Ctrl+Q"}, {form->Help, "F1"}})
        EXPECT_EQ(action->shortcut(), QKeySequence(keys)) << keys;
    QList<QAction*> edit = form->EditMenu->actions();
    ASSERT_EQ(edit.size(), 11);
    EXPECT_TRUE(edit[2]->isSeparator());
    edit[2] = nullptr;
    EXPECT_EQ(edit,
        QList<QAction*>(
            {form->Undo, form->Redo, nullptr, form->Export, form->ExportRange, form->Import,
                form->ExternalEdit, form->EditorSettings, form->N1, form->EST1, form->Wave1}));
    const QList<QAction*> play = form->PlayMenu->actions();
    ASSERT_EQ(play.size(), 4);
    EXPECT_EQ(play.mid(0, 2), QList<QAction*>({form->Play, form->Stop}));
    EXPECT_EQ(play[3], form->Compare);

    // Sizes: the window's client area and status panels that are permanent
    // (a temporary message hides nothing), the last one reaching to the right edge.
    showForm();
    EXPECT_EQ(form->width(), 786);
    EXPECT_EQ(form->height() - form->menuBar()->height(), 601);
    const int widths[5] = {80, 100, 50, 80, 50};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(form->StatusPanels[i]->width(), widths[i]) << i;
    EXPECT_GE(form->StatusPanels[5]->width(), 50);
    EXPECT_GT(form->StatusPanels[5]->geometry().right(), form->width() - 30);
    EXPECT_EQ(form->StatusBar1->height(), 19);
    form->StatusBar1->showMessage("a temporary message");
    for (QLabel* panel : form->StatusPanels)
        EXPECT_TRUE(panel->isVisible());
}

TEST_F(TForm1Test, HiddenEditItemsNeverAppear)
{
    open("a.wav");
    form->ComboBox2->setCurrentText("512");
    showForm();
    form->EditMenu->popup(form->mapToGlobal(QPoint(0, 0)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form->EditMenu));
    for (QAction* hidden : {form->EST1, form->Wave1}) {
        EXPECT_FALSE(hidden->isVisible());
        EXPECT_TRUE(form->EditMenu->actionGeometry(hidden).isEmpty());
    }
    EXPECT_FALSE(form->EditMenu->actionGeometry(form->Import).isEmpty());
    form->EditMenu->hide();
    // Run all the same, they end with a status message like every command.
    form->EST1Click();
    EXPECT_EQ(form->MessagePanel->text(), Message(MessageCode::SpectrumMade).text());
    form->Wave1Click();
    EXPECT_EQ(form->MessagePanel->text(), Message(MessageCode::Resynthesised).text());
}

// --- Open ---------------------------------------------------------------------------------

TEST_F(TForm1Test, OpenShowsTheSoundAndSetsProposals)
{
    form->setDocumentLocale(QLocale(QLocale::German, QLocale::Germany));
    open("song.wav", 44100, 2, 44100);

    ASSERT_EQ(dialogs.fileAsks.size(), 1u);
    EXPECT_FALSE(dialogs.fileAsks[0].save);
    const QString filter = dialogs.fileAsks[0].request.filter;
    EXPECT_TRUE(filter.startsWith("Sound files (*.wav *.flac *.ogg *.oga *.opus *.mp3 *.aif *.aiff "
                                  "*.aifc *.w64 *.rf64 *.caf)|*.wav;*.flac;")
        && filter.contains("|Wave file (*.wav)|*.wav|"))
        << filter.toStdString();
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("; ").toStdString();

    EXPECT_EQ(caption(), "song.wav");
    // 44100 frames, hop 512: (44100 + 511) / 512 + 1 = 88 frames; the decimal separator
    // follows the locale.
    EXPECT_EQ(statusTexts(),
        QStringList({"1,000 sec", "44100 samples", "2 ch", "44100 Hz", "16 bit", "88 frames"}));
    for (QAction* action : {form->Save, form->Export, form->Import})
        EXPECT_TRUE(action->isEnabled());
    for (QToolButton* button : {form->ToolButton5, form->ToolButton7, form->ToolButton8})
        EXPECT_TRUE(button->isEnabled());
    EXPECT_EQ(form->WaveSD.fileName, path("song_fix.wav"));
    EXPECT_EQ(form->FilterSD.initialDir, dirWithSeparator());
    EXPECT_EQ(form->FilterOD.initialDir, dirWithSeparator());

    // The picture: 48 + 88 wide, 16 + 513 high, channel 0 only, in the scroll box.
    EXPECT_EQ(form->document().FBitmap.size(), QSize(48 + 88, 16 + 513));
    showForm();
    expectStatusFits(*form);
    const QSize area = form->ScrollBox1->viewport()->size();
    EXPECT_EQ(form->ScrollBox1->horizontalScrollBar()->maximum(), qMax(0, 48 + 88 - area.width()));
    EXPECT_EQ(form->ScrollBox1->verticalScrollBar()->maximum(), qMax(0, 16 + 513 - area.height()));
    // It opens with 0 Hz, the bottom row, in sight; the axes stay at the top and left.
    const QPoint scrolled = form->ScrollBox1->scrollOffset();
    EXPECT_EQ(scrolled.y(), form->ScrollBox1->verticalScrollBar()->maximum());
    const QImage shown = form->ScrollBox1->viewport()->grab().toImage();
    EXPECT_EQ(shown.pixel(60, 100), form->document().FBitmap.pixel(60, 100 + scrolled.y()));
    EXPECT_EQ(shown.pixel(60, 5), form->document().FBitmap.pixel(60, 5));

    // A second file: its proposals follow its directory.
    QDir(dir.path()).mkdir("other");
    open("other/two.wav", 11025, 2, 11025);
    EXPECT_EQ(caption(), "two.wav");
    EXPECT_EQ(statusTexts()[1], "11025 samples");
    EXPECT_EQ(form->WaveSD.fileName, path("other/two_fix.wav"));
    EXPECT_EQ(form->FilterSD.initialDir, dirWithSeparator() + "other/");

    // A file cut short opens with a warning.
    writeToneWav(path("cut.wav"), 1, 8000, 8000);
    writeBytes(path("cut.wav"), readBytes(path("cut.wav")).left(44 + 2 * 6000)); // 6000 frames
    open("cut.wav", 0);
    EXPECT_TRUE(dialogs.errors.isEmpty());
    ASSERT_EQ(dialogs.warnings.size(), 1);
    EXPECT_TRUE(dialogs.warnings[0].contains("cut.wav")) << dialogs.warnings[0].toStdString();
    EXPECT_EQ(caption(), "cut.wav");
    EXPECT_EQ(statusTexts()[1], "6000 samples");
}

TEST_F(TForm1Test, CancelledOrFailedOpenChangesNothing)
{
    // Before any sound, the window stays empty.
    dialogs.fileAnswers.push_back(QString());
    form->O1Click();
    writeBytes(path("broken.wav"), "RIFF....WAVEjunk");
    open("broken.wav", 0);
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains("broken.wav")) << dialogs.errors[0].toStdString();
    EXPECT_EQ(caption(), "Kestrelon");
    EXPECT_EQ(form->document().FWave, nullptr);
    EXPECT_EQ(statusTexts()[0], "sec");
    EXPECT_TRUE(form->WaveSD.fileName.isEmpty());
    for (QAction* action : {form->Save, form->Export, form->Import})
        EXPECT_FALSE(action->isEnabled());

    // With a sound, it stays shown with its proposals.
    open("good.wav");
    const TWave* wave = form->document().FWave.get();
    const Shown before = shown();
    dialogs.fileAnswers.push_back(QString());
    form->O1Click();
    open("missing.wav", 0);
    writeBytes(path("text.wav"), "hello");
    open("text.wav", 0);
    ASSERT_EQ(dialogs.errors.size(), 3);
    EXPECT_TRUE(dialogs.errors[1].contains("missing.wav"));
    EXPECT_TRUE(dialogs.errors[2].contains("text.wav"));
    EXPECT_EQ(caption(), "good.wav");
    EXPECT_EQ(form->WaveSD.fileName, path("good_fix.wav"));
    EXPECT_EQ(form->FilterOD.initialDir, dirWithSeparator());
    EXPECT_EQ(form->document().FWave.get(), wave);
    expectShown(before, "after a cancelled or failed open");
    EXPECT_TRUE(form->Save->isEnabled());
}

TEST_F(TForm1Test, DroppedSoundFileIsOpened)
{
    writeToneWav(path("tone.wav"), 1, 8000, 8000);
    TWave tone;
    ASSERT_EQ(tone.LoadFromFile(path("tone.wav")), kLoadOk);
    ASSERT_TRUE(saveSound(path("dropped.FLAC"), tone));
    writeBytes(path("notes.txt"), "not a sound");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path("notes.txt"))});
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &refused);
    EXPECT_FALSE(refused.isAccepted());

    data.setUrls(
        {QUrl::fromLocalFile(path("notes.txt")), QUrl::fromLocalFile(path("dropped.FLAC"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &drop);
    // (QTRY_COMPARE would report to QtTest, not to this test)
    EXPECT_TRUE(QTest::qWaitFor([&] { return caption() == "dropped.FLAC"; }, 2000))
        << caption().toStdString() << ": " << dialogs.errors.join("; ").toStdString();
    EXPECT_TRUE(form->Save->isEnabled());
}

TEST_F(TForm1Test, DroppedPictureIsImportedWhenThereIsOne)
{
    // An empty sound has no picture: nothing to export, import or edit, and no drop.
    writeToneWav(path("empty.wav"), 1, 8000, 0);
    open("empty.wav", 0);
    ASSERT_EQ(caption(), "empty.wav");
    EXPECT_TRUE(form->Save->isEnabled());
    for (QAction* a : {form->Export, form->Import, form->ExternalEdit})
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    writeBytes(path("edited.png"), "not yet");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path("edited.png"))});
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &refused);
    EXPECT_FALSE(refused.isAccepted());

    // A sound: its exported picture, edited and saved as PNG, is imported when dropped.
    open("voice.wav");
    dialogs.fileAnswers.push_back(path("voice_s1024.bmp"));
    form->P1Click();
    QImage image = QImage(path("voice_s1024.bmp")).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(image.isNull());
    for (int x = form->document().FLeftMargin; x < image.width(); ++x)
        image.setPixel(x, image.height() - 20, qRgb(0, 0, 0));
    ASSERT_TRUE(image.save(path("edited.png"), "PNG"));
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &drop);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->history().count() == 1; }, 2000))
        << dialogs.errors.join("; ").toStdString();
    EXPECT_EQ(form->MessagePanel->text(), Message(MessageCode::Imported, "edited.png").text());
}

TEST_F(TForm1Test, ALongMessageGivesWayWithTheWholeTextAsTip)
{
    showForm();
    const QString name = QString(120, QLatin1Char('a')) + ".wav";
    open(name);
    const QString said = Message(MessageCode::Opened, name).text();
    EXPECT_EQ(form->MessagePanel->text(), said);
    EXPECT_EQ(form->MessagePanel->toolTip(),
        Message(MessageCode::Opened, QDir::toNativeSeparators(path(name))).text());
    EXPECT_EQ(form->width(), 786);
    EXPECT_LT(
        form->MessagePanel->width(), form->MessagePanel->fontMetrics().horizontalAdvance(said));
    for (QLabel* panel : form->StatusPanels)
        EXPECT_GE(panel->width(), panel->sizeHint().width()) << panel->text().toStdString();
}

TEST_F(TForm1Test, F1ShowsTheHelpPageShippedWithTheProgram)
{
    form->Help->trigger();
    auto* help = form->findChild<HelpWindow*>();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_FALSE(help->isModal());
    const QString page = help->browser()->toPlainText();
    for (const char* topic :
        {"編集の流れ", "0.5 dB", "余白", "ケプストラム", "FFT長", "外部エディタ"})
        EXPECT_TRUE(page.contains(QString::fromUtf8(topic))) << topic;
    form->Help->trigger();
    EXPECT_EQ(form->findChildren<HelpWindow*>().size(), 1);
}

TEST_F(TForm1Test, RecentFilesReopenAndForgetMissingOnes)
{
    clearRecentFiles();
    open("a.wav");
    open("b.wav");
    EXPECT_EQ(recentFiles(), QStringList({path("b.wav"), path("a.wav")}));
    const auto item = [this](int i) {
        emit form->RecentMenu->aboutToShow();
        return form->RecentMenu->actions().value(i);
    };
    ASSERT_NE(item(1), nullptr);
    EXPECT_EQ(item(1)->text(), "&2 a.wav");
    item(1)->trigger();
    EXPECT_EQ(caption(), "a.wav");
    EXPECT_EQ(recentFiles(), QStringList({path("a.wav"), path("b.wav")}));
    // A file that has gone is said so and leaves the list; nothing else changes.
    QFile::remove(path("b.wav"));
    item(1)->trigger();
    EXPECT_EQ(caption(), "a.wav");
    EXPECT_EQ(recentFiles(), QStringList({path("a.wav")}));
    EXPECT_EQ(dialogs.errors,
        QStringList(
            {Message(MessageCode::RecentFileMissing, QDir::toNativeSeparators(path("b.wav")))
                    .text()}));
    clearRecentFiles();
}

// --- view and FFT length ------------------------------------------------------------------

TEST_F(TForm1Test, SwitchingViewsShowsEachViewsPicture)
{
    open("voice.wav");
    const QStringList status = statusTexts();
    const QImage spectrum = form->document().FBitmap.copy();

    form->ComboBox1->setCurrentIndex(1);
    EXPECT_EQ(form->document().FMode, kCepstrumView);
    const QImage cepstrum = form->document().FBitmap.copy();
    EXPECT_NE(cepstrum, spectrum);
    const std::shared_ptr<const GrayCells> cells = form->document().cells[kCepstrumView];

    form->ComboBox1->setCurrentIndex(0);
    EXPECT_EQ(form->document().FBitmap, spectrum);
    form->ComboBox1->setCurrentIndex(1);
    EXPECT_EQ(form->document().cells[kCepstrumView], cells) << "computed once";
    EXPECT_EQ(form->document().FBitmap, cepstrum);
    EXPECT_EQ(statusTexts(), status) << "switching views never touches the status bar";

    // The hidden "スペクトル作成" command analyses afresh and shows the spectrum.
    form->EST1Click();
    EXPECT_EQ(form->ComboBox1->currentIndex(), 0);
    EXPECT_EQ(form->document().FBitmap, spectrum);
    form->ComboBox1->setCurrentIndex(1);
    EXPECT_NE(form->document().cells[kCepstrumView], cells) << "computed again";
    EXPECT_EQ(form->document().FBitmap, cepstrum);
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(TForm1Test, FFTLengthIsKeptWithoutSoundAndReanalysesWithOne)
{
    form->ComboBox2->setCurrentText("4096");
    form->ComboBox1->setCurrentIndex(1); // nothing to draw yet
    EXPECT_EQ(form->document().FFFTLength, 4096);
    EXPECT_EQ(form->document().FMode, kCepstrumView);
    EXPECT_EQ(statusTexts()[5], "Frames");
    EXPECT_FALSE(form->Export->isEnabled());
    open("late.wav", 22050);
    // 22050 frames, hop 2048: (22050 + 2047) / 2048 + 1 = 12 frames.
    EXPECT_EQ(statusTexts()[5], "12 frames");
    EXPECT_EQ(form->document().FBitmap.size(), QSize(48 + 12, 16 + 2049));

    // A new length re-analyses and forgets the picture exported with the old one.
    form->ComboBox2->setCurrentText("1024");
    dialogs.fileAnswers.push_back(path("late_c1024.bmp"));
    form->P1Click();
    ASSERT_EQ(form->FilterOD.fileName, path("late_c1024.bmp"));
    form->ComboBox2->setCurrentText("4096");
    EXPECT_EQ(form->document().shownCells()->fftLength, 4096);
    EXPECT_EQ(statusTexts()[5], "12 frames");
    EXPECT_EQ(form->document().FBitmap.height(), 16 + 2049);
    EXPECT_TRUE(form->FilterOD.fileName.isEmpty());
    dialogs.fileAnswers.push_back(QString());
    form->L1Click();
    EXPECT_TRUE(dialogs.fileAsks.back().request.fileName.isEmpty()) << "no name proposed";
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

// --- Save and Export: the file dialog, the overwrite question, failures ------------------------

struct WriteCase {
    const char* name;
    void (TForm1::*click)();
    const char* proposal;
    const char* filter;
    const char* suffix;
};

class WriteCommand : public TForm1Test, public ::testing::WithParamInterface<WriteCase> { };

TEST_P(WriteCommand, AsksBeforeOverwritingAndReportsFailures)
{
    const WriteCase& c = GetParam();
    const QString suffix = QString::fromUtf8(c.suffix);
    open("song.wav");
    const auto run = [&](const QString& answer) {
        dialogs.fileAnswers.push_back(answer);
        (form.get()->*c.click)();
    };

    // An existing file: No keeps it.
    writeBytes(path("keep." + suffix), "precious");
    dialogs.yesNoAnswers.push_back(false);
    run(path("keep." + suffix));
    ASSERT_EQ(dialogs.fileAsks.size(), 2u);
    const FileDialogRequest& asked = dialogs.fileAsks[1].request;
    EXPECT_TRUE(dialogs.fileAsks[1].save);
    EXPECT_EQ(QFileInfo(asked.fileName).absoluteFilePath(), path(c.proposal));
    EXPECT_EQ(asked.filter, QString::fromUtf8(c.filter));
    EXPECT_EQ(asked.defaultSuffix, suffix);
    EXPECT_EQ(dialogs.questions, QStringList({"\"keep." + suffix + "\" を上書きしますか？"}));
    EXPECT_EQ(readBytes(path("keep." + suffix)), QByteArray("precious"));
    EXPECT_TRUE(form->FilterOD.fileName.isEmpty()) << "nothing exported to propose";

    // A new file needs no question; Yes overwrites; a cancelled dialog writes nothing.
    run(path(c.proposal));
    EXPECT_EQ(dialogs.questions.size(), 1);
    const QByteArray written = readBytes(path(c.proposal));
    ASSERT_FALSE(written.isEmpty());
    if (c.click == &TForm1::S1Click) {
        EXPECT_EQ(written, readBytes(path("song.wav")));
    }
    dialogs.yesNoAnswers.push_back(true);
    run(path("keep." + suffix));
    EXPECT_EQ(readBytes(path("keep." + suffix)), written);
    run(QString());
    EXPECT_EQ(dialogs.questions.size(), 2);

    // A failure is reported and leaves no file.
    const QString target = path("no/such/dir/out." + suffix);
    run(target);
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains("out." + suffix)) << dialogs.errors[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_EQ(caption(), "song.wav");
}

INSTANTIATE_TEST_SUITE_P(Commands, WriteCommand,
    ::testing::Values(WriteCase{"Save", &TForm1::S1Click, "song_fix.wav",
                          "Wave file (*.wav)|*.wav|FLAC file (*.flac)|*.flac", "wav"},
        WriteCase{
            "Export", &TForm1::P1Click, "song_s1024.bmp", "Bitmap file (*.bmp)|*.bmp", "bmp"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- export, edit, import -----------------------------------------------------------------

// Mean gray of the picture's cells for frames f0..f1-1 and spectrum bins k0..k1-1.
double meanGray(const QImage& picture, int N, int f0, int f1, int k0, int k1)
{
    double sum = 0;
    for (int k = k0; k < k1; ++k)
        for (int f = f0; f < f1; ++f)
            sum += qBlue(picture.pixel(48 + f, 16 + N / 2 - k));
    return sum / ((f1 - f0) * (k1 - k0));
}

class ExportImportTest : public TForm1Test, public ::testing::WithParamInterface<int> { };

TEST_P(ExportImportTest, EditedPictureChangesSoundAndPicture)
{
    const int view = GetParam();
    open("voice.wav", 44100, 2, 44100);
    form->ComboBox1->setCurrentIndex(view);
    const QImage before = form->document().FBitmap.copy();
    const std::vector<uint8_t> sound = form->document().FWave->FData;

    // Darken the 1 kHz tone (bin 23 at 44.1 kHz, N = 1024) or low quefrencies in frames
    // 20 .. 49 by 40 gray levels.
    importBlock(view == 0 ? 512 - 30 : 5, view == 0 ? 512 - 16 : 40, 20, 49, -40);
    ASSERT_EQ(dialogs.fileAsks.size(), 3u);
    const FileDialogRequest& exported = dialogs.fileAsks[1].request;
    EXPECT_TRUE(dialogs.fileAsks[1].save);
    EXPECT_EQ(exported.title, "フィルターエクスポート");
    EXPECT_EQ(QFileInfo(exported.fileName).absoluteFilePath(),
        path(view == 0 ? "voice_s1024.bmp" : "voice_c1024.bmp"));
    EXPECT_EQ(exported.initialDir, dirWithSeparator());
    const FileDialogRequest& imported = dialogs.fileAsks[2].request;
    EXPECT_FALSE(dialogs.fileAsks[2].save);
    EXPECT_EQ(imported.title, "フィルターインポート");
    EXPECT_EQ(qtNameFilter(imported.filter),
        "フィルタ画像 (*.bmp *.png);;BMP ファイル (*.bmp);;PNG ファイル (*.png);;すべてのファイル "
        "(*)");
    EXPECT_EQ(imported.defaultSuffix, "bmp");
    EXPECT_EQ(imported.fileName, path("export1.bmp")) << "the picture just exported";

    EXPECT_NE(form->document().FWave->FData, sound);
    EXPECT_NE(form->document().FBitmap, before);
    EXPECT_EQ(form->document().FBitmap.size(), before.size());
    if (view == 0) {
        // The darkened cells are clearly darker after resynthesis and re-analysis; cells
        // far from them are as they were.
        const double edited0 = meanGray(before, 1024, 24, 46, 20, 27);
        const double edited1 = meanGray(form->document().FBitmap, 1024, 24, 46, 20, 27);
        EXPECT_LT(edited1, edited0 - 15) << edited0 << " -> " << edited1;
        EXPECT_NEAR(meanGray(form->document().FBitmap, 1024, 60, 80, 20, 27),
            meanGray(before, 1024, 60, 80, 20, 27), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(BothViews, ExportImportTest, ::testing::Values(0, 1),
    [](const auto& info) { return info.param == 0 ? "Spectrum" : "Cepstrum"; });

// A sound too long for a whole picture (8 kHz, N = 256: 30 001 frames) is offered in
// pieces, proposed from the part in sight; the window sends each edited piece back where
// it was exported from, asks where an unknown piece goes, and refuses a piece of another
// range or analysis.
TEST_F(TForm1Test, LongSoundsAreExportedAndImportedInPieces)
{
    open("long.wav", 30000 * 128, 1, 8000);
    form->ComboBox2->setCurrentIndex(0); // N = 256
    showForm();
    // Frames 10000 on in sight, right of the frequency axis.
    form->ScrollBox1->horizontalScrollBar()->setValue(10000);
    const double inSight = (10000.0 + form->ScrollBox1->viewport()->width() - 48) * 128 / 8000;

    dialogs.yesNoAnswers.push_back(false); // the whole picture after all
    dialogs.fileAnswers.push_back(QString());
    form->P1Click();
    EXPECT_TRUE(dialogs.rangeAsks.empty());
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions[0], Message(MessageCode::RangeTooWide, 30049, 30000).text());

    const QString piece = path("piece.bmp");
    dialogs.yesNoAnswers.push_back(true);
    dialogs.rangeAnswers.push_back({160.0, 170.0});
    dialogs.fileAnswers.push_back(piece);
    form->P1Click();
    ASSERT_EQ(dialogs.rangeAsks.size(), 1u);
    EXPECT_DOUBLE_EQ(dialogs.rangeAsks[0].from, 160.0);
    EXPECT_DOUBLE_EQ(dialogs.rangeAsks[0].to, inSight);
    EXPECT_EQ(dialogs.fileAsks.back().request.fileName, path("long_s256_160.000-170.000.bmp"));
    const QImage exported(piece);
    ASSERT_EQ(exported.size(), QSize(48 + 625, 16 + 129));

    const DocumentPtr before = form->document().shared_from_this();
    QImage edited = exported.convertToFormat(QImage::Format_RGB32);
    for (int y = 100; y < 120; ++y) // around 1 kHz
        for (int x = 148; x < 188; ++x) {
            const int g = std::max(0, qBlue(edited.pixel(x, y)) - 40);
            edited.setPixel(x, y, qRgb(g, g, g));
        }
    ASSERT_TRUE(edited.save(piece));
    dialogs.fileAnswers.push_back(piece);
    form->L1Click();
    ASSERT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("; ").toStdString();
    const CommandResult core = before->ImportRange(piece, FrameRange{10000, 10625});
    ASSERT_TRUE(core.ok);
    EXPECT_TRUE(form->document().FWave->FData == core.document->FWave->FData);
    EXPECT_FALSE(form->document().FWave->FData == before->FWave->FData);

    // a copy this window did not export: the person says where it goes
    QFile::copy(piece, path("copy.bmp"));
    dialogs.fileAnswers.push_back(path("copy.bmp"));
    dialogs.rangeAnswers.push_back({160.0, 170.0});
    form->L1Click();
    ASSERT_EQ(dialogs.rangeAsks.size(), 2u);
    EXPECT_EQ(dialogs.rangeAsks[1].title, Message(MessageCode::RangeImportTitle).text());
    EXPECT_DOUBLE_EQ(dialogs.rangeAsks[1].from, 160.0) << "the part in sight";
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("; ").toStdString();

    const Shown kept = shown();
    ASSERT_TRUE(exported.copy(0, 0, 600, 145).save(piece));
    dialogs.fileAnswers.push_back(piece);
    form->L1Click();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].endsWith("別の範囲か別の長さの音の画像です"))
        << dialogs.errors[0].toStdString();
    form->ComboBox2->setCurrentIndex(1); // N = 512: 15 001 frames
    dialogs.fileAnswers.push_back(piece);
    form->L1Click();
    ASSERT_EQ(dialogs.errors.size(), 2);
    EXPECT_EQ(dialogs.errors[1],
        Message(MessageCode::RangeOtherAnalysis, piece, 30001, 256, 15001, 512).text());
    form->ComboBox2->setCurrentIndex(0);
    expectShown(kept, "after refused pieces");
}

enum class BadPicture { Narrower, CutShort, NotAnImage };

class FailedImportTest : public TForm1Test, public ::testing::WithParamInterface<BadPicture> { };

TEST_P(FailedImportTest, IsReportedAndChangesNothing)
{
    open("voice.wav");
    dialogs.fileAnswers.push_back(path("voice_s1024.bmp"));
    form->P1Click();
    const QByteArray good = readBytes(path("voice_s1024.bmp"));
    ASSERT_FALSE(good.isEmpty());
    if (GetParam() == BadPicture::Narrower) {
        const QImage image(path("voice_s1024.bmp"));
        ASSERT_TRUE(
            image.copy(0, 0, image.width() - 1, image.height()).save(path("bad.bmp"), "BMP"));
    } else {
        writeBytes(path("bad.bmp"),
            GetParam() == BadPicture::CutShort ? good.left(good.size() / 2) : "no picture at all");
    }
    const Shown before = shown();

    dialogs.fileAnswers.push_back(path("bad.bmp"));
    form->L1Click();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains("bad.bmp")) << dialogs.errors[0].toStdString();
    expectShown(before, "after a failed import");
    EXPECT_EQ(form->FilterOD.fileName, path("voice_s1024.bmp"));
    EXPECT_EQ(form->history().count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Pictures, FailedImportTest,
    ::testing::Values(BadPicture::Narrower, BadPicture::CutShort, BadPicture::NotAnImage));

// --- About box and errors thrown by a command ------------------------------------------------

TEST_F(TForm1Test, AboutBoxIsModalAndShowsTheSteps)
{
    // A click delivered by the window system, which modality filters.
    const auto clickOpenButton = [this] {
        const QPoint centre
            = form->ToolButton1->mapTo(form.get(), form->ToolButton1->rect().center());
        QTest::mouseClick(form->windowHandle(), Qt::LeftButton, Qt::NoModifier, centre);
        QCoreApplication::processEvents();
    };
    showForm();
    bool inspected = false;
    onNextModal([&](QWidget* modal) {
        auto* about = qobject_cast<TForm2*>(modal);
        ASSERT_NE(about, nullptr);
        inspected = true;
        EXPECT_TRUE(about->isModal());
        EXPECT_EQ(about->size(), QSize(389, 134));
        expectTexts({{about->windowTitle(), "Kestrelonの使い方"},
            {about->Label1->text(), "1 Waveファイルを読み込む"},
            {about->Label2->text(),
                "2 スペクトラムまたはケプストラムをBitmapとしてエクスポートする"},
            {about->Label3->text(),
                "3 スペクトラムまたはケプストラムを外部の画像処理ソフトで加工する"},
            {about->Label4->text(), "4 加工したスペクトラムまたはケプストラムをインポートする"},
            {about->Label5->text(), "5 Weveファイルを保存する"},
            {about->Label6->text(), "ver " KESTRELON_VERSION},
            {about->Button1->text(), "閉じる(&C)"}});
        for (QLabel* label : {about->Label1, about->Label2, about->Label3, about->Label4,
                 about->Label5, about->Label6})
            EXPECT_LE(label->geometry().right(), 389) << label->text().toStdString();

        // The main window does not respond while the box is open.
        clickOpenButton();
        EXPECT_TRUE(dialogs.fileAsks.empty());
        QTest::mouseClick(about->Button1, Qt::LeftButton);
    });
    form->KestrelonA1Click();
    EXPECT_TRUE(inspected);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(form->findChildren<TForm2*>().isEmpty()) << "freed when it closes";
    // The same click reaches the window once the box is closed.
    dialogs.fileAnswers.push_back(QString());
    clickOpenButton();
    EXPECT_EQ(dialogs.fileAsks.size(), 1u);
}

TEST_F(TForm1Test, ErrorsThrownByACommandAreShownAndTheWindowGoesOn)
{
    open("voice.wav");
    const std::vector<uint8_t> sound = form->document().FWave->FData;
    dialogs.launchThrows = true; // starting the editor throws half way through the command
    form->ExternalEditClick();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].endsWith("the editor could not be started"))
        << dialogs.errors[0].toStdString();
    EXPECT_EQ(form->document().FWave->FData, sound);
    dialogs.launchThrows = false;
    EXPECT_TRUE(form->ExternalEdit->isEnabled());
    open("voice.wav");
    EXPECT_EQ(caption(), "voice.wav");
    EXPECT_EQ(dialogs.errors.size(), 1);
}

// The language chosen in the Help menu: menus, labels and the texts of a command change
// at once, the choice is saved, and Japanese comes back the same way.
TEST_F(TForm1Test, LanguageMenuSwitchesTheWindowAtOnce)
{
    auto* english = form->findChild<QAction*>("Language_en");
    auto* japanese = form->findChild<QAction*>("Language_ja");
    ASSERT_TRUE(english && japanese);
    english->trigger();
    EXPECT_EQ(form->FileMenu->title(), "&File");
    EXPECT_EQ(form->Label1->text(), "FFT length");
    EXPECT_EQ(form->Undo->toolTip(), "Undo the import");
    EXPECT_EQ(form->ExportRange->text(), "Export Range...");
    EXPECT_EQ(QSettings("Kestrelon", "Kestrelon").value("window/language").toString(), "en");
    open("voice.wav");
    EXPECT_EQ(caption(), "voice.wav"); // the program's own texts stay
    dialogs.fileAnswers.push_back(path("missing.bmp"));
    form->L1Click();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains("missing.bmp: cannot open: "))
        << dialogs.errors[0].toStdString();
    // The paint tool bar and the help page are English too.
    const PaintToolText& brush = kPaintToolTexts[1];
    EXPECT_EQ(form->PaintTools1->toolAction(brush.tool)->toolTip(),
        Message(brush.toolTip).text(Language::English));
    form->Help->trigger();
    auto* help = form->findChild<HelpWindow*>();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->browser()->toPlainText().contains("The editing cycle"));

    // What is on screen follows a switch: the status message and the help page.
    japanese->trigger();
    EXPECT_EQ(form->MessagePanel->text(), Message(MessageCode::ImportFailed, "missing.bmp").text());
    EXPECT_EQ(form->PaintTools1->toolAction(brush.tool)->toolTip(), Message(brush.toolTip).text());
    EXPECT_TRUE(help->browser()->toPlainText().contains("編集の流れ"));
    EXPECT_EQ(form->FileMenu->title(), "ファイル(&F)");
    EXPECT_EQ(form->Label1->text(), "FFT長");
    EXPECT_EQ(caption(), "voice.wav");
    EXPECT_EQ(QSettings("Kestrelon", "Kestrelon").value("window/language").toString(), "ja");
}

// The import guard asks before a picture of the other view is applied: No changes nothing
// and says the import was cancelled; Yes applies it.
TEST_F(TForm1Test, ImportOfAnotherViewsPictureIsAskedFirst)
{
    open("voice.wav");
    dialogs.fileAnswers.push_back(path("voice_s1024.bmp"));
    form->P1Click();
    form->ComboBox1->setCurrentIndex(1); // the cepstrum view
    const std::vector<uint8_t> sound = form->document().FWave->FData;
    dialogs.fileAnswers.push_back(path("voice_s1024.bmp"));
    dialogs.yesNoAnswers.push_back(false);
    form->L1Click();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions[0],
        "ファイル名によると、この画像はスペクトラム表示・FFT長 1024で書き出したものですが、"
        "いまの表示はケプストラム表示・FFT長 1024です。このままインポートしますか？");
    EXPECT_EQ(form->document().FWave->FData, sound);
    EXPECT_EQ(form->MessagePanel->text(), "インポートをキャンセルしました");
    EXPECT_FALSE(form->Undo->isEnabled());

    form->ComboBox1->setCurrentIndex(0);
    dialogs.fileAnswers.push_back(path("voice_s1024.bmp"));
    form->L1Click(); // its own view: no question, applied
    EXPECT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(form->Undo->isEnabled());
}

} // namespace
} // namespace kestrelon::test
