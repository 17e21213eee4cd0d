#include "app/AudioSinkOutput.h"

#include <atomic>
#include <memory>

#include <QAudioFormat>
#include <QAudioSink>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QTimer>

namespace kestrelon {

namespace {

QAudioFormat::SampleFormat qtSample(PcmSample sample)
{
    switch (sample) {
    case PcmSample::UInt8:
        return QAudioFormat::UInt8;
    case PcmSample::Int16:
        return QAudioFormat::Int16;
    case PcmSample::Int32:
        return QAudioFormat::Int32;
    case PcmSample::Float:
        return QAudioFormat::Float;
    }
    return QAudioFormat::Unknown;
}

QString errorText(QAudio::Error error)
{
    switch (error) {
    case QAudio::OpenError:
        return QStringLiteral("音声出力装置を開けませんでした");
    case QAudio::IOError:
        return QStringLiteral("音声出力装置への書き込みに失敗しました");
    case QAudio::FatalError:
        return QStringLiteral("音声出力装置が使えません");
    default:
        return QString();
    }
}

// The player's source as the sink reads it, counting the bytes it gives.
class CountingSource : public QIODevice {
public:
    explicit CountingSource(QIODevice* source)
        : FSource(source)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return FSource->bytesAvailable(); }
    bool atEnd() const override { return FSource->atEnd(); }
    qint64 given() const { return FGiven; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = FSource->read(data, maxSize);
        if (n > 0)
            FGiven += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QIODevice* FSource;
    qint64 FGiven = 0;
};

} // namespace

// The sink and its feeding, on the output's thread; the window's thread reads the
// atomics.
class AudioSinkOutput::Feeder : public QObject {
public:
    std::atomic<int64_t> playedUs{0};
    std::atomic<bool> drained{true};

    Feeder() { connect(&FPoll, &QTimer::timeout, this, &Feeder::poll); }

    QAudio::Error start(const QAudioDevice& device, const QAudioFormat& format, QIODevice* source)
    {
        stop();
        FSource = std::make_unique<CountingSource>(source);
        FSink = std::make_unique<QAudioSink>(device, format);
        FFormat = format;
        FClock.reset();
        FTime.start();
        playedUs = 0;
        drained = false;
        FSink->start(FSource.get());
        const QAudio::Error error = FSink->error();
        if (error != QAudio::NoError)
            stop();
        else
            FPoll.start(kPollMs);
        return error;
    }

    void stop()
    {
        FPoll.stop();
        if (FSink)
            FSink->stop();
        FSink.reset();
        FSource.reset();
        drained = true;
    }

private:
    void poll()
    {
        const int64_t played = FSink->processedUSecs();
        const int64_t now = FTime.nsecsElapsed() / 1000;
        // The source is at its end once the sink has read (and handed on) all of it.
        if (!FClock.ended() && FSource->atEnd()) {
            const int64_t frames = FSource->given() / FFormat.bytesPerFrame();
            FClock.sourceEnded(frames * 1000000 / FFormat.sampleRate(), played, now);
        }
        playedUs = played;
        drained = FClock.drained(played, now);
    }

    std::unique_ptr<CountingSource> FSource;
    std::unique_ptr<QAudioSink> FSink;
    QAudioFormat FFormat;
    QTimer FPoll{this};
    DrainClock FClock;
    QElapsedTimer FTime;
};

AudioSinkOutput::AudioSinkOutput()
    : FDevice(QMediaDevices::defaultAudioOutput())
    , FFeeder(new Feeder)
{
    FThread.setObjectName(QStringLiteral("audio output"));
    FFeeder->moveToThread(&FThread);
    FThread.start(QThread::TimeCriticalPriority);
}

AudioSinkOutput::~AudioSinkOutput()
{
    stop();
    FThread.quit();
    FThread.wait();
    delete FFeeder;
}

QString AudioSinkOutput::unavailableReason() const
{
    if (FDevice.isNull())
        return QStringLiteral("音声出力装置が見つからないため再生できません");
    return QString();
}

DeviceCaps AudioSinkOutput::caps() const
{
    DeviceCaps caps;
    if (FDevice.isNull())
        return caps;
    caps.minRate = FDevice.minimumSampleRate();
    caps.maxRate = FDevice.maximumSampleRate();
    caps.minChannels = FDevice.minimumChannelCount();
    caps.maxChannels = FDevice.maximumChannelCount();
    caps.samples.clear();
    for (QAudioFormat::SampleFormat s : FDevice.supportedSampleFormats()) {
        for (PcmSample p : {PcmSample::UInt8, PcmSample::Int16, PcmSample::Int32, PcmSample::Float})
            if (qtSample(p) == s)
                caps.samples.push_back(p);
    }
    return caps;
}

bool AudioSinkOutput::start(const DeviceFormat& format, QIODevice* source, QString* reason)
{
    stop();
    if (FDevice.isNull()) {
        if (reason)
            *reason = unavailableReason();
        return false;
    }
    QAudioFormat f;
    f.setSampleRate(format.rate);
    f.setChannelCount(format.channels);
    f.setSampleFormat(qtSample(format.sample));
    if (!FDevice.isFormatSupported(f)) {
        if (reason)
            *reason = QStringLiteral("音声出力装置がこの形式に対応していません (%1 Hz, %2 ch)")
                          .arg(format.rate)
                          .arg(format.channels);
        return false;
    }
    FRate = format.rate;
    QAudio::Error error = QAudio::NoError;
    QMetaObject::invokeMethod(
        FFeeder, [&] { error = FFeeder->start(FDevice, f, source); }, Qt::BlockingQueuedConnection);
    if (error != QAudio::NoError) {
        if (reason)
            *reason = errorText(error);
        return false;
    }
    return true;
}

void AudioSinkOutput::stop()
{
    QMetaObject::invokeMethod(
        FFeeder, [this] { FFeeder->stop(); }, Qt::BlockingQueuedConnection);
}

int64_t AudioSinkOutput::playedFrames() const
{
    return FFeeder->playedUs * FRate / 1000000;
}

bool AudioSinkOutput::drained() const
{
    return FFeeder->drained;
}

} // namespace kestrelon
