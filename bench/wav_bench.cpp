// Loading and saving a 60 s, 44.1 kHz, 16-bit stereo WAV file (10.6 MB), next to
// a plain copy of the same bytes, and the bulk channel access the engine uses; and the
// chunk walk over files that hold no data chunk: 100 MB of zero bytes, 100 MB of
// empty chunks (the most chunks a file can hold, every other one of id 0), and 4 GiB
// of a sparse file.

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

// A RIFF header and a format chunk, then `body` repeated to fill `size` bytes, or (an
// empty body) a hole up to size.
QString walkFile(const char* name, uint64_t size, const QByteArray& body)
{
    const QString path = QDir::temp().filePath(QString::fromLatin1(name));
    // "RIFF", "WAVE", "fmt " of 16-bit mono at 8 kHz
    static const QByteArray head = QByteArray::fromHex(
        "52494646ffffffff57415645666d74201000000001000100401f0000803e000002001000");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(head) != head.size())
        return {};
    if (body.isEmpty())
        return f.resize(qint64(size)) ? path : QString();
    QByteArray block;
    while (block.size() < (1 << 20))
        block += body;
    for (uint64_t at = uint64_t(head.size()); at < size; at += uint64_t(block.size()))
        if (f.write(block.constData(), qint64(std::min<uint64_t>(size - at, block.size()))) < 0)
            return {};
    return path;
}

void walk(benchmark::State& state, const QString& path, uint64_t size)
{
    if (path.isEmpty())
        state.SkipWithError("cannot write the file");
    TWave w;
    for (auto _ : state) {
        if (w.LoadFromFile(path) != kLoadFailed)
            state.SkipWithError("the walk found a data chunk");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
    QFile::remove(path);
}

constexpr uint64_t k100MB = 100'000'000;

void BM_WalkZeros100MB(benchmark::State& state)
{
    walk(state, walkFile("kestrelon-walk-zeros.wav", k100MB, QByteArray(8, '\0')), k100MB);
}

void BM_WalkEmptyChunks100MB(benchmark::State& state)
{
    const QByteArray pair = QByteArray("JUNK", 4) + QByteArray(12, '\0');
    walk(state, walkFile("kestrelon-walk-chunks.wav", k100MB, pair), k100MB);
}

void BM_WalkSparse4GiB(benchmark::State& state)
{
    const uint64_t size = uint64_t(1) << 32;
    walk(state, walkFile("kestrelon-walk-sparse.wav", size, {}), size);
}

} // namespace

BENCHMARK(BM_WalkZeros100MB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WalkEmptyChunks100MB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WalkSparse4GiB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadFromFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveToFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadFromMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadChannelF)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteChannelF)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
