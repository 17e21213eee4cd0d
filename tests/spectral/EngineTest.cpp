// TWaveSpectram: window, frame geometry, analysis, dB power, resynthesis, states.

#include <cmath>
#include <cstring>
#include <tuple>

#include "SpectralTestSupport.h"
#include "base/Errors.h"
#include "spectral/Rdft.h"
#include "spectral/SpectralKernels.h"

namespace kestrelon {
namespace {

using test::makeWave;
using test::noise;

TEST(Window, KindsFollowThePeriodicHannWindow)
{
    TWaveSpectram e;
    for (uint8_t kind : {0, 1, 7}) {
        e.MakeWindow(16, kind);
        ASSERT_EQ(e.FWindow.size(), 16u);
        for (int i = 0; i < 16; ++i) {
            // 0.5 - 0.5 cos(2 pi i / N) = sin^2(pi i / N), free of cancellation.
            const long double half = std::sin(3.14159265358979323846264L * i / 16);
            const double want = double(kind == 0 ? half * half : kind == 1 ? half : 1.0L);
            EXPECT_NEAR(e.FWindow[i], want, 1.2e-16) << int(kind) << " " << i;
        }
    }
}

TEST(FrameCount, EverySampleLiesUnderTwoFrames)
{
    TWaveSpectram e;
    TWave w;
    const int N = 1024, H = 512;
    for (auto [S, F] : std::vector<std::pair<uint32_t, int>>{
             {0, 1}, {1, 2}, {H - 1, 2}, {H, 2}, {H + 1, 3}, {2 * H, 3}, {10 * H + 7, 12}}) {
        w.FSampleCount = S;
        EXPECT_EQ(e.GetFrameCount(w, N), F) << S;
    }
    w.FSampleCount = UINT32_MAX;
    EXPECT_THROW(e.GetFrameCount(w, 2), IntOverflowError);
    EXPECT_THROW(e.GetFrameCount(w, 1), RangeError);
}

// The analysis written out literally, frame by frame, over rdft.
std::vector<std::vector<TComplex>> referenceFrames(
    const TWave& w, uint8_t c, int N, const TFFTWindow& win)
{
    const int H = N / 2;
    const int F = int((int64_t(w.FSampleCount) + H - 1) / H + 1);
    std::vector<std::vector<TComplex>> out(F, std::vector<TComplex>(N));
    std::vector<double> a(N);
    int32_t ip[34] = {0};
    int64_t s = -N / 2;
    for (int f = 0; f < F; ++f, s += H) {
        for (int m = 0; m < N; ++m)
            a[m] = (s + m >= 0 && s + m < w.FSampleCount ? w.GetSampleF(uint32_t(s + m), c) : 0.0)
                * win[m];
        rdft(N, 1, a.data(), ip, nullptr);
        auto& X = out[f];
        for (int j = 1; j < N / 2; ++j) {
            X[j] = {a[2 * j] * 2 / N, a[2 * j + 1] * 2 / N};
            X[N - j] = {a[2 * j] * 2 / N, -a[2 * j + 1] * 2 / N};
        }
        X[0] = {a[0] * 2 / N, 0.0};
        X[N / 2] = {a[1] * 2 / N, 0.0};
    }
    return out;
}

TEST(Analyze, MatchesTheFrameByFrameDefinitionBitForBit)
{
    const TWave w = noise(2, 1000, 3);
    TWaveSpectram e;
    e.Analyze(w, 64);
    EXPECT_TRUE(e.FSpecValid);
    EXPECT_FALSE(e.FPowerValid);
    ASSERT_EQ(e.FChannelCount, 2);
    for (uint8_t c = 0; c < 2; ++c) {
        const TSpectrogram& g = *e.FSpectrograms[c];
        EXPECT_EQ(g.FSpecLength, 64);
        EXPECT_EQ(g.FHop, 32);
        const auto ref = referenceFrames(w, c, 64, e.FWindow);
        ASSERT_EQ(g.FFrameCount, int(ref.size()));
        for (int f = 0; f < g.FFrameCount; ++f)
            for (int k = 0; k < 64; ++k) {
                const TComplex& X = g.FFrames[f]->FData[k];
                ASSERT_EQ(std::memcmp(&X, &ref[f][k], sizeof X), 0)
                    << int(c) << " " << f << " " << k;
            }
    }
}

TEST(Analyze, HandWorkedSignals)
{
    const int N = 256, H = 128;
    TWaveSpectram e;
    // DC: a frame inside the sound has X[0] = (2/N) x sum sin(pi m / N) = (2/N) x cot(pi / 2N).
    TWave dc = makeWave(16, 1, 4 * H);
    for (uint32_t i = 0; i < dc.FSampleCount; ++i)
        dc.SetSample(i, 0, 8192);
    e.Analyze(dc, N);
    const TComplex X0 = e.FSpectrograms[0]->FFrames[2]->FData[0];
    EXPECT_NEAR(X0.re, 2.0 / N * 0.25 / std::tan(M_PI / (2 * N)), 1e-12);
    EXPECT_EQ(X0.im, 0.0);

    // An impulse at sample t0 gives frames of constant magnitude (2/N) v w[m0].
    TWave imp = makeWave(16, 1, 4 * H);
    const uint32_t t0 = 2 * H + 40;
    imp.SetSample(t0, 0, 16384);
    e.Analyze(imp, N);
    e.CalcPower(1.0);
    const int f = 2; // starts at H, so m0 = t0 - H
    const double want = 20 * std::log10(2.0 / N * 0.5 * e.FWindow[t0 - H]);
    for (int k = 0; k <= N / 2; ++k)
        ASSERT_NEAR(e.FPower[0][f][k], want, 1e-9) << k;
}

// Known magnitudes against the library's log10; a bad reference or a bin that is not
// finite raises FloatError and leaves the rows and the flag as they were.
TEST(CalcPower, KnownMagnitudesAndFloatErrors)
{
    TWaveSpectram e;
    e.SetChannelCount(1);
    TSpectrogram& g = *e.FSpectrograms[0];
    g.SetFrameCount(2);
    g.SetSpecLength(16);
    e.CalcPower(0.0); // all bins 0: the floor even for ref 0
    EXPECT_EQ(e.FPower[0][1][4], kZeroDb);
    const std::vector<std::pair<TComplex, double>> cases = {{{1, 0}, 0.0},
        {{0.5, 0}, 20 * std::log10(0.5)}, {{3, -4}, 20 * std::log10(5.0)}, {{0, 0}, kZeroDb},
        {{0, -2e-200}, 20 * std::log10(2e-200)}, {{1e-310, 0}, 20 * std::log10(1e-310)},
        {{1e300, 1e300}, 20 * std::log10(std::sqrt(2.0) * 1e300)},
        {{-0.25, 0}, 20 * std::log10(0.25)}, {{0, 1e-3}, -60.0}};
    for (std::size_t k = 0; k < cases.size(); ++k)
        g.FFrames[1]->FData[k] = cases[k].first;
    e.CalcPower(1.0);
    EXPECT_TRUE(e.FPowerValid);
    ASSERT_EQ(e.FPower[0].size(), 2u);
    ASSERT_EQ(e.FPower[0][1].size(), 9u);
    for (std::size_t k = 0; k < cases.size(); ++k)
        EXPECT_NEAR(e.FPower[0][1][k], cases[k].second, 1e-12) << k;
    e.CalcPower(1000.0);
    EXPECT_NEAR(e.FPower[0][1][0], -60.0, 1e-12);

    const TFFTShinpuku before = e.FPower[0];
    e.FPowerValid = false;
    for (double ref : {0.0, -1.0, double(NAN)})
        EXPECT_THROW(e.CalcPower(ref), FloatError) << ref;
    g.FFrames[1]->FData[2] = {NAN, 0};
    EXPECT_THROW(e.CalcPower(1.0), FloatError);
    EXPECT_FALSE(e.FPowerValid);
    EXPECT_EQ(e.FPower[0], before);
}

// Round trips: every width, channel count, N and length class restores every sample.
// Doubles come back within rounding, every other type exactly.
using RoundTripParam = std::tuple<int /*bits; 33 = float, 65 = double*/, int /*channels*/,
    int /*N*/, int /*S class*/>;
class RoundTrip : public ::testing::TestWithParam<RoundTripParam> { };

TEST_P(RoundTrip, AnalyzeThenSynthesizeRestoresEverySample)
{
    const auto [bitsCode, channels, N, sClass] = GetParam();
    const int H = N / 2;
    const uint32_t S = sClass == 0 ? std::max(1, H - 1)
        : sClass == 1              ? 6 * H
                                   : 5 * H + 3 + (H > 4 ? 2 : 0);
    const bool isFloat = bitsCode > 32;
    TWave w = makeWave(uint16_t(bitsCode & ~1), uint16_t(channels), S, isFloat ? 3 : 1);
    test::fillNoise(w, uint32_t(N * 7 + S));
    const TWave original = w;
    TWaveSpectram e;
    e.Analyze(w, N);
    e.Synthesize(w);
    EXPECT_EQ(w.FSampleCount, S);
    EXPECT_FALSE(e.FSpecValid);
    if (bitsCode != 65) {
        EXPECT_TRUE(w.FData == original.FData);
        return;
    }
    for (uint8_t c = 0; c < channels; ++c) {
        const auto x0 = test::channel(original, c), x1 = test::channel(w, c);
        for (std::size_t i = 0; i < x0.size(); ++i)
            ASSERT_NEAR(x1[i], x0[i], 1e-14) << int(c) << " " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, RoundTrip,
    ::testing::Combine(::testing::Values(8, 16, 24, 32, 33, 65), ::testing::Values(1, 2),
        ::testing::Values(256, 1024, 4096), ::testing::Values(0, 1, 2)));
INSTANTIATE_TEST_SUITE_P(Lengths, RoundTrip,
    ::testing::Combine(::testing::Values(16), ::testing::Values(1),
        ::testing::Values(2, 4, 8, 16, 32, 64, 128, 512, 2048), ::testing::Values(0, 1, 2)));

// Values in the redundant bins (imaginary parts of bins 0 and N/2, bins above N/2) do
// nothing; gains of 4 clip about three quarters of the samples, counted with their peak.
TEST(Synthesize, IgnoresTheRedundantBinsAndReportsClipping)
{
    TWave w = noise(2, 5000, 9);
    TWaveSpectram e;
    e.Analyze(w, 256);
    for (auto& g : e.FSpectrograms)
        for (auto& fr : g->FFrames) {
            fr->FData[0].im = 3.0;
            fr->FData[128].im = -3.0;
            for (int k = 129; k < 256; ++k)
                fr->FData[k] = {7.0, 7.0};
        }
    const auto original = w.FData;
    e.Synthesize(w);
    EXPECT_TRUE(w.FData == original);

    e.Analyze(w, 512);
    for (auto& g : e.FSpectrograms)
        for (auto& fr : g->FFrames)
            for (auto& x : fr->FData)
                x = {x.re * 4, x.im * 4};
    ClipStats clips;
    e.Synthesize(w, &clips);
    EXPECT_GT(clips.clipped, 5000u);
    EXPECT_LT(clips.clipped, 10000u);
    EXPECT_NEAR(clips.peak, 4.0, 0.01);
}

TEST(Synthesize, EmptyShorterAndWiderWaves)
{
    const TWave src = noise(2, 1000, 11);
    TWaveSpectram e;
    e.Analyze(src, 256); // F = 9 frames

    // An empty wave gets (F - 1) H frames: every analysed sample and zeros after them.
    TWave empty = makeWave(16, 2, 0);
    e.Synthesize(empty);
    ASSERT_EQ(empty.FSampleCount, 8u * 128);
    EXPECT_EQ(std::memcmp(empty.FData.data(), src.FData.data(), src.FData.size()), 0);
    for (std::size_t i = src.FData.size(); i < empty.FData.size(); ++i)
        ASSERT_EQ(empty.FData[i], 0);

    // A shorter wave gets its own length only.
    TWave shorter = makeWave(16, 2, 300);
    e.Synthesize(shorter);
    EXPECT_EQ(std::memcmp(shorter.FData.data(), src.FData.data(), shorter.FData.size()), 0);

    // A wave with more channels than the analysis: the extra channel is left as it was.
    TWave wide = noise(3, 1000, 12);
    const auto third = test::channel(wide, 2);
    e.Synthesize(wide);
    EXPECT_EQ(test::channel(wide, 0), test::channel(src, 0));
    EXPECT_EQ(test::channel(wide, 1), test::channel(src, 1));
    EXPECT_EQ(test::channel(wide, 2), third);
}

TEST(States, FlagsAndStaleContents)
{
    TWaveSpectram e;
    EXPECT_FALSE(e.FSpecValid || e.FPowerValid);
    TWave empty = makeWave(16, 1, 0);
    e.Synthesize(empty); // nothing to do
    EXPECT_EQ(empty.FSampleCount, 0u);
    TWave w = noise(1, 700, 2);
    e.Analyze(w, 256);
    e.CalcPower(1.0);
    EXPECT_TRUE(e.FSpecValid && e.FPowerValid);
    const double kept = e.FPower[0][3][5];
    e.Analyze(w, 512);
    EXPECT_TRUE(e.FSpecValid);
    EXPECT_FALSE(e.FPowerValid);
    EXPECT_EQ(e.FPower[0].size(), 7u); // still the 256-point rows
    EXPECT_EQ(e.FPower[0][3][5], kept);
    e.CalcPower(1.0);
    e.Synthesize(w);
    EXPECT_FALSE(e.FSpecValid || e.FPowerValid);

    // Analysing an empty wave changes nothing, the window and flags included.
    e.CalcPower(1.0);
    const TFFTWindow window = e.FWindow;
    const TSpectrogram* g = e.FSpectrograms[0].get();
    const TComplex bin = g->FFrames[1]->FData[3];
    e.Analyze(empty, 256);
    EXPECT_EQ(e.FWindow, window);
    EXPECT_EQ(e.FSpectrograms[0].get(), g);
    EXPECT_EQ(e.FSpectrograms[0]->FFrames[1]->FData[3], bin);
    EXPECT_FALSE(e.FSpecValid);
    EXPECT_TRUE(e.FPowerValid);
}

// Bad lengths, too many channels, or one frame synthesised into an empty wave (zero
// samples of overlap) throw before anything changes.
TEST(Errors, ThrowBeforeChangingAnything)
{
    TWaveSpectram e;
    TWave w = makeWave(16, 1, 100);
    e.Analyze(w, 256);
    for (int N : {0, 1, 3, 1000, -256, 1 << 20})
        EXPECT_THROW(e.Analyze(w, N), RangeError) << N;
    EXPECT_EQ(e.FSpectrograms[0]->FSpecLength, 256);
    EXPECT_TRUE(e.FSpecValid);
    TWave many = makeWave(8, 257, 10);
    EXPECT_THROW(e.Analyze(many, 256), RangeError);
    EXPECT_EQ(e.FChannelCount, 1);

    e.MakeWindow(16, 1);
    e.FSpectrograms[0]->SetFrameCount(1);
    e.FSpectrograms[0]->SetSpecLength(16);
    e.FSpectrograms[0]->FHop = 8;
    e.FSpecValid = e.FPowerValid = true;
    TWave empty = makeWave(16, 1, 0);
    EXPECT_THROW(e.Synthesize(empty), IntOverflowError);
    EXPECT_TRUE(e.FSpecValid && e.FPowerValid);
    EXPECT_EQ(empty.FSampleCount, 0u);
}

} // namespace
} // namespace kestrelon
