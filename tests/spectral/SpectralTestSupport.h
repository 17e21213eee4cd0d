#pragma once
// Waves and engine comparisons shared by the spectral tests.

#include <cstdint>
#include <random>

#include <gtest/gtest.h>

#include "audio/TWave.h"
#include "spectral/TWaveCepstram.h"

namespace kestrelon::test {

// A wave of `frames` frames; bits 32/64 with isFloat give IEEE floats.
inline TWave makeWave(
    uint16_t channels, uint16_t bits, uint32_t frames, bool isFloat = false, uint32_t rate = 44100)
{
    TWave w;
    w.FFormat.nChannels = channels;
    w.FFormat.wBitsPerSample = bits;
    w.FFormat.nSamplesPerSec = rate;
    w.FFormat.wFormatTag = isFloat ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM;
    w.UpdateFormat();
    w.SetSampleCount(frames);
    return w;
}

// Fills every sample with noise over the whole range of its width.
inline void fillNoise(TWave& w, uint32_t seed)
{
    std::mt19937 rng(seed);
    if (w.isFloat()) {
        std::uniform_real_distribution<double> d(-1.0, 1.0);
        for (uint32_t i = 0; i < w.FSampleCount; ++i)
            for (uint16_t c = 0; c < w.FFormat.nChannels; ++c)
                w.SetSampleF(i, uint8_t(c), d(rng));
    } else {
        for (auto& b : w.FData)
            b = uint8_t(rng());
    }
}

// Every sample of channel c as a Double.
inline std::vector<double> channel(const TWave& w, uint8_t c)
{
    std::vector<double> x(w.FSampleCount);
    w.ReadChannelF(c, 0, w.FSampleCount, x.data());
    return x;
}

} // namespace kestrelon::test
