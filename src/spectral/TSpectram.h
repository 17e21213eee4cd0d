#pragma once
// Spectrogram containers: one channel's frames, each a vector of complex bins.
//
// Resizing any of them keeps the first min(old, new) elements and zero-fills new
// ones; a length of 0 releases the storage. Negative lengths throw RangeError.
// A TSpectrogram owns its frames. Readers address a bin as frame, then bin:
// spectrogram.FFrames[f]->FData[k].

#include <cstdint>
#include <memory>
#include <vector>

namespace kestrelon {

struct TComplex {
    double re = 0.0;
    double im = 0.0;
};

// A growable, zero-based array of TComplex.
class TSpecData {
public:
    TComplex& operator[](std::size_t i) { return FItems[i]; }
    const TComplex& operator[](std::size_t i) const { return FItems[i]; }
    std::size_t size() const { return FItems.size(); }
    TComplex* data() { return FItems.data(); }
    const TComplex* data() const { return FItems.data(); }
    void resize(int32_t n);

private:
    std::vector<TComplex> FItems;
};

// One frame.
class TSpec {
public:
    void SetSize(int32_t n);  // FLength := n, then resize FData

    int32_t FLength = 0;
    TSpecData FData;
};

// One channel's frames.
class TSpectrogram {
public:
    void SetSpecLength(int32_t n);  // FSpecLength := n, then SetSize(n) on every frame
    void SetFrameCount(int32_t n);  // rebuilds every frame empty; FSpecLength unchanged

    int32_t FSpecLength = 0;  // bins per frame (N)
    int32_t FFrameCount = 0;
    int32_t FHop = 0;         // samples between frame starts; set by the filling engine
    std::vector<std::unique_ptr<TSpec>> FFrames;
};

} // namespace kestrelon
