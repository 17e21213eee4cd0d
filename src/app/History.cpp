#include "app/History.h"

#include <cstring>
#include <exception>

#include <QUndoCommand>

#include "base/Errors.h"

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
        throw Error("the undo history met an unknown sample width");
    }
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

WaveSnapshot WaveSnapshot::of(const TWave& wave)
{
    WaveSnapshot s;
    s.format = wave.FFormat;
    s.sampleCount = wave.FSampleCount;
    s.seconds = wave.FSeconds;
    s.data = wave.FData;
    return s;
}

void WaveSnapshot::restoreInto(TWave& wave) const
{
    wave.FFormat = format;
    wave.FData = data;
    wave.FDataSize = uint32_t(data.size());
    wave.FSampleCount = sampleCount;
    wave.FSeconds = seconds;
}

std::shared_ptr<const SampleChange> SampleChange::record(
    const WaveSnapshot& before, const TWave& after)
{
    auto change = std::make_shared<SampleChange>();
    const auto end = [](const WAVEFORMATEX& format, uint32_t count, double seconds,
                         const std::vector<uint8_t>& data) {
        End e;
        e.format = format;
        e.sampleCount = count;
        e.seconds = seconds;
        e.size = data.size();
        e.hash = sampleHash(data.data(), data.size());
        return e;
    };
    change->FBefore = end(before.format, before.sampleCount, before.seconds, before.data);
    change->FAfter = end(after.FFormat, after.FSampleCount, after.FSeconds, after.FData);

    const SampleKind kind = sampleKindOf(after.FFormat);
    unsigned width = sampleBytes(kind);
    bool useXor = kind == SampleKind::F32 || kind == SampleKind::F64;
    if (width == 0) { // not a sample type: bytes as they are
        width = 1;
        useXor = true;
    }
    const size_t size = after.FData.size();
    if (sameFormat(before.format, after.FFormat) && before.data.size() == size
        && size % width == 0) {
        change->FDelta = true;
        change->FSampleBytes = width;
        change->FFloatXor = useXor;
        const size_t n = size / width;
        std::vector<uint8_t> planes(size);
        byWidth(width, [&](auto w) {
            encodePlanes<decltype(w)::value>(
                before.data.data(), after.FData.data(), n, useXor, planes.data());
        });
        change->FPlanes = deflate(planes.data(), planes.size());
    } else {
        change->FBefore.full = deflate(before.data.data(), before.data.size());
        change->FAfter.full = deflate(after.FData.data(), after.FData.size());
    }
    return change;
}

size_t SampleChange::bytes() const
{
    return sizeof(*this) + size_t(FPlanes.capacity()) + size_t(FBefore.full.capacity())
        + size_t(FAfter.full.capacity());
}

void SampleChange::apply(TWave& wave, bool forward) const
{
    const End& from = forward ? FBefore : FAfter;
    const End& to = forward ? FAfter : FBefore;
    if (!sameFormat(wave.FFormat, from.format) || wave.FSampleCount != from.sampleCount
        || wave.FData.size() != from.size
        || sampleHash(wave.FData.data(), wave.FData.size()) != from.hash)
        throw Error("the sound is not the one this undo step was recorded on; nothing changed");

    std::vector<uint8_t> result;
    if (FDelta) {
        const QByteArray planes = inflate(FPlanes, from.size);
        result = wave.FData;
        byWidth(FSampleBytes, [&](auto w) {
            applyPlanes<decltype(w)::value>(result.data(),
                reinterpret_cast<const uint8_t*>(planes.constData()), result.size() / FSampleBytes,
                FFloatXor, forward);
        });
    } else {
        const QByteArray block = inflate(to.full, to.size);
        result.assign(block.constBegin(), block.constEnd());
    }
    if (result.size() != to.size || sampleHash(result.data(), result.size()) != to.hash)
        throw Error("the undo history does not reproduce the sound of this step; nothing changed");

    wave.FFormat = to.format;
    wave.FData = std::move(result);
    wave.FDataSize = uint32_t(to.size);
    wave.FSampleCount = to.sampleCount;
    wave.FSeconds = to.seconds;
}

// One step on the stack. Undo and redo change the sound unless the history is only
// rearranging its steps; errors are kept for EditHistory::undo/redo to rethrow, since
// they must not pass through QUndoStack.
class EditHistory::Step : public QUndoCommand {
public:
    Step(EditHistory* history, const QString& text, std::shared_ptr<const SampleChange> change)
        : QUndoCommand(text)
        , FHistory(history)
        , FChange(std::move(change))
    {
    }

    void undo() override { run(false); }
    void redo() override { run(true); }

    const std::shared_ptr<const SampleChange>& change() const { return FChange; }

private:
    void run(bool forward)
    {
        if (FHistory->FReplaying)
            return;
        try {
            if (FHistory->FWave) {
                if (forward)
                    FChange->redo(*FHistory->FWave);
                else
                    FChange->undo(*FHistory->FWave);
            }
        } catch (...) {
            FHistory->FError = std::current_exception();
        }
    }

    EditHistory* FHistory;
    std::shared_ptr<const SampleChange> FChange;
};

EditHistory::EditHistory(QObject* parent)
    : QObject(parent)
{
    connect(&FStack, &QUndoStack::cleanChanged, this,
        [this](bool clean) { emit modifiedChanged(!clean); });
}

EditHistory::~EditHistory()
{
    FReplaying = true; // the sound may be gone already
    FStack.clear();
}

void EditHistory::setLimits(int maxSteps, size_t maxBytes)
{
    FMaxSteps = maxSteps < 1 ? 1 : maxSteps;
    FMaxBytes = maxBytes;
    trim();
}

void EditHistory::record(const QString& text, const WaveSnapshot& before)
{
    if (!FWave)
        return;
    auto change = SampleChange::record(before, *FWave);
    FReplaying = true;
    FStack.push(new Step(this, text, std::move(change)));
    FReplaying = false;
    trim();
}

void EditHistory::clear()
{
    FReplaying = true;
    FStack.clear();
    FReplaying = false;
}

size_t EditHistory::bytes() const
{
    size_t total = 0;
    for (int i = 0; i < FStack.count(); ++i)
        total += static_cast<const Step*>(FStack.command(i))->change()->bytes();
    return total;
}

std::shared_ptr<const SampleChange> EditHistory::lastApplied() const
{
    if (FStack.index() == 0)
        return nullptr;
    return static_cast<const Step*>(FStack.command(FStack.index() - 1))->change();
}

void EditHistory::move(bool forward)
{
    if (forward ? !FStack.canRedo() : !FStack.canUndo())
        return;
    FError = nullptr;
    if (forward)
        FStack.redo();
    else
        FStack.undo();
    if (FError) {
        // The sound did not change: put the index back where it was.
        const std::exception_ptr error = FError;
        FError = nullptr;
        FReplaying = true;
        if (forward)
            FStack.undo();
        else
            FStack.redo();
        FReplaying = false;
        std::rethrow_exception(error);
    }
    if (FOnRestored)
        FOnRestored();
    emit restored();
}

void EditHistory::trim()
{
    const int n = FStack.count();
    int drop = 0;
    size_t total = bytes();
    // Only steps that are applied can go: the sound must stay the state the remaining
    // ones start from.
    while (drop < FStack.index() && n - drop > 1 && (n - drop > FMaxSteps || total > FMaxBytes)) {
        total -= static_cast<const Step*>(FStack.command(drop))->change()->bytes();
        ++drop;
    }
    if (drop == 0)
        return;
    // QUndoStack drops commands from its bottom only through its undo limit, which
    // cannot change while it holds commands: rebuild it from the newest steps, with
    // the same current and saved positions, without touching the sound.
    std::vector<std::pair<QString, std::shared_ptr<const SampleChange>>> keep;
    for (int i = drop; i < n; ++i) {
        const auto* step = static_cast<const Step*>(FStack.command(i));
        keep.emplace_back(step->text(), step->change());
    }
    const int index = FStack.index();
    const int clean = FStack.cleanIndex();
    FReplaying = true;
    FStack.clear();
    for (auto& [text, change] : keep)
        FStack.push(new Step(this, text, change));
    if (clean >= drop) {
        FStack.setIndex(clean - drop);
        FStack.setClean();
    } else {
        FStack.resetClean(); // the saved sound is no longer reachable
    }
    FStack.setIndex(index > drop ? index - drop : 0);
    FReplaying = false;
}

} // namespace kestrelon
