#pragma once
// The display picture: one channel's dB spectrogram (or cepstrum dB array) as a gray
// image with a time axis on top and a frequency (or pitch) axis on the left.
//
// Geometry, for F frames and FFT length N (R = N/2 + 1 bins shown):
//   width  = leftMargin + F   (frame i is column leftMargin + i)
//   height = topMargin + R
//   spectrum view: bin k is row topMargin + N/2 - k (Nyquist on top, 0 Hz at the bottom);
//   cepstrum view: quefrency bin k is row topMargin + k (not flipped).
// Pixels are Format_RGB32 words 0xFFRRGGBB; a data pixel of gray level g has
// blue = green = red = g. The gray level of a dB value v is
//   g = Max(0, Min(255, Trunc(2 v + 255))),
// two levels per dB, 0 dB and above white, below -127 dB black.
//
// Axis labels are drawn in one fixed font (see labelFont), so every front end makes
// the same picture whatever its screen. Painting text needs a QGuiApplication.

#include <cstdint>

#include <QFont>
#include <QImage>
#include <QLocale>
#include <QString>

#include "audio/TWave.h"
#include "spectral/Pipeline.h"
#include "spectral/TWaveCepstram.h"

namespace kestrelon {

// View modes (the index of the view list).
inline constexpr uint8_t kSpectrumView = 0;
inline constexpr uint8_t kCepstrumView = 1;

// What the drawing reads besides the engine and the picture.
struct DrawContext {
    const TWave* wave = nullptr; // sample rate and duration (FSeconds) for the axes
    int32_t fftLength = 1024; // the window's N, for the time and frequency steps
    uint8_t mode = kSpectrumView; // which scale DrawAxes paints on the left
    int32_t leftMargin = 48; // pixels
    int32_t topMargin = 16; // pixels
    QLocale locale; // decimal separator of the labels
    // The frame shown in the first data column: 0 for the whole sound, the first frame of
    // a piece of it (imaging/RangePicture.h). The time axis shows the frames' real times.
    int32_t firstFrame = 0;
};

// The gray level of a dB value, grayLevel, is the pipeline's (spectral/Pipeline.h).

// The label font: IPAPGothic, 13 pixels (10 points at 96 dpi), no subpixel smoothing.
QFont labelFont();

// A label's text: general format with 15 significant digits (fixed notation, trailing
// zeros removed) and the locale's decimal separator.
QString formatLabel(double value, const QLocale& locale);

// Paints channel `channel` of engine.FPower in spectrum layout into bitmap, with axes.
// Returns false, leaving bitmap untouched, when there is nothing to draw (no channel,
// no frame, or dB rows that do not match the spectrogram).
bool DrawSpectrum(QImage& bitmap, const TWaveCepstram& engine, int channel, const DrawContext& ctx);
// The same with engine.FCepPower in cepstrum layout (geometry from FCepstrograms[0]).
bool DrawCepstrum(QImage& bitmap, const TWaveCepstram& engine, int channel, const DrawContext& ctx);
// Paints the margins, ticks and labels for ctx.mode into bitmap at its current size.
// Without a wave only the black margins and the two unit texts are painted. Column
// leftMargin + i shows frame ctx.firstFrame + i: the time ticks of a piece are those of
// the whole picture that fall on its columns.
void DrawAxes(QImage& bitmap, const DrawContext& ctx);

} // namespace kestrelon
