#pragma once
// The edits the pipeline benchmarks apply, as an edited picture would give them: every
// cell of the chosen frames one gray level darker (cells already black stay black).

#include <algorithm>
#include <cstdint>

#include "spectral/Pipeline.h"

namespace kestrelon::bench {

enum class Edit : int { None = 0, Whole = 1, OneSecond = 2 };

// Frames [first, last) of `cells` one level darker; only frames with a change are listed.
inline CellEdits darker(const GrayCells& cells, int32_t first, int32_t last)
{
    CellEdits e;
    e.rows = cells.rows;
    last = std::min(last, cells.frames);
    e.diffs.reserve(std::size_t(std::max(0, last - first)) * std::size_t(cells.rows));
    for (int32_t f = first; f < last; ++f) {
        const std::size_t at = e.diffs.size();
        bool changed = false;
        for (int32_t k = 0; k < cells.rows; ++k) {
            const bool dark = cells.at(f, k) > 0;
            e.diffs.push_back(dark ? int16_t(-1) : int16_t(0));
            changed = changed || dark;
        }
        if (changed)
            e.frames.push_back(f);
        else
            e.diffs.resize(at);
    }
    return e;
}

// The edit of a kind: nothing, every frame, or the frames of one second in the middle.
inline CellEdits editOf(Edit kind, const GrayCells& cells, uint32_t sampleRate)
{
    if (kind == Edit::None)
        return CellEdits{};
    if (kind == Edit::Whole)
        return darker(cells, 0, cells.frames);
    const int32_t hop = cells.fftLength / 2;
    const auto perSecond = static_cast<int32_t>(sampleRate / uint32_t(hop));
    const int32_t first = cells.frames / 2;
    return darker(cells, first, first + perSecond);
}

} // namespace kestrelon::bench
