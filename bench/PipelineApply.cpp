// A whole apply in one fresh process, as the command line does it, over the streaming
// pipeline: read the WAV file, the gray cells of the view (the reference picture), the
// edits of an edited picture (simulated: see PipelineEdits.h), filterSound, write.
// Prints each step's wall time and the process's peak resident memory (ru_maxrss).
//
//   pipeline_apply make OUT.wav SECONDS [RATE [BITS]]   the chirp + noise sound
//   pipeline_apply run IN.wav OUT.wav [N [VIEW [EDIT]]]
//       N = 1024, VIEW spectrum | cepstrum, EDIT none | whole | second

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/resource.h>

#include "PipelineEdits.h"
#include "SpectralBenchSignal.h"
#include "spectral/Pipeline.h"

using namespace kestrelon;

int main(int argc, char** argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "make") == 0) {
        const TWave w
            = bench::chirpNoise(std::atof(argv[3]), argc > 4 ? uint32_t(std::atoi(argv[4])) : 44100,
                argc > 5 ? uint16_t(std::atoi(argv[5])) : 16);
        Message reason;
        if (!w.SaveToFile(QString::fromLocal8Bit(argv[2]), &reason)) {
            std::fprintf(stderr, "%s\n", qPrintable(reason.text()));
            return 1;
        }
        return 0;
    }
    if (argc < 4 || std::strcmp(argv[1], "run") != 0) {
        std::fprintf(stderr,
            "usage: %s make OUT.wav SECONDS [RATE [BITS]] | run IN.wav OUT.wav [N [VIEW [EDIT]]]\n",
            argv[0]);
        return 2;
    }
    const int N = argc > 4 ? std::atoi(argv[4]) : 1024;
    const std::string viewName = argc > 5 ? argv[5] : "spectrum";
    const std::string editName = argc > 6 ? argv[6] : "whole";
    const SpectralView view
        = viewName == "cepstrum" ? SpectralView::Cepstrum : SpectralView::Spectrum;
    const bench::Edit edit = editName == "none" ? bench::Edit::None
        : editName == "second"                  ? bench::Edit::OneSecond
                                                : bench::Edit::Whole;

    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    auto last = t0;
    auto step = [&](const char* what) {
        const auto now = Clock::now();
        std::printf(
            "%-8s %9.1f ms\n", what, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
    };
    TWave wave;
    if (wave.LoadFromFile(QString::fromLocal8Bit(argv[2])) != kLoadOk) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    step("read");
    CellEdits edits;
    {
        const GrayCells cells = analyzeCells(wave, N, view);
        step("cells");
        edits = bench::editOf(edit, cells, wave.FFormat.nSamplesPerSec);
        step("edits");
    }
    ClipStats clips;
    const TWave out = filterSound(wave, N, view, edits, &clips);
    step("filter");
    Message reason;
    if (!out.SaveToFile(QString::fromLocal8Bit(argv[3]), &reason)) {
        std::fprintf(stderr, "%s\n", qPrintable(reason.text()));
        return 1;
    }
    step("write");
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%-8s %9.1f ms   %s, %s, N = %d, %zu edited frames, %llu clipped\n", "total",
        std::chrono::duration<double, std::milli>(Clock::now() - t0).count(), viewName.c_str(),
        editName.c_str(), N, edits.frames.size(), static_cast<unsigned long long>(clips.clipped));
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    std::printf("CPU %.2f s (user + system, all threads)   peak RSS %.1f MB\n",
        seconds(usage.ru_utime) + seconds(usage.ru_stime), double(usage.ru_maxrss) / 1024.0);
    return 0;
}
