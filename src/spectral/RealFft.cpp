#include "spectral/RealFft.h"

#include <array>
#include <atomic>
#include <bit>
#include <mutex>
#include <string>

#include <fftw3.h>

#include "base/Errors.h"

namespace kestrelon {

namespace {

std::mutex gPlannerMutex;

bool isPowerOfTwo(int64_t n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

} // namespace

void checkFftLength(int64_t n, const char* what)
{
    if (n < 2 || n > kMaxFftLength || !isPowerOfTwo(n))
        throw RangeError(std::string(what) + " " + std::to_string(n)
            + " is not a power of two from 2 to " + std::to_string(kMaxFftLength));
}

bool isFftAligned(const void* p)
{
    return fftw_alignment_of(static_cast<double*>(const_cast<void*>(p))) == 0;
}

namespace detail {

void* fftAlloc(std::size_t bytes)
{
    void* p = fftw_malloc(bytes);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void fftFree(void* p) noexcept
{
    fftw_free(p);
}

} // namespace detail

RealFft::RealFft(int32_t n)
    : FLength(n)
{
    checkFftLength(n, "FFT length");
    // Planned out of place on aligned arrays, so that every later execution may use
    // any other aligned pair of arrays.
    auto real = makeAlignedBuffer<double>(static_cast<std::size_t>(n));
    auto spectrum = makeAlignedBuffer<TComplex>(static_cast<std::size_t>(n) / 2 + 1);
    auto* y = reinterpret_cast<fftw_complex*>(spectrum.get());
    std::lock_guard lock(gPlannerMutex);
    FForward = fftw_plan_dft_r2c_1d(n, real.get(), y, FFTW_ESTIMATE);
    FInverse = fftw_plan_dft_c2r_1d(n, y, real.get(), FFTW_ESTIMATE);
    if (!FForward || !FInverse) {
        if (FForward)
            fftw_destroy_plan(static_cast<fftw_plan>(FForward));
        if (FInverse)
            fftw_destroy_plan(static_cast<fftw_plan>(FInverse));
        throw std::bad_alloc();
    }
}

RealFft::~RealFft()
{
    std::lock_guard lock(gPlannerMutex);
    fftw_destroy_plan(static_cast<fftw_plan>(FForward));
    fftw_destroy_plan(static_cast<fftw_plan>(FInverse));
}

const RealFft& RealFft::forLength(int32_t n)
{
    checkFftLength(n, "FFT length");
    static std::array<std::atomic<const RealFft*>, 31> shared{};
    static std::mutex sharedMutex;
    auto& slot = shared[static_cast<std::size_t>(std::countr_zero(static_cast<uint32_t>(n)))];
    if (const RealFft* fft = slot.load(std::memory_order_acquire))
        return *fft;
    std::lock_guard lock(sharedMutex);
    if (const RealFft* fft = slot.load(std::memory_order_acquire))
        return *fft;
    const RealFft* fft = new RealFft(n); // kept for the process
    slot.store(fft, std::memory_order_release);
    return *fft;
}

void RealFft::forward(const double* in, TComplex* out) const
{
    fftw_execute_dft_r2c(static_cast<fftw_plan>(FForward), const_cast<double*>(in),
        reinterpret_cast<fftw_complex*>(out));
}

void RealFft::inverse(TComplex* in, double* out) const
{
    fftw_execute_dft_c2r(
        static_cast<fftw_plan>(FInverse), reinterpret_cast<fftw_complex*>(in), out);
}

} // namespace kestrelon
