// The streaming pipeline against the engine classes: the same gray cells and, segment by
// segment, the same resynthesis bit for bit, untouched segments byte for byte the
// original; blocks, cancel, progress and errors.

#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <numeric>
#include <thread>
#include <tuple>

#include "SpectralTestSupport.h"
#include "base/Cancel.h"
#include "base/Errors.h"
#include "spectral/Pipeline.h"
#include "spectral/SpectralKernels.h"

namespace kestrelon {
void PrintTo(SpectralView v, std::ostream* os)
{
    *os << (v == SpectralView::Cepstrum ? "cepstrum" : "spectrum");
}
} // namespace kestrelon

namespace kestrelon::test {
namespace {

// Cell edits of random differences in -limit .. limit (a quarter of them 0) on frames.
CellEdits randomEdits(int N, std::vector<int32_t> frames, int limit, uint32_t seed)
{
    CellEdits e;
    e.rows = N / 2 + 1;
    e.frames = std::move(frames);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> d(-limit, limit);
    for (std::size_t i = 0; i < e.frames.size() * std::size_t(e.rows); ++i)
        e.diffs.push_back(int16_t(rng() % 4 == 0 ? 0 : d(rng)));
    return e;
}

// What the window does today for an import: the whole sound analysed (with dB rows and
// cepstra in the cepstrum view), each changed cell's bin or quefrency of every channel
// times 10^(d/40) (refused, as FloatError here, when a brighter cell's product is not
// finite), then Synthesize or SynthesizeFromCepstrum into a copy of the sound.
TWave engineFilter(const TWave& in, int N, SpectralView view, const CellEdits& edits,
    ClipStats* clips = nullptr, TWaveCepstram* analysed = nullptr)
{
    TWaveCepstram local;
    TWaveCepstram& e = analysed ? *analysed : local;
    const bool cepstrum = view == SpectralView::Cepstrum;
    e.Analyze(in, N);
    if (cepstrum) {
        e.CalcPower(1.0);
        e.CalcCepstrum();
    }
    auto& grams = cepstrum ? e.FCepstrograms : e.FSpectrograms;
    for (std::size_t i = 0; i < edits.frames.size(); ++i)
        for (int k = 0; k < edits.rows; ++k) {
            const int d = edits.diffs[i * std::size_t(edits.rows) + std::size_t(k)];
            if (d == 0)
                continue;
            const double g = std::pow(10.0, d / 40.0);
            for (auto& gram : grams) {
                TComplex& v = gram->FFrames[std::size_t(edits.frames[i])]->FData[std::size_t(k)];
                if (d > 0 && !(std::isfinite(v.re * g) && std::isfinite(v.im * g)))
                    throw FloatError("refused");
                v = {v.re * g, v.im * g};
            }
        }
    TWave out = in;
    if (cepstrum)
        e.SynthesizeFromCepstrum(out, clips);
    else
        e.Synthesize(out, clips);
    return out;
}

// Segment by segment: those an edited frame reaches equal the engine's bytes, the others
// the original's.
void expectSegments(const TWave& got, const TWave& engine, const TWave& original, int N,
    const CellEdits& edits, const std::string& what)
{
    ASSERT_EQ(got.FData.size(), original.FData.size()) << what;
    ASSERT_EQ(std::memcmp(&got.FFormat, &original.FFormat, sizeof got.FFormat), 0) << what;
    const std::size_t H = std::size_t(N / 2), S = original.FSampleCount;
    const std::size_t bytes = original.FFormat.nBlockAlign;
    auto edited = [&](std::size_t f) {
        return std::binary_search(edits.frames.begin(), edits.frames.end(), int32_t(f));
    };
    for (std::size_t j = 0; j * H < S; ++j) {
        const bool touched = edited(j) || edited(j + 1);
        const TWave& want = touched ? engine : original;
        const std::size_t begin = j * H * bytes, size = (std::min(S, (j + 1) * H) - j * H) * bytes;
        ASSERT_EQ(std::memcmp(got.FData.data() + begin, want.FData.data() + begin, size), 0)
            << what << ": segment " << j << (touched ? " (edited)" : " (untouched)");
    }
}

using Param = std::tuple<int /*bits; 33 = float, 65 = double*/, int /*channels*/, int /*N*/,
    int /*S: 0 below H, 1 a multiple of H, 2 odd*/, SpectralView>;
class PipelineVsEngine : public ::testing::TestWithParam<Param> { };

TEST_P(PipelineVsEngine, SameCellsAndSameResynthesisBitForBit)
{
    const auto [bitsCode, channels, N, sClass, view] = GetParam();
    const int H = N / 2;
    const uint32_t S = sClass == 0 ? uint32_t(H - 1)
        : sClass == 1              ? uint32_t(6 * H)
                                   : uint32_t(5 * H + 3);
    TWave in = makeWave(uint16_t(bitsCode & ~1), uint16_t(channels), S, bitsCode > 32 ? 3 : 1);
    fillNoise(in, uint32_t(bitsCode * 7919 + N + sClass));
    const bool cepstrum = view == SpectralView::Cepstrum;

    TWaveCepstram e;
    e.Analyze(in, N);
    e.CalcPower(1.0);
    e.CalcCepstrum();
    e.CalcCepPower(1000.0);
    const GrayCells cells = analyzeCells(in, N, view);
    const int F = e.FSpectrograms[0]->FFrameCount;
    ASSERT_EQ(std::tuple(cells.frames, cells.rows, cells.fftLength), std::tuple(F, H + 1, N));
    for (int f = 0; f < F; ++f)
        for (int k = 0; k <= H; ++k)
            ASSERT_EQ(cells.at(f, k), grayLevel((cepstrum ? e.FCepPower : e.FPower)[0][f][k]))
                << f << " " << k;

    // Refreshing some ranges of frames of spoilt cells restores just those frames.
    std::vector<std::pair<int32_t, int32_t>> ranges = {{0, 1}, {F / 2, F / 2 + 1}, {F - 1, F}};
    if (F < 4)
        ranges = {{0, F}};
    GrayCells refreshed = cells;
    for (uint8_t& g : refreshed.gray)
        g = uint8_t(~g);
    detail::setBlockFramesForTesting(2); // blocks that go from one range to the next
    refreshCells(refreshed, in, ranges);
    const GrayCells some = analyzeSomeCells(in, N, view, ranges);
    detail::setBlockFramesForTesting(0);
    std::vector<uint8_t> listed;
    for (const auto& [first, end] : ranges)
        listed.insert(
            listed.end(), cells.gray.begin() + first * (H + 1), cells.gray.begin() + end * (H + 1));
    EXPECT_TRUE(some.gray == listed);
    for (int f = 0; f < F; ++f) {
        const bool inside = std::any_of(ranges.begin(), ranges.end(),
            [f](const auto& r) { return f >= r.first && f < r.second; });
        for (int k = 0; k <= H; ++k)
            ASSERT_EQ(refreshed.at(f, k), inside ? cells.at(f, k) : uint8_t(~cells.at(f, k)))
                << f << " " << k;
    }

    // Both ends and the middle in blocks of one segment; every frame in the pipeline's
    // own blocks on every core. Cepstrum edits stay small: large ones overflow the gains.
    const int limit = cepstrum ? 6 : 40;
    std::vector<int32_t> all(F);
    std::iota(all.begin(), all.end(), 0);
    std::vector<int32_t> few = {0, 1, F / 2, F - 1};
    few.erase(std::unique(few.begin(), few.end()), few.end());
    for (const auto& [frames, block] : {std::pair(few, 1), std::pair(all, 0)}) {
        const CellEdits edits = randomEdits(N, frames, limit, uint32_t(S + frames.size()));
        ClipStats engineClips, clips;
        const TWave want = engineFilter(in, N, view, edits, &engineClips);
        detail::setBlockFramesForTesting(block);
        const TWave got = filterSound(in, N, view, edits, &clips);
        // handed on in order instead: the same bytes, every frame once
        std::vector<uint8_t> streamed;
        ClipStats streamedClips;
        const uint32_t frameBytes = in.FFormat.nBlockAlign;
        EXPECT_TRUE(filterSoundTo(
            in, N, view, edits,
            [&](uint32_t first, uint32_t count, const uint8_t* bytes) {
                EXPECT_EQ(std::size_t(first) * frameBytes, streamed.size());
                streamed.insert(streamed.end(), bytes, bytes + std::size_t(count) * frameBytes);
                return true;
            },
            &streamedClips));
        detail::setBlockFramesForTesting(0);
        expectSegments(got, want, in, N, edits, frames.size() == all.size() ? "all" : "few");
        EXPECT_EQ(clips.clipped, engineClips.clipped);
        EXPECT_TRUE(streamed == got.FData);
        EXPECT_EQ(streamedClips.clipped, clips.clipped);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, PipelineVsEngine,
    ::testing::Combine(::testing::Values(8, 16, 24, 32, 33, 65), ::testing::Values(1, 3),
        ::testing::Values(256, 1024, 4096), ::testing::Values(0, 1, 2),
        ::testing::Values(SpectralView::Spectrum, SpectralView::Cepstrum)));

// Ten seconds in the pipeline's own blocks (several rounds on every core, and on one),
// every frame edited but a few gaps, so that runs of segments start and end inside
// blocks and across them.
TEST(Pipeline, LongSoundInItsOwnBlocksOnOneAndAllCores)
{
    const TWave in = noise(2, 441000, 5);
    const int N = 256;
    const int F = int((in.FSampleCount + 127) / 128 + 1);
    std::vector<int32_t> frames;
    for (int32_t f = 0; f < F; ++f)
        if (!(f >= 100 && f < 110) && !(f >= 2000 && f < 2003) && f != 3000)
            frames.push_back(f);
    for (const SpectralView view : {SpectralView::Spectrum, SpectralView::Cepstrum}) {
        const CellEdits edits = randomEdits(N, frames, view == SpectralView::Cepstrum ? 6 : 40, 9);
        const TWave want = engineFilter(in, N, view, edits);
        for (bool single : {false, true}) {
            detail::setSingleThreadForTesting(single);
            const TWave got = filterSound(in, N, view, edits);
            detail::setSingleThreadForTesting(false);
            expectSegments(got, want, in, N, edits, single ? "one core" : "all cores");
        }
        // a writer that refuses stops the filter at once
        int calls = 0;
        EXPECT_FALSE(filterSoundTo(
            in, N, view, edits, [&](uint32_t, uint32_t, const uint8_t*) { return ++calls < 3; }));
        EXPECT_EQ(calls, 3);
    }
}

// A cancel between blocks stops with OperationCancelled; progress comes on the calling
// thread, rising to 100. (On one thread, so that the calling thread runs every block.)
TEST(Pipeline, CancelBetweenBlocksAndProgress)
{
    const TWave in = noise(2, 20000, 3);
    const CellEdits edits = randomEdits(256, {10, 11, 12, 60, 61}, 10, 1);
    const auto caller = std::this_thread::get_id();
    std::atomic<bool> flag{false};
    detail::setBlockFramesForTesting(2);
    detail::setSingleThreadForTesting(true);
    using Run = std::function<void(const ProgressFn&)>;
    const std::vector<Run> runs
        = {[&](const ProgressFn& p) { analyzeCells(in, 256, SpectralView::Cepstrum, p); },
            [&](const ProgressFn& p) {
                filterSound(in, 256, SpectralView::Spectrum, edits, nullptr, p);
            }};
    for (std::size_t r = 0; r < runs.size(); ++r) {
        std::vector<int> seen;
        auto note = [&](int percent) {
            EXPECT_EQ(std::this_thread::get_id(), caller);
            seen.push_back(percent);
        };
        runs[r](note);
        ASSERT_GE(seen.size(), 2u) << r;
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << r;
        EXPECT_EQ(seen.back(), 100) << r;

        CancelScope scope(&flag);
        seen.clear();
        auto cancelAfterFirst = [&](int percent) {
            seen.push_back(percent);
            flag = true;
        };
        EXPECT_THROW(runs[r](cancelAfterFirst), OperationCancelled) << r;
        EXPECT_EQ(seen.size(), 1u) << r;
        EXPECT_THROW(runs[r]({}), OperationCancelled) << r; // flag already set
        flag = false;
    }
    detail::setBlockFramesForTesting(0);
    detail::setSingleThreadForTesting(false);
}

// Where the engine stops with FloatError (a dB value or gain that is not finite, a
// brighter cell beyond Double), the pipeline does too.
TEST(Pipeline, FloatErrorsWhereTheEngineHasThem)
{
    const int N = 256;
    // Stereo, 3000 samples; channel 0 all `value`, or one sample of it stored as `value`.
    auto filled = [](uint16_t bits, double value) {
        TWave w = makeWave(bits, 2, 3000, 3);
        for (uint32_t i = 0; i < w.FSampleCount; ++i)
            w.SetSampleF(i, 0, value);
        return w;
    };
    auto spiked = [](float value, uint32_t at) {
        TWave w = noise(2, 3000, 4, 16);
        TWave f = makeWave(32, 2, 3000, 3);
        for (uint32_t i = 0; i < w.FSampleCount; ++i)
            for (uint8_t c = 0; c < 2; ++c)
                f.SetSampleF(i, c, w.GetSampleF(i, c));
        std::memcpy(f.FData.data() + std::size_t(at) * 8, &value, 4);
        return f;
    };
    auto edits = [&](int32_t frame, int16_t d) {
        CellEdits e = randomEdits(N, {frame}, 0, 0);
        std::fill(e.diffs.begin(), e.diffs.end(), d);
        return e;
    };
    struct Case {
        const char* what;
        TWave in;
        SpectralView view;
        CellEdits edits; // none: the cells are asked for
    };
    const std::vector<Case> cases = {
        {"brighter bin beyond Double", filled(64, 1e305), SpectralView::Spectrum, edits(5, 255)},
        {"darker cepstrum of silence: gain beyond Double", makeWave(16, 2, 3000),
            SpectralView::Cepstrum, edits(3, -1)},
        {"NaN dB value in an edited frame", spiked(NAN, 700), SpectralView::Cepstrum, edits(6, 2)},
        {"infinite dB value, spectrum cells", spiked(INFINITY, 1000), SpectralView::Spectrum, {}},
        {"NaN dB value, cepstrum cells", spiked(NAN, 10), SpectralView::Cepstrum, {}},
    };
    for (const Case& c : cases) {
        if (c.edits.empty()) {
            TWaveCepstram e;
            e.Analyze(c.in, N);
            EXPECT_THROW(e.CalcPower(1.0), FloatError) << c.what;
            EXPECT_THROW(analyzeCells(c.in, N, c.view), FloatError) << c.what;
            continue;
        }
        EXPECT_THROW(engineFilter(c.in, N, c.view, c.edits), FloatError) << c.what;
        EXPECT_THROW(filterSound(c.in, N, c.view, c.edits), FloatError) << c.what;
    }
}

TEST(Pipeline, BadArgumentsAreRangeErrors)
{
    const TWave in = noise(1, 1000, 1);
    const CellEdits good = randomEdits(256, {1, 4}, 5, 1); // F = 9
    auto with = [&](auto change) {
        CellEdits e = good;
        change(e);
        return e;
    };
    for (int N : {0, 3, 1 << 17})
        EXPECT_THROW(analyzeCells(in, N, SpectralView::Spectrum), RangeError) << N;
    EXPECT_THROW(analyzeCells(in, 256, SpectralView(7)), RangeError);
    EXPECT_THROW(analyzeCells(makeWave(8, 257, 10), 256, SpectralView::Spectrum), RangeError);
    const std::vector<CellEdits> bad = {with([](CellEdits& e) { e.rows = 128; }),
        with([](CellEdits& e) { e.diffs.pop_back(); }), with([](CellEdits& e) {
            e.frames = {4, 1};
        }),
        with([](CellEdits& e) {
            e.frames = {1, 9};
        }),
        with([](CellEdits& e) { e.diffs[3] = 256; })};
    for (std::size_t i = 0; i < bad.size(); ++i)
        EXPECT_THROW(filterSound(in, 256, SpectralView::Spectrum, bad[i]), RangeError) << i;
    EXPECT_EQ(filterSound(in, 256, SpectralView::Spectrum, good).FSampleCount, 1000u);
    EXPECT_EQ(analyzeCells(makeWave(16, 2, 0), 256, SpectralView::Spectrum).frames, 0);
}

} // namespace
} // namespace kestrelon::test
