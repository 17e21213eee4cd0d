#include "app/PictureView.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

namespace kestrelon {

PictureView::PictureView(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    setObjectName(QStringLiteral("ScrollBox1"));
    viewport()->setObjectName(QStringLiteral("Image1"));
    viewport()->setBackgroundRole(QPalette::Window);
    viewport()->setAutoFillBackground(true);
    horizontalScrollBar()->setSingleStep(16);
    verticalScrollBar()->setSingleStep(16);
}

void PictureView::setPicture(const QImage* picture)
{
    FPicture = picture;
    pictureChanged();
}

void PictureView::pictureChanged()
{
    updateScrollBars();
    viewport()->update();
}

QPoint PictureView::scrollOffset() const
{
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

void PictureView::updateScrollBars()
{
    const QSize area = viewport()->size();
    const int width = FPicture ? FPicture->width() : 0;
    const int height = FPicture ? FPicture->height() : 0;
    horizontalScrollBar()->setRange(0, qMax(0, width - area.width()));
    horizontalScrollBar()->setPageStep(qMax(1, area.width()));
    verticalScrollBar()->setRange(0, qMax(0, height - area.height()));
    verticalScrollBar()->setPageStep(qMax(1, area.height()));
}

void PictureView::paintEvent(QPaintEvent* event)
{
    if (!FPicture || FPicture->isNull())
        return;
    const QPoint offset = scrollOffset();
    // The part of the picture under the damaged region, in picture coordinates.
    const QRect wanted = event->rect().translated(offset) & FPicture->rect();
    if (wanted.isEmpty())
        return;
    QPainter painter(viewport());
    painter.drawImage(wanted.topLeft() - offset, *FPicture, wanted);
    const int height = FPicture->height() - offset.y();
    if (FStartMarker >= 0 && FStartMarker != FPlayHead) {
        painter.setPen(QPen(QColor(40, 120, 255), 1, Qt::DashLine));
        const int x = FStartMarker - offset.x();
        painter.drawLine(x, 0, x, height - 1);
    }
    if (FPlayHead >= 0) {
        painter.setPen(QPen(QColor(255, 40, 40), 1));
        const int x = FPlayHead - offset.x();
        painter.drawLine(x, 0, x, height - 1);
    }
}

void PictureView::updateColumn(int column)
{
    if (column >= 0)
        viewport()->update(column - scrollOffset().x() - 1, 0, 3, viewport()->height());
}

void PictureView::setPlayHead(int column, bool follow)
{
    if (column == FPlayHead)
        return;
    updateColumn(FPlayHead);
    FPlayHead = column;
    updateColumn(FPlayHead);
    if (follow && column >= 0) {
        const int left = scrollOffset().x();
        const int width = viewport()->width();
        if (column < left || column >= left + width)
            horizontalScrollBar()->setValue(qMax(0, column - width / 8));
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

void PictureView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !FPicture || FPicture->isNull()) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint() + scrollOffset();
    if (FPicture->rect().contains(at))
        emit pictureClicked(at);
    event->accept();
}

void PictureView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void PictureView::scrollContentsBy(int dx, int dy)
{
    viewport()->scroll(dx, dy);
}

} // namespace kestrelon
