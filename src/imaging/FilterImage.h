#pragma once
// The filter image: the display picture written as a BMP file for a paint program,
// and the edited file read back as gains on the analysis.
//
// File written by export (all numbers little-endian; W x H the picture's size,
// S = 3 W rounded up to a multiple of 4):
//   0 "BM" | 2 file size 1078 + S H | 6, 8 reserved 0 | 10 pixel offset 1078
//   14 header size 40 | 18 W | 22 H (positive: bottom-up) | 26 planes 1 | 28 bpp 24
//   30 compression 0 | 34 image size S H | 38, 42 resolution 0 | 46 colours 256 | 50 0
//   54 256 gray entries (i, i, i, 0) | 1078 rows, bottom row first, each W pixels of
//   blue, green, red (all three the display pixel's blue byte), zero-padded to S bytes.
//
// Import reads BMP and PNG through Qt's image reader (libpng for PNG), after checks of
// its own that make sure every pixel of the result comes from the file, the work is
// bounded by the file's and the picture's sizes, and no library prints anything:
//  - BMP: every variant Qt reads (12 and 64-byte OS/2 headers, 40, 108 and 124-byte
//    Windows headers; 1/4/8-bit palettes, 16/24/32-bit colour with masks, RLE8 and RLE4,
//    bottom-up or top-down). A colour table that runs into the pixel data is refused;
//    pixels that RLE codes skip (end of line, delta, end of bitmap) are colour index 0.
//  - PNG: every colour type, bit depth and interlacing, at most 1000000 pixels a side.
//    Critical chunks must have right checksums. The compressed pixel data may be at most
//    9/8 of the filtered rows plus 64 KiB, must inflate to exactly the filtered rows
//    (each with a filter type 0 .. 4) and end there: a stream with more data is refused
//    as soon as inflating reaches it. Qt decodes a copy that holds only the header, the
//    palette, transparency and pixel data, so that ancillary chunks (text, colour
//    profiles, gamma) are never inflated nor applied. 16-bit samples and alpha are
//    turned to 8-bit colour as Qt's conversion to Format_RGB32 does.
// A warning of Qt or libpng during the decode refuses the picture, with the warning
// as the reason.
// The picture must be exactly the display picture's size, and a file that ends before
// its pixel data does is refused. Cell value = (B + G + R) div 3 of the edited pixel;
// d = cell value - blue byte of the display pixel; gain = 10^(d / 40), i.e. half a
// decibel per gray level, applied to bins 0 .. N/2 of every channel.
// Only the data area counts; the margins are ignored.

#include <cstdint>

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include "audio/TWave.h"
#include "base/Message.h"
#include "imaging/Picture.h"
#include "spectral/TWaveCepstram.h"

namespace kestrelon {

inline constexpr int kFilterHeaderSize = 1078; // bytes before the pixel rows

// The analysis and the display picture agree: channels and frames exist and the picture
// is (leftMargin + F) x (topMargin + N/2 + 1), F and N from FSpectrograms[0].
bool filterGeometryMatches(
    const TWaveCepstram& engine, const QImage& bitmap, int32_t leftMargin, int32_t topMargin);

// The filter image file of a display picture (any format; its blue bytes are written).
QByteArray encodeFilterImage(const QImage& bitmap);
// Writes it to path atomically: complete, or the old file (if any) left untouched. An
// existing path must be a regular file, and the new file keeps its permission bits.
// *reason (optional) starts with the path and names the cause in one line.
bool writeFilterImage(const QImage& bitmap, const QString& path, Message* reason);

// The longest file readFilterImage takes for a picture of the given size: the largest
// compressed PNG of it (16-bit RGBA) and 16 MiB of other chunks.
int64_t filterImageFileLimit(QSize expected);

// For tests and the fuzzer: the picture Qt decodes into, in the format Qt reads the file
// in (palette indices, gray, 32 or 64-bit colour). Qt fills it in place.
struct DecodeProbe {
    // In: used as that picture when it has the expected size and Qt's format for the file,
    // as it is: a pixel that Qt leaves unwritten keeps its value, except for the pixels
    // that an RLE BMP's codes skip, which are set to colour index 0. Otherwise the decode
    // makes the picture with every byte 0.
    // Out: the picture as Qt left it; null when the checks refused the file before Qt
    // was called.
    QImage picture;
    // Out: Qt decoded into that picture rather than into one of its own.
    bool inPlace = false;
};

// Decodes an edited filter image held in memory into 24-bit colour (held as a
// Format_RGB32 picture: palettes looked up, alpha dropped) of exactly
// `expected` size. On failure returns a null image and says why in *reason (optional),
// in one line.
QImage decodeFilterImage(
    const QByteArray& bytes, QSize expected, Message* reason, DecodeProbe* probe = nullptr);
// The same from a file, which must be a regular file of at most
// filterImageFileLimit(expected) bytes; *reason then starts with the file's path.
QImage readFilterImage(const QString& path, QSize expected, Message* reason);

// Multiplies bins 0 .. N/2 of every channel's spectrogram (spectrum view) or cepstrogram
// (cepstrum view) by the gains of the edited picture's differences from the reference.
// Checks everything first: on a mismatch of sizes, or a product that would not be a
// finite Double, returns false and changes nothing.
bool applyFilterGains(TWaveCepstram& engine, uint8_t mode, const QImage& reference,
    const QImage& edited, int32_t leftMargin, int32_t topMargin, Message* reason);

// applyFilterGains, then the resynthesis of the view (Synthesize or
// SynthesizeFromCepstrum) into wave. On false nothing has changed: a cepstrum edit
// whose gains overflow is undone by recomputing the cepstra from the unchanged dB rows.
bool ImportFilter(TWaveCepstram& engine, TWave& wave, uint8_t mode, const QImage& reference,
    const QImage& edited, int32_t leftMargin, int32_t topMargin, ClipStats* clips, Message* reason);

} // namespace kestrelon
