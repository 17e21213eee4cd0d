// The view of the picture zoomed and scrolled: which picture pixel each view pixel shows,
// and axes whose steps follow the zoom.

#include <gtest/gtest.h>

#include "GuiEnvironment.h"
#include "HandAnalysis.h"
#include "imaging/ZoomedView.h"

namespace kestrelon::test {
namespace {

constexpr QRgb kBackground = 0xFF123456u;

TEST(ZoomedView, EachViewPixelShowsThePicturePixelUnderItsCentre)
{
    // Margins 2 wide and 1 high around 6 x 4 data pixels; pixel (x, y) has level 10 y + x.
    QImage picture(8, 5, QImage::Format_Grayscale8);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 8; ++x)
            picture.scanLine(y)[x] = uchar(10 * y + x);
    ViewGeometry g;
    g.leftMargin = 2;
    g.topMargin = 1;
    g.zoomX = 2.0;
    g.zoomY = 0.5;
    g.scroll = QPoint(1, 0);
    QImage out(16, 4, QImage::Format_RGB32);
    renderView(out, picture, g, ColorMap::Gray, kBackground);
    const auto level = [&](int x, int y) {
        return out.pixel(x, y) == kBackground ? -1 : qBlue(out.pixel(x, y));
    };
    // Columns: the margin's 0 and 1, then data column 0 once (scrolled by one of its two
    // view pixels), 1 twice, ... 5 twice, then nothing.
    const int columns[16] = {0, 1, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, -1, -1, -1};
    // Rows: the margin's 0, then data rows 1 and 3 (every second one, by their centres).
    const int rows[4] = {0, 2, 4, -1};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(level(x, y), rows[y] < 0 || columns[x] < 0 ? -1 : 10 * rows[y] + columns[x])
                << x << "," << y;
    // A colour map paints the data, not the margins; a part of the view rendered on its
    // own is the same part of the whole.
    QImage part(5, 2, QImage::Format_RGB32);
    renderView(part, picture, g, ColorMap::Viridis, kBackground, QPoint(1, 1));
    EXPECT_EQ(part.pixel(0, 0), qRgb(21, 21, 21)); // margin pixel (1, 2)
    EXPECT_EQ(part.pixel(2, 1), colorMapTable(ColorMap::Viridis)[43]);
    EXPECT_EQ(g.pictureAt(g.viewAt(QPointF(4.25, 3.5))), QPointF(4.25, 3.5));
}

TEST(ZoomedView, AxesFollowTheZoom)
{
    ensureGuiApplication();
    // 44.1 kHz, N = 1024, 100 frames: at zoom 1 the view draws the picture's own axes.
    HandAnalysis a(44100, 100 * 512 / 44100.0, 1024, 100);
    const DrawContext ctx = a.context(kSpectrumView);
    QImage own(48 + 100, 16 + 513, QImage::Format_RGB32);
    own.fill(Qt::gray);
    DrawAxes(own, ctx);
    QImage view = own.copy();
    view.fill(Qt::gray);
    drawViewAxes(view, own.size(), ViewGeometry{}, ctx);
    EXPECT_TRUE(view == own);

    // At 8 view pixels a frame the time step is 0.1 s: labelled ticks every 0.05 s, on the
    // centre of the column of the frame that holds it (0.05 s is in frame 4: 48 + 36).
    ViewGeometry g;
    g.zoomX = 8.0;
    QImage zoomed(400, 16 + 513, QImage::Format_RGB32);
    zoomed.fill(Qt::gray);
    drawViewAxes(zoomed, own.size(), g, ctx);
    for (int y = 0; y < 16; ++y) {
        EXPECT_EQ(zoomed.pixel(48 + 36, y), qRgb(255, 255, 255)) << y;
        EXPECT_EQ(
            zoomed.pixel(48 + 36 + 1, y), y < 12 ? zoomed.pixel(48 + 36 + 1, y) : qRgb(0, 0, 0));
    }
    // Scrolled 30 pixels: the tick moves with the data, the frequency axis stays.
    g.scroll = QPoint(30, 0);
    QImage scrolled = zoomed.copy();
    scrolled.fill(Qt::gray);
    drawViewAxes(scrolled, own.size(), g, ctx);
    EXPECT_EQ(scrolled.pixel(48 + 6, 0), qRgb(255, 255, 255));
    EXPECT_TRUE(scrolled.copy(0, 16, 48, 513) == zoomed.copy(0, 16, 48, 513));
}

} // namespace
} // namespace kestrelon::test
