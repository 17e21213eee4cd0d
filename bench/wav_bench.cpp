// Loading and saving a 60 s, 44.1 kHz, 16-bit stereo WAV file (10.6 MB), next to
// a plain copy of the same bytes, and the bulk channel access the engine uses.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QString>
#include <cstring>
#include <vector>

#include "audio/TWave.h"

using namespace kestrelon;

namespace {

constexpr uint32_t kFrames = 60 * 44100;

TWave minuteOfStereo()
{
    TWave w;
    w.FFormat.nChannels = 2;
    w.FFormat.wBitsPerSample = 16;
    w.FFormat.nSamplesPerSec = 44100;
    w.UpdateFormat();
    w.SetSampleCount(kFrames);
    for (std::size_t i = 0; i < w.FData.size(); ++i)
        w.FData[i] = uint8_t(i * 131 % 251);
    return w;
}

QString benchPath()
{
    return QDir::temp().filePath(QStringLiteral("kestrelon-wav-bench.wav"));
}

void BM_SaveToFile(benchmark::State& state)
{
    const TWave w = minuteOfStereo();
    for (auto _ : state) {
        if (!w.SaveToFile(benchPath()))
            state.SkipWithError("save failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * (44 + w.FDataSize));
    QFile::remove(benchPath());
}

void BM_LoadFromFile(benchmark::State& state)
{
    const TWave source = minuteOfStereo();
    if (!source.SaveToFile(benchPath()))
        state.SkipWithError("save failed");
    TWave w;
    for (auto _ : state) {
        if (w.LoadFromFile(benchPath()) != kLoadOk)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(w.FData.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * (44 + source.FDataSize));
    QFile::remove(benchPath());
}

void BM_LoadFromMemory(benchmark::State& state)
{
    const std::vector<uint8_t> file = minuteOfStereo().SaveToMemory();
    TWave w;
    for (auto _ : state) {
        if (w.LoadFromMemory(file) != kLoadOk)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(w.FData.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}

// The floor for the two above: allocating and copying the same number of bytes.
void BM_CopyBaseline(benchmark::State& state)
{
    const std::vector<uint8_t> file = minuteOfStereo().SaveToMemory();
    for (auto _ : state) {
        std::vector<uint8_t> copy(file.size());
        std::memcpy(copy.data(), file.data(), file.size());
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}

void BM_ReadChannelF(benchmark::State& state)
{
    const TWave w = minuteOfStereo();
    std::vector<double> out(kFrames);
    for (auto _ : state) {
        w.ReadChannelF(0, 0, kFrames, out.data());
        w.ReadChannelF(1, 0, kFrames, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 2 * kFrames);
}

void BM_WriteChannelF(benchmark::State& state)
{
    TWave w = minuteOfStereo();
    std::vector<double> in(kFrames);
    for (uint32_t i = 0; i < kFrames; ++i)
        in[i] = double(int(i % 4001) - 2000) / 1800.0; // some beyond full scale
    ClipStats clips;
    for (auto _ : state) {
        w.WriteChannelF(0, 0, kFrames, in.data(), &clips);
        w.WriteChannelF(1, 0, kFrames, in.data(), &clips);
        benchmark::DoNotOptimize(w.FData.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 2 * kFrames);
}

} // namespace

BENCHMARK(BM_LoadFromFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveToFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadFromMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadChannelF)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteChannelF)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
