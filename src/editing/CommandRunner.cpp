#include "editing/CommandRunner.h"

#include <new>

#include <QFutureWatcher>
#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>

#include "base/Cancel.h"
#include "base/Errors.h"

namespace kestrelon {

namespace {

CommandResult failed(const Message& message)
{
    CommandResult r;
    r.message = message;
    return r;
}

} // namespace

CommandResult runCommand(const Command& command, const PassFn& progress)
{
    try {
        return command(progress);
    } catch (const OperationCancelled&) {
        CommandResult r = failed(MessageCode::Cancelled);
        r.cancelled = true;
        return r;
    } catch (const std::bad_alloc&) {
        return failed(MessageCode::OutOfMemory);
    } catch (const Error& e) {
        return failed(e.message());
    } catch (const std::exception& e) {
        return failed(Message(MessageCode::Internal, e.what()));
    }
}

CommandRunner::CommandRunner(QObject* parent)
    : QObject(parent)
{
}

CommandRunner::~CommandRunner()
{
    if (FRunning) {
        cancel();
        FFuture.waitForFinished();
    }
}

bool CommandRunner::start(Command command)
{
    if (FRunning || !command)
        return false;
    FRunning = true;
    FCancel = std::make_shared<std::atomic<bool>>(false);
    FFuture = QtConcurrent::run(
        [this, command = std::move(command), flag = FCancel](QPromise<CommandResult>& promise) {
            promise.setProgressRange(0, 100);
            // The spectral passes look at the flag; a cancel of the future sets it too.
            const CancelScope scope(flag.get());
            const PassFn report = [&](int percent, const QString& pass) {
                if (promise.isCanceled())
                    flag->store(true, std::memory_order_relaxed);
                promise.setProgressValueAndText(percent, pass);
                emit progress(percent, pass);
            };
            promise.addResult(runCommand(command, report));
        });
    // One watcher per command: a late notice of a command already delivered by
    // waitForFinished finds another generation and does nothing.
    auto* watcher = new QFutureWatcher<CommandResult>(this);
    const uint64_t generation = ++FGeneration;
    connect(watcher, &QFutureWatcher<CommandResult>::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        if (generation == FGeneration)
            deliver();
    });
    watcher->setFuture(FFuture);
    return true;
}

void CommandRunner::cancel()
{
    if (FCancel)
        FCancel->store(true, std::memory_order_relaxed);
}

bool CommandRunner::waitForFinished()
{
    if (!FRunning)
        return false;
    FFuture.waitForFinished();
    deliver();
    return true;
}

void CommandRunner::deliver()
{
    if (!FRunning)
        return; // delivered already by waitForFinished
    FRunning = false;
    CommandResult result;
    if (FFuture.resultCount() > 0)
        result = FFuture.result();
    else
        result = runCommand([](const PassFn&) -> CommandResult { throw OperationCancelled(); });
    FFuture = {};
    emit finished(result);
}

} // namespace kestrelon
