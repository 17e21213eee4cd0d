#pragma once
// The display picture as the window shows it: zoomed in time and frequency, scrolled, in
// gray or in a colour map. Viewing only: the picture itself (and the filter image written
// from it) stays one pixel per cell, gray.
//
// The margins keep their size in pixels and their place at the view's left and top edges
// (the axes stay in sight while the data scrolls); the data area is scaled and scrolled:
// picture column leftMargin + x (x >= 0, continuous) is view column
// leftMargin + x * zoomX - scroll.x, and picture row topMargin + y is view row
// topMargin + y * zoomY - scroll.y. At zoom 1 and no scroll the view shows the picture's
// own pixels, axes included, as they are.

#include <array>
#include <cstdint>

#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QSize>

#include "imaging/Picture.h"

namespace kestrelon {

enum class ColorMap : uint8_t {
    Gray, // level g is (g, g, g): the picture as it is
    Viridis, // dark blue through green to yellow, lightness rising with the level
};

// The 256 colours of a map, 0xFFRRGGBB, level 0 first.
const std::array<QRgb, 256>& colorMapTable(ColorMap map);

struct ViewGeometry {
    double zoomX = 1.0; // view pixels per cell, in time
    double zoomY = 1.0; // view pixels per cell, in frequency (or quefrency)
    int32_t leftMargin = 48;
    int32_t topMargin = 16;
    QPoint scroll; // how far the data area is scrolled, in view pixels

    bool isOneToOne() const { return zoomX == 1.0 && zoomY == 1.0; }
    // The size of a view that shows a picture of this size whole, unscrolled.
    QSize contentSize(QSize picture) const;
    // Picture position (pixels, continuous) of a view position, and back.
    QPointF pictureAt(QPointF view) const;
    QPointF viewAt(QPointF picture) const;
};

// The smallest and largest zoom the view offers.
inline constexpr double kMinZoom = 1.0 / 4096.0;
inline constexpr double kMaxZoom = 64.0;

// Renders the view of picture (Format_Grayscale8) into out (Format_RGB32), whose pixel
// (0, 0) is view pixel origin: each view pixel shows the picture pixel under its centre,
// the data area through the colour map and the margins in gray; what lies beyond the
// picture is background.
void renderView(QImage& out, const QImage& picture, const ViewGeometry& geometry, ColorMap map,
    QRgb background, QPoint origin = QPoint());

// Paints the axes for a zoom other than 1 over the margins of out: black margins, then
// ticks and labels as the picture's own axes place them, with steps that follow the zoom
// (the time step is 10^Ceil(log10(50 T / zoomX)), the frequency step likewise), at the
// content positions of the cells they name. Needs a QGuiApplication for the text.
void drawViewAxes(QImage& out, QSize picture, const ViewGeometry& geometry, const DrawContext& ctx,
    QPoint origin = QPoint());

} // namespace kestrelon
