#pragma once
// PictureView: the scroll box that shows the display picture, zoomed and scrolled.
//
// The picture can be far wider than any window system surface (a 10-minute sound at
// N = 256 is over 100 000 pixels wide), so the view holds no pixmap or child widget of
// the picture's size: it scrolls a viewport and renders only the part that is visible
// (imaging/ZoomedView.h), in device-independent pixels. The data area is zoomed in time
// and frequency, for viewing only; the margins keep their size and stay at the left and
// top edges while the data scrolls, and at a zoom other than 1 the view paints axes whose
// ticks follow the zoom. A gray picture (Format_Grayscale8,
// the document's) is shown through the colour map; any other picture is shown as it is,
// at 1:1.
//
// Positions in signals and setters are picture coordinates (pixels of the picture,
// continuous where they are QPointF).

#include <QAbstractScrollArea>
#include <QImage>
#include <QPainterPath>

#include "imaging/ZoomedView.h"

namespace kestrelon {

class PictureView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    // The picture to show; it is owned elsewhere and must outlive the view (or be
    // replaced by nullptr first). Call pictureChanged() whenever it is redrawn or resized.
    // A picture of another size than before is shown from its left edge, scrolled to the
    // bottom in the spectrum view (0 Hz in sight) and to the top in the cepstrum view.
    void setPicture(const QImage* picture);
    void pictureChanged();
    // What the axes drawn at other zooms read (sound, N, view, margins, locale); the sound
    // must outlive the view or be replaced first. In another view the picture is shown
    // from 0 Hz (spectrum) or quefrency 0 (cepstrum) again.
    void setAxes(const DrawContext& axes);

    // How far the data area is scrolled, in view pixels (at zoom 1, in picture pixels).
    QPoint scrollOffset() const;
    ViewGeometry geometry() const;
    QPointF pictureAt(QPointF viewPosition) const { return geometry().pictureAt(viewPosition); }

    // --- zoom of the view (kMinZoom .. kMaxZoom on each axis) --------------------------
    double zoomX() const { return FZoomX; }
    double zoomY() const { return FZoomY; }
    // Sets the zoom keeping the picture point under viewPosition where it is.
    void setZoom(double zoomX, double zoomY, QPointF viewPosition);
    void zoomBy(double factorX, double factorY); // about the viewport's centre
    void fitToWindow();
    void actualSize(); // 1:1

    ColorMap colorMap() const { return FColorMap; }
    void setColorMap(ColorMap map);

    // Vertical lines over the picture, at picture columns (negative: none): the play-head
    // (solid) and where playing starts (dashed). Only the columns that change are
    // repainted. With follow, the view scrolls to keep the play-head in sight.
    void setPlayHead(int column, bool follow = true);
    void setStartMarker(int column);
    int playHead() const { return FPlayHead; }
    int startMarker() const { return FStartMarker; }

    // Painting: while on, left-button drags are reported as strokes instead of clicks.
    void setPaintMode(bool on);
    bool paintMode() const { return FPaintMode; }
    // A shape drawn over the picture, in picture coordinates: a brush's trail (penWidth
    // in picture pixels) or a selection's outline (penWidth 0). An empty path: none.
    void setOverlay(const QPainterPath& path, double penWidth);

signals:
    // A left click on the picture, in picture coordinates (not in paint mode).
    void pictureClicked(QPoint position);
    // Paint mode: a left-button drag over the view, in picture coordinates.
    void strokePressed(QPointF position);
    void strokeMoved(QPointF position);
    void strokeReleased(QPointF position);
    // The pointer over the viewport (picture coordinates), and when it leaves.
    void pointerMoved(QPointF position);
    void pointerLeft();
    void zoomChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void updateScrollBars();
    // Scrolls to the bottom in the spectrum view, to the top in the cepstrum view.
    void showBottomFirst();
    void updateColumn(int column);
    int viewColumn(int column) const;

    const QImage* FPicture = nullptr;
    QSize FShownSize; // the size of the picture last shown
    DrawContext FAxes;
    double FZoomX = 1.0;
    double FZoomY = 1.0;
    ColorMap FColorMap = ColorMap::Gray;
    QImage FRender; // reused between paints
    int FPlayHead = -1;
    int FStartMarker = -1;
    bool FPaintMode = false;
    bool FStroking = false;
    QPainterPath FOverlay;
    double FOverlayWidth = 0.0;
};

} // namespace kestrelon
