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

#include "base/Errors.h"
#include "editing/Document.h"
#include "editing/History.h"

namespace kestrelon::test {
namespace {

// A sound of the given type: bits 8/16/24/32 integer, or 32/64 with isFloat. Sample
// (frame, channel) is value(frame, channel) on the GetSampleF scale.
TWave makeWave(uint16_t bits, bool isFloat, uint16_t channels, uint32_t rate, uint32_t frames,
    const std::function<double(uint32_t, uint16_t)>& value)
{
    TWave w;
    w.FFormat.wFormatTag = isFloat ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM;
    w.FFormat.nChannels = channels;
    w.FFormat.nSamplesPerSec = rate;
    w.FFormat.wBitsPerSample = bits;
    w.UpdateFormat();
    w.SetSampleCount(frames);
    for (uint32_t f = 0; f < frames; ++f)
        for (uint16_t c = 0; c < channels; ++c)
            w.SetSampleF(f, uint8_t(c), value(f, c));
    return w;
}

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
    const TWave before = w;
    resynthesise(w, 7);
    const std::vector<uint8_t> after = w.FData;
    ASSERT_NE(after, before.FData);

    const auto change = SampleChange::record(before, w);
    EXPECT_TRUE(change->isDelta());
    // A tenth of the sound changed a lot, the rest by rounding steps: far less than a copy.
    EXPECT_LT(change->bytes(), before.FData.size() / 2) << change->bytes();

    for (int round = 0; round < 2; ++round) {
        change->undo(w);
        ASSERT_EQ(w.FData, before.FData);
        change->redo(w);
        ASSERT_EQ(w.FData, after);
    }

    // A change of a few hundred frames in a long sound (several chunks) costs about those.
    TWave longer = makeWave(k.bits, k.isFloat, 2, 44100, 600000,
        [](uint32_t f, uint16_t c) { return 0.5 * std::sin(0.002 * f * (c + 1)); });
    const TWave original = longer;
    for (uint32_t f : {1000u, 1001u, 1300u, 590000u})
        longer.SetSampleF(f, 1, -0.25);
    const auto small = SampleChange::record(original, longer);
    EXPECT_LT(small->bytes(), original.FData.size() / 50) << small->bytes();
    EXPECT_EQ(small->undone(longer).FData, original.FData);
    EXPECT_EQ(small->redone(original).FData, longer.FData);

    // Every sample rescaled and shaken: what deflate cannot shrink is kept as it is.
    TWave rescaled = original;
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> shake(-0.2, 0.2);
    for (uint32_t f = 0; f < rescaled.FSampleCount; ++f)
        for (uint8_t c = 0; c < 2; ++c)
            rescaled.SetSampleF(f, c, 0.3 * rescaled.GetSampleF(f, c) + shake(rng));
    const auto large = SampleChange::record(original, rescaled);
    EXPECT_LT(large->bytes(), original.FData.size() + 4096) << large->bytes();
    EXPECT_EQ(large->undone(rescaled).FData, original.FData);
    EXPECT_EQ(large->redone(original).FData, rescaled.FData);
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
    const TWave before = w;
    w.SetSampleCount(1500);
    w.SetSampleF(1400, 0, 0.5);
    const std::vector<uint8_t> after = w.FData;
    const auto change = SampleChange::record(before, w);
    EXPECT_FALSE(change->isDelta());
    change->undo(w);
    EXPECT_EQ(w.FData, before.FData);
    EXPECT_EQ(w.FSampleCount, 1000u);
    EXPECT_EQ(w.FDataSize, 2000u);
    EXPECT_DOUBLE_EQ(w.FSeconds, 0.125);
    change->redo(w);
    EXPECT_EQ(w.FData, after);
    EXPECT_EQ(w.FSampleCount, 1500u);

    // A sound changed behind the history's back is neither the one before nor after.
    const TWave snapshot = w;
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
        states.push_back(wave.FData);
    }
    // One command: changes the sound and is recorded.
    void change(uint32_t seed)
    {
        const TWave before = wave;
        resynthesise(wave, seed);
        history.record("step", SampleChange::record(before, wave));
        states.push_back(wave.FData);
    }
    // What the window does for undo and redo: the command, then the history moves.
    void undo()
    {
        wave = history.undoStep()->undone(wave);
        history.stepBack();
    }
    void redo()
    {
        wave = history.redoStep()->redone(wave);
        history.stepForward();
    }

    TWave wave;
    EditHistory history;
    std::vector<std::vector<uint8_t>> states; // the sound after 0, 1, 2, ... commands
};

TEST_F(EditHistoryTest, WalksBackAndForthThroughEveryStep)
{
    for (uint32_t i = 1; i <= 4; ++i)
        change(i);
    EXPECT_EQ(history.count(), 4);
    for (int i = 3; i >= 0; --i) {
        undo();
        ASSERT_EQ(wave.FData, states[size_t(i)]) << i;
    }
    EXPECT_FALSE(history.canUndo());
    EXPECT_EQ(history.undoStep(), nullptr);
    history.stepBack(); // nothing left: nothing happens
    EXPECT_EQ(history.index(), 0);
    for (size_t i = 1; i <= 4; ++i) {
        redo();
        ASSERT_EQ(wave.FData, states[i]) << i;
    }
    EXPECT_FALSE(history.canRedo());

    // A new command after undoing drops the steps that were undone.
    undo();
    undo();
    change(99);
    EXPECT_EQ(history.count(), 3);
    EXPECT_FALSE(history.canRedo());
    undo();
    EXPECT_EQ(wave.FData, states[2]);

    // A step that does not fit the sound is refused.
    wave.SetSample(0, 0, 4321);
    EXPECT_THROW(history.undoStep()->undone(wave), Error);

    history.clear();
    EXPECT_EQ(history.count(), 0);
    EXPECT_EQ(history.lastApplied(), nullptr);

    // Snapshots are kept for the steps next to the position only.
    const DocumentPtr a = makeDocument(), b = makeDocument(512), c = makeDocument(2048);
    history.record("one", SampleChange::record(wave, wave), a);
    history.record("two", SampleChange::record(wave, wave), b);
    EXPECT_EQ(history.undoSnapshot(), b);
    history.stepBack(c);
    EXPECT_EQ(history.redoSnapshot(), c);
    EXPECT_EQ(history.undoSnapshot(), nullptr) << "step one's was dropped";
    history.stepForward(b);
    EXPECT_EQ(history.undoSnapshot(), b);
    EXPECT_EQ(history.redoSnapshot(), nullptr);
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
        undo();
    EXPECT_FALSE(history.canUndo());
    EXPECT_EQ(wave.FData, states[2]) << "the oldest reachable sound";
    EXPECT_TRUE(history.isModified()) << "the saved sound is gone from the history";
    for (int i = 0; i < 3; ++i)
        redo();
    EXPECT_EQ(wave.FData, states[5]);

    // A saved state that is still in the history survives the trimming.
    undo();
    history.markSaved(); // the sound after step 4
    redo();
    change(6); // drops the step that made state 3
    EXPECT_EQ(history.count(), 3);
    undo();
    undo();
    EXPECT_EQ(wave.FData, states[4]);
    EXPECT_FALSE(history.isModified());
    ASSERT_FALSE(modified.isEmpty());
    EXPECT_FALSE(modified.last().at(0).toBool());

    // Bytes: a budget below two steps keeps only the newest one.
    const size_t one = history.lastApplied()->bytes();
    history.setLimits(50, one + one / 2);
    EXPECT_LE(history.count(), 2);
    redo();
    redo();
    history.setLimits(50, one / 2);
    EXPECT_EQ(history.count(), 1) << "the newest step always stays";
    EXPECT_LE(history.bytes(), 2 * one);
    undo();
    EXPECT_EQ(wave.FData, states[5]);
}

} // namespace
} // namespace kestrelon::test
