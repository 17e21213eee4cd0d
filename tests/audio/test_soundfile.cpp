// Sound files other than WAV: the committed files of tests/audio/data (made by
// make-formats.sh from the WAV files beside them), damaged ones, and FLAC saves.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "../MessageText.h"
#include "WavBuilder.h"
#include "audio/SoundFile.h"

namespace kestrelon {
namespace {

using test::Bytes;
using test::readFile;
using test::writeFile;

QString dataFile(const char* name)
{
    return QStringLiteral(KESTRELON_TEST_DATA "/") + QString::fromUtf8(name);
}

// The reference: a WAV file through TWave's own reader.
TWave wavReference(const char* name)
{
    TWave w;
    EXPECT_EQ(w.LoadFromFile(dataFile(name)), kLoadOk) << name;
    return w;
}

void expectSameSamples(const TWave& a, const TWave& b)
{
    EXPECT_EQ(a.FFormat.wFormatTag, b.FFormat.wFormatTag);
    EXPECT_EQ(a.FFormat.nChannels, b.FFormat.nChannels);
    EXPECT_EQ(a.FFormat.nSamplesPerSec, b.FFormat.nSamplesPerSec);
    EXPECT_EQ(a.FFormat.wBitsPerSample, b.FFormat.wBitsPerSample);
    EXPECT_EQ(a.FSampleCount, b.FSampleCount);
    EXPECT_EQ(a.FDataSize, b.FData.size());
    EXPECT_TRUE(a.FData == b.FData) << "the samples differ";
}

// A sound that no failed load may touch.
TWave previousSound()
{
    TWave w = test::makeWave(16, 1, 3);
    w.SetSample(1, 0, 1234);
    return w;
}

// --- lossless files decode to exactly the samples of their WAV -------------------------

struct LosslessCase {
    const char* file;
    const char* wav;
};

class LosslessTest : public ::testing::TestWithParam<LosslessCase> { };

TEST_P(LosslessTest, DecodesToTheSamplesOfItsWav)
{
    const LosslessCase& c = GetParam();
    const TWave expected = wavReference(c.wav);
    ASSERT_GT(expected.FSampleCount, 0u);
    TWave fromFile;
    WaveLoadReport report;
    ASSERT_EQ(loadSound(dataFile(c.file), fromFile, &report), kLoadOk)
        << en(report.message).toStdString();
    expectSameSamples(fromFile, expected);
    EXPECT_TRUE(report.message.isEmpty()) << en(report.message).toStdString();
    EXPECT_EQ(report.framesLoaded, expected.FSampleCount);

    const Bytes bytes = readFile(dataFile(c.file));
    TWave fromMemory;
    ASSERT_EQ(loadSoundFromMemory(bytes, fromMemory), kLoadOk);
    expectSameSamples(fromMemory, expected);
}

INSTANTIATE_TEST_SUITE_P(Files, LosslessTest,
    ::testing::Values(LosslessCase{"pcm8_mono.flac", "pcm8_mono.wav"},
        LosslessCase{"pcm8_mono.aiff", "pcm8_mono.wav"},
        LosslessCase{"pcm16_stereo.flac", "pcm16_stereo.wav"},
        LosslessCase{"pcm16_stereo.aiff", "pcm16_stereo.wav"},
        LosslessCase{"pcm16_stereo.caf", "pcm16_stereo.wav"},
        LosslessCase{"pcm16_stereo.rf64", "pcm16_stereo.wav"},
        LosslessCase{"pcm24_mono.flac", "pcm24_mono.wav"},
        LosslessCase{"pcm24_mono.w64", "pcm24_mono.wav"},
        LosslessCase{"pcm24_mono.aifc", "pcm24_mono.wav"},
        LosslessCase{"pcm32_stereo.caf", "pcm32_stereo.wav"},
        LosslessCase{"float32_stereo.caf", "float32_stereo.wav"},
        LosslessCase{"float32_stereo.aifc", "float32_stereo.wav"},
        LosslessCase{"float64_mono.aifc", "float64_mono.wav"}),
    [](const auto& info) {
        std::string name = info.param.file;
        std::replace(name.begin(), name.end(), '.', '_');
        return name;
    });

// RIFF/WAVE content goes through TWave's own reader, whatever the name: 48-bit PCM,
// which libsndfile does not read, and a data chunk cut short, which it reports otherwise.
TEST(DispatchTest, RiffWaveGoesThroughTheWavReader)
{
    test::FmtFields fmt;
    fmt.bits = 48;
    const Bytes file
        = test::riffFile({{"fmt ", test::fmtBody(fmt)}, {"data", test::pattern(60), 66}});
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath("wide.flac"), file));
    for (const bool fromFile : {true, false}) {
        TWave w;
        WaveLoadReport report;
        ASSERT_EQ(fromFile ? loadSound(dir.filePath("wide.flac"), w, &report)
                           : loadSoundFromMemory(file, w, &report),
            kLoadOk);
        EXPECT_EQ(w.FFormat.wBitsPerSample, 48);
        EXPECT_EQ(w.FSampleCount, 10u);
        EXPECT_TRUE(report.truncated);
        EXPECT_TRUE(en(report.message).contains("before its data chunk does"))
            << en(report.message).toStdString();
    }
}

// --- lossy files: 32-bit float, the source's length and level ---------------------------

double rms(const TWave& w, uint8_t channel)
{
    double sum = 0;
    for (uint32_t i = 0; i < w.FSampleCount; ++i)
        sum += w.GetSampleF(i, channel) * w.GetSampleF(i, channel);
    return std::sqrt(sum / std::max<uint32_t>(w.FSampleCount, 1));
}

class LossyTest : public ::testing::TestWithParam<const char*> { };

TEST_P(LossyTest, DecodesAsFloatAtTheSourcesLengthAndLevel)
{
    const TWave source = wavReference("pcm16_stereo.wav");
    TWave w;
    WaveLoadReport report;
    ASSERT_EQ(loadSound(dataFile(GetParam()), w, &report), kLoadOk)
        << en(report.message).toStdString();
    EXPECT_TRUE(w.isFloat());
    EXPECT_EQ(w.FFormat.wBitsPerSample, 32);
    EXPECT_EQ(w.FFormat.nChannels, 2);
    EXPECT_EQ(w.FFormat.nSamplesPerSec, 16000u);
    // The encoders' delay and padding are left out (Ogg granules, Opus pre-skip, the
    // LAME header).
    EXPECT_EQ(w.FSampleCount, source.FSampleCount);
    for (uint8_t ch = 0; ch < 2; ++ch)
        EXPECT_NEAR(20 * std::log10(rms(w, ch) / rms(source, ch)), 0.0, 1.0) << int(ch);
}

INSTANTIATE_TEST_SUITE_P(Files, LossyTest,
    ::testing::Values("pcm16_stereo.ogg", "pcm16_stereo.opus", "pcm16_stereo.mp3"),
    [](const auto& info) {
        std::string name = info.param;
        return name.substr(name.find('.') + 1);
    });

// --- MP3 frames are counted as decoded ---------------------------------------------------

// Samples per channel of the whole Layer III frames of an MP3 without tags, found by
// walking the frame headers (MPEG-1, 2 and 2.5).
uint64_t layer3Samples(const Bytes& b)
{
    static const int kbps[2][16]
        = {{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
            {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
    static const int rates[4][3]
        = {{11025, 12000, 8000}, {}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    uint64_t samples = 0;
    std::size_t pos = 0;
    while (pos + 4 <= b.size() && b[pos] == 0xFF && (b[pos + 1] & 0xE6) == 0xE2) {
        const int version = (b[pos + 1] >> 3) & 3;
        const bool mpeg1 = version == 3;
        const int rate = rates[version][(b[pos + 2] >> 2) & 3];
        const int bitrate = kbps[mpeg1 ? 0 : 1][b[pos + 2] >> 4] * 1000;
        if (rate == 0 || bitrate == 0)
            break;
        const std::size_t size
            = std::size_t((mpeg1 ? 144 : 72) * bitrate / rate + ((b[pos + 2] >> 1) & 1));
        if (pos + size > b.size())
            break;
        samples += mpeg1 ? 1152 : 576;
        pos += size;
    }
    return samples;
}

TEST(Mp3Test, AFileWithoutAXingHeaderLoadsEveryFrame)
{
    // A length guessed from the first (loud, so large) frame is far too short.
    const Bytes bytes = readFile(dataFile("untagged_vbr.mp3"));
    const uint64_t expected = layer3Samples(bytes);
    ASSERT_GT(expected, 9600u); // 0.6 s at 16 kHz, and the encoder's delay
    TWave w;
    ASSERT_EQ(loadSound(dataFile("untagged_vbr.mp3"), w), kLoadOk);
    EXPECT_EQ(w.FSampleCount, expected);
    EXPECT_EQ(w.FFormat.nChannels, 1);
}

TEST(Mp3Test, AFileCutShortLoadsTheFramesItHolds)
{
    // cut.mp3 is the first 1100 bytes of pcm16_stereo.mp3, whose LAME header claims
    // 4000 frames.
    TWave whole;
    TWave cut;
    ASSERT_EQ(loadSound(dataFile("pcm16_stereo.mp3"), whole), kLoadOk);
    WaveLoadReport report;
    ASSERT_EQ(loadSound(dataFile("cut.mp3"), cut, &report), kLoadOk)
        << en(report.message).toStdString();
    ASSERT_EQ(whole.FSampleCount, 4000u);
    EXPECT_GT(cut.FSampleCount, 1000u);
    EXPECT_LT(cut.FSampleCount, 1600u);
    EXPECT_EQ(report.framesLoaded, cut.FSampleCount);
    // the same bytes in memory, followed by the rest of the file: nothing past them is read
    const Bytes bytes = readFile(dataFile("pcm16_stereo.mp3"));
    TWave fromMemory;
    ASSERT_EQ(loadSoundFromMemory(std::span(bytes.data(), 1100), fromMemory), kLoadOk);
    EXPECT_EQ(fromMemory.FSampleCount, cut.FSampleCount);
    EXPECT_TRUE(std::equal(cut.FData.begin(), cut.FData.end(), whole.FData.begin()))
        << "the frames held differ from the same frames of the whole file";
}

TEST(Mp3Test, AStreamThatChangesItsChannelsIsRefused)
{
    Bytes joined = readFile(dataFile("pcm16_stereo.mp3"));
    const Bytes mono = readFile(dataFile("untagged_vbr.mp3"));
    joined.insert(joined.end(), mono.begin(), mono.end());
    TWave w = previousSound();
    WaveLoadReport report;
    EXPECT_EQ(loadSoundFromMemory(joined, w, &report), kLoadFailed);
    EXPECT_TRUE(
        en(report.message)
            .startsWith(
                "the stream changes from 16000 Hz with 2 channels to 16000 Hz with 1 after "))
        << en(report.message).toStdString();
    EXPECT_EQ(w.FSampleCount, 3u);
}

// --- refused files ---------------------------------------------------------------------

// A copy of a committed file with some bytes changed, written to dir.
QString patched(
    const QString& dir, const char* from, const char* to, const std::function<void(Bytes&)>& change)
{
    Bytes b = readFile(dataFile(from));
    change(b);
    const QString path = dir + "/" + QString::fromUtf8(to);
    return writeFile(path, b) ? path : QString();
}

struct UnreadableCase {
    const char* name;
    std::function<QString(const QString& dir)> make; // returns the path to load
    uint8_t code;
    const char* reason; // a part of the message
};

class UnreadableSoundTest : public ::testing::TestWithParam<UnreadableCase> { };

TEST_P(UnreadableSoundTest, NamesTheCauseAndChangesNothing)
{
    const UnreadableCase& c = GetParam();
    QTemporaryDir dir;
    const QString path = c.make(dir.path());
    ASSERT_FALSE(path.isEmpty());
    TWave w = previousSound();
    const TWave before = w;
    WaveLoadReport report;
    EXPECT_EQ(loadSound(path, w, &report), c.code);
    EXPECT_TRUE(en(report.message).contains(QString::fromUtf8(c.reason)))
        << en(report.message).toStdString();
    EXPECT_EQ(w.FFormat.nChannels, before.FFormat.nChannels);
    EXPECT_TRUE(w.FData == before.FData);
    EXPECT_EQ(w.FSampleCount, before.FSampleCount);
}

INSTANTIATE_TEST_SUITE_P(Files, UnreadableSoundTest,
    ::testing::ValuesIn(std::vector<UnreadableCase>{
        {"Garbage", [](const QString&) { return dataFile("garbage.flac"); }, kLoadNotRiffWave,
            "not a WAV, FLAC, Ogg, MP3, AIFF, Wave64, RF64 or CAF file (libsndfile: "},
        {"Empty",
            [](const QString& dir) {
                return patched(dir, "garbage.flac", "empty.flac", [](Bytes& b) { b.clear(); });
            },
            kLoadNotRiffWave, "(libsndfile: "},
        {"TruncatedFlac",
            [](const QString& dir) {
                return patched(
                    dir, "pcm16_stereo.flac", "cut.flac", [](Bytes& b) { b.resize(b.size() / 2); });
            },
            kLoadFailed, "the file is damaged after 0 frames (libsndfile: "},
        // STREAMINFO (bytes 8..41) with a total of 2^36 - 1 samples: neither believed
        // for memory nor taken for a sound cut short without saying so
        {"FlacClaimingMoreFrames",
            [](const QString& dir) {
                return patched(dir, "pcm16_stereo.flac", "long.flac", [](Bytes& b) {
                    b[8 + 13] |= 0x0F;
                    std::memset(&b[8 + 14], 0xFF, 4);
                });
            },
            kLoadFailed, "the file ends after 4 000 of its 68 719 476 735 frames"},
        // Sun/NeXT AU: recognised, not supported
        {"Au",
            [](const QString& dir) {
                Bytes b = test::text(".snd");
                for (uint32_t v : {24u, 16u, 3u, 8000u, 1u}) // offset, size, 16-bit, rate, mono
                    for (int i = 3; i >= 0; --i)
                        b.push_back(uint8_t(v >> (8 * i)));
                b.resize(b.size() + 16, 0);
                const QString path = dir + "/sound.au";
                return writeFile(path, b) ? path : QString();
            },
            kLoadNotRiffWave, "AU (Sun/NeXT) files are not supported"},
        {"FifoWithoutWriter",
            [](const QString& dir) {
                const QString path = dir + "/fifo.flac";
                return mkfifo(QFile::encodeName(path).constData(), 0600) == 0 ? path : QString();
            },
            kLoadFailed, "not a regular file (a FIFO)"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Cut anywhere, a FLAC stream of several frames is refused, never taken for a shorter
// sound.
TEST(FlacTest, EveryCutIsRefused)
{
    TWave w = test::makeWave(16, 2, 20000);
    std::mt19937 random(7);
    for (uint32_t i = 0; i < w.FSampleCount; ++i)
        w.SetSample(i, i % 2, int16_t(random()));
    QTemporaryDir dir;
    const QString path = dir.filePath("several.flac");
    ASSERT_TRUE(saveSound(path, w));
    const Bytes whole = readFile(path);
    for (std::size_t size = 100; size < whole.size(); size += whole.size() / 9) {
        TWave loaded;
        WaveLoadReport report;
        EXPECT_NE(loadSoundFromMemory(std::span(whole.data(), size), loaded, &report), kLoadOk)
            << size;
        EXPECT_FALSE(report.message.isEmpty());
    }
}

TEST(FloatTest, NonFiniteSamplesReadAsZeroAndAreCounted)
{
    // AIFC float32: big-endian samples after the SSND chunk's 8-byte header
    Bytes b = readFile(dataFile("float32_stereo.aifc"));
    const auto ssnd = std::search(b.begin(), b.end(), std::begin("SSND"), std::end("SSND") - 1);
    ASSERT_NE(ssnd, b.end());
    const std::size_t first = std::size_t(ssnd - b.begin()) + 16;
    const uint8_t nan[4] = {0x7F, 0xC0, 0, 0};
    const uint8_t inf[4] = {0xFF, 0x80, 0, 0};
    std::copy(nan, nan + 4, b.begin() + std::ptrdiff_t(first));
    std::copy(inf, inf + 4, b.begin() + std::ptrdiff_t(first + 12));
    TWave w;
    WaveLoadReport report;
    ASSERT_EQ(loadSoundFromMemory(b, w, &report), kLoadOk);
    EXPECT_EQ(report.nonFinite, 2u);
    EXPECT_TRUE(en(report.message).contains("2 samples were not finite"))
        << en(report.message).toStdString();
    EXPECT_EQ(w.GetSampleF(0, 0), 0.0);
    EXPECT_EQ(w.GetSampleF(1, 1), 0.0);
    EXPECT_NE(w.GetSampleF(0, 1), 0.0);
}

// --- saving FLAC ----------------------------------------------------------------------------

// Full-range random samples with both extremes, for any width.
TWave noise(uint16_t bits, uint16_t channels, uint32_t frames, uint32_t seed)
{
    TWave w = test::makeWave(bits, channels, frames, 1, 44100);
    std::mt19937 random(seed);
    for (auto& byte : w.FData)
        byte = uint8_t(random());
    const uint32_t bytes = bits / 8u;
    for (uint32_t b = 0; b < bytes; ++b) { // frame 0 the lowest value, frame 1 the highest
        w.FData[b] = bits == 8 ? 0 : b + 1 == bytes ? 0x80 : 0;
        w.FData[w.FFormat.nBlockAlign + b] = bits == 8 ? 255 : b + 1 == bytes ? 0x7F : 0xFF;
    }
    return w;
}

class FlacRoundTripTest : public ::testing::TestWithParam<uint16_t> { };

TEST_P(FlacRoundTripTest, GivesBackTheSamplesSaved)
{
    QTemporaryDir dir;
    for (uint16_t channels : {1, 3}) {
        const TWave w = noise(GetParam(), channels, 9000, channels);
        const QString path = dir.filePath(QStringLiteral("x%1.FLAC").arg(channels));
        Message reason;
        ASSERT_TRUE(saveSound(path, w, &reason)) << en(reason).toStdString();
        EXPECT_EQ(readFile(path).size() >= 4
                ? std::string(reinterpret_cast<const char*>(readFile(path).data()), 4)
                : "",
            "fLaC");
        TWave back;
        ASSERT_EQ(loadSound(path, back), kLoadOk);
        expectSameSamples(back, w);
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, FlacRoundTripTest, ::testing::Values(8, 16, 24));

// A committed WAV, saved as FLAC and the FLAC saved as WAV, has the same samples.
TEST(FlacTest, WavToFlacToWavKeepsTheSamples)
{
    QTemporaryDir dir;
    for (const char* name : {"pcm8_mono.wav", "pcm16_stereo.wav", "pcm24_mono.wav"}) {
        const TWave original = wavReference(name);
        ASSERT_TRUE(saveSound(dir.filePath("a.flac"), original));
        TWave flac;
        ASSERT_EQ(loadSound(dir.filePath("a.flac"), flac), kLoadOk);
        ASSERT_TRUE(saveSound(dir.filePath("b.wav"), flac));
        TWave again;
        ASSERT_EQ(loadSound(dir.filePath("b.wav"), again), kLoadOk);
        expectSameSamples(again, original);
    }
}

TEST(FlacTest, SoundsFlacCannotHoldAreRefusedAndNothingIsWritten)
{
    struct Case {
        TWave wave;
        const char* reason;
    };
    const Case cases[] = {
        {test::makeWave(32, 1, 10, 3), "this sound has 32-bit float samples"},
        {test::makeWave(64, 2, 10, 3), "this sound has 64-bit float samples"},
        {test::makeWave(32, 1, 10), "this sound has 32-bit samples"},
        {test::makeWave(16, 9, 10), "FLAC holds 1 to 8 channels; this sound has 9"},
        {test::makeWave(24, 1, 0), "this sound has no samples to save as FLAC"},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("keep.flac");
    ASSERT_TRUE(writeFile(path, test::text("precious")));
    for (const Case& c : cases) {
        Message reason;
        EXPECT_FALSE(saveSound(path, c.wave, &reason));
        EXPECT_TRUE(en(reason).contains(QString::fromUtf8(c.reason))) << en(reason).toStdString();
        EXPECT_EQ(flacRefusal(c.wave), reason);
    }
    EXPECT_EQ(readFile(path), test::text("precious"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"keep.flac"}));
}

TEST(FlacTest, SavesAsTheWavWriterDoes)
{
    QTemporaryDir dir;
    const TWave w = noise(16, 2, 100, 1);
    // a replaced file keeps its permission bits
    const QString kept = dir.filePath("kept.flac");
    for (const mode_t mode : {0444, 0751, 0600}) {
        ASSERT_TRUE(writeFile(kept, test::text("old")));
        ASSERT_EQ(chmod(QFile::encodeName(kept).constData(), mode), 0);
        ASSERT_TRUE(saveSound(kept, w));
        struct stat st { };
        ASSERT_EQ(stat(QFile::encodeName(kept).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
    }
    // what is not a regular file is refused before anything is written (a FIFO would block)
    const QString fifo = dir.filePath("fifo.flac");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    Message reason;
    EXPECT_FALSE(saveSound(fifo, w, &reason));
    EXPECT_TRUE(en(reason).contains("not a regular file (a FIFO)")) << en(reason).toStdString();
    EXPECT_FALSE(saveSound(dir.path() + "/", w, &reason));
    EXPECT_TRUE(en(reason).contains("names a folder")) << en(reason).toStdString();
    EXPECT_FALSE(saveSound(dir.filePath("no/such/x.flac"), w, &reason));
    EXPECT_TRUE(en(reason).startsWith("cannot create: ")) << en(reason).toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System),
        QStringList({"fifo.flac", "kept.flac"}));
}

TEST(SoundFileTypeTest, FlacByNameElseWav)
{
    EXPECT_EQ(soundFileTypeFor("a/b.flac"), SoundFileType::Flac);
    EXPECT_EQ(soundFileTypeFor("B.FlAc"), SoundFileType::Flac);
    for (const char* name : {"a.wav", "a.flac.wav", "flac", "a.flac/x", "afla c"})
        EXPECT_EQ(soundFileTypeFor(name), SoundFileType::Wav) << name;
}

} // namespace
} // namespace kestrelon
