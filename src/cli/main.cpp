// kestrelon-cli: the filter cycle without a window.
//
//   kestrelon-cli info   IN.wav                       [--fft N] [--view spectrum|cepstrum]
//   kestrelon-cli export IN.wav OUT.bmp               [--fft N] [--view spectrum|cepstrum]
//   kestrelon-cli apply  IN.wav EDITED_IMAGE OUT.wav  [--fft N] [--view spectrum|cepstrum]
//
// Exit status: 0 success (nothing printed but info's six lines), 1 a failed operation
// (one line on stderr naming the file and the cause; OUT is not created or changed),
// 2 a usage error.

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include <QGuiApplication>
#include <QLocale>
#include <QString>

#include "base/Errors.h"
#include "editing/Document.h"

namespace {

using kestrelon::CommandResult;
using kestrelon::DocumentPtr;

constexpr const char* kUsage
    = "Usage:\n"
      "  kestrelon-cli info   IN.wav                       [--fft N] [--view spectrum|cepstrum]\n"
      "  kestrelon-cli export IN.wav OUT.bmp               [--fft N] [--view spectrum|cepstrum]\n"
      "  kestrelon-cli apply  IN.wav EDITED_IMAGE OUT.wav  [--fft N] [--view spectrum|cepstrum]\n"
      "\n"
      "  info    print duration, samples, channels, rate, bits and frames, one per line\n"
      "  export  write the filter image (BMP) of IN's picture to OUT.bmp (overwrites OUT)\n"
      "  apply   turn the edits of EDITED_IMAGE (BMP or PNG) into gains on IN and save OUT.wav\n"
      "\n"
      "  --fft N       FFT length: 256, 512, 1024 (default), 2048 or 4096\n"
      "  --view V      spectrum (default) or cepstrum\n"
      "  --help        show this text\n"
      "  --version     show the version\n";

struct Options {
    std::string command;
    std::vector<std::string> files;
    int32_t fft = 1024;
    uint8_t view = kestrelon::kSpectrumView;
};

struct UsageError {
    std::string message;
};

int32_t parseFft(const std::string& text)
{
    int32_t n = 0;
    bool digits = !text.empty() && text.size() <= 5;
    for (char c : text) {
        if (c < '0' || c > '9')
            digits = false;
        else
            n = n * 10 + (c - '0');
    }
    if (!digits || !kestrelon::isValidFFTLength(n))
        throw UsageError{"--fft must be 256, 512, 1024, 2048 or 4096, not '" + text + "'"};
    return n;
}

uint8_t parseView(const std::string& text)
{
    if (text == "spectrum")
        return kestrelon::kSpectrumView;
    if (text == "cepstrum")
        return kestrelon::kCepstrumView;
    throw UsageError{"--view must be spectrum or cepstrum, not '" + text + "'"};
}

Options parseArguments(const std::vector<std::string>& args)
{
    Options o;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* name) -> std::string {
            const std::string prefix = std::string(name) + "=";
            if (a.rfind(prefix, 0) == 0)
                return a.substr(prefix.size());
            if (i + 1 >= args.size())
                throw UsageError{std::string(name) + " needs a value"};
            return args[++i];
        };
        if (a == "--fft" || a.rfind("--fft=", 0) == 0)
            o.fft = parseFft(value("--fft"));
        else if (a == "--view" || a.rfind("--view=", 0) == 0)
            o.view = parseView(value("--view"));
        else if (a == "--") {
            positional.insert(positional.end(), args.begin() + std::ptrdiff_t(i) + 1, args.end());
            break;
        } else if (a.size() > 1 && a[0] == '-')
            throw UsageError{"unknown option '" + a + "'"};
        else
            positional.push_back(a);
    }
    if (positional.empty())
        throw UsageError{"no command given"};
    o.command = positional.front();
    o.files.assign(positional.begin() + 1, positional.end());
    std::size_t wanted = 0;
    if (o.command == "info")
        wanted = 1;
    else if (o.command == "export")
        wanted = 2;
    else if (o.command == "apply")
        wanted = 3;
    else
        throw UsageError{"unknown command '" + o.command + "'"};
    if (o.files.size() != wanted)
        throw UsageError{o.command + " takes " + std::to_string(wanted) + " file name"
            + (wanted > 1 ? "s" : "") + ", got " + std::to_string(o.files.size())};
    return o;
}

void printLine(FILE* stream, const QString& text)
{
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fprintf(stream, "%s\n", line.toLocal8Bit().constData());
}

int fail(const QString& message)
{
    printLine(stderr, QStringLiteral("kestrelon-cli: ") + message);
    return 1;
}

void warn(const CommandResult& r)
{
    if (!r.message.isEmpty())
        printLine(stderr, QStringLiteral("kestrelon-cli: warning: ") + r.message);
}

// Qt's own diagnostics (platform plugin notes and the like) are not for the user of a
// batch tool; real failures come back as results.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        printLine(stderr, QStringLiteral("kestrelon-cli: ") + msg);
}

int run(const Options& o)
{
    // info prints numbers for other programs; pictures carry the user's separator like
    // the window's do (labels lie in the margins, which import ignores). apply needs no
    // picture: the edited one is compared with the cells, and the new sound is saved
    // without being analysed again.
    const DocumentPtr start = kestrelon::makeDocument(
        o.fft, o.view, o.command == "info" ? QLocale::c() : QLocale(), o.command == "export");

    const QString in = QString::fromLocal8Bit(o.files[0].c_str());
    // info needs no analysis: the frame count follows from the length and N
    const CommandResult opened = start->Open(in, {}, o.command != "info");
    if (!opened.ok)
        return fail(opened.message);
    warn(opened);
    const DocumentPtr doc = opened.document;

    if (o.command == "info") {
        for (const QString& text : doc->statusTexts(doc->expectedFrameCount()))
            printLine(stdout, text);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (o.command == "export") {
        const CommandResult r = doc->Export(QString::fromLocal8Bit(o.files[1].c_str()));
        if (!r.ok)
            return fail(r.message);
        return 0;
    }
    const CommandResult imported = doc->Import(QString::fromLocal8Bit(o.files[1].c_str()));
    if (!imported.ok)
        return fail(imported.message);
    warn(imported);
    const CommandResult saved = imported.document->Save(QString::fromLocal8Bit(o.files[2].c_str()));
    if (!saved.ok)
        return fail(saved.message);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args) {
        if (a == "--")
            break;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--version") {
            std::printf("kestrelon-cli %s\n", KESTRELON_VERSION);
            return 0;
        }
    }
    Options options;
    try {
        options = parseArguments(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "kestrelon-cli: %s\n", e.message.c_str());
        std::fputs("Try 'kestrelon-cli --help'.\n", stderr);
        return 2;
    }

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietMessages);
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QGuiApplication app(qtArgc, qtArgv);

    const QString in = QString::fromLocal8Bit(options.files[0].c_str());
    try {
        return run(options);
    } catch (const std::bad_alloc&) {
        return fail(in + QStringLiteral(": out of memory"));
    } catch (const std::exception& e) {
        return fail(in + QStringLiteral(": ") + QString::fromUtf8(e.what()));
    }
}
