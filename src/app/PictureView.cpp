#include "app/PictureView.h"

#include <QImage>
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
