#pragma once
// What the sound readers share: the outcome of a decode, and the rule that a decoded
// sound takes the place of the old one only when the whole decode succeeded.

#include <exception>
#include <new>
#include <utility>

#include "audio/TWave.h"
#include "base/Errors.h"

namespace kestrelon {

struct LoadResult {
    uint8_t code = kLoadOk;
    Message message;
};

inline LoadResult fail(uint8_t code, Message message)
{
    return {code, std::move(message)};
}

// Runs decode(fresh, report) into a fresh TWave. On success the sound moves into wave and
// *report gets decode's report; on failure (a result or anything thrown) wave stays
// exactly as it was and *report holds only the reason. Returns the load code.
template <class Decode> uint8_t loadInto(TWave& wave, WaveLoadReport* report, Decode&& decode)
{
    WaveLoadReport local;
    LoadResult r;
    TWave fresh;
    try {
        r = decode(fresh, local);
    } catch (const std::bad_alloc&) {
        r = fail(kLoadFailed, MessageCode::NoMemoryForSamples);
    } catch (const Error& e) {
        r = fail(kLoadFailed, e.message());
    } catch (const std::exception& e) {
        r = fail(kLoadFailed, Message(MessageCode::Internal, e.what()));
    }
    if (r.code == kLoadOk) {
        wave.FFormat = fresh.FFormat;
        wave.FData.swap(fresh.FData);
        wave.FDataSize = fresh.FDataSize;
        wave.FSampleCount = fresh.FSampleCount;
        wave.FSeconds = fresh.FSeconds;
    } else {
        local = WaveLoadReport{};
        local.message = r.message;
    }
    if (report)
        *report = std::move(local);
    return r.code;
}

} // namespace kestrelon
