// TWave: header defaults, sample access at every width, rounding and clipping,
// bulk channel access, resizing.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "audio/TWave.h"
#include "base/Errors.h"

namespace kestrelon {
namespace {

TWave makeWave(uint16_t bits, uint16_t channels, uint32_t frames, uint16_t tag = 1)
{
    TWave w;
    w.FFormat.wFormatTag = tag;
    w.FFormat.wBitsPerSample = bits;
    w.FFormat.nChannels = channels;
    w.FFormat.nSamplesPerSec = 8000;
    w.UpdateFormat();
    w.SetSampleCount(frames);
    return w;
}

int32_t storedInt(const TWave& w, uint32_t sample, unsigned bytes)
{
    const uint8_t* p = w.FData.data() + std::size_t(sample) * bytes;
    switch (bytes) {
    case 1:
        return p[0];
    case 2: {
        int16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    case 3:
        return int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8;
    default: {
        int32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    }
}

TEST(TWaveTest, NewWaveIsEmptyMono8Bit22050)
{
    TWave w;
    EXPECT_EQ(w.FFormat.nChannels, 1);
    EXPECT_EQ(w.FFormat.nSamplesPerSec, 22050u);
    EXPECT_EQ(w.FFormat.wBitsPerSample, 8);
    EXPECT_EQ(w.FFormat.nBlockAlign, 1);
    EXPECT_EQ(w.FFormat.nAvgBytesPerSec, 22050u);
    EXPECT_EQ(w.FFormat.wFormatTag, 1);
    EXPECT_EQ(w.FFormat.cbSize, 0);
    EXPECT_EQ(w.FSampleCount, 0u);
    EXPECT_EQ(w.FDataSize, 0u);
    EXPECT_EQ(w.data(), nullptr);
    EXPECT_EQ(w.FSeconds, 0.0);
    EXPECT_EQ(w.GetSample(0, 0), 0);

    w.SetSampleCount(22050);
    ASSERT_EQ(w.FDataSize, 22050u);
    EXPECT_EQ(std::count(w.FData.begin(), w.FData.end(), 128), 22050);
    EXPECT_EQ(w.FSeconds, 1.0);
    EXPECT_EQ(w.GetSampleF(0, 0), 0.0);
}

// x written with SetSampleF -> integer stored, and what GetSampleF reads back.
struct QuantCase {
    uint16_t bits;
    double x;
    int32_t stored;
    double readBack;
    bool clipped;
};

class QuantizeTest : public ::testing::TestWithParam<QuantCase> { };

TEST_P(QuantizeTest, StoresRoundedClippedValueAndReadsItBack)
{
    const QuantCase c = GetParam();
    TWave w = makeWave(c.bits, 1, 4);
    ClipStats clips;
    w.SetSampleF(2, 0, c.x, &clips);
    EXPECT_EQ(storedInt(w, 2, c.bits / 8), c.stored);
    EXPECT_EQ(w.GetSampleF(2, 0), c.readBack);
    EXPECT_EQ(clips.clipped, c.clipped ? 1u : 0u);
    if (std::isfinite(c.x)) {
        EXPECT_EQ(clips.peak, std::fabs(c.x));
    }
}

constexpr double k15 = 1.0 / 32768;
constexpr double k23 = 1.0 / 8388608;
constexpr double k31 = 1.0 / 2147483648.0;

INSTANTIATE_TEST_SUITE_P(Widths, QuantizeTest,
    ::testing::Values(
        // 8 bits go through the 16-bit value, then keep its high byte
        QuantCase{8, 0.5, 192, 0.5, false}, QuantCase{8, 1.0, 255, 0.9921875, true},
        QuantCase{8, -1.0, 0, -1.0, false}, QuantCase{8, 255.0 * k15, 128, 0.0, false},
        QuantCase{8, 256.0 * k15, 129, 1.0 / 128, false},
        // 16 bits: halves go toward plus infinity, every finite value saturates
        QuantCase{16, 1.0, 32767, 32767 * k15, true}, QuantCase{16, -1.5, -32768, -1.0, true},
        QuantCase{16, 1000.0, 32767, 32767 * k15, true},
        QuantCase{16, 1.0e12, 32767, 32767 * k15, true}, QuantCase{16, -1.0e12, -32768, -1.0, true},
        QuantCase{16, 0.5 * k15, 1, k15, false}, QuantCase{16, -0.5 * k15, 0, 0.0, false},
        QuantCase{16, -1.5 * k15, -1, -k15, false}, QuantCase{16, 2.5 * k15, 3, 3 * k15, false},
        QuantCase{16, -2.5 * k15, -2, -2 * k15, false},
        QuantCase{16, 32766.5 * k15, 32767, 32767 * k15, false},
        QuantCase{16, std::numeric_limits<double>::infinity(), 32767, 32767 * k15, true},
        QuantCase{16, std::nan(""), 0, 0.0, true},
        // 24 and 32 bits at full precision
        QuantCase{24, 0.5, 4194304, 0.5, false}, QuantCase{24, 1.0, 8388607, 8388607 * k23, true},
        QuantCase{24, -1.0, -8388608, -1.0, false}, QuantCase{24, 0.5 * k23, 1, k23, false},
        QuantCase{24, -0.5 * k23, 0, 0.0, false}, QuantCase{24, -1.5 * k23, -1, -k23, false},
        QuantCase{24, -3.0, -8388608, -1.0, true}, QuantCase{32, 0.25, 536870912, 0.25, false},
        QuantCase{32, 1.0, 2147483647, 2147483647 * k31, true},
        QuantCase{32, -1.0, std::numeric_limits<int32_t>::min(), -1.0, false},
        QuantCase{32, -1.5 * k31, -1, -k31, false}, QuantCase{32, 2.5 * k31, 3, 3 * k31, false},
        QuantCase{32, -1.0e300, std::numeric_limits<int32_t>::min(), -1.0, true}));

TEST(TWaveTest, FloatWidthsStoreValuesAsTheyAre)
{
    TWave f64 = makeWave(64, 1, 4, 3);
    ASSERT_TRUE(f64.isFloat());
    ClipStats clips;
    const double big = 12345.678901234567;
    f64.SetSampleF(0, 0, big, &clips);
    f64.SetSampleF(1, 0, -1.0e-300, &clips);
    f64.SetSampleF(2, 0, std::nan(""), &clips);
    f64.SetSampleF(3, 0, -std::numeric_limits<double>::infinity(), &clips);
    EXPECT_EQ(f64.GetSampleF(0, 0), big);
    EXPECT_EQ(f64.GetSampleF(1, 0), -1.0e-300);
    EXPECT_EQ(f64.GetSampleF(2, 0), 0.0);
    EXPECT_EQ(f64.GetSampleF(3, 0), 0.0);
    EXPECT_EQ(clips.clipped, 2u);
    EXPECT_EQ(f64.GetSample(0, 0), 32767); // on the 16-bit scale
    EXPECT_EQ(f64.GetSample(1, 0), 0);

    TWave f32 = makeWave(32, 2, 3, 3);
    f32.SetSampleF(0, 1, 0.1);
    f32.SetSampleF(1, 1, 1.0e300);
    f32.SetSampleF(2, 0, -0.75);
    EXPECT_EQ(f32.GetSampleF(0, 1), double(0.1f));
    EXPECT_EQ(f32.GetSampleF(1, 1), double(FLT_MAX));
    EXPECT_EQ(f32.GetSampleF(2, 0), -0.75);
    EXPECT_EQ(f32.GetSample(2, 0), -24576);
    f32.SetSample(0, 0, -16384);
    EXPECT_EQ(f32.GetSampleF(0, 0), -0.5);
}

TEST(TWaveTest, SixteenBitScaleAtEveryWidth)
{
    // 8 bits: byte b reads b*256 - 32768, v stores (v + 32768) div 256
    TWave w8 = makeWave(8, 1, 1);
    const std::pair<int16_t, uint8_t> bytes[]
        = {{-32768, 0}, {-1, 127}, {0, 128}, {255, 128}, {256, 129}, {32767, 255}};
    for (auto [v, b] : bytes) {
        w8.SetSample(0, 0, v);
        EXPECT_EQ(w8.FData[0], b) << v;
    }
    EXPECT_EQ(w8.GetSample(0, 0), 32512);

    TWave w24 = makeWave(24, 1, 1);
    w24.SetSample(0, 0, -12345);
    EXPECT_EQ(storedInt(w24, 0, 3), -12345 * 256);
    EXPECT_EQ(w24.GetSample(0, 0), -12345);
    w24.SetSampleF(0, 0, -1.0 * k23); // -1 on 24 bits: the top 16 bits are -1
    EXPECT_EQ(w24.GetSample(0, 0), -1);

    TWave w32 = makeWave(32, 1, 1);
    w32.SetSample(0, 0, 32767);
    EXPECT_EQ(storedInt(w32, 0, 4), 32767 * 65536);
    EXPECT_EQ(w32.GetSample(0, 0), 32767);
}

TEST(TWaveTest, OutOfRangeAccessReadsZeroAndWritesNothing)
{
    TWave w = makeWave(16, 2, 3);
    for (uint32_t i = 0; i < 3; ++i)
        for (uint8_t c = 0; c < 2; ++c)
            w.SetSample(i, c, int16_t(100 + i * 2 + c));
    const std::vector<uint8_t> before = w.FData;
    w.SetSample(3, 0, 7);
    w.SetSample(0, 2, 7);
    w.SetSampleF(3, 1, 0.5);
    w.SetSampleF(0, 255, 0.5);
    EXPECT_EQ(w.FData, before);
    EXPECT_EQ(w.GetSample(3, 0), 0);
    EXPECT_EQ(w.GetSample(0, 2), 0);
    EXPECT_EQ(w.GetSampleF(std::numeric_limits<uint32_t>::max(), 0), 0.0);
    EXPECT_EQ(w.GetSample(2, 1), 105);
}

TEST(TWaveTest, UnreadableWidthsReadZeroAndIgnoreWrites)
{
    TWave w12 = makeWave(12, 3, 4);
    EXPECT_EQ(w12.FFormat.nBlockAlign, 3);
    EXPECT_EQ(w12.FDataSize, 12u);
    w12.FData.assign(12, 0x55);
    EXPECT_EQ(w12.GetSample(1, 1), 0);
    w12.SetSampleF(1, 1, 0.5);
    EXPECT_EQ(w12.FData, std::vector<uint8_t>(12, 0x55));

    // a float tag with a width that is not a float width is reset to integer PCM
    TWave w = makeWave(16, 1, 1, 3);
    EXPECT_EQ(w.FFormat.wFormatTag, 1);
    // 4 bits, or no channels: a block size of 0 empties the sound
    TWave w4 = makeWave(16, 1, 10);
    w4.FFormat.wBitsPerSample = 4;
    w4.UpdateFormat();
    EXPECT_EQ(w4.FFormat.nBlockAlign, 0);
    w4.SetSampleCount(1000);
    EXPECT_TRUE(w4.FData.empty());
    EXPECT_EQ(w4.FSampleCount, 0u);
    EXPECT_EQ(w4.FSeconds, 0.0);
}

TEST(TWaveTest, ResizeKeepsFirstBytesAndAddsSilence)
{
    TWave w = makeWave(16, 2, 10);
    for (std::size_t i = 0; i < 40; ++i)
        w.FData[i] = uint8_t(i + 1);
    const std::vector<uint8_t> first(w.FData.begin(), w.FData.end());
    w.SetSampleCount(20);
    ASSERT_EQ(w.FDataSize, 80u);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), w.FData.begin()));
    EXPECT_TRUE(std::all_of(w.FData.begin() + 40, w.FData.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(w.FSeconds, 20.0 / 8000);
    w.SetSampleCount(5);
    ASSERT_EQ(w.FDataSize, 20u);
    EXPECT_TRUE(std::equal(w.FData.begin(), w.FData.end(), first.begin()));
    w.SetSampleCount(0);
    EXPECT_EQ(w.data(), nullptr);
    EXPECT_EQ(w.FDataSize, 0u);
    EXPECT_EQ(w.FSampleCount, 0u);
    EXPECT_EQ(w.FSeconds, 0.0);

    TWave w8 = makeWave(8, 1, 2);
    w8.FData = {1, 2};
    w8.SetSampleCount(4);
    EXPECT_EQ(w8.FData, (std::vector<uint8_t>{1, 2, 128, 128}));
}

TEST(TWaveTest, ResizeAndHeaderErrors)
{
    TWave w = makeWave(32, 2, 3); // 8 bytes per frame
    const std::vector<uint8_t> before = w.FData;
    EXPECT_THROW(w.SetSampleCount(0x10000000u), IntOverflowError); // 2^31 bytes
    EXPECT_EQ(w.FData, before);
    EXPECT_EQ(w.FSampleCount, 3u);

    // a sample rate of 0: the block is in place, the duration is that of before
    w.FFormat.nSamplesPerSec = 0;
    w.UpdateFormat();
    const double seconds = w.FSeconds;
    EXPECT_THROW(w.SetSampleCount(6), FloatError);
    EXPECT_EQ(w.FSampleCount, 6u);
    EXPECT_EQ(w.FDataSize, 48u);
    EXPECT_EQ(w.FSeconds, seconds);

    TWave rate;
    rate.FFormat.nChannels = 8;
    rate.FFormat.wBitsPerSample = 64;
    rate.FFormat.nSamplesPerSec = 40000000; // 64 bytes * 4e7 > 2^31 - 1
    EXPECT_THROW(rate.UpdateFormat(), IntOverflowError);
    EXPECT_EQ(rate.FFormat.nBlockAlign, 64);

    TWave wide;
    wide.FFormat.nChannels = 40000;
    wide.FFormat.wBitsPerSample = 16; // 80000 bytes per frame
    wide.FFormat.nSamplesPerSec = 1;
    EXPECT_THROW(wide.UpdateFormat(), IntOverflowError);
    EXPECT_EQ(wide.FFormat.nBlockAlign, 1);
}

TEST(TWaveTest, HeaderChangedAfterResizeNeverReachesBeyondTheBlock)
{
    TWave w = makeWave(16, 1, 10); // 20 bytes
    w.FFormat.nChannels = 4; // no resize: frames 0..4 fit, the rest do not
    w.FFormat.wBitsPerSample = 24;
    w.UpdateFormat();
    std::vector<double> out(10, -7.0);
    w.ReadChannelF(3, 0, 10, out.data());
    EXPECT_EQ(out[0], 0.0);
    w.SetSampleF(9, 3, 0.5);
    w.SetSampleF(0, 3, 0.5);
    EXPECT_EQ(w.GetSampleF(0, 3), 0.5);
    EXPECT_EQ(w.GetSampleF(9, 3), 0.0);
    std::vector<double> in(10, 0.25);
    w.WriteChannelF(2, 0, 10, in.data());
    EXPECT_EQ(w.GetSampleF(0, 2), 0.25);
    EXPECT_EQ(w.FData.size(), 20u);
}

// The bulk forms against the per-sample ones, for every sample type.
struct BulkCase {
    uint16_t bits;
    uint16_t tag;
};

class BulkTest : public ::testing::TestWithParam<BulkCase> { };

TEST_P(BulkTest, MatchesPerSampleAccess)
{
    const BulkCase c = GetParam();
    constexpr uint32_t frames = 1000;
    TWave bulk = makeWave(c.bits, 3, frames, c.tag);
    std::mt19937_64 rng(c.bits * 7 + c.tag);
    std::uniform_real_distribution<double> dist(-1.3, 1.3);
    std::vector<double> in(frames + 50);
    for (double& x : in)
        x = dist(rng);
    in[5] = std::nan("");
    in[6] = std::numeric_limits<double>::infinity();
    in[7] = 1.0;
    in[8] = -1.0;
    in[9] = 0.5 / 32768;
    TWave single = bulk;

    // a range that runs past the end: the frames beyond are not written
    ClipStats bulkClips, singleClips;
    bulk.WriteChannelF(1, 30, uint32_t(in.size()), in.data(), &bulkClips);
    for (uint32_t i = 0; i < in.size(); ++i)
        single.SetSampleF(30 + i, 1, in[i], &singleClips);
    EXPECT_EQ(bulk.FData, single.FData);
    EXPECT_EQ(bulkClips.clipped, singleClips.clipped);
    EXPECT_EQ(bulkClips.peak, singleClips.peak);
    EXPECT_GT(bulkClips.clipped, 0u);

    std::vector<double> out(frames + 20, -9.0);
    bulk.ReadChannelF(1, 25, uint32_t(out.size()), out.data());
    for (uint32_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], bulk.GetSampleF(25 + i, 1)) << i;
    EXPECT_EQ(out.back(), 0.0);
    // channels 0 and 2 untouched
    for (uint32_t i = 0; i < frames; ++i)
        ASSERT_EQ(bulk.GetSampleF(i, 0) + bulk.GetSampleF(i, 2), 0.0);
    // a first frame beyond the end reads zeros; a channel beyond nChannels too
    bulk.ReadChannelF(0, frames + 5, 3, out.data());
    bulk.ReadChannelF(3, 0, 3, out.data() + 3);
    EXPECT_TRUE(std::all_of(out.begin(), out.begin() + 6, [](double x) { return x == 0.0; }));
}

INSTANTIATE_TEST_SUITE_P(Kinds, BulkTest,
    ::testing::Values(BulkCase{8, 1}, BulkCase{16, 1}, BulkCase{24, 1}, BulkCase{32, 1},
        BulkCase{32, 3}, BulkCase{64, 3}),
    [](const auto& info) {
        return std::string(info.param.tag == 3 ? "float" : "int") + std::to_string(info.param.bits);
    });

TEST(TWaveTest, ClipStatsMerge)
{
    ClipStats a{3, 0.5};
    a.merge(ClipStats{2, 1.25});
    a.merge(ClipStats{0, 0.75});
    EXPECT_EQ(a.clipped, 5u);
    EXPECT_EQ(a.peak, 1.25);
}

} // namespace
} // namespace kestrelon
