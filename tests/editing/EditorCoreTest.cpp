#include <cmath>
#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "../imaging/GuiEnvironment.h"
#include "EditingTestSupport.h"
#include "editing/EditorCore.h"
#include "imaging/FilterImage.h"

namespace kestrelon::test {
namespace {

// Writes a PCM WAV file through TWave; sample(frame, channel) is on the -1 .. 1 scale.
void writeWave(const QString& path, uint32_t rate, uint16_t channels, uint16_t bits,
    uint32_t frames, const std::function<double(uint32_t, int)>& sample)
{
    ASSERT_TRUE(writeTestWave(path, rate, channels, bits, frames, sample)) << path.toStdString();
}

double tones(uint32_t i, int c, double rate)
{
    return testTones(i, c, rate);
}

bool runConvert(const QStringList& args)
{
    QProcess p;
    p.start("convert", args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

using Bins = std::vector<std::vector<TComplex>>;

Bins binsOf(const std::vector<std::unique_ptr<TSpectrogram>>& grams)
{
    Bins b;
    for (const auto& g : grams)
        for (const auto& f : g->FFrames)
            b.emplace_back(f->FData.data(), f->FData.data() + f->FData.size());
    return b;
}

bool sameBits(const Bins& a, const Bins& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].size() != b[i].size()
            || std::memcmp(a[i].data(), b[i].data(), a[i].size() * sizeof(TComplex)) != 0)
            return false;
    return true;
}

// Everything a failed command must leave as it was.
struct CoreState {
    explicit CoreState(const EditorCore& core)
        : samples(core.FWave ? core.FWave->FData : std::vector<uint8_t>{})
        , bitmap(core.FBitmap.copy())
        , spectra(binsOf(core.FCepstram.FSpectrograms))
        , cepstra(binsOf(core.FCepstram.FCepstrograms))
        , texts(core.statusTexts())
        , proposals{core.openedPath(), core.proposedSavePath(), core.filterDirectory(),
              core.proposedExportPath(), core.importProposal()}
        , fft(core.FFFTLength)
        , mode(core.FMode)
    {
    }
    void expectSame(const EditorCore& core, const char* what) const
    {
        const CoreState now(core);
        EXPECT_TRUE(now.samples == samples) << what;
        EXPECT_EQ(now.bitmap, bitmap) << what;
        EXPECT_TRUE(sameBits(now.spectra, spectra)) << what;
        EXPECT_TRUE(sameBits(now.cepstra, cepstra)) << what;
        EXPECT_EQ(now.texts, texts) << what;
        EXPECT_EQ(now.proposals, proposals) << what;
        EXPECT_EQ(now.fft, fft) << what;
        EXPECT_EQ(now.mode, mode) << what;
    }
    std::vector<uint8_t> samples;
    QImage bitmap;
    Bins spectra, cepstra;
    QStringList texts, proposals;
    int32_t fft;
    uint8_t mode;
};

class Editor : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureGuiApplication();
        ASSERT_TRUE(dir.isValid());
        core.locale = QLocale::c();
    }
    QString path(const QString& name) const { return dir.path() + "/" + name; }
    // 2.5 s of 44.1 kHz stereo 16-bit tones.
    QString voice()
    {
        const QString p = path("voice.wav");
        if (!QFile::exists(p))
            writeWave(
                p, 44100, 2, 16, 110250, [](uint32_t i, int c) { return tones(i, c, 44100); });
        return p;
    }
    // 0.6 s of 8 kHz mono 16-bit: tones, then digital silence from 0.3 s on.
    QString halfSilent()
    {
        const QString p = path("half.wav");
        writeWave(p, 8000, 1, 16, 4800,
            [](uint32_t i, int c) { return i < 2400 ? tones(i, c, 8000) : 0.0; });
        return p;
    }

    QTemporaryDir dir;
    EditorCore core;
};

TEST_F(Editor, StartsEmpty)
{
    EXPECT_FALSE(core.hasSound());
    EXPECT_EQ(core.FFFTLength, 1024);
    EXPECT_EQ(core.FMode, kSpectrumView);
    EXPECT_TRUE(core.FBitmap.isNull());
    EXPECT_EQ(core.statusTexts().size(), 6);
    EXPECT_FALSE(core.SetFFTLength(1000));
    EXPECT_FALSE(core.SetFFTLength(8192));
    EXPECT_EQ(core.FFFTLength, 1024);
    EXPECT_TRUE(core.SetFFTLength(256));
    EXPECT_EQ(core.FFFTLength, 256);
    core.ChangeFFTLength(4096); // without a sound: only stored
    EXPECT_EQ(core.FFFTLength, 4096);
    core.SetMode(kCepstrumView);
    EXPECT_EQ(core.FMode, kCepstrumView);
    EXPECT_TRUE(core.FBitmap.isNull());
    for (const CommandResult& r :
        {core.Save(path("a.wav")), core.Export(path("a.bmp")), core.Import(path("a.bmp"))}) {
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.message.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(path("a.wav")));
    EXPECT_FALSE(QFile::exists(path("a.bmp")));
}

TEST_F(Editor, OpenShowsTheSoundAndProposesNames)
{
    const CommandResult r = core.Open(voice());
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    EXPECT_TRUE(r.message.isEmpty());
    EXPECT_EQ(core.fileName(), "voice.wav");
    EXPECT_EQ(core.statusTexts(),
        (QStringList{"2.500 sec", "110250 samples", "2 ch", "44100 Hz", "16 bit", "217 frames"}));
    EXPECT_EQ(core.FBitmap.size(), QSize(48 + 217, 16 + 513));
    EXPECT_EQ(core.expectedFrameCount(), 217);
    EXPECT_EQ(core.proposedSavePath(), path("voice_fix.wav"));
    EXPECT_EQ(core.filterDirectory(), dir.path() + "/");
    EXPECT_EQ(core.proposedExportPath(), path("voice_s1024.bmp"));
    core.SetMode(kCepstrumView);
    EXPECT_EQ(core.proposedExportPath(), path("voice_c1024.bmp"));
    EXPECT_EQ(core.FBitmap.size(), QSize(48 + 217, 16 + 513));
    core.locale = QLocale(QLocale::German);
    EXPECT_EQ(core.statusTexts()[0], "2,500 sec");

    // names without an extension, and with dots in the directory
    QDir(dir.path()).mkdir("a.b");
    const QString bare = path("a.b/take");
    QFile::copy(voice(), bare);
    ASSERT_TRUE(core.Open(bare).ok);
    EXPECT_EQ(core.proposedSavePath(), path("a.b/take_fix.wav"));
    EXPECT_EQ(core.proposedExportPath(), path("a.b/take_c1024.bmp"));
}

TEST_F(Editor, OpenReusesTheSameWave)
{
    ASSERT_TRUE(core.Open(voice()).ok);
    const TWave* first = core.FWave.get();
    const QString other = path("other.wav");
    writeWave(other, 8000, 1, 8, 800, [](uint32_t i, int) { return (i % 50) / 50.0 - 0.5; });
    ASSERT_TRUE(core.Open(other).ok);
    EXPECT_EQ(core.FWave.get(), first);
    EXPECT_EQ(core.statusTexts(),
        (QStringList{"0.100 sec", "800 samples", "1 ch", "8000 Hz", "8 bit", "3 frames"}));
}

// Seconds are rounded to 15 significant digits before they are cut to 3 decimals:
// 96024 / 48000 = 2.0005 is stored as 2.000499999... and reads 2.001.
TEST_F(Editor, SecondsRoundedAsDecimals)
{
    const QString p = path("tie.wav");
    writeWave(p, 48000, 1, 16, 96024, [](uint32_t, int) { return 0.0; });
    ASSERT_TRUE(core.Open(p).ok);
    EXPECT_EQ(core.statusTexts()[0], "2.001 sec");
}

TEST_F(Editor, FailedOpenChangesNothing)
{
    QFile garbage(path("garbage.wav"));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write("RIFF\x10\0\0\0WAVEjunkjunkjunk");
    garbage.close();

    CommandResult r = core.Open(path("missing.wav"));
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(core.hasSound()) << "a failed first open creates no sound";

    ASSERT_TRUE(core.Open(voice()).ok);
    core.SetMode(kCepstrumView);
    const CoreState before(core);
    for (const QString& bad : {path("missing.wav"), path("garbage.wav"), dir.path()}) {
        r = core.Open(bad);
        EXPECT_FALSE(r.ok) << bad.toStdString();
        EXPECT_TRUE(r.message.contains(QFileInfo(bad).fileName())) << r.message.toStdString();
        before.expectSame(core, "failed open");
    }
}

TEST_F(Editor, CutShortFileOpensWithAWarning)
{
    QFile f(voice());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QFile cut(path("cut.wav"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(bytes.left(bytes.size() - 4000));
    cut.close();
    const CommandResult r = core.Open(path("cut.wav"));
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    EXPECT_FALSE(r.message.isEmpty());
    EXPECT_EQ(core.FWave->FSampleCount, 110250u - 1000u);
}

// A float sound: a NaN in the file opens as 0 with a warning; an import that lifts
// every cell by 20 dB keeps the samples beyond full scale and says so, clipping none.
TEST_F(Editor, FloatSoundWarnsOfNaNAndKeepsPeaksOverFullScale)
{
    TWave w;
    w.FFormat.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    w.FFormat.wBitsPerSample = 32;
    w.FFormat.nSamplesPerSec = 8000;
    w.UpdateFormat();
    w.SetSampleCount(8000);
    for (uint32_t i = 0; i < 8000; ++i)
        w.SetSampleF(i, 0, tones(i, 0, 8000));
    const float nan = NAN;
    std::memcpy(w.FData.data() + 400, &nan, 4);
    ASSERT_TRUE(w.SaveToFile(path("float.wav")));
    const CommandResult opened = core.Open(path("float.wav"));
    ASSERT_TRUE(opened.ok);
    EXPECT_TRUE(opened.message.contains("1 samples were not finite"))
        << opened.message.toStdString();
    EXPECT_EQ(core.FWave->GetSampleF(100, 0), 0.0);

    ASSERT_TRUE(core.Export(path("f.bmp")).ok);
    QImage image = QImage(path("f.bmp")).convertToFormat(QImage::Format_RGB32);
    for (int y = core.FTopMargin; y < image.height(); ++y)
        for (int x = core.FLeftMargin; x < image.width(); ++x) {
            const int g = std::min(255, qBlue(image.pixel(x, y)) + 40);
            image.setPixel(x, y, qRgb(g, g, g));
        }
    ASSERT_TRUE(image.save(path("loud.png")));
    const CommandResult r = core.Import(path("loud.png"), false);
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    EXPECT_EQ(r.clips.clipped, 0u);
    EXPECT_GT(r.clips.over, 100u);
    EXPECT_TRUE(
        r.message.contains(QStringLiteral("%1 samples are over full scale").arg(r.clips.over)))
        << r.message.toStdString();
    double peak = 0;
    for (uint32_t i = 0; i < core.FWave->FSampleCount; ++i)
        peak = std::max(peak, std::fabs(core.FWave->GetSampleF(i, 0)));
    EXPECT_GT(peak, 1.5);
}

TEST_F(Editor, EmptySoundShowsNoPicture)
{
    const QString empty = path("empty.wav");
    writeWave(empty, 44100, 1, 16, 0, [](uint32_t, int) { return 0.0; });
    ASSERT_TRUE(core.Open(voice()).ok);
    ASSERT_TRUE(core.Open(empty).ok);
    EXPECT_TRUE(core.FBitmap.isNull()) << "not the previous sound's picture";
    EXPECT_EQ(core.statusTexts(),
        (QStringList{"0.000 sec", "0 samples", "1 ch", "44100 Hz", "16 bit", "0 frames"}));
    EXPECT_FALSE(core.geometryMatches());
    EXPECT_EQ(core.expectedFrameCount(), 0);
    EXPECT_FALSE(core.Export(path("e.bmp")).ok);
    core.SynthesizeSpectrum();
    EXPECT_EQ(core.FWave->FSampleCount, 0u);
}

TEST_F(Editor, CepstrumComputedOncePerAnalysis)
{
    ASSERT_TRUE(core.Open(voice()).ok);
    core.SetMode(kCepstrumView);
    ASSERT_TRUE(core.FCepstram.FCepValid);
    // a mark that survives as long as the cepstrum is not recomputed
    core.FCepstram.FCepstrograms[0]->FFrames[0]->FData[0].re = 12345.0;
    core.SetMode(kSpectrumView);
    core.SetMode(kCepstrumView);
    EXPECT_EQ(core.FCepstram.FCepstrograms[0]->FFrames[0]->FData[0].re, 12345.0);
    core.RefreshView();
    EXPECT_NE(core.FCepstram.FCepstrograms[0]->FFrames[0]->FData[0].re, 12345.0);
}

TEST_F(Editor, ChangingNReanalysesAndForgetsTheImportProposal)
{
    ASSERT_TRUE(core.Open(voice()).ok);
    ASSERT_TRUE(core.Export(path("voice_s1024.bmp")).ok);
    EXPECT_EQ(core.importProposal(), path("voice_s1024.bmp"));
    core.ChangeFFTLength(4096);
    EXPECT_EQ(core.FBitmap.size(), QSize(48 + (110250 + 2047) / 2048 + 1, 16 + 2049));
    EXPECT_EQ(core.importProposal(), QString());
    EXPECT_EQ(core.proposedExportPath(), path("voice_s4096.bmp"));
    EXPECT_FALSE(core.Import(path("voice_s1024.bmp")).ok) << "old geometry";
}

class RoundTrip : public Editor, public ::testing::WithParamInterface<uint8_t> { };

// Exporting and importing the unchanged picture resynthesises, re-analyses and redraws,
// and changes nothing.
TEST_P(RoundTrip, UnchangedPictureChangesNothing)
{
    core.FMode = GetParam();
    ASSERT_TRUE(core.Open(voice()).ok);
    const QString bmp = core.proposedExportPath();
    ASSERT_TRUE(core.Export(bmp).ok);
    QFile f(bmp);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), encodeFilterImage(core.FBitmap));
    const std::vector<uint8_t> samples = core.FWave->FData;
    const QImage picture = core.FBitmap.copy();
    // a mark in a bin that neither the gains nor the resynthesis read: only a new
    // analysis replaces it
    core.FCepstram.FSpectrograms[0]->FFrames[5]->FData[1023].re = 12345.0;

    const CommandResult r = core.Import(bmp);
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    EXPECT_EQ(r.clips.clipped, 0u);
    EXPECT_TRUE(core.FWave->FData == samples);
    EXPECT_EQ(core.FBitmap, picture);
    EXPECT_NE(core.FCepstram.FSpectrograms[0]->FFrames[5]->FData[1023].re, 12345.0)
        << "analysed again";
    EXPECT_TRUE(core.FCepstram.FSpecValid);

    const QString saved = core.proposedSavePath();
    ASSERT_TRUE(core.Save(saved).ok);
    TWave back;
    ASSERT_EQ(back.LoadFromFile(saved), kLoadOk);
    EXPECT_TRUE(back.FData == samples);
}

INSTANTIATE_TEST_SUITE_P(Views, RoundTrip, ::testing::Values(kSpectrumView, kCepstrumView),
    [](const auto& info) { return info.param == kSpectrumView ? "spectrum" : "cepstrum"; });

// A region darkened (or lightened) by 20 gray levels in ImageMagick scales those bins
// of every channel by -10 dB (or +10 dB); levels clipped at 0 or 255 count as painted.
TEST_F(Editor, ImageMagickEditScalesTheCellsItTouches)
{
    ASSERT_TRUE(core.Open(voice()).ok);
    const QString bmp = path("voice_s1024.bmp");
    ASSERT_TRUE(core.Export(bmp).ok);
    // 20 levels at 16-bit quantum: 20 * 257
    ASSERT_TRUE(
        runConvert({bmp, "-region", "30x40+100+300", "-evaluate", "subtract", "5140", "+region",
            "-region", "20x10+150+60", "-evaluate", "add", "5140", "BMP3:" + path("edited.bmp")}));
    const QImage reference = core.FBitmap.copy();
    const Bins before = binsOf(core.FCepstram.FSpectrograms);
    const std::vector<uint8_t> samples = core.FWave->FData;

    const CommandResult r = core.Import(path("edited.bmp"), false);
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    EXPECT_TRUE(core.FWave->FData != samples);
    const Bins after = binsOf(core.FCepstram.FSpectrograms);
    const int F = 217, N = 1024;
    int scaled = 0;
    for (int c = 0; c < 2; ++c)
        for (int f = 0; f < F; ++f)
            for (int k = 0; k < N; ++k) {
                const int x = 48 + f, y = 16 + N / 2 - k;
                int d = 0;
                if (k <= N / 2) {
                    const int old = qBlue(reference.pixel(x, y));
                    if (QRect(100, 300, 30, 40).contains(x, y))
                        d = std::max(0, old - 20) - old;
                    else if (QRect(150, 60, 20, 10).contains(x, y))
                        d = std::min(255, old + 20) - old;
                }
                const double g = std::pow(10.0, d / 40.0);
                const TComplex o = before[std::size_t(c * F + f)][std::size_t(k)];
                const TComplex n = after[std::size_t(c * F + f)][std::size_t(k)];
                ASSERT_EQ(n.re, o.re * g) << c << " " << f << " " << k;
                ASSERT_EQ(n.im, o.im * g) << c << " " << f << " " << k;
                scaled += d == -20 || d == 20;
            }
    EXPECT_GT(scaled, 2 * 800) << "most cells were neither clipped black nor white";
}

// The same edit saved by ImageMagick as a palette BMP is read through its palette.
TEST_F(Editor, PaletteEditGivesTheSameResult)
{
    ASSERT_TRUE(core.Open(voice()).ok);
    const QString bmp = path("voice_s1024.bmp");
    ASSERT_TRUE(core.Export(bmp).ok);
    ASSERT_TRUE(runConvert({bmp, "-region", "40x40+80+200", "-evaluate", "subtract", "2570",
        "+region", "BMP3:" + path("true.bmp")}));
    ASSERT_TRUE(runConvert(
        {path("true.bmp"), "+dither", "-type", "Palette", "BMP3:" + path("palette.bmp")}));
    EditorCore other;
    other.locale = QLocale::c();
    ASSERT_TRUE(other.Open(voice()).ok);
    ASSERT_TRUE(core.Import(path("true.bmp")).ok);
    ASSERT_TRUE(other.Import(path("palette.bmp")).ok);
    EXPECT_TRUE(core.FWave->FData == other.FWave->FData);
}

// Refused pictures change nothing: not a bin, not a sample, not the picture.
TEST_F(Editor, RefusedPicturesChangeNothing)
{
    ASSERT_TRUE(core.Open(voice()).ok);
    const QString bmp = path("voice_s1024.bmp");
    ASSERT_TRUE(core.Export(bmp).ok);
    const int W = core.FBitmap.width(), H = core.FBitmap.height();
    ASSERT_TRUE(runConvert({bmp, "-crop", QStringLiteral("%1x%2+0+0").arg(W - 1).arg(H), "+repage",
        "BMP3:" + path("narrow.bmp")}));
    ASSERT_TRUE(runConvert({bmp, "-background", "white", "-extent",
        QStringLiteral("%1x%2").arg(W + 1).arg(H), "BMP3:" + path("wide.bmp")}));
    QFile full(bmp);
    ASSERT_TRUE(full.open(QIODevice::ReadOnly));
    QByteArray bytes = full.readAll();
    QFile cut(path("cut.bmp"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(bytes.left(bytes.size() - 100));
    cut.close();
    QFile junk(path("junk.bmp"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("BM this is not a picture at all");
    junk.close();

    const CoreState before(core);
    for (const QString name : {"narrow.bmp", "wide.bmp", "cut.bmp", "junk.bmp", "missing.bmp"}) {
        const CommandResult r = core.Import(path(name));
        EXPECT_FALSE(r.ok) << name.toStdString();
        EXPECT_TRUE(r.message.contains(path(name))) << r.message.toStdString();
        before.expectSame(core, name.toLatin1().constData());
    }
    const CommandResult narrow = core.Import(path("narrow.bmp"));
    EXPECT_TRUE(narrow.message.contains(QStringLiteral("%1 x %2").arg(W - 1).arg(H)));
    EXPECT_TRUE(narrow.message.contains(QStringLiteral("%1 x %2").arg(W).arg(H)));
}

// In the cepstrum view, darkening quefrency 0 of silent frames asks for a gain beyond
// any Double: the import is refused and the cepstra are exactly as before.
TEST_F(Editor, CepstrumGainOverflowRefusedAndUndone)
{
    core.FMode = kCepstrumView;
    core.SetFFTLength(256);
    ASSERT_TRUE(core.Open(halfSilent()).ok);
    const QString bmp = path("half_c256.bmp");
    ASSERT_TRUE(core.Export(bmp).ok);
    const int W = core.FBitmap.width();
    ASSERT_TRUE(runConvert({bmp, "-region", QStringLiteral("%1x1+48+16").arg(W - 48), "-evaluate",
        "set", "0", "+region", "BMP3:" + path("dark.bmp")}));
    const CoreState before(core);
    const CommandResult r = core.Import(path("dark.bmp"));
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.message.isEmpty());
    before.expectSame(core, "overflowing cepstrum edit");
    EXPECT_TRUE(core.FCepstram.FCepValid);
}

TEST_F(Editor, SaveReportsFailureAndWritesNothing)
{
    ASSERT_TRUE(core.Open(voice()).ok);
    const QString target = path("missing/dir/out.wav");
    const CommandResult r = core.Save(target);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.message.contains("out.wav")) << r.message.toStdString();
    EXPECT_FALSE(QFile::exists(target));
}

TEST_F(Editor, HiddenCommands)
{
    ASSERT_TRUE(core.Open(voice()).ok);
    const std::vector<uint8_t> samples = core.FWave->FData;
    core.SynthesizeSpectrum();
    EXPECT_TRUE(core.FWave->FData == samples);
    EXPECT_FALSE(core.FCepstram.FSpecValid);
    core.AnalyzeAndDrawSpectrum();
    EXPECT_TRUE(core.FCepstram.FSpecValid);
    EXPECT_EQ(core.FBitmap.size(), QSize(48 + 217, 529));
}

} // namespace
} // namespace kestrelon::test
