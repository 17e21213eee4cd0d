#include "editing/Document.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include <QFile>
#include <QImageReader>

#include "audio/FileAccess.h"
#include "audio/SoundFile.h"
#include "base/Cancel.h"
#include "base/Errors.h"
#include "editing/History.h"
#include "editing/RangeTexts.h"
#include "imaging/FilterImage.h"
#include "imaging/PictureCells.h"
#include "spectral/TWaveCepstram.h"

namespace kestrelon {

namespace {

constexpr double kSpectrumRef = 1.0;

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
        // digits * 10^shift thousandths: move the last three digits behind the point
        const QString all = QString::number(digits) + QString(shift, QLatin1Char('0'));
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

CommandResult failure(const QString& message)
{
    CommandResult r;
    r.message = message;
    return r;
}

CommandResult success(DocumentPtr document)
{
    CommandResult r;
    r.ok = true;
    r.document = std::move(document);
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

SpectralView viewOf(uint8_t mode)
{
    return mode == kCepstrumView ? SpectralView::Cepstrum : SpectralView::Spectrum;
}

bool validMode(uint8_t mode)
{
    return mode == kSpectrumView || mode == kCepstrumView;
}

// The passes of a command: each is reported with the percent reached when it starts, and
// the command stops there when it has been cancelled.
class Progress {
public:
    explicit Progress(const PassFn& fn)
        : FFn(fn)
    {
    }
    void pass(int percent, const QString& name)
    {
        FName = name;
        if (FFn)
            FFn(percent, name);
        throwIfCancelled(currentCancelFlag());
    }
    // The spectral pipeline's progress through the current pass, as from .. to.
    ProgressFn within(int from, int to) const
    {
        if (!FFn)
            return {};
        return [this, from, to](int percent) { FFn(from + (to - from) * percent / 100, FName); };
    }
    void done() const
    {
        if (FFn)
            FFn(100, QString());
    }

private:
    const PassFn& FFn;
    QString FName;
};

// The picture of the view shown, drawn from its cells (none without them).
void drawShown(Document& d)
{
    const GrayCells* cells = d.shownCells();
    d.FBitmap = d.drawsPicture && cells ? drawCells(*cells, d.drawContext()) : QImage();
}

// Drops every cell and picture, then analyses and draws the view shown.
void analyseShown(Document& d, Progress& progress, int from, int to)
{
    d.cells[0].reset();
    d.cells[1].reset();
    d.FBitmap = QImage();
    if (!d.hasSamples())
        return;
    progress.pass(from, QStringLiteral("解析"));
    const int drawAt = from + (to - from) * 9 / 10;
    d.cells[d.FMode] = std::make_shared<const GrayCells>(
        analyzeCells(*d.FWave, d.FFFTLength, viewOf(d.FMode), progress.within(from, drawAt)));
    progress.pass(drawAt, QStringLiteral("描画"));
    drawShown(d);
}

// Sample frames [first, end) of the sound outside which two sounds are known to agree.
using SampleRange = std::pair<uint32_t, uint32_t>;
constexpr SampleRange kEverySample{0, UINT32_MAX};

// The frame ranges [first, end) whose samples differ between two sounds of the same
// format and length, for FFT length N, comparing the samples of `within` a block at a
// time.
std::vector<std::pair<int32_t, int32_t>> changedFrames(
    const TWave& a, const TWave& b, int32_t N, SampleRange within)
{
    std::vector<std::pair<int32_t, int32_t>> ranges;
    const std::size_t frameBytes = a.FFormat.nBlockAlign;
    if (frameBytes == 0 || a.FSampleCount == 0)
        return ranges;
    const int64_t H = N / 2;
    const int64_t frames = (int64_t(a.FSampleCount) + H - 1) / H + 1;
    constexpr std::size_t kBlock = 1024; // sample frames compared at a time
    const std::size_t S = std::min<std::size_t>(a.FSampleCount, within.second);
    for (std::size_t s0 = within.first / kBlock * kBlock; s0 < S; s0 += kBlock) {
        const std::size_t n = std::min(kBlock, S - s0);
        if (std::memcmp(
                a.FData.data() + s0 * frameBytes, b.FData.data() + s0 * frameBytes, n * frameBytes)
            == 0)
            continue;
        // Frame f covers samples fH - H .. fH + H - 1.
        const auto first = int32_t(int64_t(s0) / H);
        const auto end = int32_t(std::min<int64_t>(frames, (int64_t(s0 + n) + H - 1) / H + 1));
        if (!ranges.empty() && first <= ranges.back().second)
            ranges.back().second = std::max(ranges.back().second, end);
        else
            ranges.emplace_back(first, end);
    }
    return ranges;
}

// d holds a new sound in place of base's, the same outside `within`: the cells of every
// view base has and the picture are made again for the frames whose samples changed
// (everything when the format or length changed).
void refreshChanged(Document& d, const Document& base, Progress& progress, int from, int to,
    SampleRange within = kEverySample)
{
    if (!d.interactive) {
        d.cells[0].reset();
        d.cells[1].reset();
        d.FBitmap = QImage();
        return;
    }
    const TWave& now = *d.FWave;
    const TWave& was = *base.FWave;
    if (std::memcmp(&now.FFormat, &was.FFormat, sizeof now.FFormat) != 0
        || now.FData.size() != was.FData.size() || now.FSampleCount != was.FSampleCount
        || base.FFFTLength != d.FFFTLength) {
        analyseShown(d, progress, from, to);
        return;
    }
    progress.pass(from, QStringLiteral("解析"));
    const auto ranges = changedFrames(was, now, d.FFFTLength, within);
    if (ranges.empty())
        return; // the same samples: cells and picture stay
    int64_t changed = 0;
    for (const auto& [a, b] : ranges)
        changed += b - a;
    if (const GrayCells* shown = base.shownCells(); !shown || 2 * changed > shown->frames) {
        // Most of the sound changed: one analysis of the whole is the cheaper way.
        analyseShown(d, progress, from, to);
        return;
    }
    for (int v = 0; v < 2; ++v) {
        if (!base.cells[v])
            continue;
        auto cells = std::make_shared<GrayCells>(*base.cells[v]);
        for (const auto& [a, b] : ranges)
            refreshCells(*cells, now, a, b);
        d.cells[v] = std::move(cells);
    }
    if (!d.shownCells()) {
        analyseShown(d, progress, from, to);
        return;
    }
    progress.pass(from + (to - from) * 9 / 10, QStringLiteral("描画"));
    if (!d.drawsPicture)
        return;
    if (base.FBitmap.isNull()) {
        drawShown(d);
        return;
    }
    QImage picture = base.FBitmap; // detached by the first column painted
    for (const auto& [a, b] : ranges)
        paintCellColumns(picture, *d.shownCells(), a, b, d.FLeftMargin, d.FTopMargin);
    d.FBitmap = std::move(picture);
}

// The edits of the picture in the file at path against cells. A plain 24-bit BMP is read
// straight from its bytes; anything else is decoded as a picture first (imaging/
// FilterImage.h), with the same checks and messages, which name the file.
bool readEdits(const GrayCells& cells, const QString& path, CellEdits* edits, QString* reason)
{
    const QSize expected = cellPictureSize(cells, Document::FLeftMargin, Document::FTopMargin);
    // No picture of the expected size needs more than its pixels at 64 bits plus room for
    // headers and metadata (as readFilterImage).
    const int64_t maxBytes
        = int64_t(expected.width()) * expected.height() * 8 + (int64_t(16) << 20);
    QByteArray bytes;
    QString why;
    if (!readRegularFile(path, maxBytes, &bytes, &why)) {
        *reason = QStringLiteral("%1: %2").arg(path, why);
        return false;
    }
    throwIfCancelled(currentCancelFlag());
    if (cellEditsOfBmp(cells, bytes, Document::FLeftMargin, Document::FTopMargin, edits))
        return true;
    const QImage edited = decodeFilterImage(bytes, expected, &why);
    bytes = QByteArray();
    if (edited.isNull()
        || !cellEditsOf(cells, edited, Document::FLeftMargin, Document::FTopMargin, edits, &why)) {
        *reason = QStringLiteral("%1: %2").arg(path, why);
        return false;
    }
    return true;
}

// The sound base's cells of the view shown stand for, filtered by edits; the new
// document (a copy of base with the new sound, cells and picture) and what was clipped.
std::shared_ptr<Document> filtered(
    const Document& base, const CellEdits& edits, Progress& progress, ClipStats* clips)
{
    auto d = std::make_shared<Document>(base);
    if (edits.empty())
        return d;
    progress.pass(5, QStringLiteral("ゲイン適用と再合成"));
    d->FWave = std::make_shared<const TWave>(filterSound(
        *base.FWave, base.FFFTLength, viewOf(base.FMode), edits, clips, progress.within(5, 60)));
    // Segment j (samples jH .. jH + H - 1) comes from frames j and j + 1: an edited frame
    // f changes at most the samples of segments f - 1 and f.
    const int64_t H = base.FFFTLength / 2;
    const SampleRange within{uint32_t(std::max<int64_t>(0, (edits.frames.front() - 1) * H)),
        uint32_t(std::min<int64_t>(UINT32_MAX, (int64_t(edits.frames.back()) + 1) * H))};
    refreshChanged(*d, base, progress, 60, 95, within);
    return d;
}

// The cells of the sound as opened: those d has computed while its sound is still that
// one; with restart, the ones kept for another sound or N are dropped first.
void keepOpenedCells(Document& d, bool restart)
{
    for (int v = 0; v < 2; ++v) {
        if (restart)
            d.openedCells[v].reset();
        if (d.FWave && d.FWave == d.FOpenedWave && d.cells[v] && !d.openedCells[v])
            d.openedCells[v] = d.cells[v];
    }
}

} // namespace

bool isValidFFTLength(int32_t n)
{
    return n == 256 || n == 512 || n == 1024 || n == 2048 || n == 4096;
}

DocumentPtr makeDocument(int32_t fftLength, uint8_t mode, const QLocale& locale, bool shows)
{
    auto d = std::make_shared<Document>();
    if (isValidFFTLength(fftLength))
        d->FFFTLength = fftLength;
    if (validMode(mode))
        d->FMode = mode;
    d->locale = locale;
    d->drawsPicture = shows;
    d->interactive = shows;
    return d;
}

bool Document::hasSamples() const
{
    return FWave && FWave->FSampleCount != 0 && FWave->FFormat.nChannels != 0;
}

const GrayCells* Document::shownCells() const
{
    return validMode(FMode) ? cells[FMode].get() : nullptr;
}

bool Document::geometryMatches() const
{
    const GrayCells* c = shownCells();
    if (!hasSamples() || !c || c->frames <= 0 || c->fftLength != FFFTLength)
        return false;
    return !drawsPicture || FBitmap.size() == cellPictureSize(*c, FLeftMargin, FTopMargin);
}

DocumentPtr Document::withoutSound() const
{
    auto d = std::make_shared<Document>(*this);
    d->FWave.reset();
    return d;
}

DrawContext Document::drawContext() const
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

QStringList Document::statusTexts() const
{
    const GrayCells* c = shownCells();
    return statusTexts(c ? c->frames : 0);
}

QStringList Document::statusTexts(int32_t frames) const
{
    if (!FWave)
        return QStringList(6, QString());
    const WAVEFORMATEX& fmt = FWave->FFormat;
    return {formatSeconds(FWave->FSeconds, locale) + QStringLiteral(" sec"),
        QStringLiteral("%1 samples").arg(FWave->FSampleCount),
        QStringLiteral("%1 ch").arg(fmt.nChannels), QStringLiteral("%1 Hz").arg(fmt.nSamplesPerSec),
        QStringLiteral("%1 bit").arg(fmt.wBitsPerSample), QStringLiteral("%1 frames").arg(frames)};
}

int32_t Document::expectedFrameCount() const
{
    if (!hasSamples())
        return 0;
    const int64_t H = FFFTLength / 2;
    return int32_t(std::min<int64_t>((int64_t(FWave->FSampleCount) + H - 1) / H + 1, INT32_MAX));
}

QString Document::fileName() const
{
    return namePart(FOpenedPath);
}

QString Document::proposedExportPath() const
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

CommandResult Document::Open(const QString& path, const PassFn& progressFn, bool analyse) const
{
    Progress progress(progressFn);
    progress.pass(0, QStringLiteral("読み込み"));
    auto loaded = std::make_shared<TWave>();
    WaveLoadReport report;
    const uint8_t code = loadSound(path, *loaded, &report);
    if (code != kLoadOk) {
        const QString reason = report.message.isEmpty()
            ? QStringLiteral("cannot be read (code %1)").arg(code)
            : report.message;
        return failure(namingFile(path, reason));
    }
    auto d = std::make_shared<Document>(*this);
    d->FWave = std::move(loaded);
    d->FOpenedWave = d->FWave;
    d->FOpenedPath = path;
    d->FSavePath
        = directoryPart(path) + replaceExtension(namePart(path), QStringLiteral("_fix.wav"));
    d->FFilterDir = directoryPart(path);
    d->cells[0].reset();
    d->cells[1].reset();
    d->FBitmap = QImage();
    if (analyse)
        analyseShown(*d, progress, 20, 100);
    keepOpenedCells(*d, true);
    progress.done();
    CommandResult r = success(std::move(d));
    if (report.truncated || !report.message.isEmpty()) // cut short, or non-finite samples
        r.message = truncatedMessage(path, report);
    return r;
}

CommandResult Document::SetMode(uint8_t mode, const PassFn& progressFn) const
{
    if (!validMode(mode) || mode == FMode)
        return success(shared_from_this());
    Progress progress(progressFn);
    auto d = std::make_shared<Document>(*this);
    d->FMode = mode;
    d->FBitmap = QImage();
    if (d->hasSamples()) {
        if (!d->cells[mode]) {
            progress.pass(0, QStringLiteral("解析"));
            d->cells[mode] = std::make_shared<const GrayCells>(
                analyzeCells(*FWave, FFFTLength, viewOf(mode), progress.within(0, 90)));
        }
        progress.pass(90, QStringLiteral("描画"));
        drawShown(*d);
    }
    keepOpenedCells(*d, false);
    progress.done();
    return success(std::move(d));
}

CommandResult Document::ChangeFFTLength(int32_t n, const PassFn& progressFn) const
{
    if (!isValidFFTLength(n))
        return success(shared_from_this());
    Progress progress(progressFn);
    auto d = std::make_shared<Document>(*this);
    d->FFFTLength = n;
    if (d->FWave) {
        d->FImportPath.clear(); // a picture exported with the old length no longer fits
        if (n != FFFTLength)
            analyseShown(*d, progress, 0, 100);
    }
    keepOpenedCells(*d, n != FFFTLength);
    progress.done();
    return success(std::move(d));
}

CommandResult Document::Import(const QString& path, const PassFn& progressFn) const
{
    if (!geometryMatches())
        return failure(
            QStringLiteral("%1: there is no analysed picture to compare with").arg(path));
    Progress progress(progressFn);
    progress.pass(0, QStringLiteral("読み込み"));
    const GrayCells& shown = *shownCells();
    CellEdits edits;
    QString reason;
    if (!readEdits(shown, path, &edits, &reason))
        return failure(reason);
    CommandResult r;
    std::shared_ptr<Document> d;
    try {
        d = filtered(*this, edits, progress, &r.clips);
    } catch (const FloatError& e) {
        return failure(QStringLiteral("%1: %2").arg(path, QString::fromUtf8(e.what())));
    }
    if (interactive) {
        progress.pass(95, QStringLiteral("履歴"));
        r.change = SampleChange::record(*FWave, *d->FWave);
    }
    progress.done();
    r.ok = true;
    r.message = importMessage(r.clips);
    r.document = edits.empty() ? shared_from_this() : std::move(d);
    return r;
}

CommandResult Document::ImportEdited(
    const QImage& edited, const Document& exported, const PassFn& progressFn) const
{
    if (!geometryMatches() || !exported.geometryMatches())
        return failure(QStringLiteral("there is no analysed picture to compare with"));
    if (exported.FFFTLength != FFFTLength || exported.FMode != FMode)
        return failure(QStringLiteral("the picture was exported with another N or view"));
    Progress progress(progressFn);
    const GrayCells& reference = *exported.shownCells();
    CellEdits edits;
    QString reason;
    if (!cellEditsOf(reference, edited.convertToFormat(QImage::Format_RGB32), FLeftMargin,
            FTopMargin, &edits, &reason))
        return failure(reason);
    CommandResult r;
    std::shared_ptr<Document> d;
    try {
        d = filtered(exported, edits, progress, &r.clips);
    } catch (const FloatError& e) {
        return failure(QString::fromUtf8(e.what()));
    }
    // The sound of the session, with what this document proposes and shows besides.
    d->locale = locale;
    d->drawsPicture = drawsPicture;
    d->interactive = interactive;
    d->FOpenedPath = FOpenedPath;
    d->FSavePath = FSavePath;
    d->FFilterDir = FFilterDir;
    d->FImportPath = FImportPath;
    if (interactive) {
        progress.pass(95, QStringLiteral("履歴"));
        r.change = SampleChange::record(*FWave, *d->FWave);
    }
    progress.done();
    r.ok = true;
    r.message = importMessage(r.clips);
    r.document = std::move(d);
    return r;
}

CommandResult Document::Paint(const PaintStroke& stroke, const PassFn& progressFn) const
{
    if (!geometryMatches())
        return failure(QStringLiteral("there is no analysed picture to paint on"));
    Progress progress(progressFn);
    const GrayCells& shown = *shownCells();
    std::shared_ptr<const GrayCells> reference;
    if (stroke.kind == PaintKind::Erase) {
        reference = openedCells[FMode];
        if (!reference || reference->fftLength != FFFTLength) {
            if (!FOpenedWave)
                return failure(QStringLiteral("the sound as it was opened is not known"));
            progress.pass(0, QStringLiteral("解析"));
            reference = std::make_shared<const GrayCells>(
                analyzeCells(*FOpenedWave, FFFTLength, viewOf(FMode), progress.within(0, 5)));
        }
        if (reference->frames != shown.frames)
            return failure(QStringLiteral("the sound as it was opened has another length"));
    }
    const CellEdits edits = strokeEdits(shown, stroke, reference.get());
    CommandResult r;
    std::shared_ptr<Document> d;
    try {
        d = filtered(*this, edits, progress, &r.clips);
    } catch (const FloatError& e) {
        return failure(QString::fromUtf8(e.what()));
    }
    if (reference)
        d->openedCells[FMode] = reference;
    if (interactive && !edits.empty()) {
        progress.pass(95, QStringLiteral("履歴"));
        r.change = SampleChange::record(*FWave, *d->FWave);
    }
    progress.done();
    r.ok = true;
    r.message = importMessage(r.clips);
    r.document = std::move(d);
    return r;
}

CommandResult Document::Export(const QString& path) const
{
    if (!geometryMatches() || FBitmap.isNull())
        return failure(QStringLiteral("%1: there is no analysed picture to export").arg(path));
    QString reason;
    if (!writeFilterImage(FBitmap, path, &reason))
        return failure(reason);
    auto d = std::make_shared<Document>(*this);
    d->FImportPath = path;
    return success(std::move(d));
}

CommandResult Document::Save(const QString& path) const
{
    if (!FWave)
        return failure(QStringLiteral("%1: there is no sound to save").arg(path));
    QString reason;
    if (!saveSound(path, *FWave, &reason))
        return failure(
            namingFile(path, reason.isEmpty() ? QStringLiteral("cannot be written") : reason));
    return success(shared_from_this());
}

CommandResult Document::Undo(
    const SampleChange& step, const PassFn& progressFn, const Document* shown) const
{
    if (!FWave)
        return failure(QStringLiteral("there is no sound to undo"));
    return stepped(std::make_shared<const TWave>(step.undone(*FWave)), step, progressFn, shown);
}

CommandResult Document::Redo(
    const SampleChange& step, const PassFn& progressFn, const Document* shown) const
{
    if (!FWave)
        return failure(QStringLiteral("there is no sound to redo"));
    return stepped(std::make_shared<const TWave>(step.redone(*FWave)), step, progressFn, shown);
}

CommandResult Document::stepped(std::shared_ptr<const TWave> wave, const SampleChange& step,
    const PassFn& progressFn, const Document* shown) const
{
    Progress progress(progressFn);
    progress.pass(30, QStringLiteral("解析"));
    auto d = std::make_shared<Document>(*this);
    d->FWave = std::move(wave);
    const bool useShown = shown && shown->FFFTLength == FFFTLength && validMode(FMode)
        && shown->cells[FMode] && shown->locale == locale && d->interactive;
    if (!useShown) {
        refreshChanged(*d, *this, progress, 30, 100, step.changedFrames());
    } else {
        // The cells of the document the step leads to, and its picture if it showed this
        // view (else it is drawn from them).
        d->cells[0] = shown->cells[0];
        d->cells[1] = shown->cells[1];
        if (shown->FMode == FMode && !shown->FBitmap.isNull() && d->drawsPicture)
            d->FBitmap = shown->FBitmap;
        else
            drawShown(*d);
    }
    progress.done();
    return success(std::move(d));
}

CommandResult Document::AnalyzeAndDrawSpectrum(const PassFn& progressFn) const
{
    if (!hasSamples())
        return success(shared_from_this());
    Progress progress(progressFn);
    progress.pass(0, QStringLiteral("解析"));
    TWaveCepstram engine;
    engine.Analyze(*FWave, FFFTLength);
    engine.CalcPower(kSpectrumRef);
    auto cells = std::make_shared<GrayCells>();
    cells->view = SpectralView::Spectrum;
    cells->fftLength = FFFTLength;
    cells->frames = engine.FSpectrograms[0]->FFrameCount;
    cells->rows = FFFTLength / 2 + 1;
    cells->gray.reserve(std::size_t(cells->frames) * std::size_t(cells->rows));
    for (const TPowerRow& row : engine.FPower[0])
        for (int32_t k = 0; k < cells->rows; ++k)
            cells->gray.push_back(static_cast<uint8_t>(grayLevel(row[std::size_t(k)])));
    auto d = std::make_shared<Document>(*this);
    d->FMode = kSpectrumView;
    d->cells[kSpectrumView] = std::move(cells);
    d->cells[kCepstrumView].reset();
    d->FBitmap = QImage();
    progress.pass(80, QStringLiteral("描画"));
    if (d->drawsPicture) {
        // The engine's picture, gray like every picture of a document (its red, green and
        // blue are equal, so the conversion keeps every level).
        QImage picture;
        DrawSpectrum(picture, engine, 0, d->drawContext());
        d->FBitmap = picture.convertToFormat(QImage::Format_Grayscale8);
    }
    progress.done();
    return success(std::move(d));
}

CommandResult Document::SynthesizeSpectrum(const PassFn& progressFn) const
{
    if (!FWave)
        return success(shared_from_this());
    Progress progress(progressFn);
    progress.pass(0, QStringLiteral("解析"));
    TWaveSpectram engine;
    engine.Analyze(*FWave, FFFTLength);
    progress.pass(40, QStringLiteral("再合成"));
    auto wave = std::make_shared<TWave>(*FWave);
    engine.Synthesize(*wave);
    auto d = std::make_shared<Document>(*this);
    d->FWave = std::move(wave);
    refreshChanged(*d, *this, progress, 70, 100);
    CommandResult r = success(d);
    if (interactive) {
        progress.pass(95, QStringLiteral("履歴"));
        r.change = SampleChange::record(*FWave, *d->FWave);
    }
    progress.done();
    return r;
}

// --- pieces of a long sound ---------------------------------------------------------------

namespace {

// Seconds in messages and names: C locale, three decimals.
QString secondsText(double s)
{
    return QString::number(s, 'f', 3);
}

} // namespace

QSize statedPictureSize(const QString& path)
{
    QFile file;
    QString why;
    if (!openRegularFile(path, file, &why))
        return {};
    // Only the two kinds import reads: their headers state the size, and nothing else
    // of the file is decoded here.
    QImageReader reader(&file);
    const QByteArray format = reader.format();
    if (format != "bmp" && format != "png")
        return {};
    return reader.size();
}

double Document::frameSeconds(int32_t frame) const
{
    if (!FWave || FWave->FFormat.nSamplesPerSec == 0)
        return 0.0;
    return double(frame) * double(FFFTLength / 2) / double(FWave->FFormat.nSamplesPerSec);
}

bool Document::rangeOfSeconds(double from, double to, FrameRange* range, QString* reason) const
{
    if (!(from >= 0.0) || !(to > from) || !std::isfinite(to)) {
        *reason = rangeText(RangeText::NotARange).arg(from).arg(to);
        return false;
    }
    const int32_t F = expectedFrameCount();
    const double perSecond = FWave && FWave->FFormat.nSamplesPerSec != 0
        ? double(FWave->FFormat.nSamplesPerSec) / double(FFFTLength / 2)
        : 0.0;
    auto nearest
        = [&](double s) { return int32_t(std::min<double>(std::round(s * perSecond), double(F))); };
    FrameRange r{nearest(from), FWave && to >= FWave->FSeconds ? F : nearest(to)};
    if (r.first >= r.end) {
        *reason
            = rangeText(RangeText::NoFrames).arg(from).arg(to).arg(FWave ? FWave->FSeconds : 0.0);
        return false;
    }
    *range = r;
    return true;
}

int32_t Document::wholePictureWidth() const
{
    const GrayCells* c = shownCells();
    return c && hasSamples() ? cellPictureSize(*c, FLeftMargin, FTopMargin).width() : 0;
}

QString Document::proposedRangeExportPath(FrameRange range) const
{
    const QString whole = proposedExportPath();
    if (whole.isEmpty())
        return whole;
    return replaceExtension(whole,
        QStringLiteral("_%1-%2.bmp")
            .arg(secondsText(frameSeconds(range.first)), secondsText(frameSeconds(range.end))));
}

CommandResult Document::ExportRange(const QString& path, FrameRange range) const
{
    const GrayCells* cells = shownCells();
    if (!hasSamples() || !cells || cells->fftLength != FFFTLength)
        return failure(QStringLiteral("%1: there is no analysed picture to export").arg(path));
    if (!isRangeOf(*cells, range))
        return failure(rangeText(RangeText::OutsideSound)
                           .arg(path)
                           .arg(range.first)
                           .arg(range.end)
                           .arg(cells->frames));
    QString reason;
    if (!writeFilterImage(drawRangeCells(*cells, range, drawContext()), path, &reason))
        return failure(reason);
    auto d = std::make_shared<Document>(*this);
    d->FImportPath = path;
    return success(std::move(d));
}

CommandResult Document::ImportRange(
    const QString& path, FrameRange range, const PassFn& progressFn) const
{
    if (!geometryMatches())
        return failure(
            QStringLiteral("%1: there is no analysed picture to compare with").arg(path));
    const GrayCells& shown = *shownCells();
    if (!isRangeOf(shown, range))
        return failure(rangeText(RangeText::OutsideSound)
                           .arg(path)
                           .arg(range.first)
                           .arg(range.end)
                           .arg(shown.frames));
    Progress progress(progressFn);
    progress.pass(0, QStringLiteral("読み込み"));
    const GrayCells piece = cellsOfRange(shown, range);
    const QSize expected = cellPictureSize(piece, FLeftMargin, FTopMargin);
    if (const QSize stated = statedPictureSize(path); stated.isValid() && stated != expected)
        return failure(
            rangeText(RangeText::OtherRange)
                .arg(path)
                .arg(stated.width())
                .arg(stated.height())
                .arg(secondsText(frameSeconds(range.first)), secondsText(frameSeconds(range.end)))
                .arg(expected.width())
                .arg(expected.height()));
    CellEdits edits;
    QString reason;
    if (!readEdits(piece, path, &edits, &reason))
        return failure(reason);
    shiftEdits(edits, range.first);
    CommandResult r;
    std::shared_ptr<Document> d;
    try {
        d = filtered(*this, edits, progress, &r.clips);
    } catch (const FloatError& e) {
        return failure(QStringLiteral("%1: %2").arg(path, QString::fromUtf8(e.what())));
    }
    if (interactive) {
        progress.pass(95, QStringLiteral("履歴"));
        r.change = SampleChange::record(*FWave, *d->FWave);
    }
    progress.done();
    r.ok = true;
    r.message = importMessage(r.clips);
    r.document = edits.empty() ? shared_from_this() : std::move(d);
    return r;
}

} // namespace kestrelon
