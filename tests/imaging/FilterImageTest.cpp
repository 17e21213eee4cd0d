#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtEndian>

#include "../MessageText.h"
#include "GuiEnvironment.h"
#include "HandAnalysis.h"
#include "imaging/FilterImage.h"
#include "imaging/PictureCells.h"

namespace kestrelon::test {
namespace {

uint32_t le32(const QByteArray& b, int at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | uint8_t(b[at + i]);
    return v;
}

QByteArray png(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray pngChunk(const char* type, const QByteArray& data)
{
    QByteArray c(4, '\0');
    qToBigEndian(uint32_t(data.size()), c.data());
    c += type + data;
    const auto* p = reinterpret_cast<const Bytef*>(c.constData() + 4);
    QByteArray crc(4, '\0');
    qToBigEndian(uint32_t(crc32(0, p, uInt(c.size() - 4))), crc.data());
    return c + crc;
}

// A PNG of `size` with the given filtered rows (8 bits per sample), compressed, the
// stream's checksum spoilt when `badChecksum`, and `chunks` before the pixel data.
QByteArray pngFile(QSize size, int colourType, const QByteArray& raw, const QByteArray& chunks = {},
    bool badChecksum = false)
{
    QByteArray idat(qsizetype(compressBound(uLong(raw.size()))), '\0');
    uLongf length = uLongf(idat.size());
    compress2(reinterpret_cast<Bytef*>(idat.data()), &length,
        reinterpret_cast<const Bytef*>(raw.constData()), uLong(raw.size()), 9);
    idat.resize(qsizetype(length));
    if (badChecksum)
        idat[idat.size() - 1] = char(idat[idat.size() - 1] ^ 1);
    QByteArray header(13, '\0');
    qToBigEndian(uint32_t(size.width()), header.data());
    qToBigEndian(uint32_t(size.height()), header.data() + 4);
    header[8] = 8;
    header[9] = char(colourType);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + chunks
        + pngChunk("IDAT", idat) + pngChunk("IEND", {});
}

// An 8-bit gray PNG of the picture's blue bytes (rows unfiltered, `filter` as the third
// row's filter type) whose compressed stream holds `extra` zero bytes after the rows,
// followed by an IDAT chunk of `padding` bytes; `chunks` stand before the pixel data.
QByteArray grayPng(const QImage& image, int extra = 0, int padding = 0,
    const QByteArray& chunks = {}, char filter = 0)
{
    QByteArray raw;
    for (int y = 0; y < image.height(); ++y) {
        raw += y == 2 ? filter : '\0';
        for (int x = 0; x < image.width(); ++x)
            raw += char(qBlue(image.pixel(x, y)));
    }
    raw += QByteArray(extra, '\0');
    QByteArray file = pngFile(image.size(), 0, raw, chunks);
    if (padding > 0)
        file.insert(file.size() - 12, pngChunk("IDAT", QByteArray(padding, '\0')));
    return file;
}

// What Qt's reader alone makes of a file, in 24-bit colour.
QImage plainQt(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImage image = QImageReader(&buffer).read().convertToFormat(QImage::Format_RGB32);
    image.setColorSpace({}); // of the chunks import leaves out; the pixels are as they are
    return image;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Sends this process's stderr to a file while it lives.
class StderrTo {
public:
    explicit StderrTo(int fd)
        : FSaved(dup(2))
    {
        std::fflush(stderr);
        dup2(fd, 2);
    }
    ~StderrTo()
    {
        std::fflush(stderr);
        dup2(FSaved, 2);
        close(FSaved);
    }
    StderrTo(const StderrTo&) = delete;
    StderrTo& operator=(const StderrTo&) = delete;

private:
    int FSaved;
};

// A display-like picture whose red and green differ from blue, so a writer that
// takes anything but the blue byte shows. With fewer levels than 256 the blues are
// spread evenly from 0 to 255.
QImage patterned(int w, int h, int levels = 256)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int blue = levels == 256 ? (x * 5 + y * 11) % 256
                                           : (x + 3 * y) % levels * 255 / (levels - 1);
            image.setPixel(x, y, qRgb((x + y) & 255, (x * 3) & 255, blue));
        }
    return image;
}

class FilterFile : public ::testing::TestWithParam<int> { };

// The exported file, byte for byte, for widths with 0 .. 3 padding bytes per row.
TEST_P(FilterFile, LayoutByteForByte)
{
    const int W = GetParam();
    const int H = 529;
    const QImage image = patterned(W, H);
    const QByteArray b = encodeFilterImage(image);
    const int S = (3 * W + 3) / 4 * 4;
    ASSERT_EQ(b.size(), 1078 + S * H);
    EXPECT_EQ(b.left(2), "BM");
    // offset -> value of the 32-bit fields; offsets 26 and 28 hold 16-bit planes and bits
    const std::pair<int, uint32_t> fields[]
        = {{2, 1078 + S * H}, {6, 0}, {10, 1078}, {14, 40}, {18, W}, {22, H}, {26, 1 | 24 << 16},
            {30, 0}, {34, S * H}, {38, 0}, {42, 0}, {46, 256}, {50, 0}};
    for (auto [at, value] : fields)
        EXPECT_EQ(le32(b, at), value) << "offset " << at;
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(le32(b, 54 + 4 * i), uint32_t(i * 0x010101)) << "gray entry " << i;
    for (int row = 0; row < H; ++row) {
        const int y = H - 1 - row; // bottom row first
        const int at = 1078 + row * S;
        for (int x = 0; x < W; ++x) {
            const uint8_t blue = uint8_t(qBlue(image.pixel(x, y)));
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(uint8_t(b[at + 3 * x + c]), blue) << x << "," << y;
        }
        for (int p = 3 * W; p < S; ++p)
            ASSERT_EQ(b[at + p], 0) << "padding of row " << row;
    }
}

// 148: a hundred frames of 1024 points, 235 954 bytes.
INSTANTIATE_TEST_SUITE_P(Widths, FilterFile, ::testing::Values(148, 149, 150, 151));

TEST(FilterFile, WrittenAtomicallyAndReportedWhenImpossible)
{
    QTemporaryDir dir;
    const QImage image = patterned(60, 40);
    const QString path = dir.filePath("voice_s1024.bmp");
    Message reason;
    ASSERT_TRUE(writeFilterImage(image, path, &reason)) << en(reason).toStdString();
    EXPECT_EQ(readAll(path), encodeFilterImage(image));
    // a gray picture (as documents hold them), written in several strips of rows: the
    // bytes of the same picture in 32-bit colour
    const QImage gray = patterned(2001, 1100).convertToFormat(QImage::Format_Grayscale8);
    ASSERT_TRUE(writeFilterImage(gray, path, &reason)) << en(reason).toStdString();
    EXPECT_TRUE(readAll(path) == encodeFilterImage(gray.convertToFormat(QImage::Format_RGB32)));

    const QString impossible = dir.filePath("no/such/dir/x.bmp");
    EXPECT_FALSE(writeFilterImage(image, impossible, &reason));
    EXPECT_TRUE(en(reason).contains(impossible)) << en(reason).toStdString();
    EXPECT_FALSE(QFile::exists(impossible));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"voice_s1024.bmp"})
        << "no temporary file left behind";
}

// Export over what is there: a FIFO and a name ending in '/' are refused and left as they
// are; an existing file (read-only) is replaced with its permission bits kept. On a full
// file system (a 64 KiB tmpfs in a mount namespace of this process, where the machine allows
// one) the cause is errno's text, and the old file stays with no temporary file beside it.
TEST(FilterFile, ExportOverWhatIsThere)
{
    QTemporaryDir dir;
    const QImage image = patterned(60, 40);
    const QString fifo = dir.filePath("fifo.bmp"), kept = dir.filePath("kept.bmp");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const auto& [path, cause] : std::vector<std::pair<QString, QString>>{
             {fifo, "is not a regular file (a FIFO)"}, {dir.path() + "/", "names a folder"}}) {
        Message reason;
        EXPECT_FALSE(writeFilterImage(image, path, &reason));
        EXPECT_EQ(
            en(reason), path + ": " + cause + (cause.endsWith("folder") ? ", not a file" : ""));
    }
    struct stat st { };
    ASSERT_EQ(stat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    ASSERT_TRUE(writeFilterImage(patterned(10, 10), kept, nullptr));
    ASSERT_EQ(chmod(QFile::encodeName(kept).constData(), 0444), 0);
    ASSERT_TRUE(writeFilterImage(image, kept, nullptr));
    EXPECT_EQ(readAll(kept), encodeFilterImage(image));
    ASSERT_EQ(stat(QFile::encodeName(kept).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);

    QTemporaryDir small;
    const QByteArray mountPoint = QFile::encodeName(small.path());
    if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
        || mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    const std::shared_ptr<void> unmount(
        nullptr, [&](void*) { umount2(mountPoint.constData(), MNT_DETACH); });
    const QString full = small.filePath("full.bmp");
    ASSERT_TRUE(writeFilterImage(image, full, nullptr));
    Message reason;
    EXPECT_FALSE(writeFilterImage(patterned(200, 200), full, &reason));
    EXPECT_EQ(en(reason), full + ": cannot write: No space left on device");
    EXPECT_EQ(readAll(full), encodeFilterImage(image));
    EXPECT_EQ(QDir(small.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"full.bmp"});
}

// --- reading edited pictures ------------------------------------------------------------

bool runConvert(const QStringList& args)
{
    QProcess p;
    p.start("convert", args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

void expectGrayOf(const QImage& decoded, const QImage& source)
{
    ASSERT_EQ(decoded.format(), QImage::Format_RGB32);
    ASSERT_EQ(decoded.size(), source.size());
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x) {
            const int g = qBlue(source.pixel(x, y));
            ASSERT_EQ(decoded.pixel(x, y), qRgb(g, g, g)) << x << "," << y;
        }
}

struct Variant {
    const char* name;
    const char* args; // ImageMagick options before the output name
    const char* output;
    int levels; // gray levels of the source picture
    bool grayKept = true; // else the file's colours differ from the source's
};

class EditedVariant : public ::testing::TestWithParam<Variant> { };

// Whatever BMP or PNG flavour a paint program writes, the gray comes back; palette
// pictures are read through their palette. Every picture is what Qt's reader alone
// makes of the file (16-bit masks scaled and alpha dropped as it does).
TEST_P(EditedVariant, DecodesToTheSameGray)
{
    QTemporaryDir dir;
    const QImage source = patterned(67, 45, GetParam().levels);
    const QString in = dir.filePath("in.bmp");
    ASSERT_TRUE(writeFilterImage(source, in, nullptr));
    QStringList args{in};
    const QString options = QString::fromLatin1(GetParam().args);
    if (!options.isEmpty())
        args += options.split(' ');
    const QString out = QString::fromLatin1(GetParam().output).arg(dir.path());
    args << out;
    ASSERT_TRUE(runConvert(args)) << args.join(' ').toStdString();
    const QByteArray bytes = readAll(out.mid(out.indexOf(':') + 1));
    Message reason;
    const QImage decoded = decodeFilterImage(bytes, source.size(), &reason);
    ASSERT_FALSE(decoded.isNull()) << en(reason).toStdString();
    EXPECT_EQ(decoded, plainQt(bytes));
    if (GetParam().grayKept)
        expectGrayOf(decoded, source);
}

INSTANTIATE_TEST_SUITE_P(ImageMagick, EditedVariant,
    ::testing::ValuesIn(std::vector<Variant>{{"bmp24", "-type TrueColor", "BMP3:%1/o.bmp", 256},
        {"palette8", "+dither -type Palette -compress None", "BMP3:%1/o.bmp", 128},
        {"rle8", "+dither -type Palette -compress RLE", "BMP3:%1/o.bmp", 128},
        {"palette4", "+dither -type Palette", "BMP3:%1/o.bmp", 16},
        {"v5header", "-type TrueColor", "BMP:%1/o.bmp", 256},
        {"bgra32", "-type TrueColorAlpha", "BMP:%1/o.bmp", 256},
        {"os2", "-type TrueColor", "BMP2:%1/o.bmp", 256},
        {"bmp1", "-type Bilevel", "BMP3:%1/o.bmp", 2},
        {"bmp565", "-define bmp:subtype=RGB565", "BMP:%1/o.bmp", 256, false},
        {"bmp1555", "-define bmp:subtype=ARGB1555", "BMP:%1/o.bmp", 256, false},
        {"png24", "", "PNG24:%1/o.png", 256}, {"png_gray", "-type Grayscale", "PNG:%1/o.png", 256},
        {"png48", "-depth 16", "PNG48:%1/o.png", 256},
        {"png_gray1", "-type Bilevel", "PNG:%1/o.png", 2},
        {"png_gray2", "-depth 2 -type Grayscale", "PNG:%1/o.png", 4},
        {"png_gray4_interlaced", "-depth 4 -type Grayscale -interlace PNG", "PNG:%1/o.png", 16},
        {"png_palette", "+dither -type Palette", "PNG8:%1/o.png", 128},
        {"png_palette_transparent", "+dither -colors 16 -fuzz 20% -transparent white",
            "PNG8:%1/o.png", 256, false},
        {"png_gray_alpha", "-alpha set -channel A -evaluate set 60% +channel -type GrayscaleAlpha",
            "PNG:%1/o.png", 256},
        {"png64_interlaced", "-alpha set -channel A -evaluate set 60% +channel -interlace PNG",
            "PNG64:%1/o.png", 256}}),
    [](const auto& info) { return std::string(info.param.name); });

// A 4 x 3 RLE picture: the colour indices its codes give, top row first. Pixels the codes
// skip (end of line, delta, end of bitmap) are index 0, whatever the picture Qt decodes
// into held before (Qt fills the one made for it in place). A top-down file's first row
// is the top one.
struct RleCase {
    const char* name;
    int bpp; // 8: RLE8, 4: RLE4
    std::vector<uint8_t> codes;
    std::array<int, 12> indices;
    bool topDown = false;
};

class RlePicture : public ::testing::TestWithParam<RleCase> { };

TEST_P(RlePicture, DecodesByHand)
{
    const RleCase& c = GetParam();
    auto colour = [](int i) { return qRgb(5 + 20 * i, 7 + 10 * i, 250 - 9 * i); };
    QByteArray b(54, '\0');
    const auto put32 = [&](int at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); };
    b[0] = 'B';
    b[1] = 'M';
    put32(14, 40);
    put32(18, 4);
    put32(22, c.topDown ? uint32_t(-3) : 3);
    b[26] = 1;
    b[28] = char(c.bpp);
    put32(30, c.bpp == 8 ? 1 : 2);
    put32(46, 16);
    for (int i = 0; i < 16; ++i) {
        const QRgb v = colour(i);
        b += char(qBlue(v));
        b += char(qGreen(v));
        b += char(qRed(v));
        b += '\0';
    }
    put32(10, uint32_t(b.size()));
    b += QByteArray(reinterpret_cast<const char*>(c.codes.data()), qsizetype(c.codes.size()));
    Message reason;
    DecodeProbe probe;
    probe.picture = QImage(4, 3, QImage::Format_Indexed8);
    probe.picture.fill(9);
    const QImage decoded = decodeFilterImage(b, QSize(4, 3), &reason, &probe);
    ASSERT_FALSE(decoded.isNull()) << en(reason).toStdString();
    EXPECT_TRUE(probe.inPlace);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(decoded.pixel(x, y), colour(c.indices[std::size_t(4 * y + x)]))
                << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Codes, RlePicture,
    ::testing::ValuesIn(std::vector<RleCase>{{"end_at_once", 8, {0, 1}, {}},
        {"lines_only", 8, {0, 0, 0, 0, 0, 0}, {}},
        {"bottom_row_then_end", 8, {4, 3, 0, 1}, {0, 0, 0, 0, 0, 0, 0, 0, 3, 3, 3, 3}},
        {"top_down", 8, {4, 3, 0, 1}, {3, 3, 3, 3, 0, 0, 0, 0, 0, 0, 0, 0}, true},
        {"delta_then_run", 8, {0, 2, 1, 1, 2, 5, 0, 1}, {0, 0, 0, 0, 0, 5, 5, 0, 0, 0, 0, 0}},
        {"absolute_runs", 8, {0, 3, 7, 8, 9, 0, 0, 0, 4, 2, 0, 1},
            {0, 0, 0, 0, 2, 2, 2, 2, 7, 8, 9, 0}},
        {"rle4_runs_and_absolute", 4, {3, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 0, 4, 0xF6, 0, 1},
            {15, 6, 15, 6, 3, 4, 5, 0, 1, 2, 1, 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

// A top-down BMP (negative height) and a PNG with transparency, which is dropped and
// not multiplied into the colour.
TEST(EditedPicture, TopDownBmpAndAlphaPng)
{
    const QImage source = patterned(50, 30);
    const QByteArray b = encodeFilterImage(source);
    const int S = (3 * 50 + 3) / 4 * 4;
    QByteArray flipped = b.left(1078);
    for (int row = 29; row >= 0; --row)
        flipped += b.mid(1078 + row * S, S);
    const int32_t negative = -30;
    std::memcpy(flipped.data() + 22, &negative, 4);
    Message reason;
    const QImage decoded = decodeFilterImage(flipped, source.size(), &reason);
    ASSERT_FALSE(decoded.isNull()) << en(reason).toStdString();
    expectGrayOf(decoded, source);

    // noisy colours, with alpha that Qt's reader keeps until the conversion drops it
    QImage alpha(40, 30, QImage::Format_ARGB32);
    uint32_t noise = 1;
    for (int y = 0; y < alpha.height(); ++y)
        for (int x = 0; x < alpha.width(); ++x) {
            noise = noise * 1664525u + 1013904223u;
            alpha.setPixel(x, y, (noise >> 8) | 0x28000000u);
        }
    const QImage opaque = decodeFilterImage(png(alpha), alpha.size(), &reason);
    ASSERT_FALSE(opaque.isNull()) << en(reason).toStdString();
    for (int y = 0; y < alpha.height(); ++y)
        for (int x = 0; x < alpha.width(); ++x)
            ASSERT_EQ(opaque.pixel(x, y), alpha.pixel(x, y) | 0xFF000000u) << x << "," << y;
}

// Pictures refused with the cause: wrong sizes name both sizes; files cut short (which Qt
// would decode as a success with garbage rows) say so; undecodable bytes say what they
// are not; files that cannot be read name the file. The whole files are taken.
TEST(EditedPicture, RefusedWithTheCause)
{
    const QImage source = patterned(64, 40);
    const QByteArray bmp = encodeFilterImage(source), pngBytes = png(source);
    QTemporaryDir dir;
    const QString rlePath = dir.filePath("rle.bmp"), narrow = dir.filePath("narrow.bmp");
    ASSERT_TRUE(writeFilterImage(source, dir.filePath("in.bmp"), nullptr));
    ASSERT_TRUE(runConvert({dir.filePath("in.bmp"), "+dither", "-type", "Palette", "-compress",
        "RLE", "BMP3:" + rlePath}));
    const QByteArray rle = readAll(rlePath);
    ASSERT_GT(rle.size(), 1100);
    QByteArray badBits = bmp;
    badBits[28] = 7; // 7 bits per pixel
    // 1 bit per pixel, 256 colours from byte 54, where the pixels start too
    QByteArray overlap = bmp.left(54) + QByteArray(8 * 40, '\x5a');
    overlap[10] = 54;
    overlap[11] = 0;
    overlap[28] = 1;
    overlap[46] = 0;
    overlap[47] = 1;
    // 32-bit colour with masks after a 64-byte OS/2 header, pixels from byte 78, where Qt
    // reads the masks (and then the pixels 12 bytes later, one row short)
    QByteArray masksOver(78 + 64 * 4 * 40, '\x33');
    const auto put32 = [&](int at, uint32_t v) { qToLittleEndian(v, masksOver.data() + at); };
    masksOver[0] = 'B';
    masksOver[1] = 'M';
    for (const auto& [at, value] : {std::pair{10, 78}, {14, 64}, {18, 64}, {22, 40}, {30, 3}})
        put32(at, uint32_t(value));
    put32(26, 1 | 32 << 16); // planes, bits per pixel
    QByteArray v3header = bmp;
    v3header[14] = 56;
    QByteArray badChecksum = grayPng(source);
    badChecksum[29] = char(badChecksum[29] ^ 1); // of the header
    // 8-bit palette rows with indices 0 .. 63 and 2 colours
    QByteArray indices;
    for (int y = 0; y < 40; ++y)
        for (int x = -1; x < 64; ++x)
            indices += char(x < 0 ? 0 : x);
    const QByteArray shortRows = QByteArray(39 * 65, '\0');

    std::vector<std::pair<QByteArray, QString>> refused = {{"hello, world", "not a BMP or PNG"},
        {badBits, ""}, {overlap, "colour table, runs into its pixel data"},
        {masksOver, "pixel offset 78"}, {v3header, "header of 56 bytes"},
        {grayPng(source, 1 << 20), "more pixel data than its picture"},
        {grayPng(source, 0, 70000), "compressed pixel data, more than a 64 x 40 picture needs"},
        {badChecksum, "checksum of its IHDR chunk"},
        // what libpng would stop at (printing its error to stderr) or warn about
        {grayPng(source, 0, 0, {}, 5), "row filter 5"},
        {grayPng(source, 0, 3), "bytes after its compressed pixel data"},
        {pngFile(source.size(), 0, shortRows), "ends before its last row"},
        {pngFile(source.size(), 0, QByteArray(40 * 65, '\0'), {}, true), "incorrect data check"},
        {pngFile(source.size(), 3, indices, pngChunk("PLTE", "abcdef")), "palette index"},
        {grayPng(source, 0, 0, pngChunk("ABCD", "x")), "does not know (ABCD)"}};
    for (const QByteArray& cut :
        {bmp.left(bmp.size() - 1), bmp.left(bmp.size() - 64 * 3), bmp.left(1078), bmp.left(30),
            pngBytes.left(pngBytes.size() - 12), pngBytes.left(pngBytes.size() / 2),
            rle.left(rle.size() - 6), rle.left(rle.size() / 2)})
        refused.emplace_back(cut, "cut short");
    for (const QSize found : {QSize(63, 40), QSize(65, 40), QSize(64, 39), QSize(64, 41)}) {
        const QImage image = patterned(found.width(), found.height());
        const QString sizes = en(pictureSizeMismatch(QSize(64, 40), found.width(), found.height()));
        refused.emplace_back(encodeFilterImage(image), sizes);
        refused.emplace_back(png(image), sizes);
    }
    QTemporaryFile said;
    ASSERT_TRUE(said.open());
    {
        const StderrTo redirected(said.handle());
        for (const auto& [bytes, cause] : refused) {
            Message reason;
            EXPECT_TRUE(decodeFilterImage(bytes, source.size(), &reason).isNull()) << bytes.size();
            EXPECT_FALSE(reason.isEmpty());
            for (const QString& part : cause.split(", "))
                EXPECT_TRUE(en(reason).contains(part)) << en(reason).toStdString();
        }
        const QSize wide(1000001, 1);
        Message reason;
        EXPECT_TRUE(
            decodeFilterImage(pngFile(wide, 0, QByteArray(1000002, '\0')), wide, &reason).isNull());
        EXPECT_TRUE(en(reason).contains("1000000 pixels a side")) << en(reason).toStdString();
    }
    EXPECT_EQ(said.readAll(), "") << "nothing printed";
    for (const QByteArray& whole : {bmp, pngBytes, rle, grayPng(source)}) {
        Message reason;
        EXPECT_FALSE(decodeFilterImage(whole, source.size(), &reason).isNull())
            << en(reason).toStdString();
    }

    // Files: only a regular file is read (a FIFO without a writer neither blocks nor is
    // read, a device is not read without end), and none longer than the limit.
    ASSERT_TRUE(writeFilterImage(patterned(63, 40), narrow, nullptr));
    const QString fifo = dir.filePath("fifo.bmp"), big = dir.filePath("big.png");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QFile sparse(big);
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly)
        && sparse.resize(filterImageFileLimit(source.size()) + 1));
    sparse.close();
    for (const auto& [path, cause] :
        std::vector<std::pair<QString, QString>>{{dir.filePath("missing.bmp"), "cannot open"},
            {narrow, "63 pixels wide"}, {fifo, "not a regular file"},
            {"/dev/zero", "not a regular file"}, {big, "more than"}}) {
        Message reason;
        EXPECT_TRUE(readFilterImage(path, source.size(), &reason).isNull());
        EXPECT_TRUE(en(reason).startsWith(path + ": ") && en(reason).contains(cause))
            << en(reason).toStdString();
    }
}

// Qt gets the header, pixel data and transparency of a PNG: ancillary chunks that would
// make libpng warn or inflate megabytes (a damaged colour profile, a text bomb, gamma, a
// palette in a gray picture, a malformed transparency chunk) change nothing; a valid
// transparency chunk is applied as Qt's reader alone applies it.
TEST(EditedPicture, PngChunksQtIsGiven)
{
    const QImage source = patterned(64, 40);
    Message reason;
    const QImage plain = decodeFilterImage(grayPng(source), source.size(), &reason);
    ASSERT_FALSE(plain.isNull()) << en(reason).toStdString();
    const QByteArray zeros(4 << 20, '\0');
    const QByteArray bomb = pngChunk("zTXt", "Comment\0\0" + qCompress(zeros).mid(4));
    for (const QByteArray& chunks :
        {bomb, pngChunk("iCCP", "name\0\0garbage"), pngChunk("gAMA", QByteArray("\0\1\x86\xa0", 4)),
            pngChunk("PLTE", "abc"), pngChunk("tRNS", "abc")}) {
        const QImage decoded
            = decodeFilterImage(grayPng(source, 0, 0, chunks), source.size(), &reason);
        ASSERT_FALSE(decoded.isNull()) << en(reason).toStdString();
        EXPECT_EQ(decoded, plain);
    }
    // gray 100 (at 20, 0) transparent: Qt's reader makes it black
    const QByteArray transparent = grayPng(source, 0, 0, pngChunk("tRNS", QByteArray("\0d", 2)));
    const QImage decoded = decodeFilterImage(transparent, source.size(), &reason);
    EXPECT_EQ(decoded, plainQt(transparent));
    EXPECT_NE(decoded.pixel(20, 0), plain.pixel(20, 0));
}

// --- gains ---------------------------------------------------------------------------------

class Gains : public ::testing::TestWithParam<uint8_t> {
protected:
    void SetUp() override
    {
        ensureGuiApplication();
        // every cell -77.5 dB (gray 100), one cell at the floor (gray 0)
        for (auto* power : {&a.engine.FPower, &a.engine.FCepPower}) {
            for (auto& channel : *power)
                for (auto& row : channel)
                    std::fill(row.begin(), row.end(), -77.5);
            (*power)[0][7][40] = kZeroDb;
        }
        mode = GetParam();
        ASSERT_TRUE(mode == kSpectrumView ? DrawSpectrum(reference, a.engine, 0, a.context(mode))
                                          : DrawCepstrum(reference, a.engine, 0, a.context(mode)));
        edited = reference.copy();
        before = snapshot();
    }

    // The row of bin k in this view.
    int rowOf(int k) const { return 16 + (mode == kSpectrumView ? a.N / 2 - k : k); }
    std::vector<std::unique_ptr<TSpectrogram>>& grams()
    {
        return mode == kSpectrumView ? a.engine.FSpectrograms : a.engine.FCepstrograms;
    }
    std::vector<std::vector<TComplex>> snapshot()
    {
        std::vector<std::vector<TComplex>> s;
        for (auto& g : grams())
            for (auto& frame : g->FFrames)
                s.emplace_back(frame->FData.data(), frame->FData.data() + frame->FData.size());
        return s;
    }
    bool apply(Message* reason = nullptr)
    {
        return applyFilterGains(a.engine, mode, reference, edited, 48, 16, reason);
    }
    // Every channel's bin k of frame f is the old value times factor; all others unchanged.
    void expectOnly(std::map<std::pair<int, int>, double> factors)
    {
        const auto after = snapshot();
        std::size_t index = 0;
        for (std::size_t c = 0; c < grams().size(); ++c)
            for (int f = 0; f < a.F; ++f, ++index)
                for (int k = 0; k < a.N; ++k) {
                    const TComplex old = before[index][std::size_t(k)];
                    const TComplex now = after[index][std::size_t(k)];
                    const auto it = factors.find({f, k});
                    const double g = it == factors.end() ? 1.0 : it->second;
                    ASSERT_EQ(now, (TComplex{old.re * g, old.im * g}))
                        << "channel " << c << " frame " << f << " bin " << k;
                }
    }

    HandAnalysis a{8000, 1.0, 256, 12, 2};
    uint8_t mode = kSpectrumView;
    QImage reference, edited;
    std::vector<std::vector<TComplex>> before;
};

// Edits of the gray-100 picture: d = mean of B, G, R (integer division) minus the
// display's blue; gain 10^(d/40) on that cell only: 20 levels are 10 dB, pure red
// counts as 85, black (the floor cell 7, 40) painted white is +127.5 dB. Painted margins
// change nothing.
TEST_P(Gains, EachEditedCellGetsItsGain)
{
    for (int y = 0; y < edited.height(); ++y)
        for (int x = 0; x < edited.width(); ++x)
            if (x < 48 || y < 16)
                edited.setPixel(x, y, y < 16 ? qRgb(255, 255, 255) : qRgb(200, 10, 99));
    const std::pair<std::pair<int, int>, QRgb> paint[] = {{{3, 10}, qRgb(80, 80, 80)},
        {{5, 0}, qRgb(120, 120, 120)}, {{5, a.N / 2}, qRgb(120, 120, 120)},
        {{1, 2}, qRgb(255, 0, 0)}, {{2, 2}, qRgb(2, 1, 1)}, {{7, 40}, qRgb(255, 255, 255)}};
    for (auto [cell, colour] : paint)
        edited.setPixel(48 + cell.first, rowOf(cell.second), colour);
    ASSERT_TRUE(apply());
    expectOnly({{{3, 10}, std::pow(10.0, -0.5)}, {{5, 0}, std::pow(10.0, 0.5)},
        {{5, a.N / 2}, std::pow(10.0, 0.5)}, {{1, 2}, std::pow(10.0, (85 - 100) / 40.0)},
        {{2, 2}, std::pow(10.0, (1 - 100) / 40.0)}, {{7, 40}, std::pow(10.0, 6.375)}});
}

// A gain that overflows one bin, a picture of the wrong size, or a channel missing from
// the analysis: refused with a reason, and no bin changes.
TEST_P(Gains, RefusedEditsChangeNothing)
{
    grams()[1]->FFrames[4]->FData[9] = {1e306, 1.0};
    before = snapshot();
    edited.setPixel(48 + 2, rowOf(1), qRgb(60, 60, 60)); // a legal change elsewhere
    edited.setPixel(48 + 4, rowOf(9), qRgb(200, 200, 200));
    Message reason;
    EXPECT_FALSE(apply(&reason));
    EXPECT_FALSE(reason.isEmpty());
    expectOnly({});

    const QImage painted = edited;
    edited = painted.copy(0, 0, edited.width() - 1, edited.height());
    EXPECT_FALSE(apply(&reason));
    expectOnly({});
    edited = painted;
    grams()[1]->FFrames[4]->FData[9] = {1.0, 1.0};
    grams().pop_back(); // one channel short
    before = snapshot();
    EXPECT_FALSE(apply(&reason));
    expectOnly({});
}

INSTANTIATE_TEST_SUITE_P(Views, Gains, ::testing::Values(kSpectrumView, kCepstrumView),
    [](const auto& info) { return info.param == kSpectrumView ? "spectrum" : "cepstrum"; });

} // namespace
} // namespace kestrelon::test
