#include "app/Language.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QSettings>
#include <QTranslator>

namespace kestrelon {

namespace {

const char* const kLanguageKey = "window/language";

QSettings settings()
{
    return QSettings(QStringLiteral("Kestrelon"), QStringLiteral("Kestrelon"));
}

} // namespace

Language savedLanguage()
{
    return languageFromName(settings().value(QLatin1String(kLanguageKey)).toString());
}

void saveLanguage(Language language)
{
    settings().setValue(QLatin1String(kLanguageKey), languageName(language));
}

void applyLanguage(Language language)
{
    static QTranslator* qtJapanese = nullptr; // Qt's own texts in Japanese, loaded once
    static bool loaded = false;
    if (!loaded) {
        loaded = true;
        auto* t = new QTranslator(qApp);
        if (t->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            qtJapanese = t;
        else
            delete t;
    }
    if (qtJapanese) {
        QCoreApplication::removeTranslator(qtJapanese);
        if (language == Language::Japanese)
            QCoreApplication::installTranslator(qtJapanese);
    }
    setMessageLanguage(language);
}

Retranslator::Retranslator(QWidget* window, const char* context)
    : QObject(window)
    , FWindow(window)
    , FContext(context)
{
    remember();
}

void Retranslator::remember()
{
    QList<QObject*> objects = FWindow->findChildren<QObject*>();
    objects.prepend(FWindow);
    for (QObject* o : objects) {
        if (FTexts.contains(o))
            continue;
        Texts t;
        t.object = o;
        if (auto* a = qobject_cast<QAction*>(o)) {
            t.text = a->text();
            t.toolTip = a->toolTip();
        } else if (auto* m = qobject_cast<QMenu*>(o)) {
            t.title = m->title();
        } else if (auto* w = qobject_cast<QWidget*>(o)) {
            t.toolTip = w->toolTip();
            if (w->isWindow())
                t.title = w->windowTitle();
            if (auto* l = qobject_cast<QLabel*>(w))
                t.text = l->text();
            else if (auto* b = qobject_cast<QAbstractButton*>(w))
                t.text = b->text();
            else if (auto* c = qobject_cast<QComboBox*>(w))
                for (int i = 0; i < c->count(); ++i)
                    t.items << c->itemText(i);
        } else {
            continue;
        }
        FTexts.insert(o, t);
    }
}

QString Retranslator::translated(const QString& source) const
{
    const QByteArray utf8 = source.toUtf8();
    return translatedText(messageLanguage(), FContext, utf8.constData());
}

QString Retranslator::follow(const QString& current, const QString& source) const
{
    if (source.isEmpty())
        return current;
    const QByteArray utf8 = source.toUtf8();
    if (current != source
        && current != translatedText(Language::English, FContext, utf8.constData()))
        return current; // the program has put another text there
    return translated(source);
}

void Retranslator::retranslate()
{
    if (messageLanguage() == Language::Japanese)
        remember(); // what was added in Japanese since
    for (auto it = FTexts.begin(); it != FTexts.end();) {
        QObject* o = it->object;
        if (!o) {
            it = FTexts.erase(it);
            continue;
        }
        const Texts& t = *it;
        if (auto* a = qobject_cast<QAction*>(o)) {
            a->setText(follow(a->text(), t.text));
            a->setToolTip(follow(a->toolTip(), t.toolTip));
        } else if (auto* m = qobject_cast<QMenu*>(o)) {
            m->setTitle(follow(m->title(), t.title));
        } else if (auto* w = qobject_cast<QWidget*>(o)) {
            if (!t.toolTip.isEmpty())
                w->setToolTip(follow(w->toolTip(), t.toolTip));
            if (w->isWindow() && !t.title.isEmpty())
                w->setWindowTitle(follow(w->windowTitle(), t.title));
            if (auto* l = qobject_cast<QLabel*>(w); l && !t.text.isEmpty())
                l->setText(follow(l->text(), t.text));
            else if (auto* b = qobject_cast<QAbstractButton*>(w); b && !t.text.isEmpty())
                b->setText(follow(b->text(), t.text));
            else if (auto* c = qobject_cast<QComboBox*>(w))
                for (int i = 0; i < c->count() && i < t.items.size(); ++i)
                    c->setItemText(i, follow(c->itemText(i), t.items[i]));
        }
        ++it;
    }
}

QMenu* addLanguageMenu(QMenu* menu, const char* context, std::function<void()> chosen)
{
    static const char* const kTitle = QT_TRANSLATE_NOOP("kestrelon::TForm1", "言語");
    QMenu* languages = menu->addMenu(QCoreApplication::translate(context, kTitle));
    languages->setObjectName(QStringLiteral("LanguageMenu"));
    auto* group = new QActionGroup(languages);
    // each language named in itself, the same in every language
    const std::pair<Language, QString> choices[] = {{Language::Japanese, QStringLiteral("日本語")},
        {Language::English, QStringLiteral("English")}};
    for (const auto& [language, name] : choices) {
        QAction* action = languages->addAction(name);
        action->setObjectName(QStringLiteral("Language_") + languageName(language));
        action->setCheckable(true);
        action->setChecked(messageLanguage() == language);
        group->addAction(action);
        QObject::connect(action, &QAction::triggered, languages, [language, chosen] {
            applyLanguage(language);
            saveLanguage(language);
            if (chosen)
                chosen();
        });
    }
    // the check follows a language applied elsewhere (at start-up)
    QObject::connect(languages, &QMenu::aboutToShow, languages, [languages] {
        for (QAction* a : languages->actions())
            a->setChecked(
                a->objectName() == QStringLiteral("Language_") + languageName(messageLanguage()));
    });
    return languages;
}

} // namespace kestrelon
