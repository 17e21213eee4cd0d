#include "editing/EditorCore.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imaging/FilterImage.h"

namespace kestrelon {

namespace {

constexpr double kSpectrumRef = 1.0;
constexpr double kCepstrumRef = 1000.0;

// x in fixed notation with three decimals, after rounding it to 15 significant digits
// first (so 2.0005, stored as 2.000499999..., reads 2.001), with the locale's separator.
QString formatSeconds(double x, const QLocale& locale)
{
    if (!std::isfinite(x))
        return QString::number(x);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(x)); // d.dddddddddddddde+XX
    uint64_t digits = 0;
    for (const char* p = buf; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            digits = digits * 10 + uint64_t(*p - '0');
    const int exponent = std::atoi(std::strchr(buf, 'e') + 1);
    // x * 1000 = digits * 10^(exponent - 11); round half away from zero to an integer
    const int shift = exponent - 11;
    QString whole;
    uint64_t thousandths = 0;
    if (shift >= 0) {
        whole = QString::number(digits) + QString(shift, QLatin1Char('0'));
        thousandths = 0;
        // digits * 10^shift thousandths: move the last three digits behind the point
        const QString all = whole;
        whole = all.left(all.size() - 3);
        thousandths = all.right(3).toULongLong();
    } else {
        uint64_t n = 0;
        if (-shift <= 15) {
            uint64_t p = 1;
            for (int i = 0; i < -shift; ++i)
                p *= 10;
            n = (digits + p / 2) / p;
        }
        whole = QString::number(n / 1000);
        thousandths = n % 1000;
    }
    QString s = whole + locale.decimalPoint()
        + QStringLiteral("%1").arg(thousandths, 3, 10, QLatin1Char('0'));
    if (x < 0 && (whole != QLatin1String("0") || thousandths != 0))
        s.prepend(locale.negativeSign());
    return s;
}

// The directory part of a path with its trailing separator, and the name after it.
QString directoryPart(const QString& path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString namePart(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// A name with its extension (from its last ".") replaced by suffix, or suffix appended.
QString replaceExtension(const QString& name, const QString& suffix)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return (dot < 0 ? name : name.left(dot)) + suffix;
}

CommandResult failure(const QString& message)
{
    CommandResult r;
    r.message = message;
    return r;
}

// A reason that names the file: the reader's text as it is if it mentions the path or
// the file's name, else prefixed with the path.
QString namingFile(const QString& path, const QString& reason)
{
    if (reason.contains(path) || reason.contains(namePart(path)))
        return reason;
    return QStringLiteral("%1: %2").arg(path, reason);
}

} // namespace

bool isValidFFTLength(int32_t n)
{
    return n == 256 || n == 512 || n == 1024 || n == 2048 || n == 4096;
}

EditorCore::EditorCore() = default;
EditorCore::~EditorCore() = default;

bool EditorCore::SetFFTLength(int32_t n)
{
    if (!isValidFFTLength(n))
        return false;
    FFFTLength = n;
    return true;
}

bool EditorCore::geometryMatches() const
{
    return FWave && filterGeometryMatches(FCepstram, FBitmap, FLeftMargin, FTopMargin);
}

DrawContext EditorCore::drawContext() const
{
    DrawContext ctx;
    ctx.wave = FWave.get();
    ctx.fftLength = FFFTLength;
    ctx.mode = FMode;
    ctx.leftMargin = FLeftMargin;
    ctx.topMargin = FTopMargin;
    ctx.locale = locale;
    return ctx;
}

CommandResult EditorCore::Open(const QString& path, bool refresh)
{
    TWave loaded;
    WaveLoadReport report;
    const uint8_t code = loaded.LoadFromFile(path, &report);
    if (code != kLoadOk) {
        const QString reason = report.message.isEmpty()
            ? QStringLiteral("cannot be read (code %1)").arg(code)
            : report.message;
        return failure(namingFile(path, reason));
    }
    if (!FWave)
        FWave = std::make_unique<TWave>();
    *FWave = std::move(loaded); // the same TWave object, holding the new sound
    FOpenedPath = path;
    FSavePath = directoryPart(path) + replaceExtension(namePart(path), QStringLiteral("_fix.wav"));
    FFilterDir = directoryPart(path);
    if (refresh)
        RefreshView();

    CommandResult r;
    r.ok = true;
    if (report.truncated) {
        r.message = report.message.isEmpty()
            ? QStringLiteral("%1: the file ends early: %2 of %3 sample frames read")
                  .arg(path)
                  .arg(report.framesLoaded)
                  .arg(report.framesDeclared)
            : namingFile(path, report.message);
    }
    return r;
}

void EditorCore::clearAnalysis()
{
    FCepstram.SetChannelCount(0);
    FCepstram.FPower.clear();
    FCepstram.FCepstrograms.clear();
    FCepstram.FCepPower.clear();
    FCepstram.FSpecValid = false;
    FCepstram.FPowerValid = false;
    FCepstram.FCepValid = false;
    FCepstram.FCepPowerValid = false;
    FBitmap = QImage();
}

void EditorCore::drawCurrentView()
{
    const DrawContext ctx = drawContext();
    if (FMode == kSpectrumView) {
        DrawSpectrum(FBitmap, FCepstram, 0, ctx);
    } else if (FMode == kCepstrumView) {
        FCepstram.CalcCepstrum();
        FCepstram.CalcCepPower(kCepstrumRef);
        DrawCepstrum(FBitmap, FCepstram, 0, ctx);
    }
}

void EditorCore::RefreshView()
{
    if (!FWave)
        return;
    if (FWave->FSampleCount == 0 || FWave->FFormat.nChannels == 0) {
        // Nothing to analyse: no picture, rather than the previous sound's analysis.
        clearAnalysis();
        return;
    }
    FCepstram.Analyze(*FWave, FFFTLength);
    FCepstram.CalcPower(kSpectrumRef);
    drawCurrentView();
}

QStringList EditorCore::statusTexts() const
{
    const int32_t frames = FCepstram.FChannelCount > 0 && !FCepstram.FSpectrograms.empty()
            && FCepstram.FSpectrograms[0]
        ? FCepstram.FSpectrograms[0]->FFrameCount
        : 0;
    return statusTexts(frames);
}

QStringList EditorCore::statusTexts(int32_t frames) const
{
    if (!FWave)
        return QStringList(6, QString());
    const WAVEFORMATEX& fmt = FWave->FFormat;
    return {formatSeconds(FWave->FSeconds, locale) + QStringLiteral(" sec"),
        QStringLiteral("%1 samples").arg(FWave->FSampleCount),
        QStringLiteral("%1 ch").arg(fmt.nChannels), QStringLiteral("%1 Hz").arg(fmt.nSamplesPerSec),
        QStringLiteral("%1 bit").arg(fmt.wBitsPerSample), QStringLiteral("%1 frames").arg(frames)};
}

int32_t EditorCore::expectedFrameCount() const
{
    if (!FWave || FWave->FSampleCount == 0 || FWave->FFormat.nChannels == 0)
        return 0;
    return FCepstram.GetFrameCount(*FWave, FFFTLength);
}

void EditorCore::SetMode(uint8_t mode)
{
    if (mode != kSpectrumView && mode != kCepstrumView)
        return;
    FMode = mode;
    const DrawContext ctx = drawContext();
    if (mode == kSpectrumView) {
        DrawSpectrum(FBitmap, FCepstram, 0, ctx);
        return;
    }
    if (FCepstram.FSpecValid && !FCepstram.FCepValid) {
        FCepstram.CalcCepstrum();
        FCepstram.CalcCepPower(kCepstrumRef);
    }
    DrawCepstrum(FBitmap, FCepstram, 0, ctx);
}

void EditorCore::ChangeFFTLength(int32_t n)
{
    SetFFTLength(n);
    if (FWave) {
        RefreshView();
        FImportPath.clear();
    }
}

void EditorCore::AnalyzeAndDrawSpectrum()
{
    if (!FWave)
        return;
    if (FWave->FSampleCount == 0 || FWave->FFormat.nChannels == 0) {
        clearAnalysis();
        return;
    }
    FCepstram.Analyze(*FWave, FFFTLength);
    FCepstram.CalcPower(kSpectrumRef);
    DrawSpectrum(FBitmap, FCepstram, 0, drawContext());
}

void EditorCore::SynthesizeSpectrum()
{
    if (FWave)
        FCepstram.Synthesize(*FWave);
}

CommandResult EditorCore::Save(const QString& path)
{
    if (!FWave)
        return failure(QStringLiteral("%1: there is no sound to save").arg(path));
    QString reason;
    if (!FWave->SaveToFile(path, &reason))
        return failure(
            namingFile(path, reason.isEmpty() ? QStringLiteral("cannot be written") : reason));
    CommandResult r;
    r.ok = true;
    return r;
}

CommandResult EditorCore::Export(const QString& path)
{
    if (!geometryMatches())
        return failure(QStringLiteral("%1: there is no analysed picture to export").arg(path));
    QString reason;
    if (!writeFilterImage(FBitmap, path, &reason))
        return failure(reason);
    FImportPath = path;
    CommandResult r;
    r.ok = true;
    return r;
}

CommandResult EditorCore::Import(const QString& path, bool refresh)
{
    if (!geometryMatches())
        return failure(
            QStringLiteral("%1: there is no analysed picture to compare with").arg(path));
    QString reason;
    const QImage edited = readFilterImage(path, FBitmap.size(), &reason);
    if (edited.isNull())
        return failure(reason);
    CommandResult r;
    if (!ImportFilter(
            FCepstram, *FWave, FMode, FBitmap, edited, FLeftMargin, FTopMargin, &r.clips, &reason))
        return failure(QStringLiteral("%1: %2").arg(path, reason));
    if (refresh)
        RefreshView();
    r.ok = true;
    if (r.clips.clipped > 0)
        r.message = QStringLiteral("%1 samples went beyond full scale and were clipped (peak %2)")
                        .arg(r.clips.clipped)
                        .arg(r.clips.peak, 0, 'g', 4);
    return r;
}

QString EditorCore::fileName() const
{
    return namePart(FOpenedPath);
}

QString EditorCore::proposedExportPath() const
{
    if (FOpenedPath.isEmpty())
        return QString();
    QString suffix;
    if (FMode == kSpectrumView)
        suffix = QStringLiteral("_s");
    else if (FMode == kCepstrumView)
        suffix = QStringLiteral("_c");
    else
        return QString();
    suffix += QString::number(FFFTLength) + QStringLiteral(".bmp");
    return FFilterDir + replaceExtension(namePart(FOpenedPath), suffix);
}

} // namespace kestrelon
