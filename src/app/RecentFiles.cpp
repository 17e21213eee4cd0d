#include "app/RecentFiles.h"

#include <QFileInfo>
#include <QSettings>

namespace kestrelon {

namespace {

const QString kRecentKey = QStringLiteral("recentFiles");

void store(const QStringList& files)
{
    QSettings settings(QStringLiteral("Kestrelon"), QStringLiteral("Kestrelon"));
    if (files.isEmpty())
        settings.remove(kRecentKey);
    else
        settings.setValue(kRecentKey, files);
    settings.sync();
}

} // namespace

QStringList recentFiles()
{
    const QSettings settings(QStringLiteral("Kestrelon"), QStringLiteral("Kestrelon"));
    QStringList files = settings.value(kRecentKey).toStringList();
    files.removeAll(QString());
    return files.mid(0, kMaxRecentFiles);
}

void addRecentFile(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList files = recentFiles();
    files.removeAll(absolute);
    files.prepend(absolute);
    store(files.mid(0, kMaxRecentFiles));
}

void removeRecentFile(const QString& path)
{
    QStringList files = recentFiles();
    files.removeAll(QFileInfo(path).absoluteFilePath());
    store(files);
}

void clearRecentFiles()
{
    store({});
}

} // namespace kestrelon
