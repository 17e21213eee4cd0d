#include "imaging/PictureCells.h"

#include <algorithm>
#include <new>
#include <string>

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

} // namespace

QSize cellPictureSize(const GrayCells& cells, int32_t leftMargin, int32_t topMargin)
{
    return QSize(checkedAdd<int32_t>(leftMargin, cells.frames, "picture width"),
        checkedAdd<int32_t>(topMargin, cells.rows, "picture height"));
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
    int32_t topMargin, CellEdits* edits, QString* reason)
{
    const QSize expected = cellPictureSize(cells, leftMargin, topMargin);
    if (edited.size() != expected || edited.format() != QImage::Format_RGB32) {
        if (reason)
            *reason = QStringLiteral("the picture is %1 x %2 pixels, but the display picture is "
                                     "%3 x %4")
                          .arg(edited.width())
                          .arg(edited.height())
                          .arg(expected.width())
                          .arg(expected.height());
        return false;
    }
    const int32_t F = cells.frames;
    const int32_t R = cells.rows;
    const uchar* const bits = edited.constBits();
    const qsizetype stride = edited.bytesPerLine();
    // d of cell (f, k) into out[(f - f0) * R + k] for the frames of one tile; whether any is
    // not 0.
    auto differences = [&](int32_t f0, int32_t f1, int16_t* out) {
        bool any = false;
        for (int32_t k = 0; k < R; ++k) {
            const auto* line = reinterpret_cast<const QRgb*>(
                bits + qsizetype(pictureRow(cells, k, topMargin)) * stride);
            const uint8_t* g
                = cells.gray.data() + std::size_t(f0) * std::size_t(R) + std::size_t(k);
            for (int32_t f = f0; f < f1; ++f, g += R) {
                const QRgb p = line[leftMargin + f];
                const int d = (int(qBlue(p)) + int(qGreen(p)) + int(qRed(p))) / 3 - int(*g);
                out[std::size_t(f - f0) * std::size_t(R) + std::size_t(k)]
                    = static_cast<int16_t>(d);
                any = any || d != 0;
            }
        }
        return any;
    };

    // First which frames changed, then their differences.
    const auto tiles = std::size_t((F + kTileFrames - 1) / kTileFrames);
    std::vector<uint8_t> changed(std::size_t(F), 0);
    parallelFor(
        tiles,
        [&](std::size_t t0, std::size_t t1) {
            std::vector<int16_t> tile(std::size_t(kTileFrames) * std::size_t(R));
            for (std::size_t t = t0; t < t1; ++t) {
                const int32_t f0 = int32_t(t) * kTileFrames;
                const int32_t f1 = std::min(F, f0 + kTileFrames);
                if (!differences(f0, f1, tile.data()))
                    continue;
                for (int32_t f = f0; f < f1; ++f) {
                    const int16_t* d = tile.data() + std::size_t(f - f0) * std::size_t(R);
                    changed[std::size_t(f)]
                        = std::any_of(d, d + R, [](int16_t x) { return x != 0; });
                }
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
            std::vector<int16_t> tile(std::size_t(kTileFrames) * std::size_t(R));
            for (std::size_t t = t0; t < t1; ++t) {
                const int32_t f0 = int32_t(t) * kTileFrames;
                const int32_t f1 = std::min(F, f0 + kTileFrames);
                if (std::none_of(changed.begin() + f0, changed.begin() + f1,
                        [](uint8_t c) { return c != 0; }))
                    continue;
                differences(f0, f1, tile.data());
                for (int32_t f = f0; f < f1; ++f)
                    if (index[std::size_t(f)] >= 0)
                        std::copy_n(tile.data() + std::size_t(f - f0) * std::size_t(R), R,
                            result.diffs.data()
                                + std::size_t(index[std::size_t(f)]) * std::size_t(R));
            }
        },
        1);
    *edits = std::move(result);
    return true;
}

} // namespace kestrelon
