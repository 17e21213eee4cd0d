// Program entry of the window: kestrelon [FILE.wav]
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>

#include "app/AppSetup.h"
#include "app/KestrelonMain.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrelon"));
    QApplication::setApplicationVersion(kestrelon::versionString());
    QApplication::setDesktopFileName(QStringLiteral("kestrelon"));
    QApplication::setWindowIcon(kestrelon::appIcon());
    QApplication::setFont(kestrelon::uiFont());
    kestrelon::installQtTranslation(app);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Filter a sound by painting on its spectrogram."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A WAV file to open."),
        QStringLiteral("[FILE.wav]"));
    parser.process(app);

    kestrelon::TForm1 form;
    form.show();
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty()) {
        const QString path = QFileInfo(files.first()).absoluteFilePath();
        // Opened from the event loop, so the window is on screen behind any message.
        QTimer::singleShot(0, &form, [&form, path] { form.openFile(path); });
    }
    return app.exec();
}
