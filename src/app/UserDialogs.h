#pragma once
// The seam between the main window and the person: file dialogs, yes/no questions,
// error boxes, the choice of the image editor and starting it. The program uses QtUserDialogs (real
// modal Qt dialogs); tests answer through a scripted implementation, so no modal dialog ever opens
// there.

#include <QString>

class QWidget;

namespace kestrelon {

// The settings a file dialog is opened with, kept by the window between runs of the
// dialog the way a dialog component keeps its properties.
struct FileDialogRequest {
    QString title; // empty: the system's default title
    QString filter; // "description|pattern" pairs, e.g. "Wave file (*.wav)|*.wav"
    QString defaultSuffix; // appended when the typed name has no extension, e.g. "wav"
    QString initialDir; // empty: the directory of fileName, or the dialog's default
    QString fileName; // the proposed file, a full path or a bare name
};

// "Wave file (*.wav)|*.wav" -> "Wave file (*.wav)", several pairs joined by ";;".
// A description that does not show its pattern gets it appended in parentheses.
QString qtNameFilter(const QString& filter);

// The question asked before a file is overwritten: "name" を上書きしますか？
QString overwriteQuestion(const QString& path);

// The question asked before unsaved changes would be lost: "name" への変更を保存しますか？
QString saveChangesQuestion(const QString& fileName);

enum class SaveChoice { Save, Discard, Cancel };

// A range of seconds to ask for: the dialog's title, the proposal, and the sound's length
// (the largest value offered).
struct RangeRequest {
    QString title;
    double from = 0.0;
    double to = 0.0;
    double length = 0.0;
};

class UserDialogs {
public:
    virtual ~UserDialogs() = default;
    // The chosen path, or an empty string when the person cancels.
    virtual QString askOpenFile(QWidget* parent, const FileDialogRequest& request) = 0;
    // Save dialogs never ask about overwriting themselves: the window asks.
    virtual QString askSaveFile(QWidget* parent, const FileDialogRequest& request) = 0;
    // true only for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& question) = 0;
    // Save, Discard or Cancel (closing the question cancels).
    virtual SaveChoice askSaveChanges(QWidget* parent, const QString& question) = 0;
    virtual void showError(QWidget* parent, const QString& message) = 0;
    virtual void showWarning(QWidget* parent, const QString& message) = 0;
    // The image editor's command ("gimp %f"; "" for the desktop default): true with
    // *command changed when the person confirms, false when they cancel.
    virtual bool askEditorCommand(QWidget* parent, QString* command) = 0;
    // A range of seconds: true with *from and *to set when the person confirms.
    virtual bool askRange(QWidget* parent, const RangeRequest& request, double* from, double* to)
        = 0;
    // Starts the editor on path, detached (see app/ExternalEditor.h); false with *error
    // set when it could not be started.
    virtual bool launchEditor(const QString& command, const QString& path, QString* error) = 0;
};

// Real dialogs: QFileDialog (overwrite confirmation off), QMessageBox,
// EditorSettingsDialog and a dialog of two second fields for ranges; the editor is really started.
class QtUserDialogs : public UserDialogs {
public:
    QString askOpenFile(QWidget* parent, const FileDialogRequest& request) override;
    QString askSaveFile(QWidget* parent, const FileDialogRequest& request) override;
    bool askYesNo(QWidget* parent, const QString& question) override;
    SaveChoice askSaveChanges(QWidget* parent, const QString& question) override;
    void showError(QWidget* parent, const QString& message) override;
    void showWarning(QWidget* parent, const QString& message) override;
    bool askEditorCommand(QWidget* parent, QString* command) override;
    bool askRange(QWidget* parent, const RangeRequest& request, double* from, double* to) override;
    bool launchEditor(const QString& command, const QString& path, QString* error) override;
};

} // namespace kestrelon
