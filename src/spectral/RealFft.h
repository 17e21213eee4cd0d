#pragma once
// The one real FFT of the spectral layer: every transform (rdft, the engine classes, the
// streaming pipeline) goes through a RealFft.
//
// Scaling: neither direction is scaled.
//   forward: Y[k] = sum_{m=0}^{n-1} x[m] e^{-2 pi i k m / n}, k = 0 .. n/2 (n/2 + 1 values;
//            Y[0].im = Y[n/2].im = 0);
//   inverse: x[m] = sum_{k=0}^{n-1} Y[k] e^{+2 pi i k m / n} with Y[n - k] = conj(Y[k]),
//            from Y[0 .. n/2] alone; the imaginary parts of Y[0] and Y[n/2] must be 0.
// So forward then inverse gives n times the input.
//
// Arrays: every array passed must be SIMD-aligned like fftw_malloc's (see isFftAligned;
// AlignedBuffer gives such arrays) and input and output must not overlap. The plan then
// runs the same code on every array, so results do not depend on where the data lives
// or on the thread. inverse() overwrites its input.
//
// A RealFft owns its plans (FFTW_ESTIMATE: planned without timing, so every process
// makes the same plan and the same bits). FFTW's planner is not thread-safe; making and
// destroying plans is serialised here, executing them is safe from any thread.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "spectral/TSpectram.h"

namespace kestrelon {

// Largest FFT length the layer accepts (a power of two).
inline constexpr int32_t kMaxFftLength = 65536;

// Throws RangeError naming `what` unless n is a power of two from 2 to kMaxFftLength.
void checkFftLength(int64_t n, const char* what);

// True when p has the alignment a RealFft needs.
bool isFftAligned(const void* p);

namespace detail {
void* fftAlloc(std::size_t bytes); // aligned; throws std::bad_alloc
void fftFree(void* p) noexcept;
struct FftFree {
    void operator()(void* p) const { fftFree(p); }
};
} // namespace detail

// n zero-filled, aligned values of T (double or TComplex).
template <class T> using AlignedBuffer = std::unique_ptr<T[], detail::FftFree>;
template <class T> AlignedBuffer<T> makeAlignedBuffer(std::size_t n)
{
    auto* t = static_cast<T*>(detail::fftAlloc(n ? n * sizeof(T) : 1));
    for (std::size_t i = 0; i < n; ++i)
        t[i] = T{};
    return AlignedBuffer<T>(t);
}

class RealFft {
public:
    // Plans the transforms of length n (RangeError unless a power of two 2 .. 65536).
    explicit RealFft(int32_t n);
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    // The shared transform of length n, planned on first use and kept for the process.
    static const RealFft& forLength(int32_t n);

    int32_t length() const { return FLength; }
    // n real values -> n/2 + 1 bins (see the top of this file).
    void forward(const double* in, TComplex* out) const;
    // n/2 + 1 bins -> n real values; in is overwritten.
    void inverse(TComplex* in, double* out) const;

private:
    int32_t FLength = 0;
    void* FForward = nullptr; // fftw_plan
    void* FInverse = nullptr; // fftw_plan
};

} // namespace kestrelon
