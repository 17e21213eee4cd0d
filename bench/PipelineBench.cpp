// The streaming pipeline on 60 s and on ten minutes of 44.1 kHz 16-bit stereo chirp plus
// noise at N = 1024, on every core: the gray cells of both views, and filterSound with no
// edit, with every cell one level darker and with one second of frames one level darker.
// Time is wall-clock, CPU the whole process's (every thread); items_per_second counts the
// sound's samples (both channels).
// The peak memory of a whole apply in a fresh process: pipeline_apply.sh.

#include <benchmark/benchmark.h>

#include <map>

#include "PipelineEdits.h"
#include "SpectralBenchSignal.h"
#include "spectral/Pipeline.h"

namespace kestrelon {
namespace {

constexpr int32_t kN = 1024;

const TWave& sound(int seconds)
{
    static std::map<int, TWave> sounds;
    auto it = sounds.find(seconds);
    if (it == sounds.end())
        it = sounds.emplace(seconds, bench::chirpNoise(seconds)).first;
    return it->second;
}

SpectralView viewOf(const benchmark::State& state)
{
    return state.range(1) ? SpectralView::Cepstrum : SpectralView::Spectrum;
}

void setItems(benchmark::State& state, const TWave& w)
{
    state.SetItemsProcessed(int64_t(state.iterations()) * w.FSampleCount * w.FFormat.nChannels);
}

void BM_Cells(benchmark::State& state)
{
    const TWave& w = sound(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(analyzeCells(w, kN, viewOf(state)));
    setItems(state, w);
}

void BM_Filter(benchmark::State& state)
{
    const TWave& w = sound(int(state.range(0)));
    const SpectralView view = viewOf(state);
    const CellEdits edits = bench::editOf(
        bench::Edit(state.range(2)), analyzeCells(w, kN, view), w.FFormat.nSamplesPerSec);
    state.counters["edited_frames"] = double(edits.frames.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(filterSound(w, kN, view, edits));
    setItems(state, w);
}

BENCHMARK(BM_Cells)
    ->ArgNames({"seconds", "cepstrum"})
    ->ArgsProduct({{60, 600}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
// edit: 0 none, 1 every cell one level darker, 2 one second of frames one level darker
BENCHMARK(BM_Filter)
    ->ArgNames({"seconds", "cepstrum", "edit"})
    ->ArgsProduct({{60, 600}, {0, 1}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

} // namespace
} // namespace kestrelon

BENCHMARK_MAIN();
