#pragma once
// The program's AudioOutput: the system's default audio output through QAudioSink, on a
// thread of its own that pulls from the player's source, so that a busy window cannot
// starve the device.
//
// playedFrames() is QAudioSink::processedUSecs() at the format's rate, taken every
// kPollMs on that thread. drained() holds once the source has ended and the device has
// played as long as the sound it was given (DrainClock), so stopping it then cuts nothing.

#include <QAudioDevice>
#include <QThread>

#include "app/Playback.h"

namespace kestrelon {

class AudioSinkOutput : public AudioOutput {
public:
    static constexpr int kPollMs = 10;

    // The default output device at the time of construction (none on a machine
    // without audio, which leaves the play controls disabled).
    AudioSinkOutput();
    ~AudioSinkOutput() override;

    QString unavailableReason() const override;
    DeviceCaps caps() const override;
    bool start(const DeviceFormat& format, QIODevice* source, QString* reason) override;
    void stop() override;
    int64_t playedFrames() const override;
    bool drained() const override;

private:
    class Feeder;

    QAudioDevice FDevice;
    QThread FThread;
    Feeder* FFeeder; // lives on FThread; deleted once it has finished
    int FRate = 0;
};

} // namespace kestrelon
