#pragma once
// The texts of the main window a person reads that are not errors of the lower layers:
// the status message each command ends with, the window's own questions, menu items and
// dialog titles. One table, code -> Japanese source text, marked for Qt Linguist in the
// context "WindowText"; the window and its tests both read it through windowText().
// Texts with %1, %2 are completed with QString::arg by the caller.

#include <QString>

namespace kestrelon {

enum class WindowText {
    // The status message a command ends with: done, cancelled, failed.
    Opened, // %1: file name
    OpenCancelled,
    OpenFailed, // %1: file name
    Saved, // %1: file name
    SaveCancelled,
    SaveFailed, // %1: file name
    Exported, // %1: file name
    ExportCancelled,
    ExportFailed, // %1: file name
    Imported, // %1: file name
    ImportCancelled,
    ImportFailed, // %1: file name
    Undone, // %1: what was undone
    UndoCancelled,
    UndoFailed,
    Redone, // %1: what was redone
    RedoCancelled,
    RedoFailed,
    ViewShown, // %1: the view's name
    ViewCancelled,
    ViewFailed,
    LengthChanged, // %1: the FFT length
    LengthCancelled,
    LengthFailed,
    EditorSet, // the image editor's command was stored
    EditorSetCancelled,
    ExternalEditCancelled,
    ExternalEditFailed, // %1: file name
    NoSamples, // a command that needs samples on an empty sound
    // Questions and titles.
    CloseWhileBusy, // close the window during a long command
    ChooseExportFolder, // %1: the folder that cannot be written
    // The image editor.
    NoEditorApplication, // %1: file
    EditorNoProgram, // %1: the command
    EditorNotStarted, // %1: the program
    // The file menu and the help.
    RecentFilesMenu,
    RecentFilesEmpty,
    RecentFilesClear,
    RecentFileMissing, // %1: path
    QuitItem,
    HelpItem,
    HelpTitle,
    // The filters of the picture dialogs.
    PictureFilesFilter,
    BmpFilesFilter,
    PngFilesFilter,
    AllFilesFilter,
};

// The text of code in the language installed (Japanese without a translation).
QString windowText(WindowText code);

// Every code, in order, for the test that checks each has a text.
constexpr int kWindowTextCount = int(WindowText::AllFilesFilter) + 1;

} // namespace kestrelon
