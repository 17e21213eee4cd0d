#pragma once
// Document: one state of what Kestrelon's main window shows, made of immutable snapshots:
// the sound, N, the view, channel 0's gray cells of each view computed so far, the display
// picture drawn from the cells of the view shown, and the paths the dialogs propose.
//
// Every command of the window is a function from a document to a new document (the
// member functions below, which never change the document they are called on). A command
// either gives the new document or fails, with a message that names the file and the
// cause, and the document it was called on stands as it was; the window shows whichever
// it gets through one slot. Parts that a command does not change are shared between the
// old document and the new one, and a command that changes some frames of the sound
// refreshes only the cells and picture columns of those frames. A command can run on a
// worker thread (editing/CommandRunner.h): it reads only its own document.
//
// Progress: long commands report percent and the pass about to run through a PassFn;
// between passes they look at the cancel flag of the calling thread (base/Cancel.h) and
// stop with OperationCancelled, and the spectral passes do so between blocks of frames.
// Engine errors (overflow and the like) are thrown as kestrelon::Error.

#include <cstdint>
#include <functional>
#include <memory>

#include <QImage>
#include <QLocale>
#include <QString>
#include <QStringList>

#include "audio/TWave.h"
#include "base/Message.h"
#include "imaging/CellPainting.h"
#include "imaging/Picture.h"
#include "imaging/RangePicture.h"
#include "spectral/Pipeline.h"

namespace kestrelon {

// The view modes kSpectrumView (0) and kCepstrumView (1) come from imaging/Picture.h.

// The FFT lengths the window offers: 256, 512, 1024, 2048 and 4096.
bool isValidFFTLength(int32_t n);

class Document;
class SampleChange;
using DocumentPtr = std::shared_ptr<const Document>;

// Progress of a long command: percent 0 .. 100 and the pass under way, on the thread that
// runs the command.
using PassFn = std::function<void(int percent, const QString& pass)>;

struct CommandResult {
    bool ok = false;
    bool cancelled = false; // stopped by a cancel (ok is false then)
    Message message; // why it failed, or a warning on success (a cut-short WAV file)
    ClipStats clips; // import: samples the resynthesis clipped
    DocumentPtr document; // ok: the document to show (the same one when nothing changed)
    // ok, for the commands that change the samples (import, an editor's save, the hidden
    // resynthesis) of an interactive document: the step for the undo history, from the
    // old sound to the new one.
    std::shared_ptr<const SampleChange> change;
};

class Document : public std::enable_shared_from_this<Document> {
public:
    static constexpr int32_t FLeftMargin = 48; // pixels
    static constexpr int32_t FTopMargin = 16; // pixels

    // --- the snapshots ------------------------------------------------------------------
    std::shared_ptr<const TWave> FWave; // none until the first successful open
    int32_t FFFTLength = 1024;
    uint8_t FMode = kSpectrumView;
    // Channel 0's cells of each view (indexed by mode) for FWave and FFFTLength, as far
    // as they have been computed; those of FMode always are while the sound has samples.
    std::shared_ptr<const GrayCells> cells[2];
    // The display picture of FMode drawn from its cells, gray, one byte per pixel
    // (imaging/PictureCells.h): what export writes. Null without samples, and when
    // drawsPicture is false.
    QImage FBitmap;
    // Settings: the decimal separator of labels and the seconds panel; whether the
    // commands draw the picture; whether the commands that change the sound make its
    // cells again and a step for the undo history (the command line's apply does without
    // all that: it saves the new sound straight away).
    QLocale locale;
    bool drawsPicture = true;
    bool interactive = true;
    // The sound as it was opened (the same snapshot as FWave until a command changes the
    // samples) and its cells of each view at FFFTLength as far as they are known: what the
    // eraser paints back to. Kept by every command but Open, which starts them again. A
    // sound of more than kKeptOpenedBytes of samples is not kept once edited (it would cost
    // its size again): its eraser has the cells computed before the first edit only.
    static constexpr std::size_t kKeptOpenedBytes = std::size_t(256) << 20;
    std::shared_ptr<const TWave> FOpenedWave;
    std::shared_ptr<const GrayCells> openedCells[2];
    // The opened sound's identity (kept or not), and which Open made this session.
    std::weak_ptr<const TWave> FOpenedIdentity;
    uint64_t FOpenedSerial = 0;

    // --- queries --------------------------------------------------------------------------
    bool hasSound() const { return FWave != nullptr; }
    // A sound with samples and channels: what has cells and a picture.
    bool hasSamples() const;
    // The cells of the view shown, or null.
    const GrayCells* shownCells() const;
    // Cells and picture agree with the sound (the first step of export and import).
    bool geometryMatches() const;
    // The six status texts: "2.500 sec", "110250 samples", "2 ch", "44100 Hz",
    // "16 bit", "216 frames"; six empty ones without a sound.
    QStringList statusTexts() const;
    // The same texts with the frame count given.
    QStringList statusTexts(int32_t frames) const;
    // The frame count an analysis of the sound with FFFTLength makes (0 without samples).
    int32_t expectedFrameCount() const;
    // What the drawing code reads.
    DrawContext drawContext() const;
    // This document without its sound: what the undo history keeps of the document at
    // the other end of a step (cells and picture), to give back to Undo and Redo.
    DocumentPtr withoutSound() const;

    // --- proposals for the dialogs ----------------------------------------------------------
    QString openedPath() const { return FOpenedPath; } // the last opened file
    QString fileName() const; // its name, for the caption
    QString proposedSavePath() const { return FSavePath; } // dir/name_fix.wav
    QString filterDirectory() const { return FFilterDir; } // with a trailing separator
    QString proposedExportPath() const; // dir/name_s1024.bmp
    QString importProposal() const { return FImportPath; } // last export, "" after N changes

    // --- commands ---------------------------------------------------------------------------
    // Loads path and shows it in the current view; the proposals follow its path.
    CommandResult Open(const QString& path, const PassFn& progress = {}) const;
    // The six status texts (statusTexts) of the sound in the file at path as Open would
    // show it, with the frame count of this N, from what readSoundHeader reads (a WAV
    // file's header alone); r.message is the warning Open would give for a file cut short.
    // The document does not change.
    CommandResult Info(const QString& path, QStringList* texts) const;
    // The other view: its cells are computed once per sound and N, the picture redrawn.
    CommandResult SetMode(uint8_t mode, const PassFn& progress = {}) const;
    // Another N (256 .. 4096; others are ignored): with a sound, a new analysis and no
    // import proposal.
    CommandResult ChangeFFTLength(int32_t n, const PassFn& progress = {}) const;
    // Reads the edited picture at path; its gray differences from the cells shown become
    // gains on every channel, the sound is filtered, and the cells and picture columns of
    // the frames that changed are made again.
    CommandResult Import(const QString& path, const PassFn& progress = {}) const;
    // The same, and *guard set to what CheckImport says of the picture, from one reading of it.
    CommandResult Import(const QString& path, Message* guard, const PassFn& progress = {}) const;
    // Import(picturePath, guard) and then Save(outPath) of its result, in one: the new
    // sound is streamed into the file (WAV or FLAC, by the name) as it is filtered,
    // neither it nor a copy of this sound being held (the command line's apply of a long
    // sound). The file is the one Import and Save give, byte for byte. The result is
    // Import's (its clips and message) with this document, which does not change; a
    // failure names picturePath as Import does or outPath as Save does, and
    // *outputFailed says which.
    CommandResult ImportToFile(const QString& picturePath, const QString& outPath, Message* guard,
        bool* outputFailed, const PassFn& progress = {}) const;
    // The import guard, before Import: what the picture at path says of the view and N it
    // was exported with, when that is not this document's view and N, naming both; an
    // empty message when they agree (or the picture cannot be read or compared: Import
    // says why). Its name says it when it has "_s1024" or "_c1024" (proposedExportPath);
    // else its contents do when nearly every cell differs from the view shown and most
    // have the gray level of the other view's cell at the same pixel (that view's cells
    // are computed for it when the document has none).
    Message CheckImport(const QString& path, const PassFn& progress = {}) const;
    // An image editor's save: `edited` against the picture of `exported` (a document of
    // this N and view the session started from), applied to the sound of `exported`; the
    // new document has this document's proposals. The step goes from this sound.
    CommandResult ImportEdited(
        const QImage& edited, const Document& exported, const PassFn& progress = {}) const;
    // A stroke or selection painted on the cells shown (imaging/CellPainting.h), applied
    // as importing the painted picture from a file applies it: the same edits, the same
    // new sound, byte for byte. An eraser's reference is the sound as opened, analysed in
    // this view and N the first time it is needed and kept in the new document.
    CommandResult Paint(const PaintStroke& stroke, const PassFn& progress = {}) const;
    // Writes the filter image of the picture; the new document proposes it for import.
    CommandResult Export(const QString& path) const;
    CommandResult Save(const QString& path) const;
    // The sound at the other end of a step of the history, with its cells and picture:
    // those of `shown` (a snapshot of the document at that end, EditHistory) when it has
    // this N, else only the frames the step changed are analysed again.
    CommandResult Undo(const SampleChange& step, const PassFn& progress = {},
        const Document* shown = nullptr) const;
    CommandResult Redo(const SampleChange& step, const PassFn& progress = {},
        const Document* shown = nullptr) const;
    // The two hidden commands, with the engine classes: analyse the sound and draw its
    // spectrum (the view becomes the spectrum); resynthesise the sound from its analysis.
    CommandResult AnalyzeAndDrawSpectrum(const PassFn& progress = {}) const;
    CommandResult SynthesizeSpectrum(const PassFn& progress = {}) const;

    // --- pieces of a long sound (imaging/RangePicture.h) ------------------------------------
    // Frame f is centred on sample f N/2, at frameSeconds(f).
    double frameSeconds(int32_t frame) const;
    // The frames of the seconds from .. to: from the frame centred nearest `from` up to,
    // not including, the one centred nearest `to`; a `to` at or past the end of the sound
    // reaches the last frame. So ranges a .. b and b .. c meet without a gap or an overlap.
    // False, with a message in *reason, when from .. to is not a range or holds no frame.
    bool rangeOfSeconds(double from, double to, FrameRange* range, Message* reason) const;
    // The width of the whole picture export writes (0 without cells).
    int32_t wholePictureWidth() const;
    // dir/name_s1024_12.000-24.000.bmp: the export proposal with the range's seconds.
    QString proposedRangeExportPath(FrameRange range) const;
    // Writes the filter image of frames `range` of the view shown, its time axis showing
    // their real times; the new document proposes it for import.
    CommandResult ExportRange(const QString& path, FrameRange range) const;
    // Reads an edited piece of frames `range` and applies it as Import applies a whole
    // picture with the same cells edited: the same new document, byte for byte. A picture
    // of another size (a piece of another range or length) is refused.
    CommandResult ImportRange(
        const QString& path, FrameRange range, const PassFn& progress = {}) const;

private:
    // A reason of Import that a picture has the wrong size, with what the size suggests:
    // another FFT length (its height fits one), or another sound (only its width differs).
    Message withSizeHint(const Message& reason) const;
    // Undo and Redo once the step has made the new sound.
    CommandResult stepped(std::shared_ptr<const TWave> wave, const SampleChange& step,
        const PassFn& progress, const Document* shown) const;

    QString FOpenedPath;
    QString FSavePath;
    QString FFilterDir;
    QString FImportPath;
};

// The view and N that a name proposed for export carries at its end ("_s1024",
// "_c512", before the extension or an addition of an editor): false when it has none.
bool parseExportName(const QString& path, uint8_t* mode, int32_t* n);

// The size the header of a BMP or PNG file states, or an invalid size for any other file
// (a FIFO or a device is not opened, nothing blocks): tells a piece from a whole picture.
QSize statedPictureSize(const QString& path);

// A new, empty document with these settings (what the window starts from; the command
// line's apply sets the last one false: no picture, no analysis of the new sound).
DocumentPtr makeDocument(int32_t fftLength = 1024, uint8_t mode = kSpectrumView,
    const QLocale& locale = QLocale(), bool shows = true);

} // namespace kestrelon
