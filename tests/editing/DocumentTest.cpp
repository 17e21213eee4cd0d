#include <cmath>
#include <functional>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "../MessageText.h"
#include "../imaging/GuiEnvironment.h"
#include "EditingTestSupport.h"
#include "audio/SoundFile.h"
#include "editing/Document.h"
#include "editing/History.h"
#include "imaging/FilterImage.h"
#include "imaging/PictureCells.h"
#include "spectral/TWaveCepstram.h"

namespace kestrelon::test {
namespace {

// Writes a PCM WAV file through TWave; sample(frame, channel) is on the -1 .. 1 scale.
void writeWave(const QString& path, uint32_t rate, uint16_t channels, uint16_t bits,
    uint32_t frames, const std::function<double(uint32_t, int)>& sample)
{
    ASSERT_TRUE(writeTestWave(path, rate, channels, bits, frames, sample)) << path.toStdString();
}

double tones(uint32_t i, int c, double rate)
{
    return testTones(i, c, rate);
}

bool runConvert(const QStringList& args)
{
    QProcess p;
    p.start("convert", args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

class Editor : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureGuiApplication();
        ASSERT_TRUE(dir.isValid());
    }
    // The document a command gave (the test fails if it failed).
    DocumentPtr open(const QString& file, uint8_t mode = kSpectrumView, int32_t fft = 1024)
    {
        return done(cDocument(fft, mode)->Open(file));
    }
    QString path(const QString& name) const { return dir.path() + "/" + name; }
    // 2.5 s of 44.1 kHz stereo 16-bit tones.
    QString voice()
    {
        const QString p = path("voice.wav");
        if (!QFile::exists(p))
            writeWave(
                p, 44100, 2, 16, 110250, [](uint32_t i, int c) { return tones(i, c, 44100); });
        return p;
    }
    // 0.6 s of 8 kHz mono 16-bit: tones, then digital silence from 0.3 s on.
    QString halfSilent()
    {
        const QString p = path("half.wav");
        writeWave(p, 8000, 1, 16, 4800,
            [](uint32_t i, int c) { return i < 2400 ? tones(i, c, 8000) : 0.0; });
        return p;
    }

    QTemporaryDir dir;
};

TEST_F(Editor, StartsEmpty)
{
    const DocumentPtr doc = cDocument();
    EXPECT_FALSE(doc->hasSound());
    EXPECT_EQ(doc->FFFTLength, 1024);
    EXPECT_EQ(doc->FMode, kSpectrumView);
    EXPECT_TRUE(doc->FBitmap.isNull());
    EXPECT_EQ(doc->statusTexts().size(), 6);
    for (int32_t n : {1000, 8192, 128})
        EXPECT_FALSE(isValidFFTLength(n)) << n;
    EXPECT_EQ(done(doc->ChangeFFTLength(1000))->FFFTLength, 1024);
    // without a sound: only stored
    const DocumentPtr other = done(done(doc->ChangeFFTLength(4096))->SetMode(kCepstrumView));
    EXPECT_EQ(other->FFFTLength, 4096);
    EXPECT_EQ(other->FMode, kCepstrumView);
    EXPECT_TRUE(other->FBitmap.isNull());
    for (const CommandResult& r :
        {doc->Save(path("a.wav")), doc->Export(path("a.bmp")), doc->Import(path("a.bmp"))}) {
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.message.isEmpty());
        EXPECT_EQ(r.document, nullptr);
    }
    EXPECT_FALSE(QFile::exists(path("a.wav")));
    EXPECT_FALSE(QFile::exists(path("a.bmp")));
}

TEST_F(Editor, OpenShowsTheSoundAndProposesNames)
{
    const CommandResult r = cDocument()->Open(voice());
    ASSERT_TRUE(r.ok) << en(r.message).toStdString();
    EXPECT_TRUE(r.message.isEmpty());
    const Document& doc = *r.document;
    EXPECT_EQ(doc.fileName(), "voice.wav");
    EXPECT_EQ(doc.statusTexts(),
        (QStringList{"2.500 sec", "110250 samples", "2 ch", "44100 Hz", "16 bit", "217 frames"}));
    EXPECT_EQ(doc.FBitmap.size(), QSize(48 + 217, 16 + 513));
    EXPECT_EQ(doc.expectedFrameCount(), 217);
    EXPECT_EQ(doc.proposedSavePath(), path("voice_fix.wav"));
    EXPECT_EQ(doc.filterDirectory(), dir.path() + "/");
    EXPECT_EQ(doc.proposedExportPath(), path("voice_s1024.bmp"));
    const DocumentPtr cepstrum = done(doc.SetMode(kCepstrumView));
    EXPECT_EQ(cepstrum->proposedExportPath(), path("voice_c1024.bmp"));
    EXPECT_EQ(cepstrum->FBitmap.size(), QSize(48 + 217, 16 + 513));
    auto german = std::make_shared<Document>(doc);
    german->locale = QLocale(QLocale::German);
    EXPECT_EQ(german->statusTexts()[0], "2,500 sec");

    // names without an extension, and with dots in the directory
    QDir(dir.path()).mkdir("a.b");
    const QString bare = path("a.b/take");
    QFile::copy(voice(), bare);
    const DocumentPtr take = done(cepstrum->Open(bare));
    EXPECT_EQ(take->proposedSavePath(), path("a.b/take_fix.wav"));
    EXPECT_EQ(take->proposedExportPath(), path("a.b/take_c1024.bmp"));

    // a FLAC source gets the same proposals: a WAV beside it, never its own format
    const QString flac = path("song.flac");
    ASSERT_TRUE(saveSound(flac, *doc.FWave));
    const DocumentPtr song = done(doc.Open(flac));
    EXPECT_EQ(song->proposedSavePath(), path("song_fix.wav"));
    EXPECT_EQ(song->proposedExportPath(), path("song_s1024.bmp"));
    // and is saved as FLAC when asked by name
    ASSERT_TRUE(song->Save(path("copy.flac")).ok);
    QFile copy(path("copy.flac"));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.read(4), QByteArray("fLaC"));

    // another file: its own texts
    const QString other = path("other.wav");
    writeWave(other, 8000, 1, 8, 800, [](uint32_t i, int) { return (i % 50) / 50.0 - 0.5; });
    EXPECT_EQ(open(other)->statusTexts(),
        (QStringList{"0.100 sec", "800 samples", "1 ch", "8000 Hz", "8 bit", "3 frames"}));
}

// Seconds are rounded to 15 significant digits before they are cut to 3 decimals:
// 96024 / 48000 = 2.0005 is stored as 2.000499999... and reads 2.001.
TEST_F(Editor, SecondsRoundedAsDecimals)
{
    const QString p = path("tie.wav");
    writeWave(p, 48000, 1, 16, 96024, [](uint32_t, int) { return 0.0; });
    EXPECT_EQ(open(p)->statusTexts()[0], "2.001 sec");
}

TEST_F(Editor, FailedOpenChangesNothing)
{
    QFile garbage(path("garbage.wav"));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write("RIFF\x10\0\0\0WAVEjunkjunkjunk");
    garbage.close();

    const DocumentPtr doc = open(voice(), kCepstrumView);
    const DocSnapshot before(*doc);
    for (const QString& bad : {path("missing.wav"), path("garbage.wav"), dir.path()}) {
        const CommandResult r = doc->Open(bad);
        EXPECT_FALSE(r.ok) << bad.toStdString();
        EXPECT_EQ(r.document, nullptr);
        EXPECT_TRUE(en(r.message).contains(QFileInfo(bad).fileName()))
            << en(r.message).toStdString();
        DocSnapshot(*doc).expectEqual(before, "failed open");
    }
}

TEST_F(Editor, CutShortFileOpensWithAWarning)
{
    QFile f(voice());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QFile cut(path("cut.wav"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(bytes.left(bytes.size() - 4000));
    cut.close();
    const CommandResult r = cDocument()->Open(path("cut.wav"));
    ASSERT_TRUE(r.ok) << en(r.message).toStdString();
    EXPECT_FALSE(r.message.isEmpty());
    EXPECT_EQ(r.document->FWave->FSampleCount, 110250u - 1000u);

    // so does a float sound with samples that are not numbers (they read as 0)
    WAVEFORMATEX fmt{WAVE_FORMAT_IEEE_FLOAT, 1, 8000, 32000, 4, 32, 0};
    std::vector<float> samples(8000, 0.25f);
    samples[100] = std::nanf("");
    std::vector<uint8_t> file = wavFileHeader(fmt, samples.size() * 4);
    const auto* p = reinterpret_cast<const uint8_t*>(samples.data());
    file.insert(file.end(), p, p + samples.size() * 4);
    QFile nan(path("nan.wav"));
    ASSERT_TRUE(nan.open(QIODevice::WriteOnly));
    nan.write(reinterpret_cast<const char*>(file.data()), qint64(file.size()));
    nan.close();
    const CommandResult n = cDocument()->Open(path("nan.wav"));
    ASSERT_TRUE(n.ok) << en(n.message).toStdString();
    EXPECT_FALSE(n.message.isEmpty());

    // a float sound made louder than full scale by an import keeps its samples and says so
    const DocumentPtr loud = n.document;
    ASSERT_TRUE(
        paintedCopy(loud->FBitmap, loud->FLeftMargin, loud->FTopMargin, 0, 0, 100000, 100000, 40)
            .save(path("louder.bmp"), "BMP"));
    const CommandResult louder = loud->Import(path("louder.bmp"));
    ASSERT_TRUE(louder.ok) << en(louder.message).toStdString();
    EXPECT_GT(louder.clips.over, 0u);
    EXPECT_TRUE(en(louder.message).contains("over full scale")) << en(louder.message).toStdString();
}

TEST_F(Editor, EmptySoundShowsNoPicture)
{
    const QString empty = path("empty.wav");
    writeWave(empty, 44100, 1, 16, 0, [](uint32_t, int) { return 0.0; });
    const DocumentPtr doc = done(open(voice())->Open(empty));
    EXPECT_TRUE(doc->FBitmap.isNull()) << "not the previous sound's picture";
    EXPECT_EQ(doc->statusTexts(),
        (QStringList{"0.000 sec", "0 samples", "1 ch", "44100 Hz", "16 bit", "0 frames"}));
    EXPECT_FALSE(doc->geometryMatches());
    EXPECT_EQ(doc->expectedFrameCount(), 0);
    EXPECT_FALSE(doc->Export(path("e.bmp")).ok);
    EXPECT_EQ(done(doc->SynthesizeSpectrum())->FWave->FSampleCount, 0u);
    EXPECT_TRUE(done(doc->SetMode(kCepstrumView))->FBitmap.isNull());
}

// The cells of a view are computed once per sound and N: switching back and forth keeps
// them; a new N or sound makes them again.
TEST_F(Editor, CellsOfAViewAreComputedOncePerSoundAndN)
{
    const DocumentPtr spectrum = open(voice());
    EXPECT_EQ(spectrum->cells[kCepstrumView], nullptr);
    const DocumentPtr cepstrum = done(spectrum->SetMode(kCepstrumView));
    ASSERT_NE(cepstrum->cells[kCepstrumView], nullptr);
    EXPECT_EQ(cepstrum->cells[kSpectrumView], spectrum->cells[kSpectrumView]);
    const DocumentPtr back = done(cepstrum->SetMode(kSpectrumView));
    EXPECT_TRUE(back->FBitmap == spectrum->FBitmap);
    const DocumentPtr again = done(back->SetMode(kCepstrumView));
    EXPECT_EQ(again->cells[kCepstrumView], cepstrum->cells[kCepstrumView]);
    EXPECT_TRUE(again->FBitmap == cepstrum->FBitmap);
    const DocumentPtr n512 = done(again->ChangeFFTLength(512));
    EXPECT_EQ(n512->cells[kSpectrumView], nullptr);
    EXPECT_EQ(n512->cells[kCepstrumView]->fftLength, 512);
    EXPECT_EQ(done(again->SetMode(kCepstrumView)), again) << "nothing to do";
}

TEST_F(Editor, ChangingNReanalysesAndForgetsTheImportProposal)
{
    const DocumentPtr exported = done(open(voice())->Export(path("voice_s1024.bmp")));
    EXPECT_EQ(exported->importProposal(), path("voice_s1024.bmp"));
    const DocumentPtr doc = done(exported->ChangeFFTLength(4096));
    EXPECT_EQ(doc->FBitmap.size(), QSize(48 + (110250 + 2047) / 2048 + 1, 16 + 2049));
    EXPECT_EQ(doc->importProposal(), QString());
    EXPECT_EQ(doc->proposedExportPath(), path("voice_s4096.bmp"));
    EXPECT_FALSE(doc->Import(path("voice_s1024.bmp")).ok) << "old geometry";
}

class RoundTrip : public Editor, public ::testing::WithParamInterface<uint8_t> { };

// Exporting and importing the unchanged picture changes nothing.
TEST_P(RoundTrip, UnchangedPictureChangesNothing)
{
    const DocumentPtr doc = open(voice(), GetParam());
    const QString bmp = doc->proposedExportPath();
    const DocumentPtr exported = done(doc->Export(bmp));
    QFile f(bmp);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), encodeFilterImage(doc->FBitmap));

    const CommandResult r = exported->Import(bmp);
    ASSERT_TRUE(r.ok) << en(r.message).toStdString();
    EXPECT_EQ(r.clips.clipped, 0u);
    DocSnapshot(*r.document).expectEqual(DocSnapshot(*exported), "unchanged import");
    ASSERT_NE(r.change, nullptr) << "still a step of the history";

    const QString saved = doc->proposedSavePath();
    ASSERT_TRUE(r.document->Save(saved).ok);
    TWave back;
    ASSERT_EQ(back.LoadFromFile(saved), kLoadOk);
    EXPECT_TRUE(back.FData == doc->FWave->FData);
}

INSTANTIATE_TEST_SUITE_P(Views, RoundTrip, ::testing::Values(kSpectrumView, kCepstrumView),
    [](const auto& info) { return info.param == kSpectrumView ? "spectrum" : "cepstrum"; });

// A region darkened (or lightened) by 20 gray levels in ImageMagick scales those cells of
// every channel by -10 dB (or +10 dB), levels clipped at 0 or 255 counting as painted:
// the sound is the engine's (its analysis scaled by the gains of the edited picture and
// resynthesised), and cells and picture are those of a fresh analysis of it.
TEST_P(RoundTrip, ImageMagickEditGivesTheEnginesSoundAndAFreshPicture)
{
    const uint8_t mode = GetParam();
    const DocumentPtr doc = open(voice(), mode);
    const QString bmp = path("voice.bmp");
    ASSERT_TRUE(doc->Export(bmp).ok);
    // 20 levels at 16-bit quantum: 20 * 257
    ASSERT_TRUE(
        runConvert({bmp, "-region", "30x40+100+300", "-evaluate", "subtract", "5140", "+region",
            "-region", "20x10+150+60", "-evaluate", "add", "5140", "BMP3:" + path("edited.bmp")}));

    const CommandResult r = doc->Import(path("edited.bmp"));
    ASSERT_TRUE(r.ok) << en(r.message).toStdString();
    EXPECT_TRUE(r.document->FWave->FData != doc->FWave->FData);

    TWaveCepstram engine;
    engine.Analyze(*doc->FWave, 1024);
    engine.CalcPower(1.0);
    engine.CalcCepstrum();
    TWave expected = *doc->FWave;
    const QImage edited = QImage(path("edited.bmp")).convertToFormat(QImage::Format_RGB32);
    Message reason;
    ASSERT_TRUE(ImportFilter(engine, expected, mode,
        doc->FBitmap.convertToFormat(QImage::Format_RGB32), edited, 48, 16, nullptr, &reason))
        << en(reason).toStdString();
    EXPECT_TRUE(r.document->FWave->FData == expected.FData);

    ASSERT_TRUE(r.document->Save(path("imported.wav")).ok);
    const DocumentPtr fresh = open(path("imported.wav"), mode);
    EXPECT_TRUE(r.document->cells[mode]->gray == fresh->cells[mode]->gray);
    EXPECT_TRUE(r.document->FBitmap == fresh->FBitmap);
}

// Pieces of a long sound, in both views: the first, a middle and the last range of frames.
// An edited piece gives the document that the whole picture with the same cells edited
// gives, byte for byte; cells at both edges of the piece are edited.
TEST_P(RoundTrip, EditedRangeGivesTheWholePicturesImport)
{
    const DocumentPtr doc = open(voice(), GetParam());
    const int32_t F = doc->shownCells()->frames;
    for (const FrameRange range : {FrameRange{0, 60}, FrameRange{80, 150}, FrameRange{170, F}}) {
        const std::string what = std::to_string(range.first) + " .. " + std::to_string(range.end);
        const QString piece = path("piece.bmp");
        ASSERT_TRUE(doc->ExportRange(piece, range).ok) << what;
        const int n = range.frames();
        ASSERT_EQ(QImage(piece).size(), QSize(48 + n, 16 + 513)) << what;
        auto paint = [&](const QImage& picture, int offset) {
            QImage img = paintedCopy(picture, 48, 16, offset, 300, 2, 40, -30);
            img = paintedCopy(img, 48, 16, offset + n / 2, 100, 9, 60, 25);
            return paintedCopy(img, 48, 16, offset + n - 1, 200, 1, 30, -40);
        };
        ASSERT_TRUE(paint(QImage(piece), 0).save(path("piece_edit.bmp")));
        ASSERT_TRUE(paint(doc->FBitmap, range.first).save(path("whole_edit.bmp")));
        const CommandResult fromPiece = doc->ImportRange(path("piece_edit.bmp"), range);
        const CommandResult fromWhole = doc->Import(path("whole_edit.bmp"));
        ASSERT_TRUE(fromPiece.ok) << en(fromPiece.message).toStdString();
        ASSERT_TRUE(fromWhole.ok) << en(fromWhole.message).toStdString();
        EXPECT_TRUE(fromPiece.document->FWave->FData != doc->FWave->FData) << what;
        DocSnapshot(*fromPiece.document).expectEqual(DocSnapshot(*fromWhole.document), what);
        EXPECT_TRUE(fromPiece.change->changedFrames() == fromWhole.change->changedFrames());
    }
}

// Seconds become the frames centred nearest them (44100 Hz, N = 1024: 86.13 frames a
// second); pictures of another range or length and ranges outside the sound are refused.
TEST_F(Editor, RangesOfSecondsAndRefusedPieces)
{
    const DocumentPtr doc = open(voice());
    FrameRange r;
    Message why;
    ASSERT_TRUE(doc->rangeOfSeconds(0.5, 1.0, &r, &why));
    EXPECT_EQ(r, (FrameRange{43, 86}));
    ASSERT_TRUE(doc->rangeOfSeconds(1.0, 2.0, &r, &why));
    EXPECT_EQ(r, (FrameRange{86, 172}));
    ASSERT_TRUE(doc->rangeOfSeconds(2.0, 2.5, &r, &why));
    EXPECT_EQ(r, (FrameRange{172, 217})) << "the end of the sound reaches the last frame";
    EXPECT_EQ(doc->proposedRangeExportPath(r), path("voice_s1024_1.997-2.519.bmp"));
    EXPECT_FALSE(doc->rangeOfSeconds(1.0, 1.0, &r, &why));
    EXPECT_EQ(why, Message(MessageCode::RangeNotARange, "1", "1"));
    EXPECT_FALSE(doc->rangeOfSeconds(2.6, 3.0, &r, &why));
    EXPECT_EQ(why, Message(MessageCode::RangeNoFrames, "2.6", "3", "2.5"));

    const DocSnapshot before(*doc);
    ASSERT_TRUE(doc->ExportRange(path("a.bmp"), FrameRange{0, 60}).ok);
    const CommandResult refused = doc->ImportRange(path("a.bmp"), FrameRange{0, 61});
    EXPECT_EQ(refused.message,
        Message(MessageCode::RangeOtherRange, path("a.bmp"), 108, 529, "0.000", "0.708", 109, 529));
    const CommandResult outside = doc->ExportRange(path("b.bmp"), FrameRange{200, 218});
    EXPECT_EQ(
        outside.message, Message(MessageCode::RangeOutsideSound, path("b.bmp"), 200, 218, 217));
    EXPECT_FALSE(QFile::exists(path("b.bmp")));
    EXPECT_FALSE(doc->ImportRange(path("a.bmp"), FrameRange{200, 218}).ok);
    DocSnapshot(*doc).expectEqual(before, "refused pieces");
}

// The same edit saved by ImageMagick as a palette BMP is read through its palette.
TEST_F(Editor, PaletteEditGivesTheSameResult)
{
    const DocumentPtr doc = open(voice());
    const QString bmp = path("voice_s1024.bmp");
    ASSERT_TRUE(doc->Export(bmp).ok);
    ASSERT_TRUE(runConvert({bmp, "-region", "40x40+80+460", "-evaluate", "subtract", "2570",
        "+region", "BMP3:" + path("true.bmp")}));
    ASSERT_TRUE(runConvert(
        {path("true.bmp"), "+dither", "-type", "Palette", "BMP3:" + path("palette.bmp")}));
    const DocumentPtr a = done(doc->Import(path("true.bmp")));
    const DocumentPtr b = done(doc->Import(path("palette.bmp")));
    EXPECT_TRUE(a->FWave->FData == b->FWave->FData);
    EXPECT_TRUE(a->FWave->FData != doc->FWave->FData);
}

// Refused pictures change nothing and give no document.
TEST_F(Editor, RefusedPicturesChangeNothing)
{
    const DocumentPtr doc = open(voice());
    const QString bmp = path("voice_s1024.bmp");
    ASSERT_TRUE(doc->Export(bmp).ok);
    const int W = doc->FBitmap.width(), H = doc->FBitmap.height();
    ASSERT_TRUE(runConvert({bmp, "-crop", QStringLiteral("%1x%2+0+0").arg(W - 1).arg(H), "+repage",
        "BMP3:" + path("narrow.bmp")}));
    ASSERT_TRUE(runConvert({bmp, "-background", "white", "-extent",
        QStringLiteral("%1x%2").arg(W + 1).arg(H), "BMP3:" + path("wide.bmp")}));
    QFile full(bmp);
    ASSERT_TRUE(full.open(QIODevice::ReadOnly));
    QByteArray bytes = full.readAll();
    QFile cut(path("cut.bmp"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(bytes.left(bytes.size() - 100));
    cut.close();
    QFile junk(path("junk.bmp"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("BM this is not a picture at all");
    junk.close();

    const DocSnapshot before(*doc);
    for (const QString name : {"narrow.bmp", "wide.bmp", "cut.bmp", "junk.bmp", "missing.bmp"}) {
        const CommandResult r = doc->Import(path(name));
        EXPECT_FALSE(r.ok) << name.toStdString();
        EXPECT_EQ(r.document, nullptr);
        EXPECT_TRUE(en(r.message).contains(path(name))) << en(r.message).toStdString();
        DocSnapshot(*doc).expectEqual(before, name.toStdString());
    }
    const CommandResult narrow = doc->Import(path("narrow.bmp"));
    EXPECT_TRUE(
        en(narrow.message)
            .contains(
                Message(MessageCode::PictureWidthMismatch, W - 1, W).text(Language::English)));
}

// In the cepstrum view, darkening quefrency 0 of silent frames asks for a gain beyond
// any Double: the import is refused.
TEST_F(Editor, CepstrumGainOverflowIsRefused)
{
    const DocumentPtr doc = open(halfSilent(), kCepstrumView, 256);
    const QString bmp = path("half_c256.bmp");
    ASSERT_TRUE(doc->Export(bmp).ok);
    const int W = doc->FBitmap.width();
    ASSERT_TRUE(runConvert({bmp, "-region", QStringLiteral("%1x1+48+16").arg(W - 48), "-evaluate",
        "set", "0", "+region", "BMP3:" + path("dark.bmp")}));
    const DocSnapshot before(*doc);
    const CommandResult r = doc->Import(path("dark.bmp"));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(en(r.message).contains("dark.bmp: the picture's edits ask for gains too large "
                                       "to compute the sound"))
        << en(r.message).toStdString();
    DocSnapshot(*doc).expectEqual(before, "overflowing cepstrum edit");
}

// The import guard: the name of the other view's picture says so, and so do its contents
// once it is renamed, in both directions; the view's own picture painted over says
// nothing. A picture of another N cannot be applied: the refusal names that N.
TEST_F(Editor, ImportGuardNamesThePicturesViewAndN)
{
    const DocumentPtr spectrum = open(voice(), kSpectrumView, 512);
    const DocumentPtr cepstrum = done(spectrum->SetMode(kCepstrumView)); // has both cells
    for (const auto& [from, to] : {std::pair(spectrum, cepstrum), std::pair(cepstrum, spectrum)}) {
        const QString named = from->proposedExportPath(); // voice_s512.bmp, voice_c512.bmp
        ASSERT_TRUE(from->Export(named).ok);
        const QString renamed = path("renamed.bmp"), painted = path("painted.bmp");
        QFile::remove(renamed);
        ASSERT_TRUE(QFile::copy(named, renamed));
        ASSERT_TRUE(paintedCopy(from->FBitmap, 48, 16, 10, 20, 60, 100, -20).save(painted, "BMP"));
        const Message byName = to->CheckImport(named);
        EXPECT_EQ(byName.code(), MessageCode::GuardByName);
        EXPECT_EQ(to->CheckImport(renamed).code(), MessageCode::GuardByContents);
        EXPECT_TRUE(from->CheckImport(named).isEmpty());
        EXPECT_TRUE(from->CheckImport(painted).isEmpty());
        if (from == spectrum) {
            EXPECT_EQ(en(byName),
                "the file name says the picture was exported in the spectrum view with FFT "
                "length 512, but the window shows the cepstrum view with FFT length 512");
        }
    }
    const CommandResult r = open(voice(), kSpectrumView, 1024)->Import(path("voice_s512.bmp"));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(en(r.message).endsWith("(was it exported with FFT length 512?)"))
        << en(r.message).toStdString();
}

TEST_F(Editor, SaveReportsFailureAndWritesNothing)
{
    const QString target = path("missing/dir/out.wav");
    const CommandResult r = open(voice())->Save(target);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(en(r.message).contains("out.wav")) << en(r.message).toStdString();
    EXPECT_FALSE(QFile::exists(target));
}

// The hidden commands: the resynthesis of a 16-bit sound gives it back, as a step of the
// history; the engine's spectrum is the picture the spectrum view shows.
TEST_F(Editor, HiddenCommands)
{
    const DocumentPtr doc = open(voice(), kCepstrumView);
    const CommandResult synthesized = doc->SynthesizeSpectrum();
    ASSERT_TRUE(synthesized.ok);
    EXPECT_TRUE(synthesized.document->FWave->FData == doc->FWave->FData);
    EXPECT_NE(synthesized.change, nullptr);
    const DocumentPtr drawn = done(doc->AnalyzeAndDrawSpectrum());
    const DocumentPtr spectrum = done(doc->SetMode(kSpectrumView));
    EXPECT_EQ(drawn->FMode, kSpectrumView);
    EXPECT_TRUE(drawn->FBitmap == spectrum->FBitmap);
    EXPECT_TRUE(drawn->cells[kSpectrumView]->gray == spectrum->cells[kSpectrumView]->gray);
    EXPECT_EQ(drawn->cells[kCepstrumView], nullptr) << "a fresh analysis";
}

} // namespace
} // namespace kestrelon::test
