#pragma once
// The undo history of the sound. Every command that changes the samples (an import, an
// image editor's save, the hidden resynthesis) records one step: what it changed in the
// sample block, stored compactly. Undo and redo are commands like the others (see
// Document::Undo / Redo): they make the document with the exact bytes of the other end of
// the step, and the window installs it; the history then moves its position.
//
// Snapshots: the step next to the position may also keep what the document at its other
// end showed (a Document without its sound: cells and picture), so that undo and redo of
// that step install them instead of analysing the frames again. Only the step undo would
// take back keeps its "before" and only the step redo would make keeps its "after"; the
// rest hold their compact differences alone, so memory stays low.
//
// No widgets here; the window and the tests use it alike.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QObject>
#include <QString>

#include "audio/TWave.h"

namespace kestrelon {

// A 64-bit hash of the bytes: FNV-1a over 8-byte words in four interleaved lanes for each
// MiB (on both cores), then over those hashes and the size (a check within one run of the
// program, not a cryptographic hash).
uint64_t sampleHash(const uint8_t* data, size_t size);
// The chunks sampleHash hashes first, and the hash of one (at most kSampleHashChunk bytes).
inline constexpr std::size_t kSampleHashChunk = std::size_t(1) << 20;
uint64_t sampleChunkHash(const uint8_t* data, size_t size);

// The change one command made to a TWave, before -> after.
//
// When format and length stay the same (an import always keeps them), only the samples
// from the first that differs to the last that differs are stored, as the per-sample
// difference after - before, modulo 2^bits for integer widths and as the XOR of the bit
// patterns for float widths. They are split into chunks of kChunkSamples samples; each
// chunk is cut into byte planes (all low bytes, then all next bytes, ...) and deflated on
// its own, so that chunks are packed and applied on both cores. A resynthesis that leaves
// most samples within a few steps of their old values then costs a small fraction of the
// block, and an edit of one second costs about one second of samples. Otherwise both
// blocks are stored deflated. Both ends carry a hash of their block, so a step is never
// applied to a sound it was not recorded on.
class SampleChange {
public:
    static constexpr std::size_t kChunkSamples = std::size_t(1) << 19;

    // before: the sound before the command; after: the sound after it. mayDiffer: the
    // sample frames [first, end) outside which the caller knows both to hold the same
    // bytes (a filter knows which segments it wrote); only these are compared, and the
    // hash of `after` is that of `before` elsewhere. Were the promise broken, the step
    // would refuse to apply to that sound, never give a wrong one.
    // beforeChunks: the sampleChunkHash of each chunk of before's block, when the caller
    // has taken them already (a copy of the block can take them on its way).
    static std::shared_ptr<const SampleChange> record(const TWave& before, const TWave& after,
        std::pair<uint32_t, uint32_t> mayDiffer = {0, UINT32_MAX},
        const std::vector<uint64_t>* beforeChunks = nullptr);

    // The "before" sound made from the "after" one (undone) or back (redone), exactly.
    // Throws kestrelon::Error when wave does not hold the sound the step starts from, or
    // when the stored data does not reproduce its end.
    TWave undone(const TWave& wave) const { return applied(wave, false); }
    TWave redone(const TWave& wave) const { return applied(wave, true); }
    // The same in place; wave is unchanged when they throw.
    void undo(TWave& wave) const { wave = undone(wave); }
    void redo(TWave& wave) const { wave = redone(wave); }

    // The frames of the sound [first, end) outside which both ends hold the same samples
    // (all of them when format or length change).
    std::pair<uint32_t, uint32_t> changedFrames() const;
    // Bytes of memory this step holds.
    size_t bytes() const;
    bool isDelta() const { return FDelta; }

private:
    struct End {
        WAVEFORMATEX format;
        uint32_t sampleCount = 0;
        double seconds = 0.0;
        uint64_t size = 0; // bytes of the block
        uint64_t hash = 0;
        QByteArray full; // deflated block (when not a delta)
    };
    TWave applied(const TWave& wave, bool forward) const;

    End FBefore;
    End FAfter;
    bool FDelta = false;
    unsigned FSampleBytes = 0; // delta: bytes per sample
    bool FFloatXor = false; // delta: XOR of float bit patterns
    std::size_t FFirstSample = 0; // delta: the samples [FFirstSample, FEndSample) differ
    std::size_t FEndSample = 0;
    struct Chunk {
        QByteArray bytes; // the chunk's byte planes, deflated or as they are
        bool deflated = false;
    };
    std::vector<Chunk> FChunks; // delta: chunk after chunk
};

// The history of one sound: steps 0 .. count()-1, of which the first index() are applied
// (the sound shown is the one after step index() - 1). Steps beyond maxSteps, or beyond
// maxBytes in total, are dropped oldest first (the newest step always stays, whatever its
// size; only applied steps are dropped).
class Document;

class EditHistory : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultMaxSteps = 50;
    static constexpr size_t kDefaultMaxBytes = size_t(1) << 30; // 1 GiB

    explicit EditHistory(QObject* parent = nullptr);
    ~EditHistory() override;

    void setLimits(int maxSteps, size_t maxBytes);

    // A command has just changed the sound: a new step after the applied ones (the steps
    // that were undone are dropped). before: what the document showed before it, when
    // kept (Document::withoutSound). clips: what the command clipped, reported again
    // whenever this step's sound is shown (appliedClips).
    void record(const QString& text, std::shared_ptr<const SampleChange> change,
        std::shared_ptr<const Document> before = nullptr, const ClipStats& clips = {});
    // The step undo would take back, and the one redo would make again (null when none),
    // and the snapshots of the documents they lead to (null when not kept).
    std::shared_ptr<const SampleChange> undoStep() const;
    std::shared_ptr<const SampleChange> redoStep() const;
    std::shared_ptr<const Document> undoSnapshot() const;
    std::shared_ptr<const Document> redoSnapshot() const;
    // The document undo (redo) made has been installed: one step back (forward). left:
    // what the document it replaced showed, for going the other way again.
    void stepBack(std::shared_ptr<const Document> left = nullptr);
    void stepForward(std::shared_ptr<const Document> left = nullptr);
    // Forgets every step; the current sound is the saved one (a fresh open).
    void clear();
    // The current sound has been saved.
    void markSaved();
    // The sound differs from the one last opened or saved.
    bool isModified() const { return FIndex != FClean; }

    bool canUndo() const { return FIndex > 0; }
    bool canRedo() const { return FIndex < count(); }
    int count() const { return int(FSteps.size()); }
    int index() const { return FIndex; }
    QString text(int step) const { return FSteps[std::size_t(step)].text; }
    size_t bytes() const;
    // The step undo would take back next (null when there is none).
    std::shared_ptr<const SampleChange> lastApplied() const { return undoStep(); }
    // What the command that made the sound shown clipped: that of the last applied step,
    // nothing when none is applied (the sound as opened).
    ClipStats appliedClips() const;

signals:
    // The position, the steps or the saved state changed.
    void changed();
    void modifiedChanged(bool modified);

private:
    struct Step {
        QString text;
        std::shared_ptr<const SampleChange> change;
        std::shared_ptr<const Document> before; // kept for index() - 1 only
        std::shared_ptr<const Document> after; // kept for index() only
        ClipStats clips; // what the command clipped in the sound it made
    };
    void trim();
    // Drops the snapshots that are not next to the position.
    void dropFarSnapshots();
    void update(bool wasModified);

    std::vector<Step> FSteps;
    int FIndex = 0;
    int FClean = 0; // index of the saved sound; -1 when it is no longer reachable
    int FMaxSteps = kDefaultMaxSteps;
    size_t FMaxBytes = kDefaultMaxBytes;
};

} // namespace kestrelon
