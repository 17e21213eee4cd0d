#pragma once
// Internal building blocks of the spectral layer: the per-frame steps shared by the
// engine classes and the streaming pipeline, and the thread split. Not part of the
// layer's interface; the tests use it directly.
//
// Conventions (n = FFT length, a power of two; H = n/2 the hop; K = n/2 + 1 the distinct
// bins): a frame's bins are X[k] = (2/n) sum_m b[m] e^{+2 pi i k m / n} (see
// TWaveSpectram.h); "aligned" arrays are aligned for RealFft (AlignedBuffer). Every
// kernel writes the same bits whatever thread runs it and wherever its arrays live, and
// allocates nothing.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "base/Cancel.h"
#include "base/Parallel.h"
#include "spectral/RealFft.h"
#include "spectral/TSpectram.h"

namespace kestrelon {
class TWave;
}

namespace kestrelon::detail {

// The analysis window of kind 0 (periodic Hann: 0.5 - 0.5 cos(2 pi i / n)), 1 (its square
// root, the engine's window for analysis and resynthesis) or any other kind (1.0), into
// w[0 .. n-1]; computed in extended precision, i / n first.
void fillWindow(double* w, int32_t n, uint8_t kind);

// Samples start .. start + n - 1 of channel c as Doubles (GetSampleF's scale); samples
// before 0 or from FSampleCount on read as 0.0.
void readFrame(const TWave& wave, uint8_t c, int64_t start, std::size_t n, double* out);

// X[k] = conj(Y[k]) * 2/n in place, k = 0 .. n/2, Y a forward transform's output (the
// imaginary parts of X[0] and X[n/2] set to 0.0). 2/n is a power of two: exact scaling.
void scaleForward(TComplex* y, std::size_t n);

// Bins 0 .. n/2 of in (n values, aligned) in the engine's scaling into out (aligned).
inline void forwardHalf(const RealFft& fft, const double* in, TComplex* out)
{
    fft.forward(in, out);
    scaleForward(out, static_cast<std::size_t>(fft.length()));
}

// The same into all n bins of out (any alignment; scratch: K aligned values, used when
// out is not aligned): bins above n/2 are the conjugates, X[n - k] = conj(X[k]).
void forwardBins(const RealFft& fft, const double* in, TComplex* out, TComplex* scratch);

// a[m] = a[m] * window[m], m < n.
void windowFrame(double* a, const double* window, std::size_t n);

// Window, transform and 2/n scaling of one frame: a (n samples, aligned) is multiplied
// by window in place, then bins 0 .. n/2 go to out (aligned).
void analyzeFrame(const RealFft& fft, const double* window, double* a, TComplex* out);

// Unscaled inverse of bins 0 .. n/2 of X into n real values (aligned out):
// out[m] = (X0.re + X(n/2).re cos(pi m)) / 2 + sum_{k=1}^{n/2-1} (Xk.re cos + Xk.im sin)(2 pi
// k m / n). The imaginary parts of bins 0 and n/2 and the bins above n/2 are not read.
// scratch holds K aligned values.
void inverseBins(const RealFft& fft, const TComplex* X, double* out, TComplex* scratch);

// The resynthesis of one frame: inverseBins of X into a (n values, aligned), times window.
void synthesizeFrame(
    const RealFft& fft, const TComplex* X, const double* window, double* a, TComplex* scratch);

// Output samples of a segment, in the order an accumulator filled frame by frame adds
// them: acc[r] = (0.0 + tail[r]) + head[r], r < H (tail: the second half of the earlier
// frame's resynthesis, head: the first half of the later one's). A null tail or head
// (no such frame) is left out of the sum.
void overlapAdd(const double* tail, const double* head, double* acc, std::size_t H);

// dB values of bins 0 .. count-1: kZeroDb where |X| = 0, else 20 log10(|X| / ref).
// Returns false when a value would be a floating-point error (|X| / ref not a
// finite positive number: ref of 0, negative or NaN, non-finite bins, overflow or
// a quotient that underflows to 0); out is then partly written.
bool dbRow(const TComplex* X, std::size_t count, double ref, double* out);

// The cepstrum of a dB row P (bins 0 .. n/2): P mirrored into the even sequence e of n
// values (e[i] = P[i], e[n - i] = P[i]; e aligned), then forwardHalf into out (aligned).
void cepstrumOfRow(const RealFft& fft, const double* P, double* e, TComplex* out);
// The same into all n bins of out (any alignment), as forwardBins.
void cepstrumOfRowFull(
    const RealFft& fft, const double* P, double* e, TComplex* out, TComplex* scratch);

// The gains a cepstrum asks of its frame: D' = inverseBins(cep) (the dB row the cepstrum
// stands for; an unedited cepstrum gives D back within rounding), g[m] = 10^((D'[m] -
// D[m]) / 20) for m = 0 .. n/2. a: n aligned values, scratch: K aligned values.
void cepstrumGainRow(const RealFft& fft, const TComplex* cep, const double* D, double* a,
    TComplex* scratch, double* g);

// true when every g[m] and X[m] * g[m] (both parts), m < count, is a finite number.
bool gainsFinite(const TComplex* X, const double* g, std::size_t count);

// cepstrumGainRow, then gainsFinite.
bool cepstrumGains(const RealFft& fft, const TComplex* cep, const double* D, const TComplex* X,
    double* a, TComplex* scratch, double* g);

// X[m] = X[m] * g[m] (both parts), m < count.
void applyGains(TComplex* X, const double* g, std::size_t count);

// applyGains, returning gainsFinite of the gains and the bins before it (X is scaled
// either way).
bool applyFiniteGains(TComplex* X, const double* g, std::size_t count);

// The gain of a gray-level difference d (-255 .. 255): cellGain()[d + 255] =
// std::pow(10.0, d / 40.0), half a decibel per level; cellGain()[255] is exactly 1.
const std::array<double, 511>& cellGain();

// bins[k] = bins[k] * gain(diffs[k]) (both parts) for k < count where diffs[k] != 0;
// a difference of 0 leaves the bin as it is. Returns false, with bins partly scaled,
// when a positive difference would make a part that is not a finite number.
bool scaleByCells(TComplex* bins, const int16_t* diffs, std::size_t count);

// log10 for positive normal finite x, within 2 ulp of the exact value.
double log10Normal(double x);

// 10^x within 2 ulp for x log2(10) in [-1020, 1020] (outside: not meaningful).
double exp10Normal(double x);

// gain[m] = 10^((dbNew[m] - dbOld[m]) / 20), infinite or NaN where that is not a
// finite number (a gain beyond Double overflows; one below it underflows to 0).
void gainRow(const double* dbNew, const double* dbOld, std::size_t count, double* gain);

// parallelFor over frames, or on the calling thread alone while
// setSingleThreadForTesting(true) is in force (tests compare both for bit identity).
void setSingleThreadForTesting(bool single);
bool singleThreadForTesting();

// The pipeline's block: frames (or segments) per block per worker, 0 for its own choice.
// Tests set small blocks to put block boundaries everywhere.
void setBlockFramesForTesting(int32_t frames);
int32_t blockFramesForTesting();

// Frames per slice between two looks at the cancel flag of a task (a few milliseconds
// of work for the longest frames).
inline constexpr std::size_t kCancelSlice = 256;

// parallelFor over frames. Inside a task that may be cancelled (base/Cancel.h) each
// range is run in slices of kCancelSlice frames, and a cancel throws between slices. The
// passes give the same bits however their frames are split, so slicing changes nothing.
template <class Fn> void forFrames(std::size_t count, Fn&& fn)
{
    const std::size_t minItems = singleThreadForTesting() ? SIZE_MAX : 8;
    const std::atomic<bool>* cancel = currentCancelFlag();
    if (!cancel) {
        parallelFor(count, std::forward<Fn>(fn), minItems);
        return;
    }
    parallelFor(
        count,
        [&](std::size_t begin, std::size_t end) {
            for (std::size_t s = begin; s < end;) {
                throwIfCancelled(cancel);
                const std::size_t e = end - s > kCancelSlice ? s + kCancelSlice : end;
                fn(s, e);
                s = e;
            }
        },
        minItems);
}

} // namespace kestrelon::detail
