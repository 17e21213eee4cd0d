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
// Import accepts every BMP variant Qt decodes (24/32-bit, bit fields, 1/4/8-bit
// palettes, RLE, top-down, V4/V5 headers) and PNG. The picture must be exactly the
// display picture's size; a BMP or PNG that ends before its pixel data does is refused
// (Qt would decode it with uninitialised rows). Cell value = (B + G + R) div 3 of the
// edited pixel; d = cell value - blue byte of the display pixel; gain = 10^(d / 40),
// i.e. half a decibel per gray level, applied to bins 0 .. N/2 of every channel.
// Only the data area counts; the margins are ignored.

#include <cstdint>

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include "audio/TWave.h"
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
// Writes it to path atomically: complete, or the old file (if any) left untouched.
bool writeFilterImage(const QImage& bitmap, const QString& path, QString* reason);

// Decodes an edited filter image held in memory into 24-bit colour (held as a
// Format_RGB32 picture: palettes looked up, alpha dropped) of exactly
// `expected` size. On failure returns a null image and says why in *reason.
QImage decodeFilterImage(const QByteArray& bytes, QSize expected, QString* reason);
// The same from a file; *reason then starts with the file's path.
QImage readFilterImage(const QString& path, QSize expected, QString* reason);

// Multiplies bins 0 .. N/2 of every channel's spectrogram (spectrum view) or cepstrogram
// (cepstrum view) by the gains of the edited picture's differences from the reference.
// Checks everything first: on a mismatch of sizes, or a product that would not be a
// finite Double, returns false and changes nothing.
bool applyFilterGains(TWaveCepstram& engine, uint8_t mode, const QImage& reference,
    const QImage& edited, int32_t leftMargin, int32_t topMargin, QString* reason);

// applyFilterGains, then the resynthesis of the view (Synthesize or
// SynthesizeFromCepstrum) into wave. On false nothing has changed: a cepstrum edit
// whose gains overflow is undone by recomputing the cepstra from the unchanged dB rows.
bool ImportFilter(TWaveCepstram& engine, TWave& wave, uint8_t mode, const QImage& reference,
    const QImage& edited, int32_t leftMargin, int32_t topMargin, ClipStats* clips, QString* reason);

} // namespace kestrelon
