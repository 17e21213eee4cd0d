// Opening ten minutes of 44.1 kHz 16-bit stereo as WAV, FLAC and MP3 (128 kbit/s)
// through loadSound, next to the bare decode of the same FLAC and MP3 files into one
// fixed buffer (libsndfile's sf_readf_short, libmpg123's mpg123_read, nothing kept).
// Opening a FLAC or MP3 file should cost no more than 1.5 times opening the WAV plus
// the bare decode.
//
// The three files are made once, in the temporary folder, the first time they are
// missing (encoding the MP3 takes some seconds): kestrelon-sound-bench.{wav,flac,mp3}.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include <QDir>
#include <QFile>
#include <QString>

#include <mpg123.h>
#include <sndfile.h>

#include "audio/SoundFile.h"

using namespace kestrelon;

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kFrames = 10 * 60 * kRate;

QString benchPath(const char* suffix)
{
    return QDir::temp().filePath(QStringLiteral("kestrelon-sound-bench.") + QLatin1String(suffix));
}

// Chords whose notes change every 0.37 s and a little noise: material a codec has to
// work on, not silence.
TWave tenMinutes()
{
    TWave w;
    w.FFormat.nChannels = 2;
    w.FFormat.wBitsPerSample = 16;
    w.FFormat.nSamplesPerSec = kRate;
    w.UpdateFormat();
    w.SetSampleCount(kFrames);
    uint32_t noise = 12345;
    for (uint32_t i = 0; i < kFrames; ++i) {
        const double t = double(i) / kRate;
        const int step = int(t / 0.37);
        const double f = 110.0 * std::pow(2.0, (step * 7 % 24) / 12.0);
        for (uint8_t ch = 0; ch < 2; ++ch) {
            noise = noise * 1664525u + 1013904223u;
            const double v = 0.3 * std::sin(2 * M_PI * f * (ch + 1) * t)
                + 0.2 * std::sin(2 * M_PI * f * 1.5 * t + ch)
                + 0.02 * (int32_t(noise) / 2147483648.0);
            w.SetSampleF(i, ch, v);
        }
    }
    return w;
}

bool writeMp3(const TWave& w, const QString& path)
{
    SF_INFO info{};
    info.samplerate = int(kRate);
    info.channels = 2;
    info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    int mode = SF_BITRATE_MODE_CONSTANT;
    sf_command(f, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
    const auto* samples = reinterpret_cast<const short*>(w.FData.data());
    const bool ok
        = sf_writef_short(f, samples, sf_count_t(w.FSampleCount)) == sf_count_t(w.FSampleCount);
    return sf_close(f) == 0 && ok;
}

// Makes the three files when one is missing; false when that fails.
bool prepare()
{
    static const bool ready = [] {
        if (QFile::exists(benchPath("wav")) && QFile::exists(benchPath("flac"))
            && QFile::exists(benchPath("mp3")))
            return true;
        const TWave w = tenMinutes();
        return w.SaveToFile(benchPath("wav")) && saveSound(benchPath("flac"), w)
            && writeMp3(w, benchPath("mp3"));
    }();
    return ready;
}

void open(benchmark::State& state, const char* suffix)
{
    if (!prepare()) {
        state.SkipWithError("cannot write the files");
        return;
    }
    for (auto _ : state) {
        TWave w;
        if (loadSound(benchPath(suffix), w) != kLoadOk || w.FSampleCount < kFrames - 2 * kRate)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(w.FData.data());
    }
    state.counters["file_MB"] = double(QFile(benchPath(suffix)).size()) / 1e6;
}

void BM_OpenWav(benchmark::State& state)
{
    open(state, "wav");
}

void BM_OpenFlac(benchmark::State& state)
{
    open(state, "flac");
}

void BM_OpenMp3(benchmark::State& state)
{
    open(state, "mp3");
}

void BM_DecodeFlacOnly(benchmark::State& state)
{
    if (!prepare()) {
        state.SkipWithError("cannot write the files");
        return;
    }
    std::vector<short> buffer(2 * 8192);
    for (auto _ : state) {
        SF_INFO info{};
        SNDFILE* f = sf_open(QFile::encodeName(benchPath("flac")).constData(), SFM_READ, &info);
        if (!f) {
            state.SkipWithError("cannot open");
            break;
        }
        sf_count_t frames = 0;
        for (sf_count_t n; (n = sf_readf_short(f, buffer.data(), 8192)) > 0;)
            frames += n;
        sf_close(f);
        if (frames != kFrames)
            state.SkipWithError("wrong length");
    }
}

void BM_DecodeMp3Only(benchmark::State& state)
{
    if (!prepare()) {
        state.SkipWithError("cannot write the files");
        return;
    }
    std::vector<unsigned char> buffer(2 * 4 * 8192);
    for (auto _ : state) {
        int error = 0;
        mpg123_handle* h = mpg123_new(nullptr, &error);
        mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_FLOAT | MPG123_GAPLESS, 0);
        if (mpg123_open(h, QFile::encodeName(benchPath("mp3")).constData()) != MPG123_OK) {
            mpg123_delete(h);
            state.SkipWithError("cannot open");
            break;
        }
        std::size_t bytes = 0;
        for (;;) {
            std::size_t done = 0;
            const int rc = mpg123_read(h, buffer.data(), buffer.size(), &done);
            bytes += done;
            if (rc != MPG123_OK && rc != MPG123_NEW_FORMAT)
                break;
        }
        mpg123_close(h);
        mpg123_delete(h);
        if (bytes / 8 < kFrames - 2 * kRate)
            state.SkipWithError("wrong length");
    }
}

} // namespace

BENCHMARK(BM_OpenWav)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenFlac)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeFlacOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenMp3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeMp3Only)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
