#include "spectral/Pipeline.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "base/Cancel.h"
#include "base/Errors.h"
#include "base/Parallel.h"
#include "spectral/RealFft.h"
#include "spectral/SpectralKernels.h"

namespace kestrelon {

namespace {

// Channels beyond 255 cannot be addressed through TWave's 8-bit channel index.
constexpr int32_t kMaxChannels = 256;

// Work of one block for one worker, in samples per channel: a few milliseconds.
constexpr std::size_t kBlockSamples = std::size_t{1} << 18;

struct Geometry {
    std::size_t n = 0; // N
    std::size_t H = 0; // hop, N/2
    std::size_t K = 0; // distinct bins, N/2 + 1
    int64_t S = 0; // samples per channel
    int32_t C = 0; // channels
    int32_t F = 0; // frames; 0 for a sound without samples or channels
};

Geometry geometryOf(const TWave& wave, int32_t N, SpectralView view)
{
    checkFftLength(N, "FFT length");
    if (view != SpectralView::Spectrum && view != SpectralView::Cepstrum)
        throw RangeError("unknown view " + std::to_string(int(view)));
    Geometry g;
    g.C = wave.FFormat.nChannels;
    if (g.C > kMaxChannels)
        throw RangeError(Message(MessageCode::TooManyChannelsToAnalyse, g.C, kMaxChannels));
    g.n = static_cast<std::size_t>(N);
    g.H = g.n / 2;
    g.K = g.H + 1;
    g.S = wave.FSampleCount;
    if (g.S == 0 || g.C == 0)
        return g;
    // One frame more than S div H whenever S is not a multiple of H, so that every sample
    // lies under two frames (as TWaveSpectram::GetFrameCount).
    const int64_t H = static_cast<int64_t>(g.H);
    const int64_t frames = (g.S + H - 1) / H + 1;
    if (frames > INT32_MAX)
        throw IntOverflowError(intOverflow(MessageCode::WhatFrameCount));
    g.F = static_cast<int32_t>(frames);
    return g;
}

// Work items (frames or segments) per block: about kBlockSamples samples of each
// channel, and at least four blocks per worker when there are enough items, so that a
// core slowed by other work leaves its share to the others.
std::size_t blockItems(std::size_t items, std::size_t samplesPerItem)
{
    if (const int32_t forced = detail::blockFramesForTesting(); forced > 0)
        return static_cast<std::size_t>(forced);
    const std::size_t workers = detail::singleThreadForTesting() ? 1 : workerCount();
    const std::size_t share = (items + 4 * workers - 1) / (4 * workers);
    return std::max<std::size_t>(
        1, std::min(share, kBlockSamples / std::max<std::size_t>(1, samplesPerItem)));
}

// Runs fn(slot, block) for blocks 0 .. count-1 on up to `workers` threads, slot being the
// running thread's (0: the calling thread). Each thread takes the next block when it is
// free. Before each block the calling thread's cancel flag is read; a cancel, or an error
// in any block, stops every thread before its next block and is rethrown here. Progress
// is reported on the calling thread after each of its blocks, and 100 at the end.
template <class Fn>
void runBlocks(std::size_t count, std::size_t workers, const ProgressFn& progress, Fn&& fn)
{
    const std::atomic<bool>* cancel = currentCancelFlag();
    std::atomic<std::size_t> next{0}, done{0};
    std::atomic<bool> stop{false};
    int reported = -1;
    parallelFor(
        std::min(workers, count),
        [&](std::size_t slot, std::size_t) {
            try {
                for (;;) {
                    throwIfCancelled(cancel);
                    const std::size_t block = next.fetch_add(1);
                    if (block >= count || stop.load(std::memory_order_relaxed))
                        return;
                    fn(slot, block);
                    const std::size_t finished = done.fetch_add(1) + 1;
                    if (slot == 0 && progress) {
                        reported = static_cast<int>(finished * 100 / count);
                        progress(reported);
                    }
                }
            } catch (...) {
                stop = true;
                throw;
            }
        },
        1);
    if (progress && reported < 100)
        progress(100);
}

std::size_t workersOf()
{
    return detail::singleThreadForTesting() ? 1 : workerCount();
}

[[noreturn]] void dbError(double ref)
{
    throw FloatError(Message(MessageCode::DbValueError, QString::number(ref)));
}

// One worker's arrays for one frame at a time (no allocation inside the blocks).
struct FrameWork {
    AlignedBuffer<double> a; // n: samples, then the resynthesis
    AlignedBuffer<double> e; // n: the mirrored dB row
    AlignedBuffer<TComplex> bins; // K
    AlignedBuffer<TComplex> cep; // K
    AlignedBuffer<TComplex> scratch; // K
    std::vector<double> db, cepDb, gains; // K each

    explicit FrameWork(const Geometry& g)
        : a(makeAlignedBuffer<double>(g.n))
        , e(makeAlignedBuffer<double>(g.n))
        , bins(makeAlignedBuffer<TComplex>(g.K))
        , cep(makeAlignedBuffer<TComplex>(g.K))
        , scratch(makeAlignedBuffer<TComplex>(g.K))
        , db(g.K)
        , cepDb(g.K)
        , gains(g.K)
    {
    }
};

AlignedBuffer<double> analysisWindow(std::size_t n)
{
    auto w = makeAlignedBuffer<double>(n);
    detail::fillWindow(w.get(), static_cast<int32_t>(n), 1);
    return w;
}

// Start of frame f: -H + f H, so that frame 0 is centred on sample 0.
int64_t frameStart(const Geometry& g, int64_t f)
{
    return f * static_cast<int64_t>(g.H) - static_cast<int64_t>(g.H);
}

void checkEdits(const CellEdits& edits, const Geometry& g)
{
    if (edits.empty())
        return;
    if (edits.rows < 0 || static_cast<std::size_t>(edits.rows) != g.K)
        throw RangeError("cell edits of " + std::to_string(edits.rows) + " rows for "
            + std::to_string(g.K) + " rows per frame");
    if (edits.diffs.size() != edits.frames.size() * g.K)
        throw RangeError("cell edits: the differences do not match the frames");
    int64_t last = -1;
    for (const int32_t f : edits.frames) {
        if (f <= last || f >= g.F)
            throw RangeError("cell edits: frame " + std::to_string(f)
                + " is out of order or not one of the " + std::to_string(g.F) + " frames");
        last = f;
    }
    for (const int16_t d : edits.diffs)
        if (d < -255 || d > 255)
            throw RangeError("cell edits: a difference of " + std::to_string(d)
                + " gray levels is beyond -255 .. 255");
}

} // namespace

namespace {

// Channel 0's cells of the frames in `ranges` ([first, end) pairs, ascending, within the
// g.F frames) into cells.gray, blocks of frames spread over the cores: each frame at its
// place, or with `packed` one after another in the order listed.
void analyzeFrames(const TWave& wave, const Geometry& g, SpectralView view,
    const std::vector<std::pair<int32_t, int32_t>>& ranges, GrayCells& cells,
    const ProgressFn& progress, bool packed = false)
{
    // starts[i]: how many frames the ranges before range i hold
    std::vector<std::size_t> starts(ranges.size() + 1, 0);
    for (std::size_t i = 0; i < ranges.size(); ++i)
        starts[i + 1] = starts[i] + std::size_t(ranges[i].second - ranges[i].first);
    const std::size_t total = starts.back();
    if (total == 0) {
        if (progress)
            progress(100);
        return;
    }
    const RealFft& fft = RealFft::forLength(int32_t(g.n));
    const auto window = analysisWindow(g.n);
    const std::size_t per = blockItems(total, g.H);
    const std::size_t blocks = (total + per - 1) / per;
    const std::size_t workers = std::min(workersOf(), blocks);
    std::vector<FrameWork> work;
    work.reserve(workers);
    for (std::size_t w = 0; w < workers; ++w)
        work.emplace_back(g);
    const bool cepstrum = view == SpectralView::Cepstrum;

    runBlocks(blocks, workers, progress, [&](std::size_t slot, std::size_t block) {
        FrameWork& w = work[slot];
        const std::size_t ie = std::min(total, (block + 1) * per);
        std::size_t i = block * per;
        // the range holding the block's first frame
        auto r
            = std::size_t(std::upper_bound(starts.begin(), starts.end(), i) - starts.begin()) - 1;
        for (; i < ie; ++i) {
            while (i >= starts[r + 1])
                ++r;
            const std::size_t f = std::size_t(ranges[r].first) + (i - starts[r]);
            detail::readFrame(wave, 0, frameStart(g, int64_t(f)), g.n, w.a.get());
            detail::analyzeFrame(fft, window.get(), w.a.get(), w.bins.get());
            if (!detail::dbRow(w.bins.get(), g.K, 1.0, w.db.data()))
                dbError(1.0);
            const double* db = w.db.data();
            if (cepstrum) {
                detail::cepstrumOfRow(fft, w.db.data(), w.e.get(), w.cep.get());
                if (!detail::dbRow(w.cep.get(), g.K, 1000.0, w.cepDb.data()))
                    dbError(1000.0);
                db = w.cepDb.data();
            }
            uint8_t* out = cells.gray.data() + (packed ? i : f) * g.K;
            for (std::size_t k = 0; k < g.K; ++k)
                out[k] = static_cast<uint8_t>(grayLevel(db[k]));
        }
    });
}

} // namespace

GrayCells analyzeCells(const TWave& wave, int32_t N, SpectralView view, const ProgressFn& progress)
{
    const Geometry g = geometryOf(wave, N, view);
    GrayCells cells;
    cells.view = view;
    cells.fftLength = N;
    cells.rows = static_cast<int32_t>(g.K);
    if (g.F == 0)
        return cells;
    cells.frames = g.F;
    cells.gray.resize(checkedMul(std::size_t(g.F), g.K, MessageCode::WhatCellsSize));
    analyzeFrames(wave, g, view, {{0, g.F}}, cells, progress);
    return cells;
}

void refreshCells(GrayCells& cells, const TWave& wave, int32_t firstFrame, int32_t endFrame)
{
    refreshCells(cells, wave, {{firstFrame, endFrame}});
}

namespace {

// How many frames ranges lists; RangeError unless they are ascending, apart and within
// the frames.
std::size_t framesListed(const std::vector<std::pair<int32_t, int32_t>>& ranges, int32_t frames)
{
    int32_t last = 0;
    std::size_t count = 0;
    for (const auto& [first, end] : ranges) {
        if (first < last || end > frames || first > end)
            throw RangeError("frames " + std::to_string(first) + " .. " + std::to_string(end)
                + " are not frames of the cells in order");
        last = end;
        count += std::size_t(end - first);
    }
    return count;
}

} // namespace

void refreshCells(
    GrayCells& cells, const TWave& wave, const std::vector<std::pair<int32_t, int32_t>>& ranges)
{
    const Geometry g = geometryOf(wave, cells.fftLength, cells.view);
    if (cells.rows < 0 || std::size_t(cells.rows) != g.K
        || cells.gray.size() != std::size_t(cells.frames) * std::size_t(cells.rows))
        throw RangeError("the cells are not cells of an analysis");
    if (g.F != cells.frames)
        throw RangeError("the cells are not those of the sound");
    framesListed(ranges, cells.frames);
    analyzeFrames(wave, g, cells.view, ranges, cells, {});
}

GrayCells analyzeSomeCells(const TWave& wave, int32_t N, SpectralView view,
    const std::vector<std::pair<int32_t, int32_t>>& ranges)
{
    const Geometry g = geometryOf(wave, N, view);
    GrayCells cells;
    cells.view = view;
    cells.fftLength = N;
    cells.rows = static_cast<int32_t>(g.K);
    const std::size_t count = framesListed(ranges, g.F);
    cells.frames = static_cast<int32_t>(count);
    cells.gray.resize(count * g.K);
    analyzeFrames(wave, g, view, ranges, cells, {}, true);
    return cells;
}

namespace {

// What a worker keeps between the segments of one block: the second halves of the last
// frame's resynthesis, one per channel.
struct SegmentWork : FrameWork {
    std::vector<double> tails; // C * H
    std::vector<double> acc; // H
    ClipStats clips;

    explicit SegmentWork(const Geometry& g)
        : FrameWork(g)
        , tails(std::size_t(g.C) * g.H)
        , acc(g.H)
    {
    }
};

// The resynthesis of frame f of channel c into w.a (windowed, N values): analysis, the
// frame's cell edits (diffs, or null) in the view, inverse transform. The arithmetic of
// TWaveSpectram::Analyze, applyFilterGains, and Synthesize or SynthesizeFromCepstrum.
void resynthesizeFrame(const TWave& wave, const Geometry& g, const RealFft& fft,
    const double* window, bool cepstrum, uint8_t c, int64_t f, const int16_t* diffs, FrameWork& w)
{
    detail::readFrame(wave, c, frameStart(g, f), g.n, w.a.get());
    detail::analyzeFrame(fft, window, w.a.get(), w.bins.get());
    if (!cepstrum) {
        if (diffs && !detail::scaleByCells(w.bins.get(), diffs, g.K))
            throw FloatError(Message(MessageCode::GainOverflowBin));
    } else {
        // Every frame resynthesised from its cepstrum takes the cepstrum's gains, even
        // an unedited one (its gains are 1 within rounding).
        if (!detail::dbRow(w.bins.get(), g.K, 1.0, w.db.data()))
            dbError(1.0);
        detail::cepstrumOfRow(fft, w.db.data(), w.e.get(), w.cep.get());
        if (diffs && !detail::scaleByCells(w.cep.get(), diffs, g.K))
            throw FloatError(Message(MessageCode::GainOverflowCepstrum));
        detail::cepstrumGainRow(
            fft, w.cep.get(), w.db.data(), w.a.get(), w.scratch.get(), w.gains.data());
        if (!detail::applyFiniteGains(w.bins.get(), w.gains.data(), g.K))
            throw FloatError(Message(MessageCode::GainOverflowCepstrumGain));
    }
    detail::synthesizeFrame(fft, w.bins.get(), window, w.a.get(), w.scratch.get());
}

} // namespace

namespace {

// What filterSoundInto and filterSoundTo share: the segments the edits reach, the edits
// by frame, the kernels, and the filtering of a stretch of those segments.
struct SegmentFilter {
    const TWave& wave;
    const Geometry g;
    const CellEdits& edits;
    std::vector<int32_t> segments; // ascending
    const RealFft& fft;
    AlignedBuffer<double> window;
    bool cepstrum;

    SegmentFilter(const TWave& wave_, const Geometry& g_, SpectralView view, const CellEdits& e)
        : wave(wave_)
        , g(g_)
        , edits(e)
        , fft(RealFft::forLength(int32_t(g_.n)))
        , window(analysisWindow(g_.n))
        , cepstrum(view == SpectralView::Cepstrum)
    {
        // Segment j (samples jH .. jH + H - 1) is made of frames j and j + 1: an edited
        // frame f touches segments f - 1 and f. There are F - 1 segments.
        const int32_t J = g.F - 1;
        segments.reserve(edits.frames.size() * 2);
        for (const int32_t f : edits.frames)
            for (int32_t j = f - 1; j <= f; ++j)
                if (j >= 0 && j < J && (segments.empty() || segments.back() < j))
                    segments.push_back(j);
    }

    const int16_t* diffsOf(int64_t f) const
    {
        const auto it = std::lower_bound(edits.frames.begin(), edits.frames.end(), f);
        if (it == edits.frames.end() || *it != f)
            return nullptr;
        return edits.diffs.data() + std::size_t(it - edits.frames.begin()) * g.K;
    }

    // Filters segments[i0 .. i1) into out, whose sample frame 0 is the sound's `origin`.
    void run(std::size_t i0, std::size_t i1, SegmentWork& w, TWave& out, std::size_t origin,
        ClipStats* clips) const
    {
        const std::size_t H = g.H;
        int64_t previous = -2;
        for (std::size_t i = i0; i < i1; ++i) {
            const int64_t j = segments[i];
            if (j != previous + 1) {
                // The first segment of a run: its earlier frame's second halves first.
                for (int32_t c = 0; c < g.C; ++c) {
                    resynthesizeFrame(
                        wave, g, fft, window.get(), cepstrum, uint8_t(c), j, diffsOf(j), w);
                    std::copy(w.a.get() + H, w.a.get() + g.n, w.tails.begin() + c * H);
                }
            }
            const int16_t* diffs = diffsOf(j + 1);
            const std::size_t start = std::size_t(j) * H;
            const auto count = static_cast<uint32_t>(std::min<int64_t>(H, g.S - int64_t(start)));
            for (int32_t c = 0; c < g.C; ++c) {
                resynthesizeFrame(
                    wave, g, fft, window.get(), cepstrum, uint8_t(c), j + 1, diffs, w);
                double* tail = w.tails.data() + c * H;
                detail::overlapAdd(tail, w.a.get(), w.acc.data(), H);
                std::copy(w.a.get() + H, w.a.get() + g.n, tail);
                out.WriteChannelF(uint8_t(c), static_cast<uint32_t>(start - origin), count,
                    w.acc.data(), clips ? &w.clips : nullptr);
            }
            previous = j;
        }
    }
};

std::vector<SegmentWork> segmentWork(const Geometry& g)
{
    std::vector<SegmentWork> work;
    const std::size_t workers = workersOf();
    work.reserve(workers);
    for (std::size_t w = 0; w < workers; ++w)
        work.emplace_back(g);
    return work;
}

void mergeClips(const std::vector<SegmentWork>& work, ClipStats* clips)
{
    if (clips)
        for (const SegmentWork& w : work)
            clips->merge(w.clips);
}

// Thrown inside the blocks when the writer of filterSoundTo refuses: stops the others.
struct WriteRefused { };

} // namespace

TWave filterSound(const TWave& wave, int32_t N, SpectralView view, const CellEdits& edits,
    ClipStats* clips, const ProgressFn& progress)
{
    checkEdits(edits, geometryOf(wave, N, view)); // refused before the copy
    TWave out = wave; // untouched segments keep their bytes
    filterSoundInto(wave, N, view, edits, out, clips, progress);
    return out;
}

void filterSoundInto(const TWave& wave, int32_t N, SpectralView view, const CellEdits& edits,
    TWave& out, ClipStats* clips, const ProgressFn& progress)
{
    const Geometry g = geometryOf(wave, N, view);
    checkEdits(edits, g);
    if (std::memcmp(&out.FFormat, &wave.FFormat, sizeof wave.FFormat) != 0
        || out.FSampleCount != wave.FSampleCount || out.FData.size() != wave.FData.size())
        throw RangeError("the sound to filter into is not a copy of the sound filtered");
    if (edits.empty() || g.F == 0) {
        if (progress)
            progress(100);
        return;
    }
    const SegmentFilter filter(wave, g, view, edits);
    std::vector<SegmentWork> work = segmentWork(g);
    const std::size_t total = filter.segments.size();
    const std::size_t per = blockItems(total, g.H * std::size_t(g.C));
    runBlocks(
        (total + per - 1) / per, work.size(), progress, [&](std::size_t slot, std::size_t block) {
            filter.run(block * per, std::min(total, (block + 1) * per), work[slot], out, 0, clips);
        });
    mergeClips(work, clips);
}

bool filterSoundTo(const TWave& wave, int32_t N, SpectralView view, const CellEdits& edits,
    const SampleWriter& write, ClipStats* clips, const ProgressFn& progress)
{
    const Geometry g = geometryOf(wave, N, view);
    checkEdits(edits, g);
    const std::size_t frameBytes = wave.FFormat.nBlockAlign;
    const auto S = static_cast<std::size_t>(g.S);
    if (edits.empty() || g.F == 0) {
        const bool written = S == 0 || frameBytes == 0 || write(0, uint32_t(S), wave.data());
        if (progress)
            progress(100);
        return written;
    }
    const SegmentFilter filter(wave, g, view, edits);
    std::vector<SegmentWork> work = segmentWork(g);
    // Chunks of every segment, in order; those with edited segments are filtered into a
    // copy of their samples, the others handed on from the sound itself.
    const std::size_t J = std::size_t(g.F) - 1;
    const std::size_t per = blockItems(J, g.H * std::size_t(g.C));
    const std::size_t chunks = (J + per - 1) / per;

    struct Done {
        std::size_t first = 0, count = 0; // sample frames
        std::vector<uint8_t> bytes; // empty: the sound's own
    };
    std::mutex lock;
    std::map<std::size_t, Done> waiting; // finished chunks whose turn has not come
    std::vector<std::vector<uint8_t>> spare; // blocks of written chunks, for reuse
    std::size_t next = 0; // the chunk to write next
    bool refused = false; // the writer has refused: nothing more goes to it
    auto handOn = [&](std::size_t chunk, Done done) {
        const std::lock_guard hold(lock);
        if (refused)
            throw WriteRefused{};
        waiting.emplace(chunk, std::move(done));
        for (auto it = waiting.begin(); it != waiting.end() && it->first == next;
             it = waiting.erase(it), ++next) {
            Done& d = it->second;
            const uint8_t* bytes
                = d.bytes.empty() ? wave.data() + d.first * frameBytes : d.bytes.data();
            if (!write(uint32_t(d.first), uint32_t(d.count), bytes)) {
                refused = true;
                throw WriteRefused{};
            }
            if (!d.bytes.empty())
                spare.push_back(std::move(d.bytes));
        }
    };
    try {
        runBlocks(chunks, work.size(), progress, [&](std::size_t slot, std::size_t chunk) {
            const std::size_t j0 = chunk * per, j1 = std::min(J, j0 + per);
            Done done;
            done.first = j0 * g.H;
            done.count = std::min(S, j1 * g.H) - done.first;
            const auto i0 = std::size_t(
                std::lower_bound(filter.segments.begin(), filter.segments.end(), int32_t(j0))
                - filter.segments.begin());
            const auto i1 = std::size_t(
                std::lower_bound(filter.segments.begin(), filter.segments.end(), int32_t(j1))
                - filter.segments.begin());
            if (i0 < i1) {
                TWave part;
                part.FFormat = wave.FFormat;
                {
                    const std::lock_guard hold(lock);
                    if (!spare.empty()) {
                        part.FData = std::move(spare.back());
                        spare.pop_back();
                    }
                }
                const uint8_t* from = wave.data() + done.first * frameBytes;
                part.FData.assign(from, from + done.count * frameBytes);
                part.FDataSize = uint32_t(part.FData.size());
                part.FSampleCount = uint32_t(done.count);
                filter.run(i0, i1, work[slot], part, done.first, clips);
                done.bytes = std::move(part.FData);
            }
            handOn(chunk, std::move(done));
        });
    } catch (const WriteRefused&) {
        return false;
    }
    mergeClips(work, clips);
    return true;
}

} // namespace kestrelon
