#include "spectral/SpectralKernels.h"

#include <array>
#include <atomic>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>

#include "base/Errors.h"
#include "spectral/TWaveSpectram.h"

namespace kestrelon::detail {

void checkFftLength(int64_t n, const char* what)
{
    if (n < 2 || n > kMaxFftLength || !isPowerOfTwo(n))
        throw RangeError(std::string(what) + " " + std::to_string(n)
            + " is not a power of two from 2 to " + std::to_string(kMaxFftLength));
}

namespace {

std::mutex gPlannerMutex;
std::array<std::atomic<const RealFftPlan*>, 31> gPlans{};

bool isAligned(const void* p)
{
    return fftw_alignment_of(static_cast<double*>(const_cast<void*>(p))) == 0;
}

std::atomic<bool> gSingleThread{false};

} // namespace

const RealFftPlan& realFftPlan(int32_t n)
{
    checkFftLength(n, "FFT length");
    auto& slot = gPlans[static_cast<std::size_t>(std::countr_zero(static_cast<uint32_t>(n)))];
    if (const RealFftPlan* plan = slot.load(std::memory_order_acquire))
        return *plan;
    // FFTW's planner is not thread-safe: plans are made one at a time, once per length,
    // on aligned arrays so that every later execution may use any aligned array.
    std::lock_guard lock(gPlannerMutex);
    if (const RealFftPlan* plan = slot.load(std::memory_order_acquire))
        return *plan;
    auto real = makeFftwBuffer<double>(static_cast<std::size_t>(n));
    auto spectrum = makeFftwBuffer<TComplex>(static_cast<std::size_t>(n) / 2 + 1);
    auto* y = reinterpret_cast<fftw_complex*>(spectrum.get());
    auto* plan = new RealFftPlan;
    plan->n = n;
    plan->r2c = fftw_plan_dft_r2c_1d(n, real.get(), y, FFTW_ESTIMATE);
    plan->c2r = fftw_plan_dft_c2r_1d(n, y, real.get(), FFTW_ESTIMATE);
    if (!plan->r2c || !plan->c2r)
        throw std::bad_alloc();
    slot.store(plan, std::memory_order_release);
    return *plan;
}

void forwardBins(const RealFftPlan& plan, const double* in, TComplex* out, TComplex* scratch)
{
    const auto n = static_cast<std::size_t>(plan.n);
    const std::size_t half = n / 2;
    TComplex* y = isAligned(out) ? out : scratch;
    fftw_execute_dft_r2c(plan.r2c, const_cast<double*>(in), reinterpret_cast<fftw_complex*>(y));
    if (y != out)
        std::memcpy(static_cast<void*>(out), y, (half + 1) * sizeof(TComplex));
    // FFTW gives sum x e^{-i...}; the engine's bins are sum x e^{+i...} times 2/n:
    // X[k] = conj(Y[k]) * 2/n and X[n-k] = Y[k] * 2/n. 2/n is a power of two, so
    // scaling by it equals multiplying by 2 and dividing by n.
    const double scale = 2.0 / static_cast<double>(n);
    out[0] = {out[0].re * scale, 0.0};
    for (std::size_t k = 1; k < half; ++k) {
        const double re = out[k].re * scale;
        const double im = -out[k].im * scale;
        out[k] = {re, im};
        out[n - k] = {re, -im};
    }
    out[half] = {out[half].re * scale, 0.0};
}

void inverseBins(const RealFftPlan& plan, const TComplex* X, double* out, TComplex* scratch)
{
    const auto n = static_cast<std::size_t>(plan.n);
    const std::size_t half = n / 2;
    scratch[0] = {X[0].re * 0.5, 0.0};
    for (std::size_t k = 1; k < half; ++k)
        scratch[k] = {X[k].re * 0.5, -X[k].im * 0.5};
    scratch[half] = {X[half].re * 0.5, 0.0};
    fftw_execute_dft_c2r(plan.c2r, reinterpret_cast<fftw_complex*>(scratch), out);
}

// Natural logarithm after the classic reduction x = 2^e m, m in [sqrt(1/2), sqrt(2)),
// log m = f - (f^2/2 - s (f^2/2 + R(s^2))), f = m - 1, s = f / (2 + f), with the
// minimax polynomial R of the well-known freely distributed libm. Branch-free, so
// the compiler vectorises the loops that call it.
namespace {
__attribute__((always_inline)) inline double log10Inline(double x)
{
    constexpr double Lg1 = 6.666666666666735130e-01, Lg2 = 3.999999999940941908e-01,
                     Lg3 = 2.857142874366239149e-01, Lg4 = 2.222219843214978396e-01,
                     Lg5 = 1.818357216161805012e-01, Lg6 = 1.531383769920937332e-01,
                     Lg7 = 1.479819860511658591e-01;
    constexpr double ivln10 = 4.34294481903251816668e-01;
    constexpr double log10_2hi = 3.01029995663611771306e-01;
    constexpr double log10_2lo = 3.69423907715893078616e-13;
    constexpr uint64_t sqrtHalf = 0x3fe6a09e667f3bcdULL;
    const uint64_t u = std::bit_cast<uint64_t>(x) + (0x3ff0000000000000ULL - sqrtHalf);
    const uint64_t biased = u >> 52; // e + 1023
    const double m = std::bit_cast<double>((u & 0x000fffffffffffffULL) + sqrtHalf);
    // e as a double without an integer conversion: 2^52 + biased, minus 2^52 + 1023.
    const double e = std::bit_cast<double>(biased | 0x4330000000000000ULL) - 4503599627371519.0;
    const double f = m - 1.0;
    const double hfsq = 0.5 * f * f;
    const double s = f / (2.0 + f);
    const double z = s * s;
    const double w = z * z;
    const double t1 = w * (Lg2 + w * (Lg4 + w * Lg6));
    const double t2 = z * (Lg1 + w * (Lg3 + w * (Lg5 + w * Lg7)));
    const double r = t2 + t1;
    const double hi = f - hfsq;
    const double lo = (f - hi) - hfsq + s * (hfsq + r);
    return e * log10_2hi + (e * log10_2lo + (lo * ivln10 + hi * ivln10));
}

// Magnitude of a bin: sqrt(re^2 + im^2), or hypot where the squares leave the normal range.
inline double magnitude(double re, double im)
{
    const double p = re * re + im * im;
    if (p >= DBL_MIN && p <= DBL_MAX)
        return std::sqrt(p);
    if (re == 0.0 && im == 0.0)
        return 0.0;
    return std::hypot(re, im);
}

} // namespace

double log10Normal(double x)
{
    return log10Inline(x);
}

#if defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
__attribute__((target_clones("avx2", "default")))
#endif
bool dbRow(const TComplex* X, std::size_t count, double ref, double* out)
{
    // Fast pass: every lane whose squared magnitude and quotient are normal numbers.
    unsigned special = 0; // a count, not a flag: keeps the loop free of branches
    for (std::size_t k = 0; k < count; ++k) {
        const double re = X[k].re, im = X[k].im;
        const double p = re * re + im * im;
        const double q = std::sqrt(p) / ref;
        const bool ok = (p >= DBL_MIN) & (p <= DBL_MAX) & (q >= DBL_MIN) & (q <= DBL_MAX);
        out[k] = 20.0 * log10Inline(ok ? q : 1.0);
        special += ok ? 0u : 1u;
    }
    if (!special)
        return true;
    // Rare lanes: zero, subnormal, huge or invalid values.
    for (std::size_t k = 0; k < count; ++k) {
        const double re = X[k].re, im = X[k].im;
        const double p = re * re + im * im;
        const double q0 = std::sqrt(p) / ref;
        if ((p >= DBL_MIN) & (p <= DBL_MAX) & (q0 >= DBL_MIN) & (q0 <= DBL_MAX))
            continue;
        const double mag = magnitude(re, im);
        if (mag == 0.0) {
            out[k] = kZeroDb;
            continue;
        }
        const double q = mag / ref;
        if (!(q > 0.0 && q <= DBL_MAX))
            return false;
        out[k] = 20.0 * (q >= DBL_MIN ? log10Inline(q) : std::log10(q));
    }
    return true;
}

namespace {

// 10^x for x * log2(10) within [-1020, 1020]: x ln 10 = n ln 2 + r, |r| <= ln2 / 2,
// with x ln 10 taken in two parts so that r keeps full precision, and e^r by its
// Taylor series to degree 13 (truncation below 5e-18). Branch-free.
__attribute__((always_inline)) inline double exp10Inline(double x)
{
    constexpr double log2of10 = 3.32192809488736234787;
    constexpr double shifter = 6755399441055744.0; // 1.5 * 2^52: adding it rounds to an integer
    constexpr double ln2hi = 6.93147180369123816490e-01; // trailing zero bits: n * ln2hi is exact
    constexpr double ln2lo = 1.90821492927058770002e-10;
    // ln 10 = ln10a + ln10b + ln10c; ln10a has 26 significant bits, so xa * ln10a is exact.
    constexpr double ln10a = 0x1.26bb1b8p+1;
    constexpr double ln10b = 0x1.daaa8bp-26;
    constexpr double ln10c = -0x1.f48ad494ea3e9p-53;
    const double kd = x * log2of10 + shifter;
    const uint64_t ki = std::bit_cast<uint64_t>(kd);
    const double n = kd - shifter;
    const double xa = std::bit_cast<double>(std::bit_cast<uint64_t>(x) & 0xFFFFFFFFF8000000ULL);
    const double xb = x - xa;
    const double r = ((xa * ln10a - n * ln2hi) + (xb * ln10a + x * ln10b + x * ln10c)) - n * ln2lo;
    double p = 1.0 / 6227020800.0;
    p = p * r + 1.0 / 479001600.0;
    p = p * r + 1.0 / 39916800.0;
    p = p * r + 1.0 / 3628800.0;
    p = p * r + 1.0 / 362880.0;
    p = p * r + 1.0 / 40320.0;
    p = p * r + 1.0 / 5040.0;
    p = p * r + 1.0 / 720.0;
    p = p * r + 1.0 / 120.0;
    p = p * r + 1.0 / 24.0;
    p = p * r + 1.0 / 6.0;
    p = p * r + 0.5;
    p = p * r + 1.0;
    p = p * r + 1.0;
    const uint64_t scaleBits = (ki - 0x4338000000000000ULL + 1023) << 52;
    return p * std::bit_cast<double>(scaleBits);
}

} // namespace

double exp10Normal(double x)
{
    return exp10Inline(x);
}

#if defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
__attribute__((target_clones("avx2", "default")))
#endif
void gainRow(const double* dbNew, const double* dbOld, std::size_t count, double* gain)
{
    unsigned special = 0;
    for (std::size_t m = 0; m < count; ++m) {
        const double x = (dbNew[m] - dbOld[m]) / 20.0;
        const double t = x * 3.32192809488736234787;
        const bool ok = (t >= -1020.0) & (t <= 1020.0);
        gain[m] = exp10Inline(ok ? x : 0.0);
        special += ok ? 0u : 1u;
    }
    if (!special)
        return;
    for (std::size_t m = 0; m < count; ++m) {
        const double x = (dbNew[m] - dbOld[m]) / 20.0;
        const double t = x * 3.32192809488736234787;
        if (!(t >= -1020.0 && t <= 1020.0))
            gain[m] = std::pow(10.0, x); // beyond Double, underflowing or NaN
    }
}

void setSingleThreadForTesting(bool single)
{
    gSingleThread.store(single);
}
bool singleThreadForTesting()
{
    return gSingleThread.load(std::memory_order_relaxed);
}

} // namespace kestrelon::detail
