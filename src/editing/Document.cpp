#include "editing/Document.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <future>
#include <mutex>
#include <utility>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include <QFile>
#include <QImageReader>
#include <QRegularExpression>

#include "audio/FileAccess.h"
#include "audio/SoundFile.h"
#include "base/Cancel.h"
#include "base/Errors.h"
#include "editing/History.h"
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

Message importMessage(const ClipStats& clips)
{
    Message m;
    const QString peak = QString::number(clips.peak, 'g', 4);
    if (clips.clipped != 0)
        m = Message(MessageCode::ClippedSamples, clips.clipped, peak);
    if (clips.over != 0) // float samples
        m = m.then(Message(MessageCode::OverFullScale, clips.over, peak));
    return m;
}

CommandResult failure(const Message& message)
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

// A reason that names the file: the reader's as it is if it names a file already, else
// with the path before it.
Message namingFile(const QString& path, const Message& reason)
{
    if (reason.code() == MessageCode::FileReason)
        return reason;
    return Message(MessageCode::FileReason, path, reason);
}

Message truncatedMessage(const QString& path, const WaveLoadReport& report)
{
    return namingFile(path,
        report.message.isEmpty()
            ? Message(MessageCode::FileEndsEarlyFrames, report.framesLoaded, report.framesDeclared)
            : report.message);
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
    // name: the pass as the person reads it, in the language of the messages
    void pass(int percent, MessageCode name)
    {
        FName = Message(name).text();
        if (FFn)
            FFn(percent, FName);
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
    progress.pass(from, MessageCode::PassAnalysis);
    const int drawAt = from + (to - from) * 9 / 10;
    d.cells[d.FMode] = std::make_shared<const GrayCells>(
        analyzeCells(*d.FWave, d.FFFTLength, viewOf(d.FMode), progress.within(from, drawAt)));
    progress.pass(drawAt, MessageCode::PassDrawing);
    drawShown(d);
}

// Sample frames [first, end) of the sound outside which two sounds are known to agree.
using SampleRange = std::pair<uint32_t, uint32_t>;
constexpr SampleRange kEverySample{0, UINT32_MAX};

// The parts of a document that a filter changes, copied for the new document: the sound,
// the cells of each view and the picture (null when not copied).
struct Copies {
    std::shared_ptr<TWave> wave;
    std::vector<uint64_t> waveChunks; // sampleChunkHash of each chunk of the sound's block
    std::shared_ptr<GrayCells> cells[2];
    QImage picture;
};

// Asks the system for the pages of a fresh block up front: one call instead of a page
// fault per page, about a fifth faster on this kind of machine. Nothing happens where the
// system does not offer it.
void populate(void* block, std::size_t size)
{
#ifdef MADV_POPULATE_WRITE
    const auto page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    const std::uintptr_t first = (std::uintptr_t(block) + page - 1) / page * page;
    const std::uintptr_t end = (std::uintptr_t(block) + size) / page * page;
    if (page > 0 && end > first)
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#else
    (void)block;
    (void)size;
#endif
}

// The blocks of the copies a filter writes into, kept when the document holding them is
// dropped: the next copy of the same size then fills memory whose pages are there
// already, about three times faster than a fresh block that takes a page fault per page.
// A window that paints stroke after stroke drops the sound of the document before the
// last one each time, and the cells and picture of the one before that (kept a step
// longer for undo), so from the fourth stroke on every copy finds its block. Blocks under
// kMinBytes are freed at once; at most kMaxBytes are kept, the oldest going first.
class BlockPool {
public:
    static constexpr std::size_t kMinBytes = std::size_t(64) << 10;
    static constexpr std::size_t kMaxBytes = std::size_t(192) << 20;

    static BlockPool& instance()
    {
        static BlockPool pool;
        return pool;
    }
    // An empty vector with room for n bytes: a kept block of about that size, else a new
    // one with its pages populated.
    std::vector<uint8_t> take(std::size_t n)
    {
        if (n >= kMinBytes) {
            const std::lock_guard lock(FMutex);
            for (auto it = FBlocks.begin(); it != FBlocks.end(); ++it)
                if (it->capacity() >= n && it->capacity() - n <= n / 8) {
                    std::vector<uint8_t> block = std::move(*it);
                    FBlocks.erase(it);
                    FBytes -= block.capacity();
                    block.clear();
                    return block;
                }
        }
        std::vector<uint8_t> block;
        block.reserve(n);
        populate(block.data(), n);
        return block;
    }
    // Keeps the block of a copy that is no longer used.
    void give(std::vector<uint8_t>&& block)
    {
        std::deque<std::vector<uint8_t>> dropped;
        {
            std::vector<uint8_t> kept = std::move(block);
            if (kept.capacity() < kMinBytes || kept.capacity() > kMaxBytes)
                return;
            const std::lock_guard lock(FMutex);
            FBytes += kept.capacity();
            FBlocks.push_back(std::move(kept));
            while (FBytes > kMaxBytes) {
                FBytes -= FBlocks.front().capacity();
                dropped.push_back(std::move(FBlocks.front()));
                FBlocks.pop_front();
            }
        }
        // freed here, outside the lock
    }

private:
    std::mutex FMutex;
    std::deque<std::vector<uint8_t>> FBlocks;
    std::size_t FBytes = 0;
};

// A sound, cells or picture whose block goes back to the pool when the last document
// holding it is dropped.
std::shared_ptr<TWave> pooledWave()
{
    return std::shared_ptr<TWave>(new TWave, [](TWave* w) {
        BlockPool::instance().give(std::move(w->FData));
        delete w;
    });
}

std::shared_ptr<GrayCells> pooledCells()
{
    return std::shared_ptr<GrayCells>(new GrayCells, [](GrayCells* c) {
        BlockPool::instance().give(std::move(c->gray));
        delete c;
    });
}

// A copy of the picture in a block of the pool.
QImage pooledCopy(const QImage& picture)
{
    const auto bytes = std::size_t(picture.sizeInBytes());
    auto* block = new std::vector<uint8_t>(BlockPool::instance().take(bytes));
    block->assign(picture.constBits(), picture.constBits() + bytes);
    QImage copy(
        block->data(), picture.width(), picture.height(), picture.bytesPerLine(), picture.format(),
        [](void* info) {
            auto* b = static_cast<std::vector<uint8_t>*>(info);
            BlockPool::instance().give(std::move(*b));
            delete b;
        },
        block);
    if (copy.isNull()) {
        delete block; // not taken: no cleanup will come
        return copy;
    }
    copy.setColorTable(picture.colorTable());
    copy.setDotsPerMeterX(picture.dotsPerMeterX());
    copy.setDotsPerMeterY(picture.dotsPerMeterY());
    return copy;
}

// Copies of base's parts made on two other threads (the sound on one, the cells and the
// picture on the other) while the calling one reads the edits: the copies only fill
// fresh memory, whose page faults the comparison of the edits need not wait for. Stopped
// (between slices) when not taken, and by a cancel of the calling thread's command.
class Prefetch {
public:
    explicit Prefetch(const Document& base)
    {
        const std::atomic<bool>* cancel = currentCancelFlag();
        auto stopped = [this, cancel] {
            return FStop.load(std::memory_order_relaxed)
                || (cancel && cancel->load(std::memory_order_relaxed));
        };
        try {
            FSound = std::async(std::launch::async, [&base, stopped] {
                Copies c;
                // the sound's fields by hand, so that its block is copied in slices
                const TWave& from = *base.FWave;
                auto wave = pooledWave();
                wave->FFormat = from.FFormat;
                wave->FData = BlockPool::instance().take(from.FData.size());
                // a hash chunk at a time, hashed while it is in the cache (for the undo
                // step, which only an interactive document keeps)
                constexpr std::size_t kSlice = kSampleHashChunk;
                const bool hashed = base.interactive;
                if (hashed)
                    c.waveChunks.reserve((from.FData.size() + kSlice - 1) / kSlice);
                for (std::size_t at = 0; at < from.FData.size(); at += kSlice) {
                    if (stopped())
                        return Copies{};
                    const auto end = std::min(from.FData.size(), at + kSlice);
                    wave->FData.insert(wave->FData.end(), from.FData.begin() + std::ptrdiff_t(at),
                        from.FData.begin() + std::ptrdiff_t(end));
                    if (hashed)
                        c.waveChunks.push_back(sampleChunkHash(wave->FData.data() + at, end - at));
                }
                wave->FDataSize = from.FDataSize;
                wave->FSampleCount = from.FSampleCount;
                wave->FSeconds = from.FSeconds;
                c.wave = std::move(wave);
                return c;
            });
            if (!base.interactive)
                return;
            FShown = std::async(std::launch::async, [&base, stopped] {
                Copies c;
                for (int v = 0; v < 2; ++v)
                    if (base.cells[v] && !stopped()) {
                        const GrayCells& cells = *base.cells[v];
                        auto copy = pooledCells();
                        copy->view = cells.view;
                        copy->fftLength = cells.fftLength;
                        copy->frames = cells.frames;
                        copy->rows = cells.rows;
                        copy->gray = BlockPool::instance().take(cells.gray.size());
                        copy->gray.assign(cells.gray.begin(), cells.gray.end());
                        c.cells[v] = std::move(copy);
                    }
                const QImage& shown = base.FBitmap;
                if (base.drawsPicture && !shown.isNull() && !stopped()) {
                    QImage copy = pooledCopy(shown);
                    if (!copy.isNull() && copy.sizeInBytes() == shown.sizeInBytes())
                        c.picture = std::move(copy);
                }
                return c;
            });
        } catch (...) {
            // no thread: the filter makes its copies itself
        }
    }
    ~Prefetch()
    {
        FStop = true;
        for (std::future<Copies>* f : {&FSound, &FShown})
            if (f->valid())
                f->wait();
    }
    Prefetch(const Prefetch&) = delete;
    Prefetch& operator=(const Prefetch&) = delete;

    // The copies (what a stopped or failed copy left: none).
    Copies take()
    {
        Copies c = taken(FSound);
        Copies shown = taken(FShown);
        c.cells[0] = std::move(shown.cells[0]);
        c.cells[1] = std::move(shown.cells[1]);
        c.picture = std::move(shown.picture);
        return c;
    }

private:
    static Copies taken(std::future<Copies>& f)
    {
        if (!f.valid())
            return {};
        try {
            return f.get();
        } catch (...) {
            return {}; // the filter makes them itself, or says why it cannot
        }
    }

    std::atomic<bool> FStop{false};
    std::future<Copies> FSound, FShown;
};

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
    SampleRange within = kEverySample, Copies* ready = nullptr)
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
    progress.pass(from, MessageCode::PassAnalysis);
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
        auto cells = ready && ready->cells[v] ? std::move(ready->cells[v])
                                              : std::make_shared<GrayCells>(*base.cells[v]);
        refreshCells(*cells, now, ranges);
        d.cells[v] = std::move(cells);
    }
    if (!d.shownCells()) {
        analyseShown(d, progress, from, to);
        return;
    }
    progress.pass(from + (to - from) * 9 / 10, MessageCode::PassDrawing);
    if (!d.drawsPicture)
        return;
    if (base.FBitmap.isNull()) {
        drawShown(d);
        return;
    }
    // a copy made beforehand, or base's picture, detached by the first column painted
    QImage picture = ready && !ready->picture.isNull() ? std::move(ready->picture) : base.FBitmap;
    for (const auto& [a, b] : ranges)
        paintCellColumns(picture, *d.shownCells(), a, b, d.FLeftMargin, d.FTopMargin);
    d.FBitmap = std::move(picture);
}

// The edits of the picture in the file at path against cells. A plain 24-bit BMP is read
// straight from its rows; anything else is decoded as a picture first (imaging/
// FilterImage.h), with the same checks and messages, which name the file. `shown` is
// the picture drawn from cells, when there is one.
bool readEdits(const GrayCells& cells, const QString& path, CellEdits* edits, Message* reason,
    const QImage* shown = nullptr)
{
    const QSize expected = cellPictureSize(cells, Document::FLeftMargin, Document::FTopMargin);
    // No picture of the expected size needs more than its pixels at 64 bits plus room for
    // headers and metadata (as readFilterImage).
    const int64_t maxBytes
        = int64_t(expected.width()) * expected.height() * 8 + (int64_t(16) << 20);
    Message why;
    {
        // the plain kind, read a strip of rows at a time
        QFile file;
        if (openRegularFile(path, file, &why, QIODevice::ReadOnly | QIODevice::Unbuffered)
            && file.size() <= maxBytes
            && cellEditsOfBmpFile(
                cells, file.handle(), Document::FLeftMargin, Document::FTopMargin, edits, shown))
            return true;
    }
    QByteArray bytes;
    if (!readRegularFile(path, maxBytes, &bytes, &why)) {
        *reason = Message(MessageCode::FileReason, path, why);
        return false;
    }
    throwIfCancelled(currentCancelFlag());
    if (cellEditsOfBmp(cells, bytes, Document::FLeftMargin, Document::FTopMargin, edits, shown))
        return true;
    const QImage edited = decodeFilterImage(bytes, expected, &why);
    bytes = QByteArray();
    if (edited.isNull()
        || !cellEditsOf(cells, edited, Document::FLeftMargin, Document::FTopMargin, edits, &why)) {
        *reason = Message(MessageCode::FileReason, path, why);
        return false;
    }
    return true;
}

// The name of a view and N as the window shows them ("the spectrum view with FFT length
// 1024").
Message viewAndLength(uint8_t mode, int32_t n)
{
    return Message(MessageCode::ViewAndFftLength,
        mode == kCepstrumView ? MessageCode::ViewCepstrum : MessageCode::ViewSpectrum, n);
}

// The share of cells (0 .. 1) in which the picture that `edits` make of `shown` has the
// gray level of `other`'s cell at the same pixel: the same frame, and the row that the
// other view draws there (the spectrum is drawn with bin 0 at the bottom, the cepstrum
// with quefrency 0 at the top).
// The frames the contents guard compares: a few short blocks spread over the sound. A
// picture of the other view differs from it in nearly every cell, so these tell the two
// apart at a small part of the cost of analysing every frame.
std::vector<std::pair<int32_t, int32_t>> guardBlocks(int32_t frames)
{
    constexpr int32_t kBlocks = 32, kLength = 16;
    if (frames <= kBlocks * kLength)
        return {{0, frames}};
    std::vector<std::pair<int32_t, int32_t>> blocks;
    for (int32_t i = 0; i < kBlocks; ++i) {
        const auto first = int32_t(int64_t(frames - kLength) * i / (kBlocks - 1));
        blocks.emplace_back(first, first + kLength);
    }
    return blocks;
}

// The share of the cells of `blocks` in the picture (shown + edits) that have the gray
// level of the other view's cell drawn at their place (the other view upside down);
// other holds the cells of the blocks' frames only, one after another.
double shareLike(const GrayCells& shown, const CellEdits& edits, const GrayCells& other,
    const std::vector<std::pair<int32_t, int32_t>>& blocks)
{
    const int32_t R = shown.rows;
    if (other.rows != R || R <= 0 || shown.frames <= 0)
        return 0.0;
    int64_t alike = 0, compared = 0;
    int32_t listed = 0; // the frame's place in other
    for (const auto& [first, end] : blocks) {
        auto e = std::size_t(std::lower_bound(edits.frames.begin(), edits.frames.end(), first)
            - edits.frames.begin());
        for (int32_t f = first; f < end && listed < other.frames; ++f, ++listed) {
            const bool edited = e < edits.frames.size() && edits.frames[e] == f;
            const int16_t* d = edited ? edits.diffs.data() + e * std::size_t(R) : nullptr;
            for (int32_t k = 0; k < R; ++k) {
                const int picture = shown.at(f, k) + (d ? d[k] : 0);
                alike += picture == other.at(listed, R - 1 - k);
            }
            e += edited;
            compared += R;
        }
    }
    return compared ? double(alike) / double(compared) : 0.0;
}

} // namespace

bool parseExportName(const QString& path, uint8_t* mode, int32_t* n)
{
    // the last "_s1024" or "_c1024" of the name, not followed by another digit
    static const QRegularExpression pattern(QStringLiteral("_([sc])([0-9]+)(?![0-9])"));
    const QString name = namePart(path);
    QRegularExpressionMatch last;
    for (const QRegularExpressionMatch& m : pattern.globalMatch(name))
        if (isValidFFTLength(m.captured(2).toInt()))
            last = m;
    if (!last.hasMatch())
        return false;
    *mode = last.captured(1) == QLatin1String("c") ? kCepstrumView : kSpectrumView;
    *n = last.captured(2).toInt();
    return true;
}

namespace {

// The sound base's cells of the view shown stand for, filtered by edits; the new
// document (a copy of base with the new sound, cells and picture), what was clipped, and
// the sample frames outside which the new sound is base's, byte for byte (*touched).
std::shared_ptr<Document> filtered(const Document& base, const CellEdits& edits, Progress& progress,
    ClipStats* clips, SampleRange* touched = nullptr, Copies* ready = nullptr)
{
    auto d = std::make_shared<Document>(base);
    if (touched)
        *touched = {0, 0};
    if (edits.empty())
        return d;
    progress.pass(5, MessageCode::PassApplyingGains);
    if (ready && ready->wave) {
        filterSoundInto(*base.FWave, base.FFFTLength, viewOf(base.FMode), edits, *ready->wave,
            clips, progress.within(5, 60));
        d->FWave = std::move(ready->wave);
    } else {
        d->FWave = std::make_shared<const TWave>(filterSound(*base.FWave, base.FFFTLength,
            viewOf(base.FMode), edits, clips, progress.within(5, 60)));
    }
    // Segment j (samples jH .. jH + H - 1) comes from frames j and j + 1: an edited frame
    // f changes at most the samples of segments f - 1 and f.
    const int64_t H = base.FFFTLength / 2;
    const SampleRange within{uint32_t(std::max<int64_t>(0, (edits.frames.front() - 1) * H)),
        uint32_t(std::min<int64_t>(UINT32_MAX, (int64_t(edits.frames.back()) + 1) * H))};
    if (touched)
        *touched = within;
    refreshChanged(*d, base, progress, 60, 95, within, ready);
    return d;
}

QStringList statusTextsOf(const WaveHeader& h, int32_t frames, const QLocale& locale)
{
    const WAVEFORMATEX& fmt = h.format;
    return {formatSeconds(h.seconds, locale) + QStringLiteral(" sec"),
        QStringLiteral("%1 samples").arg(h.sampleCount), QStringLiteral("%1 ch").arg(fmt.nChannels),
        QStringLiteral("%1 Hz").arg(fmt.nSamplesPerSec),
        QStringLiteral("%1 bit").arg(fmt.wBitsPerSample), QStringLiteral("%1 frames").arg(frames)};
}

// The frames an analysis of `samples` sample frames with FFT length N makes.
int32_t frameCountOf(uint32_t samples, int32_t N)
{
    const int64_t H = N / 2;
    return int32_t(std::min<int64_t>((int64_t(samples) + H - 1) / H + 1, INT32_MAX));
}

// The cells of the sound as opened: those d has computed while its sound is still that
// one; with restart, the ones kept for another sound or N are dropped first.
void keepOpenedCells(Document& d, bool restart)
{
    for (int v = 0; v < 2; ++v) {
        if (restart)
            d.openedCells[v].reset();
        const bool opened = d.FWave && !d.FOpenedIdentity.owner_before(d.FWave)
            && !d.FWave.owner_before(d.FOpenedIdentity);
        if (opened && d.cells[v] && !d.openedCells[v])
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
    return statusTextsOf(
        WaveHeader{FWave->FFormat, FWave->FSampleCount, FWave->FSeconds}, frames, locale);
}

int32_t Document::expectedFrameCount() const
{
    if (!hasSamples())
        return 0;
    return frameCountOf(FWave->FSampleCount, FFFTLength);
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

CommandResult Document::Open(const QString& path, const PassFn& progressFn) const
{
    Progress progress(progressFn);
    progress.pass(0, MessageCode::PassReading);
    auto loaded = std::make_shared<TWave>();
    WaveLoadReport report;
    const uint8_t code = loadSound(path, *loaded, &report);
    if (code != kLoadOk) {
        const Message reason = report.message.isEmpty()
            ? Message(MessageCode::CannotBeReadCode, code)
            : report.message;
        return failure(namingFile(path, reason));
    }
    auto d = std::make_shared<Document>(*this);
    d->FWave = std::move(loaded);
    static std::atomic<uint64_t> opens{0};
    d->FOpenedSerial = ++opens;
    d->FOpenedIdentity = d->FWave;
    d->FOpenedWave = d->FWave->FData.size() <= kKeptOpenedBytes ? d->FWave : nullptr;
    d->FOpenedPath = path;
    d->FSavePath
        = directoryPart(path) + replaceExtension(namePart(path), QStringLiteral("_fix.wav"));
    d->FFilterDir = directoryPart(path);
    d->cells[0].reset();
    d->cells[1].reset();
    d->FBitmap = QImage();
    analyseShown(*d, progress, 20, 100);
    keepOpenedCells(*d, true);
    progress.done();
    CommandResult r = success(std::move(d));
    if (report.truncated || !report.message.isEmpty()) // cut short, or non-finite samples
        r.message = truncatedMessage(path, report);
    return r;
}

CommandResult Document::Info(const QString& path, QStringList* texts) const
{
    WaveHeader header;
    WaveLoadReport report;
    const uint8_t code = readSoundHeader(path, header, &report);
    if (code != kLoadOk) {
        const Message reason = report.message.isEmpty()
            ? Message(MessageCode::CannotBeReadCode, code)
            : report.message;
        return failure(namingFile(path, reason));
    }
    const bool samples = header.sampleCount != 0 && header.format.nChannels != 0;
    *texts
        = statusTextsOf(header, samples ? frameCountOf(header.sampleCount, FFFTLength) : 0, locale);
    CommandResult r = success(shared_from_this());
    if (report.truncated || !report.message.isEmpty())
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
            progress.pass(0, MessageCode::PassAnalysis);
            d->cells[mode] = std::make_shared<const GrayCells>(
                analyzeCells(*FWave, FFFTLength, viewOf(mode), progress.within(0, 90)));
        }
        progress.pass(90, MessageCode::PassDrawing);
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

Message Document::withSizeHint(const Message& reason) const
{
    // FileReason(path, PictureWidthMismatch(w, ew) / PictureHeightMismatch(h, eh) /
    // PictureSizeMismatch(w, h, ew, eh))
    const MessageArg* why = reason.code() == MessageCode::FileReason && reason.args().size() == 2
        ? &reason.args()[1]
        : nullptr;
    const GrayCells* shown = shownCells();
    if (!why || !why->message || !shown)
        return reason;
    const Message& size = *why->message;
    const QSize expected = cellPictureSize(*shown, FLeftMargin, FTopMargin);
    int64_t w = expected.width();
    int64_t h = expected.height();
    switch (size.code()) {
    case MessageCode::PictureWidthMismatch:
        w = size.argText(0).toLongLong();
        break;
    case MessageCode::PictureHeightMismatch:
        h = size.argText(0).toLongLong();
        break;
    case MessageCode::PictureSizeMismatch:
        w = size.argText(0).toLongLong();
        h = size.argText(1).toLongLong();
        break;
    default:
        return reason;
    }
    // the N whose rows the picture has (N/2 + 1 below the top margin)
    const int64_t n = 2 * (h - FTopMargin - 1);
    Message hinted;
    if (n != FFFTLength && n > 0 && n <= INT32_MAX && isValidFFTLength(int32_t(n)))
        hinted = Message(MessageCode::HintOtherFftLength, size, n);
    else if (h == expected.height() && w != expected.width())
        hinted = Message(MessageCode::HintOtherSound, size);
    else
        return reason;
    return Message(MessageCode::FileReason, reason.args()[0].text, hinted);
}

namespace {

// doc with the edits read from the picture at path applied: filtered into the copies
// prefetch made, with the undo step of what changed; a failure naming path when the
// gains overflow. doc itself when nothing changed.
CommandResult applied(const Document& doc, const CellEdits& edits, Prefetch& prefetch,
    Progress& progress, const QString& path)
{
    CommandResult r;
    std::shared_ptr<Document> d;
    SampleRange touched;
    Copies copies = edits.empty() ? Copies{} : prefetch.take();
    try {
        d = filtered(doc, edits, progress, &r.clips, &touched, &copies);
    } catch (const FloatError& e) {
        return failure(Message(
            MessageCode::FileReason, path, Message(MessageCode::ImportGainsOverflow, e.message())));
    }
    if (doc.interactive) {
        progress.pass(95, MessageCode::PassHistory);
        r.change = SampleChange::record(*doc.FWave, *d->FWave, touched, &copies.waveChunks);
    }
    progress.done();
    r.ok = true;
    r.message = importMessage(r.clips);
    r.document = edits.empty() ? doc.shared_from_this() : std::move(d);
    return r;
}

// What CheckImport says of a picture whose edits of the cells shown are `edits`.
Message guardOf(
    const Document& doc, const QString& path, const CellEdits& edits, Progress& progress)
{
    const GrayCells& shown = *doc.shownCells();
    const uint8_t mode = doc.FMode;
    const int32_t n = doc.FFFTLength;
    uint8_t namedMode = mode;
    int32_t namedN = n;
    const bool named = parseExportName(path, &namedMode, &namedN);
    if (named && (namedMode != mode || namedN != n))
        return Message(
            MessageCode::GuardByName, viewAndLength(namedMode, namedN), viewAndLength(mode, n));
    // A picture of the other view has (nearly) every cell changed, and the gray levels of
    // the other view's cells. One painted over by a person still has most cells as they
    // were.
    int64_t changed = 0;
    for (const int16_t d : edits.diffs)
        changed += d != 0;
    const double total = double(shown.frames) * shown.rows;
    if (named || changed < total / 2)
        return {};
    const uint8_t other = mode == kSpectrumView ? kCepstrumView : kSpectrumView;
    progress.pass(20, MessageCode::PassAnalysis);
    const auto blocks = guardBlocks(shown.frames);
    // the other view's cells of the frames compared: taken from its cells when there are
    // some, else only those frames are analysed
    GrayCells otherCells;
    if (const std::shared_ptr<const GrayCells>& all = doc.cells[other];
        all && all->frames == shown.frames && all->rows == shown.rows) {
        otherCells.rows = all->rows;
        for (const auto& [first, end] : blocks) {
            otherCells.gray.insert(otherCells.gray.end(),
                all->gray.begin() + std::ptrdiff_t(first) * all->rows,
                all->gray.begin() + std::ptrdiff_t(end) * all->rows);
            otherCells.frames += end - first;
        }
    } else {
        otherCells = analyzeSomeCells(*doc.FWave, n, viewOf(other), blocks);
    }
    if (shareLike(shown, edits, otherCells, blocks) < 0.5)
        return {};
    return Message(MessageCode::GuardByContents, viewAndLength(other, n), viewAndLength(mode, n));
}

} // namespace

Message Document::CheckImport(const QString& path, const PassFn& progressFn) const
{
    if (!geometryMatches())
        return {};
    Progress progress(progressFn);
    progress.pass(0, MessageCode::PassReading);
    CellEdits edits;
    Message reason;
    if (!readEdits(*shownCells(), path, &edits, &reason, &FBitmap))
        return {}; // Import says why
    return guardOf(*this, path, edits, progress);
}

CommandResult Document::Import(const QString& path, const PassFn& progressFn) const
{
    return Import(path, nullptr, progressFn);
}

CommandResult Document::Import(const QString& path, Message* guard, const PassFn& progressFn) const
{
    if (!geometryMatches())
        return failure(Message(MessageCode::FileReason, path, MessageCode::NoPictureToCompareWith));
    Progress progress(progressFn);
    progress.pass(0, MessageCode::PassReading);
    const GrayCells& shown = *shownCells();
    Prefetch prefetch(*this);
    CellEdits edits;
    Message reason;
    if (!readEdits(shown, path, &edits, &reason, &FBitmap))
        return failure(withSizeHint(reason));
    if (guard)
        *guard = guardOf(*this, path, edits, progress);
    return applied(*this, edits, prefetch, progress, path);
}

CommandResult Document::ImportToFile(const QString& picturePath, const QString& outPath,
    Message* guard, bool* outputFailed, const PassFn& progressFn) const
{
    *outputFailed = false;
    const SoundFileType type = soundFileTypeFor(outPath);
    if (!FWave || (type == SoundFileType::Flac && !flacRefusal(*FWave).isEmpty())) {
        // refused as Save refuses, once the picture has been read as Import reads it
        const CommandResult imported = Import(picturePath, guard, progressFn);
        if (!imported.ok)
            return imported;
        const CommandResult saved = imported.document->Save(outPath);
        *outputFailed = !saved.ok;
        return saved.ok ? imported : saved;
    }
    if (!geometryMatches())
        return failure(
            Message(MessageCode::FileReason, picturePath, MessageCode::NoPictureToCompareWith));
    Progress progress(progressFn);
    progress.pass(0, MessageCode::PassReading);
    CellEdits edits;
    Message reason;
    if (!readEdits(*shownCells(), picturePath, &edits, &reason, &FBitmap))
        return failure(withSizeHint(reason));
    if (guard)
        *guard = guardOf(*this, picturePath, edits, progress);
    progress.pass(5, MessageCode::PassApplyingGains);
    CommandResult r;
    const TWave& wave = *FWave;
    const std::size_t frameBytes = wave.FFormat.nBlockAlign;
    std::exception_ptr thrown; // by the filter, inside the writing of the file
    const bool saved = saveSoundFrom(
        outPath, wave.FFormat, wave.FData.size(), type,
        [&](const SampleBytesSink& write) {
            try {
                return filterSoundTo(
                    wave, FFFTLength, viewOf(FMode), edits,
                    [&](uint32_t, uint32_t count, const uint8_t* bytes) {
                        return write(bytes, std::size_t(count) * frameBytes);
                    },
                    &r.clips, progress.within(5, 100));
            } catch (...) {
                thrown = std::current_exception();
                return false;
            }
        },
        &reason);
    if (thrown) {
        try {
            std::rethrow_exception(thrown);
        } catch (const FloatError& e) {
            return failure(Message(MessageCode::FileReason, picturePath,
                Message(MessageCode::ImportGainsOverflow, e.message())));
        }
    }
    if (!saved) {
        *outputFailed = true;
        return failure(
            namingFile(outPath, reason.isEmpty() ? Message(MessageCode::CannotBeWritten) : reason));
    }
    progress.done();
    r.ok = true;
    r.message = importMessage(r.clips);
    r.document = shared_from_this();
    return r;
}

CommandResult Document::ImportEdited(
    const QImage& edited, const Document& exported, const PassFn& progressFn) const
{
    if (!geometryMatches() || !exported.geometryMatches())
        return failure(MessageCode::NoPictureToCompareWith);
    if (exported.FFFTLength != FFFTLength || exported.FMode != FMode)
        return failure(Message(MessageCode::GuardByName,
            viewAndLength(exported.FMode, exported.FFFTLength), viewAndLength(FMode, FFFTLength)));
    Progress progress(progressFn);
    const GrayCells& reference = *exported.shownCells();
    Prefetch prefetch(exported);
    CellEdits edits;
    Message reason;
    if (!cellEditsOf(reference, edited.convertToFormat(QImage::Format_RGB32), FLeftMargin,
            FTopMargin, &edits, &reason))
        return failure(reason);
    CommandResult r;
    std::shared_ptr<Document> d;
    try {
        Copies copies = edits.empty() ? Copies{} : prefetch.take();
        d = filtered(exported, edits, progress, &r.clips, nullptr, &copies);
    } catch (const FloatError& e) {
        return failure(Message(MessageCode::ImportGainsOverflow, e.message()));
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
        progress.pass(95, MessageCode::PassHistory);
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
        return failure(MessageCode::NoPictureToPaint);
    Progress progress(progressFn);
    const GrayCells& shown = *shownCells();
    std::shared_ptr<const GrayCells> reference;
    if (stroke.kind == PaintKind::Erase) {
        reference = openedCells[FMode];
        if (!reference || reference->fftLength != FFFTLength) {
            if (!FOpenedWave)
                return failure(MessageCode::OpenedSoundUnknown);
            progress.pass(0, MessageCode::PassAnalysis);
            reference = std::make_shared<const GrayCells>(
                analyzeCells(*FOpenedWave, FFFTLength, viewOf(FMode), progress.within(0, 5)));
        }
        if (reference->frames != shown.frames)
            return failure(MessageCode::OpenedSoundOtherLength);
    }
    Prefetch prefetch(*this);
    const CellEdits edits = strokeEdits(shown, stroke, reference.get());
    CommandResult r;
    std::shared_ptr<Document> d;
    SampleRange touched;
    Copies copies = edits.empty() ? Copies{} : prefetch.take();
    try {
        d = filtered(*this, edits, progress, &r.clips, &touched, &copies);
    } catch (const FloatError& e) {
        return failure(Message(MessageCode::ImportGainsOverflow, e.message()));
    }
    if (reference)
        d->openedCells[FMode] = reference;
    if (interactive && !edits.empty()) {
        progress.pass(95, MessageCode::PassHistory);
        r.change = SampleChange::record(*FWave, *d->FWave, touched, &copies.waveChunks);
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
        return failure(Message(MessageCode::FileReason, path, MessageCode::NoPictureToExport));
    Message reason;
    if (!writeFilterImage(FBitmap, path, &reason))
        return failure(reason);
    auto d = std::make_shared<Document>(*this);
    d->FImportPath = path;
    return success(std::move(d));
}

CommandResult Document::Save(const QString& path) const
{
    if (!FWave)
        return failure(Message(MessageCode::FileReason, path, MessageCode::NoSoundToSave));
    Message reason;
    if (!saveSound(path, *FWave, &reason))
        return failure(
            namingFile(path, reason.isEmpty() ? Message(MessageCode::CannotBeWritten) : reason));
    return success(shared_from_this());
}

CommandResult Document::Undo(
    const SampleChange& step, const PassFn& progressFn, const Document* shown) const
{
    if (!FWave)
        return failure(MessageCode::NoSoundToUndo);
    return stepped(std::make_shared<const TWave>(step.undone(*FWave)), step, progressFn, shown);
}

CommandResult Document::Redo(
    const SampleChange& step, const PassFn& progressFn, const Document* shown) const
{
    if (!FWave)
        return failure(MessageCode::NoSoundToRedo);
    return stepped(std::make_shared<const TWave>(step.redone(*FWave)), step, progressFn, shown);
}

CommandResult Document::stepped(std::shared_ptr<const TWave> wave, const SampleChange& step,
    const PassFn& progressFn, const Document* shown) const
{
    Progress progress(progressFn);
    progress.pass(30, MessageCode::PassAnalysis);
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
    progress.pass(0, MessageCode::PassAnalysis);
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
    progress.pass(80, MessageCode::PassDrawing);
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
    progress.pass(0, MessageCode::PassAnalysis);
    TWaveSpectram engine;
    engine.Analyze(*FWave, FFFTLength);
    progress.pass(40, MessageCode::PassResynthesis);
    auto wave = std::make_shared<TWave>(*FWave);
    engine.Synthesize(*wave);
    auto d = std::make_shared<Document>(*this);
    d->FWave = std::move(wave);
    refreshChanged(*d, *this, progress, 70, 100);
    CommandResult r = success(d);
    if (interactive) {
        progress.pass(95, MessageCode::PassHistory);
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
    Message why;
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

bool Document::rangeOfSeconds(double from, double to, FrameRange* range, Message* reason) const
{
    if (!(from >= 0.0) || !(to > from) || !std::isfinite(to)) {
        *reason = Message(MessageCode::RangeNotARange, QString::number(from), QString::number(to));
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
        *reason = Message(MessageCode::RangeNoFrames, QString::number(from), QString::number(to),
            QString::number(FWave ? FWave->FSeconds : 0.0));
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
        return failure(Message(MessageCode::FileReason, path, MessageCode::NoPictureToExport));
    if (!isRangeOf(*cells, range))
        return failure(
            Message(MessageCode::RangeOutsideSound, path, range.first, range.end, cells->frames));
    Message reason;
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
        return failure(Message(MessageCode::FileReason, path, MessageCode::NoPictureToCompareWith));
    const GrayCells& shown = *shownCells();
    if (!isRangeOf(shown, range))
        return failure(
            Message(MessageCode::RangeOutsideSound, path, range.first, range.end, shown.frames));
    Progress progress(progressFn);
    progress.pass(0, MessageCode::PassReading);
    const GrayCells piece = cellsOfRange(shown, range);
    const QSize expected = cellPictureSize(piece, FLeftMargin, FTopMargin);
    if (const QSize stated = statedPictureSize(path); stated.isValid() && stated != expected)
        return failure(Message(MessageCode::RangeOtherRange, path, stated.width(), stated.height(),
            secondsText(frameSeconds(range.first)), secondsText(frameSeconds(range.end)),
            expected.width(), expected.height()));
    Prefetch prefetch(*this);
    CellEdits edits;
    Message reason;
    if (!readEdits(piece, path, &edits, &reason))
        return failure(reason);
    shiftEdits(edits, range.first);
    return applied(*this, edits, prefetch, progress, path);
}

} // namespace kestrelon
