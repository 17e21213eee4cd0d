#pragma once
// The image editor a picture is sent to by "外部エディタで編集": the command the person
// chose, kept with QSettings (organisation and application "Kestrelon", key
// externalEditor/command), the folder pictures are exported to when the sound's own
// cannot be written (key externalEditor/exportFolder), and the dialog to choose the
// command.
//
// A command is a program line such as "gimp %f"; %f becomes the picture's path in
// double quotes (a quote inside the path is written as three quotes, the form
// QProcess::splitCommand reads), and a command without %f gets the quoted path appended.
// An empty command means the desktop's default application for the file.

#include <QDialog>
#include <QString>
#include <QStringList>

class QLineEdit;

namespace kestrelon {

// The stored command; "" when none was chosen (or it is only blanks).
QString editorCommand();
void setEditorCommand(const QString& command);
// The folder chosen for pictures whose sound's folder cannot be written; "" when none.
QString editorExportFolder();
void setEditorExportFolder(const QString& folder);

// The program and its arguments for command with path substituted; empty when command
// is empty or has no program.
QStringList editorArguments(const QString& command, const QString& path);

// Starts the editor on path, detached: the desktop default when command is empty.
// Returns false, with *error saying why (and pointing to 外部エディタの設定), when it
// could not be started.
bool startEditor(const QString& command, const QString& path, QString* error);

// "外部エディタの設定": a line edit for the command, empty for "既定のアプリケーション".
class EditorSettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit EditorSettingsDialog(const QString& command, QWidget* parent = nullptr);
    QString command() const;
    QLineEdit* commandEdit() const { return FEdit; }

private:
    QLineEdit* FEdit;
};

} // namespace kestrelon
