// Painting on ten minutes of 44.1 kHz 16-bit stereo (chirp plus noise):
//   BM_PaintStroke   a one-second brush stroke (size 9, soft, -20 dB) applied as the window
//                    applies it on release (Document::Paint: edits, filter, cells, picture,
//                    the undo step), N = 1024 and 4096;
//   BM_PaintStrokes  stroke after stroke as the window paints them: each on the document the
//                    last one made, at another place, its step recorded in an undo history
//                    with the snapshot of the document before it, that document dropped;
//   BM_ViewRedraw    a redraw of a 1920 x 1080 view of the picture while zooming and
//                    scrolling: every iteration another zoom and scroll, the data area
//                    rendered through the colour map and the axes drawn for the zoom.

#include <cmath>

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include "SpectralBenchSignal.h"
#include "editing/Document.h"
#include "editing/History.h"
#include "imaging/CellPainting.h"
#include "imaging/ZoomedView.h"

namespace {

using namespace kestrelon;

// The ten-minute sound opened at N, once per N.
DocumentPtr tenMinutes(int32_t N)
{
    static QTemporaryDir dir;
    static QString wav;
    static DocumentPtr docs[2];
    if (wav.isEmpty()) {
        wav = dir.filePath("ten.wav");
        if (!bench::chirpNoise(600.0).SaveToFile(wav))
            std::abort();
    }
    DocumentPtr& d = docs[N == 4096 ? 1 : 0];
    if (!d) {
        const CommandResult r = makeDocument(N)->Open(wav);
        if (!r.ok)
            std::abort();
        d = r.document;
    }
    return d;
}

void BM_PaintStroke(benchmark::State& state)
{
    const DocumentPtr doc = tenMinutes(int32_t(state.range(0)));
    const GrayCells& cells = *doc->shownCells();
    const int32_t oneSecond = int32_t(std::lround(44100.0 / (doc->FFFTLength / 2)));
    PaintStroke stroke;
    stroke.coverage = CellCoverage(cells.frames, cells.rows);
    const int32_t f0 = cells.frames / 2, row = cells.rows / 5;
    stroke.coverage.line(f0, row, f0 + oneSecond, row + 20, {9, true});
    for (auto _ : state) {
        const CommandResult r = doc->Paint(stroke);
        if (!r.ok || !r.change)
            state.SkipWithError("the stroke was not applied");
        benchmark::DoNotOptimize(r.document.get());
    }
    state.counters["frames"] = double(oneSecond);
}
BENCHMARK(BM_PaintStroke)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PaintStrokes(benchmark::State& state)
{
    DocumentPtr doc = tenMinutes(int32_t(state.range(0)));
    const GrayCells& cells = *doc->shownCells();
    const int32_t oneSecond = int32_t(std::lround(44100.0 / (doc->FFFTLength / 2)));
    const int32_t frames = cells.frames, rows = cells.rows;
    EditHistory history;
    int32_t f0 = 0;
    for (auto _ : state) {
        PaintStroke stroke;
        stroke.coverage = CellCoverage(frames, rows);
        f0 = (f0 + 3 * oneSecond) % (frames - oneSecond);
        stroke.coverage.line(f0, rows / 5, f0 + oneSecond, rows / 5 + 20, {9, true});
        const CommandResult r = doc->Paint(stroke);
        if (!r.ok || !r.change)
            state.SkipWithError("the stroke was not applied");
        history.record(QStringLiteral("stroke"), r.change, doc->withoutSound(), r.clips);
        doc = r.document;
    }
    state.counters["frames"] = double(oneSecond);
}
BENCHMARK(BM_PaintStrokes)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ViewRedraw(benchmark::State& state)
{
    const DocumentPtr doc = tenMinutes(int32_t(state.range(0)));
    const QImage& picture = doc->FBitmap;
    const ColorMap map = state.range(1) ? ColorMap::Viridis : ColorMap::Gray;
    QImage out(1920, 1080, QImage::Format_RGB32);
    const DrawContext ctx = doc->drawContext();
    const double F = picture.width() - doc->FLeftMargin;
    const double R = picture.height() - doc->FTopMargin;
    // From the whole sound in the window to 8 view pixels a cell, and back.
    const double fitX = (1920 - doc->FLeftMargin) / F, fitY = (1080 - doc->FTopMargin) / R;
    int64_t i = 0;
    for (auto _ : state) {
        const double u = double(i % 64) / 63.0;
        ViewGeometry g;
        g.zoomX = fitX * std::pow(8.0 / fitX, u);
        g.zoomY = std::max(fitY, 1.0) * std::pow(4.0, u);
        const QSize content = g.contentSize(picture.size());
        g.scroll = QPoint(
            int((content.width() - 1920) * u * 0.7), int((content.height() - 1080) * (1 - u)));
        g.scroll = QPoint(std::max(0, g.scroll.x()), std::max(0, g.scroll.y()));
        renderView(out, picture, g, map, qRgb(240, 240, 240));
        drawViewAxes(out, picture.size(), g, ctx);
        benchmark::DoNotOptimize(out.constBits());
        ++i;
    }
}
BENCHMARK(BM_ViewRedraw)
    ->ArgsProduct({{1024, 4096}, {0, 1}})
    ->ArgNames({"N", "viridis"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
