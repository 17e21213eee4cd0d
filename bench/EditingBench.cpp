// The editing commands on 60 s of 44.1 kHz 16-bit stereo (chirp plus noise) at N = 1024.
// "apply" is what kestrelon-cli apply does: read, the cells of the view, read the edited
// picture, filter, write.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include "SpectralBenchSignal.h"
#include "editing/Document.h"
#include "imaging/FilterImage.h"
#include "imaging/PictureCells.h"

namespace {

using namespace kestrelon;

struct Files {
    QTemporaryDir dir;
    QString wav, edited[2];

    Files()
    {
        wav = dir.filePath("in.wav");
        if (!bench::chirpNoise(60.0).SaveToFile(wav))
            std::abort();
        for (uint8_t mode : {kSpectrumView, kCepstrumView}) {
            const CommandResult opened = makeDocument(1024, mode)->Open(wav);
            if (!opened.ok)
                std::abort();
            // darken a block of cells by 20 gray levels: -10 dB
            QImage picture = opened.document->FBitmap.convertToFormat(QImage::Format_RGB32);
            for (int y = 100; y < 300; ++y)
                for (int x = 500; x < 2500; ++x) {
                    const int g = std::max(0, qBlue(picture.pixel(x, y)) - 20);
                    picture.setPixel(x, y, qRgb(g, g, g));
                }
            edited[mode] = dir.filePath(mode ? "edited_c1024.bmp" : "edited_s1024.bmp");
            if (!writeFilterImage(picture, edited[mode], nullptr))
                std::abort();
        }
    }
};

Files& files()
{
    static Files f;
    return f;
}

// The document a command gave; stops the benchmark when it failed.
DocumentPtr check(const CommandResult& r, benchmark::State& state)
{
    if (!r.ok)
        state.SkipWithError(qPrintable(r.message.text()));
    return r.document;
}

void BM_Apply(benchmark::State& state)
{
    const uint8_t mode = uint8_t(state.range(0));
    const QString out = files().dir.filePath("out.wav");
    for (auto _ : state) {
        const DocumentPtr doc
            = check(makeDocument(1024, mode, QLocale(), false)->Open(files().wav), state);
        if (!doc)
            break;
        const DocumentPtr imported = check(doc->Import(files().edited[mode]), state);
        if (!imported || !check(imported->Save(out), state))
            break;
    }
    state.SetLabel(mode ? "cepstrum" : "spectrum");
}
BENCHMARK(BM_Apply)
    ->Arg(kSpectrumView)
    ->Arg(kCepstrumView)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The window's import: the same plus the refresh of the changed frames' cells and columns.
void BM_ImportAndRefresh(benchmark::State& state)
{
    const uint8_t mode = uint8_t(state.range(0));
    const DocumentPtr doc = check(makeDocument(1024, mode)->Open(files().wav), state);
    for (auto _ : state)
        if (!doc || !check(doc->Import(files().edited[mode]), state))
            break;
    state.SetLabel(mode ? "cepstrum" : "spectrum");
}
BENCHMARK(BM_ImportAndRefresh)
    ->Arg(kSpectrumView)
    ->Arg(kCepstrumView)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_Info(benchmark::State& state)
{
    const DocumentPtr doc = makeDocument(1024, kSpectrumView, QLocale::c());
    for (auto _ : state) {
        QStringList texts;
        if (!check(doc->Info(files().wav, &texts), state))
            break;
        benchmark::DoNotOptimize(texts);
    }
}
BENCHMARK(BM_Info)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DrawCells(benchmark::State& state)
{
    const DocumentPtr doc = check(makeDocument()->Open(files().wav), state);
    if (!doc)
        return;
    const DrawContext ctx = doc->drawContext();
    for (auto _ : state)
        benchmark::DoNotOptimize(drawCells(*doc->shownCells(), ctx));
    state.SetItemsProcessed(state.iterations() * doc->FBitmap.width() * doc->FBitmap.height());
}
BENCHMARK(BM_DrawCells)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Export(benchmark::State& state)
{
    const DocumentPtr doc = check(makeDocument()->Open(files().wav), state);
    const QString out = files().dir.filePath("export.bmp");
    for (auto _ : state)
        if (!doc || !check(doc->Export(out), state))
            break;
    state.SetBytesProcessed(state.iterations() * QFileInfo(out).size());
}
BENCHMARK(BM_Export)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadEditedPicture(benchmark::State& state)
{
    const DocumentPtr doc = check(makeDocument()->Open(files().wav), state);
    for (auto _ : state) {
        Message reason;
        if (!doc)
            break;
        benchmark::DoNotOptimize(readFilterImage(files().edited[0], doc->FBitmap.size(), &reason));
    }
}
BENCHMARK(BM_ReadEditedPicture)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
