#include "app/UserDialogs.h"

#include "app/ExternalEditor.h"
#include "base/Message.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QMessageBox>
#include <QRegularExpression>
#include <QStringList>

namespace kestrelon {

QString qtNameFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        const QString pattern = parts[i + 1].trimmed();
        QString patterns = pattern;
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (description.contains(QLatin1Char('(') + patterns + QLatin1Char(')')))
            filters << description;
        else
            filters << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

QString overwriteQuestion(const QString& path)
{
    return Message(MessageCode::OverwriteQuestion, QFileInfo(path).fileName()).text();
}

QString saveChangesQuestion(const QString& fileName)
{
    return Message(MessageCode::SaveChangesQuestion, fileName).text();
}

namespace {

QString runFileDialog(
    QWidget* parent, const FileDialogRequest& request, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent, request.title);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(
        mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setNameFilter(qtNameFilter(request.filter));
    dialog.setDefaultSuffix(request.defaultSuffix);
    // A name typed without an ending gets the one of the filter chosen last ("FLAC file
    // (*.flac)" -> "flac"), not always the first filter's.
    if (!request.defaultSuffix.isEmpty())
        QObject::connect(
            &dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
                static const QRegularExpression firstSuffix(QStringLiteral("\\(\\*\\.(\\w+)"));
                const QRegularExpressionMatch m = firstSuffix.match(f);
                if (m.hasMatch())
                    dialog.setDefaultSuffix(m.captured(1));
            });
    const QFileInfo proposed(request.fileName);
    if (!request.initialDir.isEmpty())
        dialog.setDirectory(request.initialDir);
    else if (!request.fileName.isEmpty() && proposed.isAbsolute())
        dialog.setDirectory(proposed.absolutePath());
    if (!request.fileName.isEmpty())
        dialog.selectFile(proposed.isAbsolute() ? proposed.absoluteFilePath() : request.fileName);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

} // namespace

QString QtUserDialogs::askOpenFile(QWidget* parent, const FileDialogRequest& request)
{
    return runFileDialog(parent, request, QFileDialog::AcceptOpen);
}

QString QtUserDialogs::askSaveFile(QWidget* parent, const FileDialogRequest& request)
{
    return runFileDialog(parent, request, QFileDialog::AcceptSave);
}

bool QtUserDialogs::askYesNo(QWidget* parent, const QString& question)
{
    return QMessageBox::question(parent, QStringLiteral("Kestrelon"), question,
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

SaveChoice QtUserDialogs::askSaveChanges(QWidget* parent, const QString& question)
{
    const auto answer = QMessageBox::warning(parent, QStringLiteral("Kestrelon"), question,
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Save)
        return SaveChoice::Save;
    if (answer == QMessageBox::Discard)
        return SaveChoice::Discard;
    return SaveChoice::Cancel;
}

void QtUserDialogs::showError(QWidget* parent, const QString& message)
{
    QMessageBox::critical(parent, QStringLiteral("Kestrelon"), message);
}

void QtUserDialogs::showWarning(QWidget* parent, const QString& message)
{
    QMessageBox::warning(parent, QStringLiteral("Kestrelon"), message);
}

bool QtUserDialogs::askEditorCommand(QWidget* parent, QString* command)
{
    EditorSettingsDialog dialog(*command, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *command = dialog.command();
    return true;
}

bool QtUserDialogs::askRange(QWidget* parent, const RangeRequest& request, double* from, double* to)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(request.title);
    auto* form = new QFormLayout(&dialog);
    // Four decimals: a frame is at least 0.1 ms long at every rate and N offered, so the
    // proposal's frames come back as they were.
    auto field = [&](double value) {
        auto* box = new QDoubleSpinBox(&dialog);
        box->setDecimals(4);
        box->setRange(0.0, request.length);
        box->setSuffix(QStringLiteral(" s"));
        box->setValue(value);
        return box;
    };
    QDoubleSpinBox* start = field(request.from);
    QDoubleSpinBox* end = field(request.to);
    form->addRow(Message(MessageCode::RangeFrom).text(), start);
    form->addRow(Message(MessageCode::RangeTo).text(), end);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *from = start->value();
    *to = end->value();
    return true;
}

QString QtUserDialogs::askFolder(QWidget* parent, const QString& title, const QString& start)
{
    return QFileDialog::getExistingDirectory(parent, title, start);
}

bool QtUserDialogs::launchEditor(const QString& command, const QString& path, QString* error)
{
    return startEditor(command, path, error);
}

} // namespace kestrelon
