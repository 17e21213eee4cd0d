// Reading and writing RIFF/WAVE files.
//
// The reader looks for the "fmt " and "data" chunks by id after the 12-byte RIFF
// header, in any order, skipping every other chunk and the pad byte after a chunk
// of odd size; the first of each counts. It never trusts a size: every offset is
// checked against the length of the file before it is used, so a damaged header
// cannot make it loop, allocate more than the file holds, or read out of bounds.
// It reads into new storage and adopts it only on success.
//
// The writer produces the canonical 44-byte header followed by the sample block
// and, when the block has an odd size, a pad byte (counted in the RIFF size).

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "audio/TWave.h"
#include "base/Errors.h"

namespace kestrelon {

namespace {

constexpr uint32_t fourcc(const char (&s)[5])
{
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16
        | uint32_t(uint8_t(s[3])) << 24;
}

constexpr uint32_t kRiff = fourcc("RIFF");
constexpr uint32_t kWave = fourcc("WAVE");
constexpr uint32_t kFmt = fourcc("fmt ");
constexpr uint32_t kData = fourcc("data");
constexpr uint16_t kExtensible = 0xFFFE;
constexpr uint64_t kMaxBlock = uint64_t(std::numeric_limits<int32_t>::max());
constexpr std::size_t kFmtKept = 40; // the extensible format's body; more is skipped

// The last 14 bytes of the KSDATAFORMAT_SUBTYPE GUIDs; the first two bytes are the tag.
constexpr uint8_t kGuidTail[14]
    = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t le16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

uint32_t le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void put16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

// 12345 -> "12 345"
QString grouped(uint64_t n)
{
    QString digits = QString::number(n);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char(' '));
    return digits;
}

QString hex4(uint32_t v)
{
    return QStringLiteral("0x")
        + QString::number(v, 16).rightJustified(4, QLatin1Char('0')).toUpper();
}

// A chunk id as text: its four characters when printable, else its value in hex.
QString chunkName(uint32_t id)
{
    QString s;
    for (int i = 0; i < 4; ++i) {
        const char c = char(id >> (8 * i));
        if (c < 0x20 || c > 0x7E)
            return QStringLiteral("0x%1").arg(id, 8, 16, QLatin1Char('0'));
        s += QLatin1Char(c);
    }
    return QLatin1Char('"') + s + QLatin1Char('"');
}

QString formatName(uint16_t tag)
{
    switch (tag) {
    case 0x0000:
        return QStringLiteral("unknown");
    case 0x0002:
        return QStringLiteral("ADPCM");
    case 0x0006:
        return QStringLiteral("A-law");
    case 0x0007:
        return QStringLiteral("µ-law");
    case 0x0011:
        return QStringLiteral("IMA ADPCM");
    case 0x0031:
        return QStringLiteral("GSM 6.10");
    case 0x0050:
        return QStringLiteral("MPEG");
    case 0x0055:
        return QStringLiteral("MPEG Layer 3");
    case 0x00FF:
        return QStringLiteral("AAC");
    case 0x2000:
        return QStringLiteral("AC-3");
    case 0xF1AC:
        return QStringLiteral("FLAC");
    default:
        return {};
    }
}

QString unsupportedFormat(uint16_t tag, bool extensible)
{
    const QString name = formatName(tag);
    QString s = extensible ? QStringLiteral("extensible sub-format ")
                           : QStringLiteral("compressed format ");
    s += hex4(tag);
    if (!name.isEmpty())
        s += QStringLiteral(" (") + name + QLatin1Char(')');
    return s + QStringLiteral(" is not supported");
}

// Random access to the bytes of a WAV file.
class Source {
public:
    virtual ~Source() = default;
    virtual uint64_t size() const = 0;
    // Exactly n bytes at offset into dst, or false.
    virtual bool read(uint64_t offset, void* dst, std::size_t n) = 0;
};

class MemorySource final : public Source {
public:
    explicit MemorySource(std::span<const uint8_t> bytes)
        : bytes_(bytes)
    {
    }
    uint64_t size() const override { return bytes_.size(); }
    bool read(uint64_t offset, void* dst, std::size_t n) override
    {
        if (offset > bytes_.size() || n > bytes_.size() - offset)
            return false;
        if (n > 0)
            std::memcpy(dst, bytes_.data() + offset, n);
        return true;
    }

private:
    std::span<const uint8_t> bytes_;
};

class FileSource final : public Source {
public:
    explicit FileSource(QFile& file)
        : file_(file)
        , size_(uint64_t(std::max<qint64>(file.size(), 0)))
    {
    }
    uint64_t size() const override { return size_; }
    bool read(uint64_t offset, void* dst, std::size_t n) override
    {
        if (offset > size_ || n > size_ - offset || !file_.seek(qint64(offset)))
            return false;
        auto* out = static_cast<char*>(dst);
        while (n > 0) {
            const qint64 got = file_.read(out, qint64(n));
            if (got <= 0)
                return false;
            out += got;
            n -= std::size_t(got);
        }
        return true;
    }

private:
    QFile& file_;
    uint64_t size_;
};

struct LoadResult {
    uint8_t code = kLoadOk;
    QString message;
};

LoadResult fail(uint8_t code, QString message)
{
    return {code, std::move(message)};
}

// Checks a format chunk body (the first min(size, 40) bytes of it, zero-filled
// beyond) and turns it into the header a TWave holds.
LoadResult adoptFormat(const uint8_t* body, uint32_t size, WAVEFORMATEX& format)
{
    uint16_t tag = le16(body);
    const bool extensible = tag == kExtensible;
    if (extensible) {
        if (size < 40 || le16(body + 16) < 22)
            return fail(kLoadFailed,
                QStringLiteral("the extensible format header is incomplete (%1 bytes)").arg(size));
        if (std::memcmp(body + 26, kGuidTail, sizeof kGuidTail) != 0)
            return fail(kLoadNotPcm,
                QStringLiteral("extensible sub-format with an unknown GUID is not supported"));
        tag = le16(body + 24);
    }
    const uint16_t channels = le16(body + 2);
    const uint32_t rate = le32(body + 4);
    const uint16_t bits = le16(body + 14);
    if (tag != WAVE_FORMAT_PCM && tag != WAVE_FORMAT_IEEE_FLOAT)
        return fail(kLoadNotPcm, unsupportedFormat(tag, extensible));
    if (tag == WAVE_FORMAT_IEEE_FLOAT && bits != 32 && bits != 64)
        return fail(kLoadNotPcm,
            QStringLiteral("%1-bit floating-point samples are not supported").arg(bits));
    if (channels == 0)
        return fail(kLoadFailed, QStringLiteral("the file declares no channels"));
    if (channels > 256)
        return fail(kLoadFailed,
            QStringLiteral("the file declares %1 channels; at most 256 are supported")
                .arg(channels));
    if (bits < 8 || bits % 8 != 0)
        return fail(kLoadFailed,
            QStringLiteral("%1 bits per sample is not supported (whole bytes only)").arg(bits));
    const uint32_t block = uint32_t(bits / 8) * channels;
    if (block > 0xFFFF)
        return fail(kLoadFailed,
            QStringLiteral("a frame of %1 bytes is larger than 65 535 bytes").arg(grouped(block)));
    if (rate == 0)
        return fail(kLoadFailed, QStringLiteral("the sample rate is 0"));
    if (uint64_t(block) * rate > kMaxBlock)
        return fail(kLoadFailed,
            QStringLiteral("%1 bytes per second is more than 2 147 483 647")
                .arg(grouped(uint64_t(block) * rate)));
    WAVEFORMATEX f;
    f.wFormatTag = tag;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    TWave probe; // UpdateFormat derives the other fields; the checks above keep it from throwing
    probe.FFormat = f;
    probe.UpdateFormat();
    format = probe.FFormat;
    return {};
}

// The whole load into `out` (a fresh TWave), reading from src.
LoadResult parse(Source& src, TWave& out, WaveLoadReport& report)
{
    const uint64_t fileSize = src.size();
    uint8_t head[12];
    if (fileSize < 12 || !src.read(0, head, 12))
        return fail(kLoadFailed,
            QStringLiteral("the file is too short to be a WAV file (%1 bytes)")
                .arg(grouped(fileSize)));
    if (le32(head) != kRiff || le32(head + 8) != kWave)
        return fail(kLoadNotRiffWave, QStringLiteral("not a RIFF/WAVE file"));

    bool haveFmt = false;
    bool haveData = false;
    uint64_t dataOffset = 0;
    uint32_t dataSize = 0;
    uint64_t pos = 12;
    while (!(haveFmt && haveData) && pos <= fileSize && fileSize - pos >= 8) {
        uint8_t chunk[8];
        if (!src.read(pos, chunk, 8))
            return fail(kLoadFailed, QStringLiteral("the file cannot be read"));
        const uint32_t id = le32(chunk);
        const uint32_t size = le32(chunk + 4);
        const uint64_t body = pos + 8;
        const bool fits = size <= fileSize - body;
        if (id == kData && !haveData) {
            haveData = true;
            dataOffset = body;
            dataSize = size;
            if (!fits)
                break; // a cut-short data chunk ends the file
        } else {
            if (!fits)
                return fail(kLoadFailed,
                    QStringLiteral("the %1 chunk runs %2 bytes past the end of the file")
                        .arg(chunkName(id), grouped(size - (fileSize - body))));
            if (id == kFmt && !haveFmt) {
                if (size < 16)
                    return fail(kLoadFailed,
                        QStringLiteral("the format chunk has %1 bytes; it needs at least 16")
                            .arg(size));
                uint8_t fmt[kFmtKept] = {};
                if (!src.read(body, fmt, std::min<std::size_t>(size, kFmtKept)))
                    return fail(kLoadFailed, QStringLiteral("the file cannot be read"));
                LoadResult r = adoptFormat(fmt, size, out.FFormat);
                if (r.code != kLoadOk)
                    return r;
                haveFmt = true;
            }
        }
        pos = body + size + (size & 1);
    }
    if (!haveFmt)
        return fail(kLoadFailed, QStringLiteral("no format chunk"));
    if (!haveData)
        return fail(kLoadFailed, QStringLiteral("no data chunk"));

    const uint32_t block = out.FFormat.nBlockAlign;
    const uint64_t available = fileSize - std::min(fileSize, dataOffset);
    const uint64_t present = std::min<uint64_t>(dataSize, available);
    const uint64_t count = present / block;
    const uint64_t bytes = count * block;
    if (bytes > kMaxBlock)
        return fail(kLoadFailed,
            QStringLiteral("the data chunk holds %1 bytes; at most 2 147 483 647 fit")
                .arg(grouped(bytes)));
    if (bytes > 0) {
        out.FData.resize(std::size_t(bytes));
        if (!src.read(dataOffset, out.FData.data(), std::size_t(bytes)))
            return fail(kLoadFailed, QStringLiteral("the sample data cannot be read"));
    }
    out.FDataSize = uint32_t(bytes);
    out.FSampleCount = uint32_t(count);
    out.FSeconds = double(count) / double(out.FFormat.nSamplesPerSec);

    report.framesLoaded = count;
    report.framesDeclared = dataSize / block;
    if (dataSize > available) {
        report.truncated = true;
        if (dataSize == 0xFFFFFFFFu)
            report.message = QStringLiteral("the data chunk's size was never filled in; loaded "
                                            "the %1 whole frames the file holds")
                                 .arg(grouped(count));
        else
            report.message
                = QStringLiteral("the file ends %1 bytes before its data chunk does; loaded %2 of "
                                 "%3 frames")
                      .arg(grouped(dataSize - available), grouped(count),
                          grouped(report.framesDeclared));
    }
    return {};
}

uint8_t load(Source& src, TWave& wave, WaveLoadReport* report)
{
    WaveLoadReport local;
    LoadResult r;
    TWave fresh;
    try {
        r = parse(src, fresh, local);
    } catch (const std::bad_alloc&) {
        r = fail(kLoadFailed, QStringLiteral("not enough memory for the samples"));
    } catch (const std::exception& e) {
        r = fail(kLoadFailed, QString::fromUtf8(e.what()));
    }
    if (r.code == kLoadOk) {
        wave.FFormat = fresh.FFormat;
        wave.FData.swap(fresh.FData);
        wave.FDataSize = fresh.FDataSize;
        wave.FSampleCount = fresh.FSampleCount;
        wave.FSeconds = fresh.FSeconds;
    } else {
        local = WaveLoadReport{};
        local.message = r.message;
    }
    if (report)
        *report = std::move(local);
    return r.code;
}

// The canonical header for a block of dataSize bytes.
void writeHeader(const WAVEFORMATEX& f, uint32_t dataSize, uint8_t* h)
{
    put32(h, kRiff);
    put32(h + 4, 36 + dataSize + (dataSize & 1));
    put32(h + 8, kWave);
    put32(h + 12, kFmt);
    put32(h + 16, 16);
    put16(h + 20, f.wFormatTag);
    put16(h + 22, f.nChannels);
    put32(h + 24, f.nSamplesPerSec);
    put32(h + 28, f.nAvgBytesPerSec);
    put16(h + 32, f.nBlockAlign);
    put16(h + 34, f.wBitsPerSample);
    put32(h + 36, kData);
    put32(h + 40, dataSize);
}

// Writes n bytes, going on after a short write so that a failure reports its cause.
bool writeAll(QSaveFile& file, const void* data, std::size_t n)
{
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const qint64 done = file.write(p, qint64(n));
        if (done <= 0)
            return false;
        p += done;
        n -= std::size_t(done);
    }
    return true;
}

} // namespace

uint8_t TWave::LoadFromFile(const QString& path, WaveLoadReport* report)
{
    auto failWith = [&](const QString& message) {
        if (report)
            *report = WaveLoadReport{message, false, 0, 0};
        return kLoadFailed;
    };
    try {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return failWith(QStringLiteral("cannot open: ") + file.errorString());
        if (file.isSequential())
            return failWith(QStringLiteral("not a regular file"));
        FileSource src(file);
        return load(src, *this, report);
    } catch (...) {
        return failWith(QStringLiteral("the file cannot be read"));
    }
}

uint8_t TWave::LoadFromMemory(std::span<const uint8_t> bytes, WaveLoadReport* report)
{
    MemorySource src(bytes);
    return load(src, *this, report);
}

std::vector<uint8_t> TWave::SaveToMemory() const
{
    const auto size = uint32_t(FData.size());
    std::vector<uint8_t> out(44 + std::size_t(size) + (size & 1), 0);
    writeHeader(FFormat, size, out.data());
    if (size > 0)
        std::memcpy(out.data() + 44, FData.data(), size);
    return out;
}

bool TWave::SaveToFile(const QString& path, QString* reason) const
{
    auto failWith = [&](const QString& message) {
        if (reason)
            *reason = message;
        return false;
    };
    try {
        const auto size = uint32_t(FData.size());
        uint8_t header[44];
        writeHeader(FFormat, size, header);
        QSaveFile file(path);
        file.setDirectWriteFallback(false);
        // unbuffered: a write that fails reports its cause at once
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return failWith(QStringLiteral("cannot create: ") + file.errorString());
        const char pad = 0;
        if (!writeAll(file, header, 44) || !writeAll(file, FData.data(), size)
            || ((size & 1) != 0 && !writeAll(file, &pad, 1))) {
            const QString why = file.errorString();
            file.cancelWriting();
            return failWith(QStringLiteral("cannot write: ") + why);
        }
        if (!file.commit())
            return failWith(QStringLiteral("cannot write: ") + file.errorString());
        if (reason)
            reason->clear();
        return true;
    } catch (...) {
        return failWith(QStringLiteral("cannot write: not enough memory"));
    }
}

} // namespace kestrelon
