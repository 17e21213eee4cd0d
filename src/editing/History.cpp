#include "editing/History.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "base/Cancel.h"
#include "base/Errors.h"
#include "base/Parallel.h"
#include "editing/Document.h"

namespace kestrelon {

namespace {

// Deflate level of the stored blocks: fast, and the byte planes of a resynthesis
// difference are mostly long runs that any level shrinks.
constexpr int kDeflateLevel = 1;

QByteArray deflate(const uint8_t* data, size_t size)
{
    if (size == 0)
        return {};
    QByteArray out = qCompress(data, qsizetype(size), kDeflateLevel);
    if (out.isEmpty())
        throw Error(Message(MessageCode::HistoryCannotCompress));
    out.squeeze(); // qCompress leaves room for the worst case
    return out;
}

QByteArray inflate(const QByteArray& packed, uint64_t expectedSize)
{
    if (expectedSize == 0)
        return {};
    QByteArray out = qUncompress(packed);
    if (uint64_t(out.size()) != expectedSize)
        throw Error(Message(MessageCode::HistoryDamaged));
    return out;
}

bool sameFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

template <unsigned W> uint64_t load(const uint8_t* p)
{
    uint64_t v = 0;
    for (unsigned b = 0; b < W; ++b)
        v |= uint64_t(p[b]) << (8 * b);
    return v;
}

template <unsigned W> void store(uint8_t* p, uint64_t v)
{
    for (unsigned b = 0; b < W; ++b)
        p[b] = uint8_t(v >> (8 * b));
}

// planes[b * n + i] = byte b of (after[i] - before[i]) (or of the XOR).
template <unsigned W>
void encodePlanes(
    const uint8_t* before, const uint8_t* after, size_t n, bool useXor, uint8_t* planes)
{
    for (size_t i = 0; i < n; ++i) {
        const uint64_t a = load<W>(before + i * W);
        const uint64_t b = load<W>(after + i * W);
        const uint64_t d = useXor ? (a ^ b) : (b - a);
        for (unsigned k = 0; k < W; ++k)
            planes[k * n + i] = uint8_t(d >> (8 * k));
    }
}

// data[i] += d[i] (forward) or -= d[i], modulo 2^(8W); or data[i] ^= d[i].
template <unsigned W>
void applyPlanes(uint8_t* data, const uint8_t* planes, size_t n, bool useXor, bool forward)
{
    constexpr uint64_t mask = W == 8 ? ~uint64_t(0) : (uint64_t(1) << (8 * W)) - 1;
    for (size_t i = 0; i < n; ++i) {
        uint64_t d = 0;
        for (unsigned k = 0; k < W; ++k)
            d |= uint64_t(planes[k * n + i]) << (8 * k);
        const uint64_t v = load<W>(data + i * W);
        const uint64_t r = useXor ? (v ^ d) : forward ? (v + d) : (v - d);
        store<W>(data + i * W, r & mask);
    }
}

template <class F> void byWidth(unsigned width, F&& f)
{
    switch (width) {
    case 1:
        f(std::integral_constant<unsigned, 1>());
        break;
    case 2:
        f(std::integral_constant<unsigned, 2>());
        break;
    case 3:
        f(std::integral_constant<unsigned, 3>());
        break;
    case 4:
        f(std::integral_constant<unsigned, 4>());
        break;
    case 5:
        f(std::integral_constant<unsigned, 5>());
        break;
    case 6:
        f(std::integral_constant<unsigned, 6>());
        break;
    case 7:
        f(std::integral_constant<unsigned, 7>());
        break;
    case 8:
        f(std::integral_constant<unsigned, 8>());
        break;
    default:
        throw Error(Message(MessageCode::HistoryUnknownWidth));
    }
}

// Runs fn(chunk) for chunks 0 .. count-1 on both cores; a cancel of the calling thread's
// command (base/Cancel.h) stops them between chunks.
template <class Fn> void forChunks(std::size_t count, Fn&& fn)
{
    const std::atomic<bool>* cancel = currentCancelFlag();
    parallelFor(
        count,
        [&](std::size_t c0, std::size_t c1) {
            for (std::size_t c = c0; c < c1; ++c) {
                throwIfCancelled(cancel);
                fn(c);
            }
        },
        1);
}

// Whether deflating planes (n samples of w bytes) is worth it: a deflated sample of each
// plane must come out clearly smaller. The differences a gentle edit leaves are mostly
// runs; those of an edit that rescales everything are close to noise, which deflate
// neither shrinks nor passes through quickly.
bool worthDeflating(const uint8_t* planes, std::size_t n, unsigned w)
{
    constexpr std::size_t kSample = 8192;
    if (n <= kSample)
        return true;
    std::vector<uint8_t> sample;
    sample.reserve(kSample * w);
    for (unsigned k = 0; k < w; ++k) {
        const uint8_t* plane = planes + k * n + (n - kSample) / 2;
        sample.insert(sample.end(), plane, plane + kSample);
    }
    return std::size_t(deflate(sample.data(), sample.size()).size()) < sample.size() * 7 / 10;
}

// The first byte where a and b differ (size when none), and one past the last (at least
// first): whole blocks are compared with memcmp, the bytes only inside the block that
// differs.
constexpr std::size_t kCompareBlock = 4096;

std::size_t firstDifference(const uint8_t* a, const uint8_t* b, std::size_t size)
{
    std::size_t i = 0;
    while (i + kCompareBlock <= size && std::memcmp(a + i, b + i, kCompareBlock) == 0)
        i += kCompareBlock;
    while (i < size && a[i] == b[i])
        ++i;
    return i;
}

std::size_t endOfDifference(const uint8_t* a, const uint8_t* b, std::size_t first, std::size_t size)
{
    std::size_t e = size;
    while (e >= first + kCompareBlock
        && std::memcmp(a + e - kCompareBlock, b + e - kCompareBlock, kCompareBlock) == 0)
        e -= kCompareBlock;
    while (e > first && a[e - 1] == b[e - 1])
        --e;
    return e;
}

} // namespace

namespace {

constexpr std::size_t kHashChunk = kSampleHashChunk;

std::size_t hashChunks(std::size_t size)
{
    return (size + kHashChunk - 1) / kHashChunk;
}

uint64_t combinedHash(const std::vector<uint64_t>& chunks, size_t size)
{
    constexpr uint64_t prime = 0x100000001b3ull;
    uint64_t r = 0xcbf29ce484222325ull;
    for (const uint64_t h : chunks)
        r = (r ^ h) * prime;
    return (r ^ size) * prime;
}

} // namespace

// FNV-1a over 8-byte words in four interleaved lanes, so that the multiplications
// overlap; the bytes after the last whole group of 32 go in one at a time.
uint64_t sampleChunkHash(const uint8_t* data, size_t size)
{
    constexpr uint64_t prime = 0x100000001b3ull;
    uint64_t h[4] = {
        0xcbf29ce484222325ull, 0x84222325cbf29ce4ull, 0x9e3779b97f4a7c15ull, 0x7f4a7c159e3779b9ull};
    size_t i = 0;
    for (; i + 32 <= size; i += 32)
        for (int lane = 0; lane < 4; ++lane) {
            uint64_t word;
            std::memcpy(&word, data + i + 8 * lane, 8);
            h[lane] = (h[lane] ^ word) * prime;
        }
    uint64_t r = h[0];
    for (int lane = 1; lane < 4; ++lane)
        r = (r ^ h[lane]) * prime;
    for (; i < size; ++i)
        r = (r ^ data[i]) * prime;
    return r;
}

uint64_t sampleHash(const uint8_t* data, size_t size)
{
    std::vector<uint64_t> chunks(hashChunks(size));
    parallelFor(chunks.size(), [&](std::size_t c0, std::size_t c1) {
        for (std::size_t c = c0; c < c1; ++c) {
            const std::size_t at = c * kHashChunk;
            chunks[c] = sampleChunkHash(data + at, std::min(kHashChunk, size - at));
        }
    });
    return combinedHash(chunks, size);
}

std::shared_ptr<const SampleChange> SampleChange::record(const TWave& before, const TWave& after,
    std::pair<uint32_t, uint32_t> mayDiffer, const std::vector<uint64_t>* beforeChunks)
{
    auto change = std::make_shared<SampleChange>();
    const auto end = [](const TWave& w) {
        End e;
        e.format = w.FFormat;
        e.sampleCount = w.FSampleCount;
        e.seconds = w.FSeconds;
        e.size = w.FData.size();
        return e;
    };
    change->FBefore = end(before);
    change->FAfter = end(after);

    const SampleKind kind = sampleKindOf(after.FFormat);
    unsigned width = sampleBytes(kind);
    bool useXor = kind == SampleKind::F32 || kind == SampleKind::F64;
    if (width == 0) { // not a sample type: bytes as they are
        width = 1;
        useXor = true;
    }
    const size_t size = after.FData.size();
    if (!sameFormat(before.FFormat, after.FFormat) || before.FData.size() != size
        || size % width != 0) {
        change->FBefore.hash = sampleHash(before.FData.data(), before.FData.size());
        change->FAfter.hash = sampleHash(after.FData.data(), after.FData.size());
        change->FBefore.full = deflate(before.FData.data(), before.FData.size());
        change->FAfter.full = deflate(after.FData.data(), after.FData.size());
        return change;
    }
    change->FDelta = true;
    change->FSampleBytes = width;
    change->FFloatXor = useXor;
    const uint8_t* a = before.FData.data();
    const uint8_t* b = after.FData.data();
    // Both hashes in one pass: a chunk of `after` is hashed only where it differs from
    // `before`, and compared only where the caller does not know it to be the same.
    const std::size_t frameBytes = std::max<std::size_t>(after.FFormat.nBlockAlign, 1);
    const std::size_t lo = std::min<std::size_t>(size, std::size_t(mayDiffer.first) * frameBytes);
    const std::size_t hi = std::min<std::size_t>(size, std::size_t(mayDiffer.second) * frameBytes);
    const std::size_t chunks = hashChunks(size);
    const bool known = beforeChunks && beforeChunks->size() == chunks;
    std::vector<uint64_t> hashA = known ? *beforeChunks : std::vector<uint64_t>(chunks);
    std::vector<uint64_t> hashB(chunks);
    std::vector<uint8_t> differs(chunks, 0);
    parallelFor(chunks, [&](std::size_t c0, std::size_t c1) {
        for (std::size_t c = c0; c < c1; ++c) {
            const std::size_t at = c * kHashChunk;
            const std::size_t n = std::min(kHashChunk, size - at);
            if (!known)
                hashA[c] = sampleChunkHash(a + at, n);
            differs[c] = at < hi && at + n > lo && std::memcmp(a + at, b + at, n) != 0;
            hashB[c] = differs[c] ? sampleChunkHash(b + at, n) : hashA[c];
        }
    });
    change->FBefore.hash = combinedHash(hashA, size);
    change->FAfter.hash = combinedHash(hashB, size);
    // The samples that differ: from the first differing byte to the last.
    const auto firstChunk
        = std::size_t(std::find(differs.begin(), differs.end(), 1) - differs.begin());
    if (firstChunk == chunks)
        return change; // nothing differs
    const auto lastChunk = chunks - 1
        - std::size_t(std::find(differs.rbegin(), differs.rend(), 1) - differs.rbegin());
    const std::size_t c0 = firstChunk * kHashChunk;
    const std::size_t first = c0 + firstDifference(a + c0, b + c0, std::min(kHashChunk, size - c0));
    const std::size_t c1 = lastChunk * kHashChunk;
    const std::size_t last = c1
        + endOfDifference(
            a + c1, b + c1, first > c1 ? first - c1 : 0, std::min(kHashChunk, size - c1));
    change->FFirstSample = first / width;
    change->FEndSample = (last + width - 1) / width;
    const std::size_t samples = change->FEndSample - change->FFirstSample;
    change->FChunks.resize((samples + kChunkSamples - 1) / kChunkSamples);
    forChunks(change->FChunks.size(), [&](std::size_t c) {
        const std::size_t s0 = change->FFirstSample + c * kChunkSamples;
        const std::size_t n = std::min(kChunkSamples, change->FEndSample - s0);
        std::vector<uint8_t> planes(n * width);
        byWidth(width, [&](auto w) {
            encodePlanes<decltype(w)::value>(
                a + s0 * width, b + s0 * width, n, useXor, planes.data());
        });
        Chunk& chunk = change->FChunks[c];
        chunk.deflated = worthDeflating(planes.data(), n, width);
        chunk.bytes = chunk.deflated
            ? deflate(planes.data(), planes.size())
            : QByteArray(reinterpret_cast<const char*>(planes.data()), qsizetype(planes.size()));
    });
    return change;
}

std::pair<uint32_t, uint32_t> SampleChange::changedFrames() const
{
    if (!FDelta)
        return {0, std::max(FBefore.sampleCount, FAfter.sampleCount)};
    const std::size_t channels = std::max<std::size_t>(FAfter.format.nChannels, 1);
    if (FEndSample == FFirstSample)
        return {0, 0};
    return {uint32_t(FFirstSample / channels), uint32_t((FEndSample + channels - 1) / channels)};
}

size_t SampleChange::bytes() const
{
    size_t total = sizeof(*this) + size_t(FBefore.full.capacity()) + size_t(FAfter.full.capacity())
        + FChunks.capacity() * sizeof(Chunk);
    for (const Chunk& c : FChunks)
        total += size_t(c.bytes.capacity());
    return total;
}

TWave SampleChange::applied(const TWave& wave, bool forward) const
{
    const End& from = forward ? FBefore : FAfter;
    const End& to = forward ? FAfter : FBefore;
    if (!sameFormat(wave.FFormat, from.format) || wave.FSampleCount != from.sampleCount
        || wave.FData.size() != from.size
        || sampleHash(wave.FData.data(), wave.FData.size()) != from.hash)
        throw Error(Message(MessageCode::HistoryOtherSound));

    std::vector<uint8_t> result;
    if (FDelta) {
        result = wave.FData;
        const unsigned width = FSampleBytes;
        forChunks(FChunks.size(), [&](std::size_t c) {
            const std::size_t s0 = FFirstSample + c * kChunkSamples;
            const std::size_t n = std::min(kChunkSamples, FEndSample - s0);
            const Chunk& chunk = FChunks[c];
            const QByteArray planes
                = chunk.deflated ? inflate(chunk.bytes, n * width) : chunk.bytes;
            if (uint64_t(planes.size()) != n * width)
                throw Error(Message(MessageCode::HistoryDamaged));
            byWidth(width, [&](auto w) {
                applyPlanes<decltype(w)::value>(result.data() + s0 * width,
                    reinterpret_cast<const uint8_t*>(planes.constData()), n, FFloatXor, forward);
            });
        });
    } else {
        const QByteArray block = inflate(to.full, to.size);
        result.assign(block.constBegin(), block.constEnd());
    }
    if (result.size() != to.size || sampleHash(result.data(), result.size()) != to.hash)
        throw Error(Message(MessageCode::HistoryNotReproduced));

    TWave out;
    out.FFormat = to.format;
    out.FData = std::move(result);
    out.FDataSize = uint32_t(to.size);
    out.FSampleCount = to.sampleCount;
    out.FSeconds = to.seconds;
    return out;
}

EditHistory::EditHistory(QObject* parent)
    : QObject(parent)
{
}

EditHistory::~EditHistory() = default;

void EditHistory::setLimits(int maxSteps, size_t maxBytes)
{
    const bool wasModified = isModified();
    FMaxSteps = maxSteps < 1 ? 1 : maxSteps;
    FMaxBytes = maxBytes;
    trim();
    update(wasModified);
}

void EditHistory::record(const QString& text, std::shared_ptr<const SampleChange> change,
    std::shared_ptr<const Document> before, const ClipStats& clips)
{
    const bool wasModified = isModified();
    FSteps.resize(std::size_t(FIndex));
    if (FClean > FIndex)
        FClean = -1; // the saved sound was among the steps undone
    FSteps.push_back({text, std::move(change), std::move(before), nullptr, clips});
    ++FIndex;
    trim();
    dropFarSnapshots();
    update(wasModified);
}

std::shared_ptr<const SampleChange> EditHistory::undoStep() const
{
    return canUndo() ? FSteps[std::size_t(FIndex - 1)].change : nullptr;
}

std::shared_ptr<const SampleChange> EditHistory::redoStep() const
{
    return canRedo() ? FSteps[std::size_t(FIndex)].change : nullptr;
}

ClipStats EditHistory::appliedClips() const
{
    return canUndo() ? FSteps[std::size_t(FIndex - 1)].clips : ClipStats{};
}

std::shared_ptr<const Document> EditHistory::undoSnapshot() const
{
    return canUndo() ? FSteps[std::size_t(FIndex - 1)].before : nullptr;
}

std::shared_ptr<const Document> EditHistory::redoSnapshot() const
{
    return canRedo() ? FSteps[std::size_t(FIndex)].after : nullptr;
}

void EditHistory::stepBack(std::shared_ptr<const Document> left)
{
    if (!canUndo())
        return;
    const bool wasModified = isModified();
    --FIndex;
    FSteps[std::size_t(FIndex)].after = std::move(left);
    dropFarSnapshots();
    update(wasModified);
}

void EditHistory::stepForward(std::shared_ptr<const Document> left)
{
    if (!canRedo())
        return;
    const bool wasModified = isModified();
    FSteps[std::size_t(FIndex)].before = std::move(left);
    ++FIndex;
    dropFarSnapshots();
    update(wasModified);
}

void EditHistory::dropFarSnapshots()
{
    for (int i = 0; i < count(); ++i) {
        Step& step = FSteps[std::size_t(i)];
        if (i != FIndex - 1)
            step.before.reset();
        if (i != FIndex)
            step.after.reset();
    }
}

void EditHistory::clear()
{
    const bool wasModified = isModified();
    FSteps.clear();
    FIndex = 0;
    FClean = 0;
    update(wasModified);
}

void EditHistory::markSaved()
{
    const bool wasModified = isModified();
    FClean = FIndex;
    update(wasModified);
}

size_t EditHistory::bytes() const
{
    size_t total = 0;
    for (const Step& s : FSteps)
        total += s.change ? s.change->bytes() : 0;
    return total;
}

void EditHistory::trim()
{
    const int n = count();
    int drop = 0;
    size_t total = bytes();
    // Only steps that are applied can go: the sound must stay the state the remaining
    // ones start from.
    while (drop < FIndex && n - drop > 1 && (n - drop > FMaxSteps || total > FMaxBytes)) {
        const auto& change = FSteps[std::size_t(drop)].change;
        total -= change ? change->bytes() : 0;
        ++drop;
    }
    if (drop == 0)
        return;
    FSteps.erase(FSteps.begin(), FSteps.begin() + drop);
    FIndex -= drop;
    FClean = FClean >= drop ? FClean - drop : -1;
}

void EditHistory::update(bool wasModified)
{
    emit changed();
    if (isModified() != wasModified)
        emit modifiedChanged(isModified());
}

} // namespace kestrelon
