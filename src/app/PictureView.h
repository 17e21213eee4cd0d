#pragma once
// PictureView: the scroll box that shows the display picture at its top-left corner.
//
// The picture can be far wider than any window system surface (a 10-minute sound at
// N = 256 is over 100 000 pixels wide), so the view holds no pixmap or child widget of
// the picture's size: it scrolls a viewport and paints only the part of the QImage
// that is visible, in device-independent pixels, one image pixel per logical pixel.

#include <QAbstractScrollArea>

class QImage;

namespace kestrelon {

class PictureView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    // The picture to show; it is owned elsewhere and must outlive the view (or be
    // replaced by nullptr first). Call pictureChanged() whenever it is redrawn or resized.
    void setPicture(const QImage* picture);
    void pictureChanged();

    // Top-left image pixel currently shown at the viewport's top-left corner.
    QPoint scrollOffset() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void updateScrollBars();

    const QImage* FPicture = nullptr;
};

} // namespace kestrelon
