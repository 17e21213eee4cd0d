// Reading and writing RIFF/WAVE files.
//
// The reader looks for the "fmt " and "data" chunks by id after the 12-byte RIFF
// header, in any order, skipping every other chunk and the pad byte after a chunk
// of odd size; the first of each counts. It never trusts a size: every offset is
// checked against the length of the file before it is used, so a damaged header
// cannot make it loop, allocate more than the file holds, or read out of bounds.
// It reads into new storage and adopts it only on success.
//
// A file is decided in time proportional to the bytes it walks, at memory speed: the
// chunk walk reads through a window of the file, and a run of zero bytes (which reads
// as a row of empty chunks with id 0) is passed over in one step; the holes of a
// sparse file are found with SEEK_DATA and never read at all.
//
// Float samples that are not finite numbers are stored as 0, and the load report
// says how many there were.
//
// The writer produces the canonical 44-byte header of integer PCM (or, for a block too
// large for it, the RF64 header of audio/TWave.h) followed by the sample block and, when
// the block has an odd size, a pad byte (counted in the RIFF size). Float samples (format
// tag 3) are not PCM: their format chunk has 18 bytes (cbSize 0), and a fact chunk with
// the frame count follows it (a 58-byte header; in RF64 the ds64 chunk counts the frames).

#include <QFile>
#include <QSaveFile>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include <fcntl.h>
#include <unistd.h>

#include "audio/FileAccess.h"
#include "audio/LoadInto.h"
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
constexpr uint32_t kRf64 = fourcc("RF64");
constexpr uint32_t kDs64 = fourcc("ds64");
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

std::atomic<uint64_t> gRf64Threshold{kLargestRiffData};

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

MessageArg formatName(uint16_t tag)
{
    switch (tag) {
    case 0x0000:
        return MessageCode::FormatUnknown;
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
        return QString();
    }
}

Message unsupportedFormat(uint16_t tag, bool extensible)
{
    const MessageArg name = formatName(tag);
    const MessageCode code
        = extensible ? MessageCode::ExtensibleSubformat : MessageCode::CompressedFormat;
    if (!name.message && name.text.isEmpty())
        return Message(code, hex4(tag));
    return Message(code, Message(MessageCode::WithDetail, hex4(tag), name)); // "0x0002 (ADPCM)"
}

// The offset of the first non-zero byte of p[0 .. n), or n.
std::size_t firstNonZero(const uint8_t* p, std::size_t n)
{
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        uint64_t w[4];
        std::memcpy(w, p + i, 32);
        if ((w[0] | w[1] | w[2] | w[3]) != 0)
            break;
    }
    while (i < n && p[i] == 0)
        ++i;
    return i;
}

// The two sources of a WAV file's bytes (memory, a file) offer, for the reader's
// templates:
//   uint64_t size() const;
//   // n bytes at offset (n at most kViewMax), valid until the next call; nullptr
//   // when they are not all there
//   const uint8_t* view(uint64_t offset, std::size_t n);
//   // exactly n bytes at offset into dst, or false
//   bool read(uint64_t offset, void* dst, std::size_t n);
//   // an end e >= from such that the bytes from .. e-1 are all zero: the end of that
//   // run, or (for a run too long to look at in one go) a point inside it
//   uint64_t zeroRunEnd(uint64_t from);
constexpr std::size_t kViewMax = 64;

class MemorySource {
public:
    explicit MemorySource(std::span<const uint8_t> bytes)
        : bytes_(bytes)
    {
    }
    uint64_t size() const { return bytes_.size(); }
    const uint8_t* view(uint64_t offset, std::size_t n)
    {
        if (offset > bytes_.size() || n > bytes_.size() - offset)
            return nullptr;
        return bytes_.data() + offset;
    }
    bool read(uint64_t offset, void* dst, std::size_t n)
    {
        const uint8_t* p = view(offset, n);
        if (p && n > 0)
            std::memcpy(dst, p, n);
        return p != nullptr || (n == 0 && offset <= bytes_.size());
    }
    uint64_t zeroRunEnd(uint64_t from)
    {
        if (from >= bytes_.size())
            return from;
        return from + firstNonZero(bytes_.data() + from, std::size_t(bytes_.size() - from));
    }

private:
    std::span<const uint8_t> bytes_;
};

// A regular file read with pread: small reads come from a window that is filled at
// the offset asked for, large ones go straight into their destination. Which parts of
// the file are holes is asked with SEEK_DATA / SEEK_HOLE, one extent at a time.
class FileSource {
public:
    FileSource(int fd, uint64_t size)
        : fd_(fd)
        , size_(size)
    {
    }
    uint64_t size() const { return size_; }

    const uint8_t* view(uint64_t offset, std::size_t n)
    {
        if (offset > size_ || n > size_ - offset)
            return nullptr;
        if (offset < winStart_ || offset + n > winStart_ + winLen_) {
            if (window_.empty()) // no larger than the file
                window_.resize(std::size_t(std::min<uint64_t>(kWindow, size_)));
            const std::size_t want = std::size_t(std::min<uint64_t>(kWindow, size_ - offset));
            if (!readAt(offset, window_.data(), want)) {
                winLen_ = 0;
                return nullptr;
            }
            winStart_ = offset;
            winLen_ = want;
        }
        return window_.data() + (offset - winStart_);
    }

    bool read(uint64_t offset, void* dst, std::size_t n)
    {
        if (offset > size_ || n > size_ - offset)
            return false;
        if (n == 0)
            return true;
        if (n <= kViewMax) {
            const uint8_t* p = view(offset, n);
            if (p)
                std::memcpy(dst, p, n);
            return p != nullptr;
        }
        return readAt(offset, static_cast<uint8_t*>(dst), n);
    }

    uint64_t zeroRunEnd(uint64_t from)
    {
        if (from >= winStart_ && from < winStart_ + winLen_ && window_[from - winStart_] != 0)
            return from; // most runs end within the window
        uint64_t at = from;
        while (at < size_) {
            if (!(at >= extentStart_ && at < extentEnd_))
                probeExtent(at);
            if (extentIsHole_) {
                at = extentEnd_;
                continue;
            }
            // data: look at what the window holds from here on (filled here when it
            // holds nothing of it)
            if (!view(at, 1))
                return at; // unreadable: the walk says so when it reads there
            const std::size_t n = std::size_t(std::min(winStart_ + winLen_, extentEnd_) - at);
            const std::size_t zeros = firstNonZero(window_.data() + (at - winStart_), n);
            at += zeros;
            if (zeros < n)
                return at;
        }
        return at;
    }

private:
    static constexpr std::size_t kWindow = 64 * 1024;

    bool readAt(uint64_t offset, uint8_t* dst, std::size_t n)
    {
        while (n > 0) {
            const ssize_t got
                = ::pread(fd_, dst, std::min<std::size_t>(n, 1u << 30), off_t(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            dst += got;
            offset += uint64_t(got);
            n -= std::size_t(got);
        }
        return true;
    }

    // The extent (a hole, or data up to the next hole) that holds byte at; without
    // SEEK_DATA / SEEK_HOLE, the whole file is data.
    void probeExtent(uint64_t at)
    {
        extentStart_ = at;
        extentEnd_ = size_;
        extentIsHole_ = false;
        const off_t data = ::lseek(fd_, off_t(at), SEEK_DATA);
        if (data < 0) {
            extentIsHole_ = errno == ENXIO; // no data from here to the end
            return;
        }
        if (uint64_t(data) > at) {
            extentIsHole_ = true;
            extentEnd_ = std::min<uint64_t>(uint64_t(data), size_);
            return;
        }
        const off_t hole = ::lseek(fd_, off_t(at), SEEK_HOLE);
        if (hole > off_t(at))
            extentEnd_ = std::min<uint64_t>(uint64_t(hole), size_);
    }

    int fd_;
    uint64_t size_;
    std::vector<uint8_t> window_;
    uint64_t winStart_ = 0;
    uint64_t winLen_ = 0;
    uint64_t extentStart_ = 0;
    uint64_t extentEnd_ = 0;
    bool extentIsHole_ = false;
};

// Checks a format chunk body (the first min(size, 40) bytes of it, zero-filled
// beyond) and turns it into the header a TWave holds.
LoadResult adoptFormat(const uint8_t* body, uint32_t size, WAVEFORMATEX& format)
{
    uint16_t tag = le16(body);
    const bool extensible = tag == kExtensible;
    if (extensible) {
        if (size < 40 || le16(body + 16) < 22)
            return fail(kLoadFailed, Message(MessageCode::ExtensibleIncomplete, size));
        if (std::memcmp(body + 26, kGuidTail, sizeof kGuidTail) != 0)
            return fail(kLoadNotPcm, MessageCode::ExtensibleUnknownGuid);
        tag = le16(body + 24);
    }
    const uint16_t channels = le16(body + 2);
    const uint32_t rate = le32(body + 4);
    const uint16_t bits = le16(body + 14);
    if (tag != WAVE_FORMAT_PCM && tag != WAVE_FORMAT_IEEE_FLOAT)
        return fail(kLoadNotPcm, unsupportedFormat(tag, extensible));
    if (tag == WAVE_FORMAT_IEEE_FLOAT && bits != 32 && bits != 64)
        return fail(kLoadNotPcm, Message(MessageCode::FloatBitsUnsupported, bits));
    if (tag == WAVE_FORMAT_PCM && bits > 64)
        return fail(kLoadNotPcm, Message(MessageCode::IntBitsUnsupported, bits));
    if (channels == 0)
        return fail(kLoadFailed, MessageCode::NoChannels);
    if (channels > 256)
        return fail(kLoadFailed, Message(MessageCode::TooManyChannels, channels));
    if (bits < 8 || bits % 8 != 0)
        return fail(kLoadFailed, Message(MessageCode::BitsNotWholeBytes, bits));
    const uint32_t block = uint32_t(bits / 8) * channels; // at most 2 048 bytes
    if (rate == 0)
        return fail(kLoadFailed, Message(MessageCode::SampleRateIs, 0));
    if (uint64_t(block) * rate > kMaxBlock)
        return fail(
            kLoadFailed, Message(MessageCode::ByteRateTooHigh, grouped(uint64_t(block) * rate)));
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

// Stores 0 in place of every float sample that is NaN or infinite; returns how many.
template <class Float> uint64_t zeroNonFinite(uint8_t* p, std::size_t count)
{
    uint64_t found = 0;
    for (std::size_t i = 0; i < count; ++i) {
        Float x;
        std::memcpy(&x, p + i * sizeof x, sizeof x);
        if (!std::isfinite(x)) [[unlikely]] {
            x = 0;
            std::memcpy(p + i * sizeof x, &x, sizeof x);
            ++found;
        }
    }
    return found;
}

uint64_t zeroNonFinite(TWave& w)
{
    switch (sampleKindOf(w.FFormat)) {
    case SampleKind::F32:
        return zeroNonFinite<float>(w.FData.data(), w.FData.size() / 4);
    case SampleKind::F64:
        return zeroNonFinite<double>(w.FData.data(), w.FData.size() / 8);
    default:
        return 0;
    }
}

// The whole load into `out` (a fresh TWave), reading from src. Without samples only the
// header is taken: out gets the format, FSampleCount and FSeconds of the full load (its
// block stays empty), and the report says nothing about the samples' values.
template <class Source>
LoadResult parse(Source& src, TWave& out, WaveLoadReport& report, bool samples = true)
{
    const uint64_t fileSize = src.size();
    const uint8_t* head = src.view(0, 12);
    if (!head)
        return fail(kLoadFailed, Message(MessageCode::WavTooShort, grouped(fileSize)));
    if (le32(head) != kRiff || le32(head + 8) != kWave)
        return fail(kLoadNotRiffWave, MessageCode::NotRiffWave);

    bool haveFmt = false;
    bool haveData = false;
    uint64_t dataOffset = 0;
    uint32_t dataSize = 0;
    uint64_t pos = 12;
    while (!(haveFmt && haveData) && pos <= fileSize && fileSize - pos >= 8) {
        const uint8_t* chunk = src.view(pos, 8);
        if (!chunk)
            return fail(kLoadFailed, MessageCode::FileUnreadable);
        const uint32_t id = le32(chunk);
        const uint32_t size = le32(chunk + 4);
        if ((id | size) == 0) {
            // Zero bytes read as a row of empty chunks with id 0: pass them all at once.
            pos += (src.zeroRunEnd(pos + 8) - pos) / 8 * 8;
            continue;
        }
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
                    Message(MessageCode::ChunkPastEnd, chunkName(id),
                        grouped(size - (fileSize - body))));
            if (id == kFmt && !haveFmt) {
                if (size < 16)
                    return fail(kLoadFailed, Message(MessageCode::FmtChunkTooSmall, size));
                uint8_t fmt[kFmtKept] = {};
                if (!src.read(body, fmt, std::min<std::size_t>(size, kFmtKept)))
                    return fail(kLoadFailed, MessageCode::FileUnreadable);
                LoadResult r = adoptFormat(fmt, size, out.FFormat);
                if (r.code != kLoadOk)
                    return r;
                haveFmt = true;
            }
        }
        pos = body + size + (size & 1);
    }
    if (!haveFmt)
        return fail(kLoadFailed, MessageCode::NoFmtChunk);
    if (!haveData)
        return fail(kLoadFailed, MessageCode::NoDataChunk);

    const uint32_t block = out.FFormat.nBlockAlign;
    const uint64_t available = fileSize - std::min(fileSize, dataOffset);
    const uint64_t present = std::min<uint64_t>(dataSize, available);
    const uint64_t count = present / block;
    const uint64_t bytes = count * block;
    if (bytes > kMaxBlock)
        return fail(kLoadFailed, Message(MessageCode::DataChunkTooLarge, grouped(bytes)));
    if (bytes > 0 && samples) {
        out.FData.resize(std::size_t(bytes));
        if (!src.read(dataOffset, out.FData.data(), std::size_t(bytes)))
            return fail(kLoadFailed, MessageCode::SampleDataUnreadable);
    }
    out.FDataSize = uint32_t(bytes);
    out.FSampleCount = uint32_t(count);
    out.FSeconds = double(count) / double(out.FFormat.nSamplesPerSec);

    report.framesLoaded = count;
    report.framesDeclared = dataSize / block;
    Message warnings;
    if (dataSize > available) {
        report.truncated = true;
        if (dataSize == 0xFFFFFFFFu)
            warnings = Message(MessageCode::DataSizeNotFilled, grouped(count));
        else
            warnings = Message(MessageCode::FileEndsInData, grouped(dataSize - available),
                grouped(count), grouped(report.framesDeclared));
    }
    report.nonFinite = samples ? zeroNonFinite(out) : 0;
    if (report.nonFinite > 0)
        warnings = warnings.then(Message(MessageCode::NonFiniteSamples, grouped(report.nonFinite)));
    report.message = warnings;
    return {};
}

template <class Source> uint8_t load(Source& src, TWave& wave, WaveLoadReport* report)
{
    return loadInto(wave, report,
        [&](TWave& fresh, WaveLoadReport& local) { return parse(src, fresh, local); });
}

constexpr uint32_t kFact = fourcc("fact");

// Appends 4 (or 8) little-endian bytes.
void append32(std::vector<uint8_t>& h, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        h.push_back(uint8_t(v >> (8 * i)));
}

void append64(std::vector<uint8_t>& h, uint64_t v)
{
    append32(h, uint32_t(v));
    append32(h, uint32_t(v >> 32));
}

void append16(std::vector<uint8_t>& h, uint16_t v)
{
    h.push_back(uint8_t(v));
    h.push_back(uint8_t(v >> 8));
}

// Float samples are not PCM: an 18-byte format chunk and a fact chunk.
bool isExtended(const WAVEFORMATEX& f)
{
    return f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT;
}

// The "fmt " chunk of f: 24 bytes, or 26 with cbSize 0 for float samples.
void appendFmtChunk(std::vector<uint8_t>& h, const WAVEFORMATEX& f)
{
    append32(h, kFmt);
    append32(h, isExtended(f) ? 18 : 16);
    append16(h, f.wFormatTag);
    append16(h, f.nChannels);
    append32(h, f.nSamplesPerSec);
    append32(h, f.nAvgBytesPerSec);
    append16(h, f.nBlockAlign);
    append16(h, f.wBitsPerSample);
    if (isExtended(f))
        append16(h, 0); // cbSize
}

// Writes n bytes, going on after a short write so that a failure reports its cause:
// the system's text for errno as the failing write left it (QSaveFile's own text
// does not always carry it), else Qt's.
bool writeAll(QSaveFile& file, const void* data, std::size_t n, QString* why)
{
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        errno = 0;
        const qint64 done = file.write(p, qint64(n));
        if (done <= 0) {
            const int error = errno;
            *why = error != 0 ? errnoText(error) : file.errorString();
            return false;
        }
        p += done;
        n -= std::size_t(done);
    }
    return true;
}

} // namespace

uint64_t rf64Threshold()
{
    return gRf64Threshold.load();
}

void setRf64Threshold(uint64_t bytes)
{
    gRf64Threshold.store(bytes);
}

std::vector<uint8_t> wavFileHeader(const WAVEFORMATEX& f, uint64_t dataBytes)
{
    const uint64_t pad = dataBytes & 1;
    const uint64_t frames = f.nBlockAlign != 0 ? dataBytes / f.nBlockAlign : 0;
    // the bytes after the RIFF size field that are not samples: 36 for PCM, 50 for float
    const uint64_t riffHead = isExtended(f) ? 50 : 36;
    std::vector<uint8_t> h;
    h.reserve(84);
    if (dataBytes <= rf64Threshold() && riffHead + dataBytes + pad <= 0xFFFFFFFFull) {
        append32(h, kRiff);
        append32(h, uint32_t(riffHead + dataBytes + pad));
        append32(h, kWave);
        appendFmtChunk(h, f);
        if (isExtended(f)) {
            append32(h, kFact);
            append32(h, 4);
            append32(h, uint32_t(std::min<uint64_t>(frames, 0xFFFFFFFFu)));
        }
        append32(h, kData);
        append32(h, uint32_t(dataBytes));
        return h;
    }
    append32(h, kRf64);
    append32(h, 0xFFFFFFFFu);
    append32(h, kWave);
    append32(h, kDs64);
    append32(h, 28);
    // the bytes after the RIFF size field: 72 for PCM, 74 with the longer format chunk
    append64(h, (isExtended(f) ? 74 : 72) + dataBytes + pad);
    append64(h, dataBytes);
    append64(h, frames);
    append32(h, 0); // no table of other chunk sizes
    appendFmtChunk(h, f);
    append32(h, kData);
    append32(h, 0xFFFFFFFFu);
    return h;
}

uint8_t TWave::LoadFromFile(const QString& path, WaveLoadReport* report)
{
    auto failWith = [&](const Message& message) {
        if (report)
            *report = WaveLoadReport{message, false, 0, 0};
        return kLoadFailed;
    };
    try {
        QFile file;
        Message why;
        if (!openRegularFile(path, file, &why, QIODevice::ReadOnly | QIODevice::Unbuffered))
            return failWith(why);
        FileSource src(file.handle(), uint64_t(std::max<qint64>(file.size(), 0)));
        return load(src, *this, report);
    } catch (...) {
        return failWith(MessageCode::FileUnreadable);
    }
}

uint8_t readWaveHeader(const QString& path, WaveHeader& header, WaveLoadReport* report)
{
    WaveLoadReport local;
    LoadResult r;
    try {
        QFile file;
        Message why;
        if (!openRegularFile(path, file, &why, QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            r = fail(kLoadFailed, why);
        } else {
            FileSource src(file.handle(), uint64_t(std::max<qint64>(file.size(), 0)));
            TWave fresh;
            r = parse(src, fresh, local, false);
            if (r.code == kLoadOk)
                header = WaveHeader{fresh.FFormat, fresh.FSampleCount, fresh.FSeconds};
        }
    } catch (...) {
        r = fail(kLoadFailed, MessageCode::FileUnreadable);
    }
    if (r.code != kLoadOk) {
        local = WaveLoadReport{};
        local.message = r.message;
    }
    if (report)
        *report = std::move(local);
    return r.code;
}

uint8_t TWave::LoadFromMemory(std::span<const uint8_t> bytes, WaveLoadReport* report)
{
    MemorySource src(bytes);
    return load(src, *this, report);
}

std::vector<uint8_t> TWave::SaveToMemory() const
{
    const std::size_t size = FData.size();
    std::vector<uint8_t> out = wavFileHeader(FFormat, size);
    const std::size_t at = out.size();
    out.resize(at + size + (size & 1), 0);
    if (size > 0)
        std::memcpy(out.data() + at, FData.data(), size);
    return out;
}

bool saveWavFrom(const QString& path, const WAVEFORMATEX& format, uint64_t dataBytes,
    const std::function<bool(const SampleBytesSink& write)>& fill, Message* reason)
{
    return saveFileAtomically(
        path,
        [&](QSaveFile& file, QString* why) {
            const std::vector<uint8_t> header = wavFileHeader(format, dataBytes);
            if (!writeAll(file, header.data(), header.size(), why))
                return false;
            uint64_t written = 0;
            bool failed = false;
            const bool filled = fill([&](const uint8_t* bytes, std::size_t n) {
                failed = failed || n > dataBytes - written || !writeAll(file, bytes, n, why);
                written += failed ? 0 : n;
                return !failed;
            });
            const char pad = 0;
            return filled && !failed && written == dataBytes
                && ((dataBytes & 1) == 0 || writeAll(file, &pad, 1, why));
        },
        reason);
}

bool TWave::SaveToFile(const QString& path, Message* reason) const
{
    return saveWavFrom(
        path, FFormat, FData.size(),
        [&](const SampleBytesSink& write) { return write(FData.data(), FData.size()); }, reason);
}

} // namespace kestrelon
