// Playback without a device: the format asked for, the conversion of the samples to it,
// and where the player is, with a fake output that pulls when the test says so.
#include <cmath>
#include <cstring>
#include <vector>

#include <QCoreApplication>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "AppCoreTestSupport.h"
#include "FakeAudioOutput.h"
#include "app/Playback.h"

namespace kestrelon::test {
namespace {

WAVEFORMATEX header(uint16_t bits, bool isFloat, uint16_t channels, uint32_t rate)
{
    return makeWave(bits, isFloat, channels, rate, 0, [](uint32_t, uint16_t) {
        return 0.0;
    }).FFormat;
}

template <class T> std::vector<T> samplesOf(const QByteArray& bytes)
{
    std::vector<T> out(size_t(bytes.size()) / sizeof(T));
    std::memcpy(out.data(), bytes.constData(), out.size() * sizeof(T));
    return out;
}

QByteArray readAll(PcmConverter& converter, int chunk = 1 << 20)
{
    QByteArray all;
    QByteArray buffer(chunk, 0);
    for (;;) {
        const int64_t n = converter.read(buffer.data(), chunk);
        if (n == 0)
            break;
        all.append(buffer.constData(), n);
    }
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

TEST(PcmConverter, SameWidthIsBitExactAndAllChannelsArePlayed)
{
    // 16 bits: the device gets the WAV data chunk byte for byte; 8 bits likewise.
    for (uint16_t bits : {8, 16}) {
        const TWave w = makeWave(bits, false, 2, 22050, 3001, tone);
        PcmConverter conv;
        conv.setFormat({22050, 2, bits == 8 ? P::UInt8 : P::Int16});
        conv.setSource(&w);
        EXPECT_EQ(conv.framesLeft(), 3001);
        const QByteArray out = readAll(conv, 1000 * 4 + 3); // chunks that split frames
        ASSERT_EQ(size_t(out.size()), w.FData.size()) << bits;
        EXPECT_EQ(0, std::memcmp(out.constData(), w.FData.data(), w.FData.size())) << bits;
        EXPECT_TRUE(conv.atEnd());
    }
}

TEST(PcmConverter, WideningAndFloatConversions)
{
    const TWave s24 = makeWave(24, false, 1, 48000, 500, tone);
    PcmConverter conv;
    conv.setFormat({48000, 1, P::Int32});
    conv.setSource(&s24);
    const auto i32 = samplesOf<int32_t>(readAll(conv));
    ASSERT_EQ(i32.size(), 500u);
    for (uint32_t f = 0; f < 500; ++f) {
        const uint8_t* p = s24.FData.data() + 3 * f;
        const int32_t v24
            = int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8;
        ASSERT_EQ(i32[f], v24 * 256) << f;
    }

    const TWave s16 = makeWave(16, false, 2, 48000, 400, tone);
    conv.setFormat({48000, 2, P::Float});
    conv.setSource(&s16);
    conv.seek(0);
    const auto fl = samplesOf<float>(readAll(conv));
    ASSERT_EQ(fl.size(), 800u);
    for (uint32_t f = 0; f < 400; ++f)
        for (uint8_t c = 0; c < 2; ++c)
            ASSERT_EQ(fl[2 * f + c], float(s16.GetSample(f, c) / 32768.0)) << f;

    const TWave f64 = makeWave(64, true, 1, 48000, 300, [](uint32_t f, uint16_t) {
        return f == 7 ? 1.75 : f == 8 ? std::nan("") : 0.3 * std::cos(0.02 * f);
    });
    conv.setFormat({48000, 1, P::Int16});
    conv.setSource(&f64);
    conv.seek(0);
    const auto i16 = samplesOf<int16_t>(readAll(conv));
    ASSERT_EQ(i16.size(), 300u);
    EXPECT_EQ(i16[7], 32767) << "beyond full scale is clipped";
    EXPECT_EQ(i16[8], 0) << "NaN plays as silence";
    EXPECT_EQ(i16[100], int16_t(std::floor(0.3 * std::cos(2.0) * 32768 + 0.5)));
}

TEST(PcmConverter, ChannelsAreSpreadOrMixed)
{
    const TWave mono = makeWave(16, false, 1, 8000, 100, tone);
    PcmConverter conv;
    conv.setFormat({8000, 2, P::Int16});
    conv.setSource(&mono);
    auto out = samplesOf<int16_t>(readAll(conv));
    ASSERT_EQ(out.size(), 200u);
    for (uint32_t f = 0; f < 100; ++f) {
        ASSERT_EQ(out[2 * f], mono.GetSample(f, 0));
        ASSERT_EQ(out[2 * f + 1], mono.GetSample(f, 0));
    }

    // Three channels on a stereo device: left = mean of 0 and 2, right = 1.
    const TWave three = makeWave(16, false, 3, 8000, 100, tone);
    conv.setSource(&three);
    conv.seek(0);
    out = samplesOf<int16_t>(readAll(conv));
    ASSERT_EQ(out.size(), 200u);
    for (uint32_t f = 0; f < 100; ++f) {
        const double left = (three.GetSampleF(f, 0) + three.GetSampleF(f, 2)) / 2;
        ASSERT_EQ(out[2 * f], int16_t(std::floor(left * 32768 + 0.5))) << f;
        ASSERT_EQ(out[2 * f + 1], three.GetSample(f, 1)) << f;
    }

    // Stereo on a four-channel device: the extra channels are silent.
    const TWave stereo = makeWave(16, false, 2, 8000, 50, tone);
    conv.setFormat({8000, 4, P::Int16});
    conv.setSource(&stereo);
    conv.seek(0);
    out = samplesOf<int16_t>(readAll(conv));
    ASSERT_EQ(out.size(), 200u);
    for (uint32_t f = 0; f < 50; ++f) {
        ASSERT_EQ(out[4 * f], stereo.GetSample(f, 0));
        ASSERT_EQ(out[4 * f + 1], stereo.GetSample(f, 1));
        ASSERT_EQ(out[4 * f + 2], 0);
        ASSERT_EQ(out[4 * f + 3], 0);
    }
}

TEST(PcmConverter, OtherRatesAreInterpolated)
{
    // A ramp at 8 kHz played at 16 kHz: every other device frame lies half way.
    const uint32_t frames = 3000; // spans several conversion blocks
    const TWave ramp
        = makeWave(32, true, 1, 8000, frames, [](uint32_t f, uint16_t) { return f / 4096.0; });
    PcmConverter conv;
    conv.setFormat({16000, 1, P::Float});
    conv.setSource(&ramp);
    EXPECT_DOUBLE_EQ(conv.step(), 0.5);
    EXPECT_EQ(conv.framesLeft(), 2 * frames);
    const auto up = samplesOf<float>(readAll(conv, 4 * 777));
    ASSERT_EQ(up.size(), 2 * frames);
    for (uint32_t j = 0; j + 1 < 2 * frames; ++j)
        ASSERT_FLOAT_EQ(up[j], float(j / 2.0 / 4096.0)) << j;

    // And at 6 kHz: 0.75 device frames per sound frame.
    conv.setFormat({6000, 1, P::Float});
    conv.seek(100);
    const auto down = samplesOf<float>(readAll(conv));
    ASSERT_EQ(down.size(), size_t(std::ceil((frames - 100) / (8000.0 / 6000.0))));
    for (size_t j = 0; j < down.size(); ++j)
        ASSERT_NEAR(down[j], (100 + j * 8000.0 / 6000.0) / 4096.0, 1e-6) << j;
}

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

    player->stop();
    EXPECT_FALSE(fake->running);
    EXPECT_FALSE(player->isPlaying());
    EXPECT_DOUBLE_EQ(player->position(), 1000.0) << "stopped: back at the start frame";

    // A start frame past the end plays from the beginning.
    player->setStartFrame(1e9);
    EXPECT_DOUBLE_EQ(player->startFrame(), 44100.0);
    ASSERT_TRUE(player->play());
    EXPECT_EQ(0, std::memcmp(fake->pull(400).constData(), a.FData.data(), 400));
}

TEST_F(PlayerTest, PositionFollowsTheDeviceRate)
{
    fake->caps.maxRate = 22050; // a sound at 44.1 kHz on a 22.05 kHz device
    const TWave a = makeWave(16, false, 1, 44100, 44100, tone);
    player->setSounds(&a, nullptr);
    ASSERT_TRUE(player->play());
    EXPECT_EQ(fake->format.rate, 22050);
    fake->pull(2 * 1000);
    fake->played = 1000;
    EXPECT_DOUBLE_EQ(player->position(), 2000.0);
}

TEST_F(PlayerTest, ComparingSwitchesSoundsAtTheSamePlace)
{
    const TWave a = makeWave(16, false, 2, 8000, 8000, tone);
    const TWave b
        = makeWave(16, false, 2, 8000, 8000, [](uint32_t f, uint16_t c) { return -tone(f, c); });
    player->setSounds(&a, &b);
    ASSERT_TRUE(player->play());
    QByteArray chunk = fake->pull(4 * 100);
    EXPECT_EQ(0, std::memcmp(chunk.constData(), a.FData.data(), chunk.size()));

    player->setComparing(true);
    EXPECT_EQ(player->heardSound(), &b);
    chunk = fake->pull(4 * 100);
    EXPECT_EQ(0, std::memcmp(chunk.constData(), b.FData.data() + 4 * 100, chunk.size()));
    player->setComparing(false);
    chunk = fake->pull(4 * 100);
    EXPECT_EQ(0, std::memcmp(chunk.constData(), a.FData.data() + 4 * 200, chunk.size()));
    EXPECT_EQ(fake->starts, 1) << "switching never restarts the device";

    // Without a previous sound, comparing plays the current one.
    player->setSounds(&a, nullptr);
    player->setComparing(true);
    EXPECT_EQ(player->heardSound(), &a);
    EXPECT_TRUE(player->isPlaying());
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

TEST_F(PlayerTest, TheTimerMovesThePlayHead)
{
    const TWave a = makeWave(16, false, 1, 8000, 80000, tone);
    player->setSounds(&a, nullptr);
    QSignalSpy moved(player.get(), &Player::positionChanged);
    ASSERT_TRUE(player->play());
    fake->pull(2 * 4000);
    fake->played = 4000;
    ASSERT_TRUE(moved.wait(1000));
    EXPECT_DOUBLE_EQ(moved.last().at(0).toDouble(), 4000.0);
    player->stop();
}

} // namespace
} // namespace kestrelon::test
