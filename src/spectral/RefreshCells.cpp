// refreshCells (spectral/Pipeline.h) on top of analyzeCells. The frames are taken a block
// at a time: channel 0's samples that a block's frames cover are copied, as the doubles
// GetSampleF reads, into a Float64 sound on the same frame grid, whose cells are those
// frames' cells bit for bit (every frame is computed from its own samples only).

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "spectral/Pipeline.h"

namespace kestrelon {

void refreshCells(GrayCells& cells, const TWave& wave, int32_t firstFrame, int32_t endFrame)
{
    const int64_t N = cells.fftLength;
    if (N < 2 || (N & (N - 1)) != 0 || cells.rows != N / 2 + 1
        || cells.gray.size() != std::size_t(cells.frames) * std::size_t(cells.rows))
        throw RangeError("the cells are not cells of an analysis");
    const int64_t H = N / 2;
    const int64_t S = wave.FFormat.nChannels ? wave.FSampleCount : 0;
    const int64_t frames = S ? (S + H - 1) / H + 1 : 0;
    if (frames != cells.frames)
        throw RangeError("the cells are not those of the sound");
    if (firstFrame < 0 || endFrame > cells.frames || firstFrame > endFrame)
        throw RangeError("frames " + std::to_string(firstFrame) + " .. " + std::to_string(endFrame)
            + " are not frames of the cells");
    constexpr int32_t kBlockFrames = 4096;
    const auto R = std::size_t(cells.rows);
    for (int32_t a = firstFrame; a < endFrame; a += kBlockFrames) {
        const int32_t b = std::min(endFrame, a + kBlockFrames);
        // Frame f covers samples fH - H .. fH + H - 1: the slice starts a hop before frame
        // a's centre (at 0 for frame 0), so its frame j is frame j + offset.
        const int32_t offset = a == 0 ? 0 : a - 1;
        const int64_t s0 = int64_t(offset) * H;
        const int64_t s1 = std::min(S, int64_t(b) * H);
        TWave slice;
        slice.FFormat.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
        slice.FFormat.nChannels = 1;
        slice.FFormat.nSamplesPerSec = 1; // not read by the analysis
        slice.FFormat.wBitsPerSample = 64;
        slice.UpdateFormat();
        const auto count = std::size_t(s1 - s0);
        std::vector<double> samples(count);
        wave.ReadChannelF(0, uint32_t(s0), uint32_t(count), samples.data());
        slice.FData.resize(count * sizeof(double));
        std::memcpy(slice.FData.data(), samples.data(), slice.FData.size());
        slice.FDataSize = uint32_t(slice.FData.size());
        slice.FSampleCount = uint32_t(count);
        slice.FSeconds = double(count);
        const GrayCells part = analyzeCells(slice, cells.fftLength, cells.view);
        std::copy_n(part.gray.data() + std::size_t(a - offset) * R, std::size_t(b - a) * R,
            cells.gray.data() + std::size_t(a) * R);
    }
}

} // namespace kestrelon
