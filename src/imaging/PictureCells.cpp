#include "imaging/PictureCells.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <string>

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

bool cellEditsOfBmp(const GrayCells& cells, const QByteArray& bytes, int32_t leftMargin,
    int32_t topMargin, CellEdits* edits)
{
    const QSize expected = cellPictureSize(cells, leftMargin, topMargin);
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    const int64_t size = bytes.size();
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
    // Bottom-up: the picture's row y is the file's row height - 1 - y.
    *edits = editsOf<3>(cells, b + offset + (height - 1) * stride, -stride, leftMargin, topMargin);
    return true;
}

} // namespace kestrelon
