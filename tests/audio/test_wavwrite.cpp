// The WAV writer: canonical header, every sample type, pad byte, and saves that
// fail (missing directory, unwritable place, file size limit, full and read-only
// file systems) without touching an existing file.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <csignal>
#include <cstring>
#include <memory>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include "WavBuilder.h"

namespace kestrelon {
namespace {

using namespace test;

TWave sound(uint16_t bits, uint16_t channels, uint32_t frames, uint16_t tag = 1)
{
    TWave w = makeWave(bits, channels, frames, tag, 44100);
    w.FData = pattern(w.FData.size(), uint8_t(bits));
    return w;
}

struct SaveCase {
    uint16_t bits, tag, channels;
    uint32_t frames;
};

class SaveTest : public ::testing::TestWithParam<SaveCase> { };

// Odd data sizes get the pad byte, counted in the RIFF size (the builder adds both).
TEST_P(SaveTest, WritesCanonicalFileThatLoadsBackIdentically)
{
    const SaveCase c = GetParam();
    const TWave w = sound(c.bits, c.channels, c.frames, c.tag);
    const Bytes expected
        = riffFile({{"fmt ", fmtBody({c.tag, c.channels, 44100, c.bits})}, {"data", w.FData}});
    ASSERT_EQ(expected.size(), 44u + w.FDataSize + (w.FDataSize & 1));
    EXPECT_EQ(w.SaveToMemory(), expected);

    QTemporaryDir dir;
    const QString path = dir.filePath("out.wav");
    QString reason = "stale";
    ASSERT_TRUE(w.SaveToFile(path, &reason));
    EXPECT_TRUE(reason.isEmpty());
    EXPECT_EQ(readFile(path), expected);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"out.wav"});

    TWave back;
    ASSERT_EQ(back.LoadFromFile(path), kLoadOk);
    EXPECT_EQ(std::memcmp(&back.FFormat, &w.FFormat, sizeof(WAVEFORMATEX)), 0);
    EXPECT_EQ(back.FData, w.FData);
}

INSTANTIATE_TEST_SUITE_P(Types, SaveTest,
    ::testing::ValuesIn(
        std::vector<SaveCase>{{8, 1, 1, 0}, {8, 1, 1, 7}, {8, 1, 3, 5}, {16, 1, 2, 100},
            {24, 1, 1, 5}, {24, 1, 2, 9}, {32, 1, 2, 4}, {32, 3, 1, 6}, {64, 3, 2, 3}}),
    [](const auto& info) {
        const SaveCase& c = info.param;
        return std::string(c.tag == 3 ? "float" : "int") + std::to_string(c.bits) + "x"
            + std::to_string(c.channels) + "_" + std::to_string(c.frames);
    });

TEST(SaveFailureTest, PlacesThatCannotBeCreated)
{
    QTemporaryDir dir;
    for (const QString& path : {dir.filePath("no/such/dir/x.wav"), QStringLiteral("/proc/k.wav")}) {
        QString reason;
        EXPECT_FALSE(sound(16, 2, 10).SaveToFile(path, &reason));
        EXPECT_TRUE(reason.startsWith("cannot create: ")) << reason.toStdString();
        EXPECT_FALSE(QFile::exists(path));
    }
    EXPECT_FALSE(QDir(dir.filePath("no")).exists());
}

// A file at `path` that must survive failed saves byte for byte.
Bytes placeExisting(const QString& path)
{
    EXPECT_TRUE(sound(16, 1, 10).SaveToFile(path));
    return readFile(path);
}

TEST(SaveFailureTest, FileSizeLimitLeavesExistingFileUntouched)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("keep.wav");
    const Bytes before = placeExisting(path);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString reason;
    const bool saved = sound(16, 2, 50000).SaveToFile(path, &reason);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(saved);
    EXPECT_EQ(reason, "cannot write: File too large");
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"keep.wav"});
}

// A 64 kB tmpfs in a mount namespace of this process only (skipped where the machine
// does not allow mounting): 200 kB into it, then the same file system read-only. Both
// saves fail with their cause and leave the file as it was, with no temporary file beside.
TEST(SaveFailureTest, FullOrReadOnlyFileSystemLeavesExistingFileUntouched)
{
    QTemporaryDir dir;
    const QByteArray mountPoint = dir.path().toLocal8Bit();
    if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
        || mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    const std::shared_ptr<void> unmount(
        nullptr, [&](void*) { umount2(mountPoint.constData(), MNT_DETACH); });
    const QString path = dir.filePath("keep.wav");
    const Bytes before = placeExisting(path);
    ASSERT_FALSE(before.empty());

    QString reason;
    EXPECT_FALSE(sound(16, 2, 50000).SaveToFile(path, &reason));
    EXPECT_EQ(reason, "cannot write: No space left on device");
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.wav"});

    ASSERT_EQ(mount("tmpfs", mountPoint.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_FALSE(sound(16, 2, 10).SaveToFile(path, &reason));
    EXPECT_TRUE(reason.startsWith("cannot create: ")) << reason.toStdString();
    EXPECT_EQ(readFile(path), before);
}

} // namespace
} // namespace kestrelon
