#pragma once
// Every text a person can read, as a code with its details.
//
// The layers return a Message (a MessageCode and its arguments: file names, sizes, the
// system's errno text, N, the view...) instead of a sentence; the window and the command
// line turn it into one with text(), in the language installed (setMessageLanguage):
// Japanese, the source language, in the window; English on the command line.
//
// The texts themselves live in one table (Messages.cpp): for each code the Japanese
// source text, marked for Qt Linguist in the context "Message" with the code's name as
// its disambiguation, and with %1, %2, ... where the arguments go. The English
// translation is translations/kestrelon_en.ts, compiled to a .qm that is built into the
// program as the resource ":/i18n/kestrelon_en.qm".
//
// An argument is a plain text (shown as it is, in every language) or a Message of its own
// (shown in the same language as the message that holds it).

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include <QString>

namespace kestrelon {

// The order is the table's order (Messages.cpp checks it at compile time). Add a code
// next to its neighbours and its text at the same place in the table.
enum class MessageCode : uint16_t {
    None, // no message: renders as ""
    // --- general -----------------------------------------------------------------------------
    Join, // two messages one after the other
    FileReason, // a file and what went wrong with it
    WithDetail, // a text and a detail about it in parentheses
    OutOfMemory,
    Cancelled,
    Internal, // a text from code that has no message code (a fault of the program)
    Verbatim, // a text already in the language of the moment it was made
    // --- files: opening, reading, writing (audio/FileAccess, every reader and writer) --------
    CannotOpen,
    CannotRead,
    CannotCreate,
    CannotWrite,
    CannotWriteNoMemory,
    CannotKeepPermissions,
    CannotSetPermissions,
    NotRegularFile,
    OutputNotRegularFile,
    KindFolder,
    KindFifo,
    KindCharDevice,
    KindBlockDevice,
    KindSocket,
    KindOther,
    NamesFolder,
    FileTooLarge,
    FileGrew,
    FileUnreadable,
    CannotBeReadCode,
    CannotBeWritten,
    // --- sound files (audio/WavFile, audio/SoundFile) ----------------------------------------
    WavTooShort,
    NotRiffWave,
    ChunkPastEnd,
    FmtChunkTooSmall,
    NoFmtChunk,
    NoDataChunk,
    DataChunkTooLarge,
    SampleDataUnreadable,
    DataSizeNotFilled,
    FileEndsInData,
    NonFiniteSamples,
    NoMemoryForSamples,
    ExtensibleIncomplete,
    ExtensibleUnknownGuid,
    CompressedFormat,
    ExtensibleSubformat,
    FormatUnknown, // the name of format tag 0
    FloatBitsUnsupported,
    IntBitsUnsupported,
    NoChannels,
    TooManyChannels,
    BitsNotWholeBytes,
    SampleRateIs,
    ByteRateTooHigh,
    DecodedTooLarge,
    NotASoundFile,
    CannotBeReadLibrary,
    FormatFilesUnsupported,
    DamagedAfterFrames,
    EndsAfterFrames,
    CannotDecodeMpeg,
    NoMpegAudio,
    MpegNoFloat,
    MpegStreamChanges,
    MpegNoProgress,
    FlacFloat,
    FlacNotSampleType,
    FlacBits,
    FlacChannels,
    FlacEmpty,
    // --- engine errors (base/Errors.h): what overflowed --------------------------------------
    IntOverflow,
    FloatOverflow,
    WhatBlockSize,
    WhatBytesPerSecond,
    WhatSampleBlock,
    WhatFrameCount,
    WhatPictureWidth,
    WhatPictureHeight,
    WhatTimeColumn,
    WhatFrequencyRow,
    WhatPitchRow,
    WhatBmpSize,
    WhatCellsSize,
    WhatDbArraySize,
    WhatGainArraySize,
    WhatSpectrogramSize,
    WhatResynthesisLength,
    NoSamplesToResynthesise,
    ZeroSampleRate,
    DbValueError,
    TooManyChannelsToAnalyse,
    GainOverflowBin,
    GainOverflowCepstrum,
    GainOverflowCepstrumGain,
    GainOverflowValue,
    // --- pictures (imaging): the filter image read back --------------------------------------
    PictureSizeMismatch,
    PictureWidthMismatch,
    PictureHeightMismatch,
    HintOtherFftLength,
    HintOtherSound,
    ImageCutShort,
    ImageHeaderCutShort,
    BmpHeaderUnknown,
    BmpBitsPerPixel,
    BmpCompression,
    BmpColourTableSize,
    BmpHeaderDamaged,
    BmpColourTableOverlap,
    ImageCutShortCompressed,
    PngTooMuchData,
    PngRowFilter,
    PngCutShortCompressed,
    PngDataNotEnding,
    PngDataDamaged,
    PngDataEndsEarly,
    PngBytesAfterData,
    PngEndsEarly,
    PngChunkLength,
    PngHeaderNotFirst,
    PngChecksum,
    PngHeaderLength,
    PngSideLimit,
    PngHeaderDamaged,
    PngIdatLimit,
    PngPaletteDamaged,
    PngUnknownChunk,
    PngNoPalette,
    PngNoData,
    NoPictureToCompare,
    NotBmpOrPng,
    QtRefusesImage,
    ImageCannotBeDecoded,
    RleUnwritten,
    UnknownView,
    NoAnalysedPicture,
    SpectrogramsMismatch,
    CepstraMismatch,
    AnalysisIncomplete,
    // --- the editing core's commands (editing) -----------------------------------------------
    ClippedSamples,
    OverFullScale,
    FileEndsEarlyFrames,
    NoPictureToCompareWith,
    NoPictureToExport,
    NoPictureToPaint,
    OpenedSoundUnknown,
    OpenedSoundOtherLength,
    NoSoundToSave,
    NoSoundToUndo,
    NoSoundToRedo,
    ImportGainsOverflow,
    PassReading,
    PassAnalysis,
    PassDrawing,
    PassApplyingGains,
    PassHistory,
    PassResynthesis,
    HistoryCannotCompress,
    HistoryDamaged,
    HistoryUnknownWidth,
    HistoryOtherSound,
    HistoryNotReproduced,
    // --- the import guard (editing/Document::CheckImport) ------------------------------------
    ViewSpectrum,
    ViewCepstrum,
    ViewAndFftLength,
    GuardByName,
    GuardByContents,
    // --- external editor sessions (editing/ExternalEdit) -------------------------------------
    WatchReasonNoSound,
    WatchReasonFftLength,
    WatchReasonView,
    WatchReasonSound,
    WatchEnded,
    EditorCannotRead,
    EditorSavedUnchanged,
    EditorApplyCancelled,
    EditorApplyFailed,
    EditorApplied,
    // --- the command line (cli) --------------------------------------------------------------
    CliCannotWriteStdout,
    CliNameNotUtf8,
    CliSameAsInput,
    CliSameAsInputOther,
    CliSameAsEdited,
    CliSameAsEditedOther,
    CliWarning,
    // --- app: errors at the command boundary, the dialogs' questions -------------------------
    CommandStoppedNoMemory,
    CommandStoppedUnexpected,
    AnotherCommandRunning,
    ImportAnyway,
    OverwriteQuestion,
    SaveChangesQuestion,
    NameNotUtf8,
    // --- app: playback and the external editor's start ---------------------------------------
    AudioOpenFailed,
    AudioWriteFailed,
    AudioUnusable,
    AudioNoDeviceFound,
    AudioFormatUnsupported,
    AudioNoOutput,
    NothingToPlay,
    // --- pieces of a long sound (editing/Document, the window's range export) ---------------
    RangeNotARange,
    RangeNoFrames,
    RangeOutsideSound,
    RangeOtherRange,
    RangeOtherAnalysis,
    RangeExportItem,
    RangeExportHint,
    RangeTitle,
    RangeImportTitle,
    RangeFrom,
    RangeTo,
    RangeTooWide,
    // --- the window -----------------------------------------------------------------------
    // (texts of the main window, its dialogs and status bar)
    // The status message each command of the window ends with: done, cancelled, failed.
    Opened,
    OpenCancelled,
    OpenFailed,
    Saved,
    SaveCancelled,
    SaveFailed,
    Exported,
    ExportCancelled,
    ExportFailed,
    Imported,
    ImportCancelled,
    ImportFailed,
    PaintApplied,
    PaintCancelled,
    PaintFailed,
    Undone,
    UndoCancelled,
    UndoFailed,
    Redone,
    RedoCancelled,
    RedoFailed,
    ViewShown,
    ViewCancelled,
    ViewFailed,
    LengthChanged,
    LengthCancelled,
    LengthFailed,
    EditorSet,
    EditorSetCancelled,
    ExternalEditCancelled,
    ExternalEditFailed,
    // The window's questions and the image editor's and recent files' errors.
    CloseWhileBusy,
    ChooseExportFolder,
    NoEditorApplication,
    EditorNoProgram,
    EditorNotStarted,
    RecentFileMissing,
    // What a long command of the window is doing, the history's steps, the editor's
    // watch and the clip report.
    ProgressOpening,
    ProgressCepstrum,
    ProgressSpectrum,
    ProgressAnalysing,
    ProgressCreatingSpectrum,
    ProgressResynthesising,
    ProgressImporting,
    ProgressUndoing,
    ProgressRedoing,
    ProgressCancelling,
    ProgressEditorPicture,
    StepImport,
    StepExternalEdit,
    EditorWaiting,
    EditorWaitingDetails,
    ClipReport,
    ClipDetails,
    OverReport,
    OverDetails,
    // The hidden commands' status messages, their step, and the undo and redo hints.
    SpectrumMade,
    SpectrumCancelled,
    SpectrumFailed,
    Resynthesised,
    ResynthesisCancelled,
    ResynthesisFailed,
    StepResynthesis,
    UndoHint,
    RedoHint,
    // --- the paint tool bar (app/PaintTools): each tool's caption (its step's name) and tip
    PaintPointer,
    PaintPointerTip,
    PaintBrush,
    PaintBrushTip,
    PaintEraser,
    PaintEraserTip,
    PaintRectangle,
    PaintRectangleTip,
    PaintLasso,
    PaintLassoTip,
    PaintHarmonics,
    PaintHarmonicsTip,
    PaintSizeTip,
    PaintSoft,
    PaintSoftTip,
    PaintGainTip,
    PaintSilence,
    PaintSilenceTip,
    PaintZoomIn,
    PaintZoomOut,
    PaintZoomFit,
    PaintZoom1,
    PaintColorMapTip,
    PaintGray,
    PaintColour,
    PaintApplying,
    PaintPlaySelection,
    PaintPlaySelectionTip,
    PaintLoop,
    PaintLoopTip,
    PaintSpectrumReadout, // time, frequency, level in dB, gray level
    PaintCepstrumReadout, // time, quefrency in ms, its pitch, level in dB, gray level
    Count // not a message: the number of codes
};

class Message;

// The languages the program speaks. Japanese is the source: it needs no translator.
enum class Language : uint8_t { Japanese, English };

// One argument of a message: a plain text, or a message of its own.
struct MessageArg {
    QString text;
    std::shared_ptr<const Message> message;

    MessageArg(const QString& s)
        : text(s)
    {
    }
    MessageArg(const char* s)
        : text(QString::fromUtf8(s))
    {
    }
    MessageArg(const std::string& s)
        : text(QString::fromStdString(s))
    {
    }
    template <std::integral T>
    MessageArg(T n)
        : text(QString::number(n))
    {
    }
    MessageArg(const Message& m);
    MessageArg(MessageCode code);
};

class Message {
public:
    Message() = default;
    Message(MessageCode code)
        : FCode(code)
    {
    }
    Message(MessageCode code, std::initializer_list<MessageArg> args)
        : FCode(code)
        , FArgs(args)
    {
    }
    template <class... A>
    requires(sizeof...(A) > 0) Message(MessageCode code, const A&... args)
        : FCode(code)
        , FArgs{MessageArg(args)...}
    {
    }

    MessageCode code() const { return FCode; }
    const std::vector<MessageArg>& args() const { return FArgs; }
    bool isEmpty() const { return FCode == MessageCode::None; }
    // The argument i as plain text ("" when it is not there or is a message).
    QString argText(std::size_t i) const { return i < FArgs.size() ? FArgs[i].text : QString(); }

    // The sentence in the language set with setMessageLanguage (Japanese until then), or
    // in the one given. Needs no QCoreApplication; safe on any thread.
    QString text() const;
    QString text(Language language) const;

    // This message after another one (Join), or itself when other is empty.
    Message then(const Message& other) const;

    bool operator==(const Message& other) const;

private:
    MessageCode FCode = MessageCode::None;
    std::vector<MessageArg> FArgs;
};

inline MessageArg::MessageArg(const Message& m)
    : message(std::make_shared<const Message>(m))
{
}

inline MessageArg::MessageArg(MessageCode code)
    : message(std::make_shared<const Message>(code))
{
}

// The table: the code's name (the disambiguation in the .ts file) and its Japanese text.
struct MessageSource {
    const char* text;
    const char* name;
};
const MessageSource& messageSource(MessageCode code);

// The translation context of the table.
inline constexpr const char* kMessageContext = "Message";

// Makes `language` the one of text(), and, when a QCoreApplication exists, installs its
// translator for QCoreApplication::translate (every tr() of the window), removing the
// one of the language before. False (and Japanese) when the translation cannot be loaded.
bool setMessageLanguage(Language language);
Language messageLanguage();
// source (UTF-8) translated into `language` in `context`, or source itself when there is
// no translation (and always for Japanese).
QString translatedText(Language language, const char* context, const char* source,
    const char* disambiguation = nullptr);
// "ja" / "en", and back (fallback for any other name).
QString languageName(Language language);
Language languageFromName(const QString& name, Language fallback = Language::Japanese);

} // namespace kestrelon
