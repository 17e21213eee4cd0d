#include "editing/History.h"

#include <algorithm>
#include <cstring>

#include "base/Errors.h"
#include "base/Parallel.h"

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
        throw Error("the undo history could not compress the sound (out of memory?)");
    out.squeeze(); // qCompress leaves room for the worst case
    return out;
}

QByteArray inflate(const QByteArray& packed, uint64_t expectedSize)
{
    if (expectedSize == 0)
        return {};
    QByteArray out = qUncompress(packed);
    if (uint64_t(out.size()) != expectedSize)
        throw Error("the undo history holds damaged data for this step");
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
    case 8:
        f(std::integral_constant<unsigned, 8>());
        break;
    default:
        throw Error("the undo history met an unknown sample width");
    }
}

// Runs fn(chunk) for chunks 0 .. count-1 on both cores.
template <class Fn> void forChunks(std::size_t count, Fn&& fn)
{
    parallelFor(
        count,
        [&](std::size_t c0, std::size_t c1) {
            for (std::size_t c = c0; c < c1; ++c)
                fn(c);
        },
        1);
}

} // namespace

uint64_t sampleHash(const uint8_t* data, size_t size)
{
    uint64_t h = 0xcbf29ce484222325ull;
    constexpr uint64_t prime = 0x100000001b3ull;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, data + i, 8);
        h = (h ^ word) * prime;
    }
    for (; i < size; ++i)
        h = (h ^ data[i]) * prime;
    return (h ^ size) * prime;
}

std::shared_ptr<const SampleChange> SampleChange::record(const TWave& before, const TWave& after)
{
    auto change = std::make_shared<SampleChange>();
    const auto end = [](const TWave& w) {
        End e;
        e.format = w.FFormat;
        e.sampleCount = w.FSampleCount;
        e.seconds = w.FSeconds;
        e.size = w.FData.size();
        e.hash = sampleHash(w.FData.data(), w.FData.size());
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
        change->FBefore.full = deflate(before.FData.data(), before.FData.size());
        change->FAfter.full = deflate(after.FData.data(), after.FData.size());
        return change;
    }
    change->FDelta = true;
    change->FSampleBytes = width;
    change->FFloatXor = useXor;
    // The samples that differ: from the first differing byte to the last.
    const uint8_t* a = before.FData.data();
    const uint8_t* b = after.FData.data();
    const auto first = std::size_t(std::mismatch(a, a + size, b).first - a);
    if (first == size)
        return change; // nothing differs
    std::size_t last = size;
    while (last > first && a[last - 1] == b[last - 1])
        --last;
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
        change->FChunks[c] = deflate(planes.data(), planes.size());
    });
    return change;
}

size_t SampleChange::bytes() const
{
    size_t total = sizeof(*this) + size_t(FBefore.full.capacity()) + size_t(FAfter.full.capacity())
        + FChunks.capacity() * sizeof(QByteArray);
    for (const QByteArray& c : FChunks)
        total += size_t(c.capacity());
    return total;
}

TWave SampleChange::applied(const TWave& wave, bool forward) const
{
    const End& from = forward ? FBefore : FAfter;
    const End& to = forward ? FAfter : FBefore;
    if (!sameFormat(wave.FFormat, from.format) || wave.FSampleCount != from.sampleCount
        || wave.FData.size() != from.size
        || sampleHash(wave.FData.data(), wave.FData.size()) != from.hash)
        throw Error("the sound is not the one this undo step was recorded on; nothing changed");

    std::vector<uint8_t> result;
    if (FDelta) {
        result = wave.FData;
        const unsigned width = FSampleBytes;
        forChunks(FChunks.size(), [&](std::size_t c) {
            const std::size_t s0 = FFirstSample + c * kChunkSamples;
            const std::size_t n = std::min(kChunkSamples, FEndSample - s0);
            const QByteArray planes = inflate(FChunks[c], n * width);
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
        throw Error("the undo history does not reproduce the sound of this step; nothing changed");

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

void EditHistory::record(const QString& text, std::shared_ptr<const SampleChange> change)
{
    const bool wasModified = isModified();
    FSteps.resize(std::size_t(FIndex));
    if (FClean > FIndex)
        FClean = -1; // the saved sound was among the steps undone
    FSteps.push_back({text, std::move(change)});
    ++FIndex;
    trim();
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

void EditHistory::stepBack()
{
    if (!canUndo())
        return;
    const bool wasModified = isModified();
    --FIndex;
    update(wasModified);
}

void EditHistory::stepForward()
{
    if (!canRedo())
        return;
    const bool wasModified = isModified();
    ++FIndex;
    update(wasModified);
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
