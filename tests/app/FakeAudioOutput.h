#pragma once
// An audio output for tests: it takes any format the test allows, pulls from the
// player's source only when the test says so, and counts as played what the test says.

#include <cstdint>
#include <memory>

#include <QByteArray>
#include <QIODevice>

#include "app/Playback.h"

namespace kestrelon::test {

class FakeAudioOutput : public AudioOutput {
public:
    // What the test sees and steers; shared, because the player owns the output.
    struct State {
        QString reason; // non-empty: no device
        QString refusal; // non-empty: start() fails with it
        DeviceCaps caps;
        bool running = false;
        int starts = 0;
        DeviceFormat format;
        QIODevice* source = nullptr;
        QByteArray pulled; // everything read from the source since the last start
        int64_t played = 0; // device frames

        // Reads up to bytes from the source, as a device's buffer would.
        QByteArray pull(qint64 bytes)
        {
            QByteArray chunk = source ? source->read(bytes) : QByteArray();
            pulled += chunk;
            return chunk;
        }
        int64_t pulledFrames() const { return pulled.size() / format.bytesPerFrame(); }
    };

    FakeAudioOutput()
        : state(std::make_shared<State>())
    {
    }

    QString unavailableReason() const override { return state->reason; }
    DeviceCaps caps() const override { return state->caps; }
    bool start(const DeviceFormat& format, QIODevice* source, QString* reason) override
    {
        if (!state->refusal.isEmpty()) {
            if (reason)
                *reason = state->refusal;
            return false;
        }
        state->running = true;
        ++state->starts;
        state->format = format;
        state->source = source;
        state->pulled.clear();
        state->played = 0;
        return true;
    }
    void stop() override
    {
        state->running = false;
        state->source = nullptr;
    }
    int64_t playedFrames() const override { return state->played; }
    bool drained() const override
    {
        return !state->source || (state->source->atEnd() && state->played >= state->pulledFrames());
    }

    std::shared_ptr<State> state;
};

} // namespace kestrelon::test
