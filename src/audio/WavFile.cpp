#include "audio/TWave.h"

namespace kestrelon {

// TEMPORARY STUB: the WAV reader and writer are being written; until then every
// load fails with kLoadFailed and every save fails.
uint8_t TWave::LoadFromFile(const QString&, WaveLoadReport* report)
{
    if (report)
        *report = WaveLoadReport{QStringLiteral("WAV reading is not built yet"), false, 0, 0};
    return kLoadFailed;
}

uint8_t TWave::LoadFromMemory(std::span<const uint8_t>, WaveLoadReport* report)
{
    if (report)
        *report = WaveLoadReport{QStringLiteral("WAV reading is not built yet"), false, 0, 0};
    return kLoadFailed;
}

bool TWave::SaveToFile(const QString&, QString* reason) const
{
    if (reason)
        *reason = QStringLiteral("WAV writing is not built yet");
    return false;
}

std::vector<uint8_t> TWave::SaveToMemory() const
{
    return {};
}

} // namespace kestrelon
