#pragma once
// Helpers of the editing tests: sounds written through TWave, and a full snapshot of an
// EditorCore (samples, bins, dB rows, cepstra, flags, picture, texts, proposals).

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include <QImage>
#include <QStringList>

#include "editing/EditorCore.h"

namespace kestrelon::test {

// Writes a PCM WAV file through TWave; sample(frame, channel) is on the -1 .. 1 scale.
inline bool writeTestWave(const QString& path, uint32_t rate, uint16_t channels, uint16_t bits,
    uint32_t frames, const std::function<double(uint32_t, int)>& sample)
{
    TWave w;
    w.FFormat.nChannels = channels;
    w.FFormat.nSamplesPerSec = rate;
    w.FFormat.wBitsPerSample = bits;
    w.UpdateFormat();
    w.SetSampleCount(frames);
    for (uint32_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            w.SetSampleF(i, uint8_t(c), sample(i, c));
    return w.SaveToFile(path);
}

inline double testTones(uint32_t i, int c, double rate)
{
    const double t = i / rate;
    return 0.3 * std::sin(2 * M_PI * 440 * t + c) + 0.2 * std::sin(2 * M_PI * 1870 * t)
        + 0.05 * std::sin(2 * M_PI * 3150 * t * (1 + t));
}

// Every complex value of every frame of every channel, bit for bit.
inline std::vector<uint8_t> binBytes(const std::vector<std::unique_ptr<TSpectrogram>>& grams)
{
    std::vector<uint8_t> out;
    for (const auto& g : grams) {
        if (!g)
            continue;
        for (const auto& f : g->FFrames) {
            const auto* p = reinterpret_cast<const uint8_t*>(f->FData.data());
            out.insert(out.end(), p, p + f->FData.size() * sizeof(TComplex));
        }
    }
    return out;
}

inline std::vector<uint8_t> dbBytes(const std::vector<TFFTShinpuku>& power)
{
    std::vector<uint8_t> out;
    for (const auto& ch : power)
        for (const auto& row : ch) {
            const auto* p = reinterpret_cast<const uint8_t*>(row.data());
            out.insert(out.end(), p, p + row.size() * sizeof(double));
        }
    return out;
}

// What the core holds. With `all`, also the arrays that are not valid (a stale cepstrum
// is kept until the next cepstrum pass: a cancel must leave it too).
struct CoreSnapshot {
    CoreSnapshot(const EditorCore& core, bool all)
    {
        const TWaveCepstram& e = core.FCepstram;
        samples = core.FWave ? core.FWave->FData : std::vector<uint8_t>{};
        if (core.FWave)
            format = QByteArray(
                reinterpret_cast<const char*>(&core.FWave->FFormat), sizeof(WAVEFORMATEX));
        bitmap = core.FBitmap.copy();
        flags = {e.FChannelCount, e.FSpecValid, e.FPowerValid, e.FCepValid, e.FCepPowerValid};
        if (all || e.FSpecValid)
            spectra = binBytes(e.FSpectrograms);
        if (all || e.FPowerValid)
            power = dbBytes(e.FPower);
        if (all || e.FCepValid)
            cepstra = binBytes(e.FCepstrograms);
        if (all || e.FCepPowerValid)
            cepPower = dbBytes(e.FCepPower);
        texts = core.statusTexts();
        proposals = QStringList{core.openedPath(), core.proposedSavePath(), core.filterDirectory(),
            core.proposedExportPath(), core.importProposal()};
        fft = core.FFFTLength;
        mode = core.FMode;
    }
    void expectEqual(const CoreSnapshot& o, const std::string& what) const
    {
        EXPECT_TRUE(samples == o.samples) << what << ": samples";
        EXPECT_EQ(format, o.format) << what;
        EXPECT_TRUE(bitmap == o.bitmap) << what << ": picture";
        EXPECT_EQ(flags, o.flags) << what << ": channel count and flags";
        EXPECT_TRUE(spectra == o.spectra) << what << ": spectra";
        EXPECT_TRUE(power == o.power) << what << ": dB rows";
        EXPECT_TRUE(cepstra == o.cepstra) << what << ": cepstra";
        EXPECT_TRUE(cepPower == o.cepPower) << what << ": cepstrum dB rows";
        EXPECT_EQ(texts, o.texts) << what;
        EXPECT_EQ(proposals, o.proposals) << what;
        EXPECT_EQ(fft, o.fft) << what;
        EXPECT_EQ(mode, o.mode) << what;
    }

    std::vector<uint8_t> samples;
    QByteArray format;
    QImage bitmap;
    std::vector<int> flags;
    std::vector<uint8_t> spectra, power, cepstra, cepPower;
    QStringList texts, proposals;
    int32_t fft = 0;
    uint8_t mode = 0;
};

// A copy of the display picture with a block of data cells made darker (delta < 0) or
// lighter, as a paint program would: gray stays gray, clamped to 0 .. 255.
inline QImage paintedCopy(
    const QImage& picture, int left, int top, int x0, int y0, int w, int h, int delta)
{
    QImage img = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = top + y0; y < std::min(img.height(), top + y0 + h); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = left + x0; x < std::min(img.width(), left + x0 + w); ++x) {
            const int g = std::clamp(qBlue(line[x]) + delta, 0, 255);
            line[x] = qRgb(g, g, g);
        }
    }
    return img;
}

} // namespace kestrelon::test
