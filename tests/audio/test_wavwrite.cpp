// The WAV writer: canonical header, every sample type, pad byte, permissions of a
// replaced file, and saves that fail (missing directory, unwritable place, names that
// are not plain files, file size limit, full and read-only file systems) without
// touching an existing file.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <csignal>
#include <cstring>
#include <memory>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "WavBuilder.h"
#include "audio/SoundFile.h"

namespace kestrelon {
namespace {

using namespace test;

TWave sound(uint16_t bits, uint16_t channels, uint32_t frames, uint16_t tag = 1)
{
    TWave w = makeWave(bits, channels, frames, tag, 44100);
    w.FData = pattern(w.FData.size(), uint8_t(bits));
    return w;
}

// A file at `path` that must survive failed saves byte for byte.
Bytes placeExisting(const QString& path)
{
    EXPECT_TRUE(sound(16, 1, 10).SaveToFile(path));
    return readFile(path);
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
    ::testing::ValuesIn(std::vector<SaveCase>{{8, 1, 1, 0}, {8, 1, 1, 7}, {8, 1, 3, 5},
        {16, 1, 2, 100}, {24, 1, 1, 5}, {24, 1, 2, 9}, {32, 1, 2, 4}, {40, 1, 1, 3}, {48, 1, 2, 5},
        {56, 1, 1, 1}, {64, 1, 3, 2}, {32, 3, 1, 6}, {64, 3, 2, 3}}),
    [](const auto& info) {
        const SaveCase& c = info.param;
        return std::string(c.tag == 3 ? "float" : "int") + std::to_string(c.bits) + "x"
            + std::to_string(c.channels) + "_" + std::to_string(c.frames);
    });

// Names a save refuses: the reason names the cause, and the folder holds what it did
// before (a FIFO stays a FIFO, a folder stays empty).
TEST(SaveFailureTest, RefusedNamesChangeNothing)
{
    QTemporaryDir dir;
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    const QStringList entries = QDir(dir.path()).entryList(QDir::AllEntries | QDir::System);
    const std::pair<QString, const char*> cases[]
        = {{dir.filePath("no/such/dir/x.wav"), "cannot create: "},
            {QStringLiteral("/proc/k.wav"), "cannot create: "},
            {dir.filePath("new.wav/"), "cannot write: names a folder, not a file"},
            {dir.filePath("folder"), "cannot write: names a folder, not a file"},
            {dir.filePath("fifo"), "cannot write: is not a regular file"}};
    for (const auto& [path, cause] : cases) {
        QString reason;
        EXPECT_FALSE(sound(16, 2, 10).SaveToFile(path, &reason));
        EXPECT_TRUE(reason.startsWith(cause)) << reason.toStdString();
    }
    EXPECT_FALSE(QFile::exists("/proc/k.wav"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System), entries);
    EXPECT_TRUE(QDir(dir.filePath("folder")).isEmpty());
    struct stat st { };
    EXPECT_TRUE(stat(QFile::encodeName(dir.filePath("fifo")).constData(), &st) == 0
        && S_ISFIFO(st.st_mode));
}

// A replaced file keeps its permission bits, read-only or odd ones included.
TEST(SaveTest, ReplacedFileKeepsItsPermissions)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("kept.wav");
    const QByteArray name = QFile::encodeName(path);
    for (const mode_t mode : {0444, 0751, 0600}) {
        placeExisting(path);
        ASSERT_EQ(chmod(name.constData(), mode), 0);
        const TWave w = sound(24, 2, 9);
        ASSERT_TRUE(w.SaveToFile(path));
        EXPECT_EQ(readFile(path), w.SaveToMemory());
        struct stat st { };
        ASSERT_EQ(stat(name.constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
    }
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

// The RF64 file of a data block, laid out by hand: ds64 holds the 64-bit sizes.
Bytes rf64File(const FmtFields& f, const Bytes& data)
{
    const uint64_t size = data.size(), pad = size & 1;
    const uint16_t align = uint16_t(f.bits / 8 * f.channels);
    Bytes b;
    putId(b, "RF64");
    put32(b, 0xFFFFFFFFu);
    putId(b, "WAVE");
    putId(b, "ds64");
    put32(b, 28);
    for (const uint64_t v : {72 + size + pad, size, size / align}) {
        put32(b, uint32_t(v));
        put32(b, uint32_t(v >> 32));
    }
    put32(b, 0);
    putId(b, "fmt ");
    put32(b, 16);
    const Bytes body = fmtBody(f);
    b.insert(b.end(), body.begin(), body.end());
    putId(b, "data");
    put32(b, 0xFFFFFFFFu);
    b.insert(b.end(), data.begin(), data.end());
    if (pad)
        b.push_back(0);
    return b;
}

// Blocks beyond the threshold are saved as RF64 (odd sizes padded) and read back through
// libsndfile; up to it, and in any case up to kLargestRiffData, as a canonical WAV.
TEST(Rf64, LargerBlocksAreSavedAsRf64AndReadBack)
{
    struct Restore {
        ~Restore() { setRf64Threshold(kLargestRiffData); }
    } restore;
    QTemporaryDir dir;
    for (const SaveCase c : {SaveCase{16, 1, 2, 1000}, SaveCase{8, 1, 1, 1001},
             SaveCase{24, 1, 3, 500}, SaveCase{32, 3, 2, 300}}) {
        const TWave w = sound(c.bits, c.channels, c.frames, c.tag);
        const FmtFields f{c.tag, c.channels, 44100, c.bits};
        setRf64Threshold(w.FData.size());
        EXPECT_EQ(w.SaveToMemory(), riffFile({{"fmt ", fmtBody(f)}, {"data", w.FData}}));
        setRf64Threshold(w.FData.size() - 1);
        EXPECT_EQ(w.SaveToMemory(), rf64File(f, w.FData)) << c.bits << " bits";
        const QString path = dir.filePath("big.wav");
        ASSERT_TRUE(w.SaveToFile(path));
        EXPECT_EQ(readFile(path), rf64File(f, w.FData));
        TWave back;
        WaveLoadReport report;
        ASSERT_EQ(loadSound(path, back, &report), kLoadOk) << report.message.toStdString();
        EXPECT_TRUE(back.FData == w.FData) << c.bits << " bits";
        EXPECT_EQ(std::memcmp(&back.FFormat, &w.FFormat, sizeof w.FFormat), 0);
    }
    // sizes no TWave holds: the header alone
    setRf64Threshold(kLargestRiffData);
    WAVEFORMATEX f = sound(16, 2, 0).FFormat;
    const Bytes largest = wavFileHeader(f, kLargestRiffData);
    ASSERT_EQ(largest.size(), 44u);
    EXPECT_EQ(
        largest[4] | largest[5] << 8 | largest[6] << 16 | uint32_t(largest[7]) << 24, 0xFFFFFFFEu);
    const uint64_t five = uint64_t(5) << 30; // 5 GiB
    const Bytes big = wavFileHeader(f, five);
    Bytes expected = rf64File({1, 2, 44100, 16}, {});
    for (int i = 0; i < 8; ++i) {
        expected[std::size_t(20 + i)] = uint8_t((72 + five) >> (8 * i));
        expected[std::size_t(28 + i)] = uint8_t(five >> (8 * i));
        expected[std::size_t(36 + i)] = uint8_t((five / 4) >> (8 * i));
    }
    EXPECT_EQ(big, expected);
    setRf64Threshold(UINT64_MAX);
    EXPECT_EQ(wavFileHeader(f, kLargestRiffData + 1).size(), 80u)
        << "never a RIFF size past 32 bits";
}

} // namespace
} // namespace kestrelon
