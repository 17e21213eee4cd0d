// A plain program that does the work of a whole-picture cepstrum apply the direct way, to
// compare kestrelon-cli apply with (bench/cli_timing.sh runs both): it reads a 16-bit PCM
// WAV, analyses every frame of every channel into memory (the spectra, dB rows and cepstra
// of the whole sound, on huge pages), darkens every cepstrum cell one gray level (a gain
// of 10^(-1/40)), turns the cepstra back into per-bin gains, resynthesises by overlap-add
// and writes a 16-bit WAV. One thread per channel, FFTW plans made with FFTW_ESTIMATE.
// No checks beyond what it needs to run: it is a yardstick, not a tool.
//
//   plain_fftw IN.wav OUT.wav [N]

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include <fftw3.h>
#include <sys/mman.h>

namespace {

// Zeroed memory for n values of T, advised onto huge pages.
template <class T> T* hugeArray(std::size_t n)
{
    const std::size_t bytes = std::max<std::size_t>(n * sizeof(T), 1);
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
        std::perror("mmap");
        std::exit(1);
    }
    madvise(p, bytes, MADV_HUGEPAGE);
    return static_cast<T*>(p);
}

std::vector<char> readFile(const char* path)
{
    std::vector<char> bytes;
    if (FILE* f = std::fopen(path, "rb")) {
        char buffer[1 << 16];
        std::size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + got);
        std::fclose(f);
    }
    return bytes;
}

uint32_t le32(const char* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s IN.wav OUT.wav [N]\n", argv[0]);
        return 2;
    }
    const int N = argc > 3 ? std::atoi(argv[3]) : 1024;
    const int H = N / 2, K = N / 2 + 1;
    std::vector<char> file = readFile(argv[1]);
    // the "fmt " and "data" chunks of a plain PCM file
    std::size_t at = 12, data = 0, dataBytes = 0;
    int channels = 0;
    while (at + 8 <= file.size()) {
        const uint32_t size = le32(&file[at + 4]);
        if (std::memcmp(&file[at], "fmt ", 4) == 0)
            channels = uint8_t(file[at + 10]);
        if (std::memcmp(&file[at], "data", 4) == 0) {
            data = at + 8;
            dataBytes = std::min<std::size_t>(size, file.size() - data);
            break;
        }
        at += 8 + size + (size & 1);
    }
    if (channels == 0 || data == 0) {
        std::fprintf(stderr, "not a 16-bit PCM WAV file\n");
        return 1;
    }
    const std::size_t S = dataBytes / (2 * std::size_t(channels));
    const std::size_t F = (S + H - 1) / H + 1;
    auto* samples = reinterpret_cast<int16_t*>(&file[data]);

    std::vector<double> window(N);
    for (int i = 0; i < N; ++i)
        window[i] = std::sin(M_PI * (i + 0.5) / N); // sine window: analysis x synthesis sums to 1
    double* probe = fftw_alloc_real(N);
    fftw_complex* probeBins = fftw_alloc_complex(K);
    const fftw_plan forward = fftw_plan_dft_r2c_1d(N, probe, probeBins, FFTW_ESTIMATE);
    const fftw_plan inverse = fftw_plan_dft_c2r_1d(N, probeBins, probe, FFTW_ESTIMATE);

    std::vector<int16_t> out(S * std::size_t(channels));
    auto channel = [&](int c) {
        auto* bins = hugeArray<std::complex<double>>(F * K);
        auto* db = hugeArray<double>(F * K);
        auto* cep = hugeArray<std::complex<double>>(F * K);
        double* x = fftw_alloc_real(N);
        double* e = fftw_alloc_real(N);
        fftw_complex* scratch = fftw_alloc_complex(K);
        auto* fx = reinterpret_cast<fftw_complex*>(bins);
        auto* fc = reinterpret_cast<fftw_complex*>(cep);
        // analysis, dB and cepstrum of every frame, kept
        for (std::size_t f = 0; f < F; ++f) {
            for (int i = 0; i < N; ++i) {
                const int64_t s = int64_t(f) * H - H + i;
                x[i] = s >= 0 && std::size_t(s) < S
                    ? window[i] * samples[std::size_t(s) * channels + c] / 32768.0
                    : 0.0;
            }
            fftw_execute_dft_r2c(forward, x, fx + f * K);
            double* row = db + f * K;
            for (int k = 0; k < K; ++k)
                row[k] = 20.0 * std::log10(std::max(std::abs(bins[f * K + k]), 1e-300));
            for (int k = 0; k < K; ++k)
                e[k] = row[k];
            for (int k = K; k < N; ++k)
                e[k] = row[N - k];
            fftw_execute_dft_r2c(forward, e, fc + f * K);
        }
        // every cepstrum cell one level darker, back to gains, resynthesis
        const double gain = std::pow(10.0, -1.0 / 40.0);
        std::vector<double> tail(H, 0.0), mixed(S, 0.0);
        for (std::size_t f = 0; f < F; ++f) {
            for (int k = 0; k < K; ++k) {
                scratch[k][0] = cep[f * K + k].real() * gain / N;
                scratch[k][1] = cep[f * K + k].imag() * gain / N;
            }
            fftw_execute_dft_c2r(inverse, scratch, e);
            for (int k = 0; k < K; ++k) {
                const double g = std::pow(10.0, (e[k] - db[f * K + k]) / 20.0);
                scratch[k][0] = bins[f * K + k].real() * g / N;
                scratch[k][1] = bins[f * K + k].imag() * g / N;
            }
            fftw_execute_dft_c2r(inverse, scratch, x);
            for (int i = 0; i < N; ++i) {
                const int64_t s = int64_t(f) * H - H + i;
                if (s >= 0 && std::size_t(s) < S)
                    mixed[std::size_t(s)] += window[i] * x[i];
            }
        }
        for (std::size_t s = 0; s < S; ++s)
            out[s * channels + c]
                = int16_t(std::lround(std::clamp(mixed[s] * 32768.0, -32768.0, 32767.0)));
        fftw_free(x);
        fftw_free(e);
        fftw_free(scratch);
    };
    std::vector<std::thread> threads;
    for (int c = 0; c < channels; ++c)
        threads.emplace_back(channel, c);
    for (std::thread& t : threads)
        t.join();

    std::memcpy(&file[data], out.data(), out.size() * 2);
    FILE* f = std::fopen(argv[2], "wb");
    if (!f || std::fwrite(file.data(), 1, file.size(), f) != file.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
