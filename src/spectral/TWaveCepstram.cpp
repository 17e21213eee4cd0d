#include "spectral/TWaveCepstram.h"

#include <atomic>
#include <cmath>
#include <string>

#include "base/Errors.h"
#include "spectral/SpectralKernels.h"

namespace kestrelon {

namespace {

[[noreturn]] void mismatch(const char* what)
{
    throw RangeError(std::string("cepstral data do not match the analysis: ") + what);
}

} // namespace

TWaveCepstram::TWaveCepstram() = default;
TWaveCepstram::~TWaveCepstram() = default;

void TWaveCepstram::Analyze(const TWave& wave, int32_t N)
{
    TWaveSpectram::Analyze(wave, N);
    FCepValid = false;
    FCepPowerValid = false;
}

void TWaveCepstram::CalcPower(double ref)
{
    TWaveSpectram::CalcPower(ref);
    FCepValid = false;
    FCepPowerValid = false;
}

void TWaveCepstram::CalcCepstrum()
{
    if (FChannelCount <= 0 || FSpectrograms.empty() || FSpectrograms[0]->FFrameCount <= 0
        || FPower.empty())
        return;
    const int32_t N = FSpectrograms[0]->FSpecLength;
    const int32_t F = FSpectrograms[0]->FFrameCount;
    checkFftLength(N, "spectrum length");
    const auto n = static_cast<std::size_t>(N);
    const std::size_t half = n / 2;
    const auto channels = static_cast<std::size_t>(FChannelCount);
    if (FPower.size() < channels)
        mismatch("fewer dB arrays than channels");
    for (std::size_t ch = 0; ch < channels; ++ch) {
        if (FPower[ch].size() < std::size_t(F))
            mismatch("fewer dB rows than frames");
        for (const auto& row : FPower[ch])
            if (row.size() < half + 1)
                mismatch("a dB row is shorter than N/2 + 1");
    }
    const RealFft& fft = RealFft::forLength(N);

    FCepstrograms.clear();
    FCepstrograms.resize(channels);
    for (auto& g : FCepstrograms) {
        g = std::make_unique<TSpectrogram>();
        g->SetFrameCount(F);
        g->SetSpecLength(N);
        g->FHop = N / 2;
    }
    detail::forFrames(std::size_t(F), [&](std::size_t fb, std::size_t fe) {
        auto e = makeAlignedBuffer<double>(n);
        auto scratch = makeAlignedBuffer<TComplex>(half + 1);
        for (std::size_t f = fb; f < fe; ++f)
            for (std::size_t ch = 0; ch < channels; ++ch)
                detail::cepstrumOfRowFull(fft, FPower[ch][f].data(), e.get(),
                    FCepstrograms[ch]->FFrames[f]->FData.data(), scratch.get());
    });
    FCepValid = true;
}

void TWaveCepstram::CalcCepPower(double ref)
{
    if (FChannelCount < 0)
        mismatch("negative channel count");
    const auto channels = static_cast<std::size_t>(FChannelCount);
    if (channels > 0 && FCepstrograms.empty()) {
        FCepPower.resize(channels);
        return;
    }
    if (FCepstrograms.size() < channels)
        mismatch("fewer cepstrograms than channels");
    std::vector<TFFTShinpuku> power(channels);
    for (std::size_t ch = 0; ch < channels; ++ch)
        power[ch] = powerOf(*FCepstrograms[ch], ref);
    FCepPower = std::move(power);
    FCepPowerValid = true;
}

void TWaveCepstram::SynthesizeFromCepstrum(TWave& wave, ClipStats* clips)
{
    if (FChannelCount <= 0 || FCepstrograms.empty() || FCepstrograms[0]->FFrameCount <= 0)
        return;
    const int32_t N = FCepstrograms[0]->FSpecLength;
    checkFftLength(N, "cepstrum length");
    const auto n = static_cast<std::size_t>(N);
    const std::size_t K = n / 2 + 1;
    const auto channels = static_cast<std::size_t>(FChannelCount);
    if (FCepstrograms.size() < channels || FSpectrograms.size() < channels
        || FPower.size() < channels)
        mismatch("fewer cepstrograms, spectrograms or dB arrays than channels");
    for (std::size_t ch = 0; ch < channels; ++ch) {
        const TSpectrogram& spectrum = *FSpectrograms[ch];
        const TSpectrogram& cep = *FCepstrograms[ch];
        const auto F = static_cast<std::size_t>(std::max(spectrum.FFrameCount, 0));
        if (spectrum.FFrames.size() < F || cep.FFrames.size() < F || FPower[ch].size() < F)
            mismatch("fewer cepstrum frames or dB rows than spectrum frames");
        for (std::size_t f = 0; f < F; ++f)
            if (cep.FFrames[f]->FData.size() < K || spectrum.FFrames[f]->FData.size() < K
                || FPower[ch][f].size() < K)
                mismatch("a frame is shorter than N/2 + 1");
    }
    // Everything Synthesize needs is checked before any bin changes.
    const SynthesisPlan synthesis = checkSynthesize(wave);
    const RealFft& fft = RealFft::forLength(N);

    // First every gain, checked: a gain or scaled bin that is not finite changes nothing.
    std::vector<detail::TArray<double>> gains(channels);
    for (std::size_t ch = 0; ch < channels; ++ch) {
        const auto F = static_cast<std::size_t>(std::max(FSpectrograms[ch]->FFrameCount, 0));
        if (F) {
            auto block = detail::Block::make(
                checkedMul(F, K * sizeof(double), MessageCode::WhatGainArraySize));
            auto* base = static_cast<double*>(block->data());
            gains[ch].attach(std::move(block), base, F * K);
        }
    }
    std::atomic<bool> failed{false};
    for (std::size_t ch = 0; ch < channels; ++ch) {
        const TSpectrogram& spectrum = *FSpectrograms[ch];
        const TSpectrogram& cep = *FCepstrograms[ch];
        double* gain = gains[ch].data();
        detail::forFrames(
            std::size_t(std::max(spectrum.FFrameCount, 0)), [&](std::size_t fb, std::size_t fe) {
                auto a = makeAlignedBuffer<double>(n);
                auto scratch = makeAlignedBuffer<TComplex>(K);
                for (std::size_t f = fb; f < fe && !failed; ++f) {
                    // The cepstrum back into a dB row (an unedited one returns the even
                    // row) and the gains from the old row to it.
                    if (!detail::cepstrumGains(fft, cep.FFrames[f]->FData.data(),
                            FPower[ch][f].data(), spectrum.FFrames[f]->FData.data(), a.get(),
                            scratch.get(), gain + f * K))
                        failed = true;
                }
            });
    }
    if (failed)
        throw FloatError(Message(MessageCode::GainOverflowCepstrumGain));

    // Then every bin 0 .. N/2 of every frame scaled by its gain; the phase is kept.
    for (std::size_t ch = 0; ch < channels; ++ch) {
        TSpectrogram& spectrum = *FSpectrograms[ch];
        const double* gain = gains[ch].data();
        detail::forFrames(
            std::size_t(std::max(spectrum.FFrameCount, 0)), [&](std::size_t fb, std::size_t fe) {
                for (std::size_t f = fb; f < fe; ++f)
                    detail::applyGains(spectrum.FFrames[f]->FData.data(), gain + f * K, K);
            });
    }
    FCepValid = false;
    FCepPowerValid = false;
    if (synthesis.active)
        runSynthesize(synthesis, wave, clips);
}

} // namespace kestrelon
