// Arbitrary bytes as an edited filter image: decoding, the size and length checks, the
// gains on a small analysis in both views and the resynthesis.
//
// Every input is decoded three times: into two pictures filled beforehand with different
// patterns (whose alpha no decoded pixel has), and into a fresh one. A pixel the decoder
// leaves unwritten keeps its pattern, so the results differ and the run stops, as it does
// when the two refusals differ or a refusal gives no reason.
//
// The reference pictures are 59 x 145 (N = 256, 11 frames of 1200 samples at 8 kHz);
// the seed corpus holds pictures of that size in the formats a paint program writes,
// the RLE and 1-bit BMPs and PNGs of every colour type, depth and interlacing, and
// pictures that must be refused (a colour table over the pixels, a PNG bomb).

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include <QByteArray>
#include <QImage>

#include "audio/TWave.h"
#include "imaging/FilterImage.h"
#include "imaging/Picture.h"
#include "spectral/TWaveCepstram.h"

namespace {

using namespace kestrelon;

constexpr int32_t kN = 256;
constexpr int32_t kLeft = 48;
constexpr int32_t kTop = 16;

const TWave& baseWave()
{
    static const TWave wave = [] {
        TWave w;
        w.FFormat.nChannels = 2;
        w.FFormat.nSamplesPerSec = 8000;
        w.FFormat.wBitsPerSample = 16;
        w.UpdateFormat();
        w.SetSampleCount(1200);
        for (uint32_t i = 0; i < 1200; ++i)
            for (uint8_t c = 0; c < 2; ++c)
                w.SetSampleF(i, c, i < 900 ? 0.4 * std::sin(0.07 * i * (c + 1)) : 0.0);
        return w;
    }();
    return wave;
}

// The display picture's data area without the axes (import never reads the margins).
QImage referenceOf(const std::vector<TFFTShinpuku>& power, bool flipped)
{
    const TFFTShinpuku& rows = power[0];
    const int F = int(rows.size());
    const int R = kN / 2 + 1;
    QImage image(kLeft + F, kTop + R, QImage::Format_RGB32);
    image.fill(0xFF000000u);
    for (int i = 0; i < F; ++i)
        for (int j = 0; j < R; ++j) {
            const uint32_t g
                = uint32_t(grayLevel(rows[size_t(i)][size_t(flipped ? R - 1 - j : j)]));
            image.setPixel(kLeft + i, kTop + j, 0xFF000000u | g * 0x010101u);
        }
    return image;
}

void analyse(TWaveCepstram& engine, const TWave& wave, uint8_t mode)
{
    engine.Analyze(wave, kN);
    engine.CalcPower(1.0);
    if (mode == kCepstrumView) {
        engine.CalcCepstrum();
        engine.CalcCepPower(1000.0);
    }
}

const QImage& reference(uint8_t mode)
{
    static const std::array<QImage, 2> pictures = [] {
        TWaveCepstram engine;
        analyse(engine, baseWave(), kCepstrumView);
        return std::array<QImage, 2>{
            referenceOf(engine.FPower, true), referenceOf(engine.FCepPower, false)};
    }();
    return pictures[mode];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(
        reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // the view from the last byte, so that one input reaches both
    const uint8_t mode = size > 0 && (data[size - 1] & 1) ? kCepstrumView : kSpectrumView;
    const QImage& ref = reference(mode);
    QImage first(ref.size(), QImage::Format_RGB32), second(ref.size(), QImage::Format_RGB32);
    first.fill(0x12345678u);
    second.fill(0x87654321u);
    QString reason, again;
    const bool decoded = decodeFilterImageInto(bytes, first, &reason);
    if (decoded != decodeFilterImageInto(bytes, second, &again) || reason != again)
        __builtin_trap(); // the same bytes, the same answer
    const QImage edited = decodeFilterImage(bytes, ref.size(), &again);
    if (!decoded) {
        if (reason.isEmpty() || !edited.isNull() || again != reason)
            __builtin_trap(); // every refusal says why
        return 0;
    }
    if (edited.size() != ref.size() || edited.format() != QImage::Format_RGB32 || first != second
        || first != edited)
        __builtin_trap(); // a pixel the file does not set
    for (int y = 0; y < edited.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(edited.constScanLine(y));
        for (int x = 0; x < edited.width(); ++x)
            if (qAlpha(line[x]) != 255)
                __builtin_trap();
    }

    TWave wave = baseWave();
    TWaveCepstram engine;
    analyse(engine, wave, mode);
    ClipStats clips;
    const std::vector<uint8_t> before = wave.FData;
    if (!ImportFilter(engine, wave, mode, ref, edited, kLeft, kTop, &clips, &reason)
        && wave.FData != before)
        __builtin_trap(); // a refused import changes no sample
    return 0;
}
