// rdft against a plain O(n^2) DFT, and the log10 kernel of the dB rows.

#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "base/Errors.h"
#include "spectral/Rdft.h"
#include "spectral/SpectralKernels.h"

namespace kestrelon {
namespace {

class RdftTest : public ::testing::TestWithParam<int> { };

// Relative error: largest deviation over the largest reference value.
double relErr(const std::vector<double>& got, const std::vector<long double>& want)
{
    long double dev = 0, scale = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        dev = std::max(dev, std::fabs(got[i] - want[i]));
        scale = std::max(scale, std::fabs(want[i]));
    }
    return double(dev / scale);
}

TEST_P(RdftTest, ForwardAndUnscaledInverseMatchThePlainDft)
{
    const int n = GetParam();
    std::vector<long double> cosT(n), sinT(n); // cos, sin of 2 pi t / n
    for (int t = 0; t < n; ++t) {
        cosT[t] = std::cos(2 * 3.141592653589793238462643383279503L * t / n);
        sinT[t] = std::sin(2 * 3.141592653589793238462643383279503L * t / n);
    }
    std::mt19937 rng(n);
    std::uniform_real_distribution<double> d(-1, 1);
    std::vector<double> x(n);
    for (auto& v : x)
        v = d(rng);
    int32_t ip[34] = {0};
    std::vector<double> w(n / 2);

    // Forward: a[0] = R0, a[1] = R(n/2), a[2k] = Rk, a[2k+1] = +sum x sin (the sign matters).
    std::vector<long double> want(n);
    for (int k = 0; k <= n / 2; ++k) {
        long double re = 0, im = 0;
        for (int j = 0; j < n; ++j) {
            re += x[j] * cosT[(int64_t(j) * k) % n];
            im += x[j] * sinT[(int64_t(j) * k) % n];
        }
        if (k == 0)
            want[0] = re;
        else if (k == n / 2)
            want[1] = re;
        else {
            want[2 * k] = re;
            want[2 * k + 1] = im;
        }
    }
    std::vector<double> a = x;
    rdft(n, 1, a.data(), ip, w.data());
    EXPECT_LE(relErr(a, want), 1e-12);

    // Inverse of arbitrary packed values, unscaled.
    std::vector<double> p(n);
    for (auto& v : p)
        v = d(rng);
    std::vector<long double> back(n);
    for (int m = 0; m < n; ++m) {
        long double s = (p[0] + p[1] * ((m % 2) ? -1.0L : 1.0L)) / 2;
        for (int j = 1; j < n / 2; ++j)
            s += p[2 * j] * cosT[(int64_t(j) * m) % n] + p[2 * j + 1] * sinT[(int64_t(j) * m) % n];
        back[m] = s;
    }
    std::vector<double> b = p;
    rdft(n, -1, b.data(), ip, w.data());
    EXPECT_LE(relErr(b, back), 1e-12);
}

INSTANTIATE_TEST_SUITE_P(EveryPowerOfTwo, RdftTest,
    ::testing::Values(4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096));

// Arrays off FFTW's alignment give the same bits; lengths that are not powers of two
// are refused.
TEST(Rdft, UnalignedArraysAndBadLengths)
{
    const int n = 256;
    std::vector<double> store(n + 1), x(n);
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> d(-1, 1);
    for (auto& v : x)
        v = d(rng);
    int32_t ip[34] = {0};
    for (int dir : {1, -1}) {
        std::vector<double> a = x;
        double* u
            = reinterpret_cast<uintptr_t>(store.data()) % 16 ? store.data() : store.data() + 1;
        std::copy(x.begin(), x.end(), u);
        rdft(n, dir, a.data(), ip, nullptr);
        rdft(n, dir, u, ip, nullptr);
        EXPECT_TRUE(std::equal(a.begin(), a.end(), u)) << "direction " << dir;
    }
    for (int bad : {12, 0, -4})
        EXPECT_THROW(rdft(bad, 1, x.data(), ip, nullptr), RangeError) << bad;
}

// The dB kernels within 2 ulp of the library over the whole exponent range and near 1.
TEST(DbKernels, Log10AndExp10WithinTwoUlpOfTheLibrary)
{
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> wide(-300, 300), near1(0.5, 2.0), near0(-1e-6, 1e-6);
    for (int i = 0; i < 200000; ++i) {
        const double x = i % 2 ? std::pow(10.0, wide(rng)) : near1(rng);
        const double want = std::log10(x);
        ASSERT_LE(std::fabs(detail::log10Normal(x) - want),
            2 * std::fabs(std::nextafter(want, 0.0) - want) + DBL_MIN)
            << x;
        const double e = i % 2 ? wide(rng) : near0(rng);
        const double want10 = std::pow(10.0, e);
        ASSERT_LE(std::fabs(detail::exp10Normal(e) - want10),
            2 * std::fabs(std::nextafter(want10, 0.0) - want10))
            << e;
    }
    EXPECT_EQ(detail::log10Normal(1.0), 0.0);
    EXPECT_EQ(detail::log10Normal(DBL_MIN), std::log10(DBL_MIN));
    EXPECT_EQ(detail::exp10Normal(0.0), 1.0);
    // gainRow: dB changes to gains, infinite beyond Double, 0 below it.
    const std::vector<double> now = {0.0, 20.0, -40.0, 7000.0, -7000.0}, before(5, 0.0);
    std::vector<double> g(5);
    detail::gainRow(now.data(), before.data(), 5, g.data());
    EXPECT_EQ(g[0], 1.0);
    EXPECT_NEAR(g[1], 10.0, 1e-14);
    EXPECT_NEAR(g[2], 0.01, 1e-17);
    EXPECT_TRUE(std::isinf(g[3]));
    EXPECT_EQ(g[4], 0.0);
}

} // namespace
} // namespace kestrelon
