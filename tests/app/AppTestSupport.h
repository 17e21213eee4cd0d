#pragma once
// Helpers of the window tests: a QApplication for the whole test program, a scripted
// UserDialogs that answers in place of the person, WAV files written by hand, and a
// way to act on the next modal dialog from inside its event loop.

#include <cstdint>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

#include <ostream>

#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>

#include "app/UserDialogs.h"

// Readable failure messages for the Qt values the tests compare.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os)
{
    *os << '[' << l.join(QStringLiteral(" | ")).toStdString() << ']';
}
inline void PrintTo(const QSize& s, std::ostream* os)
{
    *os << s.width() << 'x' << s.height();
}
inline void PrintTo(const QPoint& p, std::ostream* os)
{
    *os << '(' << p.x() << ',' << p.y() << ')';
}

namespace kestrelon::test {

// Answers dialogs from queues and records every question it was asked. A dialog
// asked with no answer queued is a test failure (and is answered with Cancel/No).
class ScriptedDialogs : public UserDialogs {
public:
    struct FileAsk {
        bool save = false;
        FileDialogRequest request;
    };

    std::deque<QString> fileAnswers; // "" cancels
    std::deque<bool> yesNoAnswers;
    std::deque<SaveChoice> saveChoices;
    std::deque<QString> editorAnswers; // the command typed in the settings dialog
    std::deque<std::pair<double, double>> rangeAnswers; // from, to; none queued cancels
    std::vector<RangeRequest> rangeAsks;
    bool launchSucceeds = true;
    bool launchThrows = false; // std::runtime_error("the editor could not be started")

    struct Launch {
        QString command;
        QString path;
    };
    std::vector<Launch> launches; // editors "started"; nothing is really run

    std::vector<FileAsk> fileAsks;
    QStringList questions;
    QStringList saveQuestions;
    QStringList errors;
    QStringList warnings;

    QString askOpenFile(QWidget* parent, const FileDialogRequest& request) override;
    QString askSaveFile(QWidget* parent, const FileDialogRequest& request) override;
    bool askYesNo(QWidget* parent, const QString& question) override;
    SaveChoice askSaveChanges(QWidget* parent, const QString& question) override;
    void showError(QWidget* parent, const QString& message) override;
    void showWarning(QWidget* parent, const QString& message) override;
    bool askEditorCommand(QWidget* parent, QString* command) override;
    bool askRange(QWidget* parent, const RangeRequest& request, double* from, double* to) override;
    bool launchEditor(const QString& command, const QString& path, QString* error) override;

private:
    QString answerFile(bool save, const FileDialogRequest& request);
};

// A 16-bit PCM WAV file: `channels` channels of `frames` frames at `rate` Hz holding a
// 1 kHz tone with a quieter 3 kHz partial and a little deterministic noise (channel c
// is scaled by 1 / (c + 1)).
void writeToneWav(const QString& path, uint16_t channels, uint32_t rate, uint32_t frames);
void writeBytes(const QString& path, const QByteArray& bytes);
QByteArray readBytes(const QString& path);

// The directory QSettings writes to in this test program (a temporary one).
QString settingsDirectory();

// Calls action with the next modal widget as soon as its event loop runs. Fails the
// test when no modal widget appears within timeoutMs.
void onNextModal(std::function<void(QWidget*)> action, int timeoutMs = 5000);

} // namespace kestrelon::test
