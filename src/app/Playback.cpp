#include "app/Playback.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace kestrelon {

unsigned pcmBytes(PcmSample sample)
{
    switch (sample) {
    case PcmSample::UInt8:
        return 1;
    case PcmSample::Int16:
        return 2;
    case PcmSample::Int32:
    case PcmSample::Float:
        return 4;
    }
    return 0;
}

DeviceFormat chooseDeviceFormat(const WAVEFORMATEX& file, const DeviceCaps& caps)
{
    DeviceFormat f;
    f.rate = int(std::clamp<int64_t>(file.nSamplesPerSec, caps.minRate, caps.maxRate));
    f.channels = std::clamp<int>(file.nChannels, caps.minChannels, caps.maxChannels);

    const SampleKind kind = sampleKindOf(file);
    const bool isFloat = kind == SampleKind::F32 || kind == SampleKind::F64;
    PcmSample natural = PcmSample::Int16;
    switch (kind) {
    case SampleKind::U8:
        natural = PcmSample::UInt8;
        break;
    case SampleKind::S24:
    case SampleKind::S32:
    case SampleKind::S40:
    case SampleKind::S48:
    case SampleKind::S56:
    case SampleKind::S64:
        natural = PcmSample::Int32;
        break;
    case SampleKind::F32:
    case SampleKind::F64:
        natural = PcmSample::Float;
        break;
    default:
        break;
    }
    const auto has = [&](PcmSample s) {
        return std::find(caps.samples.begin(), caps.samples.end(), s) != caps.samples.end();
    };
    if (has(natural) || caps.samples.empty()) {
        f.sample = natural;
        return f;
    }
    const PcmSample intOrder[]
        = {PcmSample::Int32, PcmSample::Float, PcmSample::Int16, PcmSample::UInt8};
    const PcmSample floatOrder[]
        = {PcmSample::Float, PcmSample::Int32, PcmSample::Int16, PcmSample::UInt8};
    for (PcmSample s : isFloat ? floatOrder : intOrder) {
        if (has(s)) {
            f.sample = s;
            break;
        }
    }
    return f;
}

// --- PcmConverter ----------------------------------------------------------------------

namespace {

int64_t integerSample(double x, double scale, int64_t lo, int64_t hi)
{
    if (std::isnan(x))
        return 0;
    const double v = std::floor(x * scale + 0.5);
    if (v <= double(lo))
        return lo;
    if (v >= double(hi))
        return hi;
    return int64_t(v);
}

} // namespace

void PcmConverter::setFormat(const DeviceFormat& format)
{
    FFormat = format;
    setSource(FWave); // sizes the scratch for the new step
}

void PcmConverter::setSource(const TWave* wave)
{
    FWave = wave;
    const int channels = wave ? std::max<int>(1, wave->FFormat.nChannels) : 1;
    const size_t stride = size_t(std::ceil(kBlockFrames * step())) + 4;
    if (FIn.size() < stride * size_t(channels))
        FIn.assign(stride * size_t(channels), 0.0);
    if (FMixed.size() < size_t(std::max(1, FFormat.channels)))
        FMixed.assign(size_t(std::max(1, FFormat.channels)), 0.0);
    seek(FPosition);
}

double PcmConverter::step() const
{
    if (!FWave || FFormat.rate <= 0 || FWave->FFormat.nSamplesPerSec == 0)
        return 1.0;
    return double(FWave->FFormat.nSamplesPerSec) / double(FFormat.rate);
}

void PcmConverter::seek(double frame)
{
    const double count = FWave ? double(FWave->FSampleCount) : 0.0;
    FPosition = std::isnan(frame) ? 0.0 : std::clamp(frame, 0.0, count);
}

void PcmConverter::setEnd(double end)
{
    FEnd = std::isnan(end) ? std::numeric_limits<double>::infinity() : end;
}

bool PcmConverter::atEnd() const
{
    return framesLeft() == 0;
}

int64_t PcmConverter::framesLeft() const
{
    if (!FWave || FFormat.channels <= 0 || FWave->FFormat.nChannels == 0)
        return 0;
    const double left = std::min(FEnd, double(FWave->FSampleCount)) - FPosition;
    return left <= 0 ? 0 : int64_t(std::ceil(left / step() - 1e-9));
}

int64_t PcmConverter::read(char* out, int64_t maxBytes)
{
    const int bpf = FFormat.bytesPerFrame();
    if (bpf <= 0 || maxBytes < bpf)
        return 0;
    int64_t frames = std::min(maxBytes / bpf, framesLeft());
    const int64_t total = frames;
    while (frames > 0) {
        const int n = int(std::min<int64_t>(frames, kBlockFrames));
        convertBlock(n, out);
        out += int64_t(n) * bpf;
        frames -= n;
    }
    return total * bpf;
}

void PcmConverter::convertBlock(int frames, char* out)
{
    const TWave& wave = *FWave;
    const int inChannels = wave.FFormat.nChannels;
    const int outChannels = FFormat.channels;
    const double s = step();
    const size_t stride = FIn.size() / size_t(inChannels);
    const double first = std::floor(FPosition);
    // The frames this block interpolates between: first .. first + need - 1.
    const double lastNeeded = std::floor(FPosition + (frames - 1) * s) + 1;
    const uint32_t need = uint32_t(std::min<double>(double(stride), lastNeeded - first + 1));
    for (int c = 0; c < inChannels; ++c)
        wave.ReadChannelF(uint8_t(c), uint32_t(first), need, FIn.data() + size_t(c) * stride);

    const unsigned width = pcmBytes(FFormat.sample);
    for (int j = 0; j < frames; ++j) {
        const double t = FPosition + j * s - first;
        const size_t i0 = size_t(t);
        const double frac = t - double(i0);
        const auto sample = [&](int c) {
            const double* in = FIn.data() + size_t(c) * stride;
            return frac == 0.0 ? in[i0] : in[i0] * (1.0 - frac) + in[i0 + 1] * frac;
        };
        for (int o = 0; o < outChannels; ++o) {
            double x = 0.0;
            if (inChannels == 1) {
                x = sample(0);
            } else if (inChannels == outChannels) {
                x = sample(o);
            } else {
                int count = 0;
                for (int c = o; c < inChannels; c += outChannels) {
                    x += sample(c);
                    ++count;
                }
                if (count > 1)
                    x /= count;
            }
            char* p = out + (size_t(j) * size_t(outChannels) + size_t(o)) * width;
            switch (FFormat.sample) {
            case PcmSample::UInt8: {
                const auto v = uint8_t(integerSample(x, 128.0, -128, 127) + 128);
                std::memcpy(p, &v, 1);
                break;
            }
            case PcmSample::Int16: {
                const auto v = int16_t(integerSample(x, 32768.0, -32768, 32767));
                std::memcpy(p, &v, 2);
                break;
            }
            case PcmSample::Int32: {
                const auto v = int32_t(integerSample(x, 2147483648.0,
                    std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
                std::memcpy(p, &v, 4);
                break;
            }
            case PcmSample::Float: {
                float v = std::isfinite(x)
                    ? float(std::clamp(x, -double(std::numeric_limits<float>::max()),
                        double(std::numeric_limits<float>::max())))
                    : std::isnan(x) ? 0.0f
                                    : (x > 0 ? 1.0f : -1.0f);
                std::memcpy(p, &v, 4);
                break;
            }
            }
        }
    }
    FPosition = std::min(FPosition + frames * s, double(wave.FSampleCount));
}

// --- PcmSource --------------------------------------------------------------------------

PcmSource::PcmSource(PcmConverter* converter, QObject* parent)
    : QIODevice(parent)
    , FConverter(converter)
{
}

qint64 PcmSource::bytesAvailable() const
{
    std::lock_guard lock(FMutex);
    return FConverter->framesLeft() * FConverter->format().bytesPerFrame()
        + QIODevice::bytesAvailable();
}

bool PcmSource::atEnd() const
{
    std::lock_guard lock(FMutex);
    return !FLoop && FConverter->atEnd() && QIODevice::bytesAvailable() == 0;
}

qint64 PcmSource::readData(char* data, qint64 maxSize)
{
    std::lock_guard lock(FMutex);
    qint64 total = FConverter->read(data, maxSize);
    while (FLoop && FConverter->atEnd()) {
        FConverter->seek(FLoopFirst);
        const int64_t n = FConverter->read(data + total, maxSize - total);
        if (n == 0)
            break; // no room left, or nothing to loop over
        total += n;
    }
    return total;
}

// --- DrainClock -------------------------------------------------------------------------

void DrainClock::sourceEnded(int64_t writtenUs, int64_t playedUs, int64_t nowUs)
{
    FEnded = true;
    FWrittenUs = writtenUs;
    FDeadlineUs = nowUs + std::max<int64_t>(0, writtenUs - playedUs) + kMarginUs;
}

bool DrainClock::drained(int64_t playedUs, int64_t nowUs) const
{
    return FEnded && (playedUs >= FWrittenUs || nowUs >= FDeadlineUs);
}

// --- Player ----------------------------------------------------------------------------

Player::Player(std::unique_ptr<AudioOutput> output, QObject* parent)
    : QObject(parent)
    , FOutput(std::move(output))
    , FSource(&FConverter, this)
{
    FSource.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    FTimer.setInterval(kTickMs);
    connect(&FTimer, &QTimer::timeout, this, &Player::tick);
}

Player::~Player()
{
    if (FPlaying && FOutput)
        FOutput->stop();
}

QString Player::unavailableReason() const
{
    if (!FOutput)
        return QStringLiteral("音声出力装置がないため再生できません");
    return FOutput->unavailableReason();
}

const TWave* Player::heardSound() const
{
    return FComparing && FPrevious ? FPrevious : FCurrent;
}

double Player::frameCount() const
{
    const TWave* sound = heardSound();
    return sound ? double(sound->FSampleCount) : 0.0;
}

void Player::setSounds(const TWave* current, const TWave* previous)
{
    FCurrent = current;
    FPrevious = previous;
    if (!FPlaying)
        return;
    const TWave* sound = heardSound();
    if (!sound || chooseDeviceFormat(sound->FFormat, FOutput->caps()) != FConverter.format()) {
        stop();
        return;
    }
    std::lock_guard lock(FSource.mutex());
    const double at = FConverter.position();
    FConverter.setSource(sound);
    FConverter.seek(at);
}

void Player::setComparing(bool previous)
{
    FComparing = previous;
    setSounds(FCurrent, FPrevious);
}

void Player::setStartFrame(double frame)
{
    const double count = FCurrent ? double(FCurrent->FSampleCount) : 0.0;
    FStart = std::isnan(frame) ? 0.0 : std::clamp(frame, 0.0, count);
    if (!FPlaying)
        emit positionChanged(FStart);
}

bool Player::play(QString* reason)
{
    if (FPlaying)
        return true;
    if (FStart >= frameCount())
        FStart = 0.0;
    return start(FStart, frameCount(), false, reason);
}

bool Player::playRange(double first, double end, bool loop, QString* reason)
{
    stop();
    return start(first, end, loop, reason);
}

bool Player::start(double first, double end, bool loop, QString* reason)
{
    const auto fail = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    if (!available())
        return fail(unavailableReason());
    const TWave* sound = heardSound();
    const double count = frameCount();
    first = std::isnan(first) ? 0.0 : std::clamp(first, 0.0, count);
    end = std::isnan(end) ? count : std::clamp(end, first, count);
    if (!sound || sound->FFormat.nChannels == 0 || end <= first)
        return fail(QStringLiteral("再生する音がありません"));
    const DeviceFormat format = chooseDeviceFormat(sound->FFormat, FOutput->caps());
    {
        std::lock_guard lock(FSource.mutex());
        FConverter.setFormat(format);
        FConverter.setSource(sound);
        FConverter.setEnd(end);
        FConverter.seek(first);
        FPassFrames = FConverter.framesLeft();
        FSource.setLoop(loop, first);
    }
    FPlayFrom = first;
    FPlayEnd = end;
    FLoop = loop;
    if (!FOutput->start(FConverter.format(), &FSource, reason))
        return false;
    FPlaying = true;
    FTimer.start();
    emit playingChanged(true);
    emit positionChanged(FPlayFrom);
    return true;
}

void Player::stop()
{
    if (!FPlaying)
        return;
    FPlaying = false;
    FTimer.stop();
    FOutput->stop();
    emit playingChanged(false);
    emit positionChanged(FStart);
}

double Player::position() const
{
    if (!FPlaying)
        return FStart;
    const int64_t played = FOutput->playedFrames();
    if (FLoop && FPassFrames > 0)
        return FPlayFrom + double(played % FPassFrames) * FConverter.step();
    return std::min(FPlayFrom + double(played) * FConverter.step(), FPlayEnd);
}

void Player::tick()
{
    if (!FPlaying)
        return;
    bool ended = false;
    {
        std::lock_guard lock(FSource.mutex());
        ended = !FLoop && FConverter.atEnd();
    }
    // Not under the lock: the output may read the source to answer.
    if (ended && FOutput->drained()) {
        stop();
        return;
    }
    emit positionChanged(position());
}

} // namespace kestrelon
