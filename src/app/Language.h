#pragma once
// The window's language: Japanese, the texts of the code, or English, their translation
// (translations/kestrelon_en.ts). Chosen in the Help menu, it takes effect at once and is
// remembered with QSettings; Japanese until a person chooses.

#include <functional>

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "base/Message.h"

class QMenu;
class QWidget;

namespace kestrelon {

// The language saved with saveLanguage, Japanese when none was.
Language savedLanguage();
void saveLanguage(Language language);

// Makes `language` the program's: the messages' (setMessageLanguage), every tr() of the
// window, and Qt's own texts (qtbase_ja for Japanese, so that the standard buttons read
// はい/いいえ; Qt's English for English). Needs the QApplication.
void applyLanguage(Language language);

// Keeps the texts of a long-lived window in the language installed. It remembers the
// Japanese text of every action, menu, label, button, drop-down item, tooltip and window
// title under the window when it first sees it (the window is built in Japanese), and
// sets their translation in `context` (the tr() context of the code that made them) on
// every language change. A text the program has since replaced by another (a caption
// showing the file name) is left as it is.
class Retranslator : public QObject {
    Q_OBJECT
public:
    Retranslator(QWidget* window, const char* context);
    // Remembers what it has not seen yet (call after building more of the window in
    // Japanese), then sets every remembered text in the language installed.
    void retranslate();

private:
    struct Texts {
        QPointer<QObject> object;
        QString text, toolTip, title;
        QStringList items;
    };
    void remember();
    QString translated(const QString& source) const;
    // source's translation when current is source or one of its translations, else current
    QString follow(const QString& current, const QString& source) const;

    QWidget* FWindow;
    const char* FContext;
    QHash<QObject*, Texts> FTexts;
};

// Adds the submenu "言語" (日本語 / English; its title translated in `context`) to menu:
// choosing a language applies and saves it, then calls chosen (to retranslate the window).
QMenu* addLanguageMenu(QMenu* menu, const char* context, std::function<void()> chosen);

} // namespace kestrelon
