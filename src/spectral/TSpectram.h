#pragma once
// Spectrogram containers: one channel's frames, each a vector of complex bins.
//
// Resizing any of them keeps the first min(old, new) elements and zero-fills new
// ones; a length of 0 releases the storage. Negative lengths throw RangeError
// before anything changes. A TSpectrogram owns its frames. Readers address a bin
// as frame, then bin: spectrogram.FFrames[f]->FData[k].
//
// Storage: SetSpecLength puts the bins of all frames into one large, zero-filled
// block (advised for transparent huge pages), frame after frame. Each TSpecData
// keeps that block alive while it uses a slot of it; copies are deep.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <type_traits>
#include <vector>

namespace kestrelon {

struct TComplex {
    double re = 0.0;
    double im = 0.0;
    friend bool operator==(const TComplex&, const TComplex&) = default;
};

namespace detail {

// A zero-filled block of memory. Blocks of 1 MiB and more are mapped directly,
// aligned to 2 MiB and advised for huge pages; they cost no page until written.
class Block {
public:
    static std::shared_ptr<Block> make(std::size_t bytes); // throws std::bad_alloc
    explicit Block(std::size_t bytes);
    ~Block();
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    void* data() const { return FData; }

private:
    void* FData = nullptr;
    std::size_t FMapped = 0; // length of the mapping, 0 for heap blocks
};

void throwNegativeLength(const char* what);

// A growable, zero-based array of a trivially copyable T, either in a block of its
// own or in a slot of a shared block (see TSpectrogram::SetSpecLength).
template <class T> class TArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    using value_type = T;
    using iterator = T*;
    using const_iterator = const T*;

    TArray() = default;
    TArray(std::initializer_list<T> values) { assign(values.begin(), values.size()); }
    TArray(const std::vector<T>& values) { assign(values.data(), values.size()); }
    explicit TArray(std::size_t n, const T& value = T{})
    {
        resize(static_cast<int64_t>(n));
        std::fill(begin(), end(), value);
    }
    TArray(const TArray& other) { assign(other.FPtr, other.FSize); }
    TArray& operator=(const TArray& other)
    {
        if (this != &other) {
            TArray copy(other);
            *this = std::move(copy);
        }
        return *this;
    }
    TArray(TArray&& other) noexcept { swap(other); }
    TArray& operator=(TArray&& other) noexcept
    {
        TArray moved;
        moved.swap(other);
        swap(moved);
        return *this;
    }
    void swap(TArray& other) noexcept
    {
        std::swap(FPtr, other.FPtr);
        std::swap(FSize, other.FSize);
        std::swap(FCapacity, other.FCapacity);
        FBlock.swap(other.FBlock);
    }

    T& operator[](std::size_t i) { return FPtr[i]; }
    const T& operator[](std::size_t i) const { return FPtr[i]; }
    std::size_t size() const { return FSize; }
    bool empty() const { return FSize == 0; }
    T* data() { return FPtr; }
    const T* data() const { return FPtr; }
    T* begin() { return FPtr; }
    T* end() { return FPtr + FSize; }
    const T* begin() const { return FPtr; }
    const T* end() const { return FPtr + FSize; }

    // Keeps the first min(old, n) elements, zero-fills new ones; 0 releases.
    void resize(int64_t n)
    {
        if (n < 0)
            throwNegativeLength("array");
        const auto count = static_cast<std::size_t>(n);
        if (count == 0) {
            *this = TArray();
        } else if (count <= FCapacity) {
            if (count > FSize)
                std::memset(static_cast<void*>(FPtr + FSize), 0, (count - FSize) * sizeof(T));
            FSize = count;
        } else {
            auto block = Block::make(count * sizeof(T));
            T* p = static_cast<T*>(block->data());
            if (FSize)
                std::memcpy(static_cast<void*>(p), FPtr, FSize * sizeof(T));
            FPtr = p;
            FSize = FCapacity = count;
            FBlock = std::move(block);
        }
    }
    void clear() { resize(0); }

    // Uses n zero-filled elements at slot, inside block, as this array's storage.
    void attach(std::shared_ptr<Block> block, T* slot, std::size_t n)
    {
        FBlock = std::move(block);
        FPtr = slot;
        FSize = FCapacity = n;
    }

    friend bool operator==(const TArray& a, const TArray& b)
    {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }
    friend bool operator==(const TArray& a, const std::vector<T>& b)
    {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    void assign(const T* values, std::size_t n)
    {
        resize(static_cast<int64_t>(n));
        if (n)
            std::memcpy(static_cast<void*>(FPtr), values, n * sizeof(T));
    }

    T* FPtr = nullptr;
    std::size_t FSize = 0;
    std::size_t FCapacity = 0;
    std::shared_ptr<Block> FBlock;
};

} // namespace detail

// A growable, zero-based array of TComplex.
using TSpecData = detail::TArray<TComplex>;

// One frame.
class TSpec {
public:
    void SetSize(int32_t n); // FLength := n, then resize FData

    int32_t FLength = 0; // number of bins
    TSpecData FData;
};

// One channel's frames.
class TSpectrogram {
public:
    void SetSpecLength(int32_t n); // FSpecLength := n, then SetSize(n) on every frame
    void SetFrameCount(int32_t n); // rebuilds every frame empty; FSpecLength unchanged

    int32_t FSpecLength = 0; // bins per frame (N)
    int32_t FFrameCount = 0;
    int32_t FHop = 0; // samples between frame starts; set by the filling engine
    std::vector<std::unique_ptr<TSpec>> FFrames;
};

} // namespace kestrelon
