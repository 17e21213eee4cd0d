#pragma once
// Playing a TWave through an audio output, without widgets and without Qt Multimedia:
// the format the device is asked for, the conversion of the samples to it, and the
// bookkeeping of where the playing is. The device itself sits behind AudioOutput
// (QAudioSink in the program, a fake in the tests).
//
// Positions are in frames of the sound (one frame = one sample of every channel), as
// doubles: with a device at another rate a device frame covers a fraction of one.

#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#include <QIODevice>
#include <QObject>
#include <QString>
#include <QTimer>

#include "audio/TWave.h"

namespace kestrelon {

// The sample types an audio device takes (those of QAudioFormat): unsigned 8 bits with
// 128 as zero, signed 16 and 32 bits, 32-bit float with 1.0 as full scale. Native
// byte order, channels interleaved.
enum class PcmSample : uint8_t { UInt8, Int16, Int32, Float };
unsigned pcmBytes(PcmSample sample);

struct DeviceFormat {
    int rate = 0; // frames per second
    int channels = 0;
    PcmSample sample = PcmSample::Int16;
    int bytesPerFrame() const { return channels * int(pcmBytes(sample)); }
    bool operator==(const DeviceFormat&) const = default;
};

// What a device says it takes.
struct DeviceCaps {
    int minRate = 1;
    int maxRate = 384000;
    int minChannels = 1;
    int maxChannels = 8;
    std::vector<PcmSample> samples{
        PcmSample::UInt8, PcmSample::Int16, PcmSample::Int32, PcmSample::Float};
};

// The format to play file in: its rate, channel count and sample width when the device
// takes them, else the nearest the device takes. Widths map as 8 -> UInt8, 16 -> Int16,
// 24 to 64 -> Int32, float -> Float; a width the device lacks becomes the first of
// Int32, Float, Int16, UInt8 (Float, Int32, ... for float sounds) that it has.
DeviceFormat chooseDeviceFormat(const WAVEFORMATEX& file, const DeviceCaps& caps);

// Reads a sound converted to a device format, from a position on.
//  - Samples go through the GetSampleF scale (1.0 = full scale) and are stored as the
//    device width stores them: floor(x * 2^(bits-1) + 0.5) clipped, 128-offset for
//    UInt8, x itself for Float. Same-width and widening integer conversions are exact.
//  - Rates that differ are bridged by linear interpolation.
//  - Channels: equal counts map one to one; a mono sound goes to every device channel;
//    with more device channels the extra ones are silent; with fewer, device channel o
//    is the mean of the sound's channels c with c mod (device channels) = o.
// The source may be switched at any time; reading goes on at the same position.
class PcmConverter {
public:
    static constexpr int kBlockFrames = 1024; // device frames converted per step

    void setFormat(const DeviceFormat& format);
    const DeviceFormat& format() const { return FFormat; }
    void setSource(const TWave* wave); // not owned; may be null (silence)
    const TWave* source() const { return FWave; }
    // The next frame of the sound to convert; clamped to [0, frame count].
    void seek(double frame);
    double position() const { return FPosition; }
    // Frames at and after end are not converted (the sound's end is the default).
    void setEnd(double end);
    // Sound frames per device frame.
    double step() const;
    bool atEnd() const;
    // Device frames left until the end of the sound.
    int64_t framesLeft() const;
    // Converts whole device frames into out, at most maxBytes; returns the bytes written
    // (0 at the end of the sound).
    int64_t read(char* out, int64_t maxBytes);

private:
    void convertBlock(int frames, char* out);

    DeviceFormat FFormat;
    const TWave* FWave = nullptr;
    double FPosition = 0.0;
    double FEnd = std::numeric_limits<double>::infinity();
    std::vector<double> FIn; // per channel: the sound frames one block needs
    std::vector<double> FMixed; // one device frame
};

// The converter as the pull source of an audio device, which may read it on its own
// thread: whoever else touches the converter while a device pulls holds mutex(). With a
// loop, reaching the converter's end goes on from the loop's first frame within the same
// read, so the device hears the range over and over without a seam.
class PcmSource : public QIODevice {
    Q_OBJECT
public:
    explicit PcmSource(PcmConverter* converter, QObject* parent = nullptr);
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    bool atEnd() const override;
    std::mutex& mutex() const { return FMutex; }
    // Under mutex().
    void setLoop(bool loop, double first)
    {
        FLoop = loop;
        FLoopFirst = first;
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    PcmConverter* FConverter;
    mutable std::mutex FMutex;
    bool FLoop = false;
    double FLoopFirst = 0.0;
};

// An audio device that pulls from a QIODevice, on whatever thread it likes (the source
// guards itself); its answers below may come from any thread.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Why nothing can be played (no device, ...); empty when a device is there.
    virtual QString unavailableReason() const = 0;
    virtual DeviceCaps caps() const = 0;
    // Starts pulling from source in format; false with *reason when the device refuses.
    virtual bool start(const DeviceFormat& format, QIODevice* source, QString* reason) = 0;
    virtual void stop() = 0;
    // Device frames played since start (what has been heard, not what was pulled).
    virtual int64_t playedFrames() const = 0;
    // The source has ended and the device has played everything it pulled. The player
    // asks once per tick while its converter is at the end.
    virtual bool drained() const = 0;
};

// When an output that has been given the last of a sound has played all of it: once the
// time it has played reaches the length it was given, or, should it never say so, that
// long after the end plus kMarginUs. Times in microseconds on one monotonic clock.
class DrainClock {
public:
    static constexpr int64_t kMarginUs = 200000;

    void reset() { FEnded = false; }
    // The source ended after writtenUs of sound, when playedUs had been played.
    void sourceEnded(int64_t writtenUs, int64_t playedUs, int64_t nowUs);
    bool ended() const { return FEnded; }
    bool drained(int64_t playedUs, int64_t nowUs) const;

private:
    bool FEnded = false;
    int64_t FWrittenUs = 0;
    int64_t FDeadlineUs = 0;
};

// Play / stop, the play-head and the A/B comparison. Positions are sound frames.
class Player : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickMs = 30; // how often the play-head moves while playing

    explicit Player(std::unique_ptr<AudioOutput> output, QObject* parent = nullptr);
    ~Player() override;

    bool available() const { return FOutput && FOutput->unavailableReason().isEmpty(); }
    QString unavailableReason() const;

    // current: the sound; previous: the sound before the last import (null when there
    // is none). Both are owned elsewhere and must stay alive until replaced; while
    // playing, replacing the one being heard goes on at the same position.
    void setSounds(const TWave* current, const TWave* previous);
    // Plays the previous sound (B) instead of the current one (A), from the same place.
    void setComparing(bool previous);
    bool isComparing() const { return FComparing; }
    const TWave* heardSound() const;

    // Where Play starts, clamped to the sound.
    void setStartFrame(double frame);
    double startFrame() const { return FStart; }

    // Plays from the start frame to the end.
    bool play(QString* reason = nullptr);
    // Plays frames [first, end) of the heard sound, clamped to it, over and over with
    // loop; an A/B switch goes on in the other sound within the same range. Stopping or
    // reaching the end leaves the start frame as it was. False for an empty range.
    bool playRange(double first, double end, bool loop, QString* reason = nullptr);
    void stop();
    bool isPlaying() const { return FPlaying; }
    bool isLooping() const { return FPlaying && FLoop; }
    // The frame being heard now (the start frame when stopped); in a loop, within the
    // range.
    double position() const;
    const DeviceFormat& deviceFormat() const { return FConverter.format(); }

    // Moves the play-head and notices the end; the timer calls it while playing.
    void tick();

signals:
    void positionChanged(double frame);
    void playingChanged(bool playing);

private:
    double frameCount() const;
    bool start(double first, double end, bool loop, QString* reason);

    std::unique_ptr<AudioOutput> FOutput;
    PcmConverter FConverter;
    PcmSource FSource;
    QTimer FTimer;
    const TWave* FCurrent = nullptr;
    const TWave* FPrevious = nullptr;
    bool FComparing = false;
    bool FPlaying = false;
    double FStart = 0.0;
    double FPlayFrom = 0.0; // where this run started
    double FPlayEnd = 0.0; // where it ends (or goes back to FPlayFrom)
    bool FLoop = false;
    int64_t FPassFrames = 0; // device frames of one pass through a loop
};

} // namespace kestrelon
