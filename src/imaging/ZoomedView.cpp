#include "imaging/ZoomedView.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include <QFontMetrics>
#include <QPainter>

namespace kestrelon {

namespace {

std::array<QRgb, 256> grayTable()
{
    std::array<QRgb, 256> t{};
    for (int g = 0; g < 256; ++g)
        t[std::size_t(g)] = qRgb(g, g, g);
    return t;
}

// Viridis-like: straight lines in RGB between nine colours of rising lightness, from dark
// blue-violet through teal and green to yellow.
std::array<QRgb, 256> viridisTable()
{
    static constexpr int kStops[9][3] = {{68, 1, 84}, {72, 40, 120}, {62, 73, 137}, {49, 104, 142},
        {38, 130, 142}, {31, 158, 137}, {53, 183, 121}, {110, 206, 88}, {253, 231, 37}};
    std::array<QRgb, 256> t{};
    for (int g = 0; g < 256; ++g) {
        const double at = g / 255.0 * 8.0;
        const int i = std::min(7, int(at));
        const double w = at - i;
        int c[3];
        for (int j = 0; j < 3; ++j)
            c[j] = int(std::lround(kStops[i][j] + w * (kStops[i + 1][j] - kStops[i][j])));
        t[std::size_t(g)] = qRgb(c[0], c[1], c[2]);
    }
    return t;
}

// The picture index under the centre of view pixel v along one axis: the margin is
// fixed, the data area scaled and scrolled; -1 outside the picture.
int32_t pictureIndex(int64_t v, int32_t margin, double zoom, int scroll, int32_t pictureSize)
{
    if (v < 0)
        return -1;
    if (v < margin)
        return v < pictureSize ? int32_t(v) : -1;
    const auto i = int64_t(std::floor((double(v + scroll - margin) + 0.5) / zoom));
    return i >= 0 && margin + i < pictureSize ? int32_t(margin + i) : -1;
}

} // namespace

const std::array<QRgb, 256>& colorMapTable(ColorMap map)
{
    static const std::array<QRgb, 256> gray = grayTable();
    static const std::array<QRgb, 256> viridis = viridisTable();
    return map == ColorMap::Viridis ? viridis : gray;
}

QSize ViewGeometry::contentSize(QSize picture) const
{
    const double F = std::max(0, picture.width() - leftMargin);
    const double R = std::max(0, picture.height() - topMargin);
    return {std::min(picture.width(), leftMargin) + int(std::ceil(F * zoomX - 1e-9)),
        std::min(picture.height(), topMargin) + int(std::ceil(R * zoomY - 1e-9))};
}

QPointF ViewGeometry::pictureAt(QPointF view) const
{
    const double cx = view.x() + scroll.x();
    const double cy = view.y() + scroll.y();
    return {cx < leftMargin ? cx : leftMargin + (cx - leftMargin) / zoomX,
        cy < topMargin ? cy : topMargin + (cy - topMargin) / zoomY};
}

QPointF ViewGeometry::viewAt(QPointF picture) const
{
    const double cx
        = picture.x() < leftMargin ? picture.x() : leftMargin + (picture.x() - leftMargin) * zoomX;
    const double cy
        = picture.y() < topMargin ? picture.y() : topMargin + (picture.y() - topMargin) * zoomY;
    return {cx - scroll.x(), cy - scroll.y()};
}

void renderView(QImage& out, const QImage& picture, const ViewGeometry& g, ColorMap map,
    QRgb background, QPoint origin)
{
    const int W = out.width();
    const int H = out.height();
    const std::array<QRgb, 256>& gray = colorMapTable(ColorMap::Gray);
    const std::array<QRgb, 256>& data = colorMapTable(map);
    // Per view column its picture column; the columns come in runs: margin, data, nothing.
    thread_local std::vector<int32_t> columns;
    columns.resize(std::size_t(W));
    int marginEnd = 0, dataEnd = 0;
    for (int x = 0; x < W; ++x) {
        const int64_t vx = int64_t(x) + origin.x();
        columns[std::size_t(x)]
            = pictureIndex(vx, g.leftMargin, g.zoomX, g.scroll.x(), picture.width());
        if (columns[std::size_t(x)] >= 0) {
            if (vx < g.leftMargin)
                marginEnd = x + 1;
            dataEnd = x + 1;
        }
    }
    const int32_t* col = columns.data();
    for (int y = 0; y < H; ++y) {
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        const int32_t row = pictureIndex(
            int64_t(y) + origin.y(), g.topMargin, g.zoomY, g.scroll.y(), picture.height());
        if (row < 0) {
            std::fill(dst, dst + W, background);
            continue;
        }
        const uchar* src = picture.constScanLine(row);
        const QRgb* lut = row < g.topMargin ? gray.data() : data.data();
        int x = 0;
        for (; x < marginEnd; ++x)
            dst[x] = gray[src[col[x]]];
        for (; x < dataEnd; ++x)
            dst[x] = lut[src[col[x]]];
        std::fill(dst + x, dst + W, background);
    }
}

void drawViewAxes(
    QImage& out, QSize picture, const ViewGeometry& g, const DrawContext& ctx, QPoint origin)
{
    const int32_t left = g.leftMargin, top = g.topMargin;
    const QSize content = g.contentSize(picture);
    // Positions below are content positions: the data area unscrolled. The time axis
    // moves with the data sideways only, the frequency axis up and down only.
    const int sx = g.scroll.x(), sy = g.scroll.y();
    const int viewW = origin.x() + out.width(), viewH = origin.y() + out.height();
    const int dataW = std::min(viewW, content.width() - sx);
    const int dataH = std::min(viewH, content.height() - sy);
    QPainter p(&out);
    p.translate(-origin);
    const QColor black(0, 0, 0), white(255, 255, 255);
    p.fillRect(QRect(0, 0, left, dataH), black);
    p.fillRect(QRect(0, 0, dataW, top), black);
    const QRect timeAxis(left, 0, std::max(0, dataW - left), top);
    const QRect frequencyAxis(0, top, left, std::max(0, dataH - top));
    const QFont font = labelFont();
    const QFontMetrics metrics(font);
    p.setFont(font);
    p.setPen(white);
    const auto text = [&](int x, int y, const QString& s) {
        p.fillRect(QRect(x, y, metrics.horizontalAdvance(s), metrics.height()), black);
        p.drawText(QPoint(x, y + metrics.ascent()), s);
    };
    const auto vline
        = [&](int x, int y0, int y1) { p.fillRect(QRect(x - sx, y0, 1, y1 - y0), white); };
    const auto hline
        = [&](int x0, int x1, int y) { p.fillRect(QRect(x0, y - sy, x1 - x0, 1), white); };
    if (ctx.wave && ctx.wave->FFormat.nSamplesPerSec != 0 && ctx.fftLength >= 2) {
        const double rate = ctx.wave->FFormat.nSamplesPerSec;
        const int32_t halfN = ctx.fftLength / 2;
        const int32_t F = picture.width() - left, R = picture.height() - top;
        // Time: the centre of the column of the frame that holds t.
        const double T = halfN / rate;
        const double D = std::pow(10.0, std::ceil(std::log10(50.0 * T / g.zoomX)));
        const auto xOf = [&](double t) {
            const double i = std::min<double>(std::trunc(t / T), F);
            return left + int(std::floor((i + 0.5) * g.zoomX));
        };
        const int viewLeft = left + sx, viewRight = sx + viewW;
        p.setClipRect(timeAxis);
        if (D > 0 && std::isfinite(D)) {
            const double first = std::floor((viewLeft - left) / g.zoomX * T / D) * D;
            for (int64_t n = 0;; ++n) { // minor ticks every D / 10
                const double t = first + double(n) * D / 10.0;
                const int x = xOf(t);
                if (!(t < ctx.wave->FSeconds) || x >= viewRight)
                    break;
                vline(x, top - 4, top);
            }
            int lastLabelEnd = INT32_MIN;
            for (int64_t n = 0;; ++n) { // labelled ticks every D / 2
                const double t = first + double(n) * D / 2.0;
                const int x = xOf(t);
                if (!(t < ctx.wave->FSeconds) || x >= viewRight)
                    break;
                vline(x, 0, top);
                const QString s = formatLabel(t, ctx.locale);
                if (x + 1 > lastLabelEnd) {
                    text(x + 1 - sx, 1, s);
                    lastLabelEnd = x + 1 + metrics.horizontalAdvance(s) + 4;
                }
            }
        }
        const double B = rate / 2.0 / halfN;
        const auto yOfRow = [&](double j) { return top + int(std::floor((j + 0.5) * g.zoomY)); };
        // Frequency labels, each left out where it would cover one already drawn.
        std::vector<std::pair<int, int>> taken; // content rows [top, bottom) of labels
        const auto label = [&](int y, double f, int above) {
            const int y0 = y - above, y1 = y0 + metrics.height();
            for (const auto& [a, b] : taken)
                if (y0 < b && a < y1)
                    return;
            taken.emplace_back(y0, y1);
            text(1, y0 - sy, formatLabel(f, ctx.locale));
        };
        p.setClipRect(frequencyAxis);
        if (ctx.mode == kSpectrumView) {
            const double E = std::pow(10.0, std::ceil(std::log10(50.0 * B / g.zoomY)));
            const auto yOf = [&](double f) { return yOfRow(R - 1 - std::trunc(f / B)); };
            const double nyquist = rate / 2.0;
            for (int64_t n = 0; double(n) * E / 10.0 < nyquist; ++n)
                hline(left - 4, left, yOf(double(n) * E / 10.0));
            for (int64_t n = 0; double(n) * E / 2.0 < nyquist; ++n) {
                const double f = double(n) * E / 2.0;
                hline(left - 8, left, yOf(f));
                label(yOf(f), f, 5);
            }
        } else if (ctx.mode == kCepstrumView) {
            const double L = 2.0 * B;
            const auto yOf = [&](double f) { return yOfRow(std::trunc(rate / f)); };
            const double Q = std::pow(2.0, 1.0 / 12.0);
            for (double f = 880.0; f > L; f = f / Q)
                hline(left - 4, left, yOf(f));
            for (double f = 880.0; f > L; f = f / 2.0) {
                hline(left - 8, left, yOf(f));
                label(yOf(f), f, 5);
            }
            for (double f = 1000.0; f < 5000.0; f = f * 2.0) {
                hline(left - 8, left, yOf(f));
                label(yOf(f), f, f == 1000.0 ? 10 : 5);
            }
        }
    }
    p.setClipping(false);
    text(1, top - 10, QStringLiteral("Hz"));
    text(left - 24, 1, QStringLiteral("Sec"));
}

} // namespace kestrelon
