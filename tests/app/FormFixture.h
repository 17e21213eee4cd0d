#pragma once
// The fixture of the window tests: a TForm1 whose dialogs are answered by a script and
// whose sound goes to a fake audio output, in a temporary directory.

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "FakeAudioOutput.h"
#include "app/KestrelonMain.h"

namespace kestrelon::test {

class TForm1Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        auto output = std::make_unique<FakeAudioOutput>();
        audio = output->state;
        audio->reason = deviceMissing();
        form = std::make_unique<TForm1>(&dialogs, nullptr, std::move(output));
    }
    void TearDown() override
    {
        form.reset();
        EXPECT_TRUE(dialogs.fileAnswers.empty()) << "answers left unused";
        EXPECT_TRUE(dialogs.yesNoAnswers.empty()) << "answers left unused";
        EXPECT_TRUE(dialogs.saveChoices.empty()) << "answers left unused";
        EXPECT_TRUE(dialogs.editorAnswers.empty()) << "answers left unused";
        EXPECT_TRUE(dialogs.rangeAnswers.empty()) << "answers left unused";
    }

    QString path(const QString& name) const { return dir.filePath(name); }
    QString dirWithSeparator() const { return QDir(dir.path()).absolutePath() + QLatin1Char('/'); }

    // Opens name through the Open command; the file is written first when frames > 0.
    void open(
        const QString& name, uint32_t frames = 22050, uint16_t channels = 1, uint32_t rate = 22050)
    {
        if (frames > 0)
            writeToneWav(path(name), channels, rate, frames);
        dialogs.fileAnswers.push_back(path(name));
        form->O1Click();
    }

    // The caption as the window system shows it: "[*]" becomes "*" while modified.
    QString caption() const
    {
        QString title = form->windowTitle();
        title.replace(QLatin1String("[*][*]"), QChar(0xfffc));
        title.replace(
            QLatin1String("[*]"), form->isWindowModified() ? QStringLiteral("*") : QString());
        return title.replace(QChar(0xfffc), QLatin1String("[*]"));
    }

    QStringList statusTexts() const
    {
        QStringList texts;
        for (QLabel* panel : form->StatusPanels)
            texts << panel->text();
        return texts;
    }

    // Shows the window and waits until the window system has drawn it.
    void showForm()
    {
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    // Exports the current view, changes the gray of its data area with edit(gray,
    // column, row) and imports the result.
    void importEdited(const std::function<int(int, int, int)>& edit)
    {
        const QString exported = path(QStringLiteral("export%1.bmp").arg(++exports));
        dialogs.fileAnswers.push_back(exported);
        form->P1Click();
        QImage image = QImage(exported).convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(image.isNull());
        for (int y = form->document().FTopMargin; y < image.height(); ++y)
            for (int x = form->document().FLeftMargin; x < image.width(); ++x) {
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
        const int top = form->document().FTopMargin, left = form->document().FLeftMargin;
        importEdited([=](int g, int x, int y) {
            return (y >= top + r0 && y <= top + r1 && x >= left + f0 && x <= left + f1) ? g + delta
                                                                                        : g;
        });
    }

    // What the person sees of the sound: its samples, the picture and the status bar.
    struct Shown {
        std::vector<uint8_t> samples;
        QImage picture;
        QStringList status;
    };
    Shown shown() const
    {
        return {form->document().FWave ? form->document().FWave->FData : std::vector<uint8_t>(),
            form->document().FBitmap.copy(), statusTexts()};
    }
    void expectShown(const Shown& s, const char* when) const
    {
        EXPECT_TRUE(
            (form->document().FWave ? form->document().FWave->FData : std::vector<uint8_t>())
            == s.samples)
            << when;
        EXPECT_TRUE(form->document().FBitmap == s.picture) << when;
        EXPECT_EQ(statusTexts(), s.status) << when;
    }

    // The output the window plays through: a device unless deviceMissing() says why not.
    virtual QString deviceMissing() const { return {}; }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::shared_ptr<FakeAudioOutput::State> audio;
    std::unique_ptr<TForm1> form;
    int exports = 0;
};

} // namespace kestrelon::test
