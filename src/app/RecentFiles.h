#pragma once
// 最近使ったファイル: the sounds opened last, newest first, kept with QSettings
// (organisation and application "Kestrelon", key recentFiles).

#include <QString>
#include <QStringList>

namespace kestrelon {

constexpr int kMaxRecentFiles = 8;

QStringList recentFiles();
// path goes to the top of the list (once); the oldest beyond kMaxRecentFiles go.
void addRecentFile(const QString& path);
void removeRecentFile(const QString& path);
void clearRecentFiles();

} // namespace kestrelon
