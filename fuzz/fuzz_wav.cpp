// libFuzzer harness: the WAV reader on arbitrary bytes. A successful load must
// hold a consistent sound that saves and loads back to the same samples; a
// failed load must leave the previous sound as it was.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "audio/TWave.h"

using namespace kestrelon;

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
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
    if (code != kLoadOk) {
        check(!report.message.isEmpty());
        check(wave.FData == before && wave.FSampleCount == 3);
        return 0;
    }
    check(wave.FData.size() == wave.FDataSize);
    check(uint64_t(wave.FSampleCount) * wave.FFormat.nBlockAlign == wave.FDataSize);
    check(wave.FDataSize <= size);
    check(report.truncated == !report.message.isEmpty());

    // every channel's first and last frames through both access paths
    double bulk[4];
    const uint32_t last = wave.FSampleCount > 2 ? wave.FSampleCount - 2 : 0;
    for (uint32_t c = 0; c < wave.FFormat.nChannels; ++c) {
        wave.ReadChannelF(uint8_t(c), last, 4, bulk);
        for (uint32_t i = 0; i < 4; ++i) {
            const double one = wave.GetSampleF(last + i, uint8_t(c));
            check(std::memcmp(&one, &bulk[i], sizeof one) == 0);
        }
    }

    const std::vector<uint8_t> saved = wave.SaveToMemory();
    TWave back;
    check(back.LoadFromMemory(saved) == kLoadOk);
    check(back.FData == wave.FData);
    check(std::memcmp(&back.FFormat, &wave.FFormat, sizeof(WAVEFORMATEX)) == 0);
    return 0;
}
