// Files written and read by sox, made at test time from known sample bytes: what it
// writes loads to exactly those bytes, and what we write it reads without a warning back
// to exactly those bytes.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <cstring>

#include "../MessageText.h"
#include "WavBuilder.h"

namespace kestrelon {
namespace {

using namespace test;

int run(const QString& command)
{
    return std::system(command.toLocal8Bit().constData());
}

// Sample bytes that survive a tool's internal conversion exactly: any integer
// bytes, or floats that are multiples of 2^-10 in [-1, 1).
Bytes samplesFor(uint16_t bits, bool isFloat, std::size_t count)
{
    if (!isFloat)
        return pattern(count * (bits / 8), 17);
    Bytes out(count * (bits / 8));
    for (std::size_t i = 0; i < count; ++i) {
        const double x = double(int(i * 37 % 2048) - 1024) / 1024.0;
        if (bits == 32) {
            const float f = float(x);
            std::memcpy(out.data() + 4 * i, &f, 4);
        } else {
            std::memcpy(out.data() + 8 * i, &x, 8);
        }
    }
    return out;
}

struct SoxCase {
    const char* name;
    uint16_t bits;
    const char* encoding; // sox's -e
    uint16_t channels;
    const char* type; // wav (sox picks the header) or wavpcm (never extensible)
    uint16_t tag; // what the loaded header says
};

class SoxTest : public ::testing::TestWithParam<SoxCase> { };

TEST_P(SoxTest, LoadsWhatSoxWritesAndSoxReadsWhatWeWrite)
{
    const SoxCase& c = GetParam();
    QTemporaryDir dir;
    const bool isFloat = c.tag == 3;
    const std::size_t frames = 301; // odd, so 8-bit mono has a pad byte
    const Bytes raw = samplesFor(c.bits, isFloat, frames * c.channels);
    ASSERT_TRUE(writeFile(dir.filePath("in.raw"), raw));
    const QString format
        = QStringLiteral("-r 22050 -c %1 -b %2 -e %3").arg(c.channels).arg(c.bits).arg(c.encoding);
    ASSERT_EQ(run(QStringLiteral("sox -t raw %1 '%2' -t %3 '%4'")
                      .arg(format, dir.filePath("in.raw"), c.type, dir.filePath("sox.wav"))),
        0);

    TWave w;
    WaveLoadReport report;
    ASSERT_EQ(w.LoadFromFile(dir.filePath("sox.wav"), &report), kLoadOk)
        << en(report.message).toStdString();
    EXPECT_FALSE(report.truncated);
    const WAVEFORMATEX& f = w.FFormat;
    EXPECT_EQ(std::tie(f.wFormatTag, f.wBitsPerSample, f.nChannels, f.nSamplesPerSec),
        std::make_tuple(c.tag, c.bits, c.channels, 22050u));
    EXPECT_EQ(w.FData, raw);

    ASSERT_TRUE(w.SaveToFile(dir.filePath("ours.wav")));
    // read without a warning (float samples need the 18-byte format chunk and a fact chunk)
    ASSERT_EQ(run(QStringLiteral("sox --i '%1' >/dev/null 2>'%2'")
                      .arg(dir.filePath("ours.wav"), dir.filePath("warnings"))),
        0);
    EXPECT_EQ(readFile(dir.filePath("warnings")), Bytes());
    ASSERT_EQ(run(QStringLiteral("sox '%1' -t raw %2 '%3'")
                      .arg(dir.filePath("ours.wav"), format, dir.filePath("back.raw"))),
        0);
    EXPECT_EQ(readFile(dir.filePath("back.raw")), raw);
}

INSTANTIATE_TEST_SUITE_P(Formats, SoxTest,
    ::testing::ValuesIn(std::vector<SoxCase>{{"U8Mono", 8, "unsigned-integer", 1, "wav", 1},
        {"S16Stereo", 16, "signed-integer", 2, "wav", 1},
        {"S24StereoExtensible", 24, "signed-integer", 2, "wav", 1},
        {"S24Plain", 24, "signed-integer", 1, "wavpcm", 1},
        {"S32Stereo", 32, "signed-integer", 2, "wav", 1},
        {"S16SixChannels", 16, "signed-integer", 6, "wav", 1},
        {"F32Stereo", 32, "floating-point", 2, "wav", 3},
        {"F64Mono", 64, "floating-point", 1, "wav", 3}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kestrelon
