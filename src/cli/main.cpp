// kestrelon-cli: the filter cycle without a window.
//
//   kestrelon-cli info   IN                       [--fft N] [--view spectrum|cepstrum]
//   kestrelon-cli export IN OUT.bmp               [--fft N] [--view spectrum|cepstrum]
//   kestrelon-cli apply  IN EDITED_IMAGE OUT      [--fft N] [--view spectrum|cepstrum]
//
// export and apply take --from S --to S (seconds) for a piece of a long sound: export
// writes the picture of that range of frames (editing/Document.h, rangeOfSeconds), apply
// takes the edited picture as that piece and refuses one of another size.
//
// IN is a sound file of any format Kestrelon opens (audio/SoundFile.h); apply saves OUT
// as FLAC when its name ends in ".flac", else as WAV. apply warns, and goes on, when
// EDITED_IMAGE's name or contents say another view or N (Document::CheckImport).
// Messages are in English (the message table's translation).
//
// Exit status: 0 success (nothing printed but info's six lines and warnings), 1 a failed
// operation (one line on stderr naming the file and the cause; OUT is not created or
// changed), 2 a usage error.
//
// File names are taken as the bytes given. Qt holds paths as QStrings, which keep only
// valid UTF-8: QFile::decodeName turns other bytes into U+FFFD, and QFile::encodeName
// then gives the name of another file. So a name that does not survive that round trip
// is reached through descriptors: an input through /proc/self/fd/N of an O_PATH
// descriptor, an output as a file written in its folder (reached likewise) under a
// temporary name and then renamed to the bytes given.

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLocale>
#include <QString>

#include "audio/FileAccess.h"
#include "base/Errors.h"
#include "editing/Document.h"

namespace {

using kestrelon::CommandResult;
using kestrelon::DocumentPtr;
using kestrelon::Message;
using kestrelon::MessageCode;

constexpr const char* kUsage
    = "Usage:\n"
      "  kestrelon-cli info   IN                       [--fft N] [--view spectrum|cepstrum]\n"
      "  kestrelon-cli export IN OUT.bmp               [--fft N] [--view spectrum|cepstrum]\n"
      "  kestrelon-cli apply  IN EDITED_IMAGE OUT      [--fft N] [--view spectrum|cepstrum]\n"
      "\n"
      "  IN      a WAV, FLAC, Ogg (Vorbis, Opus), MP3, AIFF, Wave64, RF64 or CAF file\n"
      "  info    print duration, samples, channels, rate, bits and frames, one per line\n"
      "  export  write the filter image (BMP) of IN's picture to OUT.bmp (overwrites OUT)\n"
      "  apply   turn the edits of EDITED_IMAGE (BMP or PNG) into gains on IN and save OUT:\n"
      "          FLAC when its name ends in .flac (8- to 24-bit sounds), else WAV\n"
      "\n"
      "  --fft N       FFT length: 256, 512, 1024 (default), 2048 or 4096\n"
      "  --view V      spectrum (default) or cepstrum\n"
      "  --from S --to S\n"
      "                export / apply: only the piece from S to S seconds (the frames\n"
      "                centred nearest them; a --to at or past the end reaches it)\n"
      "  --help        show this text\n"
      "  --version     show the version\n";

struct Options {
    std::string command;
    std::vector<std::string> files;
    int32_t fft = 1024;
    uint8_t view = kestrelon::kSpectrumView;
    bool ranged = false; // --from and --to given
    double from = 0.0;
    double to = 0.0;
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

double parseSeconds(const char* name, const std::string& text)
{
    char* end = nullptr;
    const double s = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(s) || s < 0.0)
        throw UsageError{
            std::string(name) + " must be a number of seconds, 0 or more, not '" + text + "'"};
    return s;
}

Options parseArguments(const std::vector<std::string>& args)
{
    Options o;
    bool hasFrom = false;
    bool hasTo = false;
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
        else if (a == "--from" || a.rfind("--from=", 0) == 0) {
            o.from = parseSeconds("--from", value("--from"));
            hasFrom = true;
        } else if (a == "--to" || a.rfind("--to=", 0) == 0) {
            o.to = parseSeconds("--to", value("--to"));
            hasTo = true;
        } else if (a == "--") {
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
    if (hasFrom != hasTo)
        throw UsageError{"--from and --to go together"};
    o.ranged = hasFrom;
    if (o.ranged && o.command == "info")
        throw UsageError{"info takes no --from and --to"};
    if (o.files.size() != wanted)
        throw UsageError{o.command + " takes " + std::to_string(wanted) + " file name"
            + (wanted > 1 ? "s" : "") + ", got " + std::to_string(o.files.size())};
    return o;
}

// The first error of a write to standard output (0: none so far).
int gStdoutError = 0;

QByteArray lineOf(const QString& text)
{
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line.toLocal8Bit() + '\n';
}

// Everything meant for standard output goes through here, so a write that fails (a
// full disk, a closed descriptor) is noticed.
void printOut(const QByteArray& text)
{
    if (gStdoutError == 0
        && std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout)
            != std::size_t(text.size()))
        gStdoutError = errno ? errno : EIO;
}

void printErr(const QString& text)
{
    const QByteArray line = lineOf(text);
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
}

int fail(const QString& message)
{
    printErr(QStringLiteral("kestrelon-cli: ") + message);
    return 1;
}

int fail(const Message& message)
{
    return fail(message.text());
}

// code, or 1 (with one line on stderr) when standard output could not be written.
int finishOut(int code)
{
    if (std::fflush(stdout) != 0 && gStdoutError == 0)
        gStdoutError = errno ? errno : EIO;
    if (gStdoutError == 0 && std::ferror(stdout))
        gStdoutError = EIO;
    if (gStdoutError == 0)
        return code;
    return fail(Message(MessageCode::CliCannotWriteStdout, kestrelon::errnoText(gStdoutError)));
}

// --- file names as bytes ------------------------------------------------------------

mode_t gUmask = 022;

// A file named on the command line.
struct NamedFile {
    QByteArray bytes; // as given
    QString path; // what the editing core is given
    QString shown; // in messages: valid UTF-8 as it is, other bytes as \xHH
    bool exact = true; // path is the name given (it survives QString)

    explicit NamedFile(const std::string& given)
        : bytes(given.data(), qsizetype(given.size()))
        , path(QFile::decodeName(bytes))
        , shown(path)
        , exact(QFile::encodeName(path) == bytes)
    {
        if (exact)
            return;
        shown.clear();
        for (qsizetype i = 0; i < bytes.size();) {
            const auto lead = uchar(bytes[i]);
            const qsizetype n = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            const QByteArray piece = bytes.mid(i, n);
            if (piece.size() == n && QString::fromUtf8(piece).toUtf8() == piece) {
                shown += QString::fromUtf8(piece);
                i += n;
            } else {
                shown += QStringLiteral("\\x") + QString::number(lead, 16).toUpper();
                ++i;
            }
        }
    }

    // message (of a step on this file, which the core gave `used`) naming this file
    // as the person wrote it
    QString naming(const Message& m, const QString& used) const
    {
        QString message = m.text();
        if (!exact)
            message.replace(used, shown);
        return message.contains(shown) ? message : shown + QStringLiteral(": ") + message;
    }
};

// why, of the file f as the person wrote its name
QString named(const NamedFile& f, const Message& why)
{
    return Message(MessageCode::FileReason, f.shown, why).text();
}

QString descriptorPath(int fd)
{
    return QStringLiteral("/proc/self/fd/%1").arg(fd);
}

// Reaches an input whose name does not survive QString through /proc/self/fd/N of an
// O_PATH descriptor (nothing is opened for reading yet, so a FIFO does not block). The
// descriptor stays open until the process ends.
bool reachInput(NamedFile& f, QString* error)
{
    if (f.exact)
        return true;
    const int fd = ::open(f.bytes.constData(), O_PATH | O_CLOEXEC);
    if (fd < 0) {
        *error = named(f, Message(MessageCode::CannotOpen, kestrelon::errnoText(errno)));
        return false;
    }
    f.path = descriptorPath(fd);
    struct stat st { };
    if (::stat(QFile::encodeName(f.path).constData(), &st) != 0) {
        *error = named(f, MessageCode::CliNameNotUtf8);
        return false;
    }
    return true;
}

// An output whose name does not survive QString. The editing core writes (atomically,
// as for any name) a placeholder file of a UTF-8 name in OUT's folder, reached through
// /proc/self/fd/N; finish() gives it the bits of the file it replaces (or those of a
// new file) and renames it to OUT's bytes. A placeholder not finished is removed.
class RenamedOutput {
public:
    RenamedOutput() = default;
    RenamedOutput(const RenamedOutput&) = delete;
    RenamedOutput& operator=(const RenamedOutput&) = delete;
    ~RenamedOutput() { abandon(); }

    // Refuses what the writers refuse for other names: a folder, anything but a regular
    // file, a file this process may not write.
    bool prepare(const NamedFile& f, QString* error)
    {
        auto failWith = [&](const Message& why) {
            *error = named(f, why);
            return false;
        };
        QByteArray target = f.bytes;
        if (target.endsWith('/'))
            return failWith(MessageCode::NamesFolder);
        struct stat st { };
        if (::lstat(target.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
            // a link: what it points to is replaced, as with any other name
            char* resolved = ::realpath(target.constData(), nullptr);
            if (!resolved)
                return failWith(Message(MessageCode::CannotWrite, kestrelon::errnoText(errno)));
            target = resolved;
            std::free(resolved);
        }
        const qsizetype slash = target.lastIndexOf('/');
        const QByteArray folder = slash < 0 ? QByteArray(".")
            : slash == 0                    ? QByteArray("/")
                                            : target.left(slash);
        name_ = target.mid(slash + 1);
        folder_ = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (folder_ < 0)
            return failWith(Message(MessageCode::CannotCreate, kestrelon::errnoText(errno)));
        if (::fstatat(folder_, name_.constData(), &st, 0) != 0) {
            if (errno != ENOENT)
                return failWith(Message(MessageCode::CannotWrite, kestrelon::errnoText(errno)));
            mode_ = 0666 & ~gUmask;
            return true;
        }
        if (S_ISDIR(st.st_mode))
            return failWith(MessageCode::NamesFolder);
        if (!S_ISREG(st.st_mode))
            return failWith(
                Message(MessageCode::OutputNotRegularFile, kestrelon::fileKind(st.st_mode)));
        if (::faccessat(folder_, name_.constData(), W_OK, AT_EACCESS) != 0)
            return failWith(Message(MessageCode::CannotWrite, kestrelon::errnoText(errno)));
        mode_ = st.st_mode & 07777;
        return true;
    }

    // Creates the placeholder; *path is where the core writes.
    bool begin(const NamedFile& f, QString* path, QString* error)
    {
        // ".flac" at the end as in OUT: the sound is saved in the type OUT's name asks for
        const QByteArray suffix
            = f.bytes.right(5).toLower() == ".flac" ? QByteArray(".flac") : QByteArray();
        QByteArray pattern = QFile::encodeName(descriptorPath(folder_))
            + QByteArray("/.kestrelon-cli-XXXXXX") + suffix;
        const int fd = ::mkostemps(pattern.data(), int(suffix.size()), O_CLOEXEC);
        if (fd < 0) {
            *error = named(f, Message(MessageCode::CannotCreate, kestrelon::errnoText(errno)));
            return false;
        }
        ::close(fd);
        placeholder_ = pattern.mid(pattern.lastIndexOf('/') + 1);
        *path = QFile::decodeName(pattern);
        return true;
    }

    bool finish(const NamedFile& f, QString* error)
    {
        if (::fchmodat(folder_, placeholder_.constData(), mode_, 0) != 0
            || ::renameat(folder_, placeholder_.constData(), folder_, name_.constData()) != 0) {
            *error = named(f, Message(MessageCode::CannotWrite, kestrelon::errnoText(errno)));
            return false;
        }
        placeholder_.clear();
        return true;
    }

private:
    void abandon()
    {
        if (!placeholder_.isEmpty())
            ::unlinkat(folder_, placeholder_.constData(), 0);
        placeholder_.clear();
    }

    int folder_ = -1; // O_PATH descriptor of OUT's folder
    QByteArray name_; // OUT's last component, as bytes
    QByteArray placeholder_; // the placeholder's name in the folder, "" when there is none
    mode_t mode_ = 0;
};

// Both names reach the same existing file (device and inode), the names taken as bytes.
bool sameFile(const NamedFile& a, const NamedFile& b)
{
    struct stat sa { };
    struct stat sb { };
    return ::stat(a.bytes.constData(), &sa) == 0 && ::stat(b.bytes.constData(), &sb) == 0
        && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Qt's own diagnostics (platform plugin notes and the like) are not for the user of a
// batch tool; real failures come back as results.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        printErr(QStringLiteral("kestrelon-cli: ") + msg);
}

int run(const Options& o, std::vector<NamedFile>& files)
{
    QString error;
    NamedFile& in = files.front();
    NamedFile& out = files.back();
    const bool writes = o.command != "info";
    for (std::size_t i = 0; i < files.size() - (writes ? 1 : 0); ++i)
        if (!reachInput(files[i], &error))
            return fail(error);
    RenamedOutput renamed;
    if (writes) {
        // export writes a picture and apply a sound: OUT may replace IN only in apply
        const NamedFile& other = o.command == "export" ? in : files[1];
        if (sameFile(out, other))
            return fail(named(out,
                out.bytes == other.bytes
                    ? Message(o.command == "export" ? MessageCode::CliSameAsInput
                                                    : MessageCode::CliSameAsEdited)
                    : Message(o.command == "export" ? MessageCode::CliSameAsInputOther
                                                    : MessageCode::CliSameAsEditedOther,
                        other.shown)));
        if (!out.exact && !renamed.prepare(out, &error))
            return fail(error);
    }
    auto warn = [](const CommandResult& r, const NamedFile& f, const QString& used) {
        if (!r.message.isEmpty())
            printErr(QStringLiteral("kestrelon-cli: ")
                + Message(MessageCode::CliWarning, f.naming(r.message, used)).text());
    };
    // OUT written by write(path): under its own name, or through the placeholder. A
    // failure names OUT, or `input` when *inputFailed says the fault was in reading it.
    auto writeOut
        = [&](auto&& write, const NamedFile* input = nullptr, const bool* inputFailed = nullptr) {
              QString path = out.path;
              if (!out.exact && !renamed.begin(out, &path, &error))
                  return fail(error);
              const CommandResult r = write(path);
              if (!r.ok && inputFailed && *inputFailed)
                  return fail(input->naming(r.message, input->path));
              if (!r.ok)
                  return fail(out.naming(r.message, path));
              if (!out.exact && !renamed.finish(out, &error))
                  return fail(error);
              return 0;
          };

    // info prints numbers for other programs; pictures carry the user's separator like
    // the window's do (labels lie in the margins, which import ignores). apply needs no
    // picture: the edited one is compared with the cells, and the new sound goes into
    // OUT as it is filtered, without being analysed again.
    // (a piece is drawn by its own export: the whole picture is not needed then either)
    const DocumentPtr start = kestrelon::makeDocument(o.fft, o.view,
        o.command == "info" ? QLocale::c() : QLocale(), o.command == "export" && !o.ranged);

    if (o.command == "info") {
        // no samples needed: the frame count follows from the length and N
        QStringList texts;
        const CommandResult info = start->Info(in.path, &texts);
        if (!info.ok)
            return fail(in.naming(info.message, in.path));
        warn(info, in, in.path);
        for (const QString& text : texts)
            printOut(lineOf(text));
        return 0;
    }
    const CommandResult opened = start->Open(in.path);
    if (!opened.ok)
        return fail(in.naming(opened.message, in.path));
    warn(opened, in, in.path);
    const DocumentPtr doc = opened.document;
    kestrelon::FrameRange range;
    kestrelon::Message why;
    if (o.ranged && !doc->rangeOfSeconds(o.from, o.to, &range, &why))
        return fail(in.shown + QStringLiteral(": ") + why.text());
    if (o.command == "export")
        return writeOut([&](const QString& path) {
            return o.ranged ? doc->ExportRange(path, range) : doc->Export(path);
        });
    const NamedFile& edited = files[1];
    if (o.ranged) {
        const CommandResult imported = doc->ImportRange(edited.path, range);
        if (!imported.ok)
            return fail(edited.naming(imported.message, edited.path));
        warn(imported, edited, edited.path);
        const DocumentPtr result = imported.document;
        return writeOut([&](const QString& path) { return result->Save(path); });
    }
    // A whole picture goes straight into OUT as it is filtered. One of the other view or
    // N is applied as asked, with a warning naming both.
    Message guard;
    bool pictureFailed = false;
    CommandResult imported;
    const int code = writeOut(
        [&](const QString& path) {
            bool outputFailed = false;
            imported = doc->ImportToFile(edited.path, path, &guard, &outputFailed);
            pictureFailed = !imported.ok && !outputFailed;
            if (!guard.isEmpty())
                printErr(QStringLiteral("kestrelon-cli: ")
                    + Message(MessageCode::CliWarning, edited.naming(guard, edited.path)).text());
            return imported;
        },
        &edited, &pictureFailed);
    if (code == 0)
        warn(imported, edited, edited.path);
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    // A closed standard descriptor would be taken by the next file opened, and what is
    // printed would land in that file: hold it with /dev/null read-only, so writes fail.
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF && ::open("/dev/null", O_RDONLY) < 0)
            return 1;
    gUmask = ::umask(0);
    ::umask(gUmask);
    kestrelon::setMessageLanguage(kestrelon::Language::English); // every message in English

    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args) {
        if (a == "--")
            break;
        if (a == "--help" || a == "-h") {
            printOut(kUsage);
            return finishOut(0);
        }
        if (a == "--version") {
            printOut(QByteArray("kestrelon-cli ") + KESTRELON_VERSION + '\n');
            return finishOut(0);
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

    qInstallMessageHandler(quietMessages);
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    // Only export draws (labels need fonts, so a platform). The others read pictures and
    // sounds, for which Qt's core suffices, and skip the platform's start-up and the font
    // configuration its shutdown loads.
    std::unique_ptr<QCoreApplication> app;
    if (options.command == "export") {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(qtArgc, qtArgv);
    } else {
        app = std::make_unique<QCoreApplication>(qtArgc, qtArgv);
    }

    std::vector<NamedFile> files(options.files.begin(), options.files.end());
    const QString in = files.front().shown;
    try {
        return finishOut(run(options, files));
    } catch (const std::bad_alloc&) {
        return fail(Message(MessageCode::FileReason, in, MessageCode::OutOfMemory));
    } catch (const kestrelon::Error& e) {
        return fail(Message(MessageCode::FileReason, in, e.message()));
    } catch (const std::exception& e) {
        return fail(Message(MessageCode::FileReason, in, Message(MessageCode::Internal, e.what())));
    }
}
