#include "AppTestSupport.h"

#include <cmath>
#include <deque>
#include <memory>
#include <stdexcept>

#include <QApplication>
#include <QDataStream>
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

// The next answer of a queue; a question with no answer queued fails the test and is
// answered with fallback.
template <class T>
T next(std::deque<T>& answers, const char* what, const QString& asked, T fallback)
{
    if (answers.empty()) {
        ADD_FAILURE() << what << " with no answer queued: " << asked.toStdString();
        return fallback;
    }
    T answer = std::move(answers.front());
    answers.pop_front();
    return answer;
}

} // namespace

QString ScriptedDialogs::answerFile(bool save, const FileDialogRequest& request)
{
    fileAsks.push_back({save, request});
    return next(fileAnswers, "a file dialog was shown", request.title, QString());
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
    return next(yesNoAnswers, "a question was asked", question, false);
}

SaveChoice ScriptedDialogs::askSaveChanges(QWidget*, const QString& question)
{
    saveQuestions << question;
    return next(saveChoices, "unsaved changes were asked about", question, SaveChoice::Cancel);
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
    const bool answered = !editorAnswers.empty();
    const QString answer = next(editorAnswers, "the editor settings were asked", {}, QString());
    if (answered)
        *command = answer;
    return answered;
}

bool ScriptedDialogs::askRange(QWidget*, const RangeRequest& request, double* from, double* to)
{
    rangeAsks.push_back(request);
    const bool answered = !rangeAnswers.empty();
    const auto answer = next(rangeAnswers, "a range was asked", request.title, {0.0, 0.0});
    *from = answer.first;
    *to = answer.second;
    return answered;
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
    QDataStream out(&b, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + dataSize);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << channels << rate << quint32(rate * channels * 2u)
        << quint16(channels * 2) << quint16(16);
    out.writeRawData("data", 4);
    out << dataSize;
    uint32_t noise = 12345;
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        for (uint16_t c = 0; c < channels; ++c) {
            noise = noise * 1103515245u + 12345u;
            const double n = (double((noise >> 8) & 0xffff) / 65535.0 - 0.5) * 0.01;
            const double v = (0.5 * std::sin(2 * M_PI * 1000.0 * t)
                                 + 0.1 * std::sin(2 * M_PI * 3000.0 * t) + n)
                / (c + 1);
            out << qint16(std::lround(v * 32767.0));
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
