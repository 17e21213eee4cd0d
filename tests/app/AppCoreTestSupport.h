#pragma once
// Sounds made in memory for the tests of the window's widget-free parts.

#include <cstdint>
#include <functional>

#include "audio/TWave.h"

namespace kestrelon::test {

// A sound of the given type: bits 8/16/24/32 integer, or 32/64 with isFloat. Sample
// (frame, channel) is value(frame, channel) on the GetSampleF scale.
inline TWave makeWave(uint16_t bits, bool isFloat, uint16_t channels, uint32_t rate,
    uint32_t frames, const std::function<double(uint32_t, uint16_t)>& value)
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

} // namespace kestrelon::test
