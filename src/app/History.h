#pragma once
// The undo history of the sound: every import (and the hidden resynthesis command) is
// one step on a QUndoStack. A step stores only what the command changed in the TWave's
// sample block, compressed; undo and redo re-create the exact bytes, and the owner
// re-analyses and redraws from them (no analysis is ever kept in the history).
//
// No widgets here: the window links this, and so do tests that need no window.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUndoStack>

#include "audio/TWave.h"

namespace kestrelon {

// What a TWave holds, sample block included: the state a step starts from or ends in.
struct WaveSnapshot {
    WAVEFORMATEX format;
    uint32_t sampleCount = 0; // frames
    double seconds = 0.0;
    std::vector<uint8_t> data;

    static WaveSnapshot of(const TWave& wave);
    void restoreInto(TWave& wave) const;
};

// 64-bit FNV-1a over the bytes, 8 at a time (a check, not a cryptographic hash).
uint64_t sampleHash(const uint8_t* data, size_t size);

// The change one command made to a TWave, before -> after.
//
// When format and length stay the same (an import always keeps them), the change is
// stored as the per-sample difference after - before, modulo 2^bits for integer widths
// and as the XOR of the bit patterns for float widths, split into byte planes (all low
// bytes, then all next bytes, ...) and deflated: a resynthesis that leaves most samples
// within a few steps of their old values then costs a small fraction of the block.
// Otherwise both blocks are stored deflated. Both ends carry a hash of their block, so
// a step is never applied to a sound it was not recorded on.
class SampleChange {
public:
    // before: the sound before the command; wave: the sound after it.
    static std::shared_ptr<const SampleChange> record(
        const WaveSnapshot& before, const TWave& after);

    // Turns the "after" sound into the "before" one (undo) or back (redo), exactly.
    // Throws kestrelon::Error, with wave unchanged, when wave does not hold the sound
    // the step starts from, or when the stored data does not reproduce its end.
    void undo(TWave& wave) const { apply(wave, false); }
    void redo(TWave& wave) const { apply(wave, true); }

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
    void apply(TWave& wave, bool forward) const;

    End FBefore;
    End FAfter;
    bool FDelta = false;
    unsigned FSampleBytes = 0; // delta: bytes per sample
    bool FFloatXor = false; // delta: XOR of float bit patterns
    QByteArray FPlanes; // delta: deflated byte planes
};

// The history of one sound. Steps beyond maxSteps, or beyond maxBytes in total, are
// dropped oldest first (the newest step always stays, whatever its size).
class EditHistory : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultMaxSteps = 50;
    static constexpr size_t kDefaultMaxBytes = size_t(1) << 30; // 1 GiB

    explicit EditHistory(QObject* parent = nullptr);
    ~EditHistory() override;

    // The sound the steps act on, and what to call after undo or redo changed it
    // (re-analyse, redraw). Either may be set at any time; wave may be null.
    void setWave(TWave* wave) { FWave = wave; }
    void setOnRestored(std::function<void()> onRestored) { FOnRestored = std::move(onRestored); }
    void setLimits(int maxSteps, size_t maxBytes);

    QUndoStack* stack() { return &FStack; }
    const QUndoStack* stack() const { return &FStack; }

    // Records a command that has just changed the wave from before; nothing is re-applied.
    void record(const QString& text, const WaveSnapshot& before);
    // Undo / redo one step and call onRestored. When the step cannot be applied (see
    // SampleChange) the sound and the stack stay as they were and the error is thrown.
    void undo() { move(false); }
    void redo() { move(true); }
    // Forgets every step; the current sound is the saved one (a fresh open).
    void clear();
    // The current sound has been saved.
    void markSaved() { FStack.setClean(); }
    // The sound differs from the one last opened or saved.
    bool isModified() const { return !FStack.isClean(); }

    int count() const { return FStack.count(); }
    size_t bytes() const;
    // The step that undo would take back next (null when there is none).
    std::shared_ptr<const SampleChange> lastApplied() const;

signals:
    void modifiedChanged(bool modified);
    // Undo or redo changed the sound (after onRestored ran).
    void restored();

private:
    class Step;
    friend class Step;
    void move(bool forward);
    void trim();

    QUndoStack FStack;
    TWave* FWave = nullptr;
    std::function<void()> FOnRestored;
    int FMaxSteps = kDefaultMaxSteps;
    size_t FMaxBytes = kDefaultMaxBytes;
    bool FReplaying = false; // steps pushed or moved without touching the sound
    std::exception_ptr FError; // what the last step's undo or redo threw
};

} // namespace kestrelon
