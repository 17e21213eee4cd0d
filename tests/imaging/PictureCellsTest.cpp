// The picture drawn from gray cells against the engine's drawing, and edited pictures read
// back as cell edits.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include "../MessageText.h"
#include "GuiEnvironment.h"
#include "HandAnalysis.h"
#include "base/Errors.h"
#include "imaging/FilterImage.h"
#include "imaging/PictureCells.h"
#include "imaging/RangePicture.h"

namespace kestrelon::test {
namespace {

// The cells the pipeline gives for the dB rows of channel 0 of an engine.
GrayCells cellsOf(const TFFTShinpuku& rows, SpectralView view, int32_t N)
{
    GrayCells cells;
    cells.view = view;
    cells.fftLength = N;
    cells.frames = int32_t(rows.size());
    cells.rows = N / 2 + 1;
    for (const auto& row : rows)
        for (int32_t k = 0; k < cells.rows; ++k)
            cells.gray.push_back(uint8_t(grayLevel(row[std::size_t(k)])));
    return cells;
}

struct Geometry {
    uint32_t rate;
    double seconds;
    int32_t N;
    int32_t frames;
    const char* locale;
};

void PrintTo(const Geometry& g, std::ostream* os)
{
    *os << "N = " << g.N << ", " << g.frames << " frames";
}

class PictureCells : public ::testing::TestWithParam<Geometry> {
protected:
    void SetUp() override { ensureGuiApplication(); }
};

// The same pixels as DrawSpectrum and DrawCepstrum, axes and labels included; repainting
// some columns from other cells gives the picture of those cells.
TEST_P(PictureCells, EqualTheEngineDrawingAndRepaintColumns)
{
    const Geometry g = GetParam();
    HandAnalysis a(g.rate, g.seconds, g.N, g.frames);
    for (int32_t i = 0; i < a.F; ++i)
        for (int32_t k = 0; k <= a.N / 2; ++k) {
            a.engine.FPower[0][std::size_t(i)][std::size_t(k)] = -0.5 * ((i * 13 + k * 3) % 300);
            a.engine.FCepPower[0][std::size_t(i)][std::size_t(k)] = 0.25 * ((i * 7 + k) % 90) - 120;
        }
    for (const uint8_t mode : {kSpectrumView, kCepstrumView}) {
        DrawContext ctx = a.context(mode);
        ctx.locale = QLocale(QString::fromLatin1(g.locale));
        QImage engine;
        const bool spectrum = mode == kSpectrumView;
        ASSERT_TRUE(spectrum ? DrawSpectrum(engine, a.engine, 0, ctx)
                             : DrawCepstrum(engine, a.engine, 0, ctx));
        const SpectralView view = spectrum ? SpectralView::Spectrum : SpectralView::Cepstrum;
        const GrayCells cells
            = cellsOf(spectrum ? a.engine.FPower[0] : a.engine.FCepPower[0], view, a.N);
        QImage drawn = drawCells(cells, ctx);
        EXPECT_EQ(drawn.format(), QImage::Format_Grayscale8);
        EXPECT_EQ(drawn.size(), cellPictureSize(cells, 48, 16));
        ASSERT_TRUE(drawn.convertToFormat(QImage::Format_RGB32) == engine) << "mode " << int(mode);
        // the filter image written is the engine picture's, byte for byte
        EXPECT_EQ(encodeFilterImage(drawn), encodeFilterImage(engine));

        GrayCells other = cells;
        for (std::size_t i = 0; i < other.gray.size(); ++i)
            other.gray[i] = uint8_t(i * 31 % 256);
        const int32_t f0 = a.F / 3, f1 = std::min(a.F, f0 + 5);
        paintCellColumns(drawn, other, f0, f1, 48, 16);
        GrayCells expected = cells;
        std::copy(other.gray.begin() + f0 * other.rows, other.gray.begin() + f1 * other.rows,
            expected.gray.begin() + f0 * other.rows);
        EXPECT_TRUE(drawn == drawCells(expected, ctx)) << "mode " << int(mode);
    }
}

INSTANTIATE_TEST_SUITE_P(Geometries, PictureCells,
    ::testing::Values(Geometry{44100, 2.5, 1024, 217, "C"}, Geometry{8000, 1.0, 256, 64, "de_DE"},
        Geometry{48000, 0.3, 4096, 5, "fr_FR"}),
    [](const auto& info) { return std::to_string(info.param.N); });

// Every cell's difference lands on its frame and row (the spectrum flipped), from the mean
// of the three colours; margins do not count; a picture of another size is refused.
TEST(CellEdits, ComeFromTheDataAreaOfTheEditedPicture)
{
    ensureGuiApplication();
    for (const SpectralView view : {SpectralView::Spectrum, SpectralView::Cepstrum}) {
        GrayCells cells;
        cells.view = view;
        cells.fftLength = 16;
        cells.frames = 10;
        cells.rows = 9;
        for (int i = 0; i < 90; ++i)
            cells.gray.push_back(uint8_t(100 + i));
        DrawContext ctx;
        ctx.fftLength = 16;
        ctx.mode = view == SpectralView::Spectrum ? kSpectrumView : kCepstrumView;
        const QImage picture = drawCells(cells, ctx).convertToFormat(QImage::Format_RGB32);
        CellEdits edits;
        ASSERT_TRUE(cellEditsOf(cells, picture, 48, 16, &edits, nullptr));
        EXPECT_TRUE(edits.empty());

        QImage edited = picture.copy();
        const int row = view == SpectralView::Spectrum ? 16 + 8 - 2 : 16 + 2; // cells row 2
        edited.setPixel(48 + 3, row, qRgb(0, 0, 0)); // frame 3, row 2: 0 - (100 + 29)
        edited.setPixel(48 + 7, 16, qRgb(10, 40, 255)); // frame 7, top row: 101 - gray
        edited.setPixel(47, 20, qRgb(255, 255, 255)); // the margins are ignored
        edited.setPixel(50, 3, qRgb(255, 255, 255));
        ASSERT_TRUE(cellEditsOf(cells, edited, 48, 16, &edits, nullptr));
        EXPECT_EQ(edits.rows, 9);
        ASSERT_EQ(edits.frames, (std::vector<int32_t>{3, 7}));
        std::vector<int16_t> expected(18, 0);
        expected[2] = -(100 + 3 * 9 + 2);
        const int topRow = view == SpectralView::Spectrum ? 8 : 0;
        expected[std::size_t(9 + topRow)] = int16_t(101 - (100 + 7 * 9 + topRow));
        EXPECT_EQ(edits.diffs, expected);

        // Straight from the bytes of a plain BMP (as export writes it, or as Qt saves it):
        // the same edits; any other kind of file is left to the decoder.
        QByteArray saved;
        QBuffer buffer(&saved);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(edited.save(&buffer, "BMP"));
        for (const QByteArray& bmp : {encodeFilterImage(edited), saved}) {
            CellEdits fromBytes, decoded;
            ASSERT_TRUE(cellEditsOfBmp(cells, bmp, 48, 16, &fromBytes));
            Message why;
            ASSERT_TRUE(cellEditsOf(
                cells, decodeFilterImage(bmp, picture.size(), &why), 48, 16, &decoded, nullptr));
            EXPECT_FALSE(fromBytes.empty());
            EXPECT_EQ(fromBytes.frames, decoded.frames);
            EXPECT_EQ(fromBytes.diffs, decoded.diffs);
        }
        QByteArray topDown = encodeFilterImage(edited);
        topDown[25] = char(0xFF); // height -25 + ... : no longer the positive 25
        QByteArray png;
        QBuffer pngBuffer(&png);
        pngBuffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(edited.save(&pngBuffer, "PNG"));
        const QByteArray full = encodeFilterImage(edited);
        for (const QByteArray& other : {topDown, png, full.left(full.size() - 1),
                 encodeFilterImage(edited.copy(0, 0, 57, 25))}) {
            CellEdits untouched;
            untouched.rows = 99;
            EXPECT_FALSE(cellEditsOfBmp(cells, other, 48, 16, &untouched));
            EXPECT_EQ(untouched.rows, 99);
        }

        Message reason;
        EXPECT_FALSE(cellEditsOf(cells, edited.copy(0, 0, 57, 25), 48, 16, &edits, &reason));
        EXPECT_EQ(reason, Message(MessageCode::PictureWidthMismatch, 57, 58))
            << en(reason).toStdString();
    }
}

// A BMP read a strip of rows at a time, from its bytes or from the file, gives the edits
// of the decoded picture: rows in several strips, frames on both cores, frames found
// changed only in a later strip, pixels whose three colours differ; compared with the
// cells' levels or with the picture drawn from them.
TEST(CellEdits, StripsOfABmpAgreeWithThePicture)
{
    ensureGuiApplication();
    for (const SpectralView view : {SpectralView::Spectrum, SpectralView::Cepstrum}) {
        GrayCells cells;
        cells.view = view;
        cells.fftLength = 128;
        cells.frames = 300;
        cells.rows = 65;
        for (int i = 0; i < 300 * 65; ++i)
            cells.gray.push_back(uint8_t(i * 7 % 251));
        DrawContext ctx;
        ctx.fftLength = 128;
        ctx.mode = view == SpectralView::Spectrum ? kSpectrumView : kCepstrumView;
        const QImage shown = drawCells(cells, ctx);
        QImage edited = shown.convertToFormat(QImage::Format_RGB32);
        for (int n = 0; n < 400; ++n) {
            const int x = 48 + (n * 37) % 300, y = 16 + (n * 53) % 65;
            const int g = qBlue(edited.pixel(x, y));
            edited.setPixel(x, y, qRgb(255 - g, 255 - g, 255 - g));
        }
        QTemporaryDir dir;
        const QString path = dir.filePath("edited.bmp");
        QByteArray bmp = encodeFilterImage(edited); // gray: blue, green and red alike
        const qsizetype stride = (3 * edited.width() + 3) / 4 * 4;
        for (int n = 0; n < 100; ++n) { // colours, in the data rows of the file
            char* p = bmp.data() + 54 + (n * 29) % 65 * stride + 3 * (48 + (n * 41) % 300);
            p[0] = char(n);
            p[1] = char(2 * n);
            p[2] = char(255 - n);
        }
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(bmp) == bmp.size());
        out.close();
        CellEdits expected, fromBytes, fromFile, fromShown;
        Message why;
        ASSERT_TRUE(cellEditsOf(
            cells, decodeFilterImage(bmp, edited.size(), &why), 48, 16, &expected, nullptr));
        ASSERT_TRUE(cellEditsOfBmp(cells, bmp, 48, 16, &fromBytes));
        QFile in(path);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        ASSERT_TRUE(cellEditsOfBmpFile(cells, in.handle(), 48, 16, &fromFile));
        ASSERT_TRUE(cellEditsOfBmpFile(cells, in.handle(), 48, 16, &fromShown, &shown));
        EXPECT_GT(expected.frames.size(), 200u);
        for (const CellEdits* e : {&fromBytes, &fromFile, &fromShown}) {
            EXPECT_EQ(e->frames, expected.frames);
            EXPECT_EQ(e->diffs, expected.diffs);
        }
        in.close();
        ASSERT_TRUE(in.resize(bmp.size() - 1) && in.open(QIODevice::ReadOnly)); // cut short
        EXPECT_FALSE(cellEditsOfBmpFile(cells, in.handle(), 48, 16, &fromFile));
    }
}

// A piece of frames 200 .. 400 of a 10 s picture (N = 256 at 8 kHz: a column is 16 ms, a
// label every 0.5 s) is the whole picture's columns of those frames: its data, its
// frequency axis, and the time ticks and labels of the real times 3.2 .. 6.4 s.
TEST(RangePicture, IsTheWholePicturesColumnsWithTheirRealTimes)
{
    ensureGuiApplication();
    HandAnalysis a(8000, 10.0, 256, 626);
    for (int32_t i = 0; i < a.F; ++i)
        for (int32_t k = 0; k <= a.N / 2; ++k)
            a.engine.FPower[0][std::size_t(i)][std::size_t(k)] = -0.5 * ((i * 13 + k * 3) % 300);
    const GrayCells cells = cellsOf(a.engine.FPower[0], SpectralView::Spectrum, a.N);
    const DrawContext ctx = a.context(kSpectrumView);
    const QImage whole = drawCells(cells, ctx);
    const FrameRange range{200, 400};
    const QImage piece = drawRangeCells(cells, range, ctx);
    ASSERT_EQ(piece.size(), QSize(48 + 200, 16 + 129));
    EXPECT_TRUE(piece.copy(48, 16, 200, 129) == whole.copy(248, 16, 200, 129)) << "data";
    EXPECT_TRUE(piece.copy(0, 0, 48, 145) == whole.copy(0, 0, 48, 145)) << "frequency axis";
    // row 0 holds only the labelled ticks: 3.5, 4, ..., 6 s
    std::set<int> ticks;
    for (int x : whiteColumns(whole, 0, 248, 448))
        ticks.insert(x - 200);
    ASSERT_EQ(ticks.size(), 6u);
    EXPECT_EQ(whiteColumns(piece, 0, 0, piece.width()), ticks);
    // each label but the last lies wholly inside the piece: the same pixels as the whole's
    for (int x : ticks) {
        if (x + 30 < piece.width()) {
            EXPECT_TRUE(piece.copy(x, 0, 30, 16) == whole.copy(x + 200, 0, 30, 16)) << x;
        }
    }
    EXPECT_THROW(drawRangeCells(cells, FrameRange{600, 627}, ctx), RangeError);
    EXPECT_THROW(drawRangeCells(cells, FrameRange{5, 5}, ctx), RangeError);
}

} // namespace
} // namespace kestrelon::test
