// The undo history of the sound: exact bytes back and forth, compact steps, limits,
// and the saved state, without a window.
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>

#include <QCoreApplication>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "AppCoreTestSupport.h"
#include "app/History.h"
#include "base/Errors.h"

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

// What a resynthesis does to a sound: most samples move by a rounding step or not at
// all, one stretch changes a lot.
void resynthesise(TWave& w, uint32_t seed)
{
    std::mt19937 rng(seed);
    const double step = w.isFloat() ? (w.FFormat.wBitsPerSample == 32 ? 1e-7 : 1e-15)
                                    : 0.6 / std::ldexp(1.0, w.FFormat.wBitsPerSample - 1);
    std::uniform_real_distribution<double> tiny(-step, step);
    const uint32_t from = w.FSampleCount / 3, to = from + w.FSampleCount / 10;
    for (uint32_t f = 0; f < w.FSampleCount; ++f)
        for (uint8_t c = 0; c < w.FFormat.nChannels; ++c) {
            double x = w.GetSampleF(f, c);
            x = (f >= from && f < to) ? x * 0.25 : x + tiny(rng);
            w.SetSampleF(f, c, x);
        }
}

struct Kind {
    const char* name;
    uint16_t bits;
    bool isFloat;
};

class SampleChangeTest : public ::testing::TestWithParam<Kind> { };

TEST_P(SampleChangeTest, UndoAndRedoGiveBackTheExactBytes)
{
    const Kind k = GetParam();
    TWave w = makeWave(k.bits, k.isFloat, 2, 44100, 20000, [](uint32_t f, uint16_t c) {
        return 0.7 * std::sin(0.003 * f + c) + 0.1 * std::sin(0.31 * f);
    });
    if (k.isFloat) { // bit patterns no arithmetic would keep
        w.SetSampleF(5, 0, std::numeric_limits<double>::quiet_NaN());
        w.SetSampleF(6, 1, -0.0);
    }
    const WaveSnapshot before = WaveSnapshot::of(w);
    resynthesise(w, 7);
    const std::vector<uint8_t> after = w.FData;
    ASSERT_NE(after, before.data);

    const auto change = SampleChange::record(before, w);
    EXPECT_TRUE(change->isDelta());
    // A tenth of the sound changed a lot, the rest by rounding steps: far less than a copy.
    EXPECT_LT(change->bytes(), before.data.size() / 2) << change->bytes();

    for (int round = 0; round < 2; ++round) {
        change->undo(w);
        ASSERT_EQ(w.FData, before.data);
        change->redo(w);
        ASSERT_EQ(w.FData, after);
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, SampleChangeTest,
    ::testing::Values(Kind{"U8", 8, false}, Kind{"S16", 16, false}, Kind{"S24", 24, false},
        Kind{"S32", 32, false}, Kind{"S40", 40, false}, Kind{"S48", 48, false},
        Kind{"S56", 56, false}, Kind{"S64", 64, false}, Kind{"F32", 32, true},
        Kind{"F64", 64, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SampleChange, ChangedLengthKeepsBothSoundsAndAnotherSoundIsRefused)
{
    TWave w = makeWave(16, false, 1, 8000, 1000, [](uint32_t f, uint16_t) { return f / 2000.0; });
    const WaveSnapshot before = WaveSnapshot::of(w);
    w.SetSampleCount(1500);
    w.SetSampleF(1400, 0, 0.5);
    const std::vector<uint8_t> after = w.FData;
    const auto change = SampleChange::record(before, w);
    EXPECT_FALSE(change->isDelta());
    change->undo(w);
    EXPECT_EQ(w.FData, before.data);
    EXPECT_EQ(w.FSampleCount, 1000u);
    EXPECT_EQ(w.FDataSize, 2000u);
    EXPECT_DOUBLE_EQ(w.FSeconds, 0.125);
    change->redo(w);
    EXPECT_EQ(w.FData, after);
    EXPECT_EQ(w.FSampleCount, 1500u);

    // A sound changed behind the history's back is neither the one before nor after.
    const WaveSnapshot snapshot = WaveSnapshot::of(w);
    resynthesise(w, 1);
    const auto delta = SampleChange::record(snapshot, w);
    w.SetSample(10, 0, 1234);
    const std::vector<uint8_t> held = w.FData;
    EXPECT_THROW(delta->undo(w), Error);
    EXPECT_EQ(w.FData, held);
    EXPECT_THROW(delta->redo(w), Error);
    EXPECT_EQ(w.FData, held);
}

// --- the history ---------------------------------------------------------------------------

class EditHistoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wave = makeWave(16, false, 2, 8000, 4000,
            [](uint32_t f, uint16_t c) { return 0.5 * std::sin(0.01 * f * (c + 1)); });
        history.setWave(&wave);
        history.setOnRestored([this] { ++restored; });
        states.push_back(wave.FData);
    }
    // One command: changes the sound and is recorded.
    void change(uint32_t seed)
    {
        const WaveSnapshot before = WaveSnapshot::of(wave);
        resynthesise(wave, seed);
        history.record("step", before);
        states.push_back(wave.FData);
    }

    TWave wave;
    EditHistory history;
    int restored = 0;
    std::vector<std::vector<uint8_t>> states; // the sound after 0, 1, 2, ... commands
};

TEST_F(EditHistoryTest, WalksBackAndForthThroughEveryStep)
{
    for (uint32_t i = 1; i <= 4; ++i)
        change(i);
    EXPECT_EQ(history.count(), 4);
    EXPECT_EQ(restored, 0) << "recording re-applies nothing";
    for (int i = 3; i >= 0; --i) {
        history.undo();
        ASSERT_EQ(wave.FData, states[size_t(i)]) << i;
    }
    EXPECT_FALSE(history.stack()->canUndo());
    history.undo(); // nothing left: nothing happens
    EXPECT_EQ(restored, 4);
    for (size_t i = 1; i <= 4; ++i) {
        history.redo();
        ASSERT_EQ(wave.FData, states[i]) << i;
    }
    EXPECT_EQ(restored, 8);

    // A new command after undoing drops the steps that were undone.
    history.undo();
    history.undo();
    change(99);
    EXPECT_EQ(history.count(), 3);
    EXPECT_FALSE(history.stack()->canRedo());
    history.undo();
    EXPECT_EQ(wave.FData, states[2]);

    // A step that does not fit the sound leaves everything as it was.
    wave.SetSample(0, 0, 4321);
    const std::vector<uint8_t> held = wave.FData;
    EXPECT_THROW(history.undo(), Error);
    EXPECT_EQ(wave.FData, held);
    EXPECT_EQ(history.stack()->index(), 2);
    EXPECT_EQ(restored, 11) << "nothing re-applied";

    history.clear();
    EXPECT_EQ(history.count(), 0);
    EXPECT_EQ(history.lastApplied(), nullptr);
}

TEST_F(EditHistoryTest, OldestStepsAreDroppedBeyondTheLimits)
{
    QSignalSpy modified(&history, &EditHistory::modifiedChanged);
    history.setLimits(3, size_t(1) << 30);
    change(1);
    history.markSaved(); // saved after the first step
    for (uint32_t i = 2; i <= 5; ++i)
        change(i);
    EXPECT_EQ(history.count(), 3);
    EXPECT_TRUE(history.isModified());
    for (int i = 0; i < 3; ++i)
        history.undo();
    EXPECT_FALSE(history.stack()->canUndo());
    EXPECT_EQ(wave.FData, states[2]) << "the oldest reachable sound";
    EXPECT_TRUE(history.isModified()) << "the saved sound is gone from the history";
    for (int i = 0; i < 3; ++i)
        history.redo();
    EXPECT_EQ(wave.FData, states[5]);

    // A saved state that is still in the history survives the trimming.
    history.undo();
    history.markSaved(); // the sound after step 4
    history.redo();
    change(6); // drops the step that made state 3
    EXPECT_EQ(history.count(), 3);
    history.undo();
    history.undo();
    EXPECT_EQ(wave.FData, states[4]);
    EXPECT_FALSE(history.isModified());
    ASSERT_FALSE(modified.isEmpty());
    EXPECT_FALSE(modified.last().at(0).toBool());

    // Bytes: a budget below two steps keeps only the newest one.
    const size_t one = history.lastApplied()->bytes();
    history.setLimits(50, one + one / 2);
    EXPECT_LE(history.count(), 2);
    history.redo();
    history.redo();
    history.setLimits(50, one / 2);
    EXPECT_EQ(history.count(), 1) << "the newest step always stays";
    EXPECT_LE(history.bytes(), 2 * one);
    history.undo();
    EXPECT_EQ(wave.FData, states[5]);
}

} // namespace
} // namespace kestrelon::test
