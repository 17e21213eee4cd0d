#include "app/ExternalEditor.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QUrl>
#include <QVBoxLayout>

#include "base/Message.h"

namespace kestrelon {

namespace {

const QString kCommandKey = QStringLiteral("externalEditor/command");

QString quoted(QString path)
{
    path.replace(QLatin1Char('"'), QLatin1String("\"\"\""));
    return QLatin1Char('"') + path + QLatin1Char('"');
}

} // namespace

QString editorCommand()
{
    const QSettings settings(QStringLiteral("Kestrelon"), QStringLiteral("Kestrelon"));
    return settings.value(kCommandKey).toString().trimmed();
}

void setEditorCommand(const QString& command)
{
    QSettings settings(QStringLiteral("Kestrelon"), QStringLiteral("Kestrelon"));
    const QString trimmed = command.trimmed();
    if (trimmed.isEmpty())
        settings.remove(kCommandKey);
    else
        settings.setValue(kCommandKey, trimmed);
    settings.sync();
}

QStringList editorArguments(const QString& command, const QString& path)
{
    QString line = command.trimmed();
    if (line.isEmpty())
        return {};
    if (line.contains(QLatin1String("%f")))
        line.replace(QLatin1String("%f"), quoted(path));
    else
        line += QLatin1Char(' ') + quoted(path);
    return QProcess::splitCommand(line);
}

bool startEditor(const QString& command, const QString& path, QString* error)
{
    if (command.trimmed().isEmpty()) {
        if (QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath())))
            return true;
        if (error)
            *error = Message(MessageCode::EditorNoApplication, path).text();
        return false;
    }
    QStringList arguments = editorArguments(command, path);
    if (arguments.isEmpty()) {
        if (error)
            *error = Message(MessageCode::EditorNamesNoProgram, command).text();
        return false;
    }
    const QString program = arguments.takeFirst();
    if (QProcess::startDetached(program, arguments))
        return true;
    if (error)
        *error = Message(MessageCode::EditorNotStarted, program).text();
    return false;
}

EditorSettingsDialog::EditorSettingsDialog(const QString& command, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("EditorSettings"));
    setWindowTitle(tr("外部エディタの設定"));
    auto* column = new QVBoxLayout(this);
    auto* label = new QLabel(tr("画像を編集するコマンド (%f はファイル名):"), this);
    column->addWidget(label);
    FEdit = new QLineEdit(command, this);
    FEdit->setObjectName(QStringLiteral("EditorCommand"));
    FEdit->setPlaceholderText(tr("既定のアプリケーション"));
    FEdit->setClearButtonEnabled(true);
    FEdit->setMinimumWidth(320);
    label->setBuddy(FEdit);
    column->addWidget(FEdit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("キャンセル"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);
}

QString EditorSettingsDialog::command() const
{
    return FEdit->text().trimmed();
}

} // namespace kestrelon
