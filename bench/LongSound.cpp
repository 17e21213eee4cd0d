// Ten minutes of 44.1 kHz 16-bit stereo at N = 1024: open, switch to the cepstrum view,
// import an edited picture (both views) and the external editor's import against the
// exported sound, each through the synchronous command and through the task the window
// runs on a worker (new state computed beside the old one, then swapped in).
//
// Peak memory is a high-water mark of the whole process, so run one benchmark per
// process (bench/longsound.sh does) and read the counters:
//   rss_setup_MB  resident memory once the starting state is built (before the timing)
//   peak_MB       the process's peak resident memory (getrusage ru_maxrss)

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QTemporaryDir>

#include "SpectralBenchSignal.h"
#include "editing/EditorTasks.h"
#include "imaging/FilterImage.h"

namespace {

using namespace kestrelon;

constexpr double kSeconds = 600.0;

struct Files {
    QTemporaryDir dir;
    QString wav;
    Files()
    {
        wav = dir.filePath("long.wav");
        if (!bench::chirpNoise(kSeconds).SaveToFile(wav))
            std::abort();
    }
};

Files& files()
{
    static Files f;
    return f;
}

double residentMB()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

double peakMB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) / 1024.0; // KiB on Linux
}

void report(benchmark::State& state, double setup)
{
    state.counters["rss_setup_MB"] = setup;
    state.counters["peak_MB"] = peakMB();
}

void openCore(EditorCore& core, uint8_t mode)
{
    core.FMode = mode;
    if (!core.Open(files().wav).ok)
        std::abort();
}

// The picture darkened by 20 gray levels (-10 dB) over a block of cells.
QImage edited(const EditorCore& core, int firstRow = 100)
{
    QImage picture = core.FBitmap.copy();
    for (int y = firstRow; y < firstRow + 200; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 500; x < 20000; ++x) {
            const int g = std::max(0, qBlue(line[x]) - 20);
            line[x] = qRgb(g, g, g);
        }
    }
    return picture;
}

// Writes edited(core, firstRow) as a filter image named name; returns its path.
QString writeEdited(const EditorCore& core, const char* name, int firstRow = 100)
{
    const QString path = files().dir.filePath(QString::fromLatin1(name));
    if (!writeFilterImage(edited(core, firstRow), path, nullptr))
        std::abort();
    return path;
}

void check(const CommandResult& r)
{
    if (!r.ok) {
        std::fprintf(stderr, "%s\n", qPrintable(r.message));
        std::abort();
    }
}

// range(0): 0 the synchronous command, 1 the task on a worker thread.
void runTask(EditorCore& core, std::unique_ptr<EditorTask> task)
{
    EditorTaskRunner runner(core);
    QElapsedTimer clock;
    clock.start();
    QObject::connect(
        &runner, &EditorTaskRunner::progress, &runner,
        [&](int percent, const QString& pass) {
            if (qEnvironmentVariableIsSet("KESTRELON_BENCH_PASSES"))
                std::fprintf(stderr, "%8.3f s  %3d%%  %s\n", clock.elapsed() / 1000.0, percent,
                    qPrintable(pass));
        },
        Qt::DirectConnection);
    if (!runner.start(std::move(task)) || !runner.waitAndFinish())
        std::abort();
}

// range(1): 0 into an empty window; 1 over the same sound already open in the cepstrum
// view (the window's second open: the old analysis is replaced).
void BM_Open(benchmark::State& state)
{
    files();
    for (auto _ : state) {
        state.PauseTiming();
        auto core = std::make_unique<EditorCore>();
        if (state.range(1))
            openCore(*core, kCepstrumView);
        const double setup = residentMB();
        state.ResumeTiming();
        if (state.range(0))
            runTask(*core, core->prepareOpen(files().wav));
        else
            check(core->Open(files().wav));
        state.PauseTiming();
        report(state, setup);
        core.reset();
        state.ResumeTiming();
    }
}

void BM_SwitchToCepstrum(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto core = std::make_unique<EditorCore>();
        openCore(*core, kSpectrumView);
        const double setup = residentMB();
        state.ResumeTiming();
        if (state.range(0))
            runTask(*core, core->prepareSetMode(kCepstrumView));
        else
            core->SetMode(kCepstrumView);
        state.PauseTiming();
        if (!core->FCepstram.FCepValid)
            std::abort();
        report(state, setup);
        core.reset();
        state.ResumeTiming();
    }
}

// range(1): the view.
void BM_Import(benchmark::State& state)
{
    const uint8_t mode = uint8_t(state.range(1));
    for (auto _ : state) {
        state.PauseTiming();
        auto core = std::make_unique<EditorCore>();
        openCore(*core, mode);
        const QString path = writeEdited(*core, "edited.bmp");
        const double setup = residentMB();
        state.ResumeTiming();
        if (state.range(0))
            runTask(*core, core->prepareImport(path));
        else
            check(core->Import(path));
        state.PauseTiming();
        report(state, setup);
        core.reset();
        state.ResumeTiming();
    }
}

// The external editor's import: the decoded picture against the picture as exported,
// applied to the samples as exported (the session keeps a copy of both). range(1): 0 the
// first save (the sound shown is the one exported), 1 a later one (an earlier save has
// changed the sound, so the exported one is analysed again).
void BM_ExternalImport(benchmark::State& state)
{
    const uint8_t mode = uint8_t(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto core = std::make_unique<EditorCore>();
        openCore(*core, mode);
        const QImage reference = core->FBitmap.copy();
        const QImage picture = edited(*core);
        std::vector<uint8_t> base = core->FWave->FData;
        if (state.range(1))
            check(core->Import(writeEdited(*core, "first-save.bmp", 300)));
        const double setup = residentMB();
        state.ResumeTiming();
        runTask(*core, core->prepareImport(picture, reference, std::move(base)));
        state.PauseTiming();
        report(state, setup);
        core.reset();
        state.ResumeTiming();
    }
}

// Cancel pressed while an import runs: the time from the cancel until the task has
// given everything back (the lent analysis made again from the sound). range(0): the
// view; range(1): how long after the start the cancel comes, in ms.
void BM_CancelImport(benchmark::State& state)
{
    const uint8_t mode = uint8_t(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto core = std::make_unique<EditorCore>();
        openCore(*core, mode);
        const QString path = writeEdited(*core, "edited.bmp");
        const std::vector<uint8_t> before = core->FWave->FData;
        state.ResumeTiming();
        EditorTaskRunner runner(*core);
        if (!runner.start(core->prepareImport(path)))
            std::abort();
        std::this_thread::sleep_for(std::chrono::milliseconds(state.range(1)));
        QElapsedTimer clock;
        clock.start();
        runner.cancel();
        runner.waitAndFinish();
        state.counters["cancel_to_done_s"] = clock.elapsed() / 1000.0;
        state.PauseTiming();
        if (core->FWave->FData != before || !core->FCepstram.FSpecValid)
            std::abort();
        report(state, 0.0);
        core.reset();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_Open)
    ->ArgNames({"task", "over"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_SwitchToCepstrum)
    ->ArgName("task")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Import)
    ->ArgNames({"task", "view"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ExternalImport)
    ->ArgNames({"view", "later"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_CancelImport)
    ->ArgNames({"view", "after_ms"})
    ->ArgsProduct({{0, 1}, {500, 2500}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
