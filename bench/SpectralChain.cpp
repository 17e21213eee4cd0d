// The window's whole pass in one fresh process: read a WAV file, analyse, dB,
// cepstrum, cepstrum dB, resynthesise, write. Prints each step's wall time.
//
//   spectral_chain make OUT.wav [SECONDS]   writes the chirp + noise benchmark sound
//   spectral_chain run IN.wav OUT.wav [N]   runs the pass (N = 1024 by default)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "SpectralBenchSignal.h"
#include "spectral/TWaveCepstram.h"

using namespace kestrelon;

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "make") == 0) {
        const TWave w = bench::chirpNoise(argc > 3 ? std::atof(argv[3]) : 60.0);
        Message reason;
        if (!w.SaveToFile(QString::fromLocal8Bit(argv[2]), &reason)) {
            std::fprintf(stderr, "%s\n", qPrintable(reason.text()));
            return 1;
        }
        return 0;
    }
    if (argc < 4 || std::strcmp(argv[1], "run") != 0) {
        std::fprintf(
            stderr, "usage: %s make OUT.wav [SECONDS] | run IN.wav OUT.wav [N]\n", argv[0]);
        return 2;
    }
    const int N = argc > 4 ? std::atoi(argv[4]) : 1024;
    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    auto last = t0;
    auto step = [&](const char* what) {
        const auto now = Clock::now();
        std::printf("%-22s %8.2f ms\n", what,
            std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
    };
    TWave wave;
    if (wave.LoadFromFile(QString::fromLocal8Bit(argv[2])) != kLoadOk) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    step("read");
    TWaveCepstram engine;
    engine.Analyze(wave, N);
    step("Analyze");
    engine.CalcPower(1.0);
    step("CalcPower");
    engine.CalcCepstrum();
    step("CalcCepstrum");
    engine.CalcCepPower(1000.0);
    step("CalcCepPower");
    engine.Synthesize(wave);
    step("Synthesize");
    Message reason;
    if (!wave.SaveToFile(QString::fromLocal8Bit(argv[3]), &reason)) {
        std::fprintf(stderr, "%s\n", qPrintable(reason.text()));
        return 1;
    }
    step("write");
    std::printf("%-22s %8.2f ms\n", "whole chain",
        std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    return 0;
}
