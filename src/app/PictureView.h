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

    // Vertical lines over the picture, at picture columns (negative: none): the play-head
    // (solid) and where playing starts (dashed). Only the columns that change are
    // repainted. With follow, the view scrolls to keep the play-head in sight.
    void setPlayHead(int column, bool follow = true);
    void setStartMarker(int column);
    int playHead() const { return FPlayHead; }
    int startMarker() const { return FStartMarker; }

signals:
    // A left click on the picture, in picture coordinates.
    void pictureClicked(QPoint position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void updateScrollBars();
    void updateColumn(int column);

    const QImage* FPicture = nullptr;
    int FPlayHead = -1;
    int FStartMarker = -1;
};

} // namespace kestrelon
