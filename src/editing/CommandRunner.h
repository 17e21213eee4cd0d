#pragma once
// Running a command (a function from a document to a new document, editing/Document.h)
// on a worker thread, with progress and cancel, or on the calling thread.
//
// The worker runs the very function the calling thread would run. It reads its input
// document, which nobody changes, and makes a new one; the caller installs the new one
// when the command has succeeded. Cancel sets the flag that the command and the spectral
// pipeline look at (base/Cancel.h, between blocks of frames); the command then stops
// with OperationCancelled and its half-made document is dropped at once: nothing was
// lent and nothing is given back.

#include <atomic>
#include <functional>
#include <memory>

#include <QFuture>
#include <QObject>
#include <QString>

#include "editing/Document.h"

namespace kestrelon {

// A command ready to run: everything it reads is captured (the input document among it).
using Command = std::function<CommandResult(const PassFn& progress)>;

// Runs command on the calling thread: what it throws becomes a failed result (cancelled
// for OperationCancelled), never an exception.
CommandResult runCommand(const Command& command, const PassFn& progress = {});

class CommandRunner : public QObject {
    Q_OBJECT
public:
    explicit CommandRunner(QObject* parent = nullptr);
    ~CommandRunner() override; // cancels a running command and waits for it

    // Starts command on a worker (QtConcurrent); false, and nothing started, while
    // another one runs.
    bool start(Command command);
    // Makes the running command stop at its next look at the flag.
    void cancel();
    bool isRunning() const { return FRunning; }
    // Blocks until the worker is done and emits finished at once. For tests and for
    // finishing a background command before another; false if nothing ran.
    bool waitForFinished();

signals:
    // Emitted on the worker thread (a queued connection brings it to the UI thread).
    void progress(int percent, const QString& pass);
    // Emitted on the runner's thread when the command has ended; result.document is the
    // new document when result.ok.
    void finished(const kestrelon::CommandResult& result);

private:
    void deliver();

    QFuture<CommandResult> FFuture;
    uint64_t FGeneration = 0;
    std::shared_ptr<std::atomic<bool>> FCancel;
    bool FRunning = false;
};

} // namespace kestrelon
