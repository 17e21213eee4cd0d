// Program entry of the window: kestrelon [FILE]
#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include "app/AppSetup.h"
#include "app/KestrelonMain.h"
#include "app/Language.h"
#include "app/UserDialogs.h"
#include "base/Message.h"

namespace {

// Whether the file argument `file` (as Qt decoded it) is the name given. Qt holds paths
// as QStrings, which keep only valid UTF-8: other bytes become U+FFFD, and the QString
// then names another file, so such an argument is not opened.
bool isNameGiven(const QString& file, int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (QFile::decodeName(argv[i]) == file)
            return QFile::encodeName(file) == argv[i];
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrelon"));
    QApplication::setApplicationVersion(kestrelon::versionString());
    QApplication::setDesktopFileName(QStringLiteral("kestrelon"));
    QApplication::setWindowIcon(kestrelon::appIcon());
    QApplication::setFont(kestrelon::uiFont());
    kestrelon::applyLanguage(kestrelon::Language::Japanese); // the window is built in Japanese

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Filter a sound by painting on its spectrogram."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"),
        QStringLiteral("A sound file to open (WAV, FLAC, Ogg, MP3, AIFF, Wave64, RF64 or CAF)."),
        QStringLiteral("[FILE]"));
    parser.process(app);

    kestrelon::TForm1 form;
    // the language saved, chosen as in the Help menu
    const QString language = kestrelon::languageName(kestrelon::savedLanguage());
    if (auto* choice = form.findChild<QAction*>(QStringLiteral("Language_") + language);
        choice && language != kestrelon::languageName(kestrelon::Language::Japanese))
        choice->trigger();
    form.show();
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty() && !isNameGiven(files.first(), argc, argv)) {
        const QString message
            = kestrelon::Message(kestrelon::MessageCode::NameNotUtf8, files.first()).text();
        QTimer::singleShot(
            0, &form, [&form, message] { kestrelon::QtUserDialogs().showError(&form, message); });
    } else if (!files.isEmpty()) {
        const QString path = QFileInfo(files.first()).absoluteFilePath();
        // Opened from the event loop, so the window is on screen behind any message.
        QTimer::singleShot(0, &form, [&form, path] { form.openFile(path); });
    }
    return app.exec();
}
