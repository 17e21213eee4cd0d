#include "imaging/CellPainting.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/Errors.h"

namespace kestrelon {

CellCoverage::CellCoverage(int32_t frames, int32_t rows)
    : FFrames(std::max(0, frames))
    , FRows(std::max(0, rows))
{
}

uint8_t CellCoverage::at(int32_t frame, int32_t row) const
{
    const auto it = FColumns.find(frame);
    if (it == FColumns.end() || row < 0 || row >= FRows)
        return 0;
    return it->second[std::size_t(row)];
}

std::pair<int32_t, int32_t> CellCoverage::frameRange() const
{
    if (FColumns.empty())
        return {0, 0};
    return {FColumns.begin()->first, FColumns.rbegin()->first + 1};
}

void CellCoverage::cover(int32_t frame, int32_t row, uint8_t amount)
{
    if (amount == 0 || frame < 0 || frame >= FFrames || row < 0 || row >= FRows)
        return;
    std::vector<uint8_t>& column = FColumns[frame];
    if (column.empty())
        column.assign(std::size_t(FRows), 0);
    uint8_t& c = column[std::size_t(row)];
    c = std::max(c, amount);
}

// A brush's coverage around its centre cell: reach cells either way, frame after frame
// of 2 reach + 1 amounts, the centre in the middle.
struct CellCoverage::Stamp {
    int32_t reach = 0;
    std::vector<uint8_t> amounts;
};

CellCoverage::Stamp CellCoverage::stampOf(const BrushShape& brush)
{
    const double r = std::max(1, brush.size) / 2.0;
    const double outer = brush.soft ? r + 0.5 : r; // nothing is covered beyond
    const double inner = brush.soft ? r / 2.0 : r; // fully covered within
    Stamp s;
    s.reach = int32_t(std::ceil(outer));
    const int32_t side = 2 * s.reach + 1;
    s.amounts.resize(std::size_t(side) * std::size_t(side));
    for (int32_t di = -s.reach; di <= s.reach; ++di)
        for (int32_t dk = -s.reach; dk <= s.reach; ++dk) {
            const double d = std::hypot(double(di), double(dk));
            double a = 0.0;
            if (d <= inner)
                a = 1.0;
            else if (d < outer)
                a = (outer - d) / (outer - inner);
            s.amounts[std::size_t(di + s.reach) * std::size_t(side) + std::size_t(dk + s.reach)]
                = uint8_t(std::lround(255.0 * a));
        }
    return s;
}

void CellCoverage::stamp(int32_t frame, int32_t row, const Stamp& s)
{
    const int32_t side = 2 * s.reach + 1;
    for (int32_t di = -s.reach; di <= s.reach; ++di) {
        const int64_t f = int64_t(frame) + di;
        if (f < 0 || f >= FFrames)
            continue;
        const uint8_t* amounts = s.amounts.data() + std::size_t(di + s.reach) * std::size_t(side);
        std::vector<uint8_t>* column = nullptr; // found or made once per frame
        for (int32_t dk = -s.reach; dk <= s.reach; ++dk) {
            const int64_t k = int64_t(row) + dk;
            const uint8_t amount = amounts[dk + s.reach];
            if (k < 0 || k >= FRows || amount == 0)
                continue;
            if (!column) {
                column = &FColumns[int32_t(f)];
                if (column->empty())
                    column->assign(std::size_t(FRows), 0);
            }
            uint8_t& c = (*column)[std::size_t(k)];
            c = std::max(c, amount);
        }
    }
}

void CellCoverage::dab(int32_t frame, int32_t row, const BrushShape& brush)
{
    stamp(frame, row, stampOf(brush));
}

namespace {

// Calls at(frame, row) on every cell of the line from one cell to another, both included:
// one cell per step along the longer axis.
template <class At> void eachCellOfLine(int32_t f0, int32_t k0, int32_t f1, int32_t k1, At&& at)
{
    const int64_t df = int64_t(f1) - f0, dk = int64_t(k1) - k0;
    const int64_t n = std::max(std::llabs(df), std::llabs(dk));
    if (n == 0) {
        at(f0, k0);
        return;
    }
    for (int64_t t = 0; t <= n; ++t)
        at(int32_t(f0 + std::llround(double(df * t) / double(n))),
            int32_t(k0 + std::llround(double(dk * t) / double(n))));
}

} // namespace

void CellCoverage::line(
    int32_t frame0, int32_t row0, int32_t frame1, int32_t row1, const BrushShape& brush)
{
    const Stamp s = stampOf(brush);
    eachCellOfLine(frame0, row0, frame1, row1, [&](int32_t f, int32_t k) { stamp(f, k, s); });
}

void CellCoverage::harmonicStamp(int32_t frame, int32_t row, const Stamp& s)
{
    stamp(frame, row, s);
    if (row <= 0)
        return;
    for (int64_t k = 2 * int64_t(row); k < FRows; k += row)
        stamp(frame, int32_t(k), s);
}

void CellCoverage::harmonicDab(int32_t frame, int32_t row, const BrushShape& brush)
{
    harmonicStamp(frame, row, stampOf(brush));
}

void CellCoverage::harmonicLine(
    int32_t frame0, int32_t row0, int32_t frame1, int32_t row1, const BrushShape& brush)
{
    const Stamp s = stampOf(brush);
    eachCellOfLine(
        frame0, row0, frame1, row1, [&](int32_t f, int32_t k) { harmonicStamp(f, k, s); });
}

void CellCoverage::rectangle(int32_t frame0, int32_t row0, int32_t frame1, int32_t row1)
{
    const int32_t f0 = std::max(0, std::min(frame0, frame1));
    const int32_t f1 = std::min(FFrames - 1, std::max(frame0, frame1));
    const int32_t k0 = std::max(0, std::min(row0, row1));
    const int32_t k1 = std::min(FRows - 1, std::max(row0, row1));
    for (int32_t f = f0; f <= f1; ++f)
        for (int32_t k = k0; k <= k1; ++k)
            cover(f, k, 255);
}

void CellCoverage::lasso(const std::vector<QPointF>& polygon)
{
    if (polygon.size() < 3)
        return;
    double minX = polygon[0].x(), maxX = minX, minY = polygon[0].y(), maxY = minY;
    for (const QPointF& p : polygon) {
        minX = std::min(minX, p.x());
        maxX = std::max(maxX, p.x());
        minY = std::min(minY, p.y());
        maxY = std::max(maxY, p.y());
    }
    const auto clampTo
        = [](double v, int32_t hi) { return int32_t(std::clamp(v, -1.0, double(hi))); };
    const int32_t f0 = clampTo(std::floor(minX), FFrames), f1 = clampTo(std::ceil(maxX), FFrames);
    const int32_t k0 = clampTo(std::floor(minY), FRows), k1 = clampTo(std::ceil(maxY), FRows);
    // For each row of cell centres, the crossings of the polygon's edges; the centres
    // between the first and second crossing, the third and fourth, ... are inside.
    std::vector<double> crossings;
    for (int32_t k = std::max(0, k0); k < std::min(FRows, k1 + 1); ++k) {
        const double y = k + 0.5;
        crossings.clear();
        for (std::size_t i = 0; i < polygon.size(); ++i) {
            const QPointF& a = polygon[i];
            const QPointF& b = polygon[(i + 1) % polygon.size()];
            if ((a.y() <= y) != (b.y() <= y))
                crossings.push_back(a.x() + (y - a.y()) * (b.x() - a.x()) / (b.y() - a.y()));
        }
        std::sort(crossings.begin(), crossings.end());
        for (std::size_t i = 0; i + 1 < crossings.size(); i += 2)
            for (int32_t f = std::max(0, f0); f < std::min(FFrames, f1 + 1); ++f) {
                const double x = f + 0.5;
                if (x > crossings[i] && x < crossings[i + 1])
                    cover(f, k, 255);
            }
    }
}

int paintedLevel(const PaintStroke& stroke, int level, uint8_t coverage, int reference)
{
    const double a = coverage / 255.0;
    switch (stroke.kind) {
    case PaintKind::Gain:
        return std::clamp(
            level + int(std::lround(a * std::clamp(2.0 * stroke.gainDb, -255.0, 255.0))), 0, 255);
    case PaintKind::Silence:
        return level - int(std::lround(a * level));
    case PaintKind::Erase:
        return level + int(std::lround(a * (reference - level)));
    }
    return level;
}

CellEdits strokeEdits(const GrayCells& cells, const PaintStroke& stroke, const GrayCells* reference)
{
    const CellCoverage& c = stroke.coverage;
    if (c.rows() != cells.rows || c.frames() != cells.frames)
        throw RangeError("the stroke does not fit the picture's cells");
    if (stroke.kind == PaintKind::Erase
        && (!reference || reference->rows != cells.rows || reference->frames != cells.frames))
        throw RangeError("the eraser has no cells of the sound as it was opened");
    if (!std::isfinite(stroke.gainDb))
        throw FloatError("the brush gain is not a finite number");
    CellEdits edits;
    edits.rows = cells.rows;
    std::vector<int16_t> diffs(std::size_t(cells.rows));
    for (const auto& [frame, column] : c.columns()) {
        bool any = false;
        for (int32_t k = 0; k < cells.rows; ++k) {
            const int g = cells.at(frame, k);
            const int now = paintedLevel(stroke, g, column[std::size_t(k)],
                stroke.kind == PaintKind::Erase ? reference->at(frame, k) : 0);
            diffs[std::size_t(k)] = int16_t(now - g);
            any = any || now != g;
        }
        if (!any)
            continue;
        edits.frames.push_back(frame);
        edits.diffs.insert(edits.diffs.end(), diffs.begin(), diffs.end());
    }
    return edits;
}

QImage paintedPicture(const QImage& picture, const GrayCells& cells, const CellEdits& edits,
    int32_t leftMargin, int32_t topMargin)
{
    if (picture.format() != QImage::Format_Grayscale8 || edits.rows != cells.rows
        || picture.width() != leftMargin + cells.frames
        || picture.height() != topMargin + cells.rows)
        throw RangeError("the edits do not fit the picture");
    QImage painted = picture.copy();
    for (std::size_t i = 0; i < edits.frames.size(); ++i) {
        const int32_t f = edits.frames[i];
        const int16_t* d = edits.diffs.data() + i * std::size_t(edits.rows);
        for (int32_t k = 0; k < cells.rows; ++k) {
            const int32_t y
                = topMargin + (cells.view == SpectralView::Spectrum ? cells.rows - 1 - k : k);
            uchar* p = painted.scanLine(y) + leftMargin + f;
            *p = uchar(std::clamp(int(cells.at(f, k)) + d[k], 0, 255));
        }
    }
    return painted;
}

QPointF CellMapping::cellOf(QPointF picture) const
{
    const double frame = picture.x() - leftMargin;
    const double y = picture.y() - topMargin;
    return {frame, view == SpectralView::Spectrum ? rows - y : y};
}

QPointF CellMapping::pictureOf(QPointF cell) const
{
    const double y = view == SpectralView::Spectrum ? rows - cell.y() : cell.y();
    return {cell.x() + leftMargin, y + topMargin};
}

} // namespace kestrelon
