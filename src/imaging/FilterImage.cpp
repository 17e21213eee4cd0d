#include "imaging/FilterImage.h"

#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>

#include "base/Errors.h"
#include "base/Parallel.h"

namespace kestrelon {

namespace {

void put16(uchar* p, uint16_t v)
{
    p[0] = static_cast<uchar>(v);
    p[1] = static_cast<uchar>(v >> 8);
}

void put32(uchar* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uchar>(v >> (8 * i));
}

uint32_t get32(const uchar* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t get16(const uchar* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

QString sizeText(int64_t w, int64_t h)
{
    return QStringLiteral("%1 x %2").arg(w).arg(h);
}

QString wrongSize(QSize expected, int64_t w, int64_t h)
{
    return QStringLiteral("the picture is %1 pixels, but the display picture is %2")
        .arg(sizeText(w, h), sizeText(expected.width(), expected.height()));
}

QString cutShort(int64_t needed, int64_t found)
{
    return QStringLiteral("the file is cut short: its pixel data needs %1 bytes, the file has %2")
        .arg(needed)
        .arg(found);
}

// Walks an RLE8/RLE4 pixel stream from `pos`; false when the bytes end before the end
// of the picture (an end-of-bitmap code or the last row).
bool rleComplete(const uchar* b, int64_t size, int64_t pos, int64_t height, bool rle4)
{
    int64_t y = 0;
    for (;;) {
        if (pos + 2 > size)
            return false;
        const int count = b[pos];
        const int code = b[pos + 1];
        pos += 2;
        if (count > 0)
            continue; // a run of `count` pixels of one value
        if (code == 0) {
            if (++y >= height)
                return true;
        } else if (code == 1) {
            return true;
        } else if (code == 2) {
            if (pos + 2 > size)
                return false;
            y += b[pos + 1];
            pos += 2;
            if (y >= height)
                return true;
        } else {
            int64_t bytes = rle4 ? (code + 1) / 2 : code;
            bytes += bytes & 1; // absolute runs are padded to 16 bits
            if (pos + bytes > size)
                return false;
            pos += bytes;
        }
    }
}

// Checks a BMP's header: its size against the expected one, then its length against
// what the header says the pixel data needs.
bool checkBmp(const QByteArray& bytes, QSize expected, QString* reason)
{
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    const int64_t size = bytes.size();
    if (size < 18) {
        *reason = QStringLiteral("the file is cut short in its header");
        return false;
    }
    const int64_t offset = get32(b + 10);
    const int64_t headerSize = get32(b + 14);
    int64_t width = 0, height = 0;
    int bpp = 0;
    uint32_t compression = 0;
    if (headerSize == 12) { // OS/2 1.x core header
        if (size < 26) {
            *reason = QStringLiteral("the file is cut short in its header");
            return false;
        }
        width = get16(b + 18);
        height = get16(b + 20);
        bpp = get16(b + 24);
    } else if (headerSize >= 40 && headerSize <= 124) {
        if (size < 14 + 40) {
            *reason = QStringLiteral("the file is cut short in its header");
            return false;
        }
        width = static_cast<int32_t>(get32(b + 18));
        height = static_cast<int32_t>(get32(b + 22));
        bpp = get16(b + 28);
        compression = get32(b + 30);
    } else {
        *reason = QStringLiteral("not a BMP picture this program reads (header of %1 bytes)")
                      .arg(headerSize);
        return false;
    }
    height = height < 0 ? -height : height;
    if (width != expected.width() || height != expected.height()) {
        *reason = wrongSize(expected, width, height);
        return false;
    }
    if (offset < 14 + headerSize || offset > size) {
        *reason = offset > size
            ? cutShort(offset, size)
            : QStringLiteral("the BMP header is damaged (pixel offset %1)").arg(offset);
        return false;
    }
    if (compression == 0 || compression == 3 || compression == 6) {
        if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
            *reason = QStringLiteral("the BMP has %1 bits per pixel").arg(bpp);
            return false;
        }
        const int64_t stride = (width * bpp + 31) / 32 * 4;
        const int64_t needed = offset + stride * height;
        if (size < needed) {
            *reason = cutShort(needed, size);
            return false;
        }
    } else if (compression == 1 || compression == 2) {
        if (!rleComplete(b, size, offset, height, compression == 2)) {
            *reason = QStringLiteral("the file is cut short inside its compressed pixel data");
            return false;
        }
    }
    // other compressions are left to the decoder, which refuses them
    return true;
}

// Walks a PNG's chunks; false when the file ends before its IEND chunk.
bool pngComplete(const QByteArray& bytes)
{
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    const int64_t size = bytes.size();
    int64_t pos = 8;
    while (pos + 12 <= size) {
        const int64_t length
            = (int64_t(b[pos]) << 24) | (b[pos + 1] << 16) | (b[pos + 2] << 8) | b[pos + 3];
        const bool end = std::memcmp(b + pos + 4, "IEND", 4) == 0;
        pos += 12 + length;
        if (pos > size)
            return false;
        if (end)
            return true;
    }
    return false;
}

// Sets QImageReader's allocation limit for one decode and puts the old one back.
class AllocationLimit {
public:
    explicit AllocationLimit(int megabytes)
        : FOld(QImageReader::allocationLimit())
    {
        QImageReader::setAllocationLimit(megabytes);
    }
    ~AllocationLimit() { QImageReader::setAllocationLimit(FOld); }

private:
    int FOld;
};

// The largest decoded picture of a given size: 64 bits per pixel (16-bit PNG).
int64_t decodedBytesLimit(QSize s)
{
    return int64_t(s.width()) * s.height() * 8;
}

} // namespace

bool filterGeometryMatches(
    const TWaveCepstram& engine, const QImage& bitmap, int32_t leftMargin, int32_t topMargin)
{
    if (engine.FChannelCount <= 0 || engine.FSpectrograms.empty() || !engine.FSpectrograms[0])
        return false;
    const TSpectrogram& s = *engine.FSpectrograms[0];
    if (s.FFrameCount <= 0 || s.FSpecLength <= 0)
        return false;
    return int64_t(bitmap.width()) - leftMargin == s.FFrameCount
        && int64_t(bitmap.height()) - topMargin == s.FSpecLength / 2 + 1;
}

QByteArray encodeFilterImage(const QImage& bitmap)
{
    const QImage src
        = bitmap.format() == QImage::Format_RGB32 || bitmap.format() == QImage::Format_ARGB32
        ? bitmap
        : bitmap.convertToFormat(QImage::Format_RGB32);
    const uint32_t W = static_cast<uint32_t>(src.width());
    const uint32_t H = static_cast<uint32_t>(src.height());
    const uint32_t rowBytes
        = checkedAdd<uint32_t>(checkedMul<uint32_t>(W, 3, "BMP row"), 3, "BMP row") & ~3u;
    const uint32_t imageBytes = checkedMul<uint32_t>(rowBytes, H, "BMP size");
    const uint32_t fileBytes = checkedAdd<uint32_t>(imageBytes, kFilterHeaderSize, "BMP size");
    if (fileBytes > uint32_t(std::numeric_limits<qsizetype>::max()))
        throw IntOverflowError("integer overflow: BMP size");

    QByteArray out(static_cast<qsizetype>(fileBytes), '\0');
    auto* p = reinterpret_cast<uchar*>(out.data());
    p[0] = 'B';
    p[1] = 'M';
    put32(p + 2, fileBytes);
    put32(p + 10, kFilterHeaderSize);
    put32(p + 14, 40);
    put32(p + 18, W);
    put32(p + 22, H);
    put16(p + 26, 1);
    put16(p + 28, 24);
    put32(p + 34, imageBytes);
    put32(p + 46, 256);
    for (uint32_t i = 0; i < 256; ++i) {
        uchar* e = p + 54 + 4 * i;
        e[0] = e[1] = e[2] = static_cast<uchar>(i);
    }
    uchar* rows = p + kFilterHeaderSize;
    parallelFor(H, [&](std::size_t y0, std::size_t y1) {
        for (std::size_t y = y0; y < y1; ++y) {
            const auto* line
                = reinterpret_cast<const QRgb*>(src.constScanLine(static_cast<int>(y)));
            uchar* d = rows + std::size_t(H - 1 - y) * rowBytes;
            for (uint32_t x = 0; x < W; ++x, d += 3)
                d[0] = d[1] = d[2] = static_cast<uchar>(line[x] & 0xFF);
        }
    });
    return out;
}

bool writeFilterImage(const QImage& bitmap, const QString& path, QString* reason)
{
    const QByteArray bytes = encodeFilterImage(bitmap);
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        if (reason)
            *reason = QStringLiteral("%1: cannot write: %2").arg(path, file.errorString());
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        if (reason)
            *reason = QStringLiteral("%1: cannot write: %2").arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}

QImage decodeFilterImage(const QByteArray& bytes, QSize expected, QString* reason)
{
    QString why;
    QByteArray format;
    if (bytes.startsWith("BM")) {
        format = "bmp";
        if (!checkBmp(bytes, expected, &why)) {
            *reason = why;
            return {};
        }
    } else if (bytes.startsWith("\x89PNG\r\n\x1a\n")) {
        format = "png";
        if (!pngComplete(bytes)) {
            *reason = QStringLiteral("the file is cut short: its PNG data ends early");
            return {};
        }
    } else {
        *reason = QStringLiteral("not a BMP or PNG picture");
        return {};
    }

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(false);
    if (format != "bmp") { // a BMP's size was checked with its header (Qt's size of a
                           // top-down BMP comes out negative)
        const QSize found = reader.size();
        if (!found.isValid()) {
            *reason = QStringLiteral("the picture cannot be decoded: %1").arg(reader.errorString());
            return {};
        }
        if (found != expected) {
            *reason = wrongSize(expected, found.width(), found.height());
            return {};
        }
    }
    const int64_t limit = (decodedBytesLimit(expected) >> 20) + 1;
    QImage image;
    {
        AllocationLimit guard(static_cast<int>(std::min<int64_t>(limit, INT32_MAX)));
        if (!reader.read(&image)) {
            *reason = QStringLiteral("the picture cannot be decoded: %1").arg(reader.errorString());
            return {};
        }
    }
    if (image.size() != expected) {
        *reason = wrongSize(expected, image.width(), image.height());
        return {};
    }
    // 24-bit colour, kept in 32-bit words (0xFFRRGGBB): palettes are looked up, alpha
    // is dropped without touching the colour
    image = image.convertToFormat(QImage::Format_RGB32);
    if (image.isNull())
        throw std::bad_alloc();
    return image;
}

QImage readFilterImage(const QString& path, QSize expected, QString* reason)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *reason = QStringLiteral("%1: cannot open: %2").arg(path, file.errorString());
        return {};
    }
    // No picture of the expected size needs more than its pixels at 64 bits plus room
    // for headers and metadata; anything longer is not one of ours.
    const int64_t maxBytes = decodedBytesLimit(expected) + (int64_t(16) << 20);
    if (file.size() > maxBytes) {
        *reason = QStringLiteral("%1: the file is %2 bytes, too large for a %3 picture")
                      .arg(path)
                      .arg(file.size())
                      .arg(sizeText(expected.width(), expected.height()));
        return {};
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *reason = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
        return {};
    }
    QString why;
    QImage image = decodeFilterImage(bytes, expected, &why);
    if (image.isNull())
        *reason = QStringLiteral("%1: %2").arg(path, why);
    return image;
}

bool applyFilterGains(TWaveCepstram& engine, uint8_t mode, const QImage& reference,
    const QImage& edited, int32_t leftMargin, int32_t topMargin, QString* reason)
{
    auto fail = [&](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    if (mode != kSpectrumView && mode != kCepstrumView)
        return fail(QStringLiteral("unknown view"));
    if (!filterGeometryMatches(engine, reference, leftMargin, topMargin)
        || reference.format() != QImage::Format_RGB32)
        return fail(QStringLiteral("no analysed picture to compare with"));
    if (edited.size() != reference.size() || edited.format() != QImage::Format_RGB32)
        return fail(wrongSize(reference.size(), edited.width(), edited.height()));

    const int32_t F = engine.FSpectrograms[0]->FFrameCount;
    const int32_t N = engine.FSpectrograms[0]->FSpecLength;
    const int32_t R = N / 2 + 1;
    const std::size_t C = static_cast<std::size_t>(engine.FChannelCount);
    const bool spectrum = mode == kSpectrumView;
    auto& grams = spectrum ? engine.FSpectrograms : engine.FCepstrograms;
    if (grams.size() < C)
        return fail(spectrum ? QStringLiteral("the spectrograms do not match the analysis")
                             : QStringLiteral("the cepstra do not match the analysis"));
    for (std::size_t c = 0; c < C; ++c) {
        const TSpectrogram* g = grams[c].get();
        if (!g || g->FFrameCount < F || g->FFrames.size() < std::size_t(F))
            return fail(QStringLiteral("the analysis is incomplete"));
        for (int32_t j = 0; j < F; ++j)
            if (!g->FFrames[std::size_t(j)]
                || g->FFrames[std::size_t(j)]->FData.size() < std::size_t(R))
                return fail(QStringLiteral("the analysis is incomplete"));
    }

    // gain of a difference d, indexed d + 255: 10^(d/40)
    std::array<double, 511> gain{};
    for (int d = -255; d <= 255; ++d)
        gain[std::size_t(d + 255)] = std::pow(10.0, d / 40.0);

    // Pass 1: the differences of every cell, and whether any product would overflow.
    std::vector<int16_t> diff(std::size_t(F) * std::size_t(R));
    std::atomic<bool> overflow{false};
    const qsizetype refStride = reference.bytesPerLine();
    const qsizetype editStride = edited.bytesPerLine();
    const uchar* refBits = reference.constBits();
    const uchar* editBits = edited.constBits();
    auto binOf = [&](int32_t i) { return std::size_t(spectrum ? R - 1 - i : i); };
    parallelFor(std::size_t(F), [&](std::size_t j0, std::size_t j1) {
        bool bad = false;
        for (std::size_t j = j0; j < j1; ++j) {
            const std::size_t x = std::size_t(leftMargin) + j;
            const uchar* r = refBits + topMargin * refStride + x * 4;
            const uchar* e = editBits + topMargin * editStride + x * 4;
            int16_t* dj = diff.data() + j * std::size_t(R);
            for (int32_t i = 0; i < R; ++i, r += refStride, e += editStride) {
                const int d = (e[0] + e[1] + e[2]) / 3 - r[0];
                dj[i] = static_cast<int16_t>(d);
                if (d > 0) {
                    const double g = gain[std::size_t(d + 255)];
                    for (std::size_t c = 0; c < C; ++c) {
                        const TComplex& v = grams[c]->FFrames[j]->FData[binOf(i)];
                        if (!std::isfinite(v.re * g) || !std::isfinite(v.im * g))
                            bad = true;
                    }
                }
            }
        }
        if (bad)
            overflow = true;
    });
    if (overflow)
        return fail(QStringLiteral("the edit would scale a value beyond the range of a Double"));

    // Pass 2: scale. A difference of 0 is a gain of exactly 1 and is skipped.
    parallelFor(std::size_t(F), [&](std::size_t j0, std::size_t j1) {
        for (std::size_t j = j0; j < j1; ++j) {
            const int16_t* dj = diff.data() + j * std::size_t(R);
            for (std::size_t c = 0; c < C; ++c) {
                TComplex* bins = grams[c]->FFrames[j]->FData.data();
                for (int32_t i = 0; i < R; ++i) {
                    if (dj[i] == 0)
                        continue;
                    const double g = gain[std::size_t(dj[i] + 255)];
                    TComplex& v = bins[binOf(i)];
                    v.re = v.re * g;
                    v.im = v.im * g;
                }
            }
        }
    });
    return true;
}

bool ImportFilter(TWaveCepstram& engine, TWave& wave, uint8_t mode, const QImage& reference,
    const QImage& edited, int32_t leftMargin, int32_t topMargin, ClipStats* clips, QString* reason)
{
    if (!applyFilterGains(engine, mode, reference, edited, leftMargin, topMargin, reason))
        return false;
    if (mode == kSpectrumView) {
        engine.Synthesize(wave, clips);
        return true;
    }
    try {
        engine.SynthesizeFromCepstrum(wave, clips);
    } catch (const FloatError& e) {
        // The resynthesis changed nothing; the scaled cepstra are rebuilt from the dB
        // rows they came from.
        engine.CalcCepstrum();
        if (reason)
            *reason = QString::fromUtf8(e.what());
        return false;
    }
    return true;
}

} // namespace kestrelon
