#pragma once
// The program's AudioOutput: the system's default audio output through QAudioSink,
// pulling from the player's source on the thread that started it.
//
// playedFrames() is QAudioSink::processedUSecs() at the format's rate; drained() holds
// once the sink is idle (its source has ended) and that time has stopped growing between
// two calls, i.e. the sound server has played what it was given.

#include <memory>

#include <QAudioDevice>

#include "app/Playback.h"

class QAudioSink;

namespace kestrelon {

class AudioSinkOutput : public AudioOutput {
public:
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
    QAudioDevice FDevice;
    std::unique_ptr<QAudioSink> FSink;
    QIODevice* FSourceDevice = nullptr;
    int FRate = 0;
    mutable qint64 FLastPlayed = -1; // processedUSecs at the last drained() call
};

} // namespace kestrelon
