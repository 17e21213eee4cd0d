#pragma once
// Long commands of the editing core (open, switch to the cepstrum view, change N,
// import) run on a worker thread, with progress and cancel.
//
// A task computes a new sound, a new analysis and a new picture on the worker, reading
// the core but never writing it; only when it completes are they moved into the core,
// on the UI thread. Cancelling, or a command that fails, leaves the core exactly as it
// was: samples, analysis (bins, dB rows, cepstra, flags), picture, N, view and the
// dialog proposals. Cancel is checked between the passes of a command (read, analyse,
// dB, cepstrum, cepstrum dB, draw, gains, resynthesis) and, inside the spectral passes,
// every few hundred frames, so the work stops within milliseconds (reading the file,
// copying the sound and drawing run to their end); an import that has begun to change
// the lent analysis then makes it again before the task ends (see below).
//
// Memory: the commands work on the core's own analysis, lent to the task, and make the
// new one in its place, so they need about what the synchronous commands need. A cancel
// or failure after a task has begun to change the lent analysis makes it again from the
// unchanged sound (analyses are deterministic, so it comes back bit for bit); that takes
// about as long as the analysis it undoes. An analysis that cannot be made again from the
// sound (after the hidden resynthesis command) is not lent; the task then builds its
// analysis beside it, with twice the memory at its peak.
//
// While a task runs nothing else may use the core (the window shows a modal progress
// dialog); the display picture it showed before stays valid to paint.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QImage>
#include <QObject>
#include <QString>

#include "base/Cancel.h"
#include "editing/EditorCore.h"

class QThread;

namespace kestrelon {

// Thrown on the worker when the task was cancelled: by TaskControl::checkpoint between
// passes, and by the spectral passes themselves between slices of frames.
using TaskCancelled = OperationCancelled;

// Shared by the UI thread (cancel) and the worker (checkpoints, progress).
class TaskControl {
public:
    void cancel() { FCancel.store(true, std::memory_order_relaxed); }
    bool isCancelled() const { return FCancel.load(std::memory_order_relaxed); }
    // The flag, for a CancelScope on the worker.
    const std::atomic<bool>* flag() const { return &FCancel; }
    // Called by the worker before each pass: reports progress (0 .. 100, and the pass
    // about to run) and throws TaskCancelled when cancel() was called.
    void checkpoint(int percent, const QString& pass);
    // Receives the progress reports, on the worker thread.
    std::function<void(int percent, const QString& pass)> onProgress;

private:
    std::atomic<bool> FCancel{false};
};

// One long command between EditorCore::prepare* and EditorCore::finishTask. The fields
// belong to the core's task code; the window only reads kind and description.
class EditorTask {
public:
    enum class Kind : uint8_t { Open, SetMode, ChangeFFTLength, Import };

    Kind kind() const { return FKind; }
    // What the progress dialog shows ("voice.wav を開いています" and the like).
    QString description() const { return FDescription; }
    // After runTask: whether it stopped at a checkpoint because of a cancel.
    bool wasCancelled() const { return FCancelled; }
    // Makes finishTask give everything back even though the task ran to its end.
    void discard()
    {
        FRan = false;
        FCancelled = true;
    }

private:
    friend class EditorCore;
    explicit EditorTask(Kind kind)
        : FKind(kind)
    {
    }

    Kind FKind;
    QString FDescription;
    // inputs, captured on the UI thread
    QString FPath;
    int32_t FFFTLength = 1024;
    uint8_t FMode = 0;
    bool FRefresh = true; // ChangeFFTLength with a sound, SetMode to the cepstrum
    bool FHaveEdited = false; // Import of an already decoded picture
    QImage FEdited;
    QImage FReference;
    bool FHaveBase = false;
    std::vector<uint8_t> FBase;
    bool FBorrowed = false; // the core's analysis is lent to FEngine
    // the cepstral part of a lent analysis, as it was, for giving it back unchanged
    std::vector<std::unique_ptr<TSpectrogram>> FOldCepstrograms;
    std::vector<TFFTShinpuku> FOldCepPower;
    bool FOldCepValid = false;
    bool FOldCepPowerValid = false;
    bool FOldTaken = false;
    // Open, N or import on a lent analysis: it has been changed and must be made again
    // from the core's sound before it goes back (with the cepstral flags it had).
    bool FLentChanged = false;
    bool FLentCepValid = false;
    bool FLentCepPowerValid = false;
    bool FRestoreFailed = false;
    // outputs, made on the worker
    bool FRan = false; // run finished without failure or cancel
    bool FCancelled = false;
    std::optional<TWave> FWave;
    std::unique_ptr<TWaveCepstram> FEngine;
    QImage FBitmap;
    CommandResult FResult;

public:
    // After an import has finished: the sample block it replaced (for the undo history).
    std::shared_ptr<std::vector<uint8_t>> samplesBefore;
};

// What a task ended with, as the runner reports it on the UI thread.
struct TaskOutcome {
    EditorTask::Kind kind = EditorTask::Kind::Open;
    bool cancelled = false;
    CommandResult result; // ok false: failed or cancelled, nothing changed
    // Import that succeeded: the samples before it (the core holds those after it). The
    // block is handed on, not copied: whoever records it for undo moves it out.
    std::shared_ptr<std::vector<uint8_t>> samplesBefore;
};

// Runs one task at a time on a worker thread and finishes it on the thread the runner
// lives in (the UI thread).
class EditorTaskRunner : public QObject {
    Q_OBJECT
public:
    explicit EditorTaskRunner(EditorCore& core, QObject* parent = nullptr);
    ~EditorTaskRunner() override; // cancels a running task and waits for it

    // Starts task on a worker; false (and nothing started) while another one runs.
    bool start(std::unique_ptr<EditorTask> task);
    void cancel();
    bool isRunning() const { return FThread != nullptr; }
    // Blocks until the worker is done and finishes the task at once (emitting
    // finished). For tests and for closing the window; returns false if nothing ran.
    bool waitAndFinish();

    // The synchronous form: prepare, run and finish on the calling thread.
    static TaskOutcome runNow(EditorCore& core, std::unique_ptr<EditorTask> task);

signals:
    // Emitted on the worker thread; a queued connection delivers it to the UI.
    void progress(int percent, const QString& pass);
    // Emitted on the runner's thread once the task has been finished or given back.
    void finished(const kestrelon::TaskOutcome& outcome);

private:
    void onThreadDone();

    EditorCore& FCore;
    std::unique_ptr<EditorTask> FTask;
    std::shared_ptr<TaskControl> FControl;
    QThread* FThread = nullptr;
    uint64_t FGeneration = 0;
};

} // namespace kestrelon
