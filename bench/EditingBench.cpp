// The editing core's commands on 60 s of 44.1 kHz 16-bit stereo (chirp plus noise) at
// N = 1024. "apply" is what kestrelon-cli apply does: read, analyse, dB, (cepstrum),
// draw, read the edited picture, gains, resynthesis, write.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include "SpectralBenchSignal.h"
#include "editing/EditorCore.h"
#include "imaging/FilterImage.h"

namespace {

using namespace kestrelon;

struct Files {
    QTemporaryDir dir;
    QString wav, edited[2];

    Files()
    {
        wav = dir.filePath("in.wav");
        if (!bench::chirpNoise(60.0).SaveToFile(wav))
            std::abort();
        for (uint8_t mode : {kSpectrumView, kCepstrumView}) {
            EditorCore core;
            core.FMode = mode;
            if (!core.Open(wav).ok)
                std::abort();
            // darken a block of cells by 20 gray levels: -10 dB
            QImage picture = core.FBitmap.copy();
            for (int y = 100; y < 300; ++y)
                for (int x = 500; x < 2500; ++x) {
                    const int g = std::max(0, qBlue(picture.pixel(x, y)) - 20);
                    picture.setPixel(x, y, qRgb(g, g, g));
                }
            edited[mode] = dir.filePath(mode ? "edited_c1024.bmp" : "edited_s1024.bmp");
            if (!writeFilterImage(picture, edited[mode], nullptr))
                std::abort();
        }
    }
};

Files& files()
{
    static Files f;
    return f;
}

void BM_Apply(benchmark::State& state)
{
    const uint8_t mode = uint8_t(state.range(0));
    const QString out = files().dir.filePath("out.wav");
    for (auto _ : state) {
        EditorCore core;
        core.FMode = mode;
        if (!core.Open(files().wav).ok || !core.Import(files().edited[mode], false).ok
            || !core.Save(out).ok)
            state.SkipWithError("apply failed");
    }
    state.SetLabel(mode ? "cepstrum" : "spectrum");
}
BENCHMARK(BM_Apply)
    ->Arg(kSpectrumView)
    ->Arg(kCepstrumView)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The window's import: the same plus the re-analysis and redraw of the new sound.
void BM_ImportAndRefresh(benchmark::State& state)
{
    const uint8_t mode = uint8_t(state.range(0));
    EditorCore core;
    core.FMode = mode;
    for (auto _ : state) {
        state.PauseTiming();
        if (!core.Open(files().wav).ok)
            state.SkipWithError("open failed");
        state.ResumeTiming();
        if (!core.Import(files().edited[mode]).ok)
            state.SkipWithError("import failed");
    }
    state.SetLabel(mode ? "cepstrum" : "spectrum");
}
BENCHMARK(BM_ImportAndRefresh)
    ->Arg(kSpectrumView)
    ->Arg(kCepstrumView)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_Info(benchmark::State& state)
{
    for (auto _ : state) {
        EditorCore core;
        core.locale = QLocale::c();
        if (!core.Open(files().wav).ok)
            state.SkipWithError("open failed");
        benchmark::DoNotOptimize(core.statusTexts());
    }
}
BENCHMARK(BM_Info)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DrawSpectrum(benchmark::State& state)
{
    EditorCore core;
    if (!core.Open(files().wav).ok)
        state.SkipWithError("open failed");
    const DrawContext ctx = core.drawContext();
    for (auto _ : state)
        DrawSpectrum(core.FBitmap, core.FCepstram, 0, ctx);
    state.SetItemsProcessed(state.iterations() * core.FBitmap.width() * core.FBitmap.height());
}
BENCHMARK(BM_DrawSpectrum)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Export(benchmark::State& state)
{
    EditorCore core;
    if (!core.Open(files().wav).ok)
        state.SkipWithError("open failed");
    const QString out = files().dir.filePath("export.bmp");
    for (auto _ : state)
        if (!core.Export(out).ok)
            state.SkipWithError("export failed");
    state.SetBytesProcessed(state.iterations() * QFileInfo(out).size());
}
BENCHMARK(BM_Export)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadEditedPicture(benchmark::State& state)
{
    EditorCore core;
    if (!core.Open(files().wav).ok)
        state.SkipWithError("open failed");
    for (auto _ : state) {
        QString reason;
        benchmark::DoNotOptimize(readFilterImage(files().edited[0], core.FBitmap.size(), &reason));
    }
}
BENCHMARK(BM_ReadEditedPicture)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
