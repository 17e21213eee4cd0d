#include "spectral/TSpectram.h"

#include <new>
#include <string>

#include <sys/mman.h>

#include "base/Errors.h"

namespace kestrelon {
namespace detail {

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kMapThreshold = std::size_t{1} << 20;
} // namespace

Block::Block(std::size_t bytes)
{
    if (bytes >= kMapThreshold) {
        // Over-allocate by one huge page and trim, so the block starts on a 2 MiB boundary.
        const std::size_t length = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        const std::size_t mapped = length + kHugePage;
        void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        auto base = reinterpret_cast<std::uintptr_t>(p);
        const std::uintptr_t aligned = (base + kHugePage - 1) / kHugePage * kHugePage;
        if (aligned > base)
            munmap(p, aligned - base);
        const std::uintptr_t tail = aligned + length;
        if (base + mapped > tail)
            munmap(reinterpret_cast<void*>(tail), base + mapped - tail);
        FData = reinterpret_cast<void*>(aligned);
        FMapped = length;
#ifdef MADV_HUGEPAGE
        madvise(FData, FMapped, MADV_HUGEPAGE); // advice only: failure is harmless
#endif
    } else {
        const std::size_t rounded = (bytes + 63) / 64 * 64;
        FData = std::aligned_alloc(64, rounded ? rounded : 64);
        if (!FData)
            throw std::bad_alloc();
        std::memset(FData, 0, rounded);
    }
}

Block::~Block()
{
    if (FMapped)
        munmap(FData, FMapped);
    else
        std::free(FData);
}

std::shared_ptr<Block> Block::make(std::size_t bytes)
{
    return std::make_shared<Block>(bytes);
}

void throwNegativeLength(const char* what)
{
    throw RangeError(std::string("negative length of ") + what);
}

} // namespace detail

void TSpec::SetSize(int32_t n)
{
    if (n < 0)
        detail::throwNegativeLength("spectrum frame");
    FLength = n;
    FData.resize(n);
}

void TSpectrogram::SetSpecLength(int32_t n)
{
    if (n < 0)
        detail::throwNegativeLength("spectrum frame");
    const auto frames = static_cast<std::size_t>(FFrameCount);
    const auto bins = static_cast<std::size_t>(n);
    // One block for every frame's bins; existing bins are copied over.
    std::shared_ptr<detail::Block> block;
    if (frames && bins)
        block = detail::Block::make(
            checkedMul(frames, bins * sizeof(TComplex), MessageCode::WhatSpectrogramSize));
    FSpecLength = n;
    for (std::size_t f = 0; f < frames; ++f) {
        TSpec& frame = *FFrames[f];
        frame.FLength = n;
        if (!bins) {
            frame.FData.clear();
            continue;
        }
        TComplex* slot = static_cast<TComplex*>(block->data()) + f * bins;
        const std::size_t keep = std::min(frame.FData.size(), bins);
        if (keep)
            std::memcpy(static_cast<void*>(slot), frame.FData.data(), keep * sizeof(TComplex));
        frame.FData.attach(block, slot, bins);
    }
}

void TSpectrogram::SetFrameCount(int32_t n)
{
    if (n < 0)
        detail::throwNegativeLength("frame list");
    FFrames.clear();
    FFrameCount = n;
    FFrames.resize(static_cast<std::size_t>(n));
    for (auto& frame : FFrames)
        frame = std::make_unique<TSpec>();
}

} // namespace kestrelon
