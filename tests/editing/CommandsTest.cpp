// The commands as functions from a document to a new document: on a worker they give what
// they give on the calling thread, a cancel at any point leaves no new document and the
// old one as it was, and undo and redo give back the documents of both ends exactly.

#include <algorithm>
#include <atomic>
#include <functional>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "../MessageText.h"
#include "../imaging/GuiEnvironment.h"
#include "EditingTestSupport.h"
#include "base/Cancel.h"
#include "editing/CommandRunner.h"
#include "editing/History.h"
#include "imaging/FilterImage.h"

namespace kestrelon::test {
namespace {

struct Files {
    QTemporaryDir dir;
    QString voice, other, edited, wrongSize, edited2;
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

DocumentPtr opened(uint8_t mode)
{
    return done(cDocument(1024, mode)->Open(files().voice));
}

// Two edits of a picture: darker and lighter cells, and another block lighter.
QImage edit(const Document& d, int which)
{
    const int l = d.FLeftMargin, t = d.FTopMargin;
    if (which == 2)
        return paintedCopy(d.FBitmap, l, t, 40, 60, 12, 50, 20);
    return paintedCopy(paintedCopy(d.FBitmap, l, t, 5, 10, 8, 40, -30), l, t, 20, 100, 6, 30, 24);
}

// Writes edit 1 of the picture shown (and a picture one column short).
DocumentPtr withEdits(DocumentPtr d)
{
    const QImage img = edit(*d, 1);
    EXPECT_TRUE(writeFilterImage(img, files().edited, nullptr));
    EXPECT_TRUE(writeFilterImage(
        img.copy(0, 0, img.width() - 1, img.height()), files().wrongSize, nullptr));
    return d;
}

// The state an editor's session starts from, and the document after its first save.
struct Session {
    DocumentPtr exported, afterFirst;
};
Session session(uint8_t mode)
{
    Session s;
    s.exported = opened(mode);
    s.afterFirst = done(s.exported->ImportEdited(edit(*s.exported, 1), *s.exported));
    return s;
}

// An import and the step it made.
struct Imported {
    DocumentPtr before, after;
    std::shared_ptr<const SampleChange> change;
};
Imported imported(uint8_t mode)
{
    Imported i;
    i.before = withEdits(opened(mode));
    const CommandResult r = i.before->Import(files().edited);
    EXPECT_TRUE(r.ok) << en(r.message).toStdString();
    i.after = r.document;
    i.change = r.change;
    return i;
}

struct Case {
    const char* name;
    std::function<DocumentPtr()> setup; // the document the command starts from
    std::function<CommandResult(const DocumentPtr&, const PassFn&)> command;
    bool succeeds = true;
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

std::vector<Case> cases()
{
    std::vector<Case> c;
    for (uint8_t mode : {kSpectrumView, kCepstrumView}) {
        const bool cep = mode == kCepstrumView;
        c.push_back({cep ? "OpenFirstCepstrum" : "OpenFirstSpectrum",
            [mode] { return cDocument(1024, mode); },
            [](const DocumentPtr& d, const PassFn& p) { return d->Open(files().voice, p); }});
        c.push_back({cep ? "OpenSecondCepstrum" : "OpenSecondSpectrum",
            [mode] {
                return done(
                    done(cDocument(1024, kCepstrumView)->Open(files().other))->SetMode(mode));
            },
            [](const DocumentPtr& d, const PassFn& p) { return d->Open(files().voice, p); }});
        c.push_back({cep ? "ChangeNCepstrum" : "ChangeNSpectrum", [mode] { return opened(mode); },
            [](const DocumentPtr& d, const PassFn& p) { return d->ChangeFFTLength(512, p); }});
        c.push_back({cep ? "ImportCepstrum" : "ImportSpectrum",
            [mode] { return withEdits(opened(mode)); },
            [](const DocumentPtr& d, const PassFn& p) { return d->Import(files().edited, p); }});
        c.push_back({cep ? "ImportWrongSizeCepstrum" : "ImportWrongSizeSpectrum",
            [mode] { return withEdits(opened(mode)); },
            [](const DocumentPtr& d, const PassFn& p) { return d->Import(files().wrongSize, p); },
            false});
        // an editor's first save applies to the sound shown, a later one to the sound as
        // exported
        c.push_back({cep ? "EditorFirstSaveCepstrum" : "EditorFirstSaveSpectrum",
            [mode] { return opened(mode); },
            [](const DocumentPtr& d, const PassFn& p) {
                return d->ImportEdited(edit(*d, 1), *d, p);
            }});
        c.push_back({cep ? "EditorNextSaveCepstrum" : "EditorNextSaveSpectrum",
            [mode] { return session(mode).afterFirst; },
            [mode](const DocumentPtr& d, const PassFn& p) {
                const Session s = session(mode);
                return d->ImportEdited(edit(*s.exported, 2), *s.exported, p);
            }});
        c.push_back({cep ? "UndoCepstrum" : "UndoSpectrum", [mode] { return imported(mode).after; },
            [mode](const DocumentPtr& d, const PassFn& p) {
                return d->Undo(*imported(mode).change, p);
            }});
        c.push_back(
            {cep ? "RedoCepstrum" : "RedoSpectrum", [mode] { return imported(mode).before; },
                [mode](const DocumentPtr& d, const PassFn& p) {
                    return d->Redo(*imported(mode).change, p);
                }});
        c.push_back({cep ? "HiddenAnalysisCepstrum" : "HiddenAnalysisSpectrum",
            [mode] { return opened(mode); },
            [](const DocumentPtr& d, const PassFn& p) { return d->AnalyzeAndDrawSpectrum(p); }});
    }
    c.push_back({"SwitchToCepstrum", [] { return opened(kSpectrumView); },
        [](const DocumentPtr& d, const PassFn& p) { return d->SetMode(kCepstrumView, p); }});
    c.push_back({"SwitchToSpectrumAgain",
        [] { return done(opened(kSpectrumView)->SetMode(kCepstrumView)); },
        [](const DocumentPtr& d, const PassFn& p) { return d->SetMode(kSpectrumView, p); }});
    c.push_back({"HiddenResynthesis", [] { return opened(kSpectrumView); },
        [](const DocumentPtr& d, const PassFn& p) { return d->SynthesizeSpectrum(p); }});
    c.push_back({"OpenMissing", [] { return opened(kCepstrumView); },
        [](const DocumentPtr& d, const PassFn& p) {
            return d->Open(files().dir.path() + "/none.wav", p);
        },
        false});
    return c;
}

class Commands : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override { ensureGuiApplication(); }
    DocumentPtr start() const { return GetParam().setup(); }
    Command command(const DocumentPtr& d) const
    {
        return [d, c = GetParam().command](const PassFn& p) { return c(d, p); };
    }
};

// Runs a command on the runner's worker; none on a time-out.
std::optional<CommandResult> runAsync(CommandRunner& runner, Command command)
{
    std::optional<CommandResult> result;
    QEventLoop loop;
    QObject::connect(&runner, &CommandRunner::finished, &loop, [&](const CommandResult& r) {
        result = r;
        loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    if (!runner.start(std::move(command)))
        return std::nullopt;
    loop.exec();
    return result;
}

TEST_P(Commands, OnAWorkerGiveWhatTheCallingThreadGives)
{
    const DocumentPtr input = start();
    const DocSnapshot before(*input);
    const CommandResult expected = runCommand(command(input));

    CommandRunner runner;
    std::vector<int> percents;
    QObject::connect(&runner, &CommandRunner::progress, &runner,
        [&](int percent, const QString&) { percents.push_back(percent); });
    const std::optional<CommandResult> result = runAsync(runner, command(input));
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(runner.isRunning());
    EXPECT_FALSE(result->cancelled);
    EXPECT_EQ(result->ok, GetParam().succeeds) << en(result->message).toStdString();
    EXPECT_EQ(result->ok, expected.ok);
    EXPECT_EQ(result->message, expected.message);
    EXPECT_EQ(result->clips.clipped, expected.clips.clipped);
    EXPECT_EQ(result->change != nullptr, expected.change != nullptr);
    DocSnapshot(*input).expectEqual(before, "the input document");
    if (!expected.ok) {
        EXPECT_EQ(result->document, nullptr);
        return;
    }
    DocSnapshot(*result->document).expectEqual(DocSnapshot(*expected.document), "worker");
    // progress arrives queued: let it in, then it must have risen to 100
    QCoreApplication::processEvents();
    ASSERT_FALSE(percents.empty());
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.back(), 100);
}

TEST_P(Commands, CancelAtAnyPointLeavesNoDocumentAndTheOldOneAsItWas)
{
    const DocumentPtr input = start();
    const DocSnapshot before(*input);
    int cancelled = 0;
    for (int k = 0;; ++k) {
        std::atomic<bool> flag{false};
        int seen = 0;
        const CancelScope scope(&flag);
        const CommandResult r = runCommand(command(input), [&](int, const QString&) {
            if (seen++ == k)
                flag = true;
        });
        DocSnapshot(*input).expectEqual(before, "cancel at report " + std::to_string(k));
        if (!r.cancelled) {
            EXPECT_GE(k, seen - 1) << "a cancel before the last report was not noticed";
            EXPECT_EQ(r.ok, GetParam().succeeds);
            break;
        }
        ++cancelled;
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.document, nullptr);
        EXPECT_EQ(r.change, nullptr);
        ASSERT_LT(k, 60);
    }
    if (GetParam().succeeds) {
        EXPECT_GE(cancelled, 1);
    }
}

TEST_P(Commands, CancelFromTheRunnerLeavesNoDocument)
{
    const DocumentPtr input = start();
    const DocSnapshot before(*input);
    CommandRunner runner;
    // Cancel at the first progress report, on the worker.
    QObject::connect(
        &runner, &CommandRunner::progress, &runner, [&] { runner.cancel(); }, Qt::DirectConnection);
    const std::optional<CommandResult> result = runAsync(runner, command(input));
    ASSERT_TRUE(result.has_value());
    if (GetParam().succeeds || result->cancelled) {
        EXPECT_TRUE(result->cancelled);
        EXPECT_FALSE(result->ok);
        EXPECT_EQ(result->document, nullptr);
    }
    DocSnapshot(*input).expectEqual(before, "cancelled on the runner");
}

INSTANTIATE_TEST_SUITE_P(All, Commands, ::testing::ValuesIn(cases()),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

class UndoRedo : public ::testing::TestWithParam<uint8_t> {
protected:
    void SetUp() override { ensureGuiApplication(); }
};

// Undo gives back the document before the import, redo the one after it, exactly; after a
// change of N they give what the other N shows of those sounds.
TEST_P(UndoRedo, RestoreBothEndsExactly)
{
    const Imported i = imported(GetParam());
    ASSERT_TRUE(i.after->FWave->FData != i.before->FWave->FData);
    const DocumentPtr undone = done(i.after->Undo(*i.change));
    DocSnapshot(*undone).expectShows(DocSnapshot(*i.before), "undo");
    const DocumentPtr redone = done(undone->Redo(*i.change));
    DocSnapshot(*redone).expectShows(DocSnapshot(*i.after), "redo");
    // with the snapshots the history keeps, the same documents, their cells installed
    const DocumentPtr installed
        = done(i.after->Undo(*i.change, {}, i.before->withoutSound().get()));
    DocSnapshot(*installed).expectShows(DocSnapshot(*i.before), "undo with a snapshot");
    EXPECT_EQ(installed->cells[GetParam()], i.before->cells[GetParam()]);
    const DocumentPtr reinstalled
        = done(installed->Redo(*i.change, {}, i.after->withoutSound().get()));
    DocSnapshot(*reinstalled).expectShows(DocSnapshot(*i.after), "redo with a snapshot");

    const DocumentPtr at512 = done(i.after->ChangeFFTLength(512));
    const DocumentPtr undone512 = done(at512->Undo(*i.change));
    DocSnapshot(*undone512)
        .expectShows(DocSnapshot(*done(i.before->ChangeFFTLength(512))), "undo at another N");
    // a step that does not start from the sound shown is refused
    const CommandResult wrong
        = runCommand([&](const PassFn&) { return i.before->Undo(*i.change); });
    EXPECT_FALSE(wrong.ok);
    EXPECT_TRUE(en(wrong.message).contains("not the one")) << en(wrong.message).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Views, UndoRedo, ::testing::Values(kSpectrumView, kCepstrumView),
    [](const auto& info) { return info.param == kSpectrumView ? "Spectrum" : "Cepstrum"; });

TEST(Runner, RefusesASecondCommandAndCancelsOnDestruction)
{
    ensureGuiApplication();
    const DocumentPtr input = opened(kSpectrumView);
    const DocSnapshot before(*input);
    {
        CommandRunner runner;
        ASSERT_TRUE(
            runner.start([input](const PassFn& p) { return input->SetMode(kCepstrumView, p); }));
        EXPECT_TRUE(runner.isRunning());
        EXPECT_FALSE(
            runner.start([input](const PassFn& p) { return input->ChangeFFTLength(512, p); }));
        // destroyed while running: cancelled and waited for
    }
    DocSnapshot(*input).expectEqual(before, "runner destroyed");

    CommandRunner runner;
    std::optional<CommandResult> result;
    QObject::connect(
        &runner, &CommandRunner::finished, &runner, [&](const CommandResult& r) { result = r; });
    ASSERT_TRUE(runner.start([input](const PassFn& p) { return input->ChangeFFTLength(2048, p); }));
    EXPECT_TRUE(runner.waitForFinished());
    EXPECT_FALSE(runner.isRunning());
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->document->FBitmap.height(), 16 + 1025);
    result.reset();
    // The first command's late notice, arriving while a second one runs, delivers nothing.
    std::atomic<bool> release{false};
    ASSERT_TRUE(runner.start([input, &release](const PassFn& p) {
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return input->ChangeFFTLength(512, p);
    }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(result.has_value());
    release = true;
    EXPECT_TRUE(runner.waitForFinished());
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->document->FFFTLength, 512);
    EXPECT_FALSE(runner.waitForFinished());
}

} // namespace
} // namespace kestrelon::test
