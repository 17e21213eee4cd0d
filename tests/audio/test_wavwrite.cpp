// The WAV writer: canonical header, every sample type, pad byte, and saves that
// fail (missing directory, unwritable place, file size limit, full and read-only
// file systems) without touching an existing file.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include "WavBuilder.h"
#include "audio/TWave.h"

namespace kestrelon {
namespace {

using namespace test;

TWave sound(uint16_t bits, uint16_t channels, uint32_t frames, uint16_t tag = 1)
{
    TWave w;
    w.FFormat.wFormatTag = tag;
    w.FFormat.wBitsPerSample = bits;
    w.FFormat.nChannels = channels;
    w.FFormat.nSamplesPerSec = 44100;
    w.UpdateFormat();
    w.SetSampleCount(frames);
    if (!w.FData.empty())
        w.FData = pattern(w.FData.size(), uint8_t(bits));
    return w;
}

Bytes readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray b = f.readAll();
    return Bytes(b.begin(), b.end());
}

struct SaveCase {
    uint16_t bits;
    uint16_t tag;
    uint16_t channels;
    uint32_t frames;
};

class SaveTest : public ::testing::TestWithParam<SaveCase> { };

TEST_P(SaveTest, WritesCanonicalFileThatLoadsBackIdentically)
{
    const SaveCase c = GetParam();
    const TWave w = sound(c.bits, c.channels, c.frames, c.tag);
    const uint32_t size = w.FDataSize;
    const uint32_t pad = size & 1;
    const Bytes expected
        = riffFile({{"fmt ", fmtBody({c.tag, c.channels, 44100, c.bits})}, {"data", w.FData}});
    ASSERT_EQ(expected.size(), 44u + size + pad);
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
    EXPECT_EQ(back.FSampleCount, w.FSampleCount);
}

INSTANTIATE_TEST_SUITE_P(Types, SaveTest,
    ::testing::Values(SaveCase{8, 1, 1, 0}, SaveCase{8, 1, 1, 7}, SaveCase{8, 1, 3, 5},
        SaveCase{16, 1, 2, 100}, SaveCase{24, 1, 1, 5}, SaveCase{24, 1, 2, 9},
        SaveCase{32, 1, 2, 4}, SaveCase{32, 3, 1, 6}, SaveCase{64, 3, 2, 3}),
    [](const auto& info) {
        const SaveCase& c = info.param;
        return std::string(c.tag == 3 ? "float" : "int") + std::to_string(c.bits) + "x"
            + std::to_string(c.channels) + "_" + std::to_string(c.frames);
    });

TEST(SaveLayoutTest, EmptySoundIs44Bytes)
{
    const Bytes b = TWave().SaveToMemory();
    ASSERT_EQ(b.size(), 44u);
    EXPECT_EQ(b[4], 36);
    EXPECT_EQ(b[40] | b[41] | b[42] | b[43], 0);
}

TEST(SaveLayoutTest, OddDataGetsPadByteCountedInRiffSize)
{
    const TWave w = sound(8, 1, 7);
    const Bytes b = w.SaveToMemory();
    ASSERT_EQ(b.size(), 52u);
    EXPECT_EQ(b[4], 44); // 36 + 7 + 1
    EXPECT_EQ(b[40], 7); // the data size itself
    EXPECT_EQ(b[51], 0);
}

// A file at `path` that must survive failed saves byte for byte.
Bytes placeExisting(const QString& path)
{
    const TWave old = sound(16, 1, 10);
    EXPECT_TRUE(old.SaveToFile(path));
    return readFile(path);
}

TEST(SaveFailureTest, MissingDirectory)
{
    QTemporaryDir dir;
    QString reason;
    EXPECT_FALSE(sound(16, 2, 10).SaveToFile(dir.filePath("no/such/dir/x.wav"), &reason));
    EXPECT_TRUE(reason.startsWith("cannot create: ")) << reason.toStdString();
    EXPECT_FALSE(QDir(dir.filePath("no")).exists());
}

TEST(SaveFailureTest, PlaceNobodyCanWrite)
{
    QString reason;
    EXPECT_FALSE(sound(16, 2, 10).SaveToFile("/proc/kestrelon-test.wav", &reason));
    EXPECT_TRUE(reason.startsWith("cannot create: ")) << reason.toStdString();
    EXPECT_FALSE(QFile::exists("/proc/kestrelon-test.wav"));
}

TEST(SaveFailureTest, FileSizeLimitLeavesExistingFileUntouched)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("keep.wav");
    const Bytes before = placeExisting(path);
    ASSERT_FALSE(before.empty());

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

// A small tmpfs in a mount namespace of this process only; skipped where the
// machine does not allow mounting.
class SmallFileSystem : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        if (unshare(CLONE_NEWNS) != 0
            || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || mount("tmpfs", dir_.path().toLocal8Bit().constData(), "tmpfs", 0, "size=64k") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
        mounted_ = true;
    }
    void TearDown() override
    {
        if (mounted_)
            umount2(dir_.path().toLocal8Bit().constData(), MNT_DETACH);
    }
    QTemporaryDir dir_;
    bool mounted_ = false;
};

TEST_F(SmallFileSystem, FullDiskLeavesExistingFileUntouched)
{
    const QString path = dir_.filePath("keep.wav");
    const Bytes before = placeExisting(path);
    ASSERT_FALSE(before.empty());
    QString reason;
    EXPECT_FALSE(sound(16, 2, 50000).SaveToFile(path, &reason)); // 200 kB into 64 kB
    EXPECT_EQ(reason, "cannot write: No space left on device");
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.wav"});
}

TEST_F(SmallFileSystem, ReadOnlyFileSystemLeavesExistingFileUntouched)
{
    const QString path = dir_.filePath("keep.wav");
    const Bytes before = placeExisting(path);
    ASSERT_EQ(mount("tmpfs", dir_.path().toLocal8Bit().constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                  nullptr),
        0);
    QString reason;
    EXPECT_FALSE(sound(16, 2, 10).SaveToFile(path, &reason));
    EXPECT_TRUE(reason.startsWith("cannot create: ")) << reason.toStdString();
    EXPECT_EQ(readFile(path), before);
}

} // namespace
} // namespace kestrelon
