#pragma once
// ExternalEditSession: the round trip through a paint program as one action. Started
// right after the picture was exported to a file, it watches that file and imports every
// complete save automatically.
//
// The rule of a session: the sound is always "the sound as exported, filtered by the
// picture now in the editor". The session keeps the document as exported; each save is
// compared with its picture and applied to its sound (Document::ImportEdited: only the
// frames the picture changes are filtered and analysed again), never on top of the
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
// The session ends, with a message, when N, the view or the sound of the document shown
// differ from what it started on (or what its last import left): the window calls
// checkDocument() with every document it shows, and the session imports into the last
// one it was given. A running import cannot be ended; its result is still reported.
//
// Memory: the session keeps the document as exported (sound, cells and picture).

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

#include "editing/CommandRunner.h"
#include "editing/Document.h"

namespace kestrelon {

struct ExternalEditTiming {
    int retryIntervalMs = 100; // between attempts to read an incomplete file
    int retryLimitMs = 2000; // how long after the last change notice to keep trying
};

// One automatic import: the document to show and its step for the undo history.
struct ExternalImportStep {
    DocumentPtr document;
    std::shared_ptr<const SampleChange> change; // from the sound shown before to the new one
    QString file; // the file whose picture was applied
    Message message; // what the status bar shows
    ClipStats clips; // what the resynthesis clipped
};

class ExternalEditSession : public QObject {
    Q_OBJECT
public:
    // exported: the document whose picture has just been exported to path (what
    // Export(path) returned). Without a sound or a matching picture the session starts
    // ended (isActive false).
    ExternalEditSession(DocumentPtr exported, const QString& path, ExternalEditTiming timing = {},
        QObject* parent = nullptr);
    ~ExternalEditSession() override;

    QString path() const { return FPath; }
    QString pngPath() const { return FPngPath; } // the PNG beside it that is accepted too
    bool isActive() const { return FActive; }
    // An automatic import is running on the runner.
    bool isImporting() const { return FAwaiting; }

    // Runs the imports on runner's worker (the window shows its progress) instead of on
    // the calling thread. The runner must outlive the session or be reset here first.
    void setRunner(CommandRunner* runner);

    // The document now shown: the watch ends when its N, view or sound differ from what
    // the session expects; returns whether it goes on. Imports start from this document.
    bool checkDocument(DocumentPtr shown);
    // Ends the watch, emitting ended(message) (once).
    void end(const Message& message);
    // Looks at the files at once, as a change notice does.
    void poll();

signals:
    // An import changed the sound: one undoable step.
    void imported(const kestrelon::ExternalImportStep& step);
    // A save could not be applied (not decodable in time, wrong size, gains overflow).
    void importFailed(const QString& message);
    // Every event worth a line in the status bar (imports, failures, the end).
    void statusMessage(const kestrelon::Message& message);
    void ended(const kestrelon::Message& message);

private:
    struct Candidate {
        QString path;
        std::optional<uint64_t> seen; // hash of the bytes last looked at; none: absent
    };

    void onNotice();
    void attempt();
    void watchPaths();
    void apply(const QImage& edited, const QString& file);
    void onFinished(const CommandResult& result);
    uint64_t expectedHash();

    DocumentPtr FExported;
    DocumentPtr FShown; // the document the window shows, as last given
    QString FPath;
    QString FPngPath;
    ExternalEditTiming FTiming;
    bool FActive = false;
    QImage FLastPicture; // the picture the sound is now filtered by
    // The sound the document shown should hold: the one exported, then each import's; a
    // document holding another TWave of the same bytes (undo, then redo) goes on too.
    std::weak_ptr<const TWave> FExpected;
    std::optional<uint64_t> FExpectedHash; // sampleHash of its bytes, once taken
    std::shared_ptr<uint64_t> FAwaitedHash; // the running import's, taken on the worker
    std::vector<Candidate> FCandidates;
    QFileSystemWatcher FWatcher;
    QTimer FTimer;
    QElapsedTimer FSinceNotice;
    bool FPending = false; // a change notice not yet resolved
    CommandRunner* FRunner = nullptr;
    QMetaObject::Connection FRunnerConnection;
    bool FAwaiting = false;
    QImage FAwaitedPicture;
    QString FAwaitedFile;
};

} // namespace kestrelon
