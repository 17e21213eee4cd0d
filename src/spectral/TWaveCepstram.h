#pragma once
// TWaveCepstram: the analysis engine plus a cepstral view of the same analysis.
//
// The cepstrum of a frame is (2/N) times the real FFT of its dB row (FPower, bins
// 0 .. N/2) extended to an even sequence of N values; its values are in dB.
// Quefrency bin k stands for a period of k samples. FCepPower holds 20 log10 of the
// cepstrum magnitudes against a reference (the window passes 1000.0).
// SynthesizeFromCepstrum turns edited cepstra back into dB rows, applies each dB
// change as a gain on the matching spectrum bin (phase kept) and resynthesises.

#include "spectral/TWaveSpectram.h"

namespace kestrelon {

class TWaveCepstram : public TWaveSpectram {
public:
    TWaveCepstram();
    ~TWaveCepstram();

    // The inherited operations, then both cepstrum flags cleared.
    void Analyze(const TWave& wave, int32_t N);
    void CalcPower(double ref);

    void CalcCepstrum();
    void CalcCepPower(double ref);
    // Computes and checks every gain first: a gain or scaled bin that is not finite
    // throws FloatError and changes nothing (no bin, no flag, no sample).
    void SynthesizeFromCepstrum(TWave& wave, ClipStats* clips = nullptr);

    bool FCepValid = false;
    bool FCepPowerValid = false;
    std::vector<std::unique_ptr<TSpectrogram>> FCepstrograms;
    std::vector<TFFTShinpuku> FCepPower;
};

} // namespace kestrelon
