#pragma once
// Pieces of a long sound's picture: the columns of a range of frames, with the axes of
// the whole picture (the time axis shows the frames' real times), for paint programs
// that take pictures only up to some width.
//
// A piece of frames [first, end) is (leftMargin + end - first) x (topMargin + R) pixels:
// frame first + i is column leftMargin + i, the rows are those of the whole picture.
// Its cells are the whole sound's cells of those frames, so an edit read from a piece
// (with its frames moved back by `first`) is the edit the same change of the whole
// picture gives.

#include <cstdint>

#include <QImage>

#include "imaging/Picture.h"
#include "spectral/Pipeline.h"

namespace kestrelon {

// Frames [first, end) of an analysis.
struct FrameRange {
    int32_t first = 0;
    int32_t end = 0;

    int32_t frames() const { return end - first; }
    bool operator==(const FrameRange&) const = default;
};

// The range is a non-empty range of the frames of cells.
bool isRangeOf(const GrayCells& cells, FrameRange range);

// The cells of frames range of cells, as cells of their own (frame 0 is range.first).
// RangeError when range is not a non-empty range of cells' frames.
GrayCells cellsOfRange(const GrayCells& cells, FrameRange range);

// The picture of frames range of cells, gray (Format_Grayscale8) like drawCells', with the
// axes of ctx (its firstFrame is taken from range). RangeError as cellsOfRange.
QImage drawRangeCells(const GrayCells& cells, FrameRange range, const DrawContext& ctx);

// Moves the frames of edits read from a piece that starts at frame `first` to their
// places in the whole sound.
void shiftEdits(CellEdits& edits, int32_t first);

} // namespace kestrelon
