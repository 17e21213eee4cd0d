#pragma once
// Waves and engine comparisons shared by the spectral tests.

#include <cstdint>
#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include "../audio/WavBuilder.h"
#include "spectral/TWaveCepstram.h"

namespace kestrelon::test {

// Fills every sample with noise over the whole range of its width.
inline void fillNoise(TWave& w, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    if (w.isFloat()) {
        for (uint32_t i = 0; i < w.FSampleCount; ++i)
            for (uint16_t c = 0; c < w.FFormat.nChannels; ++c)
                w.SetSampleF(i, uint8_t(c), d(rng));
    } else {
        for (auto& b : w.FData)
            b = uint8_t(rng());
    }
}

// A 16-bit (or other) integer sound of noise.
inline TWave noise(uint16_t channels, uint32_t frames, uint32_t seed, uint16_t bits = 16)
{
    TWave w = makeWave(bits, channels, frames, 1, 44100);
    fillNoise(w, seed);
    return w;
}

// Every sample of channel c as a Double.
inline std::vector<double> channel(const TWave& w, uint8_t c)
{
    std::vector<double> x(w.FSampleCount);
    w.ReadChannelF(c, 0, w.FSampleCount, x.data());
    return x;
}

// Bit-identical rows (dB rows, or the bins of every frame of a spectrogram).
template <class Rows> bool sameBits(const Rows& a, const Rows& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t f = 0; f < a.size(); ++f)
        if (a[f].size() != b[f].size()
            || std::memcmp(a[f].data(), b[f].data(), a[f].size() * sizeof(a[f][0])))
            return false;
    return true;
}

inline bool sameBits(const TSpectrogram& a, const TSpectrogram& b)
{
    if (a.FFrameCount != b.FFrameCount || a.FSpecLength != b.FSpecLength)
        return false;
    for (int f = 0; f < a.FFrameCount; ++f) {
        const auto &x = a.FFrames[f]->FData, &y = b.FFrames[f]->FData;
        if (x.size() != y.size() || std::memcmp(x.data(), y.data(), x.size() * sizeof(TComplex)))
            return false;
    }
    return true;
}

} // namespace kestrelon::test
