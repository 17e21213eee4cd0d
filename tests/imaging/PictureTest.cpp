#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "GuiEnvironment.h"
#include "HandAnalysis.h"
#include "imaging/Picture.h"

namespace kestrelon::test {
namespace {

// Two levels per decibel, truncated, clamped to a byte; NaN is black.
TEST(GrayLevel, WorkedValues)
{
    const std::pair<double, int> cases[] = {{0.0, 255}, {-0.25, 254}, {-0.5, 254}, {-1.0, 253},
        {3.0, 255}, {-77.5, 100}, {-127.0, 1}, {-127.25, 0}, {-1000.0, 0}, {kZeroDb, 0},
        {1e300, 255}, {-HUGE_VAL, 0}, {std::nan(""), 0}};
    for (auto [db, gray] : cases)
        EXPECT_EQ(grayLevel(db), gray) << db << " dB";
}

TEST(FormatLabel, FifteenSignificantDigitsWithTheLocaleSeparator)
{
    const QLocale c = QLocale::c(), de(QLocale::German), fr(QLocale::French);
    // 0.1 + 0.05 is 0.15000000000000002
    const std::tuple<double, QLocale, QString> cases[] = {{0.0, c, "0"}, {0.5, c, "0.5"},
        {27.5, c, "27.5"}, {0.1 + 0.05, c, "0.15"}, {0.1 + 0.1 + 0.1, c, "0.3"},
        {20000.0, c, "20000"}, {880.0 / 2 / 2 / 2, c, "110"}, {0.5, de, "0,5"}, {27.5, fr, "27,5"}};
    for (const auto& [value, locale, text] : cases)
        EXPECT_EQ(formatLabel(value, locale), text) << value;
}

class Picture : public ::testing::Test {
protected:
    void SetUp() override { ensureGuiApplication(); }
};

// Every cell lands at its place with its gray level: flipped in the spectrum view,
// straight in the cepstrum view.
TEST_F(Picture, CellsAtTheirPlacesWithTheirGrayLevels)
{
    HandAnalysis a(8000, 0.2, 256, 20);
    auto levelOf = [](int i, int k) { return (i * 13 + k * 3) % 300; };
    for (int i = 0; i < a.F; ++i)
        for (int k = 0; k <= a.N / 2; ++k) {
            a.engine.FPower[0][std::size_t(i)][std::size_t(k)] = -0.5 * levelOf(i, k);
            a.engine.FCepPower[0][std::size_t(i)][std::size_t(k)] = -0.5 * levelOf(k, i);
        }

    QImage spectrum;
    ASSERT_TRUE(DrawSpectrum(spectrum, a.engine, 0, a.context(kSpectrumView)));
    QImage cepstrum;
    ASSERT_TRUE(DrawCepstrum(cepstrum, a.engine, 0, a.context(kCepstrumView)));
    for (const QImage* image : {&spectrum, &cepstrum}) {
        EXPECT_EQ(image->format(), QImage::Format_RGB32);
        EXPECT_EQ(image->width(), 48 + 20);
        EXPECT_EQ(image->height(), 16 + 129);
    }
    for (int i = 0; i < a.F; ++i)
        for (int k = 0; k <= a.N / 2; ++k) {
            const uint32_t g = uint32_t(std::max(0, 255 - levelOf(i, k)));
            ASSERT_EQ(spectrum.pixel(48 + i, 16 + 128 - k), 0xFF000000u | g * 0x010101u)
                << "frame " << i << " bin " << k;
            const uint32_t gc = uint32_t(std::max(0, 255 - levelOf(k, i)));
            ASSERT_EQ(cepstrum.pixel(48 + i, 16 + k), 0xFF000000u | gc * 0x010101u)
                << "frame " << i << " quefrency " << k;
        }
}

// 44100 Hz, N = 1024, 2.5 s: time step 1 s, frequency step 10000 Hz.
TEST_F(Picture, TimeAndFrequencyScaleAt44100HzN1024)
{
    HandAnalysis a(44100, 2.5, 1024, 217);
    QImage image;
    ASSERT_TRUE(DrawSpectrum(image, a.engine, 0, a.context(kSpectrumView)));
    ASSERT_EQ(image.width(), 48 + 217);
    ASSERT_EQ(image.height(), 529);

    // labelled time ticks every 0.5 s span the whole top margin; row 0 holds only them
    EXPECT_EQ(whiteColumns(image, 0, 0, image.width()), (std::set<int>{48, 91, 134, 177, 220}));
    EXPECT_EQ(whiteRows(image, 91, 0, 16).size(), 16u);
    EXPECT_TRUE(anyWhite(image, QRect(92, 1, 20, 14))) << "label 0.5 right of its tick";
    // a minor tick (0.3 s, column 48 + Trunc(25.84)) covers the 4 lowest rows only
    EXPECT_EQ(whiteRows(image, 73, 0, 16), (std::set<int>{12, 13, 14, 15}));

    // labelled frequency ticks (8 px) at 0, 5000, ..., 20000 Hz; the five-digit labels,
    // painted after their ticks, cover the ticks' first columns
    const std::set<int> ticks = whiteRows(image, 46, 16, 529);
    for (int row : {64, 180, 296, 412, 528})
        EXPECT_TRUE(ticks.count(row)) << row;
    EXPECT_EQ(whiteColumns(image, 412, 36, 48), (std::set<int>{40, 41, 42, 43, 44, 45, 46, 47}));
    EXPECT_EQ(whiteColumns(image, 528, 36, 48), (std::set<int>{40, 41, 42, 43, 44, 45, 46, 47}));
    // minor ticks (4 px) every 1000 Hz: 1000 Hz is row 528 - Trunc(23.22)
    EXPECT_EQ(whiteColumns(image, 505, 36, 48), (std::set<int>{44, 45, 46, 47}));
    EXPECT_EQ(whiteRows(image, 44, 16, 529).size(), 23u); // 0 .. 22000 Hz
    EXPECT_TRUE(anyWhite(image, QRect(1, 407, 35, 12))) << "label 5000";
    EXPECT_FALSE(anyWhite(image, QRect(0, 325, 48, 10))) << "plain margin";
}

// The cepstrum view marks pitches on the rows of their periods.
TEST_F(Picture, PitchScaleAt44100HzN1024)
{
    HandAnalysis a(44100, 2.5, 1024, 217);
    QImage image;
    ASSERT_TRUE(DrawCepstrum(image, a.engine, 0, a.context(kCepstrumView)));
    // octaves 880 .. 110 Hz, then 1000, 2000, 4000 Hz
    EXPECT_EQ(whiteRows(image, 40, 16, 529), (std::set<int>{27, 38, 60, 66, 116, 216, 416}));
    // 41 semitone ticks from 880 Hz down to 87.3 Hz, and the three thousands
    EXPECT_EQ(whiteRows(image, 44, 16, 529).size(), 41u + 3u);
    EXPECT_TRUE(isWhite(image, 44, 16 + 505)) << "87.3 Hz: period 505.1 samples";
}

TEST_F(Picture, FrequencyScaleAt8000HzN256)
{
    HandAnalysis a(8000, 1.0, 256, 64);
    QImage image;
    ASSERT_TRUE(DrawSpectrum(image, a.engine, 0, a.context(kSpectrumView)));
    ASSERT_EQ(image.height(), 145);
    EXPECT_EQ(whiteRows(image, 44, 16, 145), (std::set<int>{48, 80, 112, 144}));
    EXPECT_EQ(whiteRows(image, 40, 16, 145), (std::set<int>{144}));
}

// Shorter than half a time step: only the label 0 (and minor ticks); no duration: no tick.
TEST_F(Picture, ShortAndEmptySounds)
{
    HandAnalysis a(44100, 0.3, 1024, 27);
    QImage image;
    ASSERT_TRUE(DrawSpectrum(image, a.engine, 0, a.context(kSpectrumView)));
    EXPECT_EQ(whiteColumns(image, 0, 0, image.width()), (std::set<int>{48}));
    EXPECT_EQ(whiteRows(image, 65, 0, 16), (std::set<int>{12, 13, 14, 15})); // 0.2 s

    HandAnalysis empty(44100, 0.0, 1024, 1);
    ASSERT_TRUE(DrawSpectrum(image, empty.engine, 0, empty.context(kSpectrumView)));
    EXPECT_TRUE(whiteColumns(image, 14, 48, image.width()).empty()); // major and minor ticks
}

// Guards: nothing to draw leaves the picture exactly as it was.
TEST_F(Picture, GuardsLeaveThePictureUntouched)
{
    QImage before(30, 20, QImage::Format_RGB32);
    before.fill(0xFF123456u);
    const QImage copy = before.copy();

    auto check = [&](const char* what, auto&& draw) {
        QImage image = before;
        EXPECT_FALSE(draw(image)) << what;
        EXPECT_EQ(image, copy) << what;
        EXPECT_EQ(image.cacheKey(), before.cacheKey()) << what;
    };
    {
        TWaveCepstram empty;
        DrawContext ctx;
        check("no channel", [&](QImage& i) { return DrawSpectrum(i, empty, 0, ctx); });
        check("no cepstra", [&](QImage& i) { return DrawCepstrum(i, empty, 0, ctx); });
    }
    {
        HandAnalysis a(44100, 1.0, 256, 0);
        check("no frame", [&](QImage& i) { return DrawSpectrum(i, a.engine, 0, a.context(0)); });
    }
    {
        HandAnalysis a(44100, 1.0, 256, 10);
        a.engine.FCepstrograms.clear();
        check("cepstra not computed",
            [&](QImage& i) { return DrawCepstrum(i, a.engine, 0, a.context(1)); });
        check("channel out of range",
            [&](QImage& i) { return DrawSpectrum(i, a.engine, 1, a.context(0)); });
        a.engine.FPower[0].pop_back();
        check("dB rows missing",
            [&](QImage& i) { return DrawSpectrum(i, a.engine, 0, a.context(0)); });
    }
}

} // namespace
} // namespace kestrelon::test
