#pragma once
// The benchmark sound: a linear chirp from 50 Hz to 15 kHz plus white noise, stereo
// (the right channel's chirp runs backwards), 16-bit at 44.1 kHz unless asked otherwise.

#include <cmath>
#include <random>

#include "audio/TWave.h"

namespace kestrelon::bench {

inline TWave chirpNoise(double seconds, uint32_t rate = 44100, uint16_t bits = 16)
{
    TWave w;
    w.FFormat.nChannels = 2;
    w.FFormat.wBitsPerSample = bits;
    w.FFormat.nSamplesPerSec = rate;
    w.UpdateFormat();
    const auto frames = static_cast<uint32_t>(seconds * rate);
    w.SetSampleCount(frames);
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(0.0, 0.05);
    const double f0 = 50.0, f1 = 15000.0, T = frames / double(rate);
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = i / double(rate), u = T - t;
        const double left = 0.5 * std::sin(2 * M_PI * (f0 * t + (f1 - f0) * t * t / (2 * T)));
        const double right = 0.5 * std::sin(2 * M_PI * (f0 * u + (f1 - f0) * u * u / (2 * T)));
        w.SetSampleF(i, 0, left + noise(rng));
        w.SetSampleF(i, 1, right + noise(rng));
    }
    return w;
}

} // namespace kestrelon::bench
