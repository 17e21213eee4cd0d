#include "editing/EditorCore.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <utility>

#include "audio/SoundFile.h"
#include "base/Cancel.h"
#include "base/Errors.h"
#include "editing/EditorTasks.h"
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

QString importMessage(const ClipStats& clips)
{
    QStringList parts;
    if (clips.clipped != 0)
        parts << QStringLiteral("%1 samples went beyond full scale and were clipped (peak %2)")
                     .arg(clips.clipped)
                     .arg(clips.peak, 0, 'g', 4);
    if (clips.over != 0) // float samples
        parts << QStringLiteral(
            "%1 samples are over full scale (peak %2); they are kept as they are")
                     .arg(clips.over)
                     .arg(clips.peak, 0, 'g', 4);
    return parts.join(QStringLiteral("; "));
}

QString truncatedMessage(const QString& path, const WaveLoadReport& report);

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
    const QString name = namePart(path); // empty for a name that ends in "/"
    if (reason.contains(path) || (!name.isEmpty() && reason.contains(name)))
        return reason;
    return QStringLiteral("%1: %2").arg(path, reason);
}

QString truncatedMessage(const QString& path, const WaveLoadReport& report)
{
    return report.message.isEmpty()
        ? QStringLiteral("%1: the file ends early: %2 of %3 sample frames read")
              .arg(path)
              .arg(report.framesLoaded)
              .arg(report.framesDeclared)
        : namingFile(path, report.message);
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
    const uint8_t code = loadSound(path, loaded, &report);
    if (code != kLoadOk) {
        const QString reason = report.message.isEmpty()
            ? QStringLiteral("cannot be read (code %1)").arg(code)
            : report.message;
        return failure(namingFile(path, reason));
    }
    if (!FWave)
        FWave = std::make_unique<TWave>();
    *FWave = std::move(loaded); // the same TWave object, holding the new sound
    FAnalysisOfWave = false;
    adoptPath(path);
    if (refresh)
        RefreshView();

    CommandResult r;
    r.ok = true;
    if (report.truncated || !report.message.isEmpty()) // cut short, or non-finite samples
        r.message = truncatedMessage(path, report);
    return r;
}

void EditorCore::adoptPath(const QString& path)
{
    FOpenedPath = path;
    FSavePath = directoryPart(path) + replaceExtension(namePart(path), QStringLiteral("_fix.wav"));
    FFilterDir = directoryPart(path);
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
    FAnalysisOfWave = false;
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
    if (analyzeSound())
        drawCurrentView();
}

bool EditorCore::analyzeSound()
{
    if (!FWave)
        return false;
    if (FWave->FSampleCount == 0 || FWave->FFormat.nChannels == 0) {
        // Nothing to analyse: no picture, rather than the previous sound's analysis.
        clearAnalysis();
        return false;
    }
    FAnalysisOfWave = false;
    FCepstram.Analyze(*FWave, FFFTLength);
    FCepstram.CalcPower(kSpectrumRef);
    FAnalysisOfWave = true;
    return true;
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
    if (analyzeSound())
        DrawSpectrum(FBitmap, FCepstram, 0, drawContext());
}

void EditorCore::SynthesizeSpectrum()
{
    if (FWave) {
        FAnalysisOfWave = false; // the sound becomes the resynthesis of the analysis
        FCepstram.Synthesize(*FWave);
    }
}

CommandResult EditorCore::Save(const QString& path)
{
    if (!FWave)
        return failure(QStringLiteral("%1: there is no sound to save").arg(path));
    QString reason;
    if (!saveSound(path, *FWave, &reason))
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
    const bool wasOfSound = FAnalysisOfWave;
    FAnalysisOfWave = false; // analysis and sound both change from here on
    if (!ImportFilter(FCepstram, *FWave, FMode, FBitmap, edited, FLeftMargin, FTopMargin, &r.clips,
            &reason)) {
        FAnalysisOfWave = wasOfSound; // a refused import changed neither
        return failure(QStringLiteral("%1: %2").arg(path, reason));
    }
    if (refresh)
        RefreshView();
    r.ok = true;
    r.message = importMessage(r.clips);
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

// --- the commands as tasks ----------------------------------------------------------------

namespace {

// Exchanges two analyses completely (every field of the engine).
void swapAnalysis(TWaveCepstram& a, TWaveCepstram& b)
{
    using std::swap;
    swap(a.FWindow, b.FWindow);
    swap(a.FChannelCount, b.FChannelCount);
    swap(a.FSpecValid, b.FSpecValid);
    swap(a.FPowerValid, b.FPowerValid);
    swap(a.FSpectrograms, b.FSpectrograms);
    swap(a.FPower, b.FPower);
    swap(a.FCepValid, b.FCepValid);
    swap(a.FCepPowerValid, b.FCepPowerValid);
    swap(a.FCepstrograms, b.FCepstrograms);
    swap(a.FCepPower, b.FCepPower);
}

// Counts the passes of a task for its progress reports.
class Passes {
public:
    Passes(TaskControl& control, int total)
        : FControl(control)
        , FTotal(total > 0 ? total : 1)
    {
    }
    void next(const QString& pass) { FControl.checkpoint(100 * FDone++ / FTotal, pass); }
    void done() { FControl.checkpoint(100, QString()); }

private:
    TaskControl& FControl;
    int FTotal;
    int FDone = 0;
};

bool hasSamples(const TWave& wave)
{
    return wave.FSampleCount != 0 && wave.FFormat.nChannels != 0;
}

// The passes RefreshView runs after the analysis, per view.
int refreshPasses(uint8_t mode)
{
    return mode == kCepstrumView ? 5 : 3;
}

// What RefreshView does, into engine and picture: analyse, dB, the cepstrum and its dB
// in the cepstrum view, draw.
void refreshInto(TWaveCepstram& engine, QImage& bitmap, const TWave& wave, int32_t N,
    const DrawContext& ctx, Passes& passes)
{
    passes.next(QStringLiteral("解析"));
    engine.Analyze(wave, N);
    passes.next(QStringLiteral("dB 計算"));
    engine.CalcPower(kSpectrumRef);
    if (ctx.mode == kCepstrumView) {
        passes.next(QStringLiteral("ケプストラム"));
        engine.CalcCepstrum();
        passes.next(QStringLiteral("ケプストラム dB 計算"));
        engine.CalcCepPower(kCepstrumRef);
        passes.next(QStringLiteral("描画"));
        DrawCepstrum(bitmap, engine, 0, ctx);
    } else if (ctx.mode == kSpectrumView) {
        passes.next(QStringLiteral("描画"));
        DrawSpectrum(bitmap, engine, 0, ctx);
    }
}

// The same into a new engine.
void refreshInto(std::unique_ptr<TWaveCepstram>& engine, QImage& bitmap, const TWave& wave,
    int32_t N, const DrawContext& ctx, Passes& passes)
{
    engine = std::make_unique<TWaveCepstram>();
    refreshInto(*engine, bitmap, wave, N, ctx, passes);
}

} // namespace

std::unique_ptr<EditorTask> EditorCore::prepareOpen(const QString& path)
{
    std::unique_ptr<EditorTask> t(new EditorTask(EditorTask::Kind::Open));
    t->FDescription = QStringLiteral("%1 を開いています").arg(namePart(path));
    t->FPath = path;
    t->FFFTLength = FFFTLength;
    t->FMode = FMode;
    t->FBitmap = FBitmap;
    lendAnalysis(*t);
    return t;
}

std::unique_ptr<EditorTask> EditorCore::prepareSetMode(uint8_t mode)
{
    std::unique_ptr<EditorTask> t(new EditorTask(EditorTask::Kind::SetMode));
    t->FDescription = mode == kCepstrumView ? QStringLiteral("ケプストラムを計算しています")
                                            : QStringLiteral("スペクトルを描いています");
    t->FMode = mode;
    t->FFFTLength = FFFTLength;
    t->FBitmap = FBitmap;
    t->FResult.ok = true;
    t->FRefresh = mode == kCepstrumView && FCepstram.FSpecValid && !FCepstram.FCepValid;
    if (t->FRefresh) {
        // The cepstrum is computed from the analysis itself: lend it to the task (the
        // worker is then the only one touching it) and take it back in finishTask.
        t->FEngine = std::make_unique<TWaveCepstram>();
        swapAnalysis(*t->FEngine, FCepstram);
        t->FBorrowed = true;
    }
    return t;
}

std::unique_ptr<EditorTask> EditorCore::prepareChangeFFTLength(int32_t n)
{
    std::unique_ptr<EditorTask> t(new EditorTask(EditorTask::Kind::ChangeFFTLength));
    t->FFFTLength = isValidFFTLength(n) ? n : FFFTLength;
    t->FDescription = QStringLiteral("N = %1 で解析しています").arg(t->FFFTLength);
    t->FMode = FMode;
    t->FBitmap = FBitmap;
    t->FRefresh = FWave != nullptr;
    t->FResult.ok = true;
    if (t->FRefresh)
        lendAnalysis(*t);
    return t;
}

std::unique_ptr<EditorTask> EditorCore::prepareImport(const QString& path)
{
    std::unique_ptr<EditorTask> t(new EditorTask(EditorTask::Kind::Import));
    t->FDescription = QStringLiteral("%1 をインポートしています").arg(namePart(path));
    t->FPath = path;
    t->FFFTLength = FFFTLength;
    t->FMode = FMode;
    t->FReference = FBitmap;
    t->FBitmap = FBitmap;
    if (!geometryMatches()) {
        t->FResult
            = failure(QStringLiteral("%1: there is no analysed picture to compare with").arg(path));
    } else {
        t->FResult.ok = true; // cleared again if the worker fails
        lendAnalysis(*t);
    }
    return t;
}

std::unique_ptr<EditorTask> EditorCore::prepareImport(
    const QImage& edited, const QImage& reference, std::vector<uint8_t> baseSamples)
{
    std::unique_ptr<EditorTask> t(new EditorTask(EditorTask::Kind::Import));
    t->FDescription = QStringLiteral("編集された画像を適用しています");
    t->FFFTLength = FFFTLength;
    t->FMode = FMode;
    t->FHaveEdited = true;
    t->FEdited = edited;
    t->FReference = reference;
    t->FBitmap = FBitmap;
    t->FHaveBase = true;
    t->FBase = std::move(baseSamples);
    if (!geometryMatches())
        t->FResult = failure(QStringLiteral("there is no analysed picture to compare with"));
    else if (reference.size() != FBitmap.size() || edited.size() != FBitmap.size())
        t->FResult
            = failure(QStringLiteral("the pictures do not have the size of the display picture"));
    else if (t->FBase.size() != FWave->FData.size())
        t->FResult = failure(QStringLiteral("the sound to filter has another length"));
    else
        t->FResult.ok = true;
    if (t->FResult.ok)
        lendAnalysis(*t);
    return t;
}

bool EditorCore::analysisIsOfSound() const
{
    if (!FAnalysisOfWave || !FWave || !geometryMatches() || !FCepstram.FSpecValid
        || !FCepstram.FPowerValid)
        return false;
    return FMode == kSpectrumView
        || (FMode == kCepstrumView && FCepstram.FCepValid && FCepstram.FCepPowerValid);
}

void EditorCore::lendAnalysis(EditorTask& t)
{
    // Only an analysis that can be made again from the sound is lent: a cancel gives it
    // back by making it again. Any other (after the hidden commands) stays where it is and
    // the task builds its analysis beside it.
    if (!analysisIsOfSound())
        return;
    t.FEngine = std::make_unique<TWaveCepstram>();
    swapAnalysis(*t.FEngine, FCepstram);
    t.FBorrowed = true;
    t.FLentCepValid = t.FEngine->FCepValid;
    t.FLentCepPowerValid = t.FEngine->FCepPowerValid;
}

void EditorCore::remakeLent(EditorTask& t) const
{
    if (!t.FLentChanged)
        return;
    // The sound is untouched (the import resynthesised into the task's copy), so its
    // analysis in the current view comes back bit for bit. Only the spectral part is made
    // again in the spectrum view: the cepstral arrays were not touched there.
    TWaveCepstram& engine = *t.FEngine;
    engine.Analyze(*FWave, FFFTLength);
    engine.CalcPower(kSpectrumRef);
    if (t.FMode == kCepstrumView) {
        engine.CalcCepstrum();
        engine.CalcCepPower(kCepstrumRef);
    }
    engine.FCepValid = t.FLentCepValid;
    engine.FCepPowerValid = t.FLentCepPowerValid;
    t.FLentChanged = false;
}

void EditorCore::runTask(EditorTask& t, TaskControl& control) const
{
    t.FRan = false;
    t.FCancelled = false;
    // The new analysis: in the lent engine's place (which must then be made again if the
    // task stops), or in a new engine.
    auto refreshTask = [&t](const TWave& wave, const DrawContext& ctx, Passes& passes) {
        if (t.FBorrowed) {
            t.FLentChanged = true;
            refreshInto(*t.FEngine, t.FBitmap, wave, t.FFFTLength, ctx, passes);
        } else {
            refreshInto(t.FEngine, t.FBitmap, wave, t.FFFTLength, ctx, passes);
        }
    };
    // The spectral passes look at the task's cancel flag (not while the lent analysis
    // is made again below).
    std::optional<CancelScope> cancellable(std::in_place, control.flag());
    try {
        DrawContext ctx = drawContext();
        ctx.fftLength = t.FFFTLength;
        ctx.mode = t.FMode;
        switch (t.FKind) {
        case EditorTask::Kind::Open: {
            Passes passes(control, 1 + refreshPasses(t.FMode));
            passes.next(QStringLiteral("読み込み"));
            TWave loaded;
            WaveLoadReport report;
            const uint8_t code = loadSound(t.FPath, loaded, &report);
            if (code != kLoadOk) {
                const QString reason = report.message.isEmpty()
                    ? QStringLiteral("cannot be read (code %1)").arg(code)
                    : report.message;
                t.FResult = failure(namingFile(t.FPath, reason));
                return;
            }
            t.FResult = CommandResult();
            t.FResult.ok = true;
            if (report.truncated || !report.message.isEmpty())
                t.FResult.message = truncatedMessage(t.FPath, report);
            t.FWave.emplace(std::move(loaded));
            ctx.wave = &*t.FWave;
            if (hasSamples(*t.FWave))
                refreshTask(*t.FWave, ctx, passes);
            passes.done();
            break;
        }
        case EditorTask::Kind::SetMode: {
            if (t.FMode != kSpectrumView && t.FMode != kCepstrumView)
                break;
            Passes passes(control, t.FRefresh ? 3 : 1);
            if (t.FMode == kSpectrumView) {
                passes.next(QStringLiteral("描画"));
                DrawSpectrum(t.FBitmap, FCepstram, 0, ctx);
            } else if (!t.FRefresh) {
                passes.next(QStringLiteral("描画"));
                DrawCepstrum(t.FBitmap, FCepstram, 0, ctx);
            } else {
                TWaveCepstram& engine = *t.FEngine;
                passes.next(QStringLiteral("ケプストラム"));
                // Keep the stale cepstral arrays, so that a cancel gives them back as
                // they were.
                t.FOldCepstrograms = std::move(engine.FCepstrograms);
                t.FOldCepPower = std::move(engine.FCepPower);
                t.FOldCepValid = engine.FCepValid;
                t.FOldCepPowerValid = engine.FCepPowerValid;
                t.FOldTaken = true;
                engine.FCepstrograms.clear();
                engine.FCepPower.clear();
                engine.CalcCepstrum();
                passes.next(QStringLiteral("ケプストラム dB 計算"));
                engine.CalcCepPower(kCepstrumRef);
                passes.next(QStringLiteral("描画"));
                DrawCepstrum(t.FBitmap, engine, 0, ctx);
            }
            passes.done();
            break;
        }
        case EditorTask::Kind::ChangeFFTLength: {
            if (!t.FRefresh || !hasSamples(*FWave))
                break;
            Passes passes(control, refreshPasses(t.FMode));
            refreshTask(*FWave, ctx, passes);
            passes.done();
            break;
        }
        case EditorTask::Kind::Import: {
            if (!t.FResult.ok)
                return; // refused when it was prepared
            const bool cepstrum = t.FMode == kCepstrumView;
            // The sound the picture applies to is the current one, or (an editor's save)
            // the sound as exported; the latter is analysed first, the way RefreshView
            // analysed it, unless it is the current sound and the lent analysis is its own.
            const bool analyseBase = !t.FBorrowed || (t.FHaveBase && t.FBase != FWave->FData);
            Passes passes(control,
                (t.FHaveEdited ? 0 : 1) + (analyseBase ? (cepstrum ? 3 : 1) : 0) + 1
                    + refreshPasses(t.FMode));
            QImage edited = t.FEdited;
            if (!t.FHaveEdited) {
                passes.next(QStringLiteral("読み込み"));
                QString reason;
                edited = readFilterImage(t.FPath, t.FReference.size(), &reason);
                if (edited.isNull()) {
                    t.FResult = failure(reason);
                    return;
                }
            }
            TWave& wave = t.FWave.emplace();
            wave.FFormat = FWave->FFormat;
            wave.FDataSize = FWave->FDataSize;
            wave.FSampleCount = FWave->FSampleCount;
            wave.FSeconds = FWave->FSeconds;
            wave.FData = t.FHaveBase ? std::move(t.FBase) : FWave->FData;
            // The lent analysis is changed from here on; without one, a new engine.
            std::unique_ptr<TWaveCepstram> own;
            if (!t.FBorrowed)
                own = std::make_unique<TWaveCepstram>();
            TWaveCepstram& engine = t.FBorrowed ? *t.FEngine : *own;
            if (analyseBase) {
                passes.next(QStringLiteral("解析"));
                t.FLentChanged = t.FBorrowed;
                engine.Analyze(wave, t.FFFTLength);
                if (cepstrum) {
                    passes.next(QStringLiteral("dB 計算"));
                    engine.CalcPower(kSpectrumRef);
                    passes.next(QStringLiteral("ケプストラム"));
                    engine.CalcCepstrum();
                }
            }
            passes.next(QStringLiteral("ゲイン適用と再合成"));
            CommandResult r;
            QString reason;
            const bool changedBefore = t.FLentChanged;
            t.FLentChanged = t.FBorrowed;
            if (!ImportFilter(engine, wave, t.FMode, t.FReference, edited, FLeftMargin, FTopMargin,
                    &r.clips, &reason)) {
                t.FLentChanged = changedBefore; // a refused import changes no bin
                t.FResult = failure(t.FPath.isEmpty() ? reason : t.FPath + ": " + reason);
                break; // the lent analysis, if the base was analysed into it, is made again below
            }
            ctx.wave = &wave;
            own.reset(); // the analysis of the new sound replaces it
            refreshTask(wave, ctx, passes);
            r.ok = true;
            r.message = importMessage(r.clips);
            t.FResult = r;
            passes.done();
            break;
        }
        }
        t.FRan = t.FResult.ok; // a command that failed returned or left with its reason
    } catch (const TaskCancelled&) {
        t.FCancelled = true;
        t.FResult = failure(QStringLiteral("cancelled"));
    } catch (const Error& e) {
        t.FResult = failure(QString::fromStdString(e.what()));
    } catch (const std::bad_alloc&) {
        t.FResult = failure(QStringLiteral("not enough memory"));
    }
    cancellable.reset();
    if (!t.FRan && t.FLentChanged) {
        // Stopped: make the lent analysis again, still on the worker, before it goes back.
        try {
            remakeLent(t);
        } catch (...) {
            t.FRestoreFailed = true;
        }
    }
}

CommandResult EditorCore::finishTask(EditorTask& t)
{
    if (!t.FRan) {
        // Give back what was lent, exactly as it was.
        if (t.FBorrowed) {
            if (t.FEngine) {
                TWaveCepstram& engine = *t.FEngine;
                // An import that ran to its end but was discarded.
                if (t.FLentChanged && !t.FRestoreFailed) {
                    try {
                        remakeLent(t);
                    } catch (...) {
                        t.FRestoreFailed = true;
                    }
                }
                if (t.FOldTaken) {
                    engine.FCepstrograms = std::move(t.FOldCepstrograms);
                    engine.FCepPower = std::move(t.FOldCepPower);
                    engine.FCepValid = t.FOldCepValid;
                    engine.FCepPowerValid = t.FOldCepPowerValid;
                }
                swapAnalysis(*t.FEngine, FCepstram);
            }
            t.FBorrowed = false;
            if (t.FRestoreFailed) {
                // Out of memory while making the analysis again: rather than a picture
                // that does not belong to the analysis, none (the sound is unchanged).
                clearAnalysis();
                t.FResult = failure(t.FResult.message
                    + QStringLiteral("; the analysis could not be made again and was cleared "
                                     "(change N or open the sound again to see it)"));
            }
        }
        t.FEngine.reset();
        t.FWave.reset();
        return t.FResult;
    }
    switch (t.FKind) {
    case EditorTask::Kind::Open:
        if (!FWave)
            FWave = std::make_unique<TWave>();
        *FWave = std::move(*t.FWave); // the same TWave object, holding the new sound
        adoptPath(t.FPath);
        if (!hasSamples(*FWave)) {
            clearAnalysis();
        } else {
            swapAnalysis(FCepstram, *t.FEngine);
            FBitmap = t.FBitmap;
            FAnalysisOfWave = true;
        }
        break;
    case EditorTask::Kind::SetMode:
        if (t.FMode != kSpectrumView && t.FMode != kCepstrumView)
            break;
        FMode = t.FMode;
        if (t.FBorrowed) {
            swapAnalysis(FCepstram, *t.FEngine);
            t.FBorrowed = false;
        }
        FBitmap = t.FBitmap;
        break;
    case EditorTask::Kind::ChangeFFTLength:
        FFFTLength = t.FFFTLength;
        if (FWave) {
            if (!hasSamples(*FWave)) {
                clearAnalysis();
            } else {
                swapAnalysis(FCepstram, *t.FEngine);
                FBitmap = t.FBitmap;
                FAnalysisOfWave = true;
            }
            FImportPath.clear();
        }
        break;
    case EditorTask::Kind::Import:
        t.samplesBefore = std::make_shared<std::vector<uint8_t>>(std::move(FWave->FData));
        *FWave = std::move(*t.FWave);
        // The new analysis, made in the lent engine or in a new one.
        swapAnalysis(FCepstram, *t.FEngine);
        t.FBorrowed = false;
        t.FLentChanged = false;
        FBitmap = t.FBitmap;
        FAnalysisOfWave = true;
        break;
    }
    t.FEngine.reset(); // the old analysis, now
    t.FWave.reset();
    return t.FResult;
}

} // namespace kestrelon
