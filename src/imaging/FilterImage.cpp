#include "imaging/FilterImage.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <span>
#include <vector>

#include <unistd.h>
#include <zlib.h>

#include <QSaveFile>

#include "audio/FileAccess.h"
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

constexpr QRgb kBlack = 0xFF000000u;

QRgb rgb(unsigned r, unsigned g, unsigned b)
{
    return kBlack | r << 16 | g << 8 | b;
}

// --- BMP -----------------------------------------------------------------------------------

// One colour of a bit-field pixel: the mask's bits, scaled to 0 .. 255 with rounding.
struct BitField {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0; // the largest value of the field; 0 for an empty mask

    unsigned of(uint32_t pixel) const
    {
        if (max == 0)
            return 0;
        const uint64_t v = (pixel & mask) >> shift;
        return unsigned((v * 255 + max / 2) / max);
    }
};

// A mask's field, or false when its bits are not contiguous.
bool makeField(uint32_t mask, BitField* f)
{
    f->mask = mask;
    f->shift = mask ? std::countr_zero(mask) : 0;
    f->max = mask >> f->shift;
    return (f->max & (uint64_t(f->max) + 1)) == 0;
}

// Everything about a BMP that decoding needs, from its headers.
struct BmpLayout {
    int64_t width = 0, height = 0;
    bool topDown = false;
    int bpp = 0;
    uint32_t compression = 0; // 0 none, 1 RLE8, 2 RLE4, 3 and 6 bit fields
    int64_t offset = 0; // of the pixel data
    std::array<BitField, 3> fields{}; // red, green, blue for 16 and 32 bits per pixel
    std::array<QRgb, 256> palette{}; // past the file's colour table: black
};

// Reads and checks a BMP's headers: its size against the expected one, its colour table
// against the pixel offset, and (uncompressed) its length against what the rows need.
bool parseBmp(const QByteArray& bytes, QSize expected, BmpLayout* bmp, QString* why)
{
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    const int64_t size = bytes.size();
    const QString shortHeader = QStringLiteral("the file is cut short in its header");
    if (size < 18) {
        *why = shortHeader;
        return false;
    }
    bmp->offset = get32(b + 10);
    const int64_t headerSize = get32(b + 14);
    int64_t clrUsed = 0;
    int entryBytes = 4;
    int64_t tableStart = 14 + headerSize;
    if (headerSize == 12) { // OS/2 1.x core header: 16-bit sizes, 3-byte colours
        if (size < 26) {
            *why = shortHeader;
            return false;
        }
        bmp->width = get16(b + 18);
        bmp->height = get16(b + 20);
        bmp->bpp = get16(b + 24);
        entryBytes = 3;
    } else if (headerSize >= 40 && headerSize <= 124) {
        if (size < 14 + headerSize) {
            *why = shortHeader;
            return false;
        }
        bmp->width = static_cast<int32_t>(get32(b + 18));
        bmp->height = static_cast<int32_t>(get32(b + 22));
        bmp->bpp = get16(b + 28);
        bmp->compression = get32(b + 30);
        clrUsed = get32(b + 46);
        if (headerSize == 64 && bmp->compression >= 3) // OS/2 2.x: Huffman, RLE24
            bmp->compression += 100;
    } else {
        *why = QStringLiteral("not a BMP picture this program reads (header of %1 bytes)")
                   .arg(headerSize);
        return false;
    }
    bmp->topDown = bmp->height < 0;
    bmp->height = bmp->topDown ? -bmp->height : bmp->height;
    if (bmp->width != expected.width() || bmp->height != expected.height()) {
        *why = wrongSize(expected, bmp->width, bmp->height);
        return false;
    }

    const uint32_t c = bmp->compression;
    const int bpp = bmp->bpp;
    if (c > 6 || c == 4 || c == 5) {
        *why = QStringLiteral("the BMP uses a compression this program does not read (%1)")
                   .arg(c % 100);
        return false;
    }
    const bool bppFits = c == 0
        ? (bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32)
        : c == 1 ? bpp == 8
        : c == 2 ? bpp == 4
                 : (bpp == 16 || bpp == 32);
    if (!bppFits) {
        *why = c == 0
            ? QStringLiteral("the BMP has %1 bits per pixel").arg(bpp)
            : QStringLiteral("the BMP's compression %1 does not fit its %2 bits per pixel")
                  .arg(c)
                  .arg(bpp);
        return false;
    }
    if ((c == 1 || c == 2) && bmp->topDown) {
        *why = QStringLiteral("the BMP is compressed but stored top-down");
        return false;
    }

    // colour masks: after a 40-byte header, inside the longer ones
    uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (bpp == 32) {
        masks[0] = 0xFF0000;
        masks[1] = 0xFF00;
        masks[2] = 0xFF;
    }
    if (c == 3 || c == 6) {
        const int64_t at = 14 + 40;
        if (headerSize == 40)
            tableStart += c == 6 ? 16 : 12;
        if (size < at + 12) {
            *why = shortHeader;
            return false;
        }
        for (int i = 0; i < 3; ++i)
            masks[i] = get32(b + at + 4 * i);
    }
    for (int i = 0; i < 3; ++i)
        if (!makeField(masks[i], &bmp->fields[std::size_t(i)])) {
            *why = QStringLiteral("the BMP's colour masks are not contiguous");
            return false;
        }

    int64_t colours = 0;
    if (bpp <= 8) {
        colours = clrUsed != 0 ? clrUsed : int64_t(1) << bpp;
        if (colours > 256) {
            *why = QStringLiteral("the BMP's colour table has %1 entries").arg(colours);
            return false;
        }
    }
    const int64_t tableEnd = tableStart + colours * entryBytes;
    if (bmp->offset > size) {
        *why = cutShort(bmp->offset, size);
        return false;
    }
    if (bmp->offset < tableStart) {
        *why = QStringLiteral("the BMP header is damaged (pixel offset %1)").arg(bmp->offset);
        return false;
    }
    if (tableEnd > bmp->offset) {
        *why = QStringLiteral("the BMP's colour table (bytes %1 to %2) runs into its pixel "
                              "data (from byte %3)")
                   .arg(tableStart)
                   .arg(tableEnd)
                   .arg(bmp->offset);
        return false;
    }
    bmp->palette.fill(kBlack);
    for (int64_t i = 0; i < colours; ++i) {
        const uchar* e = b + tableStart + i * entryBytes;
        bmp->palette[std::size_t(i)] = rgb(e[2], e[1], e[0]);
    }

    if (c != 1 && c != 2) {
        const int64_t stride = (bmp->width * bpp + 31) / 32 * 4;
        const int64_t needed = bmp->offset + stride * bmp->height;
        if (size < needed) {
            *why = cutShort(needed, size);
            return false;
        }
    }
    return true;
}

// Decodes an RLE8 or RLE4 pixel stream. Every pixel starts as colour index 0; the codes
// paint runs and absolute runs (cut at the right edge) and move with end-of-line and
// delta; end-of-bitmap, or leaving the top row, ends the picture. False when the bytes
// end first.
bool decodeRle(const uchar* b, int64_t size, const BmpLayout& bmp, QImage& picture, QString* why)
{
    const bool rle4 = bmp.compression == 2;
    const int64_t W = bmp.width, H = bmp.height;
    picture.fill(bmp.palette[0]);
    int64_t x = 0, y = 0; // y counts rows from the bottom
    int64_t pos = bmp.offset;
    auto put = [&](int64_t at, unsigned index) {
        if (at < W && y < H)
            reinterpret_cast<QRgb*>(picture.scanLine(int(H - 1 - y)))[at] = bmp.palette[index];
    };
    for (;;) {
        if (pos + 2 > size)
            break;
        const int count = b[pos];
        const int code = b[pos + 1];
        pos += 2;
        if (count > 0) { // a run of `count` pixels of one value (RLE4: two alternating)
            const int64_t end = std::min<int64_t>(x + count, W);
            for (int64_t i = x; i < end; ++i)
                put(i, rle4 ? ((i - x) & 1 ? code & 15 : code >> 4) : unsigned(code));
            x += count;
        } else if (code == 0) { // end of line
            x = 0;
            if (++y >= H)
                return true;
        } else if (code == 1) { // end of bitmap
            return true;
        } else if (code == 2) { // delta: right and up
            if (pos + 2 > size)
                break;
            x += b[pos];
            y += b[pos + 1];
            pos += 2;
            if (y >= H)
                return true;
        } else { // an absolute run of `code` pixels, padded to 16 bits
            int64_t bytes = rle4 ? (code + 1) / 2 : code;
            bytes += bytes & 1;
            if (pos + bytes > size)
                break;
            const int64_t end = std::min<int64_t>(x + code, W);
            for (int64_t i = x; i < end; ++i) {
                const int64_t k = i - x;
                put(i, rle4 ? (k & 1 ? b[pos + k / 2] & 15 : b[pos + k / 2] >> 4) : b[pos + k]);
            }
            x += code;
            pos += bytes;
        }
    }
    *why = QStringLiteral("the file is cut short inside its compressed pixel data");
    return false;
}

bool decodeBmp(const QByteArray& bytes, const BmpLayout& bmp, QImage& picture, QString* why)
{
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    if (bmp.compression == 1 || bmp.compression == 2)
        return decodeRle(b, bytes.size(), bmp, picture, why);
    const int64_t W = bmp.width, H = bmp.height;
    const int64_t stride = (W * bmp.bpp + 31) / 32 * 4;
    const auto& [red, green, blue] = bmp.fields;
    for (int64_t r = 0; r < H; ++r) {
        const uchar* s = b + bmp.offset + r * stride;
        auto* out = reinterpret_cast<QRgb*>(picture.scanLine(int(bmp.topDown ? r : H - 1 - r)));
        switch (bmp.bpp) {
        case 1:
        case 4:
        case 8: {
            const int bits = bmp.bpp;
            const unsigned mask = (1u << bits) - 1;
            for (int64_t x = 0; x < W; ++x) {
                const int64_t bit = x * bits;
                out[x] = bmp.palette[(s[bit / 8] >> (8 - bits - bit % 8)) & mask];
            }
            break;
        }
        case 16:
            for (int64_t x = 0; x < W; ++x) {
                const uint32_t v = get16(s + 2 * x);
                out[x] = rgb(red.of(v), green.of(v), blue.of(v));
            }
            break;
        case 24:
            for (int64_t x = 0; x < W; ++x)
                out[x] = rgb(s[3 * x + 2], s[3 * x + 1], s[3 * x]);
            break;
        default:
            for (int64_t x = 0; x < W; ++x) {
                const uint32_t v = get32(s + 4 * x);
                out[x] = rgb(red.of(v), green.of(v), blue.of(v));
            }
        }
    }
    return true;
}

// --- PNG -----------------------------------------------------------------------------------

// Adam7 passes: first column, first row, column step, row step.
constexpr std::array<std::array<int, 4>, 7> kAdam7{{{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8},
    {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}};

uint32_t be32(const uchar* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Bytes of the filtered rows (a filter byte and the packed samples each) of a
// width x height picture of `bits` bits per pixel, interlaced (Adam7) or not.
int64_t pngRawBytes(int64_t width, int64_t height, int bits, bool interlaced)
{
    auto rows
        = [&](int64_t w, int64_t h) { return w > 0 && h > 0 ? h * (1 + (w * bits + 7) / 8) : 0; };
    if (!interlaced)
        return rows(width, height);
    int64_t total = 0;
    for (const auto& p : kAdam7)
        total += rows((width - p[0] + p[2] - 1) / p[2], (height - p[1] + p[3] - 1) / p[3]);
    return total;
}

// The most compressed pixel data an honest PNG of `raw` filtered bytes holds: deflate
// with fixed codes spends at most 9 bits on a byte; 64 KiB for headers and block ends.
int64_t idatLimit(int64_t raw)
{
    return raw + raw / 8 + (int64_t(64) << 10);
}

// A chunk's type for a message: its four letters, anything else as '?'.
QString chunkName(const uchar* type)
{
    QString name;
    for (int i = 0; i < 4; ++i)
        name += (type[i] | 0x20) >= 'a' && (type[i] | 0x20) <= 'z' ? QChar(type[i]) : QChar('?');
    return name;
}

// Everything about a PNG that decoding needs, from its chunks.
struct PngLayout {
    int64_t width = 0, height = 0;
    int depth = 0; // bits per sample
    int colourType = 0; // 0 gray, 2 RGB, 3 palette, 4 gray + alpha, 6 RGBA
    int channels = 0;
    bool interlaced = false;
    std::array<QRgb, 256> palette{}; // past the PLTE chunk: black
    bool hasPalette = false;
    std::vector<std::pair<const uchar*, uInt>> idat; // the compressed data, in order
};

// Walks a PNG's chunks up to IEND: the header and its size, the palette, the compressed
// pixel data and its amount. Critical chunks have their checksums checked; ancillary
// ones are skipped unread.
bool parsePng(const QByteArray& bytes, QSize expected, PngLayout* png, QString* why)
{
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    const int64_t size = bytes.size();
    const QString endsEarly = QStringLiteral("the file is cut short: its PNG data ends early");
    int64_t pos = 8;
    int64_t idatBytes = 0, limit = 0;
    bool first = true;
    for (;;) {
        if (pos + 12 > size) {
            *why = endsEarly;
            return false;
        }
        const int64_t length = be32(b + pos);
        const uchar* type = b + pos + 4;
        const uchar* data = b + pos + 8;
        if (length > 0x7FFFFFFF) {
            *why = QStringLiteral("the PNG is damaged (a chunk of %1 bytes)").arg(length);
            return false;
        }
        if (pos + 12 + length > size) {
            *why = endsEarly;
            return false;
        }
        pos += 12 + length;
        if (first != (std::memcmp(type, "IHDR", 4) == 0)) {
            *why = QStringLiteral("the PNG is damaged (its header is not its first chunk)");
            return false;
        }
        const bool critical = (type[0] & 0x20) == 0;
        if (!critical)
            continue;
        if (crc32(crc32(0, type, 4), data, uInt(length)) != be32(data + length)) {
            *why = QStringLiteral("the PNG is damaged (the checksum of its %1 chunk is wrong)")
                       .arg(chunkName(type));
            return false;
        }
        if (first) {
            first = false;
            if (length != 13) {
                *why = QStringLiteral("the PNG header is damaged (%1 bytes)").arg(length);
                return false;
            }
            png->width = be32(data);
            png->height = be32(data + 4);
            png->depth = data[8];
            png->colourType = data[9];
            png->interlaced = data[12] == 1;
            if (png->width != expected.width() || png->height != expected.height()) {
                *why = wrongSize(expected, png->width, png->height);
                return false;
            }
            const int d = png->depth;
            const int t = png->colourType;
            png->channels = t == 0 || t == 3 ? 1 : t == 2 ? 3 : t == 4 ? 2 : t == 6 ? 4 : 0;
            const bool depthFits = t == 0 ? (d == 1 || d == 2 || d == 4 || d == 8 || d == 16)
                : t == 3                  ? (d == 1 || d == 2 || d == 4 || d == 8)
                                          : (d == 8 || d == 16);
            if (png->channels == 0 || !depthFits || data[10] != 0 || data[11] != 0
                || data[12] > 1) {
                *why = QStringLiteral("the PNG header is damaged (colour type %1, depth %2, "
                                      "methods %3 %4 %5)")
                           .arg(t)
                           .arg(d)
                           .arg(data[10])
                           .arg(data[11])
                           .arg(data[12]);
                return false;
            }
            limit = idatLimit(
                pngRawBytes(png->width, png->height, png->channels * png->depth, png->interlaced));
        } else if (std::memcmp(type, "PLTE", 4) == 0) {
            if (length == 0 || length % 3 != 0 || length > 3 * 256 || png->hasPalette
                || !png->idat.empty()) {
                *why = QStringLiteral("the PNG's palette is damaged (%1 bytes)").arg(length);
                return false;
            }
            png->hasPalette = true;
            png->palette.fill(kBlack);
            for (int64_t i = 0; i < length / 3; ++i)
                png->palette[std::size_t(i)] = rgb(data[3 * i], data[3 * i + 1], data[3 * i + 2]);
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            idatBytes += length;
            if (idatBytes > limit) {
                *why = QStringLiteral("the PNG holds more than %1 bytes of compressed pixel "
                                      "data, more than a %2 picture needs")
                           .arg(limit)
                           .arg(sizeText(png->width, png->height));
                return false;
            }
            if (length > 0)
                png->idat.emplace_back(data, uInt(length));
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            break;
        } else {
            *why = QStringLiteral("the PNG has a chunk this program does not know (%1)")
                       .arg(chunkName(type));
            return false;
        }
    }
    if (png->colourType == 3 && !png->hasPalette) {
        *why = QStringLiteral("the PNG is damaged (a palette picture without a palette)");
        return false;
    }
    if (png->idat.empty()) {
        *why = QStringLiteral("the PNG has no pixel data");
        return false;
    }
    return true;
}

// The compressed pixel data of a PNG, inflated a row at a time.
class IdatStream {
public:
    explicit IdatStream(const std::vector<std::pair<const uchar*, uInt>>& parts)
        : FParts(parts)
    {
        if (inflateInit(&FStream) != Z_OK)
            throw std::bad_alloc();
    }
    ~IdatStream() { inflateEnd(&FStream); }
    IdatStream(const IdatStream&) = delete;
    IdatStream& operator=(const IdatStream&) = delete;

    // Fills out[0, n); false with *why when the data end first or are damaged.
    bool read(uchar* out, std::size_t n, QString* why)
    {
        FStream.next_out = out;
        FStream.avail_out = uInt(n);
        while (FStream.avail_out > 0) {
            if (FEnded) {
                *why = QStringLiteral("the PNG's compressed pixel data ends before its last row");
                return false;
            }
            if (!step(why))
                return false;
        }
        return true;
    }

    // After the last row: the stream ends there (its checksum checked) with no more
    // pixel data. Bytes after the stream's end are not inflated.
    bool finish(QString* why)
    {
        uchar extra = 0;
        while (!FEnded) {
            FStream.next_out = &extra;
            FStream.avail_out = 1;
            if (!step(why))
                return false;
            if (FStream.avail_out == 0) {
                *why = QStringLiteral("the PNG holds more pixel data than its picture");
                return false;
            }
        }
        return true;
    }

private:
    // One call of inflate, with the next part of the data when the last one is used up.
    bool step(QString* why)
    {
        if (FStream.avail_in == 0) {
            if (FNext == FParts.size()) {
                *why = QStringLiteral("the PNG is cut short inside its compressed pixel data");
                return false;
            }
            FStream.next_in = const_cast<uchar*>(FParts[FNext].first);
            FStream.avail_in = FParts[FNext].second;
            ++FNext;
        }
        const int ret = inflate(&FStream, Z_NO_FLUSH);
        if (ret == Z_STREAM_END)
            FEnded = true;
        else if (ret != Z_OK && !(ret == Z_BUF_ERROR && FStream.avail_in == 0)) {
            *why = QStringLiteral("the PNG's compressed pixel data is damaged (%1)")
                       .arg(QString::fromLatin1(FStream.msg ? FStream.msg : "zlib error"));
            return false;
        }
        return true;
    }

    const std::vector<std::pair<const uchar*, uInt>>& FParts;
    std::size_t FNext = 0;
    bool FEnded = false;
    z_stream FStream{};
};

// Undoes a PNG row filter in place; prev is the row above (zeros for a pass's first).
// The first bpp bytes have no left neighbour (0).
bool unfilter(int type, uchar* row, const uchar* prev, std::size_t n, std::size_t bpp)
{
    const std::size_t head = std::min(bpp, n);
    switch (type) {
    case 0:
        return true;
    case 1:
        for (std::size_t i = bpp; i < n; ++i)
            row[i] = uchar(row[i] + row[i - bpp]);
        return true;
    case 2:
        for (std::size_t i = 0; i < n; ++i)
            row[i] = uchar(row[i] + prev[i]);
        return true;
    case 3:
        for (std::size_t i = 0; i < head; ++i)
            row[i] = uchar(row[i] + prev[i] / 2);
        for (std::size_t i = bpp; i < n; ++i)
            row[i] = uchar(row[i] + (row[i - bpp] + prev[i]) / 2);
        return true;
    case 4:
        for (std::size_t i = 0; i < head; ++i) // a = c = 0: the prediction is b
            row[i] = uchar(row[i] + prev[i]);
        for (std::size_t i = bpp; i < n; ++i) {
            const int a = row[i - bpp], b = prev[i], c = prev[i - bpp];
            const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
            row[i] = uchar(row[i] + (pa <= pb && pa <= pc ? a : pb <= pc ? b : c));
        }
        return true;
    default:
        return false;
    }
}

// Converts w pixels of an unfiltered PNG row to out[0], out[step], ...: palette indices
// looked up, gray spread to 0 .. 255, 16-bit samples rounded to 8 bits, alpha dropped.
void convertRow(const PngLayout& png, const uchar* s, int64_t w, QRgb* out, int64_t step)
{
    const int64_t c = png.channels;
    const int t = png.colourType;
    if (png.depth == 8) {
        for (int64_t i = 0; i < w; ++i, s += c, out += step)
            *out = t == 3 ? png.palette[s[0]]
                : c >= 3  ? rgb(s[0], s[1], s[2])
                          : rgb(s[0], s[0], s[0]);
    } else if (png.depth == 16) {
        auto at = [&](int k) { return (unsigned(s[2 * k] << 8 | s[2 * k + 1]) + 128) / 257; };
        for (int64_t i = 0; i < w; ++i, s += 2 * c, out += step) {
            const unsigned g = at(0);
            *out = c >= 3 ? rgb(g, at(1), at(2)) : rgb(g, g, g);
        }
    } else { // 1, 2 or 4 bits: gray or palette indices, first pixel in the high bits
        const int d = png.depth;
        const unsigned top = (1u << d) - 1;
        for (int64_t i = 0; i < w; ++i, out += step) {
            const int64_t bit = i * d;
            const unsigned v = (s[bit / 8] >> (8 - d - bit % 8)) & top;
            const unsigned g = v * 255 / top;
            *out = t == 3 ? png.palette[v] : rgb(g, g, g);
        }
    }
}

bool decodePng(const PngLayout& png, QImage& picture, QString* why)
{
    const int bits = png.channels * png.depth;
    const std::size_t bpp = std::size_t(std::max(1, bits / 8));
    const std::size_t maxRow = std::size_t((png.width * bits + 7) / 8);
    std::vector<uchar> rows(2 * (maxRow + 1));

    IdatStream stream(png.idat);
    const std::array<std::array<int, 4>, 1> whole{{{0, 0, 1, 1}}};
    const auto passes = png.interlaced ? std::span<const std::array<int, 4>>(kAdam7)
                                       : std::span<const std::array<int, 4>>(whole);
    for (const auto& [x0, y0, dx, dy] : passes) {
        const int64_t w = (png.width - x0 + dx - 1) / dx, h = (png.height - y0 + dy - 1) / dy;
        if (w <= 0 || h <= 0)
            continue;
        const std::size_t n = std::size_t((w * bits + 7) / 8);
        uchar* cur = rows.data();
        uchar* prev = rows.data() + maxRow + 1;
        std::fill(prev, prev + n + 1, uchar(0));
        for (int64_t j = 0; j < h; ++j) {
            if (!stream.read(cur, n + 1, why))
                return false;
            if (!unfilter(cur[0], cur + 1, prev + 1, n, bpp)) {
                *why = QStringLiteral("the PNG is damaged (row filter %1)").arg(cur[0]);
                return false;
            }
            auto* line = reinterpret_cast<QRgb*>(picture.scanLine(int(y0 + j * dy)));
            convertRow(png, cur + 1, w, line + x0, dx);
            std::swap(cur, prev);
        }
    }
    return stream.finish(why);
}

// Checks the headers, then decodes into picture; a null picture is made (Format_RGB32,
// of the expected size) only once the headers have passed.
bool decodeEdited(const QByteArray& bytes, QSize expected, QImage& picture, QString* why)
{
    if (expected.isEmpty()) {
        *why = QStringLiteral("there is no picture to compare with");
        return false;
    }
    auto make = [&] {
        if (picture.isNull()) {
            picture = QImage(expected, QImage::Format_RGB32);
            if (picture.isNull())
                throw std::bad_alloc();
        }
    };
    if (bytes.startsWith("BM")) {
        BmpLayout bmp;
        if (!parseBmp(bytes, expected, &bmp, why))
            return false;
        make();
        return decodeBmp(bytes, bmp, picture, why);
    }
    if (bytes.startsWith("\x89PNG\r\n\x1a\n")) {
        PngLayout png;
        if (!parsePng(bytes, expected, &png, why))
            return false;
        make();
        return decodePng(png, picture, why);
    }
    *why = QStringLiteral("not a BMP or PNG picture");
    return false;
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
    auto fail = [&](const QString& why) {
        if (reason)
            *reason = QStringLiteral("%1: %2").arg(path, why);
        return false;
    };
    QString why;
    if (!checkOutputPath(path, &why))
        return fail(why);
    const QByteArray bytes = encodeFilterImage(bitmap);
    const int permissions = existingPermissions(path);
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(QStringLiteral("cannot create: ") + file.errorString());
    // Written through the descriptor, so that a failure keeps errno's cause; the
    // temporary file is removed when `file` goes without a commit.
    auto failErrno = [&](const QString& what, int error) {
        file.cancelWriting();
        return fail(what + errnoText(error));
    };
    if (!carryPermissions(file, permissions))
        return failErrno(QStringLiteral("cannot set its permissions: "), errno);
    const int fd = file.handle();
    const char* p = bytes.constData();
    std::size_t left = std::size_t(bytes.size());
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return failErrno(QStringLiteral("cannot write: "), n < 0 ? errno : EIO);
        p += n;
        left -= std::size_t(n);
    }
    if (::fsync(fd) != 0 && errno != EINVAL)
        return failErrno(QStringLiteral("cannot write: "), errno);
    if (!file.commit())
        return fail(QStringLiteral("cannot write: ") + file.errorString());
    return true;
}

int64_t filterImageFileLimit(QSize expected)
{
    return idatLimit(pngRawBytes(expected.width(), expected.height(), 64, true))
        + (int64_t(16) << 20);
}

QImage decodeFilterImage(const QByteArray& bytes, QSize expected, QString* reason)
{
    QImage picture;
    QString why;
    if (!decodeEdited(bytes, expected, picture, &why)) {
        if (reason)
            *reason = why;
        return {};
    }
    return picture;
}

bool decodeFilterImageInto(const QByteArray& bytes, QImage& picture, QString* reason)
{
    QString why;
    if (picture.isNull() || picture.format() != QImage::Format_RGB32)
        why = QStringLiteral("there is no 32-bit picture to decode into");
    else if (decodeEdited(bytes, picture.size(), picture, &why))
        return true;
    if (reason)
        *reason = why;
    return false;
}

QImage readFilterImage(const QString& path, QSize expected, QString* reason)
{
    QByteArray bytes;
    QString why;
    QImage picture;
    if (readRegularFile(path, filterImageFileLimit(expected), &bytes, &why))
        picture = decodeFilterImage(bytes, expected, &why);
    if (picture.isNull() && reason)
        *reason = QStringLiteral("%1: %2").arg(path, why);
    return picture;
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
