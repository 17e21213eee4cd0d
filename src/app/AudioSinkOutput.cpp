#include "app/AudioSinkOutput.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>

#include "base/Message.h"

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
        return Message(MessageCode::AudioOpenFailed).text();
    case QAudio::IOError:
        return Message(MessageCode::AudioWriteFailed).text();
    case QAudio::FatalError:
        return Message(MessageCode::AudioUnusable).text();
    default:
        return QString();
    }
}

} // namespace

AudioSinkOutput::AudioSinkOutput()
    : FDevice(QMediaDevices::defaultAudioOutput())
{
}

AudioSinkOutput::~AudioSinkOutput()
{
    stop();
}

QString AudioSinkOutput::unavailableReason() const
{
    if (FDevice.isNull())
        return Message(MessageCode::AudioNoDeviceFound).text();
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
            *reason
                = Message(MessageCode::AudioFormatUnsupported, format.rate, format.channels).text();
        return false;
    }
    FSink = std::make_unique<QAudioSink>(FDevice, f);
    FRate = format.rate;
    FLastPlayed = -1;
    FSourceDevice = source;
    FSink->start(source);
    if (FSink->error() != QAudio::NoError) {
        if (reason)
            *reason = errorText(FSink->error());
        FSink.reset();
        return false;
    }
    return true;
}

void AudioSinkOutput::stop()
{
    if (FSink) {
        FSink->stop();
        FSink.reset();
    }
    FSourceDevice = nullptr;
}

int64_t AudioSinkOutput::playedFrames() const
{
    if (!FSink)
        return 0;
    return FSink->processedUSecs() * FRate / 1000000;
}

bool AudioSinkOutput::drained() const
{
    if (!FSink)
        return true;
    // The sink turns idle as soon as the source has nothing more, while the sound server
    // still plays what it holds: drained once the played time stops growing as well.
    const qint64 played = FSink->processedUSecs();
    const bool idle = FSink->state() == QAudio::IdleState || FSink->state() == QAudio::StoppedState;
    const bool still = played == FLastPlayed;
    FLastPlayed = played;
    return idle && still;
}

} // namespace kestrelon
