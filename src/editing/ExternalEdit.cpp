#include "editing/ExternalEdit.h"

#include <cstring>

#include <QFile>
#include <QFileInfo>

#include "audio/FileAccess.h"
#include "editing/History.h"
#include "imaging/FilterImage.h"

namespace kestrelon {

namespace {

// The hash of a watched file and its bytes, read as a filter image of the expected size
// is read (no FIFO or device, nothing beyond the size such a picture can take). None when
// it cannot be read; *reason then says why if something is there.
std::optional<uint64_t> fileHash(
    const QString& path, QSize expected, QByteArray* bytes, Message* reason = nullptr)
{
    Message why;
    if (!readRegularFile(path, filterImageFileLimit(expected), bytes, &why)) {
        if (reason && QFileInfo::exists(path))
            *reason = why;
        return std::nullopt;
    }
    return sampleHash(
        reinterpret_cast<const uint8_t*>(bytes->constData()), std::size_t(bytes->size()));
}

uint64_t waveHash(const TWave& wave)
{
    return sampleHash(wave.FData.data(), wave.FData.size());
}

QString pngBeside(const QString& path)
{
    const QFileInfo info(path);
    return info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".png");
}

} // namespace

ExternalEditSession::ExternalEditSession(
    DocumentPtr exported, const QString& path, ExternalEditTiming timing, QObject* parent)
    : QObject(parent)
    , FPath(QFileInfo(path).absoluteFilePath())
    , FPngPath(pngBeside(FPath))
    , FTiming(timing)
{
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, &ExternalEditSession::attempt);
    connect(&FWatcher, &QFileSystemWatcher::fileChanged, this, &ExternalEditSession::onNotice);
    connect(&FWatcher, &QFileSystemWatcher::directoryChanged, this, &ExternalEditSession::onNotice);
    if (!exported || !exported->geometryMatches() || exported->FBitmap.isNull())
        return;
    FExported = exported;
    FShown = std::move(exported);
    FExpected = FExported->FWave; // its hash is taken when first needed
    FCandidates.push_back({FPath, std::nullopt});
    if (FPngPath != FPath)
        FCandidates.push_back({FPngPath, std::nullopt});
    for (Candidate& c : FCandidates) {
        QByteArray bytes;
        c.seen = fileHash(c.path, FExported->FBitmap.size(), &bytes);
        if (c.path == FPath && c.seen) {
            Message reason;
            FLastPicture = decodeFilterImage(bytes, FExported->FBitmap.size(), &reason);
        }
    }
    FActive = true;
    watchPaths();
}

ExternalEditSession::~ExternalEditSession() = default;

void ExternalEditSession::setRunner(CommandRunner* runner)
{
    if (FRunnerConnection)
        disconnect(FRunnerConnection);
    FRunner = runner;
    if (runner)
        FRunnerConnection
            = connect(runner, &CommandRunner::finished, this, &ExternalEditSession::onFinished);
}

void ExternalEditSession::watchPaths()
{
    const QString dir = QFileInfo(FPath).path();
    QStringList want{dir};
    for (const Candidate& c : FCandidates)
        if (QFileInfo::exists(c.path))
            want << c.path;
    const QStringList have = FWatcher.files() + FWatcher.directories();
    for (const QString& p : want)
        if (!have.contains(p))
            FWatcher.addPath(p);
}

bool ExternalEditSession::checkDocument(DocumentPtr shown)
{
    if (!FActive)
        return false;
    if (shown)
        FShown = std::move(shown);
    const Document& d = *FShown;
    const TWave* expected = FExpected.lock().get();
    MessageCode why = MessageCode::None;
    if (!d.FWave)
        why = MessageCode::WatchReasonNoSound;
    else if (d.FFFTLength != FExported->FFFTLength)
        why = MessageCode::WatchReasonFftLength;
    else if (d.FMode != FExported->FMode)
        why = MessageCode::WatchReasonView;
    else if (d.FWave.get() != expected
        && (d.FWave->FData.size() != FExported->FWave->FData.size()
            || std::memcmp(&d.FWave->FFormat, &FExported->FWave->FFormat, sizeof(WAVEFORMATEX)) != 0
            || waveHash(*d.FWave) != expectedHash()))
        why = MessageCode::WatchReasonSound;
    if (why == MessageCode::None)
        return true;
    // Short enough for the status bar; there is one session at a time, so no file name.
    end(Message(MessageCode::WatchEnded, why));
    return false;
}

uint64_t ExternalEditSession::expectedHash()
{
    // Only the exported sound's is taken here (the session keeps it); each import's is
    // taken on the worker.
    if (!FExpectedHash)
        FExpectedHash = waveHash(*FExported->FWave);
    return *FExpectedHash;
}

void ExternalEditSession::end(const Message& message)
{
    if (!FActive)
        return;
    FActive = false;
    FPending = false;
    FTimer.stop();
    const QStringList watched = FWatcher.files() + FWatcher.directories();
    if (!watched.isEmpty())
        FWatcher.removePaths(watched);
    emit statusMessage(message);
    emit ended(message);
}

void ExternalEditSession::poll()
{
    onNotice();
}

void ExternalEditSession::onNotice()
{
    if (!FActive)
        return;
    // A file renamed over the watched one, or deleted and written again, drops out of
    // the watcher: add it again when it is there.
    watchPaths();
    FPending = true;
    FSinceNotice.start(); // the editor may still be writing: retry from now on
    if (!FTimer.isActive())
        FTimer.start(FTiming.retryIntervalMs);
}

void ExternalEditSession::attempt()
{
    if (!FActive || !FPending)
        return;
    if (FAwaiting) {
        FTimer.start(FTiming.retryIntervalMs); // look again when that import is done
        return;
    }
    watchPaths();
    const QSize expected = FExported->FBitmap.size();
    // Of the files that changed since they were last looked at, the most recent wins.
    Candidate* newest = nullptr;
    QDateTime newestTime;
    QByteArray newestBytes;
    bool incomplete = false;
    Message lastReason;
    for (Candidate& c : FCandidates) {
        QByteArray bytes;
        Message reason;
        const std::optional<uint64_t> h = fileHash(c.path, expected, &bytes, &reason);
        if (!h && !reason.isEmpty()) {
            incomplete = true;
            lastReason
                = Message(MessageCode::EditorCannotRead, QFileInfo(c.path).fileName(), reason);
        }
        if (!h || h == c.seen)
            continue;
        if (decodeFilterImage(bytes, expected, &reason).isNull()) {
            incomplete = true;
            lastReason
                = Message(MessageCode::EditorCannotRead, QFileInfo(c.path).fileName(), reason);
            continue;
        }
        const QDateTime t = QFileInfo(c.path).lastModified();
        if (!newest || t >= newestTime) {
            newest = &c;
            newestTime = t;
            newestBytes = bytes;
        }
    }
    if (incomplete && FSinceNotice.elapsed() < FTiming.retryLimitMs) {
        FTimer.start(FTiming.retryIntervalMs); // still being written, perhaps
        return;
    }
    FPending = false;
    if (incomplete) {
        // The file stayed undecodable: report it once and wait for the next save.
        for (Candidate& c : FCandidates) {
            QByteArray bytes;
            const std::optional<uint64_t> h = fileHash(c.path, expected, &bytes);
            if (h && h != c.seen && (!newest || &c != newest))
                c.seen = h;
        }
        emit importFailed(lastReason.text());
        emit statusMessage(lastReason);
    }
    if (!newest)
        return;
    for (Candidate& c : FCandidates) {
        if (&c != newest)
            continue;
        Message reason;
        const QImage edited = decodeFilterImage(newestBytes, expected, &reason);
        c.seen = sampleHash(reinterpret_cast<const uint8_t*>(newestBytes.constData()),
            std::size_t(newestBytes.size()));
        if (edited == FLastPicture) {
            emit statusMessage(
                Message(MessageCode::EditorSavedUnchanged, QFileInfo(c.path).fileName()));
            return;
        }
        apply(edited, c.path);
        return;
    }
}

void ExternalEditSession::apply(const QImage& edited, const QString& file)
{
    if (!checkDocument(nullptr))
        return;
    auto hash = std::make_shared<uint64_t>(0);
    const Command command
        = [shown = FShown, exported = FExported, edited, hash](const PassFn& progress) {
              CommandResult r = shown->ImportEdited(edited, *exported, progress);
              if (r.ok)
                  *hash = waveHash(*r.document->FWave); // what checkDocument compares with
              return r;
          };
    FAwaitedHash = hash;
    FAwaitedPicture = edited;
    FAwaitedFile = file;
    FAwaiting = true;
    if (FRunner) {
        if (FRunner->start(command))
            return; // onFinished goes on
        // The runner is busy with a command of the window: try again shortly.
        FAwaiting = false;
        for (Candidate& c : FCandidates)
            if (c.path == file)
                c.seen.reset();
        FPending = true;
        FSinceNotice.start();
        FTimer.start(FTiming.retryIntervalMs);
        return;
    }
    onFinished(runCommand(command));
}

void ExternalEditSession::onFinished(const CommandResult& result)
{
    if (!FAwaiting)
        return; // a command the window started
    FAwaiting = false;
    const QString name = QFileInfo(FAwaitedFile).fileName();
    if (result.cancelled) {
        emit statusMessage(Message(MessageCode::EditorApplyCancelled, name));
        return;
    }
    if (!result.ok) {
        const Message message(MessageCode::EditorApplyFailed, name, result.message);
        emit importFailed(message.text());
        emit statusMessage(message);
        return;
    }
    FLastPicture = FAwaitedPicture;
    FShown = result.document;
    FExpected = FShown->FWave;
    FExpectedHash = *FAwaitedHash;
    ExternalImportStep step;
    step.document = result.document;
    step.change = result.change;
    step.file = FAwaitedFile;
    step.clips = result.clips;
    // Short enough for the status bar beside the six panels at the window's first size.
    step.message = Message(MessageCode::EditorApplied, name);
    // Clipping travels in step.clips; the window shows it in its own panel.
    emit imported(step);
    emit statusMessage(step.message);
}

} // namespace kestrelon
