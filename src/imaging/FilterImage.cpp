#include "imaging/FilterImage.h"
#include "imaging/PictureCells.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <vector>

#include <unistd.h>
#include <zlib.h>

#include <QBuffer>
#include <QImageReader>
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

Message wrongSize(QSize expected, int64_t w, int64_t h)
{
    return pictureSizeMismatch(expected, w, h);
}

Message cutShort(int64_t needed, int64_t found)
{
    return Message(MessageCode::ImageCutShort, needed, found);
}

// Import checks a file first and then lets Qt's image reader (libpng for PNG) decode it
// into a picture made here. The checks make sure that Qt reads every pixel from the file,
// that its work is bounded by the picture's size, and that libpng meets nothing it would
// complain about (its errors go straight to stderr).

// --- BMP -----------------------------------------------------------------------------------

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

// Checks a BMP's headers the way Qt reads them: its size against the expected one, its
// colour table and masks against the pixel offset (Qt reads pixels after them without
// going back), and its length against what the pixel rows or the RLE codes need (Qt
// leaves the rows past a file's end unwritten). *rle: RLE8 or RLE4.
bool checkBmp(const QByteArray& bytes, QSize expected, bool* rle, Message* why)
{
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    const int64_t size = bytes.size();
    const Message shortHeader(MessageCode::ImageHeaderCutShort);
    if (size < 18) {
        *why = shortHeader;
        return false;
    }
    const int64_t offset = get32(b + 10);
    const int64_t headerSize = get32(b + 14);
    int64_t width = 0, height = 0, clrUsed = 0;
    int bpp = 0, entryBytes = 4;
    uint32_t compression = 0; // 0 none, 1 RLE8, 2 RLE4, 3 bit fields
    if (headerSize == 12) { // OS/2 1.x core header: 16-bit sizes, 3-byte colours
        if (size < 26) {
            *why = shortHeader;
            return false;
        }
        width = get16(b + 18);
        height = get16(b + 20);
        bpp = get16(b + 24);
        entryBytes = 3;
    } else if (headerSize == 40 || headerSize == 64 || headerSize == 108 || headerSize == 124) {
        if (size < 14 + headerSize) {
            *why = shortHeader;
            return false;
        }
        width = static_cast<int32_t>(get32(b + 18));
        height = static_cast<int32_t>(get32(b + 22));
        bpp = get16(b + 28);
        compression = get32(b + 30);
        clrUsed = get32(b + 46);
    } else {
        *why = Message(MessageCode::BmpHeaderUnknown, headerSize);
        return false;
    }
    height = height < 0 ? -height : height;
    if (width != expected.width() || height != expected.height()) {
        *why = wrongSize(expected, width, height);
        return false;
    }
    const uint32_t c = compression;
    const bool bppFits = c == 0
        ? (bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32)
        : c == 1 ? bpp == 8
        : c == 2 ? bpp == 4
        : c == 3 ? (bpp == 16 || bpp == 32)
                 : false;
    if (!bppFits) {
        *why = c == 0 ? Message(MessageCode::BmpBitsPerPixel, bpp)
                      : Message(MessageCode::BmpCompression, c, bpp);
        return false;
    }

    // colour masks after a 40 or 64-byte header (inside the longer ones), then the colour
    // table
    int64_t tableStart = 14 + headerSize;
    if (c == 3 && headerSize < 108)
        tableStart += 12;
    const int64_t colours = bpp > 8 ? 0 : clrUsed != 0 ? clrUsed : int64_t(1) << bpp;
    if (colours > 256) {
        *why = Message(MessageCode::BmpColourTableSize, colours);
        return false;
    }
    const int64_t tableEnd = tableStart + colours * entryBytes;
    if (offset > size) {
        *why = cutShort(offset, size);
        return false;
    }
    if (offset < tableStart) {
        *why = Message(MessageCode::BmpHeaderDamaged, offset);
        return false;
    }
    if (tableEnd > offset) {
        *why = Message(MessageCode::BmpColourTableOverlap, tableStart, tableEnd, offset);
        return false;
    }
    *rle = c == 1 || c == 2;
    if (*rle) {
        if (!rleComplete(b, size, offset, height, c == 2)) {
            *why = MessageCode::ImageCutShortCompressed;
            return false;
        }
    } else {
        const int64_t stride = (width * bpp + 31) / 32 * 4;
        const int64_t needed = offset + stride * height;
        if (size < needed) {
            *why = cutShort(needed, size);
            return false;
        }
    }
    return true;
}

// --- PNG -----------------------------------------------------------------------------------

// Adam7 passes: first column, first row, column step, row step.
constexpr std::array<std::array<int, 4>, 7> kAdam7{{{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8},
    {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}};

// libpng refuses wider or taller pictures (its default user limits).
constexpr int64_t kPngSideLimit = 1000000;

uint32_t be32(const uchar* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The rows of a PNG's filtered pixel data: `count` rows of a filter byte and `bytes`
// bytes each, per Adam7 pass (only the passes that have pixels) or for the whole picture.
struct PngRows {
    int64_t count = 0;
    int64_t bytes = 0;
};

std::vector<PngRows> pngRows(int64_t width, int64_t height, int bits, bool interlaced)
{
    std::vector<PngRows> rows;
    auto add = [&](int64_t w, int64_t h) {
        if (w > 0 && h > 0)
            rows.push_back({h, (w * bits + 7) / 8});
    };
    if (!interlaced)
        add(width, height);
    else
        for (const auto& p : kAdam7)
            add((width - p[0] + p[2] - 1) / p[2], (height - p[1] + p[3] - 1) / p[3]);
    return rows;
}

// Bytes of the filtered rows.
int64_t pngRawBytes(int64_t width, int64_t height, int bits, bool interlaced)
{
    int64_t total = 0;
    for (const PngRows& r : pngRows(width, height, bits, interlaced))
        total += r.count * (1 + r.bytes);
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

// Inflates a PNG's compressed pixel data without keeping it, as libpng will: the window
// size from the stream's header, the checksum at its end. The stream must hold exactly
// the filtered rows, each with a filter type of 0 .. 4, and end there; inflating stops
// as soon as it would give more.
bool checkPixelData(const std::vector<std::pair<const uchar*, uInt>>& parts,
    const std::vector<PngRows>& rows, Message* why)
{
    int64_t total = 0;
    for (const PngRows& r : rows)
        total += r.count * (1 + r.bytes);
    struct Inflater {
        z_stream z{};
        Inflater()
        {
            if (inflateInit2(&z, 0) != Z_OK) // 0: the window size of the stream's header
                throw std::bad_alloc();
        }
        ~Inflater() { inflateEnd(&z); }
    } inflater;
    z_stream& z = inflater.z;
    std::vector<uchar> buffer(std::size_t(1) << 16);
    std::size_t part = 0;
    int64_t done = 0; // bytes inflated
    int64_t nextFilter = 0; // where the next row's filter byte is
    std::size_t pass = 0;
    int64_t rowsLeft = rows.empty() ? 0 : rows[0].count;
    for (;;) {
        if (z.avail_in == 0 && part < parts.size()) {
            z.next_in = const_cast<uchar*>(parts[part].first);
            z.avail_in = parts[part].second;
            ++part;
        }
        // room for what the rows still need and one byte more, which shows an excess
        const int64_t room = std::min<int64_t>(int64_t(buffer.size()), total - done + 1);
        z.next_out = buffer.data();
        z.avail_out = uInt(room);
        const int ret = inflate(&z, Z_NO_FLUSH);
        const int64_t got = room - z.avail_out;
        if (done + got > total) {
            *why = MessageCode::PngTooMuchData;
            return false;
        }
        while (nextFilter < done + got) {
            const uchar filter = buffer[std::size_t(nextFilter - done)];
            if (filter > 4) {
                *why = Message(MessageCode::PngRowFilter, filter);
                return false;
            }
            nextFilter += 1 + rows[pass].bytes;
            if (--rowsLeft == 0 && pass + 1 < rows.size())
                rowsLeft = rows[++pass].count;
        }
        done += got;
        if (ret == Z_STREAM_END)
            break;
        if (ret == Z_BUF_ERROR && z.avail_in == 0) {
            if (part < parts.size())
                continue;
            *why
                = done < total ? MessageCode::PngCutShortCompressed : MessageCode::PngDataNotEnding;
            return false;
        }
        if (ret != Z_OK) {
            *why = Message(
                MessageCode::PngDataDamaged, QString::fromLatin1(z.msg ? z.msg : zError(ret)));
            return false;
        }
    }
    if (done < total) {
        *why = MessageCode::PngDataEndsEarly;
        return false;
    }
    bool more = z.avail_in > 0;
    for (; part < parts.size(); ++part)
        more = more || parts[part].second > 0;
    if (more) {
        *why = MessageCode::PngBytesAfterData;
        return false;
    }
    return true;
}

// Checks a PNG and writes the copy of it that Qt reads: its header, the palette of a
// palette picture, a transparency chunk that libpng would take, the pixel data and the
// end. Critical chunks have their checksums checked; ancillary ones are never inflated
// nor applied (text, colour profiles, gamma), and those libpng would warn about are left
// out (it ignores them), so that libpng meets nothing to complain about.
bool sanitizePng(const QByteArray& bytes, QSize expected, QByteArray* copy, Message* why)
{
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    const int64_t size = bytes.size();
    const Message endsEarly(MessageCode::PngEndsEarly);
    int64_t pos = 8;
    int64_t width = 0, height = 0, idatBytes = 0, limit = 0;
    int depth = 0, colourType = 0;
    int64_t paletteSize = 0; // colours libpng keeps from PLTE
    bool interlaced = false;
    QByteArray header, palette, transparency;
    std::vector<std::pair<const uchar*, uInt>> idat;
    bool first = true, ended = false, seenIdat = false, seenTrns = false;
    while (!ended) {
        if (pos + 12 > size) {
            *why = endsEarly;
            return false;
        }
        const int64_t length = be32(b + pos);
        const uchar* type = b + pos + 4;
        const uchar* data = b + pos + 8;
        if (length > 0x7FFFFFFF) {
            *why = Message(MessageCode::PngChunkLength, length);
            return false;
        }
        if (pos + 12 + length > size) {
            *why = endsEarly;
            return false;
        }
        const QByteArray whole = QByteArray::fromRawData(
            reinterpret_cast<const char*>(b + pos), qsizetype(12 + length));
        pos += 12 + length;
        if (first != (std::memcmp(type, "IHDR", 4) == 0)) {
            *why = MessageCode::PngHeaderNotFirst;
            return false;
        }
        const bool critical = (type[0] & 0x20) == 0;
        const bool checksumOk = crc32(crc32(0, type, 4), data, uInt(length)) == be32(data + length);
        auto is = [&](const char* name) { return std::memcmp(type, name, 4) == 0; };
        if (critical && !checksumOk) {
            *why = Message(MessageCode::PngChecksum, chunkName(type));
            return false;
        }
        if (first) {
            first = false;
            if (length != 13) {
                *why = Message(MessageCode::PngHeaderLength, length);
                return false;
            }
            width = be32(data);
            height = be32(data + 4);
            depth = data[8];
            colourType = data[9];
            interlaced = data[12] == 1;
            if (width != expected.width() || height != expected.height()) {
                *why = wrongSize(expected, width, height);
                return false;
            }
            if (width > kPngSideLimit || height > kPngSideLimit) {
                *why = Message(MessageCode::PngSideLimit, kPngSideLimit);
                return false;
            }
            const int d = depth;
            const int t = colourType;
            const int channels = t == 0 || t == 3 ? 1 : t == 2 ? 3 : t == 4 ? 2 : t == 6 ? 4 : 0;
            const bool depthFits = t == 0 ? (d == 1 || d == 2 || d == 4 || d == 8 || d == 16)
                : t == 3                  ? (d == 1 || d == 2 || d == 4 || d == 8)
                                          : (d == 8 || d == 16);
            if (channels == 0 || !depthFits || data[10] != 0 || data[11] != 0 || data[12] > 1) {
                *why = Message(MessageCode::PngHeaderDamaged, t, d, data[10], data[11], data[12]);
                return false;
            }
            limit = idatLimit(pngRawBytes(width, height, channels * depth, interlaced));
            header = whole;
        } else if (is("IDAT")) {
            seenIdat = true;
            idatBytes += length;
            if (idatBytes > limit) {
                *why = Message(MessageCode::PngIdatLimit, limit, sizeText(width, height));
                return false;
            }
            if (length > 0)
                idat.emplace_back(data, uInt(length));
        } else if (is("IEND")) {
            ended = true;
        } else if (is("PLTE")) {
            if (colourType != 3)
                continue; // ignored by libpng, with a warning
            if (length == 0 || length % 3 != 0 || length > 3 * 256 || !palette.isEmpty()
                || seenIdat) {
                *why = Message(MessageCode::PngPaletteDamaged, length);
                return false;
            }
            palette = whole;
            paletteSize = std::min<int64_t>(length / 3, int64_t(1) << depth);
        } else if (is("tRNS")) {
            // libpng takes the first one before the pixel data, after the palette, of the
            // length the colour type has and with samples of the picture's depth
            const int64_t top = depth == 16 ? 0xFFFF : (int64_t(1) << depth) - 1;
            auto sample = [&](int i) { return int64_t(data[2 * i]) << 8 | data[2 * i + 1]; };
            bool fits = colourType == 0 ? length == 2 && sample(0) <= top
                : colourType == 2
                ? length == 6 && sample(0) <= top && sample(1) <= top && sample(2) <= top
                : colourType == 3 ? !palette.isEmpty() && length >= 1 && length <= paletteSize
                                  : false;
            if (fits && checksumOk && !seenIdat && !seenTrns)
                transparency = whole;
            seenTrns = true;
        } else if (critical) {
            *why = Message(MessageCode::PngUnknownChunk, chunkName(type));
            return false;
        }
    }
    if (colourType == 3 && palette.isEmpty()) {
        *why = MessageCode::PngNoPalette;
        return false;
    }
    if (idat.empty()) {
        *why = MessageCode::PngNoData;
        return false;
    }
    const int channels = colourType == 0 || colourType == 3 ? 1
        : colourType == 2                                   ? 3
        : colourType == 4                                   ? 2
                                                            : 4;
    if (!checkPixelData(idat, pngRows(width, height, channels * depth, interlaced), why))
        return false;

    static const QByteArray iend("\0\0\0\0IEND\xae\x42\x60\x82", 12);
    copy->clear();
    copy->reserve(qsizetype(8 + header.size() + palette.size() + transparency.size()
        + 12 * int64_t(idat.size()) + idatBytes + iend.size()));
    copy->append(bytes.constData(), 8);
    copy->append(header).append(palette).append(transparency);
    for (const auto& [data, length] : idat)
        copy->append(reinterpret_cast<const char*>(data) - 8, qsizetype(length) + 12);
    copy->append(iend);
    return true;
}

// --- decoding with Qt ----------------------------------------------------------------------

// Qt's messages during a decode on the thread that decodes (libpng's warnings among them,
// which Qt passes on as info messages of qt.gui.imageio) are kept, so that they become
// the reason and are not printed; all others go to the handler that was there before.
thread_local QStringList* tKeptMessages = nullptr;
std::atomic<QtMessageHandler> gEarlierHandler{nullptr};

void keepOrPass(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (tKeptMessages && type != QtFatalMsg)
        tKeptMessages->append(message);
    else if (const QtMessageHandler earlier = gEarlierHandler.load())
        earlier(type, context, message); // null only for the instant after the install
}

class KeptMessages {
public:
    KeptMessages()
    {
        static std::once_flag once;
        std::call_once(once, [] {
            // Every decode checks the picture's size first and decodes into a picture made
            // here, of that size, which Qt fills in place; Qt's allocation limit never
            // applies to it. The limit is one for the whole process, so it cannot be set
            // for one decode while others run on worker threads; 0 leaves Qt no limit to
            // refuse an honest picture with, however large the display picture is.
            QImageReader::setAllocationLimit(0);
            gEarlierHandler.store(qInstallMessageHandler(keepOrPass));
        });
        tKeptMessages = &FMessages;
    }
    ~KeptMessages() { tKeptMessages = nullptr; }
    KeptMessages(const KeptMessages&) = delete;
    KeptMessages& operator=(const KeptMessages&) = delete;

    QString first() const { return FMessages.isEmpty() ? QString() : FMessages.first(); }

private:
    QStringList FMessages;
};

QImage decodeEdited(const QByteArray& bytes, QSize expected, DecodeProbe* probe, Message* why)
{
    if (expected.isEmpty()) {
        *why = MessageCode::NoPictureToCompare;
        return {};
    }
    bool rle = false;
    QByteArray checked;
    const char* format = nullptr;
    if (bytes.startsWith("BM")) {
        if (!checkBmp(bytes, expected, &rle, why))
            return {};
        checked = bytes;
        format = "bmp";
    } else if (bytes.startsWith("\x89PNG\r\n\x1a\n")) {
        if (!sanitizePng(bytes, expected, &checked, why))
            return {};
        format = "png";
    } else {
        *why = MessageCode::NotBmpOrPng;
        return {};
    }

    KeptMessages messages;
    QBuffer buffer(&checked);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(false);
    auto failed = [&] {
        MessageArg said = messages.first();
        if (said.text.isEmpty())
            said = reader.error() == QImageReader::UnknownError
                ? MessageArg(MessageCode::QtRefusesImage)
                : MessageArg(reader.errorString());
        *why = Message(MessageCode::ImageCannotBeDecoded, said);
        return QImage();
    };
    const QImage::Format qtFormat = reader.imageFormat();
    if (qtFormat == QImage::Format_Invalid || !messages.first().isEmpty())
        return failed();
    // The picture Qt decodes into, in the format it reads the file in (palette indices,
    // gray, 32 or 64-bit colour), made here (or by a test) so that what it holds before is
    // known; Qt fills it in place. Made here, every byte is 0, so that a pixel Qt left
    // unwritten could never be garbage (the checks leave Qt none to skip but RLE's).
    QImage decoded;
    if (probe && probe->picture.size() == expected && probe->picture.format() == qtFormat) {
        decoded = std::move(probe->picture);
    } else {
        decoded = QImage(expected, qtFormat);
        if (decoded.isNull())
            throw std::bad_alloc();
        std::memset(decoded.bits(), 0, std::size_t(decoded.sizeInBytes()));
    }
    if (rle) // the pixels that the codes skip, which Qt leaves as they are, are colour index 0
        std::memset(decoded.bits(), 0, std::size_t(decoded.sizeInBytes()));
    const uchar* bits = decoded.constBits();
    const bool read = reader.read(&decoded);
    const bool inPlace = decoded.constBits() == bits;
    if (probe) {
        probe->picture = decoded;
        probe->inPlace = inPlace;
    }
    if (!read || !messages.first().isEmpty())
        return failed();
    if (decoded.size() != expected) {
        *why = wrongSize(expected, decoded.width(), decoded.height());
        return {};
    }
    if (rle && !inPlace) {
        *why = MessageCode::RleUnwritten;
        return {};
    }
    // 24-bit colour, kept in 32-bit words (0xFFRRGGBB): palettes are looked up, alpha
    // is dropped without touching the colour
    QImage picture = decoded.convertToFormat(QImage::Format_RGB32);
    if (picture.isNull())
        throw std::bad_alloc();
    return picture;
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

namespace {

// A picture as the encoder reads it: gray, or 32-bit words (others converted to those).
QImage encodable(const QImage& bitmap)
{
    const QImage::Format f = bitmap.format();
    if (f == QImage::Format_Grayscale8 || f == QImage::Format_RGB32 || f == QImage::Format_ARGB32)
        return bitmap;
    QImage converted = bitmap.convertToFormat(QImage::Format_RGB32);
    if (converted.isNull() && !bitmap.isNull())
        throw std::bad_alloc();
    return converted;
}

// The 24-bit BMP header with its gray palette (kFilterHeaderSize bytes) of a filter image
// of src's size; *rowBytes is the size of a row with its padding.
QByteArray filterHeader(const QImage& src, uint32_t* rowBytes)
{
    const uint32_t W = static_cast<uint32_t>(src.width());
    const uint32_t H = static_cast<uint32_t>(src.height());
    *rowBytes = checkedAdd<uint32_t>(checkedMul<uint32_t>(W, 3, MessageCode::WhatBmpSize), 3,
                    MessageCode::WhatBmpSize)
        & ~3u;
    const uint32_t imageBytes = checkedMul<uint32_t>(*rowBytes, H, MessageCode::WhatBmpSize);
    const uint32_t fileBytes
        = checkedAdd<uint32_t>(imageBytes, kFilterHeaderSize, MessageCode::WhatBmpSize);
    if (fileBytes > uint32_t(std::numeric_limits<qsizetype>::max()))
        throw IntOverflowError(intOverflow(MessageCode::WhatBmpSize));
    QByteArray header(static_cast<qsizetype>(kFilterHeaderSize), '\0');
    auto* p = reinterpret_cast<uchar*>(header.data());
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
    return header;
}

// File rows [r0, r1) of the BMP (bottom-up: file row r is picture row height - 1 - r)
// into rows, rowBytes apart: each pixel's level three times, the gray picture's level or
// the blue byte of a 32-bit one. The rows' padding is left as it is.
void encodeRows(const QImage& src, uint32_t r0, uint32_t r1, uint32_t rowBytes, uchar* rows)
{
    const auto W = static_cast<uint32_t>(src.width());
    const auto H = static_cast<uint32_t>(src.height());
    const bool gray = src.format() == QImage::Format_Grayscale8;
    parallelFor(r1 - r0, [&](std::size_t i0, std::size_t i1) {
        for (std::size_t i = i0; i < i1; ++i) {
            const int y = static_cast<int>(H - 1 - (r0 + i));
            uchar* d = rows + i * rowBytes;
            if (gray) {
                const uchar* line = src.constScanLine(y);
                for (uint32_t x = 0; x < W; ++x, d += 3)
                    d[0] = d[1] = d[2] = line[x];
            } else {
                const auto* line = reinterpret_cast<const QRgb*>(src.constScanLine(y));
                for (uint32_t x = 0; x < W; ++x, d += 3)
                    d[0] = d[1] = d[2] = static_cast<uchar>(line[x] & 0xFF);
            }
        }
    });
}

} // namespace

QByteArray encodeFilterImage(const QImage& bitmap)
{
    const QImage src = encodable(bitmap);
    uint32_t rowBytes = 0;
    QByteArray out = filterHeader(src, &rowBytes);
    const auto H = static_cast<uint32_t>(src.height());
    out.resize(out.size() + qsizetype(rowBytes) * H, '\0');
    encodeRows(src, 0, H, rowBytes, reinterpret_cast<uchar*>(out.data()) + kFilterHeaderSize);
    return out;
}

bool writeFilterImage(const QImage& bitmap, const QString& path, Message* reason)
{
    auto fail = [&](const Message& why) {
        if (reason)
            *reason = Message(MessageCode::FileReason, path, why);
        return false;
    };
    Message why;
    if (!checkOutputPath(path, &why))
        return fail(why);
    const QImage src = encodable(bitmap);
    uint32_t rowBytes = 0;
    const QByteArray header = filterHeader(src, &rowBytes);
    const int permissions = existingPermissions(path);
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(Message(MessageCode::CannotCreate, file.errorString()));
    // Written through the descriptor, so that a failure keeps errno's cause; the
    // temporary file is removed when `file` goes without a commit.
    auto failErrno = [&](MessageCode what, int error) {
        file.cancelWriting();
        return fail(Message(what, errnoText(error)));
    };
    if (!carryPermissions(file, permissions))
        return failErrno(MessageCode::CannotSetPermissions, errno);
    const int fd = file.handle();
    auto writeAll = [fd](const char* p, std::size_t left) {
        while (left > 0) {
            const ssize_t n = ::write(fd, p, left);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                if (n == 0)
                    errno = EIO;
                return false;
            }
            p += n;
            left -= std::size_t(n);
        }
        return true;
    };
    if (!writeAll(header.constData(), std::size_t(header.size())))
        return failErrno(MessageCode::CannotWrite, errno);
    // the rows a strip of a few MiB at a time, so that the file's bytes are never held whole
    const auto H = static_cast<uint32_t>(src.height());
    const uint32_t strip = std::max<uint32_t>(1, (uint32_t(4) << 20) / std::max(rowBytes, 1u));
    std::vector<uchar> rows(std::size_t(std::min(strip, H)) * rowBytes, 0);
    for (uint32_t r0 = 0; r0 < H; r0 += strip) {
        const uint32_t r1 = std::min(H, r0 + strip);
        encodeRows(src, r0, r1, rowBytes, rows.data());
        if (!writeAll(reinterpret_cast<const char*>(rows.data()), std::size_t(r1 - r0) * rowBytes))
            return failErrno(MessageCode::CannotWrite, errno);
    }
    if (::fsync(fd) != 0 && errno != EINVAL)
        return failErrno(MessageCode::CannotWrite, errno);
    if (!file.commit())
        return fail(Message(MessageCode::CannotWrite, file.errorString()));
    return true;
}

int64_t filterImageFileLimit(QSize expected)
{
    return idatLimit(pngRawBytes(expected.width(), expected.height(), 64, true))
        + (int64_t(16) << 20);
}

QImage decodeFilterImage(
    const QByteArray& bytes, QSize expected, Message* reason, DecodeProbe* probe)
{
    Message why;
    QImage picture = decodeEdited(bytes, expected, probe, &why);
    if (picture.isNull() && reason)
        *reason = why;
    return picture;
}

QImage readFilterImage(const QString& path, QSize expected, Message* reason)
{
    QByteArray bytes;
    Message why;
    QImage picture;
    if (readRegularFile(path, filterImageFileLimit(expected), &bytes, &why))
        picture = decodeFilterImage(bytes, expected, &why);
    if (picture.isNull() && reason)
        *reason = Message(MessageCode::FileReason, path, why);
    return picture;
}

bool applyFilterGains(TWaveCepstram& engine, uint8_t mode, const QImage& reference,
    const QImage& edited, int32_t leftMargin, int32_t topMargin, Message* reason)
{
    auto fail = [&](const Message& why) {
        if (reason)
            *reason = why;
        return false;
    };
    if (mode != kSpectrumView && mode != kCepstrumView)
        return fail(MessageCode::UnknownView);
    if (!filterGeometryMatches(engine, reference, leftMargin, topMargin)
        || reference.format() != QImage::Format_RGB32)
        return fail(MessageCode::NoAnalysedPicture);
    if (edited.size() != reference.size() || edited.format() != QImage::Format_RGB32)
        return fail(wrongSize(reference.size(), edited.width(), edited.height()));

    const int32_t F = engine.FSpectrograms[0]->FFrameCount;
    const int32_t N = engine.FSpectrograms[0]->FSpecLength;
    const int32_t R = N / 2 + 1;
    const std::size_t C = static_cast<std::size_t>(engine.FChannelCount);
    const bool spectrum = mode == kSpectrumView;
    auto& grams = spectrum ? engine.FSpectrograms : engine.FCepstrograms;
    if (grams.size() < C)
        return fail(spectrum ? MessageCode::SpectrogramsMismatch : MessageCode::CepstraMismatch);
    for (std::size_t c = 0; c < C; ++c) {
        const TSpectrogram* g = grams[c].get();
        if (!g || g->FFrameCount < F || g->FFrames.size() < std::size_t(F))
            return fail(MessageCode::AnalysisIncomplete);
        for (int32_t j = 0; j < F; ++j)
            if (!g->FFrames[std::size_t(j)]
                || g->FFrames[std::size_t(j)]->FData.size() < std::size_t(R))
                return fail(MessageCode::AnalysisIncomplete);
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
        return fail(MessageCode::GainOverflowValue);

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
    const QImage& edited, int32_t leftMargin, int32_t topMargin, ClipStats* clips, Message* reason)
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
            *reason = e.message();
        return false;
    }
    return true;
}

} // namespace kestrelon
