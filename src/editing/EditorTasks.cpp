#include "editing/EditorTasks.h"

#include <QThread>

namespace kestrelon {

void TaskControl::checkpoint(int percent, const QString& pass)
{
    if (onProgress)
        onProgress(percent, pass);
    if (isCancelled())
        throw TaskCancelled();
}

EditorTaskRunner::EditorTaskRunner(EditorCore& core, QObject* parent)
    : QObject(parent)
    , FCore(core)
{
}

EditorTaskRunner::~EditorTaskRunner()
{
    if (FThread) {
        FControl->cancel();
        FThread->wait();
        delete FThread;
        FThread = nullptr;
        FTask->discard();
        FCore.finishTask(*FTask); // gives back what was lent; the core stays as it was
    }
}

bool EditorTaskRunner::start(std::unique_ptr<EditorTask> task)
{
    if (FThread || !task)
        return false;
    FTask = std::move(task);
    FControl = std::make_shared<TaskControl>();
    FControl->onProgress
        = [this](int percent, const QString& pass) { emit progress(percent, pass); };
    EditorTask* t = FTask.get();
    std::shared_ptr<TaskControl> control = FControl;
    EditorCore* core = &FCore;
    FThread = QThread::create([core, t, control] { core->runTask(*t, *control); });
    // QThread::finished is emitted on the worker; the connection queues it to this thread.
    // A generation number keeps a late notice of an earlier thread (already finished by
    // waitAndFinish) from finishing a newer task.
    const uint64_t generation = ++FGeneration;
    connect(FThread, &QThread::finished, this, [this, generation] {
        if (generation == FGeneration)
            onThreadDone();
    });
    FThread->start();
    return true;
}

void EditorTaskRunner::cancel()
{
    if (FControl)
        FControl->cancel();
}

void EditorTaskRunner::onThreadDone()
{
    if (!FThread)
        return; // already finished by waitAndFinish
    FThread->wait();
    delete FThread;
    FThread = nullptr;
    TaskOutcome outcome;
    outcome.kind = FTask->kind();
    outcome.result = FCore.finishTask(*FTask);
    outcome.cancelled = FTask->wasCancelled();
    outcome.samplesBefore = std::move(FTask->samplesBefore);
    FTask.reset();
    FControl.reset();
    emit finished(outcome);
}

bool EditorTaskRunner::waitAndFinish()
{
    if (!FThread)
        return false;
    FThread->wait();
    onThreadDone();
    return true;
}

TaskOutcome EditorTaskRunner::runNow(EditorCore& core, std::unique_ptr<EditorTask> task)
{
    TaskControl control;
    core.runTask(*task, control);
    TaskOutcome outcome;
    outcome.kind = task->kind();
    outcome.result = core.finishTask(*task);
    outcome.cancelled = task->wasCancelled();
    outcome.samplesBefore = std::move(task->samplesBefore);
    return outcome;
}

} // namespace kestrelon
