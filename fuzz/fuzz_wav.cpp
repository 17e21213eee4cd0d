// libFuzzer harness: the WAV reader on arbitrary bytes. A successful load must
// hold a consistent sound of a sample type whose samples read as what their bytes
// say (silent bytes as 0, any others as a finite non-zero value), that takes what
// is written to it, and that saves and loads back to the same samples; a failed load
// must leave the previous sound as it was. The same bytes read from a file (with
// their zero pages left as holes) must load exactly as from memory.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include <QString>

#include "audio/TWave.h"

using namespace kestrelon;

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// Whether a sample's bytes stand for silence: 128 for 8 bits, all bits 0 for the other
// integers, all but the sign bit 0 for floats.
bool silentBytes(const uint8_t* p, unsigned bytes, SampleKind kind)
{
    if (kind == SampleKind::U8)
        return p[0] == 128;
    const bool isFloat = kind == SampleKind::F32 || kind == SampleKind::F64;
    for (unsigned i = 0; i < bytes; ++i) {
        const uint8_t mask = isFloat && i + 1 == bytes ? 0x7F : 0xFF;
        if ((p[i] & mask) != 0)
            return false;
    }
    return true;
}

// The input as a file whose all-zero pages are holes, named through /proc.
QString asSparseFile(const uint8_t* data, size_t size)
{
    static const int fd = memfd_create("fuzz_wav", MFD_CLOEXEC);
    check(fd >= 0 && ftruncate(fd, 0) == 0 && ftruncate(fd, off_t(size)) == 0);
    constexpr size_t kPage = 4096;
    for (size_t at = 0; at < size; at += kPage) {
        const size_t n = std::min(kPage, size - at);
        bool zero = true;
        for (size_t i = 0; i < n && zero; ++i)
            zero = data[at + i] == 0;
        if (!zero)
            check(pwrite(fd, data + at, n, off_t(at)) == ssize_t(n));
    }
    return QStringLiteral("/proc/self/fd/%1").arg(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TWave wave;
    wave.SetSampleCount(3);
    const std::vector<uint8_t> before = wave.FData;

    WaveLoadReport report;
    const uint8_t code = wave.LoadFromMemory({data, size}, &report);
    check(code <= kLoadFailed);

    TWave fromFile;
    WaveLoadReport fileReport;
    check(fromFile.LoadFromFile(asSparseFile(data, size), &fileReport) == code);
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
    check(wave.FDataSize <= size);
    check((report.truncated || report.nonFinite > 0) == !report.message.isEmpty());

    // Every sample, read in bulk and one by one: 0 exactly when its bytes are silent.
    const SampleKind kind = sampleKindOf(wave.FFormat);
    const unsigned bytes = sampleBytes(kind);
    check(bytes != 0);
    const uint32_t channels = wave.FFormat.nChannels;
    std::vector<double> run(wave.FSampleCount + 2);
    for (uint32_t c = 0; c < channels; ++c) {
        wave.ReadChannelF(uint8_t(c), 0, uint32_t(run.size()), run.data());
        for (uint32_t f = 0; f < wave.FSampleCount; ++f) {
            const double x = run[f];
            check(std::isfinite(x));
            check((x == 0.0)
                == silentBytes(&wave.FData[(size_t(f) * channels + c) * bytes], bytes, kind));
            const double one = wave.GetSampleF(f, uint8_t(c));
            check(std::memcmp(&one, &x, sizeof x) == 0);
        }
        check(run[wave.FSampleCount] == 0.0 && run[wave.FSampleCount + 1] == 0.0);
    }

    const std::vector<uint8_t> saved = wave.SaveToMemory();
    TWave back;
    check(back.LoadFromMemory(saved) == kLoadOk);
    check(back.FData == wave.FData);
    check(std::memcmp(&back.FFormat, &wave.FFormat, sizeof(WAVEFORMATEX)) == 0);

    // Values every width holds exactly are stored and read back.
    if (wave.FSampleCount > 0) {
        for (const double x : {0.5, -0.25}) {
            ClipStats clips;
            wave.SetSampleF(wave.FSampleCount - 1, uint8_t(channels - 1), x, &clips);
            check(wave.GetSampleF(wave.FSampleCount - 1, uint8_t(channels - 1)) == x);
            check(clips.clipped == 0 && clips.over == 0);
        }
    }
    return 0;
}
