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

#include "../imaging/GuiEnvironment.h"
#include "EditingTestSupport.h"
#include "editing/EditorTasks.h"
#include "editing/ExternalEdit.h"
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
        core.locale = QLocale::c();
        ASSERT_TRUE(core.Open(wav).ok);
        core.SetMode(GetParam().mode);
        core.ChangeFFTLength(GetParam().fft);
        exported = core.proposedExportPath();
        ASSERT_TRUE(core.Export(exported).ok);
        exportSamples = core.FWave->FData;
        exportPicture = core.FBitmap.copy();
        session
            = std::make_unique<ExternalEditSession>(core, exported, ExternalEditTiming{15, 1500});
        ASSERT_TRUE(session->isActive());
        QObject::connect(session.get(), &ExternalEditSession::imported, session.get(),
            [this](const ExternalImportStep& s) {
                steps.push_back(s);
                after.push_back(core.FWave->FData);
            });
        QObject::connect(session.get(), &ExternalEditSession::importFailed, session.get(),
            [this](const QString& m) { failures << m; });
        QObject::connect(session.get(), &ExternalEditSession::ended, session.get(),
            [this](const QString& m) { endings << m; });
    }

    // Two different edits of the exported picture.
    QImage edit(int which) const
    {
        const int l = core.FLeftMargin, t = core.FTopMargin;
        return which == 1 ? paintedCopy(exportPicture, l, t, 3, 5, 10, 60, -40)
                          : paintedCopy(exportPicture, l, t, 12, 30, 8, 20, 30);
    }

    // The sound the synchronous import of picture gives on a fresh open of the file.
    std::vector<uint8_t> expectedSound(const QImage& picture)
    {
        EditorCore fresh;
        fresh.locale = QLocale::c();
        EXPECT_TRUE(fresh.Open(wav).ok);
        fresh.SetMode(GetParam().mode);
        fresh.ChangeFFTLength(GetParam().fft);
        const QString p = dir.path() + "/expected.bmp";
        EXPECT_TRUE(writeFilterImage(picture, p, nullptr));
        const CommandResult r = fresh.Import(p);
        EXPECT_TRUE(r.ok) << r.message.toStdString();
        return fresh.FWave->FData;
    }

    bool waitForSteps(std::size_t n)
    {
        return waitUntil([&] { return steps.size() >= n; });
    }

    QTemporaryDir dir;
    QString wav, exported;
    EditorCore core;
    std::vector<uint8_t> exportSamples;
    QImage exportPicture;
    std::unique_ptr<ExternalEditSession> session;
    std::vector<ExternalImportStep> steps;
    std::vector<std::vector<uint8_t>> after;
    QStringList failures, endings;
};

TEST_P(ExternalEdit, SaveInPlaceIsAppliedOnceAsOneStep)
{
    ASSERT_TRUE(writeInPlace(exported, bmpBytes(edit(1))));
    ASSERT_TRUE(waitForSteps(1));
    settle(150); // the watcher's further notices of the same save add nothing
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_TRUE(*steps[0].samplesBefore == exportSamples);
    EXPECT_TRUE(core.FWave->FData == expectedSound(edit(1)));
    EXPECT_NE(core.FWave->FData, exportSamples);
    EXPECT_FALSE(steps[0].message.isEmpty());
    EXPECT_TRUE(session->isActive());
    EXPECT_TRUE(failures.isEmpty()) << failures.join("; ").toStdString();
    // the picture shown is the new sound's
    EditorCore fresh;
    fresh.locale = QLocale::c();
    ASSERT_TRUE(fresh.Open(wav).ok);
    fresh.SetMode(GetParam().mode);
    fresh.ChangeFFTLength(GetParam().fft);
    *fresh.FWave = *core.FWave;
    fresh.RefreshView();
    EXPECT_TRUE(fresh.FBitmap == core.FBitmap);
}

TEST_P(ExternalEdit, RepeatedSavesApplyTheWholePictureToTheExportedSound)
{
    const std::vector<uint8_t> one = expectedSound(edit(1));
    const std::vector<uint8_t> two = expectedSound(edit(2));
    ASSERT_NE(one, two);

    ASSERT_TRUE(writeAndRename(exported, bmpBytes(edit(1))));
    ASSERT_TRUE(waitForSteps(1));
    EXPECT_TRUE(core.FWave->FData == one);

    // the second save is not applied on top of the first import
    ASSERT_TRUE(writeAndRename(exported, bmpBytes(edit(2))));
    ASSERT_TRUE(waitForSteps(2));
    EXPECT_TRUE(core.FWave->FData == two);
    EXPECT_TRUE(*steps[1].samplesBefore == one);

    // going back to the first picture gives the first sound, byte for byte
    ASSERT_TRUE(writeInPlace(exported, bmpBytes(edit(1))));
    ASSERT_TRUE(waitForSteps(3));
    EXPECT_TRUE(core.FWave->FData == one);

    // the same picture saved again, even as a PNG beside it: nothing to do
    ASSERT_TRUE(writeAndRename(exported, bmpBytes(edit(1))));
    ASSERT_TRUE(writeInPlace(session->pngPath(), pngBytes(edit(1))));
    settle(250);
    EXPECT_EQ(steps.size(), 3u);
    EXPECT_TRUE(core.FWave->FData == one);

    // a PNG of another picture beside it is taken
    ASSERT_TRUE(writeAndRename(session->pngPath(), pngBytes(edit(2))));
    ASSERT_TRUE(waitForSteps(4));
    EXPECT_TRUE(core.FWave->FData == two);

    // and so is PNG content saved under the exported name
    ASSERT_TRUE(writeAndRename(exported, pngBytes(edit(1))));
    ASSERT_TRUE(waitForSteps(5));
    EXPECT_TRUE(core.FWave->FData == one);
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
    EXPECT_TRUE(core.FWave->FData == exportSamples);
    EXPECT_TRUE(failures.isEmpty());
    ASSERT_EQ(f.write(bytes.mid(bytes.size() / 2)), bytes.size() - bytes.size() / 2);
    f.close();
    ASSERT_TRUE(waitForSteps(1));
    settle(100);
    EXPECT_EQ(steps.size(), 1u);
    EXPECT_TRUE(core.FWave->FData == expectedSound(edit(1)));
}

TEST_P(ExternalEdit, AFileThatStaysBrokenIsReportedAndChangesNothing)
{
    const QImage wrong = edit(1).copy(0, 0, exportPicture.width() - 1, exportPicture.height());
    ASSERT_TRUE(writeInPlace(exported, bmpBytes(wrong)));
    ASSERT_TRUE(waitUntil([&] { return !failures.isEmpty(); }));
    EXPECT_TRUE(failures[0].contains("pixels")) << failures[0].toStdString();
    EXPECT_TRUE(steps.empty());
    EXPECT_TRUE(core.FWave->FData == exportSamples);
    EXPECT_TRUE(session->isActive());
    // the next good save is taken
    ASSERT_TRUE(writeInPlace(exported, bmpBytes(edit(2))));
    ASSERT_TRUE(waitForSteps(1));
    EXPECT_TRUE(core.FWave->FData == expectedSound(edit(2)));
}

TEST_P(ExternalEdit, ImportsRunOnTheRunnerToo)
{
    EditorTaskRunner runner(core);
    session->setRunner(&runner);
    ASSERT_TRUE(writeAndRename(exported, bmpBytes(edit(2))));
    ASSERT_TRUE(waitForSteps(1));
    EXPECT_FALSE(runner.isRunning());
    EXPECT_TRUE(core.FWave->FData == expectedSound(edit(2)));
    EXPECT_TRUE(*steps[0].samplesBefore == exportSamples);
    session->setRunner(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Views, ExternalEdit,
    ::testing::Values(
        ViewCase{"Spectrum512", kSpectrumView, 512}, ViewCase{"Cepstrum256", kCepstrumView, 256}),
    [](const ::testing::TestParamInfo<ViewCase>& info) { return std::string(info.param.name); });

// What ends a watch: N, the view, the sound (another file, or an undo by the window).
struct Ending {
    const char* name;
    std::function<void(EditorCore&, const QString& otherWav)> change;
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
    EditorCore core;
    ASSERT_TRUE(core.Open(wav).ok);
    core.ChangeFFTLength(256);
    const QString exported = core.proposedExportPath();
    ASSERT_TRUE(core.Export(exported).ok);
    ExternalEditSession session(core, exported, ExternalEditTiming{15, 500});
    QStringList endings, statuses;
    int imports = 0;
    QObject::connect(
        &session, &ExternalEditSession::ended, &session, [&](const QString& m) { endings << m; });
    QObject::connect(&session, &ExternalEditSession::statusMessage, &session,
        [&](const QString& m) { statuses << m; });
    QObject::connect(&session, &ExternalEditSession::imported, &session, [&] { ++imports; });
    EXPECT_TRUE(session.checkCore()); // nothing changed yet

    GetParam().change(core, other);
    const std::vector<uint8_t> samples = core.FWave->FData;
    EXPECT_FALSE(session.checkCore());
    EXPECT_FALSE(session.isActive());
    ASSERT_EQ(endings.size(), 1);
    EXPECT_TRUE(endings[0].contains(GetParam().words)) << endings[0].toStdString();
    EXPECT_TRUE(statuses.contains(endings[0]));
    EXPECT_FALSE(session.checkCore());
    EXPECT_EQ(endings.size(), 1); // said once

    // a later save is no longer applied
    const QImage painted
        = paintedCopy(core.FBitmap, core.FLeftMargin, core.FTopMargin, 2, 2, 5, 5, -50);
    QFile f(exported);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(encodeFilterImage(painted.isNull() ? QImage(10, 10, QImage::Format_RGB32) : painted));
    f.close();
    session.poll();
    settle(150);
    EXPECT_EQ(imports, 0);
    EXPECT_TRUE(core.FWave->FData == samples);
}

INSTANTIATE_TEST_SUITE_P(Changes, ExternalEditEnd,
    ::testing::Values(Ending{"N", [](EditorCore& c, const QString&) { c.ChangeFFTLength(512); },
                          "N を変えたため監視を終了しました"},
        Ending{"View", [](EditorCore& c, const QString&) { c.SetMode(kCepstrumView); },
            "表示を変えたため"},
        Ending{"OtherFile", [](EditorCore& c, const QString& o) { ASSERT_TRUE(c.Open(o).ok); },
            "音が変わったため"},
        Ending{"SamplesChanged",
            [](EditorCore& c, const QString&) {
                c.FWave->FData[100] ^= 1; // what an undo of an earlier import does
                c.RefreshView();
            },
            "音が変わったため"}),
    [](const ::testing::TestParamInfo<Ending>& info) { return std::string(info.param.name); });

TEST(ExternalEditStart, WithoutAPictureTheSessionDoesNotStart)
{
    ensureGuiApplication();
    EditorCore core;
    QTemporaryDir dir;
    ExternalEditSession session(core, dir.path() + "/x.bmp");
    EXPECT_FALSE(session.isActive());
    EXPECT_FALSE(session.checkCore());
}

} // namespace
} // namespace kestrelon::test
