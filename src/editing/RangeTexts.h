#pragma once
// The texts of the commands on pieces of a long sound: the refusals of Document's range
// export and import, and what the window asks and says about ranges. One table, read by
// the code and by its tests; %1, %2, ... are filled in with QString::arg.

#include <cstdint>

#include <QString>

namespace kestrelon {

enum class RangeText : uint8_t {
    // Document (English, like the other messages of the commands)
    NotARange, // %1 from, %2 to (seconds)
    NoFrames, // %1 from, %2 to, %3 the sound's length (seconds)
    OutsideSound, // %1 path, %2 first frame, %3 end frame, %4 the sound's frames
    OtherRange, // %1 path, %2 x %3 the picture, %4 .. %5 seconds, %6 x %7 the piece's size
    OtherAnalysis, // %1 path, %2 frames and %3 N at export, %4 frames and %5 N now
    // the window (Japanese, like the rest of it)
    ExportRangeItem, // the menu item
    ExportRangeHint, // its tooltip
    RangeTitle, // the title of the range dialog for an export
    ImportRangeTitle, // the same for a picture whose range the window does not know
    FromLabel,
    ToLabel,
    TooWide, // %1 the whole picture's width, %2 the limit
    Count
};

// The text of id.
QString rangeText(RangeText id);

// The widest whole picture the window exports without offering a range instead: the
// widest picture some paint programs' formats take.
inline constexpr int32_t kWidestWholeExport = 30000; // pixels

} // namespace kestrelon
