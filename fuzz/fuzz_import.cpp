// Arbitrary bytes as an edited filter image: decoding, the size and length checks, the
// gains on a small analysis in both views and the resynthesis.
//
// Every input that decodes is decoded twice more, with the picture Qt decodes into filled
// beforehand with 0x00 bytes and with 0xFF bytes: the decode is handed a picture of Qt's
// format for the file so filled, and every allocation of 1 KiB or more during the decode
// is filled too, for a picture that Qt makes of its own. A pixel that Qt leaves unwritten
// keeps what was there, so the two pictures differ and the run stops, as it does when the
// results differ or when a refusal gives no reason.
//
// The reference pictures are 59 x 145 (N = 256, 11 frames of 1200 samples at 8 kHz);
// the seed corpus holds pictures of that size in the formats a paint program writes,
// the RLE and 1-bit BMPs and PNGs of every colour type, depth and interlacing, and
// pictures that must be refused (a colour table over the pixels, a PNG bomb).

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <sanitizer/allocator_interface.h>

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

// While not -1, every allocation of at least 1 KiB is filled with this byte.
int gFill = -1;

void fillAllocation(const volatile void* p, size_t size)
{
    if (gFill >= 0 && size >= 1024)
        std::memset(const_cast<void*>(p), gFill, size);
}

// The pixels of two pictures in Qt's format for a file, without the padding at the ends
// of rows, which nothing writes.
bool samePixels(const QImage& a, const QImage& b)
{
    if (a.format() != b.format() || a.size() != b.size())
        return false;
    const qsizetype bits = qsizetype(a.width()) * a.depth();
    const qsizetype whole = bits / 8;
    const int rest = int(bits % 8);
    const uchar last
        = a.format() == QImage::Format_MonoLSB ? uchar((1 << rest) - 1) : uchar(0xFF00 >> rest);
    for (int y = 0; y < a.height(); ++y) {
        const uchar* p = a.constScanLine(y);
        const uchar* q = b.constScanLine(y);
        if (std::memcmp(p, q, std::size_t(whole)) != 0
            || (rest != 0 && ((p[whole] ^ q[whole]) & last) != 0))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (__sanitizer_install_malloc_and_free_hooks(fillAllocation, [](const volatile void*) {}) == 0)
        __builtin_trap(); // (the sanitizer takes both hooks or none)
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(
        reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // the view from the last byte, so that one input reaches both
    const uint8_t mode = size > 0 && (data[size - 1] & 1) ? kCepstrumView : kSpectrumView;
    const QImage& ref = reference(mode);
    Message reason, again;
    DecodeProbe probe;
    const QImage edited = decodeFilterImage(bytes, ref.size(), &reason, &probe);
    if (edited.isNull()) {
        if (reason.isEmpty() || !decodeFilterImage(bytes, ref.size(), &again).isNull()
            || again != reason)
            __builtin_trap(); // every refusal says why, the same each time
        // libpng prints its errors to stderr; after the checks it meets none, only
        // warnings, which Qt passes on as messages and the refusal quotes
        if (bytes.startsWith("\x89PNG\r\n\x1a\n") && !probe.picture.isNull()
            && !reason.text().contains(QStringLiteral("libpng warning")))
            __builtin_trap();
        return 0;
    }
    if (edited.size() != ref.size() || edited.format() != QImage::Format_RGB32)
        __builtin_trap();
    std::array<DecodeProbe, 2> filled;
    for (int i = 0; i < 2; ++i) {
        const int fill = i == 0 ? 0x00 : 0xFF;
        filled[i].picture = QImage(ref.size(), probe.picture.format());
        std::memset(filled[i].picture.bits(), fill, std::size_t(filled[i].picture.sizeInBytes()));
        gFill = fill;
        const QImage repeat = decodeFilterImage(bytes, ref.size(), nullptr, &filled[i]);
        gFill = -1;
        if (repeat != edited)
            __builtin_trap(); // the same bytes, the same picture
    }
    if (!samePixels(filled[0].picture, filled[1].picture))
        __builtin_trap(); // a pixel the file does not set

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
