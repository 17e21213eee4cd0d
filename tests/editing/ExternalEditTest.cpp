// The external-editor round trip: a test plays the paint program, saving the exported
// file the ways editors do, and checks what the session applies.

#include <cstdio>
#include <thread>

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "../MessageText.h"
#include "../imaging/GuiEnvironment.h"
#include "EditingTestSupport.h"
#include "editing/CommandRunner.h"
#include "editing/ExternalEdit.h"
#include "editing/History.h"
#include "imaging/FilterImage.h"

namespace kestrelon::test {
namespace {

// Processes events until pred holds or ms have passed; returns pred().
bool waitUntil(const std::function<bool()>& pred, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return pred();
}

void settle(int ms)
{
    waitUntil([] { return false; }, ms);
}

QByteArray bmpBytes(const QImage& picture)
{
    return encodeFilterImage(picture);
}

QByteArray pngBytes(const QImage& picture)
{
    QByteArray b;
    QBuffer buf(&b);
    buf.open(QIODevice::WriteOnly);
    picture.save(&buf, "PNG");
    return b;
}

bool writeInPlace(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// What many editors do: write a new file beside the old one, then rename it over it.
bool writeAndRename(const QString& path, const QByteArray& bytes)
{
    const QString tmp = path + ".part~";
    return writeInPlace(tmp, bytes)
        && std::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(path).constData())
        == 0;
}

struct ViewCase {
    const char* name;
    uint8_t mode;
    int32_t fft;
};

class ExternalEdit : public ::testing::TestWithParam<ViewCase> {
protected:
    void SetUp() override
    {
        ensureGuiApplication();
        ASSERT_TRUE(dir.isValid());
        wav = dir.path() + "/voice.wav";
        ASSERT_TRUE(writeTestWave(
            wav, 16000, 2, 16, 12000, [](uint32_t i, int c) { return testTones(i, c, 16000); }));
        const DocumentPtr doc = opened();
        exported = doc->proposedExportPath();
        exportedDoc = done(doc->Export(exported));
        shown = exportedDoc;
        session = std::make_unique<ExternalEditSession>(
            exportedDoc, exported, ExternalEditTiming{15, 1500});
        ASSERT_TRUE(session->isActive());
        QObject::connect(session.get(), &ExternalEditSession::imported, session.get(),
            [this](const ExternalImportStep& s) {
                // what the window does: record the step, show the document
                stepsBefore.push_back(shown->FWave->FData);
                steps.push_back(s);
                shown = s.document;
                session->checkDocument(shown);
            });
        QObject::connect(session.get(), &ExternalEditSession::importFailed, session.get(),
            [this](const QString& m) { failures << m; });
        QObject::connect(session.get(), &ExternalEditSession::ended, session.get(),
            [this](const Message& m) { endings << m.text(); });
    }

    DocumentPtr opened() const
    {
        return done(cDocument(GetParam().fft, GetParam().mode)->Open(wav));
    }
    const std::vector<uint8_t>& exportSamples() const { return exportedDoc->FWave->FData; }
    const std::vector<uint8_t>& samples() const { return shown->FWave->FData; }

    // Two different edits of the exported picture.
    QImage edit(int which) const
    {
        const int l = Document::FLeftMargin, t = Document::FTopMargin;
        const QImage& picture = exportedDoc->FBitmap;
        return which == 1 ? paintedCopy(picture, l, t, 3, 5, 10, 60, -40)
                          : paintedCopy(picture, l, t, 12, 30, 8, 20, 30);
    }

    // The sound an import of picture gives on a fresh open of the file.
    std::vector<uint8_t> expectedSound(const QImage& picture)
    {
        const QString p = dir.path() + "/expected.bmp";
        EXPECT_TRUE(writeFilterImage(picture, p, nullptr));
        const CommandResult r = opened()->Import(p);
        EXPECT_TRUE(r.ok) << en(r.message).toStdString();
        return r.ok ? r.document->FWave->FData : std::vector<uint8_t>{};
    }

    bool waitForSteps(std::size_t n)
    {
        return waitUntil([&] { return steps.size() >= n; });
    }

    QTemporaryDir dir;
    QString wav, exported;
    DocumentPtr exportedDoc, shown;
    std::unique_ptr<ExternalEditSession> session;
    std::vector<ExternalImportStep> steps;
    std::vector<std::vector<uint8_t>> stepsBefore; // the sound each step started from
    QStringList failures, endings;
};

TEST_P(ExternalEdit, SaveInPlaceIsAppliedOnceAsOneStep)
{
    ASSERT_TRUE(writeInPlace(exported, bmpBytes(edit(1))));
    ASSERT_TRUE(waitForSteps(1));
    settle(150); // the watcher's further notices of the same save add nothing
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_TRUE(samples() == expectedSound(edit(1)));
    EXPECT_NE(samples(), exportSamples());
    EXPECT_TRUE(steps[0].change->undone(*shown->FWave).FData == exportSamples());
    EXPECT_FALSE(steps[0].message.isEmpty());
    EXPECT_TRUE(session->isActive());
    EXPECT_TRUE(failures.isEmpty()) << failures.join("; ").toStdString();
    // the picture shown is the new sound's, and so are the proposals the window had
    const QString saved = dir.path() + "/saved.wav";
    ASSERT_TRUE(shown->Save(saved).ok);
    EXPECT_TRUE(
        done(cDocument(GetParam().fft, GetParam().mode)->Open(saved))->FBitmap == shown->FBitmap);
    EXPECT_EQ(shown->importProposal(), exported);
}

TEST_P(ExternalEdit, RepeatedSavesApplyTheWholePictureToTheExportedSound)
{
    const std::vector<uint8_t> one = expectedSound(edit(1));
    const std::vector<uint8_t> two = expectedSound(edit(2));
    ASSERT_NE(one, two);

    ASSERT_TRUE(writeAndRename(exported, bmpBytes(edit(1))));
    ASSERT_TRUE(waitForSteps(1));
    EXPECT_TRUE(samples() == one);

    // the second save is not applied on top of the first import
    ASSERT_TRUE(writeAndRename(exported, bmpBytes(edit(2))));
    ASSERT_TRUE(waitForSteps(2));
    EXPECT_TRUE(samples() == two);
    EXPECT_TRUE(steps[1].change->undone(*shown->FWave).FData == one);

    // going back to the first picture gives the first sound, byte for byte
    ASSERT_TRUE(writeInPlace(exported, bmpBytes(edit(1))));
    ASSERT_TRUE(waitForSteps(3));
    EXPECT_TRUE(samples() == one);

    // the same picture saved again, even as a PNG beside it: nothing to do
    ASSERT_TRUE(writeAndRename(exported, bmpBytes(edit(1))));
    ASSERT_TRUE(writeInPlace(session->pngPath(), pngBytes(edit(1))));
    settle(250);
    EXPECT_EQ(steps.size(), 3u);
    EXPECT_TRUE(samples() == one);

    // a PNG of another picture beside it is taken
    ASSERT_TRUE(writeAndRename(session->pngPath(), pngBytes(edit(2))));
    ASSERT_TRUE(waitForSteps(4));
    EXPECT_TRUE(samples() == two);

    // and so is PNG content saved under the exported name
    ASSERT_TRUE(writeAndRename(exported, pngBytes(edit(1))));
    ASSERT_TRUE(waitForSteps(5));
    EXPECT_TRUE(samples() == one);
    EXPECT_TRUE(failures.isEmpty()) << failures.join("; ").toStdString();
    EXPECT_TRUE(session->isActive());
}

TEST_P(ExternalEdit, AHalfWrittenFileIsNotApplied)
{
    const QByteArray bytes = bmpBytes(edit(1));
    QFile f(exported);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes.left(bytes.size() / 2)), bytes.size() / 2);
    ASSERT_TRUE(f.flush());
    settle(200); // a dozen attempts at the half-written file
    EXPECT_TRUE(steps.empty());
    EXPECT_TRUE(samples() == exportSamples());
    EXPECT_TRUE(failures.isEmpty());
    ASSERT_EQ(f.write(bytes.mid(bytes.size() / 2)), bytes.size() - bytes.size() / 2);
    f.close();
    ASSERT_TRUE(waitForSteps(1));
    settle(100);
    EXPECT_EQ(steps.size(), 1u);
    EXPECT_TRUE(samples() == expectedSound(edit(1)));
}

TEST_P(ExternalEdit, AFileThatStaysBrokenIsReportedAndChangesNothing)
{
    const QImage wrong
        = edit(1).copy(0, 0, exportedDoc->FBitmap.width() - 1, exportedDoc->FBitmap.height());
    ASSERT_TRUE(writeInPlace(exported, bmpBytes(wrong)));
    ASSERT_TRUE(waitUntil([&] { return !failures.isEmpty(); }));
    EXPECT_TRUE(failures[0].contains("ピクセル")) << failures[0].toStdString();
    EXPECT_TRUE(steps.empty());
    EXPECT_TRUE(samples() == exportSamples());
    EXPECT_TRUE(session->isActive());
    // the next good save is taken
    ASSERT_TRUE(writeInPlace(exported, bmpBytes(edit(2))));
    ASSERT_TRUE(waitForSteps(1));
    EXPECT_TRUE(samples() == expectedSound(edit(2)));
}

TEST_P(ExternalEdit, ImportsRunOnTheRunnerToo)
{
    CommandRunner runner;
    session->setRunner(&runner);
    ASSERT_TRUE(writeAndRename(exported, bmpBytes(edit(2))));
    ASSERT_TRUE(waitForSteps(1));
    EXPECT_FALSE(runner.isRunning());
    EXPECT_TRUE(samples() == expectedSound(edit(2)));
    EXPECT_TRUE(steps[0].change->undone(*shown->FWave).FData == exportSamples());
    session->setRunner(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Views, ExternalEdit,
    ::testing::Values(
        ViewCase{"Spectrum512", kSpectrumView, 512}, ViewCase{"Cepstrum256", kCepstrumView, 256}),
    [](const ::testing::TestParamInfo<ViewCase>& info) { return std::string(info.param.name); });

// What ends a watch: N, the view, the sound (another file, or an undo by the window).
struct Ending {
    const char* name;
    std::function<DocumentPtr(const DocumentPtr&, const QString& otherWav)> change;
    const char* words;
};

void PrintTo(const Ending& e, std::ostream* os)
{
    *os << e.name;
}

void PrintTo(const ViewCase& v, std::ostream* os)
{
    *os << v.name;
}

class ExternalEditEnd : public ::testing::TestWithParam<Ending> { };

TEST_P(ExternalEditEnd, ChangingNTheViewOrTheSoundEndsTheWatch)
{
    ensureGuiApplication();
    QTemporaryDir dir;
    const QString wav = dir.path() + "/a.wav", other = dir.path() + "/b.wav";
    ASSERT_TRUE(writeTestWave(
        wav, 8000, 1, 16, 4000, [](uint32_t i, int c) { return testTones(i, c, 8000); }));
    ASSERT_TRUE(
        writeTestWave(other, 8000, 1, 16, 4000, [](uint32_t i, int) { return (i % 30) / 60.0; }));
    const DocumentPtr doc = done(cDocument(256)->Open(wav));
    const QString exported = doc->proposedExportPath();
    const DocumentPtr exportedDoc = done(doc->Export(exported));
    ExternalEditSession session(exportedDoc, exported, ExternalEditTiming{15, 500});
    QStringList endings, statuses;
    int imports = 0;
    QObject::connect(&session, &ExternalEditSession::ended, &session,
        [&](const Message& m) { endings << m.text(); });
    QObject::connect(&session, &ExternalEditSession::statusMessage, &session,
        [&](const Message& m) { statuses << m.text(); });
    QObject::connect(&session, &ExternalEditSession::imported, &session, [&] { ++imports; });
    EXPECT_TRUE(session.checkDocument(exportedDoc)); // nothing changed yet
    // the same sound in another document (an undo and a redo make one) goes on
    auto copy = std::make_shared<Document>(*exportedDoc);
    copy->FWave = std::make_shared<const TWave>(*exportedDoc->FWave);
    EXPECT_TRUE(session.checkDocument(copy));

    const DocumentPtr changed = GetParam().change(exportedDoc, other);
    EXPECT_FALSE(session.checkDocument(changed));
    EXPECT_FALSE(session.isActive());
    ASSERT_EQ(endings.size(), 1);
    EXPECT_TRUE(endings[0].contains(GetParam().words)) << endings[0].toStdString();
    EXPECT_TRUE(statuses.contains(endings[0]));
    EXPECT_FALSE(session.checkDocument(changed));
    EXPECT_EQ(endings.size(), 1); // said once

    // a later save is no longer applied
    const QImage painted = paintedCopy(exportedDoc->FBitmap, 48, 16, 2, 2, 5, 5, -50);
    QFile f(exported);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(encodeFilterImage(painted));
    f.close();
    session.poll();
    settle(150);
    EXPECT_EQ(imports, 0);
}

INSTANTIATE_TEST_SUITE_P(Changes, ExternalEditEnd,
    ::testing::Values(
        Ending{"N",
            [](const DocumentPtr& d, const QString&) { return done(d->ChangeFFTLength(512)); },
            "FFT長を変えたため監視を終了しました"},
        Ending{"View",
            [](const DocumentPtr& d, const QString&) { return done(d->SetMode(kCepstrumView)); },
            "表示を変えたため"},
        Ending{"OtherFile", [](const DocumentPtr& d, const QString& o) { return done(d->Open(o)); },
            "音が変わったため"},
        Ending{"SamplesChanged",
            [](const DocumentPtr& d, const QString&) {
                // what an undo of an earlier import does
                auto wave = std::make_shared<TWave>(*d->FWave);
                wave->FData[100] ^= 1;
                auto changed = std::make_shared<Document>(*d);
                changed->FWave = std::move(wave);
                return DocumentPtr(changed);
            },
            "音が変わったため"}),
    [](const ::testing::TestParamInfo<Ending>& info) { return std::string(info.param.name); });

TEST(ExternalEditStart, WithoutAPictureTheSessionDoesNotStart)
{
    ensureGuiApplication();
    QTemporaryDir dir;
    ExternalEditSession session(cDocument(), dir.path() + "/x.bmp");
    EXPECT_FALSE(session.isActive());
    EXPECT_FALSE(session.checkDocument(nullptr));
}

} // namespace
} // namespace kestrelon::test
