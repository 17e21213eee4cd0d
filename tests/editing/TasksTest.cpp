// The long commands as tasks: off the UI thread they give what the synchronous commands
// give, bit for bit, and a cancel at any pass leaves the core exactly as it was.

#include <functional>
#include <optional>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "../imaging/GuiEnvironment.h"
#include "EditingTestSupport.h"
#include "editing/EditorTasks.h"
#include "imaging/FilterImage.h"

namespace kestrelon::test {
namespace {

struct Files {
    QTemporaryDir dir;
    QString voice, other, edited, wrongSize, edited2;
    // an editor's session: the sound and picture as exported
    std::vector<uint8_t> exportSamples;
    QImage exportPicture;
    Files()
    {
        voice = dir.path() + "/voice.wav";
        other = dir.path() + "/other.wav";
        writeTestWave(
            voice, 22050, 2, 16, 22050, [](uint32_t i, int c) { return testTones(i, c, 22050); });
        writeTestWave(
            other, 8000, 1, 8, 3000, [](uint32_t i, int) { return (i % 40) / 40.0 - 0.5; });
        edited = dir.path() + "/edited.bmp";
        wrongSize = dir.path() + "/small.bmp";
        edited2 = dir.path() + "/edited2.bmp";
    }
};

Files& files()
{
    static Files f;
    return f;
}

void opened(EditorCore& core, uint8_t mode)
{
    ASSERT_TRUE(core.Open(files().voice).ok);
    core.SetMode(mode);
}

// Writes a picture that darkens and lightens a few cells of the current picture.
void writeEdit(const EditorCore& core)
{
    const QImage img
        = paintedCopy(core.FBitmap, core.FLeftMargin, core.FTopMargin, 5, 10, 8, 40, -30);
    const QImage img2 = paintedCopy(img, core.FLeftMargin, core.FTopMargin, 20, 100, 6, 30, 24);
    ASSERT_TRUE(writeFilterImage(img2, files().edited, nullptr));
    ASSERT_TRUE(writeFilterImage(
        img2.copy(0, 0, img2.width() - 1, img2.height()), files().wrongSize, nullptr));
    const QImage other
        = paintedCopy(core.FBitmap, core.FLeftMargin, core.FTopMargin, 40, 60, 12, 50, 20);
    ASSERT_TRUE(writeFilterImage(other, files().edited2, nullptr));
}

// An editor's session that has applied its first save: the sound now differs from the
// one exported, which the next save applies to.
void afterFirstSave(EditorCore& core, uint8_t mode)
{
    opened(core, mode);
    writeEdit(core);
    files().exportSamples = core.FWave->FData;
    files().exportPicture = core.FBitmap.copy();
    ASSERT_TRUE(core.Import(files().edited).ok);
}

std::unique_ptr<EditorTask> prepareSave(EditorCore& core, const QString& picture)
{
    const QImage edited = readFilterImage(picture, files().exportPicture.size(), nullptr);
    return core.prepareImport(edited, files().exportPicture, files().exportSamples);
}

struct Case {
    const char* name;
    std::function<void(EditorCore&)> setup; // the state the command starts from
    std::function<CommandResult(EditorCore&)> sync;
    std::function<std::unique_ptr<EditorTask>(EditorCore&)> prepare;
    bool succeeds = true;
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

CommandResult okResult()
{
    CommandResult r;
    r.ok = true;
    return r;
}

std::vector<Case> cases()
{
    std::vector<Case> c;
    for (uint8_t mode : {kSpectrumView, kCepstrumView}) {
        const bool cep = mode == kCepstrumView;
        c.push_back({cep ? "OpenFirstCepstrum" : "OpenFirstSpectrum",
            [mode](EditorCore& core) { core.SetMode(mode); },
            [](EditorCore& core) { return core.Open(files().voice); },
            [](EditorCore& core) { return core.prepareOpen(files().voice); }});
        c.push_back({cep ? "OpenSecondCepstrum" : "OpenSecondSpectrum",
            [mode](EditorCore& core) {
                ASSERT_TRUE(core.Open(files().other).ok);
                core.SetMode(kCepstrumView);
                core.SetMode(mode);
            },
            [](EditorCore& core) { return core.Open(files().voice); },
            [](EditorCore& core) { return core.prepareOpen(files().voice); }});
        c.push_back({cep ? "ChangeNCepstrum" : "ChangeNSpectrum",
            [mode](EditorCore& core) { opened(core, mode); },
            [](EditorCore& core) {
                core.ChangeFFTLength(512);
                return okResult();
            },
            [](EditorCore& core) { return core.prepareChangeFFTLength(512); }});
        c.push_back({cep ? "InvalidNCepstrum" : "InvalidNSpectrum",
            [mode](EditorCore& core) { opened(core, mode); },
            [](EditorCore& core) {
                core.ChangeFFTLength(1000);
                return okResult();
            },
            [](EditorCore& core) { return core.prepareChangeFFTLength(1000); }});
        c.push_back({cep ? "ImportCepstrum" : "ImportSpectrum",
            [mode](EditorCore& core) {
                opened(core, mode);
                writeEdit(core);
            },
            [](EditorCore& core) { return core.Import(files().edited); },
            [](EditorCore& core) { return core.prepareImport(files().edited); }});
        c.push_back({cep ? "ImportWrongSizeCepstrum" : "ImportWrongSizeSpectrum",
            [mode](EditorCore& core) {
                opened(core, mode);
                writeEdit(core);
            },
            [](EditorCore& core) { return core.Import(files().wrongSize); },
            [](EditorCore& core) { return core.prepareImport(files().wrongSize); }, false});
    }
    for (uint8_t mode : {kSpectrumView, kCepstrumView}) {
        const bool cep = mode == kCepstrumView;
        // the first save of an editor applies to the sound shown
        c.push_back({cep ? "EditorFirstSaveCepstrum" : "EditorFirstSaveSpectrum",
            [mode](EditorCore& core) {
                opened(core, mode);
                writeEdit(core);
                files().exportSamples = core.FWave->FData;
                files().exportPicture = core.FBitmap.copy();
            },
            [](EditorCore& core) { return core.Import(files().edited); },
            [](EditorCore& core) { return prepareSave(core, files().edited); }});
        // a later one to the sound as exported, which the task analyses again
        c.push_back({cep ? "EditorNextSaveCepstrum" : "EditorNextSaveSpectrum",
            [mode](EditorCore& core) { afterFirstSave(core, mode); },
            [](EditorCore& core) {
                core.FWave->FData = files().exportSamples;
                core.RefreshView();
                return core.Import(files().edited2);
            },
            [](EditorCore& core) { return prepareSave(core, files().edited2); }});
    }
    // the spectrum view with the cepstrum of the same analysis kept from an earlier visit
    c.push_back({"ImportSpectrumWithCepstrumKept",
        [](EditorCore& core) {
            opened(core, kCepstrumView);
            core.SetMode(kSpectrumView);
            writeEdit(core);
        },
        [](EditorCore& core) { return core.Import(files().edited); },
        [](EditorCore& core) { return core.prepareImport(files().edited); }});
    // after the hidden resynthesis command the analysis is no longer taken for the sound's
    // own: the task works beside it
    c.push_back({"ImportAfterResynthesis",
        [](EditorCore& core) {
            opened(core, kSpectrumView);
            core.SynthesizeSpectrum();
            writeEdit(core);
        },
        [](EditorCore& core) { return core.Import(files().edited); },
        [](EditorCore& core) { return core.prepareImport(files().edited); }});
    c.push_back({"SwitchToCepstrum", [](EditorCore& core) { opened(core, kSpectrumView); },
        [](EditorCore& core) {
            core.SetMode(kCepstrumView);
            return okResult();
        },
        [](EditorCore& core) { return core.prepareSetMode(kCepstrumView); }});
    c.push_back({"SwitchToCepstrumAgain",
        [](EditorCore& core) {
            opened(core, kCepstrumView);
            core.SetMode(kSpectrumView);
        },
        [](EditorCore& core) {
            core.SetMode(kCepstrumView);
            return okResult();
        },
        [](EditorCore& core) { return core.prepareSetMode(kCepstrumView); }});
    c.push_back({"SwitchToCepstrumWithStaleCepstrum",
        [](EditorCore& core) {
            opened(core, kCepstrumView);
            core.SetMode(kSpectrumView);
            core.ChangeFFTLength(512); // the 1024-point cepstrum stays, stale
        },
        [](EditorCore& core) {
            core.SetMode(kCepstrumView);
            return okResult();
        },
        [](EditorCore& core) { return core.prepareSetMode(kCepstrumView); }});
    c.push_back({"SwitchToSpectrum", [](EditorCore& core) { opened(core, kCepstrumView); },
        [](EditorCore& core) {
            core.SetMode(kSpectrumView);
            return okResult();
        },
        [](EditorCore& core) { return core.prepareSetMode(kSpectrumView); }});
    c.push_back({"OpenMissing", [](EditorCore& core) { opened(core, kCepstrumView); },
        [](EditorCore& core) { return core.Open(files().dir.path() + "/none.wav"); },
        [](EditorCore& core) { return core.prepareOpen(files().dir.path() + "/none.wav"); },
        false});
    return c;
}

class Tasks : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override { ensureGuiApplication(); }
    void start(EditorCore& core)
    {
        core.locale = QLocale::c();
        GetParam().setup(core);
    }
};

// Runs a task on the runner's worker and returns its outcome (or none on a time-out).
std::optional<TaskOutcome> runAsync(EditorTaskRunner& runner, std::unique_ptr<EditorTask> task)
{
    std::optional<TaskOutcome> outcome;
    QEventLoop loop;
    QObject::connect(&runner, &EditorTaskRunner::finished, &loop, [&](const TaskOutcome& o) {
        outcome = o;
        loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    if (!runner.start(std::move(task)))
        return std::nullopt;
    loop.exec();
    return outcome;
}

TEST_P(Tasks, OnAWorkerGiveWhatTheSynchronousCommandGives)
{
    EditorCore syncCore, asyncCore;
    start(syncCore);
    start(asyncCore);
    const CoreSnapshot before(asyncCore, true);
    const CommandResult expected = GetParam().sync(syncCore);

    EditorTaskRunner runner(asyncCore);
    std::vector<int> percents;
    QObject::connect(&runner, &EditorTaskRunner::progress, &runner,
        [&](int percent, const QString&) { percents.push_back(percent); });
    const std::optional<TaskOutcome> outcome = runAsync(runner, GetParam().prepare(asyncCore));
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(runner.isRunning());
    EXPECT_FALSE(outcome->cancelled);
    EXPECT_EQ(outcome->result.ok, GetParam().succeeds) << outcome->result.message.toStdString();
    EXPECT_EQ(outcome->result.ok, expected.ok);
    EXPECT_EQ(outcome->result.message, expected.message);
    EXPECT_EQ(outcome->result.clips.clipped, expected.clips.clipped);
    CoreSnapshot(asyncCore, false).expectEqual(CoreSnapshot(syncCore, false), "async vs sync");
    if (!expected.ok)
        CoreSnapshot(asyncCore, true).expectEqual(before, "failed task");
    if (outcome->kind == EditorTask::Kind::Import && outcome->result.ok) {
        EXPECT_TRUE(*outcome->samplesBefore == before.samples);
    }
    // progress arrives queued: let it in, then it must have risen to 100
    QCoreApplication::processEvents();
    if (expected.ok) {
        ASSERT_FALSE(percents.empty());
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
        EXPECT_EQ(percents.back(), 100);
    }
}

TEST_P(Tasks, CancelAtAnyPassLeavesEverythingAsItWas)
{
    int cancelled = 0;
    for (int k = 0;; ++k) {
        EditorCore core;
        start(core);
        const CoreSnapshot before(core, true);
        std::unique_ptr<EditorTask> task = GetParam().prepare(core);
        TaskControl control;
        int seen = 0;
        control.onProgress = [&](int, const QString&) {
            if (seen++ == k)
                control.cancel();
        };
        core.runTask(*task, control);
        const CommandResult r = core.finishTask(*task);
        if (!task->wasCancelled()) {
            EXPECT_EQ(seen, k) << "every pass was offered to cancel";
            break;
        }
        ++cancelled;
        EXPECT_FALSE(r.ok);
        CoreSnapshot(core, true).expectEqual(before, "cancel at pass " + std::to_string(k));
        ASSERT_LT(k, 40);
    }
    if (GetParam().succeeds) {
        EXPECT_GE(cancelled, 2);
    }
}

TEST_P(Tasks, CancelFromTheRunnerLeavesEverythingAsItWas)
{
    EditorCore core;
    start(core);
    const CoreSnapshot before(core, true);
    EditorTaskRunner runner(core);
    // Cancel at the first progress report, on the worker, before any pass has run.
    QObject::connect(
        &runner, &EditorTaskRunner::progress, &runner, [&] { runner.cancel(); },
        Qt::DirectConnection);
    const std::optional<TaskOutcome> outcome = runAsync(runner, GetParam().prepare(core));
    ASSERT_TRUE(outcome.has_value());
    if (GetParam().succeeds || outcome->cancelled) {
        EXPECT_TRUE(outcome->cancelled);
        EXPECT_FALSE(outcome->result.ok);
    }
    CoreSnapshot(core, true).expectEqual(before, "cancelled on the runner");
}

INSTANTIATE_TEST_SUITE_P(Commands, Tasks, ::testing::ValuesIn(cases()),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(TaskRunner, RefusesASecondTaskAndFinishesOnDestruction)
{
    ensureGuiApplication();
    EditorCore core;
    core.locale = QLocale::c();
    ASSERT_TRUE(core.Open(files().voice).ok);
    const CoreSnapshot before(core, true);
    {
        EditorTaskRunner runner(core);
        ASSERT_TRUE(runner.start(core.prepareSetMode(kCepstrumView)));
        EXPECT_TRUE(runner.isRunning());
        EXPECT_FALSE(runner.start(core.prepareChangeFFTLength(512)));
        // destroyed while running: cancelled and given back, or finished and given back
    }
    EXPECT_EQ(core.FFFTLength, 1024);
    EXPECT_EQ(core.FMode, kSpectrumView);
    CoreSnapshot(core, true).expectEqual(before, "runner destroyed");

    EditorTaskRunner runner(core);
    ASSERT_TRUE(runner.start(core.prepareChangeFFTLength(2048)));
    EXPECT_TRUE(runner.waitAndFinish());
    EXPECT_FALSE(runner.isRunning());
    EXPECT_EQ(core.FFFTLength, 2048);
    EXPECT_EQ(core.FBitmap.height(), 16 + 1025);
    QCoreApplication::processEvents(); // the thread's late notice must not finish anything
    EXPECT_FALSE(runner.waitAndFinish());
}

} // namespace
} // namespace kestrelon::test
