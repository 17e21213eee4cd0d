#pragma once
// ExternalEditSession: the round trip through a paint program as one action. Started
// right after the picture was exported to a file, it watches that file and imports every
// complete save automatically.
//
// The rule of a session: the sound is always "the sound as exported, filtered by the
// picture now in the editor". Each save is compared with the picture as exported and
// applied to the samples as they were at export (their analysis is made afresh; with the
// same N and view it equals the export-time analysis bit for bit), never on top of the
// previous automatic import. Saving the same picture twice therefore gives the same
// sound byte for byte, and a save whose picture equals the last one applied does nothing.
//
// Files watched: the exported path, and the PNG of the same base name beside it (an
// editor that saves as PNG). The directory is watched as well, so an editor that writes
// a new file and renames it over the old one is followed (the path is added again when
// it reappears). A save is taken when the file decodes and has the size of the display
// picture (the import reader's checks, which refuse a file cut short); while it does
// not, it is tried again every retryIntervalMs for up to retryLimitMs after the last
// change notice, so a half-written file is never applied.
//
// The session ends, with a message, when N, the view or the sound differ from what it
// started on (or what its last import left): the window calls checkCore() after every
// command that may change them (open, N, view, undo, redo, import), and the session
// checks again before each import. A running import cannot be ended; its result is
// still reported.
//
// Memory: the session keeps a copy of the sample block as exported and the picture.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QImage>
#include <QObject>
#include <QString>
#include <QTimer>

#include "editing/EditorCore.h"
#include "editing/EditorTasks.h"

namespace kestrelon {

struct ExternalEditTiming {
    int retryIntervalMs = 100; // between attempts to read an incomplete file
    int retryLimitMs = 2000; // how long after the last change notice to keep trying
};

// One automatic import, for the window's undo history: the samples before it; the core
// holds those after it (same format and length).
struct ExternalImportStep {
    // handed on, not copied: whoever records the step for undo moves the block out
    std::shared_ptr<std::vector<uint8_t>> samplesBefore;
    QString file; // the file whose picture was applied
    QString message; // what the status bar shows
    ClipStats clips; // what the resynthesis clipped
};

// 64-bit hash of a byte block (a check of identity, not a cryptographic hash).
uint64_t blockHash(const uint8_t* data, std::size_t size);

class ExternalEditSession : public QObject {
    Q_OBJECT
public:
    // core must have just exported its picture to path (core.Export(path) succeeded).
    // Without a sound or a matching picture the session starts ended (isActive false).
    ExternalEditSession(EditorCore& core, const QString& path, ExternalEditTiming timing = {},
        QObject* parent = nullptr);
    ~ExternalEditSession() override;

    QString path() const { return FPath; }
    QString pngPath() const { return FPngPath; } // the PNG beside it that is accepted too
    bool isActive() const { return FActive; }
    // An automatic import is running on the runner.
    bool isImporting() const { return FAwaiting; }

    // Runs the imports on runner's worker (the window shows its progress) instead of on
    // the calling thread. The runner must outlive the session or be reset here first.
    void setRunner(EditorTaskRunner* runner);

    // Ends the watch when N, the view or the sound changed; returns whether it goes on.
    bool checkCore();
    // Ends the watch, emitting ended(message) (once).
    void end(const QString& message);
    // Looks at the files at once, as a change notice does.
    void poll();

signals:
    // An import changed the sound: one undoable step.
    void imported(const kestrelon::ExternalImportStep& step);
    // A save could not be applied (not decodable in time, wrong size, gains overflow).
    void importFailed(const QString& message);
    // Every event worth a line in the status bar (imports, failures, the end).
    void statusMessage(const QString& message);
    void ended(const QString& message);

private:
    struct Candidate {
        QString path;
        std::optional<uint64_t> seen; // hash of the bytes last looked at; none: absent
    };

    void onNotice();
    void attempt();
    void watchPaths();
    void apply(const QImage& edited, const QString& file);
    void onTaskFinished(const TaskOutcome& outcome);

    EditorCore& FCore;
    QString FPath;
    QString FPngPath;
    ExternalEditTiming FTiming;
    bool FActive = false;
    int32_t FN = 0;
    uint8_t FMode = 0;
    WAVEFORMATEX FFormat;
    std::vector<uint8_t> FExportSamples;
    QImage FExportPicture;
    QImage FLastPicture; // the picture the sound is now filtered by
    uint64_t FExpectedHash = 0; // of the samples the core should hold
    std::vector<Candidate> FCandidates;
    QFileSystemWatcher FWatcher;
    QTimer FTimer;
    QElapsedTimer FSinceNotice;
    bool FPending = false; // a change notice not yet resolved
    EditorTaskRunner* FRunner = nullptr;
    QMetaObject::Connection FRunnerConnection;
    bool FAwaiting = false;
    QImage FAwaitedPicture;
    QString FAwaitedFile;
};

} // namespace kestrelon
