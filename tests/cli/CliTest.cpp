// End-to-end runs of kestrelon-cli on files written by sox and edited by ImageMagick.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "../imaging/GuiEnvironment.h"
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
// the editing core's import gives, saved.
TEST_P(CliView, ApplyIsTheWindowsImport)
{
    const QString bmp = path("v.bmp");
    ASSERT_EQ(run({"export", voice, bmp, "--view", GetParam()}).code, 0);
    const CliRun same = run({"apply", voice, bmp, path("same.wav"), "--view", GetParam()});
    ASSERT_EQ(same.code, 0) << same.err.toStdString();
    EXPECT_EQ(same.out + same.err, "");
    EXPECT_TRUE(samplesOf(path("same.wav")) == samplesOf(voice));

    const QString edited = path("edited.bmp");
    ASSERT_TRUE(tool("convert",
        {bmp, "-region", "60x80+90+440", "-evaluate", "subtract", "5140", "+region",
            "BMP3:" + edited}));
    const CliRun r = run({"apply", voice, edited, path("cli.wav"), "--view", GetParam()});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();

    const CommandResult opened = makeDocument(1024, mode())->Open(voice);
    ASSERT_TRUE(opened.ok);
    const CommandResult imported = opened.document->Import(edited);
    ASSERT_TRUE(imported.ok);
    ASSERT_TRUE(imported.document->Save(path("core.wav")).ok);
    EXPECT_EQ(contents(path("cli.wav")), contents(path("core.wav")));
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

// Usage errors exit with 2 and a message on stderr only, and write nothing; help and
// version exit with 0.
TEST_F(Cli, UsageErrorsExitWith2HelpAndVersionWith0)
{
    const QString out = path("out.wav");
    for (const QStringList& args : {QStringList{}, {"play", voice}, {"info"},
             {"info", voice, "extra"}, {"export", voice}, {"apply", voice, voice},
             {"info", voice, "--fft", "1000"}, {"info", voice, "--fft", "abc"},
             {"info", voice, "--fft"}, {"info", voice, "--view", "waveform"},
             {"info", voice, "--colour"}, {"apply", voice, "a.bmp", out, "--fft=8192"}}) {
        const CliRun r = run(args);
        EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(r.err.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_EQ(run({"info", voice, "--fft=2048", "--view=cepstrum"}).code, 0);
    const CliRun help = run({"--help"}), version = run({"--version"});
    EXPECT_EQ(std::make_pair(help.code, version.code), std::make_pair(0, 0));
    EXPECT_TRUE(help.out.contains("kestrelon-cli apply  IN.wav EDITED_IMAGE OUT.wav"));
    EXPECT_EQ(version.out, QStringLiteral("kestrelon-cli %1\n").arg(KESTRELON_VERSION));
}

} // namespace
} // namespace kestrelon::test
