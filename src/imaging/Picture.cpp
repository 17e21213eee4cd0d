#include "imaging/Picture.h"

#include <cmath>
#include <limits>

#include <QFontMetrics>
#include <QPainter>

#include "base/Errors.h"
#include "base/Parallel.h"

namespace kestrelon {

namespace {

constexpr QRgb kBlack = 0xFF000000u;
constexpr QRgb kWhite = 0xFFFFFFFFu;

// Trunc of a coordinate quotient, as a 32-bit pixel position; IntOverflowError when it
// does not fit (only absurd sample rates or lengths get there).
int32_t truncPixel(double x, const char* what)
{
    const double t = std::trunc(x);
    if (!(t >= static_cast<double>(std::numeric_limits<int32_t>::min())
            && t <= static_cast<double>(std::numeric_limits<int32_t>::max())))
        throw IntOverflowError(std::string("integer overflow: ") + what);
    return static_cast<int32_t>(t);
}

class AxisPainter {
public:
    AxisPainter(QImage& image, const QLocale& locale)
        : FPainter(&image)
        , FMetrics(labelFont())
        , FLocale(locale)
    {
        FPainter.setFont(labelFont());
        FPainter.setPen(QColor(kWhite));
    }

    void fill(int x, int y, int w, int h) { FPainter.fillRect(QRect(x, y, w, h), QColor(kBlack)); }

    // A line from (x, y0) to (x, y1), end point excluded.
    void vline(int x, int y0, int y1)
    {
        if (y1 > y0)
            FPainter.fillRect(QRect(x, y0, 1, y1 - y0), QColor(kWhite));
    }
    // A line from (x0, y) to (x1, y), end point excluded.
    void hline(int x0, int x1, int y)
    {
        if (x1 > x0)
            FPainter.fillRect(QRect(x0, y, x1 - x0, 1), QColor(kWhite));
    }

    // White text on an opaque black cell whose top-left corner is (x, y).
    void text(int x, int y, const QString& s)
    {
        FPainter.fillRect(
            QRect(x, y, FMetrics.horizontalAdvance(s), FMetrics.height()), QColor(kBlack));
        FPainter.drawText(QPoint(x, y + FMetrics.ascent()), s);
    }
    void label(int x, int y, double value) { text(x, y, formatLabel(value, FLocale)); }

private:
    QPainter FPainter;
    QFontMetrics FMetrics;
    const QLocale& FLocale;
};

// Writes the gray levels of rows[i][bin(j)] into column left + i, row top + j, for every
// frame i < frames and row j < rowCount, straight into the scan lines.
template <class BinOfRow>
void paintData(QImage& image, const TFFTShinpuku& rows, int32_t frames, int32_t rowCount,
    int32_t left, int32_t top, BinOfRow binOfRow)
{
    constexpr int32_t kBlockRows = 32;
    const std::size_t blocks = static_cast<std::size_t>((rowCount + kBlockRows - 1) / kBlockRows);
    uchar* const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    parallelFor(
        blocks,
        [&](std::size_t b0, std::size_t b1) {
            const int32_t j0 = static_cast<int32_t>(b0) * kBlockRows;
            const int32_t j1 = std::min<int32_t>(rowCount, static_cast<int32_t>(b1) * kBlockRows);
            for (int32_t jb = j0; jb < j1; jb += kBlockRows) {
                const int32_t je = std::min(j1, jb + kBlockRows);
                for (int32_t i = 0; i < frames; ++i) {
                    const double* v = rows[static_cast<std::size_t>(i)].data();
                    uchar* p = bits + (top + jb) * stride + static_cast<qsizetype>(left + i) * 4;
                    for (int32_t j = jb; j < je; ++j, p += stride) {
                        const uint32_t g = static_cast<uint32_t>(grayLevel(v[binOfRow(j)]));
                        *reinterpret_cast<QRgb*>(p) = 0xFF000000u | (g * 0x010101u);
                    }
                }
            }
        },
        1);
}

// The shared body of DrawSpectrum and DrawCepstrum.
bool drawView(QImage& bitmap, const TSpectrogram* geometry, const std::vector<TFFTShinpuku>& power,
    int channel, bool flipped, const DrawContext& ctx)
{
    if (!geometry || geometry->FFrameCount <= 0 || geometry->FSpecLength <= 0)
        return false;
    const int32_t F = geometry->FFrameCount;
    const int32_t N = geometry->FSpecLength;
    const int32_t R = N / 2 + 1;
    if (channel < 0 || static_cast<std::size_t>(channel) >= power.size())
        return false;
    const TFFTShinpuku& rows = power[static_cast<std::size_t>(channel)];
    if (rows.size() < static_cast<std::size_t>(F))
        return false;
    for (int32_t i = 0; i < F; ++i)
        if (rows[static_cast<std::size_t>(i)].size() < static_cast<std::size_t>(R))
            return false;

    const int32_t W = checkedAdd<int32_t>(ctx.leftMargin, F, "picture width");
    const int32_t H = checkedAdd<int32_t>(ctx.topMargin, R, "picture height");
    // Painted into a new image and swapped in at the end: an error leaves bitmap as it was.
    QImage image(W, H, QImage::Format_RGB32);
    if (image.isNull())
        throw std::bad_alloc();
    DrawAxes(image, ctx);
    if (flipped)
        paintData(
            image, rows, F, R, ctx.leftMargin, ctx.topMargin, [R](int32_t j) { return R - 1 - j; });
    else
        paintData(image, rows, F, R, ctx.leftMargin, ctx.topMargin, [](int32_t j) { return j; });
    bitmap = std::move(image);
    return true;
}

} // namespace

QFont labelFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")});
    font.setPixelSize(13);
    font.setStyleStrategy(QFont::NoSubpixelAntialias);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QString formatLabel(double value, const QLocale& locale)
{
    QString s = QString::number(value, 'g', 15);
    const QString point = locale.decimalPoint();
    if (point != QLatin1String("."))
        s.replace(QLatin1Char('.'), point);
    return s;
}

bool DrawSpectrum(QImage& bitmap, const TWaveCepstram& engine, int channel, const DrawContext& ctx)
{
    if (engine.FChannelCount <= 0 || engine.FSpectrograms.empty()
        || channel >= engine.FChannelCount)
        return false;
    return drawView(bitmap, engine.FSpectrograms[0].get(), engine.FPower, channel, true, ctx);
}

bool DrawCepstrum(QImage& bitmap, const TWaveCepstram& engine, int channel, const DrawContext& ctx)
{
    if (engine.FChannelCount <= 0 || engine.FCepstrograms.empty()
        || channel >= engine.FChannelCount)
        return false;
    return drawView(bitmap, engine.FCepstrograms[0].get(), engine.FCepPower, channel, false, ctx);
}

void DrawAxes(QImage& bitmap, const DrawContext& ctx)
{
    const int32_t W = bitmap.width();
    const int32_t H = bitmap.height();
    const int32_t left = ctx.leftMargin;
    const int32_t top = ctx.topMargin;
    AxisPainter paint(bitmap, ctx.locale);

    paint.fill(0, 0, left, H);
    paint.fill(0, 0, W, top);
    paint.text(1, top - 10, QStringLiteral("Hz"));
    paint.text(left - 24, 1, QStringLiteral("Sec"));
    if (!ctx.wave)
        return;

    const double sampleRate = static_cast<double>(ctx.wave->FFormat.nSamplesPerSec);
    const double seconds = ctx.wave->FSeconds;
    const int32_t halfN = ctx.fftLength / 2;

    // Time: one column per frame of T seconds; ticks every D/10, labels every D/2.
    const double T = static_cast<double>(halfN) / sampleRate;
    const double D = std::pow(10.0, std::ceil(std::log10(50.0 * T)));
    const int32_t first = ctx.firstFrame;
    auto xOf = [&](double t) {
        return checkedAdd<int32_t>(left,
            checkedAdd<int32_t>(truncPixel(t / T, "time column"), -first, "time column"),
            "time column");
    };
    // A piece shows the ticks of the whole picture that fall on its columns: the same
    // times, summed step by step from 0 as for the whole picture.
    if (D > 0.0 && std::isfinite(D)) {
        for (double t = 0.0; t < seconds && xOf(t) < W; t = t + D / 10.0)
            if (xOf(t) >= left)
                paint.vline(xOf(t), top - 4, top);
        for (double t = 0.0; t < seconds && xOf(t) < W; t = t + D / 2.0) {
            const int32_t x = xOf(t);
            if (x < left)
                continue;
            paint.vline(x, 0, top);
            paint.label(x + 1, 1, t);
        }
    }

    const double nyquist = sampleRate / 2.0;
    const double B = nyquist / static_cast<double>(halfN);
    if (!(B > 0.0) || !std::isfinite(B))
        return;
    if (ctx.mode == kSpectrumView) {
        // Frequency: the row of the bin that holds f; ticks every E/10, labels every E/2.
        const double E = std::pow(10.0, std::ceil(std::log10(50.0 * B)));
        auto yOf = [&](double f) {
            return checkedAdd<int32_t>(H - 1, -truncPixel(f / B, "frequency row"), "frequency row");
        };
        for (double f = 0.0; f < nyquist; f = f + E / 10.0)
            paint.hline(left - 4, left, yOf(f));
        for (double f = 0.0; f < nyquist; f = f + E / 2.0) {
            const int32_t y = yOf(f);
            paint.hline(left - 8, left, y);
            paint.label(1, y - 5, f);
        }
    } else if (ctx.mode == kCepstrumView) {
        // Pitch: the row of the quefrency bin of the period of f.
        const double L = 2.0 * B;
        const double fftB = static_cast<double>(ctx.fftLength) * B;
        auto yOf = [&](double f) {
            return checkedAdd<int32_t>(top, truncPixel(fftB / f, "pitch row"), "pitch row");
        };
        const double Q = std::pow(2.0, 1.0 / 12.0);
        for (double f = 880.0; f > L; f = f / Q)
            paint.hline(left - 4, left, yOf(f));
        for (double f = 880.0; f > L; f = f / 2.0) {
            const int32_t y = yOf(f);
            paint.hline(left - 8, left, y);
            paint.label(1, y - 5, f);
        }
        for (double f = 1000.0; f < 5000.0; f = f * 2.0) {
            const int32_t y = yOf(f);
            paint.hline(left - 8, left, y);
            paint.label(1, f == 1000.0 ? y - 10 : y - 5, f);
        }
    }
}

} // namespace kestrelon
