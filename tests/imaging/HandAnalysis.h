#pragma once
// An analysis filled in by hand, so the picture and the gains can be checked against
// values worked out on paper rather than against the engine.

#include <set>

#include <QImage>
#include <QLocale>

#include "audio/TWave.h"
#include "imaging/Picture.h"
#include "spectral/TWaveCepstram.h"

namespace kestrelon::test {

struct HandAnalysis {
    TWave wave;
    TWaveCepstram engine;
    int32_t N;
    int32_t F;

    // channels spectrograms (and cepstrograms) of F frames of N bins; every dB value db.
    HandAnalysis(uint32_t rate, double seconds, int32_t n, int32_t frames, int channels = 1,
        double db = -200.0)
        : N(n)
        , F(frames)
    {
        wave.FFormat.nSamplesPerSec = rate;
        wave.FFormat.nChannels = static_cast<uint16_t>(channels);
        wave.FSeconds = seconds;
        engine.SetChannelCount(channels);
        for (int c = 0; c < channels; ++c) {
            fill(*engine.FSpectrograms[std::size_t(c)], 1.0 + c);
            engine.FCepstrograms.push_back(std::make_unique<TSpectrogram>());
            fill(*engine.FCepstrograms.back(), 100.0 + c);
        }
        engine.FPower.assign(std::size_t(channels),
            TFFTShinpuku(std::size_t(F), std::vector<double>(std::size_t(N / 2 + 1), db)));
        engine.FCepPower = engine.FPower;
    }

    void fill(TSpectrogram& g, double base) const
    {
        g.SetFrameCount(F);
        g.SetSpecLength(N);
        g.FHop = N / 2;
        for (int32_t f = 0; f < F; ++f)
            for (int32_t k = 0; k < N; ++k)
                g.FFrames[std::size_t(f)]->FData[std::size_t(k)]
                    = {base + f * 1000.0 + k, -(base + f + k * 0.5)};
    }

    DrawContext context(uint8_t mode) const
    {
        DrawContext ctx;
        ctx.wave = &wave;
        ctx.fftLength = N;
        ctx.mode = mode;
        ctx.locale = QLocale::c();
        return ctx;
    }
};

inline bool isWhite(const QImage& image, int x, int y)
{
    return (image.pixel(x, y) & 0xFFFFFFu) == 0xFFFFFFu;
}

// The rows y0 <= y < y1 where column x is white.
inline std::set<int> whiteRows(const QImage& image, int x, int y0, int y1)
{
    std::set<int> rows;
    for (int y = y0; y < y1; ++y)
        if (isWhite(image, x, y))
            rows.insert(y);
    return rows;
}

// The columns x0 <= x < x1 where row y is white.
inline std::set<int> whiteColumns(const QImage& image, int y, int x0, int x1)
{
    std::set<int> columns;
    for (int x = x0; x < x1; ++x)
        if (isWhite(image, x, y))
            columns.insert(x);
    return columns;
}

inline bool anyWhite(const QImage& image, QRect r)
{
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (isWhite(image, x, y))
                return true;
    return false;
}

} // namespace kestrelon::test
