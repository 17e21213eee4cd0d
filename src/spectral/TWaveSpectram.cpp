#include "spectral/TWaveSpectram.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>

#include "base/Errors.h"
#include "spectral/SpectralKernels.h"

namespace kestrelon {

namespace {

// Channels beyond 255 cannot be addressed through TWave's 8-bit channel index.
constexpr int32_t kMaxChannels = 256;

[[noreturn]] void mismatch(const char* what)
{
    throw RangeError(std::string("spectral data do not match: ") + what);
}

} // namespace

TWaveSpectram::TWaveSpectram() = default;
TWaveSpectram::~TWaveSpectram() = default;

void TWaveSpectram::MakeWindow(int32_t N, uint8_t kind)
{
    if (N < 0)
        detail::throwNegativeLength("window");
    FWindow.resize(static_cast<std::size_t>(N));
    detail::fillWindow(FWindow.data(), N, kind);
}

int32_t TWaveSpectram::GetFrameCount(const TWave& wave, int32_t N) const
{
    const int64_t hop = N / 2;
    if (hop <= 0)
        throw RangeError("FFT length " + std::to_string(N) + " gives no hop");
    // One frame more than S div H whenever S is not a multiple of H, so that every
    // sample lies under two frames: (S + H - 1) div H + 1.
    const int64_t S = wave.FSampleCount;
    const int64_t frames = (S + hop - 1) / hop + 1;
    if (frames > INT32_MAX)
        throw IntOverflowError(intOverflow(MessageCode::WhatFrameCount));
    return static_cast<int32_t>(frames);
}

void TWaveSpectram::SetChannelCount(int32_t n)
{
    if (n < 0)
        detail::throwNegativeLength("spectrogram list");
    FSpectrograms.clear();
    FChannelCount = n;
    FSpectrograms.resize(static_cast<std::size_t>(n));
    for (auto& g : FSpectrograms)
        g = std::make_unique<TSpectrogram>();
}

void TWaveSpectram::Analyze(const TWave& wave, int32_t N)
{
    const uint32_t S = wave.FSampleCount;
    if (S == 0)
        return;
    checkFftLength(N, "FFT length");
    const int32_t C = wave.FFormat.nChannels;
    if (C > kMaxChannels)
        throw RangeError(Message(MessageCode::TooManyChannelsToAnalyse, C, kMaxChannels));
    const int32_t F = GetFrameCount(wave, N);
    const int32_t H = N / 2;
    const RealFft& fft = RealFft::forLength(N);

    SetChannelCount(C);
    FSpecValid = false;
    FPowerValid = false;
    MakeWindow(N, 1);
    for (auto& g : FSpectrograms) {
        g->SetFrameCount(F);
        g->SetSpecLength(N);
        g->FHop = H;
    }

    const auto n = static_cast<std::size_t>(N);
    detail::forFrames(static_cast<std::size_t>(F), [&](std::size_t fb, std::size_t fe) {
        auto a = makeAlignedBuffer<double>(n);
        auto scratch = makeAlignedBuffer<TComplex>(n / 2 + 1);
        const double* window = FWindow.data();
        for (std::size_t f = fb; f < fe; ++f) {
            // Frame f starts at -H + f H: frame 0 is centred on sample 0.
            const int64_t s = static_cast<int64_t>(f) * H - H;
            for (int32_t c = 0; c < C; ++c) {
                detail::readFrame(wave, static_cast<uint8_t>(c), s, n, a.get());
                detail::windowFrame(a.get(), window, n);
                detail::forwardBins(
                    fft, a.get(), FSpectrograms[c]->FFrames[f]->FData.data(), scratch.get());
            }
        }
    });
    FSpecValid = true;
    FPowerValid = false;
}

TFFTShinpuku TWaveSpectram::powerOf(const TSpectrogram& g, double ref)
{
    if (g.FSpecLength < 0 || g.FFrameCount < 0 || g.FFrames.size() < std::size_t(g.FFrameCount))
        mismatch("spectrogram geometry");
    const auto K = static_cast<std::size_t>(g.FSpecLength / 2 + 1);
    const auto frames = static_cast<std::size_t>(g.FFrameCount);
    for (std::size_t f = 0; f < frames; ++f)
        if (g.FFrames[f]->FData.size() < K)
            mismatch("a frame has fewer bins than its spectrogram");
    TFFTShinpuku rows(frames);
    if (frames) {
        auto block = detail::Block::make(
            checkedMul(frames, K * sizeof(double), MessageCode::WhatDbArraySize));
        auto* base = static_cast<double*>(block->data());
        for (std::size_t f = 0; f < frames; ++f)
            rows[f].attach(block, base + f * K, K);
    }
    std::atomic<bool> failed{false};
    detail::forFrames(frames, [&](std::size_t fb, std::size_t fe) {
        for (std::size_t f = fb; f < fe; ++f)
            if (!detail::dbRow(g.FFrames[f]->FData.data(), K, ref, rows[f].data())) {
                failed = true;
                return;
            }
    });
    if (failed)
        throw FloatError(Message(MessageCode::DbValueError, QString::number(ref)));
    return rows;
}

void TWaveSpectram::CalcPower(double ref)
{
    if (FChannelCount < 0 || FSpectrograms.size() < std::size_t(FChannelCount))
        mismatch("channel count");
    std::vector<TFFTShinpuku> power(static_cast<std::size_t>(FChannelCount));
    for (std::size_t c = 0; c < power.size(); ++c)
        power[c] = powerOf(*FSpectrograms[c], ref);
    FPower = std::move(power);
    FPowerValid = true;
}

TWaveSpectram::SynthesisPlan TWaveSpectram::checkSynthesize(const TWave& wave) const
{
    SynthesisPlan plan;
    if (FChannelCount <= 0 || FSpectrograms.empty() || FSpectrograms[0]->FFrameCount <= 0)
        return plan;
    const TSpectrogram& first = *FSpectrograms[0];
    checkFftLength(first.FSpecLength, "spectrum length");
    plan.N = first.FSpecLength;
    const int32_t H = plan.N / 2;
    // Only the channels that have a spectrogram are written; the wave's others stay.
    plan.channels = std::min<int32_t>(wave.FFormat.nChannels, FChannelCount);
    if (plan.channels > kMaxChannels)
        throw RangeError("cannot write more than " + std::to_string(kMaxChannels) + " channels");
    if (FSpectrograms.size() < std::size_t(plan.channels))
        mismatch("channel count");
    if (FWindow.size() < std::size_t(plan.N))
        mismatch("the window is shorter than the spectra");
    for (int32_t c = 0; c < plan.channels; ++c) {
        const TSpectrogram& g = *FSpectrograms[c];
        if (g.FHop != H || g.FFrameCount < 0 || g.FFrames.size() < std::size_t(g.FFrameCount))
            mismatch("spectrogram geometry");
        for (int32_t f = 0; f < g.FFrameCount; ++f)
            if (g.FFrames[f]->FData.size() < std::size_t(H) + 1)
                mismatch("a frame has fewer bins than its spectrogram");
    }
    if (wave.FSampleCount == 0) {
        // An empty wave gets as many frames as the spectra cover with two frames.
        plan.emptyWaveFrames = checkedMul<uint32_t>(uint32_t(first.FFrameCount - 1),
            uint32_t(first.FHop), MessageCode::WhatResynthesisLength);
    }
    plan.active = true;
    return plan;
}

void TWaveSpectram::runSynthesize(const SynthesisPlan& plan, TWave& wave, ClipStats* clips)
{
    if (wave.FSampleCount == 0) {
        wave.SetSampleCount(plan.emptyWaveFrames);
        if (wave.FSampleCount == 0)
            throw IntOverflowError(Message(MessageCode::NoSamplesToResynthesise));
    }
    const auto n = static_cast<std::size_t>(plan.N);
    const std::size_t H = n / 2;
    const uint32_t S = wave.FSampleCount;
    const std::size_t C = static_cast<std::size_t>(plan.channels);
    const std::size_t blocks = (std::size_t(S) + H - 1) / H;
    const RealFft& fft = RealFft::forLength(plan.N);
    std::mutex clipMutex;
    ClipStats total;

    // Output block j (samples jH .. jH + H - 1) is the second half of frame j plus
    // the first half of frame j + 1, added in that order onto 0.0 exactly as an
    // accumulator filled frame by frame would: the split over threads changes no bit.
    detail::forFrames(blocks, [&](std::size_t jb, std::size_t je) {
        auto a = makeAlignedBuffer<double>(n);
        auto scratch = makeAlignedBuffer<TComplex>(H + 1);
        std::vector<double> tails(C * H), acc(H);
        std::vector<char> hasTail(C, 0);
        ClipStats local;
        const double* window = FWindow.data();
        auto frameSize = [&](std::size_t c) { return std::size_t(FSpectrograms[c]->FFrameCount); };
        auto inverse = [&](std::size_t c, std::size_t f) {
            detail::synthesizeFrame(
                fft, FSpectrograms[c]->FFrames[f]->FData.data(), window, a.get(), scratch.get());
            std::memcpy(&tails[c * H], a.get() + H, H * sizeof(double));
            hasTail[c] = 1;
        };
        for (std::size_t c = 0; c < C; ++c)
            if (jb < frameSize(c))
                inverse(c, jb);
        for (std::size_t j = jb; j < je; ++j) {
            const std::size_t start = j * H;
            const std::size_t count = std::min(H, std::size_t(S) - start);
            for (std::size_t c = 0; c < C; ++c) {
                const double* tail = hasTail[c] ? &tails[c * H] : nullptr;
                const double* head = nullptr;
                if (j + 1 < frameSize(c)) {
                    detail::synthesizeFrame(fft, FSpectrograms[c]->FFrames[j + 1]->FData.data(),
                        window, a.get(), scratch.get());
                    head = a.get();
                }
                detail::overlapAdd(tail, head, acc.data(), H);
                hasTail[c] = 0;
                if (head) {
                    std::memcpy(&tails[c * H], a.get() + H, H * sizeof(double));
                    hasTail[c] = 1;
                }
                wave.WriteChannelF(static_cast<uint8_t>(c), static_cast<uint32_t>(start),
                    static_cast<uint32_t>(count), acc.data(), clips ? &local : nullptr);
            }
        }
        if (clips) {
            std::lock_guard lock(clipMutex);
            total.merge(local);
        }
    });
    FSpecValid = false;
    FPowerValid = false;
    if (clips)
        clips->merge(total);
}

void TWaveSpectram::Synthesize(TWave& wave, ClipStats* clips)
{
    const SynthesisPlan plan = checkSynthesize(wave);
    if (plan.active)
        runSynthesize(plan, wave, clips);
}

} // namespace kestrelon
