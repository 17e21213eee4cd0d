// libFuzzer harness: loadSound on arbitrary bytes that are not RIFF/WAVE (those are
// fuzz_wav's), through libsndfile and libmpg123. A successful load must hold a
// consistent sound of a sample kind the readers produce, with finite floats, that
// saves as FLAC (for integers of 8 to 24 bits) and loads back to the same samples;
// a failed load must name its cause and leave the previous sound as it was. The same
// bytes read from a file must load exactly as from memory.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

#include <QFile>
#include <QString>

#include "audio/SoundFile.h"

using namespace kestrelon;

namespace {

void checkAt(bool ok, int line)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_sound: check on line %d failed\n", line);
        std::abort();
    }
}
#define check(ok) checkAt((ok), __LINE__)

QString asFile(const uint8_t* data, size_t size)
{
    static const int fd = memfd_create("fuzz_sound", MFD_CLOEXEC);
    check(fd >= 0 && ftruncate(fd, 0) == 0);
    check(size == 0 || pwrite(fd, data, size, 0) == ssize_t(size));
    return QStringLiteral("/proc/self/fd/%1").arg(fd);
}

} // namespace

// libsndfile's Ogg reader leaves the vorbis_info of some damaged streams behind (inside
// the library, after sf_close); nothing of ours is allocated there.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:vorbis_info_init\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WAVE", 4) == 0)
        return 0;
    TWave wave;
    wave.SetSampleCount(3);
    const std::vector<uint8_t> before = wave.FData;
    WaveLoadReport report;
    const uint8_t code = loadSoundFromMemory({data, size}, wave, &report);
    TWave fromFile;
    WaveLoadReport fileReport;
    check(loadSound(asFile(data, size), fromFile, &fileReport) == code);
    check(fileReport.message == report.message);
    if (code != kLoadOk) {
        check(!report.message.isEmpty());
        check(wave.FData == before && wave.FSampleCount == 3);
        return 0;
    }
    check(fromFile.FData == wave.FData);
    check(std::memcmp(&fromFile.FFormat, &wave.FFormat, sizeof(WAVEFORMATEX)) == 0);
    check(wave.FData.size() == wave.FDataSize);
    check(uint64_t(wave.FSampleCount) * wave.FFormat.nBlockAlign == wave.FDataSize);
    check(report.framesLoaded == wave.FSampleCount);

    const SampleKind kind = sampleKindOf(wave.FFormat);
    check(kind == SampleKind::U8 || kind == SampleKind::S16 || kind == SampleKind::S24
        || kind == SampleKind::S32 || kind == SampleKind::F32 || kind == SampleKind::F64);
    for (uint32_t f = 0; f < wave.FSampleCount; ++f)
        for (uint16_t c = 0; c < wave.FFormat.nChannels; ++c)
            check(std::isfinite(wave.GetSampleF(f, uint8_t(c))));

    // FLAC saves (libFLAC refuses some rates: then there is nothing to read back)
    if (flacRefusal(wave).isEmpty() && wave.FSampleCount <= 100000) {
        static const QString flac = [] {
            char folder[] = "/tmp/fuzz_sound-XXXXXX";
            check(mkdtemp(folder) != nullptr);
            return QString::fromLocal8Bit(folder) + QStringLiteral("/x.flac");
        }();
        if (saveSound(flac, wave)) {
            TWave back;
            check(loadSound(flac, back) == kLoadOk);
            check(back.FData == wave.FData);
        }
    }
    return 0;
}
