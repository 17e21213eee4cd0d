#pragma once
// The display picture drawn from gray cells (spectral/Pipeline.h), and an edited picture
// read back as cell edits.
//
// Geometry as in imaging/Picture.h: frame f is column leftMargin + f; in the spectrum view
// cells row k (bin k) is picture row topMargin + N/2 - k, in the cepstrum view row
// topMargin + k. A data pixel of gray level g is 0xFF000000 | g * 0x010101, so a picture
// drawn from the cells of an analysis equals DrawSpectrum / DrawCepstrum of the same
// analysis pixel for pixel, axes included.

#include <cstdint>

#include <QImage>
#include <QSize>
#include <QString>

#include "imaging/Picture.h"
#include "spectral/Pipeline.h"

namespace kestrelon {

// (leftMargin + frames) x (topMargin + rows): the size of the picture of cells.
QSize cellPictureSize(const GrayCells& cells, int32_t leftMargin, int32_t topMargin);

// The picture of cells with the axes of ctx (DrawAxes; ctx.mode should name cells.view):
// Format_RGB32 of cellPictureSize. A null image when the cells have no frame.
QImage drawCells(const GrayCells& cells, const DrawContext& ctx);

// Paints the data columns of frames [firstFrame, endFrame) of picture from cells; the
// margins are left as they are. picture must have cellPictureSize (RangeError otherwise).
void paintCellColumns(QImage& picture, const GrayCells& cells, int32_t firstFrame, int32_t endFrame,
    int32_t leftMargin, int32_t topMargin);

// The gray-level differences of an edited picture (Format_RGB32, of cellPictureSize) from
// the cells it was drawn from: cell value (B + G + R) div 3 of the edited pixel minus the
// cell's gray level, for the frames where any differs. Only the data area counts. On a
// picture of another size or format returns false and says why in *reason.
bool cellEditsOf(const GrayCells& cells, const QImage& edited, int32_t leftMargin,
    int32_t topMargin, CellEdits* edits, QString* reason);

} // namespace kestrelon
