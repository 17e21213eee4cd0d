#pragma once
// Process-wide look of Kestrelon's window: the UI font, Qt's Japanese translation
// (so the standard buttons read はい/いいえ), and the icons drawn for it.

#include <QFont>
#include <QIcon>
#include <QString>

class QCoreApplication;

namespace kestrelon {

// "ＭＳ Ｐゴシック" with the metric-compatible IPAPGothic and Noto Sans CJK JP as
// fallbacks, 12 pixels high.
QFont uiFont();

// Loads qtbase_ja from Qt's translations directory into app. Returns whether it did.
bool installQtTranslation(QCoreApplication& app);

// The toolbar and menu icons: "open", "save", "export", "import"; rendered from our
// SVG drawings at 16, 20, 24, 32, 48 and 64 pixels, so they stay sharp on any scale.
QIcon actionIcon(const QString& name);
// The program's own icon.
QIcon appIcon();

// "1.0.0": the project version CMake was given.
QString versionString();

} // namespace kestrelon
