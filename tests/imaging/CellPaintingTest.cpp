// The paint tools' cell changes, pixel by pixel, on small pictures.

#include <gtest/gtest.h>

#include "GuiEnvironment.h"
#include "base/Errors.h"
#include "imaging/CellPainting.h"
#include "imaging/PictureCells.h"

namespace kestrelon::test {
namespace {

// frames x rows cells of one gray level.
GrayCells flatCells(
    int32_t frames, int32_t rows, uint8_t level, SpectralView view = SpectralView::Spectrum)
{
    GrayCells c;
    c.view = view;
    c.fftLength = 2 * (rows - 1);
    c.frames = frames;
    c.rows = rows;
    c.gray.assign(std::size_t(frames) * std::size_t(rows), level);
    return c;
}

// The level of every cell after the edits.
std::vector<int> levelsAfter(const GrayCells& cells, const CellEdits& edits)
{
    std::vector<int> g(cells.gray.begin(), cells.gray.end());
    for (std::size_t i = 0; i < edits.frames.size(); ++i)
        for (int32_t k = 0; k < cells.rows; ++k)
            g[std::size_t(edits.frames[i]) * std::size_t(cells.rows) + std::size_t(k)]
                += edits.diffs[i * std::size_t(cells.rows) + std::size_t(k)];
    return g;
}

PaintStroke gainStroke(const GrayCells& cells, double db)
{
    PaintStroke s;
    s.coverage = CellCoverage(cells.frames, cells.rows);
    s.gainDb = db;
    return s;
}

TEST(CellPainting, BrushEdgesHardAndSoft)
{
    const GrayCells cells = flatCells(12, 12, 200);
    // Hard, size 3: the 3 x 3 cells around the centre, -20 dB = 40 levels darker.
    PaintStroke hard = gainStroke(cells, kDefaultBrushGainDb);
    hard.coverage.dab(5, 5, {3, false});
    const std::vector<int> h = levelsAfter(cells, strokeEdits(cells, hard));
    for (int32_t f = 0; f < 12; ++f)
        for (int32_t k = 0; k < 12; ++k)
            EXPECT_EQ(h[std::size_t(f * 12 + k)],
                std::abs(f - 5) <= 1 && std::abs(k - 5) <= 1 ? 160 : 200)
                << f << "," << k;
    // Soft, size 5, +10 dB: full within 1.25 cells, fading to nothing at 3 cells;
    // the cell 2 away is covered (3 - 2) / 1.75 = 146/255: lround(146/255 * 20) = 11.
    PaintStroke soft = gainStroke(cells, 10.0);
    soft.coverage.dab(5, 5, {5, true});
    const std::vector<int> s = levelsAfter(cells, strokeEdits(cells, soft));
    const auto at = [&](int32_t f, int32_t k) { return s[std::size_t(f * 12 + k)]; };
    EXPECT_EQ(at(5, 5), 220);
    EXPECT_EQ(at(6, 5), 220);
    EXPECT_EQ(at(7, 5), 211);
    EXPECT_EQ(at(6, 6), 218); // sqrt 2 away: 255 (3 - 1.414) / 1.75 = 231, 18 levels
    EXPECT_EQ(at(8, 5), 200);
    EXPECT_EQ(at(5, 2), 200);
    // Clamped at white; a line covers each cell once however many dabs pass it.
    PaintStroke bright = gainStroke(cells, 40.0);
    bright.coverage.line(1, 1, 9, 1, {1, false});
    bright.coverage.line(9, 1, 1, 1, {1, false});
    const std::vector<int> b = levelsAfter(cells, strokeEdits(cells, bright));
    for (int32_t f = 0; f < 12; ++f)
        EXPECT_EQ(b[std::size_t(f * 12 + 1)], f >= 1 && f <= 9 ? 255 : 200);
    EXPECT_EQ(strokeEdits(cells, bright).frames.size(), 9u);
}

TEST(CellPainting, LassoCoversTheCellsWhoseCentreIsInside)
{
    const GrayCells cells = flatCells(10, 10, 100);
    PaintStroke s;
    s.kind = PaintKind::Silence;
    s.coverage = CellCoverage(10, 10);
    // A right triangle with corners (1, 1), (8, 1), (1, 8): the centre (f + .5, k + .5)
    // is inside when it lies strictly below the hypotenuse x + y = 9.
    s.coverage.lasso({{1, 1}, {8, 1}, {1, 8}});
    const std::vector<int> g = levelsAfter(cells, strokeEdits(cells, s));
    for (int32_t f = 0; f < 10; ++f)
        for (int32_t k = 0; k < 10; ++k) {
            const bool inside = f >= 1 && k >= 1 && f + k + 1 < 9;
            EXPECT_EQ(g[std::size_t(f * 10 + k)], inside ? 0 : 100) << f << "," << k;
        }
    // The rectangle: corner cells included, and nothing outside the picture.
    PaintStroke r = gainStroke(cells, -1.5);
    r.coverage.rectangle(8, 7, 12, -3);
    const std::vector<int> rg = levelsAfter(cells, strokeEdits(cells, r));
    for (int32_t f = 0; f < 10; ++f)
        for (int32_t k = 0; k < 10; ++k)
            EXPECT_EQ(rg[std::size_t(f * 10 + k)], f >= 8 && k <= 7 ? 97 : 100);
}

TEST(CellPainting, HarmonicsAndEraser)
{
    ensureGuiApplication();
    // Rows 0 .. 16 (N = 32): a partial on row 3 paints rows 3, 6, 9, 12 and 15.
    for (const SpectralView view : {SpectralView::Spectrum, SpectralView::Cepstrum}) {
        const GrayCells cells = flatCells(4, 17, 120, view);
        PaintStroke s = gainStroke(cells, -6.0);
        s.coverage.harmonicLine(1, 3, 2, 3, {1, false});
        const CellEdits edits = strokeEdits(cells, s);
        ASSERT_EQ(edits.frames, (std::vector<int32_t>{1, 2}));
        // In the picture: upwards from 0 Hz in the spectrum view, downwards from
        // quefrency 0 in the cepstrum view.
        const QImage before = drawCells(cells, DrawContext{});
        const QImage after = paintedPicture(before, cells, edits, 48, 16);
        for (int32_t y = 16; y < 16 + 17; ++y) {
            const int32_t k = view == SpectralView::Spectrum ? 16 - (y - 16) : y - 16;
            const int expected = k >= 3 && k % 3 == 0 ? 108 : 120;
            EXPECT_EQ(after.pixelColor(49, y).blue(), expected) << "row " << y;
            EXPECT_EQ(after.pixelColor(48, y).blue(), 120);
        }
    }
    // The eraser moves covered cells back to the reference's levels, by its coverage.
    const GrayCells cells = flatCells(6, 5, 30);
    GrayCells reference = cells;
    for (std::size_t i = 0; i < reference.gray.size(); ++i)
        reference.gray[i] = uint8_t(7 * i);
    PaintStroke e;
    e.kind = PaintKind::Erase;
    e.coverage = CellCoverage(6, 5);
    e.coverage.rectangle(2, 0, 3, 4);
    const std::vector<int> g = levelsAfter(cells, strokeEdits(cells, e, &reference));
    for (std::size_t i = 0; i < g.size(); ++i)
        EXPECT_EQ(g[i], i / 5 == 2 || i / 5 == 3 ? int(reference.gray[i]) : 30) << i;
    EXPECT_THROW(strokeEdits(cells, e), RangeError);
}

} // namespace
} // namespace kestrelon::test
