#pragma once
// Painting on the gray cells of the display picture as a paint program paints on its
// pixels: brushes, an eraser, rectangle and lasso selections and a harmonic brush.
//
// A tool first marks what it covers (CellCoverage), in cells coordinates: frame f and
// cells row k (bin k in the spectrum view, quefrency k in the cepstrum view; see
// spectral/Pipeline.h). Cell (f, k) spans [f, f + 1) x [k, k + 1); its centre is
// (f + 0.5, k + 0.5). Coverage is 0 .. 255 per cell, 255 the whole cell; a cell that one
// stroke passes twice keeps the larger coverage, so a stroke changes a cell once, however
// often the brush went over it.
//
// Then strokeEdits turns the coverage into the gray-level differences an edited picture
// would have (CellEdits): exactly those of the picture paintedPicture makes, so applying
// them and importing that picture from a file are the same edit. A gain of g dB is
// 2 g gray levels (0.5 dB per level): a cell covered c / 255 moves by
// lround(c / 255 * 2 g) levels, the result clamped to 0 .. 255.

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include <QImage>
#include <QPointF>

#include "spectral/Pipeline.h"

namespace kestrelon {

// The default brush gain: -20 dB, 40 gray levels darker.
inline constexpr double kDefaultBrushGainDb = -20.0;

// A round brush: its diameter in cells and its edge. A hard brush covers the cells whose
// centre lies within size / 2 of the dab's centre cell; a soft one covers those within
// size / 4 fully and fades linearly to nothing at size / 2 + 0.5.
struct BrushShape {
    int32_t size = 9;
    bool soft = false;
};

class CellCoverage {
public:
    // Coverage of cells with `rows` rows per frame and `frames` frames; nothing outside
    // is ever covered.
    CellCoverage() = default;
    CellCoverage(int32_t frames, int32_t rows);

    int32_t frames() const { return FFrames; }
    int32_t rows() const { return FRows; }
    bool empty() const { return FColumns.empty(); }
    uint8_t at(int32_t frame, int32_t row) const;
    // The frames [first, end) that hold covered cells; {0, 0} when empty.
    std::pair<int32_t, int32_t> frameRange() const;
    // Covered frames with their coverage, rows 0 .. rows - 1 each.
    const std::map<int32_t, std::vector<uint8_t>>& columns() const { return FColumns; }

    // A dab of the brush centred on cell (frame, row).
    void dab(int32_t frame, int32_t row, const BrushShape& brush);
    // Dabs on every cell of the straight line from one cell to another, both included.
    void line(int32_t frame0, int32_t row0, int32_t frame1, int32_t row1, const BrushShape& brush);
    // The harmonic brush: a dab on row (a partial) and on every multiple of it up to the
    // last row; on row 0 only the dab itself.
    void harmonicDab(int32_t frame, int32_t row, const BrushShape& brush);
    void harmonicLine(
        int32_t frame0, int32_t row0, int32_t frame1, int32_t row1, const BrushShape& brush);
    // The cells of the rectangle with these corner cells, both included, fully covered.
    void rectangle(int32_t frame0, int32_t row0, int32_t frame1, int32_t row1);
    // The cells whose centre lies inside the polygon (cells coordinates, closed between
    // its last point and its first; even-odd rule), fully covered.
    void lasso(const std::vector<QPointF>& polygon);

private:
    struct Stamp; // a brush's coverage around its centre, worked out once per stroke
    static Stamp stampOf(const BrushShape& brush);
    void cover(int32_t frame, int32_t row, uint8_t amount);
    void stamp(int32_t frame, int32_t row, const Stamp& s);
    void harmonicStamp(int32_t frame, int32_t row, const Stamp& s);

    int32_t FFrames = 0;
    int32_t FRows = 0;
    std::map<int32_t, std::vector<uint8_t>> FColumns;
};

// What a stroke does to the cells it covers.
enum class PaintKind : uint8_t {
    Gain, // gainDb, negative darker (quieter), positive lighter (louder)
    Silence, // black: level 0
    Erase, // back to the level of the cell in the reference (the sound as it was opened)
};

struct PaintStroke {
    CellCoverage coverage;
    PaintKind kind = PaintKind::Gain;
    double gainDb = kDefaultBrushGainDb;
};

// The level a cell of level `level` gets from a stroke that covers it `coverage` (the
// formulas below); reference is the eraser's level for the cell.
int paintedLevel(const PaintStroke& stroke, int level, uint8_t coverage, int reference);

// The edits of a stroke on cells (frames and rows of the coverage must be theirs,
// RangeError otherwise). A covered cell of level g becomes, for coverage c (a = c / 255):
//   Gain:    clamp(g + lround(a * 2 * gainDb), 0, 255)
//   Silence: g - lround(a * g)
//   Erase:   g + lround(a * (reference level - g))
// reference is read by Erase only, and must then have the cells' geometry.
CellEdits strokeEdits(
    const GrayCells& cells, const PaintStroke& stroke, const GrayCells* reference = nullptr);

// The picture (Format_Grayscale8 drawn from cells, imaging/PictureCells.h) with the edits
// applied to its data cells: what a paint program would save after the same strokes.
QImage paintedPicture(const QImage& picture, const GrayCells& cells, const CellEdits& edits,
    int32_t leftMargin, int32_t topMargin);

// Where cells lie in the picture: the picture position (x, y) in pixels, continuous,
// pixel (px, py) spanning [px, px + 1) x [py, py + 1), against cells coordinates. In the
// spectrum view rows are flipped: picture row topMargin + N/2 - k is cells row k.
struct CellMapping {
    SpectralView view = SpectralView::Spectrum;
    int32_t rows = 0; // N / 2 + 1
    int32_t leftMargin = 48;
    int32_t topMargin = 16;

    QPointF cellOf(QPointF picture) const;
    QPointF pictureOf(QPointF cell) const;
};

} // namespace kestrelon
