// Playback without a device: the format asked for, the conversion of the samples to it,
// and where the player is, with a fake output that pulls when the test says so.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <future>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "AppCoreTestSupport.h"
#include "FakeAudioOutput.h"
#include "app/Playback.h"

namespace kestrelon::test {
namespace {

// One QCoreApplication for the program (the player's timer needs an event loop).
class CoreEnvironment : public ::testing::Environment {
public:
    void SetUp() override { FApp = std::make_unique<QCoreApplication>(FArgc, FArgv); }
    void TearDown() override { FApp.reset(); }

private:
    int FArgc = 1;
    char FName[16] = "test_appcore";
    char* FArgv[2] = {FName, nullptr};
    std::unique_ptr<QCoreApplication> FApp;
};

[[maybe_unused]] ::testing::Environment* const gCoreEnvironment
    = ::testing::AddGlobalTestEnvironment(new CoreEnvironment);

WAVEFORMATEX header(uint16_t bits, bool isFloat, uint16_t channels, uint32_t rate)
{
    return makeWave(bits, isFloat, channels, rate, 0, [](uint32_t, uint16_t) {
        return 0.0;
    }).FFormat;
}

// The device samples in bytes, each on its own scale (0..255 for UInt8).
template <class T> std::vector<double> samplesOf(const QByteArray& bytes)
{
    std::vector<double> out(size_t(bytes.size()) / sizeof(T));
    for (size_t i = 0; i < out.size(); ++i) {
        T v;
        std::memcpy(&v, bytes.constData() + i * sizeof(T), sizeof(T));
        out[i] = double(v);
    }
    return out;
}

std::vector<double> deviceSamples(const QByteArray& bytes, PcmSample sample)
{
    switch (sample) {
    case PcmSample::UInt8:
        return samplesOf<uint8_t>(bytes);
    case PcmSample::Int16:
        return samplesOf<int16_t>(bytes);
    case PcmSample::Int32:
        return samplesOf<int32_t>(bytes);
    case PcmSample::Float:
        return samplesOf<float>(bytes);
    }
    return {};
}

QByteArray readAll(PcmConverter& converter, int chunk)
{
    QByteArray all;
    QByteArray buffer(chunk, 0);
    while (const int64_t n = converter.read(buffer.data(), chunk))
        all.append(buffer.constData(), n);
    return all;
}

// --- the device format ------------------------------------------------------------------

struct FormatCase {
    const char* name;
    uint16_t bits;
    bool isFloat;
    uint16_t channels;
    uint32_t rate;
    DeviceCaps caps;
    DeviceFormat expected;
};

class ChooseFormat : public ::testing::TestWithParam<FormatCase> { };

TEST_P(ChooseFormat, KeepsWhatTheDeviceTakesAndFallsBackOtherwise)
{
    const FormatCase& c = GetParam();
    EXPECT_EQ(
        chooseDeviceFormat(header(c.bits, c.isFloat, c.channels, c.rate), c.caps), c.expected);
}

DeviceCaps only(
    std::vector<PcmSample> samples, int maxChannels = 8, int minRate = 1, int maxRate = 384000)
{
    DeviceCaps caps;
    caps.samples = std::move(samples);
    caps.maxChannels = maxChannels;
    caps.minRate = minRate;
    caps.maxRate = maxRate;
    return caps;
}

using P = PcmSample;
INSTANTIATE_TEST_SUITE_P(Files, ChooseFormat,
    ::testing::Values(
        FormatCase{"S16Stereo", 16, false, 2, 44100, DeviceCaps{}, {44100, 2, P::Int16}},
        FormatCase{"U8Mono", 8, false, 1, 8000, DeviceCaps{}, {8000, 1, P::UInt8}},
        FormatCase{"S24", 24, false, 2, 96000, DeviceCaps{}, {96000, 2, P::Int32}},
        FormatCase{"S32", 32, false, 1, 48000, DeviceCaps{}, {48000, 1, P::Int32}},
        FormatCase{"S48", 48, false, 2, 48000, DeviceCaps{}, {48000, 2, P::Int32}},
        FormatCase{"F32", 32, true, 2, 48000, DeviceCaps{}, {48000, 2, P::Float}},
        FormatCase{"F64", 64, true, 2, 48000, DeviceCaps{}, {48000, 2, P::Float}},
        FormatCase{"S24WithoutInt32", 24, false, 2, 48000, only({P::Int16, P::Float}),
            {48000, 2, P::Float}},
        FormatCase{
            "U8WithoutUInt8", 8, false, 1, 22050, only({P::Int16, P::Int32}), {22050, 1, P::Int32}},
        FormatCase{"F64OnlyInt16", 64, true, 1, 22050, only({P::Int16}), {22050, 1, P::Int16}},
        FormatCase{
            "SixChannelsOnStereo", 16, false, 6, 48000, only({P::Int16}, 2), {48000, 2, P::Int16}},
        FormatCase{"RateAboveDevice", 16, false, 2, 192000, only({P::Int16}, 2, 8000, 48000),
            {48000, 2, P::Int16}},
        FormatCase{"RateBelowDevice", 16, false, 2, 4000, only({P::Int16}, 2, 8000, 48000),
            {8000, 2, P::Int16}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- conversion ------------------------------------------------------------------------------

double tone(uint32_t f, uint16_t c)
{
    return 0.9 * std::sin(0.01 * f * (c + 1)) - 0.05 * c;
}

// Sample (frame, channel) of an integer sound as its file stores it.
double stored(const TWave& w, int64_t frame, int channel)
{
    const int bytes = w.FFormat.wBitsPerSample / 8;
    const uint8_t* p = w.FData.data() + (size_t(frame) * w.FFormat.nChannels + channel) * bytes;
    if (bytes == 1)
        return p[0];
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= uint32_t(p[i]) << (32 - 8 * bytes + 8 * i);
    return double(int32_t(v) >> (32 - 8 * bytes));
}

// x on the 16-bit device scale: rounded, clipped, NaN silent.
double int16Of(double x)
{
    return std::isnan(x) ? 0.0 : std::clamp(std::floor(x * 32768 + 0.5), -32768.0, 32767.0);
}

struct ConversionCase {
    const char* name;
    TWave (*sound)();
    DeviceFormat device;
    double seek;
    int64_t frames; // device frames from the seek on
    double (*expected)(const TWave&, int64_t frame, int channel); // NaN: not checked
    double tolerance;
};

class Conversion : public ::testing::TestWithParam<ConversionCase> { };

TEST_P(Conversion, GivesTheDeviceEverySampleInItsFormat)
{
    const ConversionCase& c = GetParam();
    const TWave w = c.sound();
    PcmConverter conv;
    conv.setFormat(c.device);
    conv.setSource(&w);
    conv.seek(c.seek);
    EXPECT_EQ(conv.framesLeft(), c.frames);
    // Chunks that split frames.
    const auto out
        = deviceSamples(readAll(conv, 7 * c.device.bytesPerFrame() + 3), c.device.sample);
    EXPECT_TRUE(conv.atEnd());
    const size_t channels = size_t(c.device.channels);
    ASSERT_EQ(out.size(), size_t(c.frames) * channels);
    for (size_t i = 0; i < out.size(); ++i) {
        const double expected = c.expected(w, int64_t(i / channels), int(i % channels));
        if (std::isnan(expected))
            continue;
        ASSERT_NEAR(out[i], expected, c.tolerance)
            << "device frame " << i / channels << ", channel " << i % channels;
    }
}

// A ramp at 8 kHz in float.
TWave ramp()
{
    return makeWave(32, true, 1, 8000, 3000, [](uint32_t f, uint16_t) { return f / 4096.0; });
}

INSTANTIATE_TEST_SUITE_P(Formats, Conversion,
    ::testing::Values(
        // The same width is the file's data byte for byte.
        ConversionCase{"U8", [] { return makeWave(8, false, 2, 22050, 3001, tone); },
            {22050, 2, P::UInt8}, 0, 3001, stored, 0},
        ConversionCase{"S16", [] { return makeWave(16, false, 2, 22050, 3001, tone); },
            {22050, 2, P::Int16}, 0, 3001, stored, 0},
        ConversionCase{"S24ToInt32", [] { return makeWave(24, false, 1, 48000, 500, tone); },
            {48000, 1, P::Int32}, 0, 500,
            [](const TWave& w, int64_t f, int c) { return stored(w, f, c) * 256; }, 0},
        ConversionCase{"S16ToFloat", [] { return makeWave(16, false, 2, 48000, 400, tone); },
            {48000, 2, P::Float}, 0, 400,
            [](const TWave& w, int64_t f, int c) { return double(float(stored(w, f, c) / 32768)); },
            0},
        ConversionCase{"F64ClippedToInt16",
            [] {
                return makeWave(64, true, 1, 48000, 300, [](uint32_t f, uint16_t) {
                    return f == 7 ? 1.75 : f == 8 ? std::nan("") : 0.3 * std::cos(0.02 * f);
                });
            },
            {48000, 1, P::Int16}, 0, 300,
            [](const TWave& w, int64_t f, int) { return int16Of(w.GetSampleF(uint32_t(f), 0)); },
            0},
        // Channels: mono to every device channel; three on stereo: left = mean of 0 and 2;
        // stereo on four: the extra channels are silent.
        ConversionCase{"MonoToStereo", [] { return makeWave(16, false, 1, 8000, 100, tone); },
            {8000, 2, P::Int16}, 0, 100,
            [](const TWave& w, int64_t f, int) { return stored(w, f, 0); }, 0},
        ConversionCase{"ThreeToStereo", [] { return makeWave(16, false, 3, 8000, 100, tone); },
            {8000, 2, P::Int16}, 0, 100,
            [](const TWave& w, int64_t f, int c) {
                const uint32_t i = uint32_t(f);
                return c == 1 ? stored(w, f, 1)
                              : int16Of((w.GetSampleF(i, 0) + w.GetSampleF(i, 2)) / 2);
            },
            0},
        ConversionCase{"StereoToFour", [] { return makeWave(16, false, 2, 8000, 50, tone); },
            {8000, 4, P::Int16}, 0, 50,
            [](const TWave& w, int64_t f, int c) { return c < 2 ? stored(w, f, c) : 0.0; }, 0},
        // Other rates are interpolated: at 16 kHz every other frame lies half way; at
        // 6 kHz a device frame steps 4/3 sound frames.
        ConversionCase{"UpTo16kHz", ramp, {16000, 1, P::Float}, 0, 6000,
            [](const TWave&, int64_t j, int) { return j + 1 < 6000 ? j / 2.0 / 4096.0 : NAN; },
            1e-7},
        ConversionCase{"DownTo6kHzFromFrame100", ramp, {6000, 1, P::Float}, 100, 2175,
            [](const TWave&, int64_t j, int) { return (100 + j * 8000.0 / 6000.0) / 4096.0; },
            1e-6}),
    [](const auto& info) { return std::string(info.param.name); });

// --- the player ------------------------------------------------------------------------------

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto output = std::make_unique<FakeAudioOutput>();
        fake = output->state;
        player = std::make_unique<Player>(std::move(output));
    }
    std::shared_ptr<FakeAudioOutput::State> fake;
    std::unique_ptr<Player> player;
};

TEST_F(PlayerTest, PlaysFromTheStartFrameAndReportsWhatWasHeard)
{
    const TWave a = makeWave(16, false, 2, 44100, 44100, tone);
    player->setSounds(&a, nullptr);
    player->setStartFrame(1000);
    QSignalSpy playing(player.get(), &Player::playingChanged);
    QSignalSpy moved(player.get(), &Player::positionChanged);
    ASSERT_TRUE(player->play());
    EXPECT_TRUE(player->isPlaying());
    EXPECT_EQ(fake->format, (DeviceFormat{44100, 2, P::Int16}));
    ASSERT_EQ(playing.count(), 1);

    // The device pulls ahead of what it has played; the position is what was heard.
    const QByteArray chunk = fake->pull(4 * 8192);
    ASSERT_EQ(chunk.size(), 4 * 8192);
    EXPECT_EQ(0, std::memcmp(chunk.constData(), a.FData.data() + 4 * 1000, 4 * 8192));
    fake->played = 2000;
    player->tick();
    EXPECT_DOUBLE_EQ(player->position(), 3000.0);
    EXPECT_DOUBLE_EQ(moved.last().at(0).toDouble(), 3000.0);
    // The timer does the same by itself.
    fake->played = 2500;
    ASSERT_TRUE(moved.wait(1000));
    EXPECT_DOUBLE_EQ(moved.last().at(0).toDouble(), 3500.0);
    // Without a previous sound, comparing plays the current one (the window checks A/B).
    player->setComparing(true);
    EXPECT_EQ(player->heardSound(), &a);
    EXPECT_TRUE(player->isPlaying());
    player->setComparing(false);

    player->stop();
    EXPECT_FALSE(fake->running);
    EXPECT_FALSE(player->isPlaying());
    EXPECT_DOUBLE_EQ(player->position(), 1000.0) << "stopped: back at the start frame";

    // A start frame past the end plays from the beginning.
    player->setStartFrame(1e9);
    EXPECT_DOUBLE_EQ(player->startFrame(), 44100.0);
    ASSERT_TRUE(player->play());
    EXPECT_EQ(0, std::memcmp(fake->pull(400).constData(), a.FData.data(), 400));
    player->stop();

    // On a device at half the rate a device frame is two sound frames.
    fake->caps.maxRate = 22050;
    ASSERT_TRUE(player->play());
    EXPECT_EQ(fake->format.rate, 22050);
    fake->pull(4 * 1000);
    fake->played = 1000;
    EXPECT_DOUBLE_EQ(player->position(), 2000.0);
}

TEST_F(PlayerTest, StopsAtTheEndOnceEverythingWasPlayed)
{
    const TWave a = makeWave(8, false, 1, 8000, 1000, tone);
    player->setSounds(&a, nullptr);
    player->setStartFrame(400);
    QSignalSpy playing(player.get(), &Player::playingChanged);
    ASSERT_TRUE(player->play());
    EXPECT_EQ(fake->pull(5000).size(), 600);
    EXPECT_TRUE(fake->source->atEnd());
    fake->played = 500;
    player->tick();
    EXPECT_TRUE(player->isPlaying()) << "the device still has sound to play";
    EXPECT_DOUBLE_EQ(player->position(), 900.0);
    fake->played = 600;
    player->tick();
    EXPECT_FALSE(player->isPlaying());
    ASSERT_EQ(playing.count(), 2);
    EXPECT_FALSE(playing.last().at(0).toBool());
    EXPECT_DOUBLE_EQ(player->position(), 400.0);
}

TEST_F(PlayerTest, PlaysARangeOnceOrLoopedAndSwitchesInsideIt)
{
    // Every frame its own value, so that the bytes say which frame was played.
    const auto value = [](double offset) {
        return [offset](uint32_t f, uint16_t) { return (offset + f) / 32768.0; };
    };
    const TWave a = makeWave(16, false, 1, 8000, 3000, value(0));
    const TWave b = makeWave(16, false, 1, 8000, 3000, value(-5000));
    const auto frames = [](const TWave& w, uint32_t first, uint32_t count) {
        return QByteArray(reinterpret_cast<const char*>(w.FData.data()) + 2 * first, 2 * count);
    };
    player->setSounds(&a, nullptr);
    player->setStartFrame(100);

    ASSERT_TRUE(player->playRange(1000, 1500, false));
    EXPECT_EQ(fake->pull(2 * 800), frames(a, 1000, 500)) << "the range and nothing after it";
    EXPECT_TRUE(fake->source->atEnd());
    fake->played = 400;
    EXPECT_DOUBLE_EQ(player->position(), 1400.0);
    fake->played = 500;
    player->tick();
    EXPECT_FALSE(player->isPlaying());
    EXPECT_DOUBLE_EQ(player->startFrame(), 100.0) << "a range leaves the start frame alone";

    // Looped: the range again and again within one read; it never ends by itself.
    ASSERT_TRUE(player->playRange(1000, 1500, true));
    EXPECT_TRUE(player->isLooping());
    EXPECT_EQ(
        fake->pull(2 * 1200), frames(a, 1000, 500) + frames(a, 1000, 500) + frames(a, 1000, 200));
    fake->played = 1200;
    player->tick();
    EXPECT_TRUE(player->isPlaying());
    EXPECT_DOUBLE_EQ(player->position(), 1200.0) << "third pass, 200 frames in";
    // B goes on at the same place and loops inside the same range.
    player->setSounds(&a, &b);
    player->setComparing(true);
    EXPECT_EQ(fake->pull(2 * 400), frames(b, 1200, 300) + frames(b, 1000, 100));
    player->setComparing(false);
    EXPECT_EQ(fake->pull(2 * 10), frames(a, 1100, 10));
    EXPECT_EQ(fake->starts, 2);

    // Clamped to the sound; an empty range plays nothing.
    ASSERT_TRUE(player->playRange(-50, 1e9, false));
    EXPECT_EQ(fake->pull(2 * 4000), frames(a, 0, 3000));
    QString reason;
    EXPECT_FALSE(player->playRange(700, 700, true, &reason));
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_FALSE(player->isPlaying());
}

// The program's output reads the source on a thread of its own: a switch waits for the
// read in progress, so that it goes on at the frame that read ended at.
TEST_F(PlayerTest, ASwitchWaitsForTheDevicesRead)
{
    const TWave a = makeWave(16, false, 1, 8000, 300, tone);
    const TWave b = makeWave(16, false, 1, 8000, 300, tone);
    player->setSounds(&a, &b);
    ASSERT_TRUE(player->play());
    auto* source = dynamic_cast<PcmSource*>(fake->source);
    ASSERT_TRUE(source);
    std::unique_lock reading(source->mutex());
    auto switching = std::async(std::launch::async, [&] { player->setComparing(true); });
    EXPECT_EQ(switching.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    reading.unlock();
    switching.get();
    EXPECT_EQ(player->heardSound(), &b);
}

// The program's output asks DrainClock when the device has played everything.
TEST(DrainClockTest, WaitsUntilTheDeviceHasPlayedWhatItWasGiven)
{
    DrainClock clock;
    EXPECT_FALSE(clock.drained(5000000, 0)) << "the source has not ended";
    // Given 1 s; 0.9 s played when the source ended at time 10 s.
    clock.sourceEnded(1000000, 900000, 10000000);
    EXPECT_FALSE(clock.drained(900000, 10030000)) << "a stale report is not the end";
    EXPECT_FALSE(clock.drained(999999, 10090000));
    EXPECT_TRUE(clock.drained(1000000, 10100000));
    // A device that never reports the end: the remaining 0.1 s and the margin.
    EXPECT_FALSE(clock.drained(900000, 10100000 + DrainClock::kMarginUs - 1));
    EXPECT_TRUE(clock.drained(900000, 10100000 + DrainClock::kMarginUs));
    clock.reset();
    EXPECT_FALSE(clock.drained(1000000, 20000000));
}

TEST_F(PlayerTest, NoDeviceOrARefusalIsReportedAndNothingPlays)
{
    const TWave a = makeWave(16, false, 1, 8000, 100, tone);
    player->setSounds(&a, nullptr);
    fake->reason = "no device here";
    EXPECT_FALSE(player->available());
    QString reason;
    EXPECT_FALSE(player->play(&reason));
    EXPECT_EQ(reason, "no device here");
    EXPECT_EQ(fake->starts, 0);

    fake->reason.clear();
    fake->refusal = "busy";
    EXPECT_FALSE(player->play(&reason));
    EXPECT_EQ(reason, "busy");
    EXPECT_FALSE(player->isPlaying());

    fake->refusal.clear();
    const TWave empty = makeWave(16, false, 1, 8000, 0, tone);
    player->setSounds(&empty, nullptr);
    reason.clear();
    EXPECT_FALSE(player->play(&reason));
    EXPECT_FALSE(reason.isEmpty());
}

} // namespace
} // namespace kestrelon::test
