// TSpec / TSpectrogram sizing and the dB row storage.

#include <gtest/gtest.h>

#include "base/Errors.h"
#include "spectral/TWaveSpectram.h"

namespace kestrelon {
namespace {

bool allZero(const TSpectrogram& g, int from, int to)
{
    for (int f = 0; f < g.FFrameCount; ++f)
        for (int k = from; k < to; ++k)
            if (!(g.FFrames[f]->FData[k] == TComplex{}))
                return false;
    return true;
}

TEST(Spectrogram, FrameCountThenSpecLengthGivesZeroBins)
{
    TSpectrogram g;
    EXPECT_EQ(g.FSpecLength, 0);
    EXPECT_EQ(g.FHop, 0);
    g.SetFrameCount(3);
    g.SetSpecLength(8);
    ASSERT_EQ(g.FFrames.size(), 3u);
    for (auto& f : g.FFrames) {
        EXPECT_EQ(f->FLength, 8);
        EXPECT_EQ(f->FData.size(), 8u);
    }
    EXPECT_TRUE(allZero(g, 0, 8));
}

TEST(Spectrogram, SpecLengthThenFrameCountGivesEmptyFrames)
{
    TSpectrogram g;
    g.SetSpecLength(8);
    g.SetFrameCount(3);
    EXPECT_EQ(g.FSpecLength, 8);
    for (auto& f : g.FFrames) {
        EXPECT_EQ(f->FLength, 0);
        EXPECT_TRUE(f->FData.empty());
    }
}

TEST(Spectrogram, ShrinkAndGrowKeepsLeadingBinsAndZeroesTheRest)
{
    TSpectrogram g;
    g.SetFrameCount(2);
    g.SetSpecLength(8);
    for (int f = 0; f < 2; ++f)
        for (int k = 0; k < 8; ++k)
            g.FFrames[f]->FData[k] = {f + k + 1.0, -(k + 1.0)};
    g.SetSpecLength(4);
    g.SetSpecLength(8);
    for (int f = 0; f < 2; ++f)
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(g.FFrames[f]->FData[k], (TComplex{f + k + 1.0, -(k + 1.0)}));
    EXPECT_TRUE(allZero(g, 4, 8));
    // The same through one frame's SetSize, within and beyond its storage.
    TSpec& s = *g.FFrames[0];
    s.SetSize(2);
    s.SetSize(16);
    EXPECT_EQ(s.FLength, 16);
    EXPECT_EQ(s.FData[1], (TComplex{2.0, -2.0}));
    for (int k = 2; k < 16; ++k)
        EXPECT_EQ(s.FData[k], TComplex{});
}

TEST(Spectrogram, FrameCountRebuildsAndZeroReleases)
{
    TSpectrogram g;
    g.SetFrameCount(2);
    g.SetSpecLength(4);
    g.FFrames[1]->FData[0] = {1, 1};
    g.SetFrameCount(2);
    EXPECT_TRUE(g.FFrames[1]->FData.empty());
    g.SetFrameCount(0);
    EXPECT_TRUE(g.FFrames.empty());
    EXPECT_EQ(g.FFrameCount, 0);
}

TEST(Spectrogram, NegativeLengthsThrowRangeErrorAndChangeNothing)
{
    TSpectrogram g;
    g.SetFrameCount(2);
    g.SetSpecLength(4);
    EXPECT_THROW(g.SetSpecLength(-1), RangeError);
    EXPECT_THROW(g.SetFrameCount(-1), RangeError);
    EXPECT_THROW(g.FFrames[0]->SetSize(-1), RangeError);
    EXPECT_EQ(g.FSpecLength, 4);
    EXPECT_EQ(g.FFrameCount, 2);
    EXPECT_EQ(g.FFrames[0]->FData.size(), 4u);
}

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
    EXPECT_TRUE(rows[0] == (std::vector<double>{1.0, 2.0}));
}

} // namespace
} // namespace kestrelon
