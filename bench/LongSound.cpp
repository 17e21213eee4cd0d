// Long sounds through the commands the window runs, each on the command runner's worker
// thread as the window runs it:
//   ten minutes of 44.1 kHz 16-bit stereo at N = 1024: open (into an empty window and over
//   a sound already open), switch to the cepstrum view, change N, import of a
//   whole-picture edit and of an edit spanning one second (both views), an image editor's
//   save (the first and a later one), cancel (of open, the switch and imports), and undo
//   of an import;
//   one hour of 48 kHz 24-bit stereo (BM_Hour): open, both views, import an edit of ten
//   seconds, undo and save, one after the other.
//
// Peak memory is a high-water mark of the whole process, so run one benchmark per
// process (bench/longsound.sh does) and read the counters:
//   rss_setup_MB  resident memory once the starting state is built (before the timing)
//   peak_MB       the process's peak resident memory (getrusage ru_maxrss)
// The sounds are written once into $KESTRELON_BENCH_DIR (default: the temporary
// directory's kestrelon-bench) and read from there by every later run.

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "editing/CommandRunner.h"
#include "editing/History.h"

namespace {

using namespace kestrelon;

QString benchDirectory()
{
    const QString dir = qEnvironmentVariableIsSet("KESTRELON_BENCH_DIR")
        ? qEnvironmentVariable("KESTRELON_BENCH_DIR")
        : QDir::tempPath() + QStringLiteral("/kestrelon-bench");
    QDir().mkpath(dir);
    return dir;
}

void put16(char* p, uint32_t v)
{
    p[0] = char(v);
    p[1] = char(v >> 8);
}

void put32(char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char(v >> (8 * i));
}

// A chirp from 50 Hz to 15 kHz plus white noise (the right channel's chirp runs
// backwards), stereo, written a second at a time: the program never holds the sound.
QString chirpNoiseFile(const char* name, double seconds, uint32_t rate, uint16_t bits)
{
    const QString path = benchDirectory() + QLatin1Char('/') + QLatin1String(name);
    const auto frames = static_cast<uint32_t>(seconds * rate);
    const uint32_t dataBytes = frames * 2u * (bits / 8u);
    if (QFileInfo(path).size() == 44 + qint64(dataBytes))
        return path;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        std::abort();
    char h[44] = {};
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1);
    put16(h + 22, 2);
    put32(h + 24, rate);
    put32(h + 28, rate * 2u * (bits / 8u));
    put16(h + 32, 2 * (bits / 8));
    put16(h + 34, bits);
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, dataBytes);
    file.write(h, 44);
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(0.0, 0.05);
    const double f0 = 50.0, f1 = 15000.0, T = frames / double(rate);
    TWave chunk;
    chunk.FFormat.nChannels = 2;
    chunk.FFormat.wBitsPerSample = bits;
    chunk.FFormat.nSamplesPerSec = rate;
    chunk.UpdateFormat();
    for (uint32_t first = 0; first < frames; first += rate) {
        const uint32_t n = std::min(rate, frames - first);
        chunk.SetSampleCount(n);
        for (uint32_t j = 0; j < n; ++j) {
            const double t = (first + j) / double(rate), u = T - t;
            const double left = 0.5 * std::sin(2 * M_PI * (f0 * t + (f1 - f0) * t * t / (2 * T)));
            const double right = 0.5 * std::sin(2 * M_PI * (f0 * u + (f1 - f0) * u * u / (2 * T)));
            chunk.SetSampleF(j, 0, left + noise(rng));
            chunk.SetSampleF(j, 1, right + noise(rng));
        }
        file.write(reinterpret_cast<const char*>(chunk.FData.data()), qint64(chunk.FData.size()));
    }
    if (!file.commit())
        std::abort();
    return path;
}

QString tenMinutes()
{
    return chirpNoiseFile("ten-minutes.wav", 600.0, 44100, 16);
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

// Runs a command on the worker as the window does and waits for it; the result.
CommandResult run(Command command)
{
    CommandRunner runner;
    QElapsedTimer clock;
    clock.start();
    if (qEnvironmentVariableIsSet("KESTRELON_BENCH_PASSES"))
        QObject::connect(
            &runner, &CommandRunner::progress, &runner,
            [&](int percent, const QString& pass) {
                std::fprintf(stderr, "%8.3f s  %3d%%  %s\n", clock.elapsed() / 1000.0, percent,
                    qPrintable(pass));
            },
            Qt::DirectConnection);
    CommandResult result;
    QObject::connect(
        &runner, &CommandRunner::finished, &runner, [&](const CommandResult& r) { result = r; });
    if (!runner.start(std::move(command)) || !runner.waitForFinished())
        std::abort();
    return result;
}

DocumentPtr check(const CommandResult& r)
{
    if (!r.ok) {
        std::fprintf(stderr, "%s\n", qPrintable(r.message.text()));
        std::abort();
    }
    return r.document;
}

DocumentPtr opened(const QString& wav, uint8_t mode = kSpectrumView)
{
    return check(
        run([wav, doc = makeDocument(1024, mode)](const PassFn& p) { return doc->Open(wav, p); }));
}

// Writes the display picture of doc as a 24-bit BMP with frames [f0, f1) of the data
// darkened by 20 gray levels (-10 dB), a row at a time; returns its path.
QString writeEdited(const Document& doc, const char* name, int32_t f0, int32_t f1)
{
    const QImage& picture = doc.FBitmap;
    const QString path = benchDirectory() + QLatin1Char('/') + QLatin1String(name);
    const uint32_t W = uint32_t(picture.width()), H = uint32_t(picture.height());
    const uint32_t row = (3 * W + 3) & ~3u;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        std::abort();
    char h[54] = {};
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, 54 + row * H);
    put32(h + 10, 54);
    put32(h + 14, 40);
    put32(h + 18, W);
    put32(h + 22, H);
    put16(h + 26, 1);
    put16(h + 28, 24);
    put32(h + 34, row * H);
    file.write(h, 54);
    std::vector<char> line(row, 0);
    const int32_t left = doc.FLeftMargin + f0, right = doc.FLeftMargin + f1;
    for (int32_t y = int32_t(H) - 1; y >= 0; --y) {
        const uchar* g = picture.constScanLine(y);
        for (int32_t x = 0; x < int32_t(W); ++x) {
            int v = g[x];
            if (y >= doc.FTopMargin && x >= left && x < right)
                v = std::max(0, v - 20);
            line[std::size_t(3 * x)] = line[std::size_t(3 * x + 1)] = line[std::size_t(3 * x + 2)]
                = char(v);
        }
        file.write(line.data(), qint64(row));
    }
    if (!file.commit())
        std::abort();
    return path;
}

// Frames of one second from the middle of the sound, or every frame.
std::pair<int32_t, int32_t> editedFrames(const Document& doc, bool oneSecond)
{
    const int32_t F = doc.shownCells()->frames;
    if (!oneSecond)
        return {0, F};
    const auto perSecond
        = int32_t(std::lround(doc.FWave->FFormat.nSamplesPerSec / (doc.FFFTLength / 2.0)));
    return {F / 2, F / 2 + perSecond};
}

// range(0): 0 into an empty window; 1 over the same sound already open in the cepstrum
// view (the window's second open).
void BM_Open(benchmark::State& state)
{
    const QString wav = tenMinutes();
    for (auto _ : state) {
        state.PauseTiming();
        DocumentPtr doc = state.range(0) ? opened(wav, kCepstrumView) : makeDocument();
        const double setup = residentMB();
        state.ResumeTiming();
        check(run([doc, wav](const PassFn& p) { return doc->Open(wav, p); }));
        state.PauseTiming();
        report(state, setup);
        state.ResumeTiming();
    }
}

void BM_SwitchToCepstrum(benchmark::State& state)
{
    const QString wav = tenMinutes();
    for (auto _ : state) {
        state.PauseTiming();
        const DocumentPtr doc = opened(wav);
        const double setup = residentMB();
        state.ResumeTiming();
        check(run([doc](const PassFn& p) { return doc->SetMode(kCepstrumView, p); }));
        state.PauseTiming();
        report(state, setup);
        state.ResumeTiming();
    }
}

// range(0): the view; to N = 2048.
void BM_ChangeN(benchmark::State& state)
{
    const QString wav = tenMinutes();
    for (auto _ : state) {
        state.PauseTiming();
        const DocumentPtr doc = opened(wav, uint8_t(state.range(0)));
        const double setup = residentMB();
        state.ResumeTiming();
        check(run([doc](const PassFn& p) { return doc->ChangeFFTLength(2048, p); }));
        state.PauseTiming();
        report(state, setup);
        state.ResumeTiming();
    }
}

// range(0): the view; range(1): 0 an edit of every frame, 1 an edit of one second.
void BM_Import(benchmark::State& state)
{
    const QString wav = tenMinutes();
    for (auto _ : state) {
        state.PauseTiming();
        const DocumentPtr doc = opened(wav, uint8_t(state.range(0)));
        const auto [f0, f1] = editedFrames(*doc, state.range(1) != 0);
        const QString path = writeEdited(*doc, "edited.bmp", f0, f1);
        const double setup = residentMB();
        state.ResumeTiming();
        check(run([doc, path](const PassFn& p) { return doc->Import(path, p); }));
        state.PauseTiming();
        report(state, setup);
        state.ResumeTiming();
    }
}

// An image editor's save: the decoded picture against the document as exported.
// range(0): the view; range(1): 0 the first save, 1 a later one (an earlier save has
// changed the sound shown). The edit spans one second.
void BM_ExternalImport(benchmark::State& state)
{
    const QString wav = tenMinutes();
    for (auto _ : state) {
        state.PauseTiming();
        const DocumentPtr exported = opened(wav, uint8_t(state.range(0)));
        const auto [f0, f1] = editedFrames(*exported, true);
        const QImage picture = QImage(writeEdited(*exported, "saved.bmp", f0, f1))
                                   .convertToFormat(QImage::Format_RGB32);
        DocumentPtr shown = exported;
        if (state.range(1)) {
            const QImage first = QImage(writeEdited(*exported, "first.bmp", f0 - 500, f1 - 500))
                                     .convertToFormat(QImage::Format_RGB32);
            shown = check(exported->ImportEdited(first, *exported));
        }
        const double setup = residentMB();
        state.ResumeTiming();
        check(run([shown, exported, picture](
                      const PassFn& p) { return shown->ImportEdited(picture, *exported, p); }));
        state.PauseTiming();
        report(state, setup);
        state.ResumeTiming();
    }
}

// Cancel pressed while a command runs: the time from the cancel until the runner has
// ended the command. range(0): 0 open, 1 the switch to the cepstrum view, 2 and 3 an
// import of a whole-picture edit in the spectrum and the cepstrum view; range(1): how
// long after the start the cancel comes, in ms.
void BM_Cancel(benchmark::State& state)
{
    const QString wav = tenMinutes();
    for (auto _ : state) {
        state.PauseTiming();
        const int which = int(state.range(0));
        Command command;
        if (which == 0) {
            command = [wav, doc = makeDocument()](const PassFn& p) { return doc->Open(wav, p); };
        } else if (which == 1) {
            command
                = [doc = opened(wav)](const PassFn& p) { return doc->SetMode(kCepstrumView, p); };
        } else {
            const DocumentPtr doc = opened(wav, which == 3 ? kCepstrumView : kSpectrumView);
            const auto [f0, f1] = editedFrames(*doc, false);
            const QString path = writeEdited(*doc, "edited.bmp", f0, f1);
            command = [doc, path](const PassFn& p) { return doc->Import(path, p); };
        }
        state.ResumeTiming();
        CommandRunner runner;
        CommandResult result;
        QObject::connect(&runner, &CommandRunner::finished, &runner,
            [&](const CommandResult& r) { result = r; });
        if (!runner.start(std::move(command)))
            std::abort();
        std::this_thread::sleep_for(std::chrono::milliseconds(state.range(1)));
        QElapsedTimer clock;
        clock.start();
        runner.cancel();
        runner.waitForFinished();
        state.counters["cancel_to_done_s"] = clock.elapsed() / 1000.0;
        state.counters["cancelled"] = result.cancelled ? 1 : 0; // 0: it had ended already
        state.PauseTiming();
        report(state, 0.0);
        state.ResumeTiming();
    }
}

// Undo of an import in the spectrum view, with the snapshot the window's history keeps.
// range(0): 0 an edit of every frame, 1 of one second.
void BM_Undo(benchmark::State& state)
{
    const QString wav = tenMinutes();
    for (auto _ : state) {
        state.PauseTiming();
        const DocumentPtr doc = opened(wav);
        const auto [f0, f1] = editedFrames(*doc, state.range(0) != 0);
        const QString path = writeEdited(*doc, "edited.bmp", f0, f1);
        const CommandResult imported
            = run([doc, path](const PassFn& p) { return doc->Import(path, p); });
        check(imported);
        const double setup = residentMB();
        state.ResumeTiming();
        // as the window does: with the snapshot of the document before the import
        check(
            run([after = imported.document, change = imported.change, before = doc->withoutSound()](
                    const PassFn& p) { return after->Undo(*change, p, before.get()); }));
        state.PauseTiming();
        report(state, setup);
        state.ResumeTiming();
    }
}

// One hour of 48 kHz 24-bit stereo: open, the cepstrum and back, an import of ten seconds,
// undo, save; the seconds each took and the peak.
void BM_Hour(benchmark::State& state)
{
    const QString wav = chirpNoiseFile("one-hour.wav", 3600.0, 48000, 24);
    const QString out = benchDirectory() + QStringLiteral("/one-hour-saved.wav");
    for (auto _ : state) {
        QElapsedTimer clock;
        const auto lap = [&](const char* name) {
            state.counters[name] = clock.elapsed() / 1000.0;
            clock.start();
        };
        clock.start();
        DocumentPtr doc = opened(wav);
        lap("open_s");
        doc = check(run([doc](const PassFn& p) { return doc->SetMode(kCepstrumView, p); }));
        lap("cepstrum_s");
        doc = check(run([doc](const PassFn& p) { return doc->SetMode(kSpectrumView, p); }));
        lap("spectrum_s");
        state.PauseTiming();
        const int32_t f0 = doc->shownCells()->frames / 2;
        const QString path = writeEdited(*doc, "hour-edited.bmp", f0, f0 + 10 * 94);
        state.ResumeTiming();
        clock.start();
        const CommandResult imported
            = run([doc, path](const PassFn& p) { return doc->Import(path, p); });
        const DocumentPtr before = doc->withoutSound();
        doc = check(imported);
        lap("import_s");
        doc = check(run([doc, change = imported.change, before](
                            const PassFn& p) { return doc->Undo(*change, p, before.get()); }));
        lap("undo_s");
        check(doc->Save(out));
        lap("save_s");
        state.counters["peak_MB"] = peakMB();
    }
    QFile::remove(out);
}

} // namespace

BENCHMARK(BM_Open)
    ->ArgName("over")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_SwitchToCepstrum)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ChangeN)
    ->ArgName("view")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Import)
    ->ArgNames({"view", "second"})
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
BENCHMARK(BM_Cancel)
    ->ArgNames({"command", "after_ms"})
    ->ArgsProduct({{0, 1, 2, 3}, {100, 300}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Undo)
    ->ArgName("second")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Hour)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
