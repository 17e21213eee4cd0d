#include "spectral/Rdft.h"

#include <cstring>

#include "spectral/RealFft.h"

namespace kestrelon {

namespace {

// Per-thread aligned work rows, grown to the largest n seen on the thread.
struct RdftScratch {
    AlignedBuffer<double> real;
    AlignedBuffer<TComplex> spectrum;
    std::size_t capacity = 0;

    void reserve(std::size_t n)
    {
        if (n <= capacity)
            return;
        real = makeAlignedBuffer<double>(n);
        spectrum = makeAlignedBuffer<TComplex>(n / 2 + 1);
        capacity = n;
    }
};

} // namespace

void rdft(int32_t n, int32_t isgn, double* a, int32_t* /*ip*/, double* /*w*/)
{
    checkFftLength(n, "rdft length");
    const RealFft& fft = RealFft::forLength(n);
    thread_local RdftScratch scratch;
    const auto un = static_cast<std::size_t>(n);
    scratch.reserve(un);
    TComplex* y = scratch.spectrum.get();
    const std::size_t half = un / 2;
    if (isgn >= 0) {
        const double* in = a;
        if (!isFftAligned(a)) {
            std::memcpy(scratch.real.get(), a, un * sizeof(double));
            in = scratch.real.get();
        }
        fft.forward(in, y);
        // The forward bins are sum x e^{-i...}: the packed sine sums are their negated
        // imaginary parts.
        a[0] = y[0].re;
        a[1] = y[half].re;
        for (std::size_t k = 1; k < half; ++k) {
            a[2 * k] = y[k].re;
            a[2 * k + 1] = -y[k].im;
        }
    } else {
        // The inverse sums Y0 + Y(n/2) (-1)^m + 2 Re(sum Yk e^{+i...}): halve, and conjugate.
        y[0] = {a[0] * 0.5, 0.0};
        y[half] = {a[1] * 0.5, 0.0};
        for (std::size_t k = 1; k < half; ++k)
            y[k] = {a[2 * k] * 0.5, -a[2 * k + 1] * 0.5};
        double* out = isFftAligned(a) ? a : scratch.real.get();
        fft.inverse(y, out);
        if (out != a)
            std::memcpy(a, out, un * sizeof(double));
    }
}

} // namespace kestrelon
