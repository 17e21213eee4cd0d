#pragma once
// TWaveSpectram: short-time Fourier analysis, dB power and overlap-add resynthesis.
//
// Geometry of an analysis of a wave with S frames and C channels, FFT length N,
// hop H = N/2: F = (S + H - 1) / H + 1 frames per channel (every sample is covered
// by two frames). Frame f covers samples s_f .. s_f + N - 1 with s_f = -H + f*H:
// frame 0 is centred on sample 0; samples outside the sound count as 0.
// The bins of frame f are X[k] = (2/N) * sum_m b[m] e^{+2 pi i k m / N} with
// b[m] = x[s_f + m] * FWindow[m] (square root of the periodic Hann window). All N
// bins are stored, conjugate-symmetric; bins 0 .. N/2 are the distinct ones, and
// they are what FPower holds and Synthesize reads.
//
// Analyze, the dB passes and Synthesize split frames over both cores by time
// ranges; the results do not depend on the number of threads, bit for bit. Bins
// and dB rows live in a few large blocks (see TSpectram.h); nothing is allocated
// per frame. Errors are exceptions from base/Errors.h, thrown before anything
// changes: RangeError for an FFT length that is not a power of two from 2 to 65536
// or arrays that do not match one another, IntOverflowError for sizes, FloatError
// for dB values or gains that are not finite numbers.
//
// The F-fields are public: the drawing code reads them and the filter import scales
// bins in place. Only the engine's operations rebuild them.

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/TWave.h"
#include "spectral/TSpectram.h"

namespace kestrelon {

using TFFTWindow = std::vector<double>;
// One row of dB values (a growable array of Double, like TSpecData).
using TPowerRow = detail::TArray<double>;
// One channel's dB magnitudes, [frame][bin], bins 0 .. N/2. The engine puts all
// rows of a channel into one block, row after row.
using TFFTShinpuku = std::vector<TPowerRow>;

// dB value of a magnitude of exactly 0.
inline constexpr double kZeroDb = -99999999.0;

class TWaveSpectram {
public:
    TWaveSpectram();
    ~TWaveSpectram();

    // kind 0: periodic Hann; kind 1: its square root; other kinds: 1.0.
    void MakeWindow(int32_t N, uint8_t kind);
    int32_t GetFrameCount(const TWave& wave, int32_t N) const;
    void SetChannelCount(int32_t n);

    // N: a power of two from 2 to 65536 (the window offers 256 .. 4096); RangeError
    // otherwise, and for waves of more than 256 channels. A wave without samples
    // changes nothing.
    void Analyze(const TWave& wave, int32_t N);
    // ref > 0. A non-zero magnitude whose dB value is not a finite number (ref of 0,
    // negative or NaN, non-finite bins) throws FloatError and changes nothing.
    void CalcPower(double ref);
    // Inverse transform of bins 0 .. N/2 of every frame, second window, overlap-add
    // into wave, every sample of it written (0.0 where no frame reaches). Only the
    // first FChannelCount channels are written; the wave's other channels are left as
    // they are. An empty wave is first resized to (F - 1) H frames. Samples beyond an
    // integer width clip, and the clipping is added to *clips when given.
    void Synthesize(TWave& wave, ClipStats* clips = nullptr);

    TFFTWindow FWindow;
    int32_t FChannelCount = 0;
    bool FSpecValid = false;
    bool FPowerValid = false;
    std::vector<std::unique_ptr<TSpectrogram>> FSpectrograms;
    std::vector<TFFTShinpuku> FPower;

protected:
    // What Synthesize will do, checked before anything changes (RangeError or
    // IntOverflowError otherwise). active is false when there is nothing to do.
    struct SynthesisPlan {
        bool active = false;
        int32_t N = 0;
        int32_t channels = 0;
        uint32_t emptyWaveFrames = 0; // new length of an empty wave
    };
    SynthesisPlan checkSynthesize(const TWave& wave) const;
    void runSynthesize(const SynthesisPlan& plan, TWave& wave, ClipStats* clips);
    // dB rows of every frame of spectrogram g into a new TFFTShinpuku.
    static TFFTShinpuku powerOf(const TSpectrogram& g, double ref);
};

} // namespace kestrelon
