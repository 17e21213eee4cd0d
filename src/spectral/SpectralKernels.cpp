#include "spectral/SpectralKernels.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "audio/TWave.h"
#include "spectral/TWaveSpectram.h"

namespace kestrelon::detail {

namespace {
std::atomic<bool> gSingleThread{false};
std::atomic<int32_t> gBlockFrames{0};
} // namespace

void fillWindow(double* w, int32_t n, uint8_t kind)
{
    constexpr long double twoPi = 6.283185307179586477L;
    for (int32_t i = 0; i < n; ++i) {
        // i / n first, then times 2 pi, all in extended precision.
        const long double phi = (static_cast<long double>(i) / n) * twoPi;
        const long double hann = 0.5L - 0.5L * std::cos(phi);
        if (kind == 0)
            w[i] = static_cast<double>(hann);
        else if (kind == 1)
            w[i] = static_cast<double>(std::sqrt(hann));
        else
            w[i] = 1.0;
    }
}

void readFrame(const TWave& wave, uint8_t c, int64_t start, std::size_t n, double* out)
{
    const int64_t S = wave.FSampleCount;
    const std::size_t lead
        = start < 0 ? std::min<std::size_t>(n, static_cast<std::size_t>(-start)) : 0;
    const int64_t first = start + static_cast<int64_t>(lead);
    const std::size_t count
        = first < S ? std::min<std::size_t>(n - lead, static_cast<std::size_t>(S - first)) : 0;
    std::fill(out, out + lead, 0.0);
    if (count)
        wave.ReadChannelF(
            c, static_cast<uint32_t>(first), static_cast<uint32_t>(count), out + lead);
    std::fill(out + lead + count, out + n, 0.0);
}

#if defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
void scaleForward(TComplex* y, std::size_t n)
{
    // FFTW gives sum x e^{-i...}; the engine's bins are sum x e^{+i...} times 2/n:
    // X[k] = conj(Y[k]) * 2/n. 2/n is a power of two, so scaling by it equals
    // multiplying by 2 and dividing by n.
    const std::size_t half = n / 2;
    const double scale = 2.0 / static_cast<double>(n);
    y[0] = {y[0].re * scale, 0.0};
    for (std::size_t k = 1; k < half; ++k)
        y[k] = {y[k].re * scale, -y[k].im * scale};
    y[half] = {y[half].re * scale, 0.0};
}

void forwardBins(const RealFft& fft, const double* in, TComplex* out, TComplex* scratch)
{
    const auto n = static_cast<std::size_t>(fft.length());
    const std::size_t half = n / 2;
    TComplex* y = isFftAligned(out) ? out : scratch;
    forwardHalf(fft, in, y);
    if (y != out)
        std::memcpy(static_cast<void*>(out), y, (half + 1) * sizeof(TComplex));
    for (std::size_t k = 1; k < half; ++k)
        out[n - k] = {out[k].re, -out[k].im};
}

#if defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
void windowFrame(double* a, const double* window, std::size_t n)
{
    for (std::size_t m = 0; m < n; ++m)
        a[m] *= window[m];
}

void analyzeFrame(const RealFft& fft, const double* window, double* a, TComplex* out)
{
    windowFrame(a, window, static_cast<std::size_t>(fft.length()));
    forwardHalf(fft, a, out);
}

void inverseBins(const RealFft& fft, const TComplex* X, double* out, TComplex* scratch)
{
    // The inverse sums Y0 + Y(n/2) (-1)^m + 2 Re(sum Yk e^{+i...}): halve, and conjugate.
    const auto n = static_cast<std::size_t>(fft.length());
    const std::size_t half = n / 2;
    scratch[0] = {X[0].re * 0.5, 0.0};
    for (std::size_t k = 1; k < half; ++k)
        scratch[k] = {X[k].re * 0.5, -X[k].im * 0.5};
    scratch[half] = {X[half].re * 0.5, 0.0};
    fft.inverse(scratch, out);
}

void synthesizeFrame(
    const RealFft& fft, const TComplex* X, const double* window, double* a, TComplex* scratch)
{
    inverseBins(fft, X, a, scratch);
    windowFrame(a, window, static_cast<std::size_t>(fft.length()));
}

#if defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
void overlapAdd(const double* tail, const double* head, double* acc, std::size_t H)
{
    for (std::size_t r = 0; r < H; ++r)
        acc[r] = 0.0;
    if (tail)
        for (std::size_t r = 0; r < H; ++r)
            acc[r] += tail[r];
    if (head)
        for (std::size_t r = 0; r < H; ++r)
            acc[r] += head[r];
}

namespace {
void mirrorRow(const double* P, double* e, std::size_t n)
{
    const std::size_t half = n / 2;
    for (std::size_t i = 0; i < half; ++i)
        e[i] = P[i];
    for (std::size_t i = half; i < n; ++i)
        e[i] = P[n - i];
}
} // namespace

void cepstrumOfRow(const RealFft& fft, const double* P, double* e, TComplex* out)
{
    mirrorRow(P, e, static_cast<std::size_t>(fft.length()));
    forwardHalf(fft, e, out);
}

void cepstrumOfRowFull(
    const RealFft& fft, const double* P, double* e, TComplex* out, TComplex* scratch)
{
    mirrorRow(P, e, static_cast<std::size_t>(fft.length()));
    forwardBins(fft, e, out, scratch);
}

void cepstrumGainRow(const RealFft& fft, const TComplex* cep, const double* D, double* a,
    TComplex* scratch, double* g)
{
    inverseBins(fft, cep, a, scratch);
    gainRow(a, D, static_cast<std::size_t>(fft.length()) / 2 + 1, g);
}

bool gainsFinite(const TComplex* X, const double* g, std::size_t count)
{
    unsigned bad = 0;
    for (std::size_t m = 0; m < count; ++m) {
        const bool ok
            = std::isfinite(g[m]) && std::isfinite(X[m].re * g[m]) && std::isfinite(X[m].im * g[m]);
        bad += ok ? 0u : 1u;
    }
    return bad == 0;
}

bool cepstrumGains(const RealFft& fft, const TComplex* cep, const double* D, const TComplex* X,
    double* a, TComplex* scratch, double* g)
{
    cepstrumGainRow(fft, cep, D, a, scratch, g);
    return gainsFinite(X, g, static_cast<std::size_t>(fft.length()) / 2 + 1);
}

void applyGains(TComplex* X, const double* g, std::size_t count)
{
    for (std::size_t m = 0; m < count; ++m)
        X[m] = {X[m].re * g[m], X[m].im * g[m]};
}

#if defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
bool applyFiniteGains(TComplex* X, const double* g, std::size_t count)
{
    unsigned bad = 0;
    for (std::size_t m = 0; m < count; ++m) {
        const double re = X[m].re * g[m], im = X[m].im * g[m];
        const bool ok = std::isfinite(g[m]) && std::isfinite(re) && std::isfinite(im);
        bad += ok ? 0u : 1u;
        X[m] = {re, im};
    }
    return bad == 0;
}

const std::array<double, 511>& cellGain()
{
    static const std::array<double, 511> table = [] {
        std::array<double, 511> t{};
        for (int d = -255; d <= 255; ++d)
            t[std::size_t(d + 255)] = std::pow(10.0, d / 40.0);
        return t;
    }();
    return table;
}

bool scaleByCells(TComplex* bins, const int16_t* diffs, std::size_t count)
{
    const double* gain = cellGain().data() + 255;
    bool ok = true;
    for (std::size_t k = 0; k < count; ++k) {
        const int d = diffs[k];
        if (d == 0)
            continue;
        const double g = gain[d];
        TComplex& v = bins[k];
        v.re = v.re * g;
        v.im = v.im * g;
        if (d > 0 && !(std::isfinite(v.re) && std::isfinite(v.im)))
            ok = false;
    }
    return ok;
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

namespace {
// The fast pass of dbRow: every lane whose squared magnitude and quotient are normal
// numbers; returns how many are not. With Unit the reference is 1.0, and the division
// by it (which changes no value) is left out.
template <bool Unit>
__attribute__((always_inline)) inline unsigned dbFast(
    const TComplex* X, std::size_t count, double ref, double* out)
{
    unsigned special = 0; // a count, not a flag: keeps the loop free of branches
    for (std::size_t k = 0; k < count; ++k) {
        const double re = X[k].re, im = X[k].im;
        const double p = re * re + im * im;
        const double q = Unit ? std::sqrt(p) : std::sqrt(p) / ref;
        const bool ok = (p >= DBL_MIN) & (p <= DBL_MAX) & (q >= DBL_MIN) & (q <= DBL_MAX);
        out[k] = 20.0 * log10Inline(ok ? q : 1.0);
        special += ok ? 0u : 1u;
    }
    return special;
}
} // namespace

#if defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
bool dbRow(const TComplex* X, std::size_t count, double ref, double* out)
{
    const unsigned special
        = ref == 1.0 ? dbFast<true>(X, count, ref, out) : dbFast<false>(X, count, ref, out);
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
__attribute__((target_clones("avx512f", "avx2", "default")))
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

void setBlockFramesForTesting(int32_t frames)
{
    gBlockFrames.store(frames);
}
int32_t blockFramesForTesting()
{
    return gBlockFrames.load(std::memory_order_relaxed);
}

} // namespace kestrelon::detail
