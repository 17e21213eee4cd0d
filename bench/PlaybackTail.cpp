// Plays a sound through the program's Player and AudioSinkOutput while parec records the
// monitor of the default sink, finds the sound in the recording sample by sample, and
// prints per run how much of the end was lost, the gaps in the middle and how long after
// the sound's length the player said it had stopped.
//
//   bench_playback_tail MONITOR RUNS [BUSY_MS [CHANNELS [AB_MS]]]
//   bench_playback_tail --compare SOUND.wav RECORDING.raw
//
// MONITOR is the source parec records (a null sink's ".monitor"); the sink must take
// 44.1 kHz 16-bit stereo so that what it plays is the sound bit for bit. BUSY_MS > 0
// blocks the UI thread for BUSY_MS out of every 2 * BUSY_MS while playing, as a busy
// window would. CHANNELS 1 plays a mono sound (the sink copies it to both channels).
// AB_MS > 0 switches A/B every AB_MS, B being the sound's negative; a clean switch shows
// as a switch with no gap or skip.
// --compare finds a 16-bit sound in a recording made elsewhere (the same figures).

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include "app/AudioSinkOutput.h"
#include "app/Playback.h"
#include "audio/SoundFile.h"

using namespace kestrelon;

namespace {

constexpr uint32_t kRate = 44100;
// A second and a bit: its length is no whole number of microseconds.
constexpr uint32_t kFrames = kRate + 123;

// Stereo 16-bit noise with no zero sample, so that silence in the recording is never
// mistaken for the sound.
TWave noiseSound(uint16_t channels)
{
    TWave w;
    w.FFormat.wFormatTag = WAVE_FORMAT_PCM;
    w.FFormat.nChannels = channels;
    w.FFormat.nSamplesPerSec = kRate;
    w.FFormat.wBitsPerSample = 16;
    w.UpdateFormat();
    w.SetSampleCount(kFrames);
    uint32_t x = 12345;
    for (uint32_t f = 0; f < kFrames; ++f)
        for (uint8_t c = 0; c < channels; ++c) {
            x = x * 1664525u + 1013904223u;
            int v = int((x >> 16) % 16000) - 8000;
            w.SetSample(f, c, int16_t(v == 0 ? 1 : v));
        }
    return w;
}

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Result {
    bool found = false;
    int64_t head = 0; // sound frames missing before the first one found
    int64_t matched = 0; // sound frames found in order
    int64_t gapFrames = 0; // silent frames inside the sound
    int skips = 0;
    int64_t skippedFrames = 0; // sound frames missing inside the sound
    int gaps = 0;
    bool corrupt = false; // a frame neither the sound's next nor silence
    int switches = 0; // from the sound to its negative or back, in place
};

// With ab, a frame may also be the sound's negative (the B sound): every change between
// the two counts as a switch; one that went on at the same frame is sample-exact.
Result analyse(const TWave& sound, const QByteArray& recording, bool ab = false)
{
    Result r;
    const auto* rec = reinterpret_cast<const int16_t*>(recording.constData());
    const int64_t recFrames = recording.size() / 4;
    const auto* snd = reinterpret_cast<const int16_t*>(sound.FData.data());
    const int64_t frames = sound.FSampleCount;
    const int channels = sound.FFormat.nChannels; // 1: both recorded channels are it
    int heard = 0; // +1: the sound, -1: its negative
    const auto is = [&](int64_t k, int64_t j, int sign) {
        return rec[2 * k] == sign * snd[channels * j]
            && rec[2 * k + 1] == sign * snd[channels * j + channels - 1];
    };
    const auto same = [&](int64_t k, int64_t j) {
        if (is(k, j, 1))
            return true;
        return ab && is(k, j, -1);
    };
    // The first recorded frame that is a frame of the sound (every value pair occurs
    // about once in a second of noise; 16 frames in a row must match).
    int64_t k = 0;
    int64_t j = 0;
    for (; k + 16 <= recFrames && !r.found; ++k) {
        if (rec[2 * k] == 0 && rec[2 * k + 1] == 0)
            continue;
        for (j = 0; j + 16 <= frames && !r.found; ++j) {
            bool all = true;
            for (int64_t i = 0; i < 16 && all; ++i)
                all = same(k + i, j + i);
            r.found = all;
        }
    }
    if (!r.found)
        return r;
    --k;
    --j;
    r.head = j;
    int64_t silent = 0;
    for (; k < recFrames && j < frames; ++k) {
        if (same(k, j)) {
            const int sign = is(k, j, 1) ? 1 : -1;
            if (heard != 0 && sign != heard)
                ++r.switches;
            heard = sign;
            if (silent > 0) {
                r.gapFrames += silent;
                ++r.gaps;
                silent = 0;
            }
            ++j;
            continue;
        }
        if (rec[2 * k] == 0 && rec[2 * k + 1] == 0) {
            ++silent;
            continue;
        }
        // Sound skipped: go on from where 8 recorded frames match the sound again.
        int64_t next = j + 1;
        for (; next + 8 <= frames; ++next) {
            bool all = k + 8 <= recFrames;
            for (int64_t i = 0; i < 8 && all; ++i)
                all = same(k + i, next + i);
            if (all)
                break;
        }
        if (next + 8 > frames) {
            r.corrupt = true;
            break;
        }
        r.skippedFrames += next - j;
        ++r.skips;
        j = next;
        --k;
    }
    r.matched = j - r.head - r.skippedFrames;
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool compare = argc > 1 && std::strcmp(argv[1], "--compare") == 0;
    if (argc < (compare ? 4 : 3)) {
        std::fprintf(stderr,
            "usage: %s MONITOR RUNS [BUSY_MS [CHANNELS [AB_MS]]]\n"
            "       %s --compare SOUND.wav RECORDING.raw\n",
            argv[0], argv[0]);
        return 2;
    }
    if (compare) {
        TWave sound;
        QFile f(QString::fromLocal8Bit(argv[3]));
        if (loadSound(QString::fromLocal8Bit(argv[2]), sound) != 0 || !f.open(QIODevice::ReadOnly)
            || sound.FFormat.wBitsPerSample != 16 || sound.FFormat.nChannels > 2) {
            std::fprintf(stderr, "needs a 16-bit mono or stereo sound and a recording\n");
            return 2;
        }
        const Result r = analyse(sound, f.readAll());
        if (!r.found || r.corrupt) {
            std::printf("%s\n", r.found ? "recording differs from the sound" : "sound not found");
            return 1;
        }
        const auto ms
            = [&](int64_t n) { return 1000.0 * double(n) / sound.FFormat.nSamplesPerSec; };
        std::printf("head_lost_ms %.1f  tail_lost_ms %.1f  gaps %d  gap_ms %.1f  skips %d  "
                    "skipped_ms %.1f\n",
            ms(r.head), ms(int64_t(sound.FSampleCount) - r.head - r.matched - r.skippedFrames),
            r.gaps, ms(r.gapFrames), r.skips, ms(r.skippedFrames));
        return 0;
    }
    const QString monitor = QString::fromLocal8Bit(argv[1]);
    const int runs = std::atoi(argv[2]);
    const int busyMs = argc > 3 ? std::atoi(argv[3]) : 0;
    const TWave sound = noiseSound(argc > 4 && std::atoi(argv[4]) == 1 ? 1 : 2);
    const int abMs = argc > 5 ? std::atoi(argv[5]) : 0;
    TWave negative = sound;
    for (uint32_t f = 0; f < negative.FSampleCount; ++f)
        for (uint8_t c = 0; c < negative.FFormat.nChannels; ++c)
            negative.SetSample(f, c, int16_t(-sound.GetSample(f, c)));
    const QString file = QStringLiteral("/tmp/bench_playback_tail.raw");

    std::printf(
        "run  head_lost_ms  tail_lost_ms  gaps  gap_ms  skips  skipped_ms  stopped_after_end_ms"
        "  switches\n");
    int failures = 0;
    for (int run = 1; run <= runs; ++run) {
        QProcess parec;
        parec.setStandardOutputFile(file);
        parec.start(QStringLiteral("parec"),
            {QStringLiteral("-d"), monitor, QStringLiteral("--raw"),
                QStringLiteral("--format=s16le"), QStringLiteral("--rate=44100"),
                QStringLiteral("--channels=2"), QStringLiteral("--latency-msec=10")});
        if (!parec.waitForStarted()) {
            std::fprintf(stderr, "cannot start parec\n");
            return 1;
        }
        // parec records from when it has connected: wait for its first bytes.
        for (int i = 0; i < 100 && QFileInfo(file).size() == 0; ++i)
            wait(20);
        wait(200);

        Player player(std::make_unique<AudioSinkOutput>());
        player.setSounds(&sound, nullptr);
        QEventLoop done;
        QObject::connect(&player, &Player::playingChanged, &done, [&](bool playing) {
            if (!playing)
                done.quit();
        });
        QTimer busy;
        busy.setInterval(2 * std::max(busyMs, 1));
        QObject::connect(&busy, &QTimer::timeout,
            [busyMs] { std::this_thread::sleep_for(std::chrono::milliseconds(busyMs)); });
        const auto started = std::chrono::steady_clock::now();
        QString reason;
        if (!player.play(&reason)) {
            std::fprintf(stderr, "cannot play: %s\n", qPrintable(reason));
            return 1;
        }
        if (busyMs > 0)
            busy.start();
        QTimer ab;
        QObject::connect(&ab, &QTimer::timeout, [&] {
            player.setSounds(&sound, &negative);
            player.setComparing(!player.isComparing());
        });
        if (abMs > 0)
            ab.start(abMs);
        QTimer::singleShot(10000, &done, &QEventLoop::quit);
        done.exec();
        busy.stop();
        ab.stop();
        const double stoppedAfter
            = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                  .count()
            - 1000.0 * kFrames / kRate;
        wait(400);
        parec.terminate();
        parec.waitForFinished();

        QFile f(file);
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "no recording\n");
            return 1;
        }
        const Result r = analyse(sound, f.readAll(), abMs > 0);
        if (!r.found || r.corrupt) {
            std::printf(
                "%3d  %s\n", run, r.found ? "recording differs from the sound" : "sound not found");
            ++failures;
            continue;
        }
        const auto ms = [](int64_t frames) { return 1000.0 * double(frames) / kRate; };
        std::printf("%3d  %12.1f  %12.1f  %4d  %6.1f  %5d  %10.1f  %20.1f  %8d\n", run, ms(r.head),
            ms(int64_t(kFrames) - r.head - r.matched - r.skippedFrames), r.gaps, ms(r.gapFrames),
            r.skips, ms(r.skippedFrames), stoppedAfter, r.switches);
        std::fflush(stdout);
    }
    return failures ? 1 : 0;
}
