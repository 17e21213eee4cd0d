// The WAV reader on hand-built files: chunk layouts, widths, refused and
// damaged headers, cut-short files, and what a failed load leaves behind.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>

#include "WavBuilder.h"
#include "audio/TWave.h"

namespace kestrelon {
namespace {

using namespace test;

// A TWave holding something recognisable, to see that failed loads keep it.
TWave previousSound()
{
    TWave w;
    w.FFormat.nChannels = 2;
    w.FFormat.wBitsPerSample = 16;
    w.FFormat.nSamplesPerSec = 11025;
    w.UpdateFormat();
    w.SetSampleCount(7);
    w.FData = pattern(28, 9);
    return w;
}

void expectSame(const TWave& a, const TWave& b)
{
    EXPECT_EQ(std::memcmp(&a.FFormat, &b.FFormat, sizeof(WAVEFORMATEX)), 0);
    EXPECT_EQ(a.FData, b.FData);
    EXPECT_EQ(a.FDataSize, b.FDataSize);
    EXPECT_EQ(a.FSampleCount, b.FSampleCount);
    EXPECT_EQ(a.FSeconds, b.FSeconds);
}

uint8_t load(TWave& w, const Bytes& file, WaveLoadReport* report = nullptr)
{
    return w.LoadFromMemory(file, report);
}

TEST(WavReadTest, CanonicalFileLoadsAndSavesBackIdentically)
{
    const Bytes samples = pattern(40000);
    const Bytes file = riffFile({{"fmt ", fmtBody({1, 2, 22050, 16})}, {"data", samples}});
    TWave w;
    WaveLoadReport report;
    ASSERT_EQ(load(w, file, &report), kLoadOk);
    EXPECT_TRUE(report.message.isEmpty());
    EXPECT_FALSE(report.truncated);
    EXPECT_EQ(w.FSampleCount, 10000u);
    EXPECT_EQ(w.FDataSize, 40000u);
    EXPECT_EQ(w.FSeconds, 10000.0 / 22050);
    EXPECT_EQ(w.FFormat.nBlockAlign, 4);
    EXPECT_EQ(w.FFormat.nAvgBytesPerSec, 88200u);
    EXPECT_EQ(w.FData, samples);
    EXPECT_EQ(w.GetSample(0, 1), int16_t(2 | 3 << 8));
    EXPECT_EQ(w.SaveToMemory(), file);
}

// Files whose chunks differ in order or company but whose samples are the same.
struct LayoutCase {
    const char* name;
    std::vector<Chunk> chunks;
};

class ChunkLayoutTest : public ::testing::TestWithParam<LayoutCase> { };

const Bytes kSamples = pattern(1002, 3);
const Bytes kFmt16Stereo = fmtBody({1, 2, 44100, 16});

TEST_P(ChunkLayoutTest, FindsFormatAndDataById)
{
    TWave w;
    ASSERT_EQ(load(w, riffFile(GetParam().chunks)), kLoadOk);
    EXPECT_EQ(w.FFormat.nChannels, 2);
    EXPECT_EQ(w.FFormat.nSamplesPerSec, 44100u);
    EXPECT_EQ(w.FSampleCount, 250u); // 1002 bytes: 250 frames, 2 bytes of a frame dropped
    EXPECT_EQ(w.FData, Bytes(kSamples.begin(), kSamples.begin() + 1000));
}

INSTANTIATE_TEST_SUITE_P(Layouts, ChunkLayoutTest,
    ::testing::Values(LayoutCase{"Plain", {{"fmt ", kFmt16Stereo}, {"data", kSamples}}},
        LayoutCase{
            "JunkBeforeFmt", {{"JUNK", Bytes(28, 0)}, {"fmt ", kFmt16Stereo}, {"data", kSamples}}},
        LayoutCase{"OddListWithPad",
            {{"fmt ", kFmt16Stereo}, {"LIST", pattern(13, 77)}, {"data", kSamples}}},
        LayoutCase{
            "FactChunk", {{"fmt ", kFmt16Stereo}, {"fact", {0xFA, 0, 0, 0}}, {"data", kSamples}}},
        LayoutCase{"DataBeforeFmt", {{"data", kSamples}, {"fmt ", kFmt16Stereo}}},
        LayoutCase{"SeveralChunksAround",
            {{"bext", pattern(602)}, {"fmt ", kFmt16Stereo}, {"fact", {1, 2, 3, 4}},
                {"cue ", pattern(5)}, {"data", kSamples}, {"LIST", pattern(40)}}},
        LayoutCase{"SecondFmtAndDataIgnored",
            {{"fmt ", kFmt16Stereo}, {"data", kSamples}, {"fmt ", fmtBody({6, 1, 8000, 8})},
                {"data", pattern(4)}}},
        LayoutCase{"FmtOf18BytesWithCbSize",
            {{"fmt ", fmtBody({1, 2, 44100, 16}, 0x1234)}, {"data", kSamples}}},
        LayoutCase{"WrongBlockAlignAndByteRate",
            {{"fmt ", fmtBody({1, 2, 44100, 16, 3, 7})}, {"data", kSamples}}},
        LayoutCase{"FmtWithLongerBody",
            {{"fmt ",
                 [] {
                     Bytes b = fmtBody({1, 2, 44100, 16}, 6);
                     b.insert(b.end(), 6, 0xEE);
                     return b;
                 }()},
                {"data", kSamples}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WavReadTest, HeaderFieldsAreRecomputed)
{
    TWave w;
    ASSERT_EQ(
        load(w, riffFile({{"fmt ", fmtBody({1, 2, 44100, 16, 3, 7}, 99)}, {"data", kSamples}})),
        kLoadOk);
    EXPECT_EQ(w.FFormat.nBlockAlign, 4);
    EXPECT_EQ(w.FFormat.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(w.FFormat.cbSize, 0);
    EXPECT_EQ(w.FFormat.wFormatTag, 1);
}

TEST(WavReadTest, RiffSizeIsIgnored)
{
    const std::vector<Chunk> chunks{{"fmt ", kFmt16Stereo}, {"data", kSamples}};
    TWave right, zero, huge;
    ASSERT_EQ(load(right, riffFile(chunks)), kLoadOk);
    ASSERT_EQ(load(zero, riffFile(chunks, "WAVE", 0)), kLoadOk);
    ASSERT_EQ(load(huge, riffFile(chunks, "WAVE", 0xFFFFFFF0)), kLoadOk);
    expectSame(right, zero);
    expectSame(right, huge);
}

// Every width the reader takes, checked sample by sample.
TEST(WavReadTest, WidthsDecodeExactly)
{
    // 24-bit stereo: frame 0 = (+1, -1), frame 1 = (max, min)
    const Bytes s24 = {0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80};
    TWave w;
    ASSERT_EQ(load(w, riffFile({{"fmt ", fmtBody({1, 2, 48000, 24})}, {"data", s24}})), kLoadOk);
    EXPECT_EQ(w.FFormat.wBitsPerSample, 24);
    EXPECT_EQ(w.FFormat.nBlockAlign, 6);
    EXPECT_EQ(w.FSampleCount, 2u);
    EXPECT_EQ(w.GetSampleF(0, 0), 1.0 / 8388608);
    EXPECT_EQ(w.GetSampleF(0, 1), -1.0 / 8388608);
    EXPECT_EQ(w.GetSampleF(1, 0), 8388607.0 / 8388608);
    EXPECT_EQ(w.GetSampleF(1, 1), -1.0);
    EXPECT_EQ(w.GetSample(1, 0), 32767);

    const Bytes s32 = {0x00, 0x00, 0x00, 0x80, 0x01, 0x00, 0x00, 0x00};
    ASSERT_EQ(load(w, riffFile({{"fmt ", fmtBody({1, 1, 96000, 32})}, {"data", s32}})), kLoadOk);
    EXPECT_EQ(w.GetSampleF(0, 0), -1.0);
    EXPECT_EQ(w.GetSampleF(1, 0), 1.0 / 2147483648.0);

    Bytes f32(8), f64(16);
    const float fv[2] = {0.3f, -2.5f};
    const double dv[2] = {0.1, -1.0e10};
    std::memcpy(f32.data(), fv, 8);
    std::memcpy(f64.data(), dv, 16);
    ASSERT_EQ(
        load(w,
            riffFile({{"fmt ", fmtBody({3, 1, 8000, 32})}, {"fact", {2, 0, 0, 0}}, {"data", f32}})),
        kLoadOk);
    EXPECT_TRUE(w.isFloat());
    EXPECT_EQ(w.GetSampleF(0, 0), double(0.3f));
    EXPECT_EQ(w.GetSampleF(1, 0), -2.5);
    ASSERT_EQ(load(w, riffFile({{"fmt ", fmtBody({3, 2, 8000, 64})}, {"data", f64}})), kLoadOk);
    EXPECT_EQ(w.FFormat.nBlockAlign, 16);
    EXPECT_EQ(w.GetSampleF(0, 0), 0.1);
    EXPECT_EQ(w.GetSampleF(0, 1), -1.0e10);

    // 8 bits: unsigned with 128 as zero
    ASSERT_EQ(
        load(w, riffFile({{"fmt ", fmtBody({1, 1, 8000, 8})}, {"data", {0, 128, 255}}})), kLoadOk);
    EXPECT_EQ(w.FSampleCount, 3u);
    EXPECT_EQ(w.GetSampleF(0, 0), -1.0);
    EXPECT_EQ(w.GetSampleF(1, 0), 0.0);
    EXPECT_EQ(w.GetSampleF(2, 0), 127.0 / 128);
}

TEST(WavReadTest, ExtensibleFormats)
{
    TWave w;
    const Bytes s16 = pattern(8);
    ASSERT_EQ(
        load(w, riffFile({{"fmt ", extensibleBody({1, 2, 44100, 16}, 1, 16)}, {"data", s16}})),
        kLoadOk);
    EXPECT_EQ(w.FFormat.wFormatTag, 1);
    EXPECT_EQ(w.FFormat.cbSize, 0);
    EXPECT_EQ(w.FSampleCount, 2u);
    EXPECT_EQ(w.FData, s16);

    // 24-bit container with 20 valid bits: read at the container's width
    const Bytes s24 = {0x10, 0x32, 0x54, 0xF0, 0xFF, 0xFF};
    ASSERT_EQ(
        load(w, riffFile({{"fmt ", extensibleBody({1, 1, 48000, 24}, 1, 20)}, {"data", s24}})),
        kLoadOk);
    EXPECT_EQ(w.FFormat.wBitsPerSample, 24);
    EXPECT_EQ(w.GetSampleF(0, 0), double(0x543210) / 8388608);
    EXPECT_EQ(w.GetSampleF(1, 0), -16.0 / 8388608);

    Bytes f32(4);
    const float v = -0.125f;
    std::memcpy(f32.data(), &v, 4);
    ASSERT_EQ(
        load(w, riffFile({{"fmt ", extensibleBody({1, 1, 48000, 32}, 3, 32)}, {"data", f32}})),
        kLoadOk);
    EXPECT_EQ(w.FFormat.wFormatTag, 3);
    EXPECT_EQ(w.GetSampleF(0, 0), -0.125);
}

// Files the reader refuses: code, a reason that names the cause, and the
// previous sound left exactly as it was.
struct RefusedCase {
    const char* name;
    Bytes file;
    uint8_t code;
    const char* reason; // a part of the message
};

class RefusedTest : public ::testing::TestWithParam<RefusedCase> { };

TEST_P(RefusedTest, GivesCodeAndReasonAndChangesNothing)
{
    const RefusedCase& c = GetParam();
    TWave w = previousSound();
    const TWave before = w;
    WaveLoadReport report;
    report.truncated = true;
    EXPECT_EQ(load(w, c.file, &report), c.code);
    EXPECT_TRUE(report.message.contains(QString::fromUtf8(c.reason)))
        << report.message.toStdString();
    EXPECT_FALSE(report.truncated);
    expectSame(w, before);
}

Bytes withAlaw()
{
    return riffFile(
        {{"fmt ", fmtBody({6, 1, 8000, 8}, 0)}, {"fact", {4, 0, 0, 0}}, {"data", pattern(4)}});
}

Bytes extensibleBad(uint16_t subTag, bool breakGuid)
{
    Bytes body = extensibleBody({1, 2, 44100, 16}, subTag, 16);
    if (breakGuid)
        body[39] ^= 1;
    return riffFile({{"fmt ", body}, {"data", pattern(8)}});
}

Bytes textFile()
{
    const char* text = "This is a plain text file, not a sound.\n";
    return Bytes(text, text + std::strlen(text));
}

INSTANTIATE_TEST_SUITE_P(Files, RefusedTest,
    ::testing::Values(RefusedCase{"TextFile", textFile(), kLoadNotRiffWave, "not a RIFF/WAVE file"},
        RefusedCase{"OtherForm", riffFile({{"fmt ", kFmt16Stereo}, {"data", kSamples}}, "AVI "),
            kLoadNotRiffWave, "not a RIFF/WAVE file"},
        RefusedCase{"ShortRiff", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V'}, kLoadFailed,
            "too short"},
        RefusedCase{"EmptyFile", Bytes{}, kLoadFailed, "too short"},
        RefusedCase{
            "Alaw", withAlaw(), kLoadNotPcm, "compressed format 0x0006 (A-law) is not supported"},
        RefusedCase{"ImaAdpcm4Bit",
            riffFile({{"fmt ", fmtBody({0x11, 1, 8000, 4, 256, 4055})}, {"data", pattern(256)}}),
            kLoadNotPcm, "0x0011 (IMA ADPCM)"},
        RefusedCase{"UnknownTag",
            riffFile({{"fmt ", fmtBody({0x1234, 1, 8000, 16})}, {"data", pattern(4)}}), kLoadNotPcm,
            "format 0x1234 is not supported"},
        RefusedCase{"ExtensibleMuLaw", extensibleBad(7, false), kLoadNotPcm,
            "extensible sub-format 0x0007"},
        RefusedCase{"ExtensibleUnknownGuid", extensibleBad(1, true), kLoadNotPcm, "GUID"},
        RefusedCase{"ExtensibleCut",
            riffFile({{"fmt ", fmtBody({0xFFFE, 2, 44100, 16}, 0)}, {"data", pattern(8)}}),
            kLoadFailed, "extensible format header is incomplete"},
        RefusedCase{"Float16",
            riffFile({{"fmt ", fmtBody({3, 1, 8000, 16})}, {"data", pattern(4)}}), kLoadNotPcm,
            "16-bit floating-point"},
        RefusedCase{"FourBitPcm",
            riffFile({{"fmt ", fmtBody({1, 1, 8000, 4})}, {"data", pattern(4)}}), kLoadFailed,
            "4 bits per sample"},
        RefusedCase{"TwelveBitPcm",
            riffFile({{"fmt ", fmtBody({1, 1, 8000, 12})}, {"data", pattern(4)}}), kLoadFailed,
            "12 bits per sample"},
        RefusedCase{"NoChannels",
            riffFile({{"fmt ", fmtBody({1, 0, 8000, 16})}, {"data", pattern(4)}}), kLoadFailed,
            "no channels"},
        RefusedCase{"TooManyChannels",
            riffFile({{"fmt ", fmtBody({1, 257, 8000, 8})}, {"data", pattern(514)}}), kLoadFailed,
            "257 channels"},
        RefusedCase{"FrameAbove65535",
            riffFile({{"fmt ", fmtBody({1, 256, 8000, 2048})}, {"data", pattern(4)}}), kLoadFailed,
            "larger than 65 535"},
        RefusedCase{"RateZero", riffFile({{"fmt ", fmtBody({1, 1, 0, 16})}, {"data", pattern(4)}}),
            kLoadFailed, "sample rate is 0"},
        RefusedCase{"ByteRateOverflow",
            riffFile({{"fmt ", fmtBody({1, 2, 0xFFFFFFFF, 16})}, {"data", pattern(4)}}),
            kLoadFailed, "bytes per second"},
        RefusedCase{"NoData", riffFile({{"fmt ", kFmt16Stereo}, {"LIST", pattern(10)}}),
            kLoadFailed, "no data chunk"},
        RefusedCase{"NoFmt", riffFile({{"JUNK", pattern(10)}, {"data", pattern(10)}}), kLoadFailed,
            "no format chunk"},
        RefusedCase{"OnlyHeader", riffFile({}), kLoadFailed, "no format chunk"},
        RefusedCase{"FmtTooShort", riffFile({{"fmt ", Bytes(14, 1)}, {"data", pattern(4)}}),
            kLoadFailed, "14 bytes; it needs at least 16"},
        RefusedCase{"ChunkPastEnd",
            riffFile(
                {{"fmt ", kFmt16Stereo}, {"LIST", pattern(10), 0xFFFFFFF0}, {"data", pattern(8)}}),
            kLoadFailed, "the \"LIST\" chunk runs 4 294 967 254 bytes past the end"},
        RefusedCase{"FmtPastEnd", riffFile({{"fmt ", kFmt16Stereo, 400}}), kLoadFailed,
            "\"fmt \" chunk runs 384 bytes past"},
        RefusedCase{"DataCutBeforeFmt",
            riffFile({{"data", pattern(8), 100}, {"fmt ", kFmt16Stereo}}), kLoadFailed,
            "no format chunk"}),
    [](const auto& info) { return std::string(info.param.name); });

// Data chunks that claim more than the file holds load the whole frames present.
struct CutCase {
    const char* name;
    uint32_t claimed;
    std::size_t present;
    uint32_t framesLoaded;
    uint64_t framesDeclared;
    const char* reason;
};

class CutShortTest : public ::testing::TestWithParam<CutCase> { };

TEST_P(CutShortTest, LoadsWholeFramesAndReports)
{
    const CutCase& c = GetParam();
    const Bytes samples = pattern(c.present, 1);
    const Bytes file = riffFile(
        {{"LIST", pattern(3)}, {"fmt ", kFmt16Stereo}, {"data", samples, c.claimed, false}});
    TWave w = previousSound();
    WaveLoadReport report;
    ASSERT_EQ(load(w, file, &report), kLoadOk);
    EXPECT_TRUE(report.truncated);
    EXPECT_EQ(report.framesLoaded, c.framesLoaded);
    EXPECT_EQ(report.framesDeclared, c.framesDeclared);
    EXPECT_TRUE(report.message.contains(QString::fromUtf8(c.reason)))
        << report.message.toStdString();
    EXPECT_EQ(w.FSampleCount, c.framesLoaded);
    EXPECT_EQ(w.FDataSize, c.framesLoaded * 4u);
    EXPECT_EQ(w.FData, Bytes(samples.begin(), samples.begin() + c.framesLoaded * 4));
    EXPECT_EQ(w.FSeconds, c.framesLoaded / 44100.0);
    EXPECT_EQ(w.FData.empty(), w.data() == nullptr);
}

INSTANTIATE_TEST_SUITE_P(Files, CutShortTest,
    ::testing::Values(
        CutCase{"Truncated", 4000, 1002, 250, 1000,
            "the file ends 2 998 bytes before its data chunk does; loaded 250 of 1 000 frames"},
        CutCase{"SizeNeverFilledIn", 0xFFFFFFFF, 400, 100, 0x3FFFFFFF, "never filled in"},
        CutCase{"LessThanOneFrame", 4000, 3, 0, 1000, "loaded 0 of 1 000 frames"},
        CutCase{"NoSampleBytes", 100, 0, 0, 25, "ends 100 bytes"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WavReadTest, EmptyAndPartialFrameDataChunks)
{
    TWave w = previousSound();
    WaveLoadReport report;
    ASSERT_EQ(
        load(w, riffFile({{"fmt ", fmtBody({1, 1, 8000, 16})}, {"data", {}}}), &report), kLoadOk);
    EXPECT_TRUE(report.message.isEmpty());
    EXPECT_EQ(w.FSampleCount, 0u);
    EXPECT_EQ(w.FDataSize, 0u);
    EXPECT_EQ(w.data(), nullptr);
    EXPECT_EQ(w.FSeconds, 0.0);
    EXPECT_EQ(w.FFormat.nSamplesPerSec, 8000u);

    const Bytes odd = pattern(1001);
    ASSERT_EQ(
        load(w, riffFile({{"fmt ", fmtBody({1, 1, 8000, 16})}, {"data", odd}}), &report), kLoadOk);
    EXPECT_FALSE(report.truncated);
    EXPECT_EQ(w.FSampleCount, 500u);
    EXPECT_EQ(w.FData, Bytes(odd.begin(), odd.begin() + 1000));
}

TEST(WavReadTest, WidthsWithoutSampleTypeLoadAsCarriedBytes)
{
    // 48-bit integer PCM: whole bytes, so it loads; its samples read as 0
    TWave w;
    const Bytes bytes = pattern(24);
    ASSERT_EQ(load(w, riffFile({{"fmt ", fmtBody({1, 2, 8000, 48})}, {"data", bytes}})), kLoadOk);
    EXPECT_EQ(w.FFormat.nBlockAlign, 12);
    EXPECT_EQ(w.FSampleCount, 2u);
    EXPECT_EQ(w.GetSampleF(1, 1), 0.0);
    EXPECT_EQ(w.FData, bytes);
}

TEST(WavReadTest, FilesOnDisk)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("cut.wav");
    const Bytes file = riffFile({{"fmt ", kFmt16Stereo}, {"data", pattern(20), 40, false}});
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(file.data()), qint64(file.size()));
    f.close();

    TWave w;
    WaveLoadReport report;
    ASSERT_EQ(w.LoadFromFile(path, &report), kLoadOk);
    EXPECT_TRUE(report.truncated);
    EXPECT_EQ(w.FData, pattern(20));

    TWave before = w;
    EXPECT_EQ(w.LoadFromFile(dir.filePath("missing.wav"), &report), kLoadFailed);
    EXPECT_TRUE(report.message.startsWith("cannot open")) << report.message.toStdString();
    expectSame(w, before);
    EXPECT_EQ(w.LoadFromFile(dir.path(), &report), kLoadFailed);
    EXPECT_FALSE(report.message.isEmpty());
    EXPECT_EQ(w.LoadFromFile("/dev/zero", &report), kLoadFailed);
    expectSame(w, before);
}

} // namespace
} // namespace kestrelon
