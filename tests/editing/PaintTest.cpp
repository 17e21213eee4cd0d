// Strokes painted in the window: applied as an import of the painted picture, undone
// exactly, and erased back to the sound as it was opened.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "../imaging/GuiEnvironment.h"
#include "EditingTestSupport.h"
#include "editing/History.h"
#include "imaging/CellPainting.h"
#include "imaging/FilterImage.h"

namespace kestrelon::test {
namespace {

class Painting : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureGuiApplication();
        ASSERT_TRUE(dir.isValid());
        wav = dir.path() + "/voice.wav";
        ASSERT_TRUE(writeTestWave(
            wav, 44100, 2, 16, 110250, [](uint32_t i, int c) { return testTones(i, c, 44100); }));
    }
    PaintStroke stroke(const Document& d, PaintKind kind, double db = kDefaultBrushGainDb) const
    {
        PaintStroke s;
        s.kind = kind;
        s.gainDb = db;
        s.coverage = CellCoverage(d.shownCells()->frames, d.shownCells()->rows);
        return s;
    }

    QTemporaryDir dir;
    QString wav;
};

TEST_F(Painting, AStrokeIsTheImportOfThePaintedPictureAndUndoesExactly)
{
    for (const uint8_t mode : {kSpectrumView, kCepstrumView}) {
        const DocumentPtr doc = done(cDocument(1024, mode)->Open(wav));
        PaintStroke s = stroke(*doc, PaintKind::Gain, mode == kSpectrumView ? -20.0 : -3.0);
        s.coverage.line(20, 40, 60, 90, {9, true});
        const CommandResult painted = doc->Paint(s);
        ASSERT_TRUE(painted.ok) << painted.message.text().toStdString();
        ASSERT_TRUE(painted.change);

        const QString bmp = dir.path() + "/painted.bmp";
        const QImage picture = paintedPicture(doc->FBitmap, *doc->shownCells(),
            strokeEdits(*doc->shownCells(), s), doc->FLeftMargin, doc->FTopMargin);
        Message why;
        ASSERT_TRUE(writeFilterImage(picture, bmp, &why)) << why.text().toStdString();
        const DocumentPtr imported = done(doc->Import(bmp));
        EXPECT_TRUE(imported->FWave->FData == painted.document->FWave->FData) << int(mode);
        EXPECT_FALSE(doc->FWave->FData == painted.document->FWave->FData);
        // Export writes the new sound's picture.
        EXPECT_TRUE(painted.document->FBitmap == imported->FBitmap);

        const DocumentPtr undone = done(painted.document->Undo(*painted.change));
        DocSnapshot(*undone).expectShows(DocSnapshot(*doc), "undone");
    }
}

TEST_F(Painting, TheEraserPaintsBackToTheSoundAsOpened)
{
    const DocumentPtr doc = done(cDocument(512)->Open(wav));
    PaintStroke dark = stroke(*doc, PaintKind::Gain, -6.0);
    dark.coverage.rectangle(10, 0, 30, 256);
    const DocumentPtr painted = done(doc->Paint(dark));
    EXPECT_EQ(painted->openedCells[kSpectrumView], doc->cells[kSpectrumView]);
    // Its edits bring the covered cells to the levels of the sound as opened.
    PaintStroke erase = stroke(*painted, PaintKind::Erase);
    erase.coverage.rectangle(8, 0, 32, 256);
    const CellEdits edits
        = strokeEdits(*painted->shownCells(), erase, doc->cells[kSpectrumView].get());
    ASSERT_FALSE(edits.empty());
    for (std::size_t i = 0; i < edits.frames.size(); ++i)
        for (int32_t k = 0; k <= 256; ++k)
            ASSERT_EQ(painted->shownCells()->at(edits.frames[i], k) + edits.diffs[i * 257 + k],
                doc->shownCells()->at(edits.frames[i], k));
    EXPECT_FALSE(done(painted->Paint(erase))->FWave->FData == painted->FWave->FData);

    // In the other view the cells of the opened sound are analysed for the eraser, once.
    const DocumentPtr cep = done(painted->SetMode(kCepstrumView));
    EXPECT_FALSE(cep->openedCells[kCepstrumView]);
    PaintStroke cepErase = stroke(*cep, PaintKind::Erase);
    cepErase.coverage.rectangle(8, 100, 32, 105);
    const CommandResult r = cep->Paint(cepErase);
    ASSERT_TRUE(r.ok) << r.message.text().toStdString();
    ASSERT_TRUE(r.document->openedCells[kCepstrumView]);
    EXPECT_EQ(r.document->openedCells[kCepstrumView]->gray,
        analyzeCells(*doc->FWave, 512, SpectralView::Cepstrum).gray);
}

} // namespace
} // namespace kestrelon::test
