#include "imaging/PictureCells.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <new>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "base/Cancel.h"
#include "base/Errors.h"
#include "base/Parallel.h"

namespace kestrelon {

namespace {

// The picture row of cells row k.
int32_t pictureRow(const GrayCells& cells, int32_t k, int32_t topMargin)
{
    return topMargin + (cells.view == SpectralView::Spectrum ? cells.rows - 1 - k : k);
}

// Frames are read a tile at a time, so that a tile's pixels of one picture row share a few
// cache lines while the cells of each frame are read in order.
constexpr int32_t kTileFrames = 64;

// The edits of a picture whose row y starts at row0 + y * step, pixels of P bytes that
// begin with blue, green and red.
template <int P>
CellEdits editsOf(const GrayCells& cells, const uchar* row0, qsizetype step, int32_t leftMargin,
    int32_t topMargin)
{
    const int32_t F = cells.frames;
    const int32_t R = cells.rows;
    // The gray levels of the frames of one tile, row after row: gray[k * kTileFrames + i]
    // is cell (f0 + i, k), so that a row of the tile is read like a row of the picture.
    auto transpose = [&](int32_t f0, int32_t f1, uint8_t* gray) {
        for (int32_t f = f0; f < f1; ++f) {
            const uint8_t* g = cells.gray.data() + std::size_t(f) * std::size_t(R);
            for (int32_t k = 0; k < R; ++k)
                gray[std::size_t(k) * kTileFrames + std::size_t(f - f0)] = g[k];
        }
    };
    // d of cell (f0 + i, k) given the tile's gray levels; calls use(i, k, d) for each.
    auto differences = [&](int32_t f0, int32_t f1, const uint8_t* gray, auto&& use) {
        const int32_t n = f1 - f0;
        for (int32_t k = 0; k < R; ++k) {
            const uchar* p = row0 + qsizetype(pictureRow(cells, k, topMargin)) * step
                + qsizetype(leftMargin + f0) * P; // blue, green, red
            const uint8_t* g = gray + std::size_t(k) * kTileFrames;
            for (int32_t i = 0; i < n; ++i)
                use(i, k, (int(p[i * P]) + int(p[i * P + 1]) + int(p[i * P + 2])) / 3 - int(g[i]));
        }
    };

    // First which frames changed, then their differences. A cancel of the calling thread's
    // command (base/Cancel.h) stops both between tiles.
    const std::atomic<bool>* cancel = currentCancelFlag();
    const auto tiles = std::size_t((F + kTileFrames - 1) / kTileFrames);
    std::vector<uint8_t> changed(std::size_t(F), 0);
    parallelFor(
        tiles,
        [&](std::size_t t0, std::size_t t1) {
            std::vector<uint8_t> gray(std::size_t(kTileFrames) * std::size_t(R));
            for (std::size_t t = t0; t < t1; ++t) {
                throwIfCancelled(cancel);
                const int32_t f0 = int32_t(t) * kTileFrames;
                const int32_t f1 = std::min(F, f0 + kTileFrames);
                transpose(f0, f1, gray.data());
                uint8_t* mask = changed.data() + f0;
                differences(f0, f1, gray.data(),
                    [mask](int32_t i, int32_t, int d) { mask[i] |= uint8_t(d != 0); });
            }
        },
        1);
    CellEdits result;
    result.rows = R;
    for (int32_t f = 0; f < F; ++f)
        if (changed[std::size_t(f)])
            result.frames.push_back(f);
    result.diffs.resize(result.frames.size() * std::size_t(R));
    std::vector<int32_t> index(std::size_t(F), -1);
    for (std::size_t e = 0; e < result.frames.size(); ++e)
        index[std::size_t(result.frames[e])] = int32_t(e);
    parallelFor(
        tiles,
        [&](std::size_t t0, std::size_t t1) {
            std::vector<uint8_t> gray(std::size_t(kTileFrames) * std::size_t(R));
            for (std::size_t t = t0; t < t1; ++t) {
                throwIfCancelled(cancel);
                const int32_t f0 = int32_t(t) * kTileFrames;
                const int32_t f1 = std::min(F, f0 + kTileFrames);
                if (std::none_of(changed.begin() + f0, changed.begin() + f1,
                        [](uint8_t c) { return c != 0; }))
                    continue;
                transpose(f0, f1, gray.data());
                differences(f0, f1, gray.data(), [&](int32_t i, int32_t k, int d) {
                    const int32_t e = index[std::size_t(f0 + i)];
                    if (e >= 0)
                        result.diffs[std::size_t(e) * std::size_t(R) + std::size_t(k)]
                            = static_cast<int16_t>(d);
                });
            }
        },
        1);
    return result;
}

uint32_t get32(const uchar* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

Message pictureSizeMismatch(QSize expected, int64_t w, int64_t h)
{
    if (h == expected.height())
        return Message(MessageCode::PictureWidthMismatch, w, expected.width());
    if (w == expected.width())
        return Message(MessageCode::PictureHeightMismatch, h, expected.height());
    return Message(MessageCode::PictureSizeMismatch, w, h, expected.width(), expected.height());
}

QSize cellPictureSize(const GrayCells& cells, int32_t leftMargin, int32_t topMargin)
{
    return QSize(checkedAdd<int32_t>(leftMargin, cells.frames, MessageCode::WhatPictureWidth),
        checkedAdd<int32_t>(topMargin, cells.rows, MessageCode::WhatPictureHeight));
}

QImage drawCells(const GrayCells& cells, const DrawContext& ctx)
{
    if (cells.frames <= 0 || cells.rows <= 0)
        return {};
    const QSize size = cellPictureSize(cells, ctx.leftMargin, ctx.topMargin);
    QImage image(size, QImage::Format_Grayscale8);
    if (image.isNull())
        throw std::bad_alloc();
    DrawAxes(image, ctx);
    paintCellColumns(image, cells, 0, cells.frames, ctx.leftMargin, ctx.topMargin);
    return image;
}

void paintCellColumns(QImage& picture, const GrayCells& cells, int32_t firstFrame, int32_t endFrame,
    int32_t leftMargin, int32_t topMargin)
{
    if (picture.size() != cellPictureSize(cells, leftMargin, topMargin)
        || picture.format() != QImage::Format_Grayscale8)
        throw RangeError("the picture does not have the size of its cells");
    if (firstFrame < 0 || endFrame > cells.frames || firstFrame > endFrame)
        throw RangeError("frames " + std::to_string(firstFrame) + " .. " + std::to_string(endFrame)
            + " are not frames of the cells");
    uchar* const bits = picture.bits();
    const qsizetype stride = picture.bytesPerLine();
    const int32_t R = cells.rows;
    const auto tiles = std::size_t((endFrame - firstFrame + kTileFrames - 1) / kTileFrames);
    parallelFor(
        tiles,
        [&](std::size_t t0, std::size_t t1) {
            for (std::size_t t = t0; t < t1; ++t) {
                const int32_t f0 = firstFrame + int32_t(t) * kTileFrames;
                const int32_t f1 = std::min(endFrame, f0 + kTileFrames);
                for (int32_t k = 0; k < R; ++k) {
                    uchar* line = bits + qsizetype(pictureRow(cells, k, topMargin)) * stride;
                    const uint8_t* g
                        = cells.gray.data() + std::size_t(f0) * std::size_t(R) + std::size_t(k);
                    for (int32_t f = f0; f < f1; ++f, g += R)
                        line[leftMargin + f] = *g;
                }
            }
        },
        1);
}

bool cellEditsOf(const GrayCells& cells, const QImage& edited, int32_t leftMargin,
    int32_t topMargin, CellEdits* edits, Message* reason)
{
    const QSize expected = cellPictureSize(cells, leftMargin, topMargin);
    if (edited.size() != expected || edited.format() != QImage::Format_RGB32) {
        if (reason)
            *reason = pictureSizeMismatch(expected, edited.width(), edited.height());
        return false;
    }
    // 0xFFRRGGBB words, little-endian: blue, green, red, 255
    *edits = editsOf<4>(cells, edited.constBits(), edited.bytesPerLine(), leftMargin, topMargin);
    return true;
}

namespace {

// Where the rows of a plain BMP of the picture of cells lie: the bytes of file row r
// (picture row height - 1 - r) start at offset + r * stride.
struct BmpRows {
    int64_t offset = 0;
    int64_t stride = 0;
};

// Whether the first 54 bytes of a file of `size` bytes head the plain kind of BMP that
// export writes, of the picture size of cells and not cut short.
bool plainBmpRows(const GrayCells& cells, const uchar* b, int64_t size, int32_t leftMargin,
    int32_t topMargin, BmpRows* rows)
{
    const QSize expected = cellPictureSize(cells, leftMargin, topMargin);
    if (size < 54 || b[0] != 'B' || b[1] != 'M' || get32(b + 14) != 40 || (b[26] | b[27] << 8) != 1
        || (b[28] | b[29] << 8) != 24 || get32(b + 30) != 0)
        return false;
    const int64_t offset = get32(b + 10);
    const auto width = static_cast<int32_t>(get32(b + 18));
    const auto height = static_cast<int32_t>(get32(b + 22));
    if (width != expected.width() || height != expected.height())
        return false; // not the size (a negative height: top-down)
    const int64_t stride = (3 * int64_t(width) + 3) / 4 * 4;
    if (offset < 54 || offset + stride * height > size)
        return false;
    rows->offset = offset;
    rows->stride = stride;
    return true;
}

// Whether any of the m pixels (3 bytes each, from px) of n rows (stride bytes apart) has
// a cell value other than its gray level in tile (row i's m levels at tile + i * tileStride).
#if defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
__attribute__((target_clones("arch=skylake-avx512", "avx2", "default")))
#endif
bool tileDiffers(const uchar* px, std::size_t stride, const uint8_t* tile, std::ptrdiff_t tileStride,
    int32_t n, int32_t m)
{
    unsigned differs = 0;
    for (int32_t i = 0; i < n; ++i, px += stride, tile += tileStride)
        for (int32_t j = 0; j < m; ++j)
            differs |= unsigned(
                (unsigned(px[3 * j]) + unsigned(px[3 * j + 1]) + unsigned(px[3 * j + 2])) / 3
                != tile[j]);
    return differs != 0;
}

// n bytes at offset into dst, or false.
using ReadAt = std::function<bool(int64_t offset, std::size_t n, uchar* dst)>;

// The gray levels of the picture drawn from the cells, for file row r of a BMP at
// row0 + r * stride (column 0 being the left margin's first): where they are at hand, the
// comparison reads them instead of gathering each tile's levels from the cells.
struct ShownRows {
    const uchar* row0 = nullptr;
    std::ptrdiff_t stride = 0;
};

ShownRows shownRowsOf(
    const GrayCells& cells, const QImage* shown, int32_t leftMargin, int32_t topMargin)
{
    if (!shown || shown->format() != QImage::Format_Grayscale8
        || shown->size() != cellPictureSize(cells, leftMargin, topMargin))
        return {};
    // file row r is picture row height - 1 - r, whatever the view
    return {shown->constScanLine(shown->height() - 1), -std::ptrdiff_t(shown->bytesPerLine())};
}

// The edits of a plain BMP whose rows read() gives, a strip of rows at a time: bottom-up,
// so file rows 0 .. R-1 are the data rows (the top margin comes last and is not read),
// file row r being cells row r in the spectrum view and R - 1 - r in the cepstrum view.
// The frames are split between the cores, each keeping the differences of the frames it
// finds changed (a frame unchanged in the strips before has differences of 0 there).
// False when a read fails.
bool editsOfBmpRows(const GrayCells& cells, const BmpRows& layout, int32_t leftMargin,
    const ShownRows& shown, const ReadAt& read, CellEdits* edits)
{
    const int32_t F = cells.frames;
    const int32_t R = cells.rows;
    const bool spectrum = cells.view == SpectralView::Spectrum;
    constexpr int32_t kStrip = 16; // rows read at a time

    // Each core takes a part of the frames and reads their pixels, strip after strip.
    struct Part {
        int32_t f0 = 0, f1 = 0;
        std::vector<int32_t> slot; // per frame of the part: its place in frames, or -1
        std::vector<int32_t> frames; // in the order they were found changed
        std::vector<int16_t> diffs; // frames.size() * R
    };
    const auto count = std::size_t(std::max<int32_t>(
        1, std::min<int32_t>(int32_t(workerCount()), (F + kTileFrames - 1) / kTileFrames)));
    std::vector<Part> parts(count);
    for (std::size_t w = 0; w < count; ++w) {
        parts[w].f0 = int32_t(int64_t(F) * int64_t(w) / int64_t(count));
        parts[w].f1 = int32_t(int64_t(F) * int64_t(w + 1) / int64_t(count));
        parts[w].slot.assign(std::size_t(parts[w].f1 - parts[w].f0), -1);
    }
    // The differences of frames [fa, fb) of a part in the strip's n rows, whose pixels
    // of the part's frames start at rows, stride bytes apart.
    auto record = [&](Part& part, const uchar* rows, std::size_t stride, int32_t r0, int32_t n,
                      int32_t fa, int32_t fb) {
        int16_t d[kStrip];
        for (int32_t f = fa; f < fb; ++f) {
            const uint8_t* g = cells.gray.data() + std::size_t(f) * std::size_t(R);
            const uchar* px = rows + 3 * std::size_t(f - part.f0);
            int any = 0;
            for (int32_t i = 0; i < n; ++i, px += stride) {
                const int32_t k = spectrum ? r0 + i : R - 1 - (r0 + i);
                d[i] = int16_t((int(px[0]) + int(px[1]) + int(px[2])) / 3 - int(g[k]));
                any |= d[i];
            }
            if (!any)
                continue;
            int32_t& slot = part.slot[std::size_t(f - part.f0)];
            if (slot < 0) {
                slot = int32_t(part.frames.size());
                part.frames.push_back(f);
                part.diffs.resize(part.diffs.size() + std::size_t(R), 0);
            }
            // the strip's rows of the frame (zeros where unchanged, as they were)
            int16_t* out = part.diffs.data() + std::size_t(slot) * std::size_t(R);
            for (int32_t i = 0; i < n; ++i)
                out[spectrum ? r0 + i : R - 1 - (r0 + i)] = d[i];
        }
    };
    // A part's frames a tile at a time: the tile's gray levels row after row first, so
    // that a plain comparison of whole rows passes over the unchanged tiles quickly.
    auto scan = [&](Part& part, const uchar* rows, std::size_t stride, int32_t r0, int32_t n,
                    uint8_t* tile) {
        for (int32_t t0 = part.f0; t0 < part.f1; t0 += kTileFrames) {
            const int32_t t1 = std::min(part.f1, t0 + kTileFrames);
            const uchar* px = rows + 3 * std::size_t(t0 - part.f0);
            if (shown.row0) {
                const uchar* levels = shown.row0 + r0 * shown.stride + leftMargin + t0;
                if (tileDiffers(px, stride, levels, shown.stride, n, t1 - t0))
                    record(part, rows, stride, r0, n, t0, t1);
                continue;
            }
            for (int32_t f = t0; f < t1; ++f) {
                const uint8_t* g = cells.gray.data() + std::size_t(f) * std::size_t(R);
                for (int32_t i = 0; i < n; ++i)
                    tile[std::size_t(i) * kTileFrames + std::size_t(f - t0)]
                        = g[spectrum ? r0 + i : R - 1 - (r0 + i)];
            }
            if (tileDiffers(px, stride, tile, kTileFrames, n, t1 - t0))
                record(part, rows, stride, r0, n, t0, t1);
        }
    };
    const std::atomic<bool>* cancel = currentCancelFlag();
    std::atomic<bool> failed{false};
    parallelFor(
        count,
        [&](std::size_t w0, std::size_t w1) {
            uint8_t tile[kStrip * kTileFrames];
            for (std::size_t w = w0; w < w1; ++w) {
                Part& part = parts[w];
                const auto bytes = 3 * std::size_t(part.f1 - part.f0);
                const int64_t column = 3 * int64_t(leftMargin + part.f0);
                std::vector<uchar> rows(std::size_t(kStrip) * bytes);
                for (int32_t r0 = 0; r0 < R && !failed.load(std::memory_order_relaxed);
                     r0 += kStrip) {
                    throwIfCancelled(cancel);
                    const int32_t n = std::min(kStrip, R - r0);
                    for (int32_t i = 0; i < n; ++i)
                        if (!read(layout.offset + int64_t(r0 + i) * layout.stride + column, bytes,
                                rows.data() + std::size_t(i) * bytes)) {
                            failed = true;
                            return;
                        }
                    scan(part, rows.data(), bytes, r0, n, tile);
                }
            }
        },
        1);
    if (failed)
        return false;

    CellEdits result;
    result.rows = R;
    std::size_t changed = 0;
    for (const Part& part : parts)
        changed += part.frames.size();
    for (Part& part : parts) {
        // frames in ascending order, with their differences
        std::vector<int32_t> order(part.frames.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = int32_t(i);
        std::sort(order.begin(), order.end(), [&](int32_t x, int32_t y) {
            return part.frames[std::size_t(x)] < part.frames[std::size_t(y)];
        });
        const bool sorted = std::is_sorted(part.frames.begin(), part.frames.end());
        if (sorted && part.frames.size() == changed) {
            result.frames = std::move(part.frames);
            result.diffs = std::move(part.diffs);
            continue;
        }
        // room for every part's differences at once, each part's freed once copied
        result.frames.reserve(changed);
        result.diffs.reserve(changed * std::size_t(R));
        for (const int32_t i : order) {
            result.frames.push_back(part.frames[std::size_t(i)]);
            const auto at = part.diffs.begin() + std::ptrdiff_t(i) * R;
            result.diffs.insert(result.diffs.end(), at, at + R);
        }
        part.diffs = {};
    }
    *edits = std::move(result);
    return true;
}

} // namespace

bool cellEditsOfBmp(const GrayCells& cells, const QByteArray& bytes, int32_t leftMargin,
    int32_t topMargin, CellEdits* edits, const QImage* shown)
{
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    const int64_t size = bytes.size();
    BmpRows layout;
    if (!plainBmpRows(cells, b, size, leftMargin, topMargin, &layout))
        return false;
    return editsOfBmpRows(
        cells, layout, leftMargin, shownRowsOf(cells, shown, leftMargin, topMargin),
        [&](int64_t offset, std::size_t n, uchar* dst) {
            std::memcpy(dst, b + offset, n); // inside the bytes: plainBmpRows checked
            return true;
        },
        edits);
}

bool cellEditsOfBmpFile(const GrayCells& cells, int fd, int32_t leftMargin, int32_t topMargin,
    CellEdits* edits, const QImage* shown)
{
    auto readAt = [fd](int64_t offset, std::size_t n, uchar* dst) {
        while (n > 0) {
            const ssize_t got = ::pread(fd, dst, n, off_t(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            dst += got;
            offset += got;
            n -= std::size_t(got);
        }
        return true;
    };
    struct stat st { };
    uchar header[54];
    BmpRows layout;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 54
        || !readAt(0, sizeof header, header)
        || !plainBmpRows(cells, header, int64_t(st.st_size), leftMargin, topMargin, &layout))
        return false;
    CellEdits found;
    if (!editsOfBmpRows(cells, layout, leftMargin, shownRowsOf(cells, shown, leftMargin, topMargin),
            readAt, &found))
        return false;
    *edits = std::move(found);
    return true;
}

} // namespace kestrelon
