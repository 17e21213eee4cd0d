// The parts of the window below TForm1: the picture view, the real dialogs behind the
// seam, the translation, the font and the icons.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFontInfo>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/AppSetup.h"
#include "app/PictureView.h"

namespace kestrelon::test {
namespace {

// A picture far wider than any window system surface: column x has red = x % 256 and
// green = x / 256 % 256, row y has blue = y.
QImage widePicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = qRgb(x % 256, (x / 256) % 256, y % 256);
    }
    return image;
}

TEST(PictureView, ShowsTheVisiblePartOfAPictureThatChangesSize)
{
    QImage picture(50, 50, QImage::Format_RGB32);
    picture.fill(Qt::white);
    PictureView view;
    view.resize(400, 300);
    view.setPicture(&picture);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0);

    // Far wider than any window system surface, and lower than the view.
    picture = widePicture(120000, 200);
    view.pictureChanged();
    const QSize area = view.viewport()->size();
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 120000 - area.width());
    EXPECT_EQ(view.verticalScrollBar()->maximum(), 0);
    for (int x : {0, 54321, 120000 - area.width()}) {
        view.horizontalScrollBar()->setValue(x);
        const QImage shown = view.viewport()->grab().toImage();
        ASSERT_GE(shown.width(), area.width());
        for (int column : {0, 1, area.width() / 2, area.width() - 1})
            EXPECT_EQ(shown.pixel(column, 10), picture.pixel(x + column, 10))
                << "scrolled to " << x << ", column " << column;
        // Below the picture: background, not stretched picture.
        EXPECT_NE(shown.pixel(5, 250), picture.pixel(x + 5, 199));
    }

    // Higher than the view: scrolled to its bottom right corner.
    picture = QImage(2000, 3000, QImage::Format_RGB32);
    picture.fill(Qt::black);
    view.pictureChanged();
    const QSize tall = view.viewport()->size();
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 2000 - tall.width());
    EXPECT_EQ(view.verticalScrollBar()->maximum(), 3000 - tall.height());
    view.horizontalScrollBar()->setValue(view.horizontalScrollBar()->maximum());
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
    EXPECT_EQ(view.scrollOffset(), QPoint(2000 - tall.width(), 3000 - tall.height()));
    EXPECT_EQ(view.viewport()->grab().toImage().pixel(tall.width() - 1, tall.height() - 1),
        qRgb(0, 0, 0));
    view.setPicture(nullptr);
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0);
}

// --- the real dialogs behind the seam ------------------------------------------------------

struct FilterCase {
    const char* filter;
    const char* expected;
};

class NameFilter : public ::testing::TestWithParam<FilterCase> { };

TEST_P(NameFilter, BecomesQtForm)
{
    EXPECT_EQ(
        qtNameFilter(QString::fromUtf8(GetParam().filter)), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Filters, NameFilter,
    ::testing::Values(FilterCase{"Wave file (*.wav)|*.wav", "Wave file (*.wav)"},
        FilterCase{"Bitmap file (*.bmp)|*.bmp", "Bitmap file (*.bmp)"},
        FilterCase{"Pictures|*.bmp;*.png|All|*", "Pictures (*.bmp *.png);;All (*)"},
        FilterCase{"", ""}));

class RealDialogs : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QTemporaryDir dir;
    QtUserDialogs dialogs;
};

TEST_F(RealDialogs, FileDialogsHaveTheSettingsAndLeaveOverwritingToTheWindow)
{
    const QString existing = dir.filePath("old.bmp");
    writeBytes(existing, "x");
    const FileDialogRequest request{"フィルターエクスポート", "Bitmap file (*.bmp)|*.bmp", "bmp",
        QDir(dir.path()).absolutePath() + "/", existing};
    bool inspected = false;
    onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        inspected = true;
        EXPECT_EQ(dialog->windowTitle(), "フィルターエクスポート");
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        EXPECT_EQ(dialog->defaultSuffix(), "bmp");
        EXPECT_EQ(dialog->nameFilters(), QStringList({"Bitmap file (*.bmp)"}));
        EXPECT_EQ(dialog->directory().absolutePath(), QDir(dir.path()).absolutePath());
        EXPECT_EQ(dialog->selectedFiles().value(0), existing);
        // Accepting an existing name asks nothing more here.
        static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(dialogs.askSaveFile(nullptr, request), existing);
    EXPECT_TRUE(inspected);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // A name typed without an extension gets the default suffix.
    onNextModal([&](QWidget* modal) {
        auto* name = modal->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText("renamed");
        static_cast<QDialog*>(modal)->accept();
    });
    EXPECT_EQ(dialogs.askSaveFile(nullptr,
                  {{}, "Wave file (*.wav)|*.wav", "wav", {}, dir.filePath("song_fix.wav")}),
        dir.filePath("renamed.wav"));
    // ... the ending of the filter chosen last
    onNextModal([&](QWidget* modal) {
        auto* types = modal->findChild<QComboBox*>("fileTypeCombo");
        auto* name = modal->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_TRUE(types && name);
        ASSERT_EQ(types->count(), 2);
        types->setCurrentIndex(1); // as a click on the second filter does
        emit types->activated(1);
        emit types->textActivated(types->itemText(1));
        name->setText("renamed");
        static_cast<QDialog*>(modal)->accept();
    });
    EXPECT_EQ(dialogs.askSaveFile(nullptr,
                  {{}, "Wave file (*.wav)|*.wav|FLAC file (*.flac)|*.flac", "wav", {},
                      dir.filePath("song_fix.wav")}),
        dir.filePath("renamed.flac"));

    // The open dialog takes existing files only; cancelled, it gives no path.
    onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
        dialog->reject();
    });
    EXPECT_TRUE(dialogs.askOpenFile(nullptr, request).isEmpty());
}

TEST_F(RealDialogs, MessageBoxesShowTheTextWithJapaneseButtons)
{
    ASSERT_TRUE(installQtTranslation(*QCoreApplication::instance()))
        << "qtbase_ja missing: install qt6-translations-l10n";
    // Clicks button of the next box after checking its text and every button's caption.
    const auto answer
        = [](const QString& text, QMessageBox::StandardButton button,
              const std::vector<std::pair<QMessageBox::StandardButton, QString>>& captions) {
              onNextModal([=](QWidget* modal) {
                  auto* box = qobject_cast<QMessageBox*>(modal);
                  ASSERT_NE(box, nullptr);
                  EXPECT_EQ(box->text(), text);
                  // The first caption's button is the default: いいえ, 保存.
                  EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()),
                      box->button(captions.front().first))
                      << text.toStdString();
                  for (const auto& [b, caption] : captions) {
                      ASSERT_NE(box->button(b), nullptr) << caption.toStdString();
                      EXPECT_TRUE(box->button(b)->text().contains(caption))
                          << box->button(b)->text().toStdString();
                  }
                  box->button(button)->click();
              });
          };
    const QString overwrite = overwriteQuestion("/x/a.wav");
    for (const auto button : {QMessageBox::No, QMessageBox::Yes}) {
        answer("\"a.wav\" を上書きしますか？", button,
            {{QMessageBox::No, "いいえ"}, {QMessageBox::Yes, "はい"}});
        EXPECT_EQ(dialogs.askYesNo(nullptr, overwrite), button == QMessageBox::Yes);
    }

    const QString save = saveChangesQuestion("voice.wav");
    EXPECT_EQ(save, "\"voice.wav\" への変更を保存しますか？");
    const std::pair<QMessageBox::StandardButton, SaveChoice> choices[]
        = {{QMessageBox::Save, SaveChoice::Save}, {QMessageBox::Discard, SaveChoice::Discard},
            {QMessageBox::Cancel, SaveChoice::Cancel}};
    for (const auto& [button, choice] : choices) {
        answer(save, button,
            {{QMessageBox::Save, "保存"}, {QMessageBox::Discard, "破棄"},
                {QMessageBox::Cancel, "キャンセル"}});
        EXPECT_EQ(dialogs.askSaveChanges(nullptr, save), choice);
    }
    onNextModal([](QWidget* modal) { modal->close(); });
    EXPECT_EQ(dialogs.askSaveChanges(nullptr, save), SaveChoice::Cancel) << "closing cancels";

    onNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), "cannot read x.wav: not a WAV file");
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        box->accept();
    });
    dialogs.showError(nullptr, "cannot read x.wav: not a WAV file");
}

// --- look -----------------------------------------------------------------------------------

TEST(Look, JapaneseFontAndIconsAtEverySize)
{
    const QFont font = uiFont();
    EXPECT_EQ(font.pixelSize(), 12);
    EXPECT_EQ(font.families().value(0), "ＭＳ Ｐゴシック");
    // Japanese text must not come out as boxes: some family of the list is installed.
    const QFontInfo info(font);
    EXPECT_TRUE(font.families().contains(info.family()) || info.family().contains("IPA"))
        << "resolved to " << info.family().toStdString() << ": install fonts-ipafont-gothic";
    EXPECT_TRUE(QFontMetrics(font).inFont(QChar(0x30B9))); // ス

    // Icons are drawn at every size: something, and not everywhere.
    for (const char* name : {"open", "save", "export", "import", "external"}) {
        const QIcon icon = actionIcon(QLatin1String(name));
        ASSERT_FALSE(icon.isNull()) << name;
        for (int size : {16, 32, 64}) {
            const QImage image = icon.pixmap(size, size).toImage();
            EXPECT_EQ(image.size(), QSize(size, size)) << name;
            int opaque = 0;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    opaque += qAlpha(image.pixel(x, y)) > 128;
            EXPECT_GT(opaque, size * size / 4) << name << " " << size;
            EXPECT_LT(opaque, size * size) << name << " " << size;
        }
    }
    EXPECT_FALSE(appIcon().isNull());
    EXPECT_EQ(versionString(), KESTRELON_VERSION);
}

} // namespace
} // namespace kestrelon::test
