// TSpec / TSpectrogram sizing and the dB row storage.

#include <gtest/gtest.h>

#include "base/Errors.h"
#include "spectral/TWaveSpectram.h"

namespace kestrelon {
namespace {

// Frames made after the length are empty; a length set after the frames gives every
// frame that many bins, zero. Negative sizes throw and change nothing.
TEST(Spectrogram, SizingOrderDecidesWhetherFramesGetBins)
{
    TSpectrogram g;
    EXPECT_EQ(g.FSpecLength + g.FHop, 0);
    g.SetSpecLength(8);
    g.SetFrameCount(3);
    for (auto& f : g.FFrames)
        EXPECT_TRUE(f->FLength == 0 && f->FData.empty());
    g.SetSpecLength(8);
    ASSERT_EQ(g.FFrames.size(), 3u);
    for (auto& f : g.FFrames) {
        ASSERT_EQ(f->FLength, 8);
        EXPECT_TRUE(f->FData == std::vector<TComplex>(8));
    }
    EXPECT_THROW(g.SetSpecLength(-1), RangeError);
    EXPECT_THROW(g.SetFrameCount(-1), RangeError);
    EXPECT_THROW(g.FFrames[0]->SetSize(-1), RangeError);
    EXPECT_EQ(g.FSpecLength, 8);
    EXPECT_EQ(g.FFrameCount, 3);
    EXPECT_EQ(g.FFrames[0]->FData.size(), 8u);
    g.SetFrameCount(3); // rebuilt, even at the same count
    EXPECT_TRUE(g.FFrames[1]->FData.empty());
    g.SetFrameCount(0);
    EXPECT_TRUE(g.FFrames.empty());
    EXPECT_EQ(g.FFrameCount, 0);
}

// Frames live in slots of one shared block: a copy must own its bins.
TEST(Spectrogram, CopiesOfFramesAndRowsAreDeep)
{
    TSpectrogram g;
    g.SetFrameCount(1);
    g.SetSpecLength(4);
    TSpecData copy = g.FFrames[0]->FData;
    copy[0] = {5, 5};
    EXPECT_EQ(g.FFrames[0]->FData[0], TComplex{});
    g.SetFrameCount(0); // the copy outlives the spectrogram's block
    EXPECT_EQ(copy[0], (TComplex{5, 5}));

    TFFTShinpuku rows(2, TPowerRow(std::vector<double>{1.0, 2.0}));
    TFFTShinpuku other = rows;
    other[1][0] = 9;
    EXPECT_EQ(rows[1][0], 1.0);
}

} // namespace
} // namespace kestrelon
