// The main window driven as a person would, with the dialogs answered by a script.
#include <limits>
#include <memory>

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
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "FormFixture.h"
#include "app/About.h"
#include "app/KestrelonMain.h"
#include "app/PictureView.h"

namespace kestrelon::test {
namespace {

// --- what the person sees at start-up ----------------------------------------------------

TEST_F(TForm1Test, StartsEmptyWithOnlyOpenAvailable)
{
    EXPECT_EQ(caption(), "Kestrelon");
    EXPECT_EQ(form->core().FWave, nullptr);
    EXPECT_EQ(form->core().FFFTLength, 1024);
    EXPECT_EQ(form->core().FMode, kSpectrumView);
    EXPECT_EQ(form->ComboBox1->currentIndex(), 0);
    EXPECT_EQ(form->ComboBox1->currentText(), "スペクトラム");
    EXPECT_EQ(form->ComboBox2->currentText(), "1024");

    EXPECT_TRUE(form->Open->isEnabled());
    EXPECT_TRUE(form->ToolButton1->isEnabled());
    for (QAction* action : {form->Save, form->Export, form->Import})
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
    for (QToolButton* button : {form->ToolButton5, form->ToolButton7, form->ToolButton8})
        EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();

    EXPECT_EQ(statusTexts(), QStringList({"sec", "samples", "ch", "Hz", "bit", "Frames"}));
    EXPECT_TRUE(form->core().FBitmap.isNull() || form->core().FBitmap.size().isEmpty());
}

TEST_F(TForm1Test, WidgetsCaptionsHintsAndSizes)
{
    // Toolbar, left to right.
    QStringList order;
    for (QAction* a : form->ToolBar1->actions())
        order << form->ToolBar1->widgetForAction(a)->objectName();
    EXPECT_EQ(order,
        QStringList({"ToolButton3", "ToolButton1", "ToolButton5", "ToolButton4", "ComboBox1",
            "ToolButton6", "Label1", "ComboBox2", "ToolButton2", "ToolButton7", "ToolButton8",
            "ToolButton13", "ToolButton9", "ToolButton10", "ToolButton11", "ToolButton12"}));
    EXPECT_EQ(form->ToolBar1->height(), 29);
    for (const char* name :
        {"ToolButton3", "ToolButton4", "ToolButton6", "ToolButton2", "ToolButton9"})
        EXPECT_EQ(form->ToolBar1->findChild<QWidget*>(name)->width(), 8) << name;
    EXPECT_EQ(form->ToolButton1->width(), 26);
    EXPECT_EQ(form->ComboBox1->width(), 100);
    EXPECT_EQ(form->ComboBox2->width(), 61);
    EXPECT_EQ(form->Label1->text(), "FFT長");
    ASSERT_EQ(form->ComboBox1->count(), 2);
    EXPECT_EQ(form->ComboBox1->itemText(1), "ケプストラム");
    QStringList lengths;
    for (int i = 0; i < form->ComboBox2->count(); ++i)
        lengths << form->ComboBox2->itemText(i);
    EXPECT_EQ(lengths, QStringList({"256", "512", "1024", "2048", "4096"}));

    // Actions: caption and hint; the Export/Import buttons keep their own hints even
    // after the actions change state.
    EXPECT_EQ(form->Open->text(), "Open");
    EXPECT_EQ(form->Save->text(), "Save");
    EXPECT_EQ(form->Export->text(), "Export");
    EXPECT_EQ(form->Import->text(), "Import");
    EXPECT_EQ(form->Open->toolTip(), "Waveファイルを開く");
    EXPECT_EQ(form->Save->toolTip(), "Waveファイルを保存する");
    EXPECT_EQ(form->Export->toolTip(), "スペクトラム/ケプストラムをエクスポートする");
    EXPECT_EQ(form->Import->toolTip(), "スペクトラム/ケプストラムをインポートする");
    EXPECT_EQ(form->ToolButton1->toolTip(), "Waveファイルを開く");
    EXPECT_EQ(form->ToolButton5->toolTip(), "Waveファイルを保存する");
    form->Export->setEnabled(true);
    form->Import->setEnabled(true);
    EXPECT_EQ(form->ToolButton7->toolTip(), "フィルタ画像をエクスポートする");
    EXPECT_EQ(form->ToolButton8->toolTip(), "フィルタ画像をインポートする");
    for (QAction* a : {form->Open, form->Save, form->Export, form->Import})
        EXPECT_FALSE(a->icon().pixmap(16, 16).isNull()) << a->text().toStdString();

    // Menus.
    QStringList menus;
    for (QAction* a : form->menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, QStringList({"ファイル(&F)", "編集(&E)", "再生(&P)", "ヘルプ(&H)"}));
    EXPECT_EQ(form->FileMenu->actions(), QList<QAction*>({form->Open, form->Save}));
    const QList<QAction*> edit = form->EditMenu->actions();
    ASSERT_EQ(edit.size(), 10);
    EXPECT_EQ(edit.mid(0, 2), QList<QAction*>({form->Undo, form->Redo}));
    EXPECT_TRUE(edit[2]->isSeparator());
    EXPECT_EQ(edit.mid(3),
        QList<QAction*>({form->Export, form->Import, form->ExternalEdit, form->EditorSettings,
            form->N1, form->EST1, form->Wave1}));
    EXPECT_EQ(form->ExternalEdit->text(), "外部エディタで編集");
    EXPECT_EQ(form->EditorSettings->text(), "外部エディタの設定...");
    EXPECT_FALSE(form->ExternalEdit->icon().pixmap(16, 16).isNull());
    EXPECT_EQ(form->ToolButton13->defaultAction(), form->ExternalEdit);
    EXPECT_EQ(form->Undo->text(), "元に戻す(&U)");
    EXPECT_EQ(form->Redo->text(), "やり直し(&R)");
    EXPECT_EQ(form->Undo->shortcuts(), QList<QKeySequence>({QKeySequence("Ctrl+Z")}));
    EXPECT_EQ(form->Redo->shortcuts(),
        QList<QKeySequence>({QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")}));
    const QList<QAction*> play = form->PlayMenu->actions();
    ASSERT_EQ(play.size(), 4);
    EXPECT_EQ(play[0], form->Play);
    EXPECT_EQ(play[1], form->Stop);
    EXPECT_EQ(play[3], form->Compare);
    EXPECT_EQ(form->Play->text(), "再生(&P)");
    EXPECT_EQ(form->Stop->text(), "停止(&S)");
    EXPECT_EQ(form->Compare->text(), "インポート前の音(&B)");
    EXPECT_EQ(form->Play->shortcut(), QKeySequence(Qt::Key_Space));
    EXPECT_EQ(form->Stop->shortcut(), QKeySequence(Qt::Key_Space));
    EXPECT_TRUE(form->Compare->isCheckable());
    for (QAction* a : {form->Play, form->Stop, form->Compare, form->Undo, form->Redo})
        EXPECT_FALSE(a->icon().pixmap(16, 16).isNull()) << a->text().toStdString();
    EXPECT_EQ(form->EST1->text(), "スペクトル作成");
    EXPECT_EQ(form->Wave1->text(), "Waveに出力");
    EXPECT_EQ(form->KestrelonA1->text(), "Kestrelon(&A)");

    // Status panels: permanent (a temporary message hides nothing) with their widths.
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    const int widths[5] = {80, 100, 50, 80, 50};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(form->StatusPanels[i]->width(), widths[i]) << i;
    // The last panel reaches to the right edge.
    EXPECT_GE(form->StatusPanels[5]->width(), 50);
    EXPECT_GT(form->StatusPanels[5]->geometry().right(), form->width() - 30);
    form->StatusBar1->showMessage("a temporary message");
    for (QLabel* panel : form->StatusPanels)
        EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(form->StatusBar1->height(), 19);
    // Client area 786 x 601 below the menu bar.
    EXPECT_EQ(form->width(), 786);
    EXPECT_EQ(form->height() - form->menuBar()->height(), 601);

    // Dialog settings.
    EXPECT_EQ(form->WaveOD.filter, "Wave file (*.wav)|*.wav");
    EXPECT_EQ(form->WaveOD.defaultSuffix, "wav");
    EXPECT_TRUE(form->WaveOD.title.isEmpty());
    EXPECT_EQ(form->WaveSD.filter, "Wave file (*.wav)|*.wav");
    EXPECT_EQ(form->WaveSD.defaultSuffix, "wav");
    EXPECT_EQ(form->FilterOD.filter, "Bitmap file (*.bmp)|*.bmp");
    EXPECT_EQ(form->FilterOD.defaultSuffix, "bmp");
    EXPECT_EQ(form->FilterOD.title, "フィルターインポート");
    EXPECT_EQ(form->FilterSD.filter, "Bitmap file (*.bmp)|*.bmp");
    EXPECT_EQ(form->FilterSD.defaultSuffix, "bmp");
    EXPECT_EQ(form->FilterSD.title, "フィルターエクスポート");
}

TEST_F(TForm1Test, HiddenEditItemsNeverAppear)
{
    open("a.wav");
    form->ComboBox2->setCurrentText("512");
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->EditMenu->popup(form->mapToGlobal(QPoint(0, 0)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form->EditMenu));
    EXPECT_FALSE(form->EST1->isVisible());
    EXPECT_FALSE(form->Wave1->isVisible());
    EXPECT_TRUE(form->EditMenu->actionGeometry(form->EST1).isEmpty());
    EXPECT_TRUE(form->EditMenu->actionGeometry(form->Wave1).isEmpty());
    EXPECT_FALSE(form->EditMenu->actionGeometry(form->Import).isEmpty());
    form->EditMenu->hide();
}

// --- Open ---------------------------------------------------------------------------------

TEST_F(TForm1Test, OpenShowsTheSoundAndSetsProposals)
{
    form->core().locale = QLocale(QLocale::German, QLocale::Germany);
    open("song.wav", 44100, 2, 44100);

    ASSERT_EQ(dialogs.fileAsks.size(), 1u);
    EXPECT_FALSE(dialogs.fileAsks[0].save);
    EXPECT_EQ(dialogs.fileAsks[0].request.filter, "Wave file (*.wav)|*.wav");
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
    EXPECT_EQ(form->core().FBitmap.size(), QSize(48 + 88, 16 + 513));
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    // No status text is cut off.
    for (QLabel* panel : form->StatusPanels)
        EXPECT_LE(
            panel->fontMetrics().horizontalAdvance(panel->text()), panel->contentsRect().width())
            << panel->text().toStdString();
    const QSize area = form->ScrollBox1->viewport()->size();
    EXPECT_EQ(form->ScrollBox1->horizontalScrollBar()->maximum(), qMax(0, 48 + 88 - area.width()));
    EXPECT_EQ(form->ScrollBox1->verticalScrollBar()->maximum(), qMax(0, 16 + 513 - area.height()));
    EXPECT_EQ(form->ScrollBox1->viewport()->grab().toImage().pixel(60, 100),
        form->core().FBitmap.pixel(60, 100));
}

TEST_F(TForm1Test, CancelledOpenChangesNothing)
{
    dialogs.fileAnswers.push_back(QString());
    form->O1Click();
    EXPECT_EQ(caption(), "Kestrelon");
    EXPECT_EQ(form->core().FWave, nullptr);
    EXPECT_FALSE(form->Save->isEnabled());

    open("first.wav");
    const TWave* wave = form->core().FWave.get();
    const std::vector<uint8_t> samples = wave->FData;
    const QStringList status = statusTexts();
    const QImage picture = form->core().FBitmap.copy();

    dialogs.fileAnswers.push_back(QString());
    form->O1Click();
    EXPECT_EQ(caption(), "first.wav");
    EXPECT_EQ(form->WaveSD.fileName, path("first_fix.wav"));
    EXPECT_EQ(form->FilterOD.initialDir, dirWithSeparator());
    EXPECT_EQ(form->core().FWave.get(), wave);
    EXPECT_EQ(wave->FData, samples);
    EXPECT_EQ(statusTexts(), status);
    EXPECT_EQ(form->core().FBitmap, picture);
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(TForm1Test, SecondOpenReusesTheWave)
{
    QDir(dir.path()).mkdir("other");
    open("one.wav", 22050);
    const TWave* wave = form->core().FWave.get();
    ASSERT_NE(wave, nullptr);
    open("other/two.wav", 11025, 2, 11025);
    EXPECT_EQ(form->core().FWave.get(), wave);
    EXPECT_EQ(caption(), "two.wav");
    EXPECT_EQ(form->core().FWave->FSampleCount, 11025u);
    EXPECT_EQ(statusTexts()[2], "2 ch");
    EXPECT_EQ(form->WaveSD.fileName, path("other/two_fix.wav"));
    EXPECT_EQ(form->FilterSD.initialDir, dirWithSeparator() + "other/");
}

TEST_F(TForm1Test, DroppedWavFileIsOpened)
{
    writeToneWav(path("dropped.wav"), 1, 8000, 8000);
    writeBytes(path("notes.txt"), "not a sound");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path("notes.txt"))});
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &refused);
    EXPECT_FALSE(refused.isAccepted());

    data.setUrls(
        {QUrl::fromLocalFile(path("notes.txt")), QUrl::fromLocalFile(path("dropped.wav"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &drop);
    QTRY_COMPARE_WITH_TIMEOUT(caption(), QString("dropped.wav"), 2000);
    EXPECT_TRUE(form->Save->isEnabled());
}

// --- view and FFT length ------------------------------------------------------------------

TEST_F(TForm1Test, CepstrumIsComputedOncePerAnalysis)
{
    open("voice.wav");
    EditorCore& core = form->core();
    const QStringList status = statusTexts();
    const QImage spectrum = core.FBitmap.copy();

    form->ComboBox1->setCurrentIndex(1);
    EXPECT_EQ(core.FMode, kCepstrumView);
    ASSERT_TRUE(core.FCepstram.FCepValid);
    const QImage cepstrum = core.FBitmap.copy();
    EXPECT_NE(cepstrum, spectrum);
    TComplex& cell = core.FCepstram.FCepstrograms[0]->FFrames[3]->FData[5];
    const TComplex computed = cell;
    cell.re = 12345.0; // a mark that a second computation would overwrite

    form->ComboBox1->setCurrentIndex(0);
    EXPECT_EQ(core.FBitmap, spectrum);
    form->ComboBox1->setCurrentIndex(1);
    EXPECT_EQ(core.FCepstram.FCepstrograms[0]->FFrames[3]->FData[5].re, 12345.0);
    EXPECT_EQ(statusTexts(), status) << "switching views never touches the status bar";

    // A fresh analysis (the hidden "スペクトル作成" command) makes the cepstrum stale.
    form->ComboBox1->setCurrentIndex(0);
    form->EST1Click();
    EXPECT_FALSE(core.FCepstram.FCepValid);
    form->ComboBox1->setCurrentIndex(1);
    EXPECT_EQ(core.FCepstram.FCepstrograms[0]->FFrames[3]->FData[5].re, computed.re);
    EXPECT_EQ(core.FBitmap, cepstrum);
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(TForm1Test, FFTLengthWithoutSoundIsOnlyStored)
{
    form->ComboBox2->setCurrentText("4096");
    EXPECT_EQ(form->core().FFFTLength, 4096);
    EXPECT_EQ(form->core().FWave, nullptr);
    EXPECT_EQ(statusTexts()[5], "Frames");
    EXPECT_FALSE(form->Export->isEnabled());
    form->ComboBox1->setCurrentIndex(1); // nothing to draw yet
    EXPECT_EQ(form->core().FMode, kCepstrumView);
    EXPECT_TRUE(dialogs.errors.isEmpty());

    open("late.wav", 22050);
    EXPECT_EQ(form->core().FCepstram.FSpectrograms[0]->FSpecLength, 4096);
    // 22050 frames, hop 2048: (22050 + 2047) / 2048 + 1 = 12 frames.
    EXPECT_EQ(statusTexts()[5], "12 frames");
    EXPECT_EQ(form->core().FBitmap.size(), QSize(48 + 12, 16 + 2049));
}

TEST_F(TForm1Test, FFTLengthReanalysesAndForgetsTheImportProposal)
{
    open("voice.wav", 22050);
    dialogs.fileAnswers.push_back(path("voice_s1024.bmp"));
    form->P1Click();
    ASSERT_EQ(form->FilterOD.fileName, path("voice_s1024.bmp"));

    form->ComboBox2->setCurrentText("4096");
    EXPECT_EQ(form->core().FFFTLength, 4096);
    EXPECT_EQ(form->core().FCepstram.FSpectrograms[0]->FSpecLength, 4096);
    EXPECT_EQ(statusTexts()[5], "12 frames");
    EXPECT_EQ(form->core().FBitmap.height(), 16 + 2049);
    EXPECT_TRUE(form->FilterOD.fileName.isEmpty());

    // The import dialog now proposes no name.
    dialogs.fileAnswers.push_back(QString());
    form->L1Click();
    ASSERT_EQ(dialogs.fileAsks.size(), 3u);
    EXPECT_TRUE(dialogs.fileAsks[2].request.fileName.isEmpty());
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

// --- Save ---------------------------------------------------------------------------------

TEST_F(TForm1Test, SaveAsksBeforeOverwritingAndNoWritesNothing)
{
    open("song.wav");
    dialogs.fileAnswers.push_back(path("song_fix.wav"));
    form->S1Click();
    ASSERT_EQ(dialogs.fileAsks.size(), 2u);
    EXPECT_TRUE(dialogs.fileAsks[1].save);
    EXPECT_EQ(dialogs.fileAsks[1].request.fileName, path("song_fix.wav"));
    EXPECT_EQ(dialogs.fileAsks[1].request.defaultSuffix, "wav");
    EXPECT_TRUE(dialogs.questions.isEmpty()) << "a new file needs no question";
    EXPECT_EQ(readBytes(path("song_fix.wav")), readBytes(path("song.wav")));

    writeBytes(path("keep.wav"), "precious");
    dialogs.fileAnswers.push_back(path("keep.wav"));
    dialogs.yesNoAnswers.push_back(false);
    form->S1Click();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions[0], "\"keep.wav\" を上書きしますか？");
    EXPECT_EQ(readBytes(path("keep.wav")), QByteArray("precious"));

    dialogs.fileAnswers.push_back(path("keep.wav"));
    dialogs.yesNoAnswers.push_back(true);
    form->S1Click();
    EXPECT_EQ(readBytes(path("keep.wav")), readBytes(path("song.wav")));

    dialogs.fileAnswers.push_back(QString()); // cancelled: nothing asked, nothing written
    form->S1Click();
    EXPECT_EQ(dialogs.questions.size(), 2);
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

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
    EditorCore& core = form->core();
    const QString exported = path(view == 0 ? "voice_s1024.bmp" : "voice_c1024.bmp");

    dialogs.fileAnswers.push_back(exported);
    form->P1Click();
    ASSERT_EQ(dialogs.fileAsks.size(), 2u);
    const FileDialogRequest& asked = dialogs.fileAsks[1].request;
    EXPECT_TRUE(dialogs.fileAsks[1].save);
    EXPECT_EQ(asked.title, "フィルターエクスポート");
    EXPECT_EQ(QFileInfo(asked.fileName).absoluteFilePath(), exported);
    EXPECT_EQ(asked.initialDir, dirWithSeparator());
    ASSERT_TRUE(QFileInfo::exists(exported));
    EXPECT_EQ(form->FilterOD.fileName, exported);

    // Edit: darken the 1 kHz tone (bin 23 at 44.1 kHz, N = 1024) in frames 20 .. 49,
    // 40 gray levels, in the data area of the picture.
    QImage edited(exported);
    ASSERT_FALSE(edited.isNull());
    edited = edited.convertToFormat(QImage::Format_RGB32);
    const QImage before = core.FBitmap.copy();
    const std::vector<uint8_t> sound = core.FWave->FData;
    for (int row = view == 0 ? 16 + 512 - 30 : 16 + 5; row <= (view == 0 ? 16 + 512 - 16 : 16 + 40);
         ++row)
        for (int f = 20; f < 50; ++f) {
            const int g = qMax(0, qBlue(edited.pixel(48 + f, row)) - 40);
            edited.setPixel(48 + f, row, qRgb(g, g, g));
        }
    ASSERT_TRUE(edited.save(path("edited.bmp"), "BMP"));

    dialogs.fileAnswers.push_back(path("edited.bmp"));
    form->L1Click();
    ASSERT_EQ(dialogs.fileAsks.size(), 3u);
    EXPECT_FALSE(dialogs.fileAsks[2].save);
    EXPECT_EQ(dialogs.fileAsks[2].request.title, "フィルターインポート");
    EXPECT_EQ(dialogs.fileAsks[2].request.fileName, exported);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("; ").toStdString();

    EXPECT_NE(core.FWave->FData, sound);
    EXPECT_NE(core.FBitmap, before);
    EXPECT_EQ(core.FBitmap.size(), before.size());
    if (view == 0) {
        // The darkened cells are clearly darker after resynthesis and re-analysis; cells
        // far from them are as they were.
        const double edited0 = meanGray(before, 1024, 24, 46, 20, 27);
        const double edited1 = meanGray(core.FBitmap, 1024, 24, 46, 20, 27);
        EXPECT_LT(edited1, edited0 - 15) << edited0 << " -> " << edited1;
        const double far0 = meanGray(before, 1024, 60, 80, 20, 27);
        const double far1 = meanGray(core.FBitmap, 1024, 60, 80, 20, 27);
        EXPECT_NEAR(far1, far0, 1.0);
    }

    // The edited sound is what Save writes.
    dialogs.fileAnswers.push_back(path("voice_fix.wav"));
    form->S1Click();
    const std::vector<uint8_t> saved = core.FWave->SaveToMemory();
    EXPECT_EQ(readBytes(path("voice_fix.wav")),
        QByteArray(reinterpret_cast<const char*>(saved.data()), qsizetype(saved.size())));
}

INSTANTIATE_TEST_SUITE_P(BothViews, ExportImportTest, ::testing::Values(0, 1),
    [](const auto& info) { return info.param == 0 ? "Spectrum" : "Cepstrum"; });

TEST_F(TForm1Test, ExportOntoAnExistingFileAsksFirst)
{
    open("voice.wav");
    writeBytes(path("old.bmp"), "keep me");
    dialogs.fileAnswers.push_back(path("old.bmp"));
    dialogs.yesNoAnswers.push_back(false);
    form->P1Click();
    EXPECT_EQ(dialogs.questions, QStringList({"\"old.bmp\" を上書きしますか？"}));
    EXPECT_EQ(readBytes(path("old.bmp")), QByteArray("keep me"));
    EXPECT_TRUE(form->FilterOD.fileName.isEmpty());
}

TEST_F(TForm1Test, ExportAndImportWithoutSoundDoNothing)
{
    form->P1Click();
    form->L1Click();
    EXPECT_TRUE(dialogs.fileAsks.empty());
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

// --- failures: reported, nothing changed ---------------------------------------------------

TEST_F(TForm1Test, FirstFailedOpenLeavesTheWindowEmpty)
{
    writeBytes(path("broken.wav"), "RIFF....WAVEjunk");
    open("broken.wav", 0);
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains("broken.wav")) << dialogs.errors[0].toStdString();
    EXPECT_EQ(caption(), "Kestrelon");
    EXPECT_EQ(form->core().FWave, nullptr);
    EXPECT_FALSE(form->Save->isEnabled());
    EXPECT_FALSE(form->Export->isEnabled());
    EXPECT_FALSE(form->Import->isEnabled());
    EXPECT_TRUE(form->WaveSD.fileName.isEmpty());
    EXPECT_EQ(statusTexts()[0], "sec");
}

TEST_F(TForm1Test, FailedOpenKeepsTheSoundShown)
{
    open("good.wav");
    const TWave* wave = form->core().FWave.get();
    const std::vector<uint8_t> samples = wave->FData;
    const QImage picture = form->core().FBitmap.copy();
    const QStringList status = statusTexts();

    open("missing.wav", 0);
    writeBytes(path("text.wav"), "hello");
    open("text.wav", 0);
    ASSERT_EQ(dialogs.errors.size(), 2);
    EXPECT_TRUE(dialogs.errors[0].contains("missing.wav"));
    EXPECT_TRUE(dialogs.errors[1].contains("text.wav"));
    EXPECT_EQ(caption(), "good.wav");
    EXPECT_EQ(form->WaveSD.fileName, path("good_fix.wav"));
    EXPECT_EQ(form->core().FWave.get(), wave);
    EXPECT_EQ(wave->FData, samples);
    EXPECT_EQ(form->core().FBitmap, picture);
    EXPECT_EQ(statusTexts(), status);
    EXPECT_TRUE(form->Save->isEnabled());
}

TEST_F(TForm1Test, CutShortWavOpensWithAWarning)
{
    writeToneWav(path("cut.wav"), 1, 8000, 8000);
    const QByteArray whole = readBytes(path("cut.wav"));
    writeBytes(path("cut.wav"), whole.left(44 + 2 * 6000)); // 6000 of 8000 frames
    open("cut.wav", 0);
    EXPECT_TRUE(dialogs.errors.isEmpty());
    ASSERT_EQ(dialogs.warnings.size(), 1);
    EXPECT_TRUE(dialogs.warnings[0].contains("cut.wav")) << dialogs.warnings[0].toStdString();
    EXPECT_EQ(caption(), "cut.wav");
    EXPECT_EQ(statusTexts()[1], "6000 samples");
    EXPECT_TRUE(form->Save->isEnabled());
}

TEST_F(TForm1Test, FailedSaveIsReported)
{
    open("song.wav");
    const QString target = path("no/such/dir/out.wav");
    dialogs.fileAnswers.push_back(target);
    form->S1Click();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains("out.wav")) << dialogs.errors[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_EQ(caption(), "song.wav");
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
    switch (GetParam()) {
    case BadPicture::Narrower: {
        QImage image(path("voice_s1024.bmp"));
        ASSERT_TRUE(
            image.copy(0, 0, image.width() - 1, image.height()).save(path("bad.bmp"), "BMP"));
        break;
    }
    case BadPicture::CutShort:
        writeBytes(path("bad.bmp"), good.left(good.size() / 2));
        break;
    case BadPicture::NotAnImage:
        writeBytes(path("bad.bmp"), "this is no picture at all");
        break;
    }
    const std::vector<uint8_t> sound = form->core().FWave->FData;
    const QImage picture = form->core().FBitmap.copy();
    const QStringList status = statusTexts();

    dialogs.fileAnswers.push_back(path("bad.bmp"));
    form->L1Click();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains("bad.bmp")) << dialogs.errors[0].toStdString();
    EXPECT_EQ(form->core().FWave->FData, sound);
    EXPECT_EQ(form->core().FBitmap, picture);
    EXPECT_EQ(statusTexts(), status);
    EXPECT_EQ(form->FilterOD.fileName, path("voice_s1024.bmp"));
}

INSTANTIATE_TEST_SUITE_P(Pictures, FailedImportTest,
    ::testing::Values(BadPicture::Narrower, BadPicture::CutShort, BadPicture::NotAnImage));

// --- About box ----------------------------------------------------------------------------

TEST_F(TForm1Test, AboutBoxIsModalAndShowsTheSteps)
{
    // A click delivered by the window system, which modality filters.
    const auto clickOpenButton = [this] {
        const QPoint centre
            = form->ToolButton1->mapTo(form.get(), form->ToolButton1->rect().center());
        QTest::mouseClick(form->windowHandle(), Qt::LeftButton, Qt::NoModifier, centre);
        QCoreApplication::processEvents();
    };
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    bool inspected = false;
    onNextModal([&](QWidget* modal) {
        auto* about = qobject_cast<TForm2*>(modal);
        ASSERT_NE(about, nullptr);
        inspected = true;
        EXPECT_TRUE(about->isModal());
        EXPECT_EQ(about->windowTitle(), "Kestrelonの使い方");
        EXPECT_EQ(about->size(), QSize(389, 134));
        EXPECT_EQ(about->Label1->text(), "1 Waveファイルを読み込む");
        EXPECT_EQ(about->Label2->text(),
            "2 スペクトラムまたはケプストラムをBitmapとしてエクスポートする");
        EXPECT_EQ(about->Label3->text(),
            "3 スペクトラムまたはケプストラムを外部の画像処理ソフトで加工する");
        EXPECT_EQ(
            about->Label4->text(), "4 加工したスペクトラムまたはケプストラムをインポートする");
        EXPECT_EQ(about->Label5->text(), "5 Weveファイルを保存する");
        EXPECT_EQ(about->Label6->text(), "ver " KESTRELON_VERSION);
        EXPECT_EQ(about->Label6->pos(), QPoint(240, 112));
        EXPECT_EQ(about->Button1->text(), "閉じる(&C)");
        EXPECT_EQ(about->Button1->geometry(), QRect(152, 104, 75, 25));
        // Every label fits inside the box.
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

// --- errors thrown by the core ---------------------------------------------------------------

TEST_F(TForm1Test, ErrorsThrownByACommandAreShownAndTheWindowGoesOn)
{
    open("voice.wav");
    const std::vector<uint8_t> sound = form->core().FWave->FData;
    // Starting the editor throws half way through the command.
    dialogs.launchThrows = true;
    form->ExternalEditClick();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(dialogs.errors[0], "the editor could not be started");
    EXPECT_EQ(form->core().FWave->FData, sound);
    dialogs.launchThrows = false;
    // The window still works.
    EXPECT_TRUE(form->ExternalEdit->isEnabled());
    open("voice.wav");
    EXPECT_EQ(caption(), "voice.wav");
    EXPECT_EQ(dialogs.errors.size(), 1);
}

} // namespace
} // namespace kestrelon::test
