#include "imaging/RangePicture.h"

#include <algorithm>
#include <string>

#include "base/Errors.h"
#include "imaging/PictureCells.h"

namespace kestrelon {

bool isRangeOf(const GrayCells& cells, FrameRange range)
{
    return range.first >= 0 && range.first < range.end && range.end <= cells.frames;
}

GrayCells cellsOfRange(const GrayCells& cells, FrameRange range)
{
    if (!isRangeOf(cells, range))
        throw RangeError("frames " + std::to_string(range.first) + " .. "
            + std::to_string(range.end) + " are not a range of the " + std::to_string(cells.frames)
            + " frames");
    GrayCells piece;
    piece.view = cells.view;
    piece.fftLength = cells.fftLength;
    piece.frames = range.frames();
    piece.rows = cells.rows;
    const auto begin = cells.gray.begin() + std::ptrdiff_t(range.first) * cells.rows;
    piece.gray.assign(begin, begin + std::ptrdiff_t(piece.frames) * cells.rows);
    return piece;
}

QImage drawRangeCells(const GrayCells& cells, FrameRange range, const DrawContext& ctx)
{
    DrawContext piece = ctx;
    piece.firstFrame = range.first;
    return drawCells(cellsOfRange(cells, range), piece);
}

void shiftEdits(CellEdits& edits, int32_t first)
{
    for (int32_t& f : edits.frames)
        f += first;
}

} // namespace kestrelon
