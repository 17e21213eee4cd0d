// TWaveCepstram: cepstrum, its dB values, the inverse, states, departures, threads.

#include <cmath>
#include <cstring>

#include "SpectralTestSupport.h"
#include "base/Errors.h"
#include "base/Parallel.h"
#include "spectral/SpectralKernels.h"

namespace kestrelon {
namespace {

using test::makeWave;
using test::sameBits;

// An engine with the window's full pass done on a noisy stereo wave.
struct Analysed {
    TWave wave;
    TWaveCepstram e;
    Analysed(int N = 256, uint32_t S = 3000, uint16_t channels = 2)
        : wave(test::noise(channels, S, S + N))
    {
        e.Analyze(wave, N);
        e.CalcPower(1.0);
        e.CalcCepstrum();
        e.CalcCepPower(1000.0);
    }
};

// The cepstra have the spectra's geometry. A row of constant dB value d has the cepstrum
// 2d at quefrency 0 and nothing else; a row of 0 dB has none, its dB values the floor.
TEST(CalcCepstrum, GeometryAndHandWorkedRows)
{
    Analysed a(64, 500);
    auto& e = a.e;
    EXPECT_TRUE(e.FCepValid && e.FCepPowerValid);
    ASSERT_EQ(e.FCepstrograms.size(), 2u);
    for (const auto& g : e.FCepstrograms) {
        EXPECT_EQ(std::tie(g->FSpecLength, g->FHop, g->FFrameCount),
            std::make_tuple(64, 32, e.FSpectrograms[0]->FFrameCount));
        for (const auto& fr : g->FFrames)
            ASSERT_EQ(fr->FData.size(), 64u);
    }
    ASSERT_EQ(e.FCepPower[1].size(), std::size_t(e.FCepstrograms[1]->FFrameCount));
    EXPECT_EQ(e.FCepPower[1][0].size(), 33u);

    const double d = -37.5;
    for (double& v : e.FPower[0][2])
        v = d;
    for (double& v : e.FPower[0][3])
        v = 0.0;
    e.CalcCepstrum();
    e.CalcCepPower(1000.0);
    const auto& c = e.FCepstrograms[0]->FFrames[2]->FData;
    EXPECT_NEAR(c[0].re, 2 * d, 1e-12);
    for (int k = 1; k < 64; ++k)
        ASSERT_NEAR(std::hypot(c[k].re, c[k].im), 0.0, 1e-12) << k;
    EXPECT_NEAR(e.FCepPower[0][2][0], 20 * std::log10(2 * std::fabs(d) / 1000.0), 1e-12);
    EXPECT_TRUE(e.FCepstrograms[0]->FFrames[3]->FData == std::vector<TComplex>(64));
    EXPECT_TRUE(e.FCepPower[0][3] == std::vector<double>(33, kZeroDb));
}

TEST(SynthesizeFromCepstrum, UneditedEqualsSynthesizeWithinRounding)
{
    Analysed a(512, 5000);
    TWave viaCepstrum = a.wave, direct = a.wave;
    TWaveCepstram plain;
    plain.Analyze(a.wave, 512);
    plain.Synthesize(direct);
    a.e.SynthesizeFromCepstrum(viaCepstrum);
    EXPECT_FALSE(a.e.FCepValid || a.e.FCepPowerValid || a.e.FSpecValid || a.e.FPowerValid);
    for (uint8_t c = 0; c < 2; ++c) {
        const auto x = test::channel(viaCepstrum, c), y = test::channel(direct, c);
        for (std::size_t i = 0; i < x.size(); ++i)
            ASSERT_NEAR(x[i], y[i], 1.0 / 32768) << i;
    }
}

// Scaling cepstrum bin 0 by s moves every dB value of the frame by (s - 1) c0 / 2;
// bin N/2 moves even bins by +(s - 1) c(N/2) / 2 and odd bins by the opposite.
TEST(SynthesizeFromCepstrum, ScalingBinZeroAndBinHalf)
{
    const int N = 128, f = 5;
    for (int bin : {0, N / 2}) {
        Analysed a(N, 2000, 1);
        auto& e = a.e;
        const std::vector<double> before(e.FPower[0][f].begin(), e.FPower[0][f].end());
        const double s = 1.25;
        TComplex& c = e.FCepstrograms[0]->FFrames[f]->FData[bin];
        const double shift = (s - 1) * c.re / 2;
        c.re *= s;
        c.im *= s;
        e.SynthesizeFromCepstrum(a.wave);
        e.CalcPower(1.0); // the scaled spectra, before any re-analysis
        for (int k = 0; k <= N / 2; ++k) {
            const double want = before[k] + (bin == 0 || k % 2 == 0 ? shift : -shift);
            ASSERT_NEAR(e.FPower[0][f][k], want, 1e-9) << bin << " " << k;
        }
    }
}

TEST(SynthesizeFromCepstrum, IgnoredCepstrumValuesHaveNoEffect)
{
    Analysed edited(256, 2000), plain(256, 2000);
    for (auto& fr : edited.e.FCepstrograms[1]->FFrames) {
        fr->FData[0].im = 5.0;
        fr->FData[128].im = -5.0;
        for (int k = 129; k < 256; ++k)
            fr->FData[k] = {1e6, -1e6};
    }
    edited.e.SynthesizeFromCepstrum(edited.wave);
    plain.e.SynthesizeFromCepstrum(plain.wave);
    EXPECT_TRUE(edited.wave.FData == plain.wave.FData);
    EXPECT_TRUE(sameBits(*edited.e.FSpectrograms[1], *plain.e.FSpectrograms[1]));
}

TEST(SynthesizeFromCepstrum, AGainBeyondDoubleChangesNothing)
{
    Analysed a(256, 2000);
    auto& e = a.e;
    // Frame 4's bin 0 edit shifts all of frame 4's dB values by about 1e6 dB; frames
    // before it would be scaled first by an operation that stops at the bad bin.
    e.FCepstrograms[1]->FFrames[3]->FData[0].re *= 1.01;
    e.FCepstrograms[1]->FFrames[4]->FData[0].re += 2e6;
    TWaveCepstram ref;
    ref.Analyze(a.wave, 256);
    const auto bytes = a.wave.FData;
    EXPECT_THROW(e.SynthesizeFromCepstrum(a.wave), FloatError);
    EXPECT_TRUE(e.FCepValid && e.FCepPowerValid && e.FSpecValid && e.FPowerValid);
    EXPECT_TRUE(a.wave.FData == bytes);
    for (int c = 0; c < 2; ++c)
        EXPECT_TRUE(sameBits(*e.FSpectrograms[c], *ref.FSpectrograms[c])) << c;
}

TEST(CepstrumStates, FlagsGuardsAndStaleContents)
{
    TWaveCepstram e;
    EXPECT_FALSE(e.FCepValid || e.FCepPowerValid);
    e.CalcCepstrum(); // no channels
    EXPECT_FALSE(e.FCepValid);
    e.CalcCepPower(1000.0); // no channels: empty, flag set
    EXPECT_TRUE(e.FCepPower.empty());
    EXPECT_TRUE(e.FCepPowerValid);

    TWave w = test::noise(2, 900, 4);
    e.Analyze(w, 256);
    EXPECT_FALSE(e.FCepPowerValid);
    e.CalcCepstrum(); // FPower empty: guard
    EXPECT_FALSE(e.FCepValid);
    e.CalcCepPower(1000.0); // channels but no cepstra: resized only
    EXPECT_EQ(e.FCepPower.size(), 2u);
    EXPECT_FALSE(e.FCepPowerValid);
    TWave copy = w;
    e.SynthesizeFromCepstrum(copy); // no cepstra: nothing at all
    EXPECT_TRUE(e.FSpecValid);

    e.CalcPower(1.0);
    e.CalcCepstrum();
    EXPECT_TRUE(e.FCepValid);
    EXPECT_FALSE(e.FCepPowerValid);
    e.CalcCepPower(1000.0);
    EXPECT_TRUE(e.FCepPowerValid);
    const TComplex c = e.FCepstrograms[0]->FFrames[2]->FData[1];
    const double p = e.FCepPower[1][2][3];

    e.CalcPower(1.0);
    EXPECT_FALSE(e.FCepValid || e.FCepPowerValid);
    e.CalcCepstrum();
    e.CalcCepPower(1000.0);
    e.Analyze(w, 512);
    EXPECT_FALSE(e.FCepValid || e.FCepPowerValid);
    EXPECT_EQ(e.FCepstrograms[0]->FSpecLength, 256); // stale, untouched
    EXPECT_EQ(e.FCepstrograms[0]->FFrames[2]->FData[1], c);
    EXPECT_EQ(e.FCepPower[1][2][3], p);

    // Synthesize leaves the cepstrum flags alone.
    e.CalcPower(1.0);
    e.CalcCepstrum();
    e.CalcCepPower(1000.0);
    e.Synthesize(copy);
    EXPECT_TRUE(e.FCepValid && e.FCepPowerValid);

    // A second CalcCepstrum follows the current channel count.
    TWave mono = makeWave(16, 1, 900);
    e.Analyze(mono, 256);
    e.CalcPower(1.0);
    e.CalcCepstrum();
    EXPECT_EQ(e.FCepstrograms.size(), 1u);
}

TEST(CepstrumStates, MismatchedArraysAreRangeErrors)
{
    Analysed a(256, 1000);
    a.e.FPower[1].resize(2);
    EXPECT_THROW(a.e.CalcCepstrum(), RangeError);
    EXPECT_TRUE(a.e.FCepValid);
    a.e.FCepstrograms.resize(1);
    EXPECT_THROW(a.e.CalcCepPower(1000.0), RangeError);
    EXPECT_THROW(a.e.SynthesizeFromCepstrum(a.wave), RangeError);
}

// Splitting frames over threads changes no bit of any result.
TEST(Threads, OneAndTwoThreadsGiveIdenticalResults)
{
    if (workerCount() < 2)
        GTEST_SKIP() << "one core: nothing to compare";
    auto run = [](bool single, TWave& out) {
        detail::setSingleThreadForTesting(single);
        auto a = std::make_unique<Analysed>(1024, 44100 * 2 + 77);
        a->e.FCepstrograms[0]->FFrames[40]->FData[3].re *= 1.5;
        out = a->wave;
        a->e.SynthesizeFromCepstrum(out);
        a->e.CalcPower(1.0);
        detail::setSingleThreadForTesting(false);
        return a;
    };
    TWave w1, w2;
    auto one = run(true, w1);
    auto two = run(false, w2);
    for (int c = 0; c < 2; ++c) {
        EXPECT_TRUE(sameBits(*one->e.FSpectrograms[c], *two->e.FSpectrograms[c]));
        EXPECT_TRUE(sameBits(*one->e.FCepstrograms[c], *two->e.FCepstrograms[c]));
        EXPECT_TRUE(sameBits(one->e.FPower[c], two->e.FPower[c]));
        EXPECT_TRUE(sameBits(one->e.FCepPower[c], two->e.FCepPower[c]));
    }
    EXPECT_TRUE(w1.FData == w2.FData);
    EXPECT_FALSE(w1.FData == one->wave.FData); // the edit did change the sound
}

} // namespace
} // namespace kestrelon
