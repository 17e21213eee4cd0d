#include "AppTestSupport.h"

#include <cmath>
#include <memory>
#include <stdexcept>

#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/AppSetup.h"

namespace kestrelon::test {

namespace {

// One QApplication for the whole program; widgets need it before any test runs.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        FApp = std::make_unique<QApplication>(FArgc, FArgv);
        QApplication::setFont(uiFont());
        // The editor command is never read from or written to the person's settings.
        settingsDir = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(settingsDir->isValid());
        for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
            for (QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope})
                QSettings::setPath(format, scope, settingsDir->path());
    }
    void TearDown() override
    {
        FApp.reset();
        settingsDir.reset();
    }

    static inline std::unique_ptr<QTemporaryDir> settingsDir;

private:
    int FArgc = 1;
    char FName[16] = "test_app";
    char* FArgv[2] = {FName, nullptr};
    std::unique_ptr<QApplication> FApp;
};

[[maybe_unused]] ::testing::Environment* const gQtEnvironment
    = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

void put16(QByteArray& b, uint16_t v)
{
    b.append(char(v & 0xff));
    b.append(char(v >> 8));
}

void put32(QByteArray& b, uint32_t v)
{
    put16(b, uint16_t(v & 0xffff));
    put16(b, uint16_t(v >> 16));
}

} // namespace

QString ScriptedDialogs::answerFile(bool save, const FileDialogRequest& request)
{
    fileAsks.push_back({save, request});
    if (fileAnswers.empty()) {
        ADD_FAILURE() << "a file dialog was shown with no answer queued: "
                      << request.title.toStdString();
        return {};
    }
    QString answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

QString ScriptedDialogs::askOpenFile(QWidget*, const FileDialogRequest& request)
{
    return answerFile(false, request);
}

QString ScriptedDialogs::askSaveFile(QWidget*, const FileDialogRequest& request)
{
    return answerFile(true, request);
}

bool ScriptedDialogs::askYesNo(QWidget*, const QString& question)
{
    questions << question;
    if (yesNoAnswers.empty()) {
        ADD_FAILURE() << "a question was asked with no answer queued: " << question.toStdString();
        return false;
    }
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
}

SaveChoice ScriptedDialogs::askSaveChanges(QWidget*, const QString& question)
{
    saveQuestions << question;
    if (saveChoices.empty()) {
        ADD_FAILURE() << "unsaved changes were asked about with no answer queued: "
                      << question.toStdString();
        return SaveChoice::Cancel;
    }
    const SaveChoice answer = saveChoices.front();
    saveChoices.pop_front();
    return answer;
}

void ScriptedDialogs::showError(QWidget*, const QString& message)
{
    errors << message;
}

void ScriptedDialogs::showWarning(QWidget*, const QString& message)
{
    warnings << message;
}

bool ScriptedDialogs::askEditorCommand(QWidget*, QString* command)
{
    if (editorAnswers.empty()) {
        ADD_FAILURE() << "the editor settings were asked with no answer queued";
        return false;
    }
    *command = editorAnswers.front();
    editorAnswers.pop_front();
    return true;
}

bool ScriptedDialogs::launchEditor(const QString& command, const QString& path, QString* error)
{
    launches.push_back({command, path});
    if (launchThrows)
        throw std::runtime_error("the editor could not be started");
    if (!launchSucceeds && error)
        *error = QStringLiteral("%1: the editor could not be started").arg(command);
    return launchSucceeds;
}

QString settingsDirectory()
{
    return QtEnvironment::settingsDir ? QtEnvironment::settingsDir->path() : QString();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeToneWav(const QString& path, uint16_t channels, uint32_t rate, uint32_t frames)
{
    const uint32_t dataSize = frames * channels * 2u;
    QByteArray b;
    b.append("RIFF");
    put32(b, 36 + dataSize);
    b.append("WAVEfmt ");
    put32(b, 16);
    put16(b, 1);
    put16(b, channels);
    put32(b, rate);
    put32(b, rate * channels * 2u);
    put16(b, uint16_t(channels * 2));
    put16(b, 16);
    b.append("data");
    put32(b, dataSize);
    uint32_t noise = 12345;
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        for (uint16_t c = 0; c < channels; ++c) {
            noise = noise * 1103515245u + 12345u;
            const double n = (double((noise >> 8) & 0xffff) / 65535.0 - 0.5) * 0.01;
            const double v = (0.5 * std::sin(2 * M_PI * 1000.0 * t)
                                 + 0.1 * std::sin(2 * M_PI * 3000.0 * t) + n)
                / (c + 1);
            put16(b, uint16_t(int16_t(std::lround(v * 32767.0))));
        }
    }
    writeBytes(path, b);
}

void onNextModal(std::function<void(QWidget*)> action, int timeoutMs)
{
    auto* timer = new QTimer;
    auto elapsed = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, elapsed, action, timeoutMs] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
            return;
        }
        *elapsed += 10;
        if (*elapsed > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no modal dialog appeared";
        }
    });
    timer->start();
}

} // namespace kestrelon::test
