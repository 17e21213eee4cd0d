// Each engine operation on 60 s of 44.1 kHz 16-bit stereo chirp plus noise, for
// N = 1024 and 4096, on every core (wall-clock time).

#include <benchmark/benchmark.h>

#include "SpectralBenchSignal.h"
#include "spectral/TWaveCepstram.h"

namespace kestrelon {
namespace {

const TWave& sound()
{
    static const TWave w = bench::chirpNoise(60.0);
    return w;
}

// An engine after the window's whole pass: Analyze, CalcPower, CalcCepstrum, CalcCepPower.
struct Engine {
    TWaveCepstram e;
    explicit Engine(int N)
    {
        e.Analyze(sound(), N);
        e.CalcPower(1.0);
        e.CalcCepstrum();
        e.CalcCepPower(1000.0);
    }
};

void setItems(benchmark::State& state)
{
    state.SetItemsProcessed(int64_t(state.iterations()) * sound().FSampleCount * 2);
}

void BM_Analyze(benchmark::State& state)
{
    TWaveCepstram e;
    for (auto _ : state)
        e.Analyze(sound(), int32_t(state.range(0)));
    setItems(state);
}

void BM_CalcPower(benchmark::State& state)
{
    Engine x(int(state.range(0)));
    for (auto _ : state)
        x.e.CalcPower(1.0);
    setItems(state);
}

void BM_CalcCepstrum(benchmark::State& state)
{
    Engine x(int(state.range(0)));
    for (auto _ : state)
        x.e.CalcCepstrum();
    setItems(state);
}

void BM_CalcCepPower(benchmark::State& state)
{
    Engine x(int(state.range(0)));
    for (auto _ : state)
        x.e.CalcCepPower(1000.0);
    setItems(state);
}

void BM_Synthesize(benchmark::State& state)
{
    Engine x(int(state.range(0)));
    TWave out = sound();
    for (auto _ : state)
        x.e.Synthesize(out);
    setItems(state);
}

void BM_SynthesizeFromCepstrum(benchmark::State& state)
{
    Engine x(int(state.range(0)));
    TWave out = sound();
    for (auto _ : state)
        x.e.SynthesizeFromCepstrum(out); // unedited cepstra: gains of 1
    setItems(state);
}

#define KESTRELON_SPECTRAL_BENCH(fn)                                                               \
    BENCHMARK(fn)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime()
KESTRELON_SPECTRAL_BENCH(BM_Analyze);
KESTRELON_SPECTRAL_BENCH(BM_CalcPower);
KESTRELON_SPECTRAL_BENCH(BM_CalcCepstrum);
KESTRELON_SPECTRAL_BENCH(BM_CalcCepPower);
KESTRELON_SPECTRAL_BENCH(BM_Synthesize);
KESTRELON_SPECTRAL_BENCH(BM_SynthesizeFromCepstrum);

} // namespace
} // namespace kestrelon

BENCHMARK_MAIN();
