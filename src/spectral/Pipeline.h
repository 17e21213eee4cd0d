#pragma once
// The streaming pipeline: a whole sound analysed or filtered frame by frame, in blocks
// of frames on every core, without keeping the analysis.
//
// Geometry as in TWaveSpectram.h: FFT length N, hop H = N/2, F = (S + H - 1) / H + 1
// frames for S samples; frame f covers samples -H + fH .. -H + fH + N - 1. Analysis,
// gains, inverse transform and overlap-add are frame-local: the output samples of
// segment j, [jH, (j+1)H), depend on frames j and j + 1 only.
//
// Results are those of the engine classes (TWaveSpectram, TWaveCepstram) bit for bit:
// the same kernels in the same order, whatever the number of threads or the block size.
//
// A sound without samples or without channels has no frames.
//
// Cancel: inside a CancelScope (base/Cancel.h) the functions throw OperationCancelled
// between blocks. Progress: `progress`, when set, is called on the calling thread with a
// value from 0 to 100 after each block, and with 100 at the end. Errors are the engine's
// (base/Errors.h): RangeError for an N that is not a power of two from 2 to 65536, an
// unknown view, more than 256 channels or edits that do not fit the sound; FloatError
// for a dB value or gain that is not a finite number, and for a brighter cell whose bin
// (or cepstrum value) times its gain is not one. Only the frames a call computes are
// checked: channel 0's for the cells, the edited frames and their neighbours in every
// channel for a filter. Nothing of the caller's is changed by an error or a cancel.

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "audio/TWave.h"

namespace kestrelon {

// The two pictures of a sound: the spectrum (dB of bins 0 .. N/2 against 1.0) and the
// cepstrum (dB of quefrencies 0 .. N/2 against 1000.0).
enum class SpectralView : uint8_t { Spectrum = 0, Cepstrum = 1 };

using ProgressFn = std::function<void(int percent)>;

// The gray level of a dB value, 0 .. 255: Max(0, Min(255, Trunc(2 dB + 255))), two levels
// per dB; NaN counts as black.
inline int32_t grayLevel(double db)
{
    const double x = 2.0 * db + 255.0;
    if (x >= 255.0)
        return 255;
    if (x >= 1.0)
        return static_cast<int32_t>(x); // truncation toward zero
    return 0; // (-1, 1) truncates to 0; below, clamped
}

// Channel 0's gray cells of one view: R = N/2 + 1 rows per frame, frame after frame;
// row k is bin k (spectrum) or quefrency k (cepstrum). A sound without samples has none.
struct GrayCells {
    SpectralView view = SpectralView::Spectrum;
    int32_t fftLength = 0;
    int32_t frames = 0;
    int32_t rows = 0; // fftLength / 2 + 1
    std::vector<uint8_t> gray; // frames * rows

    uint8_t at(int32_t frame, int32_t row) const
    {
        return gray[std::size_t(frame) * std::size_t(rows) + std::size_t(row)];
    }
};

// An edit in cells: gray-level differences d (edited minus original, -255 .. 255), each a
// gain of 10^(d / 40) on its cell of every channel. Only frames with a non-zero
// difference are listed.
struct CellEdits {
    int32_t rows = 0; // N / 2 + 1
    std::vector<int32_t> frames; // ascending, no repeats
    std::vector<int16_t> diffs; // frames.size() * rows, frame after frame

    bool empty() const { return frames.empty(); }
};

// The cells of channel 0 in `view` (what the display picture and an import's reference
// need). N: a power of two from 2 to 65536, RangeError otherwise.
GrayCells analyzeCells(
    const TWave& wave, int32_t N, SpectralView view, const ProgressFn& progress = {});

// Recomputes frames [firstFrame, endFrame) of cells (same N and view as cells) from wave,
// as analyzeCells would give them: after a filter only the frames whose samples changed
// need it (an edited frame and its two neighbours).
void refreshCells(GrayCells& cells, const TWave& wave, int32_t firstFrame, int32_t endFrame);
// The same for several ranges of frames [first, end), ascending and apart, in one pass.
void refreshCells(
    GrayCells& cells, const TWave& wave, const std::vector<std::pair<int32_t, int32_t>>& ranges);
// The cells of just the frames in ranges (as refreshCells takes them), one after another:
// frames is how many there are, frame i of the result is the i-th listed. A look at a few
// frames of a long sound without cells for all of it.
GrayCells analyzeSomeCells(const TWave& wave, int32_t N, SpectralView view,
    const std::vector<std::pair<int32_t, int32_t>>& ranges);

// A new sound: `wave` with `edits` applied in `view` to every channel, resynthesised.
// Segments that no edited frame reaches keep their sample bytes exactly; the others are
// what analysing the whole sound, scaling and resynthesising (Synthesize, or
// SynthesizeFromCepstrum in the cepstrum view) gives, bit for bit. Samples that the
// resynthesis could not store as asked are added to *clips (the peak is that of the
// resynthesised segments; untouched ones are not written). Edits must have rows = N/2 + 1,
// frames ascending below the frame count, differences in -255 .. 255; empty edits give
// a copy of `wave`.
TWave filterSound(const TWave& wave, int32_t N, SpectralView view, const CellEdits& edits,
    ClipStats* clips = nullptr, const ProgressFn& progress = {});
// The same into out, a copy of wave made beforehand (a caller may make it while it reads
// the edits); only the segments the edits reach are written. RangeError when out does not
// have wave's format and size.
void filterSoundInto(const TWave& wave, int32_t N, SpectralView view, const CellEdits& edits,
    TWave& out, ClipStats* clips = nullptr, const ProgressFn& progress = {});

// The samples of filterSound's result handed on instead of kept: write(first, count,
// bytes) receives sample frames [first, first + count) of the new sound in wave's format,
// every frame once and in order (where no edit reaches, the bytes are wave's own). The
// blocks are filtered on every core; the ones finished before their turn wait, a few at
// a time. write is called under a lock, from any of the threads. When it returns false
// the filter stops and returns false; true when every frame was written.
using SampleWriter = std::function<bool(uint32_t first, uint32_t count, const uint8_t* bytes)>;
bool filterSoundTo(const TWave& wave, int32_t N, SpectralView view, const CellEdits& edits,
    const SampleWriter& write, ClipStats* clips = nullptr, const ProgressFn& progress = {});

} // namespace kestrelon
