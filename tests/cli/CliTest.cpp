// End-to-end runs of kestrelon-cli on files written by sox and edited by ImageMagick.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "../imaging/GuiEnvironment.h"
#include "audio/SoundFile.h"
#include "editing/Document.h"

namespace kestrelon::test {
namespace {

struct CliRun {
    int code = -1;
    QString out;
    QString err;
};

// kestrelon-cli (or another program) run to its end; code -1 when it crashed or hung.
CliRun run(const QStringList& args,
    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
    const QString& program = KESTRELON_CLI)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    CliRun r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.code = p.exitCode();
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// kestrelon-cli run with arguments given as bytes: QProcess passes QStrings, which
// cannot hold names that are not UTF-8, so sh rebuilds each argument from octal escapes.
// A run that does not end within 30 s is killed (code -1).
CliRun runBytes(const QList<QByteArray>& args)
{
    QString script = QStringLiteral("exec \"$0\"");
    for (const QByteArray& a : args) {
        QString octal;
        for (char c : a)
            octal += QStringLiteral("\\0%1").arg(uint(uchar(c)), 3, 8, QLatin1Char('0'));
        script += QStringLiteral(" \"$(printf %b '") + octal + QStringLiteral("')\"");
    }
    QProcess p;
    p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, KESTRELON_CLI});
    CliRun r;
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.code = p.exitCode();
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

bool tool(const QString& program, const QStringList& args)
{
    return run(args, QProcessEnvironment::systemEnvironment(), program).code == 0;
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void put(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

std::vector<uint8_t> samplesOf(const QString& path)
{
    TWave w;
    return w.LoadFromFile(path) == kLoadOk ? w.FData : std::vector<uint8_t>{};
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureGuiApplication();
        ASSERT_TRUE(dir.isValid());
        voice = path("voice.wav");
        // 2.5 s of stereo 16-bit: a chord left, a sweep right, without dither
        ASSERT_TRUE(tool("sox",
            {"-D", "-n", "-r", "44100", "-c", "2", "-b", "16", voice, "synth", "2.5", "sine", "440",
                "sine", "300-3000", "gain", "-6"}));
    }
    QString path(const QString& name) const { return dir.path() + "/" + name; }

    QTemporaryDir dir;
    QString voice;
};

TEST_F(Cli, InfoPrintsTheSixStatusTexts)
{
    const CliRun r = run({"info", voice});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "2.500 sec\n110250 samples\n2 ch\n44100 Hz\n16 bit\n217 frames\n");
    EXPECT_EQ(r.err, "");

    QProcessEnvironment german = QProcessEnvironment::systemEnvironment();
    german.insert("LC_ALL", "de_DE.UTF-8");
    german.insert("LANG", "de_DE.UTF-8");
    const CliRun g = run({"info", voice, "--fft", "256", "--view", "cepstrum"}, german);
    EXPECT_EQ(g.code, 0);
    EXPECT_EQ(g.out, "2.500 sec\n110250 samples\n2 ch\n44100 Hz\n16 bit\n863 frames\n");
}

class CliView : public Cli, public ::testing::WithParamInterface<const char*> {
protected:
    uint8_t mode() const
    {
        return QString(GetParam()) == "cepstrum" ? kCepstrumView : kSpectrumView;
    }
};

// export writes what the editing core's Export writes for the same file, N and view;
// it overwrites OUT and runs without a display.
TEST_P(CliView, ExportIsTheWindowsExport)
{
    const QString out = path("out.bmp");
    put(out, "an older file");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(name);
    const CliRun r = run({"export", voice, out, "--fft", "512", "--view", GetParam()}, env);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out + r.err, "");

    const CommandResult opened = makeDocument(512, mode())->Open(voice);
    ASSERT_TRUE(opened.ok);
    ASSERT_TRUE(opened.document->Export(path("core.bmp")).ok);
    EXPECT_EQ(contents(out), contents(path("core.bmp")));
    EXPECT_EQ(contents(out).size(), 1078 + (3 * (48 + 432) + 3) / 4 * 4 * (16 + 257));
}

// apply of the unchanged picture gives back the samples; apply of an edit gives what
// the editing core's import gives, saved (the edit a PNG in the cepstrum view: apply
// decodes pictures without a window system).
TEST_P(CliView, ApplyIsTheWindowsImport)
{
    const QString bmp = path("v.bmp");
    ASSERT_EQ(run({"export", voice, bmp, "--view", GetParam()}).code, 0);
    const CliRun same = run({"apply", voice, bmp, path("same.wav"), "--view", GetParam()});
    ASSERT_EQ(same.code, 0) << same.err.toStdString();
    EXPECT_EQ(same.out + same.err, "");
    EXPECT_TRUE(samplesOf(path("same.wav")) == samplesOf(voice));
    const QString other = QString(GetParam()) == "spectrum" ? "cepstrum" : "spectrum";
    const CliRun wrong = run({"apply", voice, bmp, path("other.wav"), "--view", other});
    EXPECT_TRUE(wrong.err.startsWith("kestrelon-cli: warning: " + bmp
        + ": the picture looks like one of the " + GetParam() + " view with FFT length 1024, "
        + "but the window shows the " + other + " view"))
        << wrong.err.toStdString();

    const bool png = QString(GetParam()) == "cepstrum";
    const QString edited = path(png ? "edited.png" : "edited.bmp");
    ASSERT_TRUE(tool("convert",
        {bmp, "-region", "60x80+90+440", "-evaluate", "subtract", "5140", "+region",
            (png ? "PNG24:" : "BMP3:") + edited}));
    const CommandResult opened = makeDocument(1024, mode())->Open(voice);
    ASSERT_TRUE(opened.ok);
    const CommandResult imported = opened.document->Import(edited);
    ASSERT_TRUE(imported.ok);
    for (const char* type : {".wav", ".flac"}) {
        const CliRun r = run({"apply", voice, edited, path("cli") + type, "--view", GetParam()});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        ASSERT_TRUE(imported.document->Save(path("core") + type).ok);
        EXPECT_EQ(contents(path("cli") + type), contents(path("core") + type)) << type;
    }
    EXPECT_FALSE(samplesOf(path("cli.wav")) == samplesOf(voice));
}

INSTANTIATE_TEST_SUITE_P(Views, CliView, ::testing::Values("spectrum", "cepstrum"));

// A failed operation: exit 1, one line naming the file, OUT untouched.
TEST_F(Cli, FailuresNameTheFileAndLeaveOutAlone)
{
    const QString bmp = path("v.bmp");
    ASSERT_EQ(run({"export", voice, bmp}).code, 0);
    ASSERT_TRUE(
        tool("convert", {bmp, "-crop", "200x529+0+0", "+repage", "BMP3:" + path("small.bmp")}));
    put(path("cut.bmp"), contents(bmp).left(contents(bmp).size() - 7));
    put(path("junk.wav"), "RIFF....WAVEdata");
    // darkening quefrency 0 of silent frames asks for gains beyond any double, found
    // while the sound is being written into OUT
    ASSERT_TRUE(tool("sox",
        {"-D", "-n", "-r", "8000", "-b", "16", path("half.wav"), "synth", "1", "sine", "440", "pad",
            "0", "1"}));
    ASSERT_EQ(run({"export", path("half.wav"), path("half.bmp"), "--view", "cepstrum"}).code, 0);
    ASSERT_TRUE(tool("convert",
        {path("half.bmp"), "-region", "10000x1+48+16", "-evaluate", "set", "0", "+region",
            "BMP3:" + path("dark.bmp")}));
    const QString out = path("out.wav");
    put(out, "keep me");

    struct Case {
        QStringList args;
        QString named;
    };
    const QList<Case> cases{
        {{"info", path("missing.wav")}, "missing.wav"},
        {{"info", path("junk.wav")}, "junk.wav"},
        {{"export", path("missing.wav"), out}, "missing.wav"},
        {{"export", voice, path("no/dir/out.bmp")}, "out.bmp"},
        {{"apply", voice, path("small.bmp"), out}, "small.bmp"},
        {{"apply", voice, path("cut.bmp"), out}, "cut.bmp"},
        {{"apply", voice, path("missing.bmp"), out}, "missing.bmp"},
        {{"apply", voice, bmp, out, "--fft", "2048"}, "v.bmp"},
        {{"apply", voice, bmp, path("no/dir/out.wav")}, "out.wav"},
        {{"apply", path("half.wav"), path("dark.bmp"), out, "--view", "cepstrum"}, "dark.bmp"},
    };
    for (const Case& c : cases) {
        const CliRun r = run(c.args);
        const std::string what = c.args.join(' ').toStdString();
        EXPECT_EQ(r.code, 1) << what;
        EXPECT_EQ(r.out, "") << what;
        EXPECT_EQ(r.err.count('\n'), 1) << what << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.named)) << what << ": " << r.err.toStdString();
        EXPECT_EQ(contents(out), "keep me") << what;
    }
    EXPECT_FALSE(QFile::exists(path("no")));
}

// What a folder holds, by name as bytes: type and permission bits, and the contents of
// regular files (nothing else is opened).
std::map<QByteArray, std::pair<mode_t, QByteArray>> snapshot(const QByteArray& dir)
{
    std::map<QByteArray, std::pair<mode_t, QByteArray>> entries;
    DIR* d = ::opendir(dir.constData());
    while (dirent* e = d ? ::readdir(d) : nullptr) {
        const QByteArray name(e->d_name);
        struct stat st { };
        if (name == "." || name == ".." || ::lstat(dir + '/' + name, &st) != 0)
            continue;
        QByteArray bytes;
        if (S_ISREG(st.st_mode)) {
            QFile f;
            const int fd = ::open(dir + '/' + name, O_RDONLY);
            if (fd >= 0 && f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
                bytes = f.readAll();
        }
        entries[name] = {st.st_mode, bytes};
    }
    if (d)
        ::closedir(d);
    return entries;
}

// Special files, names that are not UTF-8 and outputs that are inputs, through the whole
// tool. A refusal exits 1 with one line naming the file and the cause, and changes
// nothing in the folder; a success changes only OUT, to what the same command with
// plain names writes, keeping the bits of a file it replaces.
TEST_F(Cli, SpecialFilesAndNamesAsBytes)
{
    const QByteArray d = QFile::encodeName(dir.path());
    auto at = [&](const QByteArray& name) { return d + '/' + name; };
    auto put = [&](const QByteArray& name, const QByteArray& bytes, mode_t mode) {
        const int fd = ::open(at(name), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0) << name.toStdString();
        ASSERT_EQ(::write(fd, bytes.constData(), std::size_t(bytes.size())), bytes.size());
        ASSERT_EQ(::fchmod(fd, mode), 0);
        ::close(fd);
    };
    ::umask(022);
    struct RemoveAll { // QTemporaryDir cannot name what is not UTF-8
        QByteArray dir;
        ~RemoveAll()
        {
            for (const auto& entry : snapshot(dir))
                ::unlink(dir + '/' + entry.first);
        }
    } removeAll{d};
    const QByteArray wav = "voice.wav";
    ASSERT_EQ(run({"export", voice, path("v.bmp")}).code, 0);
    ASSERT_EQ(run({"apply", voice, path("v.bmp"), path("v.wav")}).code, 0);
    const QByteArray picture = contents(path("v.bmp")), sound = contents(path("v.wav"));
    // decoys: the names the non-UTF-8 ones would become through a QString
    put("in\xff.wav", contents(voice), 0644);
    put("gone\xef\xbf\xbd.wav", contents(voice), 0644);
    put("out\xef\xbf\xbd.bmp", "decoy", 0644);
    put("again.wav", contents(voice), 0644);
    for (const QByteArray name : {"ro.bmp", "ro.wav", "ro\xff.wav"})
        put(name, "read-only", 0444);
    const bool mayReplace = ::access(at("ro.bmp"), W_OK) == 0; // as QSaveFile decides
    for (const QByteArray name : {"pipe", "pipe\xff", "sink"})
        ASSERT_EQ(::mkfifo(at(name), 0644), 0);

    struct Case {
        QList<QByteArray> args;
        QString named; // in the message of a refusal; "" for a success
        QString cause;
        QByteArray out = {}; // what a success writes: the file, its contents and bits
        QByteArray written = {};
        mode_t bits = 0;
    };
    const QList<Case> cases{
        {{"export", at("pipe"), at("p.bmp")}, "pipe", "regular file"},
        {{"info", at("pipe\xff")}, "pipe\\xFF", "regular file"},
        {{"apply", at(wav), at("pipe"), at("p.wav")}, "pipe", "regular file"},
        {{"apply", at(wav), "/dev/zero", at("z.wav")}, "/dev/zero", "regular file"},
        {{"export", at(wav), at("sink")}, "sink", "regular file"},
        {{"apply", at(wav), at("v.bmp"), at("sink")}, "sink", "regular file"},
        {{"export", at(wav), at("p.bmp/")}, "p.bmp/", "folder"},
        {{"apply", at(wav), at("v.bmp"), at("p.wav/")}, "p.wav/", "folder"},
        {{"export", at(wav), at(wav)}, "voice.wav", "the sound being read"},
        {{"export", at(wav), d + "/./" + wav}, "/./voice.wav", "same file as"},
        {{"apply", at(wav), at("v.bmp"), at("v.bmp")}, "v.bmp", "the edited image"},
        {{"info", at("gone\xff.wav")}, "gone\\xFF.wav", "No such file"},
        {{"export", at(wav), at("out\xff.bmp")}, "", "", "out\xff.bmp", picture, 0644},
        {{"apply", at("in\xff.wav"), at("v.bmp"), at("out\xff.wav")}, "", "", "out\xff.wav", sound,
            0644},
        {{"apply", at("again.wav"), at("v.bmp"), at("again.wav")}, "", "", "again.wav", sound,
            0644},
        // a read-only file in a writable folder is replaced, keeping its bits, where
        // QSaveFile replaces one (as root); elsewhere it is refused and left alone
        {{"export", at(wav), at("ro.bmp")}, mayReplace ? "" : "ro.bmp", "", "ro.bmp", picture,
            0444},
        {{"apply", at(wav), at("v.bmp"), at("ro.wav")}, mayReplace ? "" : "ro.wav", "", "ro.wav",
            sound, 0444},
        {{"apply", at(wav), at("v.bmp"), at("ro\xff.wav")}, mayReplace ? "" : "ro\\xFF.wav", "",
            "ro\xff.wav", sound, 0444},
    };
    for (const Case& c : cases) {
        const std::string what = QByteArray(c.args.join(' ')).toStdString();
        auto before = snapshot(d);
        const CliRun r = runBytes(c.args);
        const auto after = snapshot(d);
        if (c.named.isEmpty()) {
            EXPECT_EQ(r.code, 0) << what << ": " << r.err.toStdString();
            EXPECT_EQ(r.out + r.err, "") << what;
            if (!after.count(c.out)) {
                ADD_FAILURE() << what << ": OUT was not written";
                continue;
            }
            EXPECT_EQ(after.at(c.out).second, c.written) << what;
            EXPECT_EQ(after.at(c.out).first, S_IFREG | c.bits) << what;
            before[c.out] = after.at(c.out);
        } else {
            EXPECT_EQ(r.code, 1) << what;
            EXPECT_EQ(r.out, "") << what;
            EXPECT_EQ(r.err.count('\n'), 1) << what << ": " << r.err.toStdString();
            EXPECT_TRUE(r.err.contains(c.named) && r.err.contains(c.cause))
                << what << ": " << r.err.toStdString();
        }
        EXPECT_TRUE(after == before) << what << ": the folder changed";
    }
}

// IN of any format; OUT saved as FLAC when its name, as given, ends in .flac (also
// through the placeholder of a name that is not UTF-8), refused for a float sound.
TEST_F(Cli, AnyFormatInAndFlacOutByName)
{
    const CliRun mp3 = run({"info", KESTRELON_SOURCE_DIR "/tests/audio/data/pcm16_stereo.mp3"});
    EXPECT_EQ(mp3.code, 0) << mp3.err.toStdString();
    EXPECT_EQ(mp3.out, "0.250 sec\n4000 samples\n2 ch\n16000 Hz\n32 bit\n9 frames\n");

    TWave original;
    ASSERT_EQ(original.LoadFromFile(voice), kLoadOk);
    ASSERT_TRUE(saveSound(path("voice.flac"), original));
    ASSERT_EQ(run({"export", voice, path("v.bmp")}).code, 0);
    const QByteArray named = QFile::encodeName(dir.path()) + "/out\xff.FLAC";
    for (const QByteArray& out : {QFile::encodeName(path("out.flac")), named}) {
        const CliRun r = runBytes({"apply", QFile::encodeName(path("voice.flac")),
            QFile::encodeName(path("v.bmp")), out});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        QFile f;
        const int fd = ::open(out.constData(), O_RDONLY);
        ASSERT_TRUE(fd >= 0 && f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        const QByteArray bytes = f.readAll();
        EXPECT_TRUE(bytes.startsWith("fLaC"));
        TWave back;
        ASSERT_EQ(
            loadSoundFromMemory(
                std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), back),
            kLoadOk);
        EXPECT_TRUE(back.FData == original.FData); // the unchanged picture gives the samples back
    }
    ::unlink(named.constData());

    ASSERT_TRUE(tool("sox", {voice, "-e", "floating-point", path("float.wav")}));
    const CliRun refused = run({"apply", path("float.wav"), path("v.bmp"), path("f.flac")});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.err.contains("f.flac") && refused.err.contains("32-bit float samples"))
        << refused.err.toStdString();
    EXPECT_FALSE(QFile::exists(path("f.flac")));
}

// Standard output that cannot be written: one line on stderr and exit 1.
TEST_F(Cli, AFailedWriteToStandardOutputFails)
{
    if (!QFile::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    for (const QStringList& args : {QStringList{"info", voice}, {"--help"}, {"--version"}}) {
        QProcess p;
        p.setStandardOutputFile("/dev/full");
        p.start(KESTRELON_CLI, args);
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 1) << args.join(' ').toStdString();
        EXPECT_EQ(QString::fromLocal8Bit(p.readAllStandardError()),
            QStringLiteral("kestrelon-cli: cannot write to standard output: %1\n")
                .arg(QString::fromLocal8Bit(std::strerror(ENOSPC))));
    }
}

// --from and --to: export writes the core's piece, apply takes an edited piece as the
// core's range import does and refuses a piece of another range's size.
TEST_F(Cli, PiecesOfASoundByTheirSeconds)
{
    const QString piece = path("piece.bmp"), edited = path("edited.bmp"), out = path("out.wav");
    ASSERT_EQ(run({"export", voice, piece, "--from", "1", "--to=2"}).code, 0);
    const DocumentPtr doc = makeDocument()->Open(voice).document;
    ASSERT_NE(doc, nullptr);
    FrameRange range;
    Message why;
    ASSERT_TRUE(doc->rangeOfSeconds(1.0, 2.0, &range, &why));
    ASSERT_TRUE(doc->ExportRange(path("core.bmp"), range).ok);
    EXPECT_EQ(contents(piece), contents(path("core.bmp")));

    ASSERT_TRUE(tool("convert",
        {piece, "-region", "20x30+60+495", "-evaluate", "subtract", "5140", "+region",
            "BMP3:" + edited}));
    const CliRun r = run({"apply", voice, edited, out, "--from", "1", "--to", "2"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const CommandResult imported = doc->ImportRange(edited, range);
    ASSERT_TRUE(imported.ok);
    ASSERT_TRUE(imported.document->Save(path("core.wav")).ok);
    EXPECT_EQ(contents(out), contents(path("core.wav")));
    EXPECT_FALSE(samplesOf(out) == samplesOf(voice));

    for (const QStringList& range : {QStringList{"0", "0.5"}, {"3", "4"}}) {
        const CliRun other = run(
            {"apply", voice, edited, path("other.wav"), "--from", range[0], "--to", range[1]});
        EXPECT_EQ(other.code, 1);
        EXPECT_FALSE(other.err.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(path("other.wav")));
}

// Usage errors exit with 2 and a message on stderr only, and write nothing; help and
// version exit with 0.
TEST_F(Cli, UsageErrorsExitWith2HelpAndVersionWith0)
{
    const QString out = path("out.wav");
    for (const QStringList& args : {QStringList{}, {"play", voice}, {"info"},
             {"info", voice, "extra"}, {"export", voice}, {"apply", voice, voice},
             {"info", voice, "--fft", "1000"}, {"info", voice, "--fft", "abc"},
             {"info", voice, "--fft"}, {"info", voice, "--view", "waveform"},
             {"info", voice, "--colour"}, {"apply", voice, "a.bmp", out, "--fft=8192"},
             {"apply", voice, "a.bmp", out, "--from", "1"}, {"info", voice, "--from=0", "--to=1"},
             {"export", voice, out, "--from", "-1", "--to", "2"},
             {"export", voice, out, "--from", "1s", "--to", "2"}}) {
        const CliRun r = run(args);
        EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(r.err.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_EQ(run({"info", voice, "--fft=2048", "--view=cepstrum"}).code, 0);
    const CliRun help = run({"--help"}), version = run({"--version"});
    EXPECT_EQ(std::make_pair(help.code, version.code), std::make_pair(0, 0));
    EXPECT_TRUE(help.out.contains("kestrelon-cli apply  IN EDITED_IMAGE OUT"));
    EXPECT_EQ(version.out, QStringLiteral("kestrelon-cli %1\n").arg(KESTRELON_VERSION));
}

} // namespace
} // namespace kestrelon::test
