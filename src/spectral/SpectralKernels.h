#pragma once
// Internal building blocks of the spectral engine: FFTW plans, the per-frame
// transforms in the engine's scaling, the dB row kernel and the thread split.
// Not part of the layer's interface; the tests use it directly.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include <fftw3.h>

#include "base/Cancel.h"
#include "base/Parallel.h"
#include "spectral/TSpectram.h"

namespace kestrelon::detail {

// Largest FFT length the engine accepts (a power of two).
inline constexpr int32_t kMaxFftLength = 65536;

inline bool isPowerOfTwo(int64_t n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

// Throws RangeError unless n is a power of two from 2 to kMaxFftLength.
void checkFftLength(int64_t n, const char* what);

// Real FFT plans of one length n: r2c (n doubles -> n/2 + 1 complex) and c2r
// (n/2 + 1 complex -> n doubles, input destroyed), both out of place. They are
// made once per length under a lock and then used through FFTW's new-array
// execute functions from any thread. Every array passed must be SIMD-aligned
// like fftw_malloc's (fftw_alignment_of == 0): the same plan then runs the same
// code on every array, so results do not depend on where the data lives.
struct RealFftPlan {
    int32_t n = 0;
    fftw_plan r2c = nullptr;
    fftw_plan c2r = nullptr;
};
const RealFftPlan& realFftPlan(int32_t n);

struct FftwFree {
    void operator()(void* p) const { fftw_free(p); }
};
template <class T> using FftwBuffer = std::unique_ptr<T[], FftwFree>;

// n zero-filled, SIMD-aligned values (T = double or TComplex).
template <class T> FftwBuffer<T> makeFftwBuffer(std::size_t n)
{
    void* p = fftw_malloc(n ? n * sizeof(T) : 1);
    if (!p)
        throw std::bad_alloc();
    auto* t = static_cast<T*>(p);
    for (std::size_t i = 0; i < n; ++i)
        t[i] = T{};
    return FftwBuffer<T>(t);
}

// Forward transform of one frame in the engine's convention: in holds n real
// values (aligned); out receives all n bins X[k] = (2/n) sum_m in[m] e^{+2 pi i k m / n},
// conjugate-symmetric, X[0].im = X[n/2].im = 0.0. scratch holds n/2 + 1 complex
// values (aligned); it is used only when out is not aligned.
void forwardBins(const RealFftPlan& plan, const double* in, TComplex* out, TComplex* scratch);

// Unscaled inverse of bins 0 .. n/2 of X into n real values (aligned out):
// out[m] = (X0.re + X(n/2).re cos(pi m)) / 2 + sum_{k=1}^{n/2-1} (Xk.re cos + Xk.im sin)(2 pi k m /
// n). The imaginary parts of bins 0 and n/2 and the bins above n/2 are not read. scratch holds n/2
// + 1 complex values (aligned).
void inverseBins(const RealFftPlan& plan, const TComplex* X, double* out, TComplex* scratch);

// dB values of bins 0 .. count-1: kZeroDb where |X| = 0, else 20 log10(|X| / ref).
// Returns false when a value would be a floating-point error (|X| / ref not a
// finite positive number: ref of 0, negative or NaN, non-finite bins, overflow or
// a quotient that underflows to 0); out is then partly written.
bool dbRow(const TComplex* X, std::size_t count, double ref, double* out);

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
