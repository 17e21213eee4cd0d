// The WAV reader on hand-built files: chunk layouts, widths, refused and
// damaged headers, cut-short files, and what a failed load leaves behind.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <cstring>
#include <functional>
#include <sys/stat.h>

#include "../MessageText.h"
#include "WavBuilder.h"

namespace kestrelon {
namespace {

using namespace test;

// A TWave holding something recognisable, to see that failed loads keep it.
TWave previousSound()
{
    TWave w = makeWave(16, 2, 7, 1, 11025);
    w.FData = pattern(28, 9);
    return w;
}

void expectSame(const TWave& a, const TWave& b)
{
    EXPECT_EQ(std::memcmp(&a.FFormat, &b.FFormat, sizeof(WAVEFORMATEX)), 0);
    EXPECT_EQ(std::tie(a.FData, a.FDataSize, a.FSampleCount, a.FSeconds),
        std::tie(b.FData, b.FDataSize, b.FSampleCount, b.FSeconds));
}

// readWaveHeader on the file agrees with a full load of it: code, messages, format,
// frames and duration.
void expectHeaderAgrees(const Bytes& file)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("h.wav");
    ASSERT_TRUE(writeFile(path, file));
    TWave loaded;
    WaveLoadReport full, brief;
    WaveHeader header;
    header.sampleCount = 12345;
    const uint8_t code = loaded.LoadFromFile(path, &full);
    ASSERT_EQ(readWaveHeader(path, header, &brief), code);
    EXPECT_EQ(std::tie(brief.message, brief.truncated, brief.framesLoaded, brief.framesDeclared),
        std::tie(full.message, full.truncated, full.framesLoaded, full.framesDeclared));
    if (code != kLoadOk) {
        EXPECT_EQ(header.sampleCount, 12345u); // untouched
        return;
    }
    EXPECT_EQ(std::memcmp(&header.format, &loaded.FFormat, sizeof(WAVEFORMATEX)), 0);
    EXPECT_EQ(std::tie(header.sampleCount, header.seconds),
        std::tie(loaded.FSampleCount, loaded.FSeconds));
}

// A file with one format chunk and one data chunk.
Bytes wav(const FmtFields& f, const Bytes& data = pattern(4))
{
    return riffFile({{"fmt ", fmtBody(f)}, {"data", data}});
}

template <typename T> Bytes bytesOf(std::initializer_list<T> values)
{
    Bytes b(values.size() * sizeof(T));
    std::memcpy(b.data(), values.begin(), b.size());
    return b;
}

const Bytes kSamples = pattern(1002, 3);
const Bytes kFmt16Stereo = fmtBody({1, 2, 44100, 16});

// Files whose chunks differ in order, company, RIFF size or format-chunk quirks, but
// whose samples are the same; the header fields derived from the format are recomputed.
struct LayoutCase {
    const char* name;
    std::vector<Chunk> chunks;
    int64_t riffSize = -1;
};

class ChunkLayoutTest : public ::testing::TestWithParam<LayoutCase> { };

TEST_P(ChunkLayoutTest, FindsFormatAndDataById)
{
    TWave w;
    ASSERT_EQ(w.LoadFromMemory(riffFile(GetParam().chunks, "WAVE", GetParam().riffSize)), kLoadOk);
    const WAVEFORMATEX& f = w.FFormat;
    EXPECT_EQ(std::tie(f.wFormatTag, f.nChannels, f.nSamplesPerSec, f.nBlockAlign,
                  f.nAvgBytesPerSec, f.cbSize),
        std::make_tuple(1, 2, 44100u, 4, 176400u, 0));
    EXPECT_EQ(w.FSampleCount, 250u); // 1002 bytes: 250 frames, 2 bytes of a frame dropped
    EXPECT_EQ(w.FSeconds, 250 / 44100.0);
    EXPECT_EQ(w.FData, Bytes(kSamples.begin(), kSamples.begin() + 1000));
    expectHeaderAgrees(riffFile(GetParam().chunks, "WAVE", GetParam().riffSize));
}

Bytes fmtWithLongerBody()
{
    Bytes b = fmtBody({1, 2, 44100, 16}, 6);
    b.insert(b.end(), 6, 0xEE);
    return b;
}

INSTANTIATE_TEST_SUITE_P(Layouts, ChunkLayoutTest,
    ::testing::ValuesIn(std::vector<LayoutCase>{
        {"Plain", {{"fmt ", kFmt16Stereo}, {"data", kSamples}}},
        {"RiffSizeZero", {{"fmt ", kFmt16Stereo}, {"data", kSamples}}, 0},
        {"RiffSizeHuge", {{"fmt ", kFmt16Stereo}, {"data", kSamples}}, 0xFFFFFFF0},
        {"JunkBeforeFmt", {{"JUNK", Bytes(28, 0)}, {"fmt ", kFmt16Stereo}, {"data", kSamples}}},
        {"OddListWithPad", {{"fmt ", kFmt16Stereo}, {"LIST", pattern(13, 77)}, {"data", kSamples}}},
        {"DataBeforeFmt", {{"data", kSamples}, {"fmt ", kFmt16Stereo}}},
        {"SeveralChunksAround",
            {{"bext", pattern(602)}, {"fmt ", kFmt16Stereo}, {"cue ", pattern(5)},
                {"data", kSamples}, {"LIST", pattern(40)}}},
        {"SecondFmtAndDataIgnored",
            {{"fmt ", kFmt16Stereo}, {"data", kSamples}, {"fmt ", fmtBody({6, 1, 8000, 8})},
                {"data", pattern(4)}}},
        {"FmtOf18BytesWrongAlignAndRate",
            {{"fmt ", fmtBody({1, 2, 44100, 16, 3, 7}, 0x1234)}, {"data", kSamples}}},
        {"FmtWithLongerBody", {{"fmt ", fmtWithLongerBody()}, {"data", kSamples}}},
        // zero bytes read as empty chunks of id 0, 8 bytes each
        {"ZeroBytesBeforeData",
            {{"fmt ", kFmt16Stereo}, {std::string(4, '\0'), Bytes(4000, 0), 0},
                {"data", kSamples}}}}),
    [](const auto& info) { return std::string(info.param.name); });

// Every width the reader takes, decoded sample by sample (frames in order, channels
// interleaved), the bytes kept as they stand.
struct DecodeCase {
    const char* name;
    Bytes fmt;
    Bytes data;
    uint16_t tag, bits;
    std::vector<double> samples;
};

class DecodeTest : public ::testing::TestWithParam<DecodeCase> { };

TEST_P(DecodeTest, DecodesExactly)
{
    const DecodeCase& c = GetParam();
    TWave w = previousSound();
    WaveLoadReport report;
    ASSERT_EQ(w.LoadFromMemory(riffFile({{"fmt ", c.fmt}, {"data", c.data}}), &report), kLoadOk);
    EXPECT_TRUE(report.message.isEmpty());
    EXPECT_EQ(w.FFormat.wFormatTag, c.tag);
    EXPECT_EQ(w.FFormat.cbSize, 0);
    EXPECT_EQ(w.FFormat.wBitsPerSample, c.bits);
    EXPECT_EQ(w.FFormat.nBlockAlign, c.bits / 8 * w.FFormat.nChannels);
    EXPECT_EQ(w.FData, c.data);
    EXPECT_EQ(w.data() == nullptr, c.data.empty());
    ASSERT_EQ(w.FSampleCount * w.FFormat.nChannels, c.samples.size());
    for (std::size_t i = 0; i < c.samples.size(); ++i)
        EXPECT_EQ(w.GetSampleF(uint32_t(i / w.FFormat.nChannels), uint8_t(i % w.FFormat.nChannels)),
            c.samples[i])
            << i;
}

constexpr double k23 = 1.0 / 8388608;

INSTANTIATE_TEST_SUITE_P(Widths, DecodeTest,
    ::testing::ValuesIn(std::vector<DecodeCase>{
        {"U8", fmtBody({1, 1, 8000, 8}), {0, 128, 255}, 1, 8, {-1.0, 0.0, 127.0 / 128}},
        {"S24Stereo", fmtBody({1, 2, 48000, 24}),
            {0x01, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0x80}, 1, 24,
            {k23, -k23, 8388607 * k23, -1.0}},
        {"S32", fmtBody({1, 1, 96000, 32}), {0, 0, 0, 0x80, 1, 0, 0, 0}, 1, 32,
            {-1.0, 1.0 / 2147483648.0}},
        {"F32", fmtBody({3, 1, 8000, 32}), bytesOf({0.3f, -2.5f}), 3, 32, {double(0.3f), -2.5}},
        {"F64Stereo", fmtBody({3, 2, 8000, 64}), bytesOf({0.1, -1.0e10}), 3, 64, {0.1, -1.0e10}},
        {"Extensible16", extensibleBody({1, 2, 44100, 16}, 1, 16), bytesOf<int16_t>({1, -2}), 1, 16,
            {1.0 / 32768, -2.0 / 32768}},
        // a 24-bit container with 20 valid bits is read at the container's width
        {"Extensible24Of20", extensibleBody({1, 1, 48000, 24}, 1, 20),
            {0x10, 0x32, 0x54, 0xF0, 0xFF, 0xFF}, 1, 24, {0x543210 * k23, -16 * k23}},
        {"ExtensibleFloat", extensibleBody({1, 1, 48000, 32}, 3, 32), bytesOf({-0.125f}), 3, 32,
            {-0.125}},
        {"S40", fmtBody({1, 1, 8000, 40}), {1, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}, 1, 40,
            {0x1p-39, -1.0}},
        {"S48Stereo", fmtBody({1, 2, 8000, 48}),
            {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, 1, 48,
            {-0x1p-47, 1.0 - 0x1p-47}},
        {"S56", fmtBody({1, 1, 8000, 56}), {0, 0, 0, 0, 0, 0, 0x40}, 1, 56, {0.5}},
        {"Extensible64", extensibleBody({1, 1, 8000, 64}, 1, 64),
            bytesOf<int64_t>({INT64_MIN, 1, INT64_MAX}), 1, 64, {-1.0, 0x1p-63, 1.0}},
        {"EmptyData", fmtBody({1, 1, 8000, 16}), {}, 1, 16, {}}}),
    [](const auto& info) { return std::string(info.param.name); });

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
    EXPECT_EQ(w.LoadFromMemory(c.file, &report), c.code);
    EXPECT_TRUE(en(report.message).contains(QString::fromUtf8(c.reason)))
        << en(report.message).toStdString();
    EXPECT_FALSE(report.truncated);
    expectSame(w, before);
    expectHeaderAgrees(c.file);
}

Bytes extensibleBad(uint16_t subTag, bool breakGuid)
{
    Bytes body = extensibleBody({1, 2, 44100, 16}, subTag, 16);
    body[39] ^= uint8_t(breakGuid);
    return riffFile({{"fmt ", body}, {"data", pattern(8)}});
}

// A format chunk, n zero bytes, and a data chunk of 4 bytes.
Bytes withZerosBeforeData(std::size_t n)
{
    Bytes b = riffFile({{"fmt ", kFmt16Stereo}});
    b.resize(b.size() + n, 0);
    const Bytes data = riffFile({{"data", pattern(4)}});
    b.insert(b.end(), data.begin() + 12, data.end());
    return b;
}

INSTANTIATE_TEST_SUITE_P(Files, RefusedTest,
    ::testing::ValuesIn(std::vector<RefusedCase>{
        {"TextFile", text("A plain text file, not a sound.\n"), kLoadNotRiffWave,
            "not a RIFF/WAVE file"},
        {"OtherForm", riffFile({{"fmt ", kFmt16Stereo}, {"data", kSamples}}, "AVI "),
            kLoadNotRiffWave, "not a RIFF/WAVE file"},
        {"ShortRiff", text("RIFF\4\1\1\1WAV"), kLoadFailed, "too short"},
        {"EmptyFile", Bytes{}, kLoadFailed, "too short"},
        {"Alaw",
            riffFile({{"fmt ", fmtBody({6, 1, 8000, 8}, 0)}, {"fact", {4, 0, 0, 0}},
                {"data", pattern(4)}}),
            kLoadNotPcm, "compressed format 0x0006 (A-law) is not supported"},
        {"ImaAdpcm4Bit", wav({0x11, 1, 8000, 4, 256, 4055}, pattern(256)), kLoadNotPcm,
            "0x0011 (IMA ADPCM)"},
        {"UnknownTag", wav({0x1234, 1, 8000, 16}), kLoadNotPcm, "format 0x1234 is not supported"},
        {"ExtensibleMuLaw", extensibleBad(7, false), kLoadNotPcm, "extensible sub-format 0x0007"},
        {"ExtensibleUnknownGuid", extensibleBad(1, true), kLoadNotPcm, "GUID"},
        {"ExtensibleCut",
            riffFile({{"fmt ", fmtBody({0xFFFE, 2, 44100, 16}, 0)}, {"data", pattern(8)}}),
            kLoadFailed, "extensible format header is incomplete"},
        {"Float16", wav({3, 1, 8000, 16}), kLoadNotPcm, "16-bit floating-point"},
        {"FourBitPcm", wav({1, 1, 8000, 4}), kLoadFailed, "4 bits per sample"},
        {"NoChannels", wav({1, 0, 8000, 16}), kLoadFailed, "no channels"},
        {"TooManyChannels", wav({1, 257, 8000, 8}, pattern(514)), kLoadFailed, "257 channels"},
        {"Int72", wav({1, 1, 8000, 72}, pattern(9)), kLoadNotPcm,
            "72-bit integer samples are not supported"},
        {"RateZero", wav({1, 1, 0, 16}), kLoadFailed, "sample rate is 0"},
        {"ByteRateOverflow", wav({1, 2, 0xFFFFFFFF, 16}), kLoadFailed, "bytes per second"},
        {"NoData", riffFile({{"fmt ", kFmt16Stereo}, {"LIST", pattern(10)}}), kLoadFailed,
            "no data chunk"},
        {"NoFmt", riffFile({{"JUNK", pattern(10)}, {"data", pattern(10)}}), kLoadFailed,
            "no format chunk"},
        {"OnlyHeader", riffFile({}), kLoadFailed, "no format chunk"},
        {"FmtTooShort", riffFile({{"fmt ", Bytes(14, 1)}, {"data", pattern(4)}}), kLoadFailed,
            "14 bytes; it needs at least 16"},
        {"ChunkPastEnd",
            riffFile(
                {{"fmt ", kFmt16Stereo}, {"LIST", pattern(10), 0xFFFFFFF0}, {"data", pattern(8)}}),
            kLoadFailed, "the \"LIST\" chunk runs 4 294 967 254 bytes past the end"},
        {"FmtPastEnd", riffFile({{"fmt ", kFmt16Stereo, 400}}), kLoadFailed,
            "\"fmt \" chunk runs 384 bytes past"},
        {"ZerosOffTheChunkGrid", withZerosBeforeData(11), kLoadFailed, "the 0x64000000 chunk runs"},
        {"DataCutBeforeFmt", riffFile({{"data", pattern(8), 100}, {"fmt ", kFmt16Stereo}}),
            kLoadFailed, "no format chunk"}}),
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
    ASSERT_EQ(w.LoadFromMemory(file, &report), kLoadOk);
    EXPECT_TRUE(report.truncated);
    EXPECT_EQ(report.framesLoaded, c.framesLoaded);
    EXPECT_EQ(report.framesDeclared, c.framesDeclared);
    EXPECT_TRUE(en(report.message).contains(QString::fromUtf8(c.reason)))
        << en(report.message).toStdString();
    EXPECT_EQ(w.FSampleCount, c.framesLoaded);
    EXPECT_EQ(w.FDataSize, c.framesLoaded * 4u);
    EXPECT_EQ(w.FData, Bytes(samples.begin(), samples.begin() + c.framesLoaded * 4));
    EXPECT_EQ(w.FSeconds, c.framesLoaded / 44100.0);
    EXPECT_EQ(w.FData.empty(), w.data() == nullptr);
    expectHeaderAgrees(file);
}

INSTANTIATE_TEST_SUITE_P(Files, CutShortTest,
    ::testing::ValuesIn(std::vector<CutCase>{
        {"Truncated", 4000, 1002, 250, 1000,
            "the file ends 2 998 bytes before its data chunk does; loaded 250 of 1 000 frames"},
        {"SizeNeverFilledIn", 0xFFFFFFFF, 400, 100, 0x3FFFFFFF, "never filled in"},
        {"LessThanOneFrame", 4000, 3, 0, 1000, "loaded 0 of 1 000 frames"},
        {"NoSampleBytes", 100, 0, 0, 25, "ends 100 bytes"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Float samples that are not finite numbers read as 0, counted in the report; a load
// that is also cut short says both.
TEST(WavReadTest, NonFiniteFloatsReadAsZeroAndAreCounted)
{
    const double inf = HUGE_VAL;
    Bytes f64 = bytesOf<double>({-inf, 1.0e308, 0.25});
    f64.push_back(0x7F); // part of a frame, not loaded
    f64.push_back(0xF8);
    const struct {
        Bytes file;
        std::vector<double> samples;
        uint64_t nonFinite;
        bool truncated;
    } files[] = {{riffFile({{"fmt ", fmtBody({3, 2, 8000, 32})},
                      {"data", bytesOf<float>({NAN, 0.5f, float(inf), -float(inf), 3.0f, 0})}}),
                     {0.0, 0.5, 0.0, 0.0, 3.0, 0.0}, 3, false},
        {riffFile({{"fmt ", fmtBody({3, 1, 8000, 64})}, {"data", f64, 32, false}}),
            {0.0, 1.0e308, 0.25}, 1, true}};
    for (const auto& c : files) {
        TWave w;
        WaveLoadReport report;
        ASSERT_EQ(w.LoadFromMemory(c.file, &report), kLoadOk);
        EXPECT_EQ(report.nonFinite, c.nonFinite);
        EXPECT_TRUE(
            en(report.message)
                .contains(QStringLiteral(
                    "%1 samples were not finite numbers (NaN or infinite) and were read as 0")
                              .arg(c.nonFinite)))
            << en(report.message).toStdString();
        EXPECT_EQ(report.truncated, c.truncated);
        EXPECT_EQ(en(report.message).contains("the file ends 6 bytes before"), c.truncated);
        std::vector<double> read(c.samples.size(), -9.0);
        for (std::size_t i = 0; i < read.size(); ++i)
            read[i]
                = w.GetSampleF(uint32_t(i / w.FFormat.nChannels), uint8_t(i % w.FFormat.nChannels));
        EXPECT_EQ(read, c.samples);
    }
}

// Whatever lies at the path: a failure names the cause and keeps the previous sound;
// nothing blocks, and a sparse file is walked without reading its holes (the ctest
// TIMEOUT of test_audio catches a hang or a byte-by-byte walk of 4 GiB).
struct DiskCase {
    const char* name;
    std::function<QString(const QString& dir)> make; // returns the path to load
    uint8_t code;
    const char* reason; // a part of the message
    uint32_t frames; // loaded, on success
};

class DiskFileTest : public ::testing::TestWithParam<DiskCase> { };

TEST_P(DiskFileTest, DecidesQuicklyAndNamesTheCause)
{
    const DiskCase& c = GetParam();
    QTemporaryDir dir;
    const QString path = c.make(dir.path());
    ASSERT_FALSE(path.isEmpty());
    TWave w = previousSound();
    const TWave before = w;
    WaveLoadReport report;
    EXPECT_EQ(w.LoadFromFile(path, &report), c.code);
    EXPECT_TRUE(en(report.message).contains(QString::fromUtf8(c.reason)))
        << en(report.message).toStdString();
    if (c.code == kLoadOk)
        EXPECT_EQ(w.FSampleCount, c.frames);
    else
        expectSame(w, before);
}

// A format chunk, then size - 36 bytes that are a hole but for `tail` at the end.
QString sparseFile(const QString& dir, uint64_t size, const Bytes& tail = {})
{
    const QString path = dir + "/sparse.wav";
    QFile f(path);
    const Bytes head = riffFile({{"fmt ", kFmt16Stereo}});
    if (!f.open(QIODevice::WriteOnly) || !f.resize(qint64(size))
        || f.write(reinterpret_cast<const char*>(head.data()), qint64(head.size())) != 36
        || !f.seek(qint64(size - tail.size()))
        || f.write(reinterpret_cast<const char*>(tail.data()), qint64(tail.size()))
            != qint64(tail.size()))
        return {};
    return path;
}

constexpr uint64_t k4GiB = uint64_t(1) << 32;

INSTANTIATE_TEST_SUITE_P(Kinds, DiskFileTest,
    ::testing::ValuesIn(std::vector<DiskCase>{
        {"CutShort",
            [](const QString& dir) {
                const QString path = dir + "/cut.wav";
                return writeFile(path,
                           riffFile({{"fmt ", kFmt16Stereo}, {"data", pattern(20), 40, false}}))
                    ? path
                    : QString();
            },
            kLoadOk, "the file ends 20 bytes before its data chunk does", 5},
        {"Missing", [](const QString& dir) { return dir + "/missing.wav"; }, kLoadFailed,
            "cannot open: No such file or directory", 0},
        {"Folder", [](const QString& dir) { return dir; }, kLoadFailed, "not a regular file", 0},
        {"DevZero", [](const QString&) { return QStringLiteral("/dev/zero"); }, kLoadFailed,
            "not a regular file", 0},
        {"FifoWithoutWriter",
            [](const QString& dir) {
                const QString path = dir + "/fifo.wav";
                return mkfifo(QFile::encodeName(path).constData(), 0600) == 0 ? path : QString();
            },
            kLoadFailed, "not a regular file", 0},
        {"Sparse4GiBOfZeros", [](const QString& dir) { return sparseFile(dir, k4GiB); },
            kLoadFailed, "no data chunk", 0},
        // the walk goes on at 36, 44, ...: 2^32 - 20 is one of its steps
        {"Sparse4GiBWithDataAtTheEnd",
            [](const QString& dir) {
                Bytes tail = text("data");
                put32(tail, 8);
                const Bytes samples = pattern(8, 5);
                tail.insert(tail.end(), samples.begin(), samples.end());
                tail.resize(20, 0);
                return sparseFile(dir, k4GiB, tail);
            },
            kLoadOk, "", 2}}),
    [](const auto& info) { return std::string(info.param.name); });

// Reading through a file's window gives what reading the same bytes in memory does:
// chunk headers across the window's edges (10-byte chunks: whatever the window's size,
// a power of two, some header straddles each of its ends), long runs of zero bytes
// (written, not holes) that end on a chunk boundary or off it, and a cut-short data
// chunk.
TEST(WavReadTest, FileAndMemoryAgree)
{
    for (const std::size_t zeros : {160000, 160003}) {
        std::vector<Chunk> chunks;
        for (int i = 0; i < 30000; ++i)
            chunks.push_back({i % 3 ? "JUNK" : "LIST", pattern(2, uint8_t(i))});
        Bytes file = riffFile(chunks);
        file.resize(file.size() + zeros, 0);
        const Bytes rest
            = riffFile({{"fmt ", kFmt16Stereo}, {"data", pattern(4000, 2), 5000, false}});
        file.insert(file.end(), rest.begin() + 12, rest.end());

        QTemporaryDir dir;
        ASSERT_TRUE(writeFile(dir.filePath("soup.wav"), file));
        TWave fromFile, fromMemory;
        WaveLoadReport fileReport, memoryReport;
        EXPECT_EQ(fromFile.LoadFromFile(dir.filePath("soup.wav"), &fileReport),
            fromMemory.LoadFromMemory(file, &memoryReport));
        EXPECT_EQ(fileReport.message, memoryReport.message);
        EXPECT_EQ(fromFile.FData, fromMemory.FData);
        EXPECT_EQ(fromFile.FSampleCount, zeros % 8 ? 0u : 1000u)
            << en(memoryReport.message).toStdString();
    }
}

} // namespace
} // namespace kestrelon
