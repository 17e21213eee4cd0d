#pragma once
// The fixture of the window tests: a TForm1 whose dialogs are answered by a script and
// whose sound goes to a fake audio output, in a temporary directory.

#include <memory>

#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
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

    // The output the window plays through: a device unless deviceMissing() says why not.
    virtual QString deviceMissing() const { return {}; }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::shared_ptr<FakeAudioOutput::State> audio;
    std::unique_ptr<TForm1> form;
};

} // namespace kestrelon::test
