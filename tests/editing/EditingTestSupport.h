#pragma once
// Helpers of the editing tests: sounds written through TWave, and a full snapshot of a
// document (samples, cells, picture, texts, proposals).

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include <QImage>
#include <QStringList>

#include "../MessageText.h"
#include "editing/Document.h"

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

// Everything a document holds, for comparing two of them (or one with itself later).
struct DocSnapshot {
    explicit DocSnapshot(const Document& d)
    {
        samples = d.FWave ? d.FWave->FData : std::vector<uint8_t>{};
        if (d.FWave)
            format = QByteArray(
                reinterpret_cast<const char*>(&d.FWave->FFormat), sizeof(WAVEFORMATEX));
        bitmap = d.FBitmap.copy();
        for (int v = 0; v < 2; ++v)
            if (d.cells[v])
                cells[v] = d.cells[v]->gray;
        texts = d.statusTexts();
        proposals = QStringList{d.openedPath(), d.proposedSavePath(), d.filterDirectory(),
            d.proposedExportPath(), d.importProposal()};
        fft = d.FFFTLength;
        mode = d.FMode;
    }
    // what shows: everything but the cells of the view not shown
    void expectShows(const DocSnapshot& o, const std::string& what) const
    {
        EXPECT_TRUE(samples == o.samples) << what << ": samples";
        EXPECT_EQ(format, o.format) << what;
        EXPECT_TRUE(bitmap == o.bitmap) << what << ": picture";
        EXPECT_TRUE(cells[mode] == o.cells[mode]) << what << ": cells";
        EXPECT_EQ(texts, o.texts) << what;
        EXPECT_EQ(proposals, o.proposals) << what;
        EXPECT_EQ(fft, o.fft) << what;
        EXPECT_EQ(mode, o.mode) << what;
    }
    void expectEqual(const DocSnapshot& o, const std::string& what) const
    {
        expectShows(o, what);
        EXPECT_TRUE(cells[1 - mode] == o.cells[1 - mode]) << what << ": cells of the other view";
    }

    std::vector<uint8_t> samples;
    QByteArray format;
    QImage bitmap;
    std::vector<uint8_t> cells[2];
    QStringList texts, proposals;
    int32_t fft = 0;
    uint8_t mode = 0;
};

// A new document with the C locale.
inline DocumentPtr cDocument(int32_t fft = 1024, uint8_t mode = kSpectrumView)
{
    return makeDocument(fft, mode, QLocale::c());
}

// The document a command gave; fails the test (and gives the input) when it failed.
inline DocumentPtr done(const CommandResult& r, const DocumentPtr& input = nullptr)
{
    EXPECT_TRUE(r.ok) << en(r.message).toStdString();
    return r.ok ? r.document : input;
}

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
