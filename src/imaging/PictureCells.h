#pragma once
// The display picture drawn from gray cells (spectral/Pipeline.h), and an edited picture
// read back as cell edits.
//
// Geometry as in imaging/Picture.h: frame f is column leftMargin + f; in the spectrum view
// cells row k (bin k) is picture row topMargin + N/2 - k, in the cepstrum view row
// topMargin + k. The picture is gray, one byte per pixel (Format_Grayscale8): a data pixel
// of gray level g is g, and the axes are painted as DrawAxes paints them. Every pixel of
// DrawSpectrum / DrawCepstrum's picture of the same analysis has red = green = blue = the
// byte here, so the filter image written from either is the same file, byte for byte; a
// quarter of the memory lets long sounds keep two pictures (a command's old and new
// document) where one would fit.

#include <cstdint>

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include "base/Message.h"
#include "imaging/Picture.h"
#include "spectral/Pipeline.h"

namespace kestrelon {

// (leftMargin + frames) x (topMargin + rows): the size of the picture of cells.
QSize cellPictureSize(const GrayCells& cells, int32_t leftMargin, int32_t topMargin);

// The picture of cells with the axes of ctx (DrawAxes; ctx.mode should name cells.view):
// Format_Grayscale8 of cellPictureSize. A null image when the cells have no frame.
QImage drawCells(const GrayCells& cells, const DrawContext& ctx);

// Paints the data columns of frames [firstFrame, endFrame) of picture from cells; the
// margins are left as they are. picture must be a Format_Grayscale8 of cellPictureSize
// (RangeError otherwise).
void paintCellColumns(QImage& picture, const GrayCells& cells, int32_t firstFrame, int32_t endFrame,
    int32_t leftMargin, int32_t topMargin);

// The gray-level differences of an edited picture (Format_RGB32, of cellPictureSize) from
// the cells it was drawn from: cell value (B + G + R) div 3 of the edited pixel minus the
// cell's gray level, for the frames where any differs. Only the data area counts. On a
// picture of another size or format returns false and says why in *reason. Inside a
// CancelScope (base/Cancel.h) a cancel throws OperationCancelled between tiles of frames.
bool cellEditsOf(const GrayCells& cells, const QImage& edited, int32_t leftMargin,
    int32_t topMargin, CellEdits* edits, Message* reason);

// The same straight from the bytes of a BMP file, when it is the plain kind that export
// writes and most editors save: a 40-byte header, 24 bits per pixel, no compression,
// bottom-up, of cellPictureSize and not cut short. Every such file decodes (QImageReader,
// decodeFilterImage) to its bytes, so the edits are the same; for any other file this
// returns false and changes nothing, and the file is to be decoded as a picture.
// `shown`, when given, is the picture drawn from cells (drawCells, same margins): the
// comparison then reads its rows, which is quicker than gathering the cells' levels.
bool cellEditsOfBmp(const GrayCells& cells, const QByteArray& bytes, int32_t leftMargin,
    int32_t topMargin, CellEdits* edits, const QImage* shown = nullptr);
// The same from an open regular file, reading its rows a strip at a time instead of
// holding its bytes: false, with *edits unchanged, when it is not such a BMP or a read
// fails (a file cut short while it is read); it is then to be read as a whole.
bool cellEditsOfBmpFile(const GrayCells& cells, int fd, int32_t leftMargin, int32_t topMargin,
    CellEdits* edits, const QImage* shown = nullptr);

// Why a picture of w x h pixels is not one of the expected size: its width, its height or
// both named with the ones needed (PictureWidthMismatch and the like).
Message pictureSizeMismatch(QSize expected, int64_t w, int64_t h);

} // namespace kestrelon
