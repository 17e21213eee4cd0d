// TWave: header defaults, sample access at every width, rounding and clipping,
// bulk channel access, resizing.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "WavBuilder.h"
#include "base/Errors.h"

namespace kestrelon {
namespace {

using test::makeWave;

// The integer stored for sample `sample` of a `bytes`-wide integer sound.
int64_t storedInt(const TWave& w, uint32_t sample, unsigned bytes)
{
    const uint8_t* p = w.FData.data() + std::size_t(sample) * bytes;
    uint64_t v = 0;
    for (unsigned i = 0; i < bytes; ++i)
        v |= uint64_t(p[i]) << (8 * (8 - bytes + i));
    return bytes == 1 ? p[0] : int64_t(v) >> (8 * (8 - bytes));
}

TEST(TWaveTest, NewWaveIsEmptyMono8Bit22050)
{
    TWave w;
    const WAVEFORMATEX& f = w.FFormat;
    EXPECT_EQ(std::tie(f.nChannels, f.nSamplesPerSec, f.wBitsPerSample, f.nBlockAlign,
                  f.nAvgBytesPerSec, f.wFormatTag, f.cbSize),
        std::make_tuple(1, 22050u, 8, 1, 22050u, 1, 0));
    EXPECT_EQ(w.FSampleCount + w.FDataSize, 0u);
    EXPECT_EQ(w.data(), nullptr);
    EXPECT_EQ(w.GetSample(0, 0), 0);
    w.SetSampleCount(22050);
    ASSERT_EQ(w.FDataSize, 22050u);
    EXPECT_EQ(std::count(w.FData.begin(), w.FData.end(), 128), 22050);
    EXPECT_EQ(w.FSeconds, 1.0);
}

// x written with SetSampleF -> the integer stored (integer widths), what GetSampleF reads
// back and what GetSample reads on the 16-bit scale.
struct QuantCase {
    uint16_t bits, tag;
    double x;
    int64_t stored;
    double readBack;
    int16_t sixteen;
    bool clipped;
    bool over = false; // a float kept beyond full scale
};

class QuantizeTest : public ::testing::TestWithParam<QuantCase> { };

TEST_P(QuantizeTest, StoresRoundedClippedValueAndReadsItBack)
{
    const QuantCase c = GetParam();
    TWave w = makeWave(c.bits, 1, 4, c.tag);
    ClipStats clips;
    w.SetSampleF(2, 0, c.x, &clips);
    if (c.tag == 1) {
        EXPECT_EQ(storedInt(w, 2, c.bits / 8), c.stored);
    }
    EXPECT_EQ(w.GetSampleF(2, 0), c.readBack);
    EXPECT_EQ(w.GetSample(2, 0), c.sixteen);
    EXPECT_EQ(clips.clipped, c.clipped ? 1u : 0u);
    EXPECT_EQ(clips.over, c.over ? 1u : 0u);
    if (std::isfinite(c.x)) {
        EXPECT_EQ(clips.peak, std::fabs(c.x));
    }
}

constexpr double k15 = 1.0 / 32768, k23 = 1.0 / 8388608, k31 = 1.0 / 2147483648.0;
constexpr int32_t kMin32 = std::numeric_limits<int32_t>::min();
constexpr int64_t kMax64 = std::numeric_limits<int64_t>::max(), kMin64 = -kMax64 - 1;
constexpr double k39 = 0x1p-39, k47 = 0x1p-47, k63 = 0x1p-63;
constexpr double kInf = std::numeric_limits<double>::infinity(), kBig = 12345.678901234567;

// 8 bits go through the 16-bit value and keep its high byte; halves round toward +inf;
// every finite value saturates, NaN stores 0 and counts as clipped. 40 to 64 bits alike,
// with the largest 64-bit value read back as 1.0 (the nearest Double). Floats keep what
// they can hold, counted when beyond full scale; values that are not finite store 0,
// beyond Float the largest Float.
INSTANTIATE_TEST_SUITE_P(Widths, QuantizeTest,
    ::testing::ValuesIn(std::vector<QuantCase>{{8, 1, 0.5, 192, 0.5, 16384, false},
        {8, 1, 1.0, 255, 0.9921875, 32512, true}, {8, 1, -1.0, 0, -1.0, -32768, false},
        {8, 1, 255.0 * k15, 128, 0.0, 0, false}, {8, 1, 256.0 * k15, 129, 1.0 / 128, 256, false},
        {16, 1, 1.0, 32767, 32767 * k15, 32767, true}, {16, 1, -1.5, -32768, -1.0, -32768, true},
        {16, 1, 0.5 * k15, 1, k15, 1, false}, {16, 1, -0.5 * k15, 0, 0.0, 0, false},
        {16, 1, -2.5 * k15, -2, -2 * k15, -2, false},
        {16, 1, 32766.5 * k15, 32767, 32767 * k15, 32767, false},
        {16, 1, kInf, 32767, 32767 * k15, 32767, true}, {16, 1, std::nan(""), 0, 0.0, 0, true},
        {24, 1, 0.5, 4194304, 0.5, 16384, false}, {24, 1, 1.0, 8388607, 8388607 * k23, 32767, true},
        {24, 1, -1.0, -8388608, -1.0, -32768, false}, {24, 1, -1.5 * k23, -1, -k23, -1, false},
        {24, 1, -3.0, -8388608, -1.0, -32768, true}, {32, 1, 0.25, 536870912, 0.25, 8192, false},
        {32, 1, 1.0, 2147483647, 2147483647 * k31, 32767, true},
        {32, 1, -1.0, kMin32, -1.0, -32768, false}, {32, 1, 2.5 * k31, 3, 3 * k31, 0, false},
        {32, 1, -1.0e300, kMin32, -1.0, -32768, true}, {40, 1, 0.5, 1LL << 38, 0.5, 16384, false},
        {40, 1, -1.7 * k39, -2, -2 * k39, -1, false},
        {48, 1, 1.0, (1LL << 47) - 1, 1.0 - k47, 32767, true},
        {48, 1, 2.5 * k47, 3, 3 * k47, 0, false}, {56, 1, -1.0, -(1LL << 55), -1.0, -32768, false},
        {56, 1, -7.0, -(1LL << 55), -1.0, -32768, true}, {64, 1, 1.0, kMax64, 1.0, 32767, true},
        {64, 1, -1.0, kMin64, -1.0, -32768, false}, {64, 1, 2.5 * k63, 3, 3 * k63, 0, false},
        {64, 1, -1.0e300, kMin64, -1.0, -32768, true}, {64, 1, std::nan(""), 0, 0.0, 0, true},
        {64, 1, -kInf, kMin64, -1.0, -32768, true}, {64, 3, kBig, 0, kBig, 32767, false, true},
        {64, 3, -1.0, 0, -1.0, -32768, false}, {64, 3, -1.0e-300, 0, -1.0e-300, 0, false},
        {64, 3, std::nan(""), 0, 0.0, 0, true}, {64, 3, -kInf, 0, 0.0, 0, true},
        {32, 3, 0.1, 0, double(0.1f), 3277, false},
        {32, 3, 1.0e300, 0, double(FLT_MAX), 32767, true}, {32, 3, -0.75, 0, -0.75, -24576, false},
        {32, 3, -1.5, 0, -1.5, -32768, false, true}}));

// SetSample takes values on the 16-bit scale at every width.
TEST(TWaveTest, SixteenBitScaleAtEveryWidth)
{
    // 8 bits: v stores (v + 32768) div 256
    TWave w8 = makeWave(8, 1, 1);
    const std::pair<int16_t, uint8_t> bytes[]
        = {{-32768, 0}, {-1, 127}, {0, 128}, {255, 128}, {256, 129}, {32767, 255}};
    for (auto [v, b] : bytes) {
        w8.SetSample(0, 0, v);
        EXPECT_EQ(w8.FData[0], b) << v;
    }
    TWave w24 = makeWave(24, 1, 1), w32 = makeWave(32, 1, 1), f32 = makeWave(32, 1, 1, 3);
    w24.SetSample(0, 0, -12345);
    EXPECT_EQ(storedInt(w24, 0, 3), -12345 * 256);
    w32.SetSample(0, 0, 32767);
    EXPECT_EQ(storedInt(w32, 0, 4), 32767 * 65536);
    for (uint16_t bits : {40, 48, 56, 64}) {
        TWave w = makeWave(bits, 1, 1);
        w.SetSample(0, 0, -32768);
        EXPECT_EQ(storedInt(w, 0, bits / 8), kMin64 >> (64 - bits)) << bits;
        w.SetSample(0, 0, 12345);
        EXPECT_EQ(storedInt(w, 0, bits / 8), int64_t(12345) << (bits - 16)) << bits;
    }
    f32.SetSample(0, 0, -16384);
    EXPECT_EQ(f32.GetSampleF(0, 0), -0.5);
}

// Samples outside the block, of a width without a sample type, or beyond a block that a
// header change made too small read 0 and are never written.
TEST(TWaveTest, AccessOutsideTheBlockReadsZeroAndWritesNothing)
{
    TWave w = makeWave(16, 2, 3);
    w.FData = test::pattern(12, 1);
    for (auto [i, c] : {std::pair<uint32_t, uint8_t>{3, 0}, {0, 2}, {UINT32_MAX, 0}, {0, 255}}) {
        w.SetSample(i, c, 7);
        w.SetSampleF(i, c, 0.5);
        EXPECT_EQ(w.GetSample(i, c) + w.GetSampleF(i, c), 0.0) << i << " " << int(c);
    }
    EXPECT_EQ(w.FData, test::pattern(12, 1));
    EXPECT_EQ(w.GetSample(2, 1), 11 | 12 << 8);

    TWave w12 = makeWave(12, 3, 4);
    EXPECT_EQ(w12.FFormat.nBlockAlign, 3);
    w12.FData.assign(12, 0x55);
    w12.SetSampleF(1, 1, 0.5);
    EXPECT_EQ(w12.GetSample(1, 1), 0);
    EXPECT_EQ(w12.FData, std::vector<uint8_t>(12, 0x55));
    // a float tag with a width that is not a float width is reset to integer PCM
    EXPECT_EQ(makeWave(16, 1, 1, 3).FFormat.wFormatTag, 1);

    TWave grown = makeWave(16, 1, 10); // 20 bytes, then 12 bytes per frame without a resize
    grown.FFormat.nChannels = 4;
    grown.FFormat.wBitsPerSample = 24;
    grown.UpdateFormat();
    std::vector<double> io(10, 0.25);
    grown.WriteChannelF(2, 0, 10, io.data());
    grown.SetSampleF(9, 3, 0.5);
    grown.SetSampleF(0, 3, 0.5);
    EXPECT_EQ(grown.GetSampleF(0, 3), 0.5);
    EXPECT_EQ(grown.GetSampleF(9, 3), 0.0);
    grown.ReadChannelF(2, 0, 10, io.data());
    EXPECT_EQ(io[0], 0.25);
    EXPECT_EQ(io[9], 0.0);
    EXPECT_EQ(grown.FData.size(), 20u);
}

// Resizing keeps the first bytes and adds silence (128 for 8 bits); a block of 0 bytes
// per frame stays empty; sizes out of range throw and keep the block.
TEST(TWaveTest, ResizeAndHeaderErrors)
{
    TWave w = makeWave(16, 2, 10);
    const std::vector<uint8_t> first = w.FData = test::pattern(40, 1);
    w.SetSampleCount(20);
    EXPECT_EQ(w.FData, [&] {
        auto b = first;
        b.resize(80, 0);
        return b;
    }());
    EXPECT_EQ(w.FSeconds, 20.0 / 8000);
    w.SetSampleCount(5);
    EXPECT_EQ(w.FData, std::vector<uint8_t>(first.begin(), first.begin() + 20));
    w.SetSampleCount(0);
    EXPECT_EQ(w.data(), nullptr);
    EXPECT_EQ(w.FDataSize + w.FSampleCount + w.FSeconds, 0.0);
    TWave w8 = makeWave(8, 1, 2);
    w8.FData = {1, 2};
    w8.SetSampleCount(4);
    EXPECT_EQ(w8.FData, (std::vector<uint8_t>{1, 2, 128, 128}));
    TWave w4 = makeWave(16, 1, 10);
    w4.FFormat.wBitsPerSample = 4;
    w4.UpdateFormat();
    w4.SetSampleCount(1000);
    EXPECT_EQ(w4.FFormat.nBlockAlign + w4.FData.size() + w4.FSampleCount + w4.FSeconds, 0.0);

    TWave big = makeWave(32, 2, 3); // 8 bytes per frame
    const std::vector<uint8_t> before = big.FData;
    EXPECT_THROW(big.SetSampleCount(0x10000000u), IntOverflowError); // 2^31 bytes
    EXPECT_EQ(big.FData, before);
    EXPECT_EQ(big.FSampleCount, 3u);
    // a sample rate of 0: the block is in place, the duration is that of before
    big.FFormat.nSamplesPerSec = 0;
    big.UpdateFormat();
    const double seconds = big.FSeconds;
    EXPECT_THROW(big.SetSampleCount(6), FloatError);
    EXPECT_EQ(big.FDataSize, 48u);
    EXPECT_EQ(big.FSeconds, seconds);
    // 64 bytes * 4e7 per second, or 80000 bytes per frame: out of range, block kept
    for (auto [channels, bits, rate, align] :
        {std::tuple<uint16_t, uint16_t, uint32_t, int>{8, 64, 40000000, 64}, {40000, 16, 1, 1}}) {
        TWave h;
        h.FFormat.nChannels = channels;
        h.FFormat.wBitsPerSample = bits;
        h.FFormat.nSamplesPerSec = rate;
        EXPECT_THROW(h.UpdateFormat(), IntOverflowError) << channels;
        EXPECT_EQ(h.FFormat.nBlockAlign, align) << channels;
    }
}

// The bulk forms against the per-sample ones, for every sample type.
class BulkTest : public ::testing::TestWithParam<std::pair<uint16_t, uint16_t>> { };

TEST_P(BulkTest, MatchesPerSampleAccess)
{
    const auto [bits, tag] = GetParam();
    constexpr uint32_t frames = 1000;
    TWave bulk = makeWave(bits, 3, frames, tag);
    std::mt19937_64 rng(bits * 7 + tag);
    std::uniform_real_distribution<double> dist(-1.3, 1.3);
    std::vector<double> in(frames + 50);
    for (double& x : in)
        x = dist(rng);
    const double special[] = {std::nan(""), HUGE_VAL, 1.0, -1.0, 0.5 / 32768};
    std::copy(std::begin(special), std::end(special), in.begin() + 5);
    TWave single = bulk;

    // a range that runs past the end: the frames beyond are not written
    ClipStats bulkClips, singleClips;
    bulk.WriteChannelF(1, 30, uint32_t(in.size()), in.data(), &bulkClips);
    for (uint32_t i = 0; i < in.size(); ++i)
        single.SetSampleF(30 + i, 1, in[i], &singleClips);
    EXPECT_EQ(bulk.FData, single.FData);
    EXPECT_EQ(bulkClips.clipped, singleClips.clipped);
    EXPECT_EQ(bulkClips.over, singleClips.over);
    EXPECT_EQ(bulkClips.peak, singleClips.peak);
    EXPECT_GT(bulkClips.clipped, 0u);

    std::vector<double> out(frames + 20, -9.0);
    bulk.ReadChannelF(1, 25, uint32_t(out.size()), out.data());
    for (uint32_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], bulk.GetSampleF(25 + i, 1)) << i;
    for (uint32_t i = 0; i < frames; ++i) // channels 0 and 2 untouched
        ASSERT_EQ(bulk.GetSampleF(i, 0) + bulk.GetSampleF(i, 2), 0.0);
    // a first frame beyond the end reads zeros; a channel beyond nChannels too
    bulk.ReadChannelF(0, frames + 5, 3, out.data());
    bulk.ReadChannelF(3, 0, 3, out.data() + 3);
    EXPECT_TRUE(std::all_of(out.begin(), out.begin() + 6, [](double x) { return x == 0.0; }));
}

INSTANTIATE_TEST_SUITE_P(Kinds, BulkTest,
    ::testing::ValuesIn(std::vector<std::pair<uint16_t, uint16_t>>{
        {8, 1}, {16, 1}, {24, 1}, {32, 1}, {40, 1}, {48, 1}, {56, 1}, {64, 1}, {32, 3}, {64, 3}}),
    [](const auto& info) {
        return (info.param.second == 3 ? "float" : "int") + std::to_string(info.param.first);
    });

} // namespace
} // namespace kestrelon
