#include "app/PictureView.h"

#include <algorithm>
#include <cmath>

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

namespace kestrelon {

namespace {

// A pointer position names the view pixel it is in; the picture point is that pixel's
// centre.
QPointF pixelCentre(QPointF position)
{
    return {std::floor(position.x()) + 0.5, std::floor(position.y()) + 0.5};
}

} // namespace

PictureView::PictureView(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    setObjectName(QStringLiteral("ScrollBox1"));
    viewport()->setObjectName(QStringLiteral("Image1"));
    viewport()->setBackgroundRole(QPalette::Window);
    viewport()->setAutoFillBackground(true);
    viewport()->setMouseTracking(true);
    horizontalScrollBar()->setSingleStep(16);
    verticalScrollBar()->setSingleStep(16);
}

void PictureView::setPicture(const QImage* picture)
{
    FPicture = picture;
    pictureChanged();
}

void PictureView::setAxes(const DrawContext& axes)
{
    const bool otherView = axes.mode != FAxes.mode;
    FAxes = axes;
    updateScrollBars();
    if (otherView)
        showBottomFirst();
    viewport()->update();
}

void PictureView::showBottomFirst()
{
    verticalScrollBar()->setValue(FAxes.mode == kSpectrumView ? verticalScrollBar()->maximum()
                                                              : verticalScrollBar()->minimum());
}

void PictureView::pictureChanged()
{
    updateScrollBars();
    const QSize size = FPicture ? FPicture->size() : QSize();
    if (size != FShownSize) {
        FShownSize = size;
        horizontalScrollBar()->setValue(0);
        showBottomFirst();
    }
    viewport()->update();
}

QPoint PictureView::scrollOffset() const
{
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

ViewGeometry PictureView::geometry() const
{
    ViewGeometry g;
    const bool gray = FPicture && FPicture->format() == QImage::Format_Grayscale8;
    g.zoomX = gray ? FZoomX : 1.0;
    g.zoomY = gray ? FZoomY : 1.0;
    g.leftMargin = FAxes.leftMargin;
    g.topMargin = FAxes.topMargin;
    g.scroll = scrollOffset();
    return g;
}

void PictureView::updateScrollBars()
{
    const QSize area = viewport()->size();
    const QSize content = FPicture ? geometry().contentSize(FPicture->size()) : QSize(0, 0);
    horizontalScrollBar()->setRange(0, qMax(0, content.width() - area.width()));
    horizontalScrollBar()->setPageStep(qMax(1, area.width()));
    verticalScrollBar()->setRange(0, qMax(0, content.height() - area.height()));
    verticalScrollBar()->setPageStep(qMax(1, area.height()));
}

void PictureView::setZoom(double zoomX, double zoomY, QPointF viewPosition)
{
    zoomX = std::clamp(zoomX, kMinZoom, kMaxZoom);
    zoomY = std::clamp(zoomY, kMinZoom, kMaxZoom);
    if (zoomX == FZoomX && zoomY == FZoomY)
        return;
    const QPointF anchor = pictureAt(viewPosition);
    FZoomX = zoomX;
    FZoomY = zoomY;
    updateScrollBars();
    ViewGeometry g = geometry();
    g.scroll = QPoint(0, 0);
    const QPointF content = g.viewAt(anchor);
    horizontalScrollBar()->setValue(int(std::lround(content.x() - viewPosition.x())));
    verticalScrollBar()->setValue(int(std::lround(content.y() - viewPosition.y())));
    viewport()->update();
    emit zoomChanged();
}

void PictureView::zoomBy(double factorX, double factorY)
{
    const QSize area = viewport()->size();
    setZoom(FZoomX * factorX, FZoomY * factorY, QPointF(area.width() / 2.0, area.height() / 2.0));
}

void PictureView::fitToWindow()
{
    if (!FPicture || FPicture->isNull())
        return;
    const QSize area = viewport()->size();
    const double F = FPicture->width() - FAxes.leftMargin;
    const double R = FPicture->height() - FAxes.topMargin;
    if (F <= 0 || R <= 0)
        return;
    setZoom((area.width() - FAxes.leftMargin) / F, (area.height() - FAxes.topMargin) / R,
        QPointF(0, 0));
}

void PictureView::actualSize()
{
    setZoom(1.0, 1.0, QPointF(viewport()->width() / 2.0, viewport()->height() / 2.0));
}

void PictureView::setColorMap(ColorMap map)
{
    FColorMap = map;
    viewport()->update();
}

void PictureView::paintEvent(QPaintEvent* event)
{
    if (!FPicture || FPicture->isNull())
        return;
    QPainter painter(viewport());
    const QRect rect = event->rect();
    if (FPicture->format() != QImage::Format_Grayscale8) {
        const QPoint offset = scrollOffset();
        // The part of the picture under the damaged region, in picture coordinates.
        const QRect wanted = rect.translated(offset) & FPicture->rect();
        if (!wanted.isEmpty())
            painter.drawImage(wanted.topLeft() - offset, *FPicture, wanted);
    } else {
        if (FRender.size() != rect.size())
            FRender = QImage(rect.size(), QImage::Format_RGB32);
        const ViewGeometry g = geometry();
        renderView(FRender, *FPicture, g, FColorMap, palette().color(QPalette::Window).rgb(),
            rect.topLeft());
        if (!g.isOneToOne())
            drawViewAxes(FRender, FPicture->size(), g, FAxes, rect.topLeft());
        painter.drawImage(rect.topLeft(), FRender);
    }
    const ViewGeometry g = geometry();
    const int bottom = int(g.viewAt(QPointF(0, FPicture->height())).y());
    if (!FOverlay.isEmpty()) {
        painter.save();
        painter.setClipRect(
            QRect(g.leftMargin, g.topMargin, viewport()->width(), viewport()->height()));
        painter.setRenderHint(QPainter::Antialiasing);
        const double dx = g.leftMargin * (1 - g.zoomX) - g.scroll.x();
        const double dy = g.topMargin * (1 - g.zoomY) - g.scroll.y();
        painter.setTransform(QTransform(g.zoomX, 0, 0, g.zoomY, dx, dy));
        if (FOverlayWidth > 0) {
            painter.setPen(QPen(QColor(255, 140, 0, 110), FOverlayWidth, Qt::SolidLine,
                Qt::RoundCap, Qt::RoundJoin));
            painter.drawPath(FOverlay);
        } else {
            QPen pen(QColor(255, 200, 0), 1.5, Qt::DashLine);
            pen.setCosmetic(true);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(FOverlay);
        }
        painter.restore();
    }
    if (FStartMarker >= 0 && FStartMarker != FPlayHead) {
        painter.setPen(QPen(QColor(40, 120, 255), 1, Qt::DashLine));
        const int x = viewColumn(FStartMarker);
        painter.drawLine(x, 0, x, bottom - 1);
    }
    if (FPlayHead >= 0) {
        painter.setPen(QPen(QColor(255, 40, 40), 1));
        const int x = viewColumn(FPlayHead);
        painter.drawLine(x, 0, x, bottom - 1);
    }
}

int PictureView::viewColumn(int column) const
{
    return int(std::floor(geometry().viewAt(QPointF(column + 0.5, 0)).x()));
}

void PictureView::updateColumn(int column)
{
    if (column >= 0)
        viewport()->update(viewColumn(column) - 1, 0, 3, viewport()->height());
}

void PictureView::setPlayHead(int column, bool follow)
{
    if (column == FPlayHead)
        return;
    updateColumn(FPlayHead);
    FPlayHead = column;
    updateColumn(FPlayHead);
    if (follow && column >= 0) {
        const int x = viewColumn(column);
        const int width = viewport()->width();
        if (x < 0 || x >= width)
            horizontalScrollBar()->setValue(qMax(0, scrollOffset().x() + x - width / 8));
    }
}

void PictureView::setStartMarker(int column)
{
    if (column == FStartMarker)
        return;
    updateColumn(FStartMarker);
    FStartMarker = column;
    updateColumn(FStartMarker);
}

void PictureView::setPaintMode(bool on)
{
    FPaintMode = on;
    FStroking = false;
    viewport()->setCursor(on ? Qt::CrossCursor : Qt::ArrowCursor);
}

void PictureView::setOverlay(const QPainterPath& path, double penWidth)
{
    FOverlay = path;
    FOverlayWidth = penWidth;
    viewport()->update();
}

void PictureView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !FPicture || FPicture->isNull()) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const QPointF at = pictureAt(pixelCentre(event->position()));
    if (FPaintMode) {
        FStroking = true;
        emit strokePressed(at);
    } else {
        const QPoint pixel(int(std::floor(at.x())), int(std::floor(at.y())));
        if (FPicture->rect().contains(pixel))
            emit pictureClicked(pixel);
    }
    event->accept();
}

void PictureView::mouseMoveEvent(QMouseEvent* event)
{
    if (FPicture && !FPicture->isNull()) {
        const QPointF at = pictureAt(pixelCentre(event->position()));
        emit pointerMoved(at);
        if (FStroking)
            emit strokeMoved(at);
    }
    QAbstractScrollArea::mouseMoveEvent(event);
}

void PictureView::mouseReleaseEvent(QMouseEvent* event)
{
    if (FStroking && event->button() == Qt::LeftButton) {
        FStroking = false;
        emit strokeReleased(pictureAt(pixelCentre(event->position())));
        event->accept();
        return;
    }
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void PictureView::wheelEvent(QWheelEvent* event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    // Ctrl: zoom about the pointer, a quarter of an octave a notch; with Shift in time
    // only, with Alt in frequency only (Alt may turn the wheel's delta horizontal).
    const QPoint delta = event->angleDelta();
    const int steps = std::abs(delta.y()) >= std::abs(delta.x()) ? delta.y() : delta.x();
    const double factor = std::pow(2.0, steps / 120.0 / 4.0);
    const bool timeOnly = event->modifiers() & Qt::ShiftModifier;
    const bool frequencyOnly = event->modifiers() & Qt::AltModifier;
    setZoom(FZoomX * (frequencyOnly ? 1.0 : factor), FZoomY * (timeOnly ? 1.0 : factor),
        event->position());
    event->accept();
}

bool PictureView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Leave)
        emit pointerLeft();
    return QAbstractScrollArea::viewportEvent(event);
}

void PictureView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void PictureView::scrollContentsBy(int dx, int dy)
{
    // The axes stay where they are while the data moves, so a gray picture is drawn again
    // whole (a few milliseconds); a picture of another format scrolls as a whole.
    if (FPicture && FPicture->format() == QImage::Format_Grayscale8)
        viewport()->update();
    else
        viewport()->scroll(dx, dy);
}

} // namespace kestrelon
