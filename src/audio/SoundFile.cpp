// Opening sound files of every supported format, and saving FLAC (see SoundFile.h).
//
// libsndfile and libmpg123 read through callbacks over a Reader: the bytes of a regular
// file (pread on its descriptor) or of memory, never past the size the file had when it
// was opened. Samples are decoded in chunks straight into a growing sample block; the
// frame count a header declares only sizes the first reservation, bounded by what the
// file could hold, and the block's size is checked against TWave's limit as it grows.

#include "audio/SoundFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <type_traits>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QSaveFile>

#include <mpg123.h>
#include <sndfile.h>

#include "audio/FileAccess.h"
#include "audio/LoadInto.h"
#include "base/Errors.h"

namespace kestrelon {

namespace {

constexpr uint64_t kMaxBlock = uint64_t(std::numeric_limits<int32_t>::max());
// Samples (not frames) decoded per call: 64 KiB of 32-bit samples.
constexpr std::size_t kChunkSamples = 16384;
// A header's frame count is believed for the first reservation only while the samples
// would take at most this many times the file's size (lossy codings decoded to floats
// expand about 20- to 50-fold) plus a mebibyte.
constexpr uint64_t kHintExpansion = 64;

// 12345 -> "12 345"
QString grouped(uint64_t n)
{
    QString digits = QString::number(n);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char(' '));
    return digits;
}

QString libraryText(const char* library, const char* text)
{
    return QStringLiteral("(%1: %2)")
        .arg(QLatin1String(library), QString::fromUtf8(text).trimmed());
}

// The bytes of a file (a descriptor) or of memory, read at a position of its own, as
// libsndfile's virtual I/O and libmpg123's reader want them. Reads end at `size`.
struct Reader {
    int fd = -1;
    const uint8_t* memory = nullptr;
    int64_t size = 0;
    int64_t pos = 0;
    int error = 0; // errno of the first failed read

    int64_t read(void* dst, int64_t n)
    {
        if (pos >= size || n <= 0)
            return 0;
        n = std::min(n, size - pos);
        if (memory) {
            std::memcpy(dst, memory + pos, std::size_t(n));
            pos += n;
            return n;
        }
        int64_t done = 0;
        auto* out = static_cast<uint8_t*>(dst);
        while (done < n) {
            const ssize_t got = ::pread(fd, out + done, std::size_t(n - done), off_t(pos));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0 && error == 0)
                error = errno;
            if (got <= 0)
                break; // an error, or a file that shrank: the end
            done += got;
            pos += got;
        }
        return done;
    }

    int64_t seek(int64_t offset, int whence)
    {
        const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? pos : size;
        if ((offset < 0 && base + offset < 0) || whence < SEEK_SET || whence > SEEK_END)
            return -1;
        pos = base + offset;
        return pos;
    }

    bool startsWith(int64_t at, const char* text, std::size_t n) const
    {
        char head[16];
        if (n > sizeof head || at < 0 || at + int64_t(n) > size)
            return false;
        Reader probe = *this;
        probe.pos = at;
        return probe.read(head, int64_t(n)) == int64_t(n) && std::memcmp(head, text, n) == 0;
    }
};

// --- libsndfile's virtual I/O over a Reader -------------------------------------------

sf_count_t vioLength(void* user)
{
    return static_cast<Reader*>(user)->size;
}

sf_count_t vioSeek(sf_count_t offset, int whence, void* user)
{
    return static_cast<Reader*>(user)->seek(offset, whence);
}

sf_count_t vioRead(void* ptr, sf_count_t count, void* user)
{
    return static_cast<Reader*>(user)->read(ptr, count);
}

sf_count_t vioNoWrite(const void*, sf_count_t, void*)
{
    return 0;
}

sf_count_t vioTell(void* user)
{
    return static_cast<Reader*>(user)->pos;
}

// --- libmpg123's reader over a Reader --------------------------------------------------

ssize_t mpgRead(void* user, void* ptr, size_t count)
{
    auto* reader = static_cast<Reader*>(user);
    const int64_t n = reader->read(ptr, int64_t(std::min<size_t>(count, 1u << 30)));
    return reader->error != 0 ? -1 : ssize_t(n);
}

off_t mpgSeek(void* user, off_t offset, int whence)
{
    return off_t(static_cast<Reader*>(user)->seek(offset, whence));
}

// --- the growing sample block ------------------------------------------------------------

// Where decoded frames go: frames of `block` bytes appended to data, chunk by chunk.
class SampleBlock {
public:
    SampleBlock(std::vector<uint8_t>& data, uint32_t block, std::size_t chunkFrames)
        : data_(data)
        , block_(block)
        , chunkFrames_(chunkFrames)
    {
    }

    // Reserves room for hintFrames frames (a header's count), when that is no more than
    // the file could plausibly decode to.
    void reserveHint(uint64_t hintFrames, int64_t fileSize)
    {
        const uint64_t bound = std::min(
            kMaxBlock, uint64_t(std::max<int64_t>(fileSize, 0)) * kHintExpansion + (1u << 20));
        if (hintFrames > 0 && hintFrames <= bound / block_) // and the last, empty read
            data_.reserve(std::size_t((hintFrames + chunkFrames_) * block_));
    }

    // Room for one chunk at the end; write at most chunkFrames() frames there, then
    // call done() with how many were written.
    uint8_t* room()
    {
        const std::size_t want = chunkFrames_ * block_;
        if (used_ + want > data_.capacity()) {
            const std::size_t limit = std::size_t(kMaxBlock) + want;
            data_.reserve(
                std::min(limit, std::max(used_ + want, data_.capacity() + data_.capacity() / 2)));
        }
        data_.resize(used_ + want);
        return data_.data() + used_;
    }
    std::size_t chunkFrames() const { return chunkFrames_; }
    // false when the block now exceeds TWave's limit
    bool done(std::size_t frames)
    {
        used_ += frames * block_;
        data_.resize(used_);
        return used_ <= kMaxBlock;
    }
    // Gives back what the reservations left unused when that is much.
    void finish()
    {
        if (data_.capacity() - data_.size() > data_.size() / 4)
            data_.shrink_to_fit();
    }
    uint64_t frames() const { return used_ / block_; }

private:
    std::vector<uint8_t>& data_;
    uint32_t block_;
    std::size_t chunkFrames_;
    std::size_t used_ = 0;
};

LoadResult tooLarge()
{
    return fail(kLoadFailed, MessageCode::DecodedTooLarge);
}

// The header of a sound of the given kind, after the checks every reader makes.
LoadResult adoptFormat(SampleKind kind, int64_t channels, int64_t rate, WAVEFORMATEX& format)
{
    if (channels <= 0)
        return fail(kLoadFailed, MessageCode::NoChannels);
    if (channels > 256)
        return fail(kLoadFailed, Message(MessageCode::TooManyChannels, channels));
    if (rate <= 0)
        return fail(kLoadFailed, Message(MessageCode::SampleRateIs, rate));
    const uint64_t block = sampleBytes(kind) * uint64_t(channels);
    if (block * uint64_t(rate) > kMaxBlock)
        return fail(
            kLoadFailed, Message(MessageCode::ByteRateTooHigh, grouped(block * uint64_t(rate))));
    TWave probe;
    probe.FFormat.wFormatTag = kind == SampleKind::F32 || kind == SampleKind::F64
        ? WAVE_FORMAT_IEEE_FLOAT
        : WAVE_FORMAT_PCM;
    probe.FFormat.nChannels = uint16_t(channels);
    probe.FFormat.nSamplesPerSec = uint32_t(rate);
    probe.FFormat.wBitsPerSample = uint16_t(sampleBytes(kind) * 8);
    probe.UpdateFormat(); // cannot throw after the checks above
    format = probe.FFormat;
    return {};
}

// Stores 0 in place of every float sample that is NaN or infinite; returns how many.
// Bits is the unsigned integer of the float's size: a first pass that only counts the
// samples whose exponent is all ones runs at memory speed.
template <class Float, class Bits> uint64_t zeroNonFinite(uint8_t* p, std::size_t count)
{
    static_assert(sizeof(Float) == sizeof(Bits));
    constexpr Bits kExponent
        = std::is_same_v<Float, float> ? Bits(0x7F800000u) : Bits(0x7FF0000000000000u);
    uint64_t found = 0;
    for (std::size_t i = 0; i < count; ++i) {
        Bits b;
        std::memcpy(&b, p + i * sizeof b, sizeof b);
        found += (b & kExponent) == kExponent;
    }
    if (found == 0)
        return 0;
    for (std::size_t i = 0; i < count; ++i) {
        Float x;
        std::memcpy(&x, p + i * sizeof x, sizeof x);
        if (!std::isfinite(x)) {
            x = 0;
            std::memcpy(p + i * sizeof x, &x, sizeof x);
        }
    }
    return found;
}

// Sets the TWave's sizes from its block and the report's counts and warnings.
void finishWave(TWave& out, uint64_t framesDeclared, WaveLoadReport& report)
{
    const uint32_t block = out.FFormat.nBlockAlign;
    out.FDataSize = uint32_t(out.FData.size());
    out.FSampleCount = out.FDataSize / block;
    out.FSeconds = double(out.FSampleCount) / double(out.FFormat.nSamplesPerSec);
    report.framesLoaded = out.FSampleCount;
    report.framesDeclared = framesDeclared;
    const SampleKind kind = sampleKindOf(out.FFormat);
    if (kind == SampleKind::F32)
        report.nonFinite = zeroNonFinite<float, uint32_t>(out.FData.data(), out.FData.size() / 4);
    else if (kind == SampleKind::F64)
        report.nonFinite = zeroNonFinite<double, uint64_t>(out.FData.data(), out.FData.size() / 8);
    if (report.nonFinite > 0)
        report.message = Message(MessageCode::NonFiniteSamples, grouped(report.nonFinite));
}

// --- libsndfile ---------------------------------------------------------------------------

// How a libsndfile subtype is held (see SoundFile.h).
SampleKind kindOfSubtype(int subtype)
{
    switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_DPCM_8:
        return SampleKind::U8;
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_DPCM_16:
    case SF_FORMAT_DWVW_12:
    case SF_FORMAT_DWVW_16:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
    case SF_FORMAT_ALAC_16:
        return SampleKind::S16;
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_DWVW_24:
    case SF_FORMAT_ALAC_20:
    case SF_FORMAT_ALAC_24:
        return SampleKind::S24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_ALAC_32:
        return SampleKind::S32;
    case SF_FORMAT_DOUBLE:
        return SampleKind::F64;
    default:
        return SampleKind::F32;
    }
}

bool isSupportedMajor(int major)
{
    switch (major) {
    case SF_FORMAT_WAV: // RIFX: RIFF/WAVE itself never gets here
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_AIFF:
    case SF_FORMAT_W64:
    case SF_FORMAT_RF64:
    case SF_FORMAT_CAF:
    case SF_FORMAT_FLAC:
    case SF_FORMAT_OGG:
    case SF_FORMAT_MPEG:
        return true;
    default:
        return false;
    }
}

QString majorName(int major)
{
    SF_FORMAT_INFO info{};
    info.format = major;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name)
        return QString::fromUtf8(info.name);
    return QStringLiteral("0x%1").arg(major, 0, 16);
}

struct SndfileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

LoadResult readError(const Reader& reader)
{
    return fail(kLoadFailed, Message(MessageCode::CannotRead, errnoText(reader.error)));
}

LoadResult decodeMpeg(Reader& reader, TWave& out, WaveLoadReport& report);

// Up to `frames` frames of an open libsndfile stream as Sample; false on an error.
template <class Sample> bool readFrames(SNDFILE* f, Sample* dst, sf_count_t frames, sf_count_t* got)
{
    if constexpr (std::is_same_v<Sample, short>)
        *got = sf_readf_short(f, dst, frames);
    else if constexpr (std::is_same_v<Sample, int>)
        *got = sf_readf_int(f, dst, frames);
    else if constexpr (std::is_same_v<Sample, float>)
        *got = sf_readf_float(f, dst, frames);
    else
        *got = sf_readf_double(f, dst, frames);
    return sf_error(f) == SF_ERR_NO_ERROR;
}

LoadResult decodeSndfile(Reader& reader, TWave& out, WaveLoadReport& report)
{
    SF_VIRTUAL_IO io{vioLength, vioSeek, vioRead, vioNoWrite, vioTell};
    SF_INFO info{};
    SndfilePtr file(sf_open_virtual(&io, SFM_READ, &info, &reader));
    if (!file) {
        if (reader.error != 0)
            return readError(reader);
        const int error = sf_error(nullptr);
        const QString why = libraryText("libsndfile", sf_error_number(error));
        if (error == SF_ERR_UNRECOGNISED_FORMAT)
            return fail(kLoadNotRiffWave, Message(MessageCode::NotASoundFile, why));
        return fail(kLoadFailed, Message(MessageCode::CannotBeReadLibrary, why));
    }
    const int major = info.format & SF_FORMAT_TYPEMASK;
    if (!isSupportedMajor(major))
        return fail(
            kLoadNotRiffWave, Message(MessageCode::FormatFilesUnsupported, majorName(major)));
    if (major == SF_FORMAT_MPEG) {
        file.reset();
        reader.pos = 0;
        return decodeMpeg(reader, out, report);
    }

    const SampleKind kind = kindOfSubtype(info.format & SF_FORMAT_SUBMASK);
    if (LoadResult r = adoptFormat(kind, info.channels, info.samplerate, out.FFormat);
        r.code != kLoadOk)
        return r;
    // libsndfile scales every integer read to the full range of the type read into:
    // 8-bit samples read as short are the byte times 256, 24-bit ones read as int the
    // 24 bits shifted up by 8.
    const uint32_t block = out.FFormat.nBlockAlign;
    const auto channels = std::size_t(info.channels);
    SampleBlock samples(out.FData, block, std::max<std::size_t>(1, kChunkSamples / channels));
    const uint64_t declared
        = info.frames > 0 && info.frames < SF_COUNT_MAX ? uint64_t(info.frames) : 0;
    samples.reserveHint(declared, reader.size);
    std::vector<short> shorts;
    std::vector<int> ints;
    if (kind == SampleKind::U8)
        shorts.resize(samples.chunkFrames() * channels);
    if (kind == SampleKind::S24)
        ints.resize(samples.chunkFrames() * channels);

    const auto frames = sf_count_t(samples.chunkFrames());
    for (;;) {
        uint8_t* dst = samples.room();
        sf_count_t got = 0;
        bool ok = false;
        switch (kind) {
        case SampleKind::U8:
            ok = readFrames(file.get(), shorts.data(), frames, &got);
            break;
        case SampleKind::S16:
            ok = readFrames(file.get(), reinterpret_cast<short*>(dst), frames, &got);
            break;
        case SampleKind::S24:
            ok = readFrames(file.get(), ints.data(), frames, &got);
            break;
        case SampleKind::S32:
            ok = readFrames(file.get(), reinterpret_cast<int*>(dst), frames, &got);
            break;
        case SampleKind::F64:
            ok = readFrames(file.get(), reinterpret_cast<double*>(dst), frames, &got);
            break;
        default:
            ok = readFrames(file.get(), reinterpret_cast<float*>(dst), frames, &got);
            break;
        }
        got = std::clamp<sf_count_t>(got, 0, frames);
        const std::size_t count = std::size_t(got) * channels;
        if (kind == SampleKind::U8) {
            for (std::size_t i = 0; i < count; ++i)
                dst[i] = uint8_t((shorts[i] >> 8) + 128);
        } else if (kind == SampleKind::S24) {
            for (std::size_t i = 0; i < count; ++i) {
                const auto v = uint32_t(ints[i]) >> 8;
                dst[3 * i] = uint8_t(v);
                dst[3 * i + 1] = uint8_t(v >> 8);
                dst[3 * i + 2] = uint8_t(v >> 16);
            }
        }
        if (!samples.done(std::size_t(got)))
            return tooLarge();
        if (reader.error != 0)
            return readError(reader);
        if (!ok)
            return fail(kLoadFailed,
                Message(MessageCode::DamagedAfterFrames, grouped(samples.frames()),
                    libraryText("libsndfile", sf_strerror(file.get()))));
        if (got == 0)
            break;
    }
    samples.finish();
    // A FLAC stream's header counts its frames exactly: fewer is a file cut short.
    if (major == SF_FORMAT_FLAC && declared > samples.frames())
        return fail(kLoadFailed,
            Message(MessageCode::EndsAfterFrames, grouped(samples.frames()), grouped(declared)));
    finishWave(out, declared > 0 ? declared : samples.frames(), report);
    return {};
}

// --- MPEG audio through libmpg123 ------------------------------------------------------------

struct MpgCloser {
    void operator()(mpg123_handle* h) const
    {
        mpg123_close(h);
        mpg123_delete(h);
    }
};

LoadResult decodeMpeg(Reader& reader, TWave& out, WaveLoadReport& report)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { mpg123_init(); });
    int error = MPG123_OK;
    std::unique_ptr<mpg123_handle, MpgCloser> h(mpg123_new(nullptr, &error));
    if (!h)
        return fail(kLoadFailed,
            Message(MessageCode::CannotDecodeMpeg,
                libraryText("libmpg123", mpg123_plain_strerror(error))));
    // what: a code whose last argument is the library's text
    auto mpgFailure = [&](MessageCode what, const QString& frames = QString()) {
        if (reader.error != 0)
            return readError(reader);
        const QString said = libraryText("libmpg123", mpg123_strerror(h.get()));
        return fail(
            kLoadFailed, frames.isEmpty() ? Message(what, said) : Message(what, frames, said));
    };
    // Float output at the stream's own rate; the encoder's delay and padding, when a
    // LAME header states them, are left out as every player does.
    mpg123_param(h.get(), MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_FLOAT | MPG123_GAPLESS, 0);
    mpg123_param(h.get(), MPG123_REMOVE_FLAGS, MPG123_AUTO_RESAMPLE, 0);
    if (mpg123_replace_reader_handle(h.get(), mpgRead, mpgSeek, nullptr) != MPG123_OK
        || mpg123_open_handle(h.get(), &reader) != MPG123_OK)
        return mpgFailure(MessageCode::CannotBeReadLibrary);
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(h.get(), &rate, &channels, &encoding) != MPG123_OK)
        return mpgFailure(MessageCode::NoMpegAudio);
    if (encoding != MPG123_ENC_FLOAT_32)
        return fail(kLoadFailed, MessageCode::MpegNoFloat);
    if (LoadResult r = adoptFormat(SampleKind::F32, channels, rate, out.FFormat); r.code != kLoadOk)
        return r;
    const uint32_t block = out.FFormat.nBlockAlign;
    SampleBlock samples(out.FData, block, kChunkSamples / std::size_t(channels));
    const off_t estimate = mpg123_length(h.get()); // from a Xing header or the first frame
    samples.reserveHint(estimate > 0 ? uint64_t(estimate) : 0, reader.size);
    // mpg123_read may stop inside a frame: its first bytes wait in carry for the next chunk
    uint8_t carry[16];
    std::size_t pending = 0;
    int stalls = 0;
    for (bool more = true; more;) {
        uint8_t* dst = samples.room();
        std::memcpy(dst, carry, pending);
        std::size_t done = 0;
        const int rc
            = mpg123_read(h.get(), dst + pending, samples.chunkFrames() * block - pending, &done);
        if (rc == MPG123_NEW_FORMAT) {
            long r = 0;
            int c = 0;
            int e = 0;
            mpg123_getformat(h.get(), &r, &c, &e);
            if (r != rate || c != channels || e != MPG123_ENC_FLOAT_32)
                return fail(kLoadFailed,
                    Message(MessageCode::MpegStreamChanges, qint64(rate), channels, qint64(r), c,
                        grouped(samples.frames())));
        } else if (rc == MPG123_DONE) {
            more = false;
        } else if (rc != MPG123_OK) {
            return mpgFailure(MessageCode::DamagedAfterFrames, grouped(samples.frames()));
        } else if (done == 0 && ++stalls > 64) {
            return fail(kLoadFailed, MessageCode::MpegNoProgress);
        }
        done += pending;
        pending = done % block;
        std::memcpy(carry, dst + (done - pending), pending);
        if (!samples.done(done / block))
            return tooLarge();
    }
    if (reader.error != 0)
        return readError(reader);
    samples.finish();
    finishWave(out, samples.frames(), report);
    return {};
}

// --- loading -------------------------------------------------------------------------------

bool isRiffWave(const Reader& reader)
{
    return reader.startsWith(0, "RIFF", 4) && reader.startsWith(8, "WAVE", 4);
}

// An MPEG audio frame header (layer I, II or III; MPEG-1, 2 or 2.5; free format too):
// the sync bits, then a version, layer, bit rate and sample rate that exist.
bool isMpegFrameHeader(const uint8_t h[4])
{
    const int version = (h[1] >> 3) & 3; // 1 is reserved
    const int layer = (h[1] >> 1) & 3; // 0 is reserved
    return h[0] == 0xFF && (h[1] & 0xE0) == 0xE0 && version != 1 && layer != 0 && (h[2] >> 4) != 15
        && ((h[2] >> 2) & 3) != 3;
}

// MPEG audio: a frame header at the start or right after an ID3v2 tag. No other format
// read here starts so (their files start with "fLaC", "OggS", "FORM", "caff", "riff",
// "RF64" or "RIFX"), and libmpg123 refuses what does not go on as MPEG audio. (Left to
// libsndfile, such a file would be decoded by libmpg123 all the same, but with its
// warnings printed on standard error.)
bool isMpegAudio(const Reader& reader)
{
    Reader r = reader;
    uint8_t h[10];
    int64_t at = 0;
    r.pos = 0;
    if (r.read(h, 10) == 10 && std::memcmp(h, "ID3", 3) == 0)
        at = 10 + (h[5] & 0x10 ? 10 : 0)
            + (int64_t(h[6] & 0x7F) << 21 | int64_t(h[7] & 0x7F) << 14 | int64_t(h[8] & 0x7F) << 7
                | int64_t(h[9] & 0x7F));
    r.pos = at;
    return r.read(h, 4) == 4 && isMpegFrameHeader(h);
}

uint8_t adopt(Reader& reader, TWave& wave, WaveLoadReport* report)
{
    return loadInto(wave, report, [&](TWave& fresh, WaveLoadReport& local) {
        return isMpegAudio(reader) ? decodeMpeg(reader, fresh, local)
                                   : decodeSndfile(reader, fresh, local);
    });
}

// --- saving FLAC -----------------------------------------------------------------------------

// libsndfile's virtual I/O over a QSaveFile being written.
struct Writer {
    QSaveFile* file = nullptr;
    QString error; // the first failure

    sf_count_t write(const void* data, sf_count_t n)
    {
        const char* p = static_cast<const char*>(data);
        sf_count_t done = 0;
        while (done < n && error.isEmpty()) {
            errno = 0;
            const qint64 wrote = file->write(p + done, n - done);
            if (wrote <= 0) {
                error = errno != 0 ? errnoText(errno) : file->errorString();
                break;
            }
            done += wrote;
        }
        return done;
    }
};

sf_count_t wioLength(void* user)
{
    return static_cast<Writer*>(user)->file->size();
}

sf_count_t wioSeek(sf_count_t offset, int whence, void* user)
{
    QSaveFile* file = static_cast<Writer*>(user)->file;
    const sf_count_t base = whence == SEEK_SET ? 0
        : whence == SEEK_CUR                   ? file->pos()
                                               : file->size();
    return base + offset >= 0 && file->seek(base + offset) ? base + offset : -1;
}

sf_count_t wioRead(void*, sf_count_t, void*)
{
    return 0;
}

sf_count_t wioWrite(const void* ptr, sf_count_t count, void* user)
{
    return static_cast<Writer*>(user)->write(ptr, count);
}

sf_count_t wioTell(void* user)
{
    return static_cast<Writer*>(user)->file->pos();
}

// The samples of a sound of `format` that fill hands on (whole sample frames, in order)
// as FLAC through libsndfile into writer; *why on failure. The stream does not depend on
// how fill cuts the samples: the encoder gathers its blocks itself.
bool encodeFlac(const WAVEFORMATEX& format, SampleKind kind,
    const std::function<bool(const SampleBytesSink& write)>& fill, Writer& writer, QString* why)
{
    SF_VIRTUAL_IO io{wioLength, wioSeek, wioRead, wioWrite, wioTell};
    SF_INFO info{};
    info.samplerate = int(format.nSamplesPerSec);
    info.channels = format.nChannels;
    info.format = SF_FORMAT_FLAC
        | (kind == SampleKind::U8         ? SF_FORMAT_PCM_S8
                : kind == SampleKind::S16 ? SF_FORMAT_PCM_16
                                          : SF_FORMAT_PCM_24);
    SndfilePtr file(sf_open_virtual(&io, SFM_WRITE, &info, &writer));
    if (!file) {
        *why = writer.error.isEmpty() ? QString::fromUtf8(sf_strerror(nullptr)) : writer.error;
        return false;
    }
    const std::size_t channels = format.nChannels;
    const std::size_t block = format.nBlockAlign;
    const std::size_t chunk = std::max<std::size_t>(1, kChunkSamples / channels);
    std::vector<short> shorts(kind == SampleKind::S24 ? 0 : chunk * channels);
    std::vector<int> ints(kind == SampleKind::S24 ? chunk * channels : 0);
    bool failed = false;
    const bool filled = fill([&](const uint8_t* bytes, std::size_t size) {
        const std::size_t frames = size / block;
        for (std::size_t first = 0; first < frames && !failed; first += chunk) {
            const std::size_t n = std::min(chunk, frames - first);
            const uint8_t* src = bytes + first * block;
            sf_count_t wrote = 0;
            if (kind == SampleKind::U8) {
                for (std::size_t i = 0; i < n * channels; ++i)
                    shorts[i] = short((int(src[i]) - 128) * 256);
                wrote = sf_writef_short(file.get(), shorts.data(), sf_count_t(n));
            } else if (kind == SampleKind::S16) {
                std::memcpy(shorts.data(), src, n * block);
                wrote = sf_writef_short(file.get(), shorts.data(), sf_count_t(n));
            } else {
                for (std::size_t i = 0; i < n * channels; ++i)
                    ints[i] = int(uint32_t(src[3 * i]) << 8 | uint32_t(src[3 * i + 1]) << 16
                        | uint32_t(src[3 * i + 2]) << 24);
                wrote = sf_writef_int(file.get(), ints.data(), sf_count_t(n));
            }
            if (wrote != sf_count_t(n)) {
                *why = writer.error.isEmpty() ? QString::fromUtf8(sf_strerror(file.get()))
                                              : writer.error;
                failed = true;
            }
        }
        return !failed;
    });
    if (!filled || failed)
        return false;
    const int closed = sf_close(file.release());
    if (!writer.error.isEmpty() || closed != 0) {
        *why = writer.error.isEmpty() ? QString::fromUtf8(sf_error_number(closed)) : writer.error;
        return false;
    }
    return true;
}

// Why a sound of `format` with `frames` sample frames cannot be saved as FLAC, or empty.
Message flacRefusalOf(const WAVEFORMATEX& format, uint64_t frames)
{
    const SampleKind kind = sampleKindOf(format);
    const QString bits = QString::number(format.wBitsPerSample);
    switch (kind) {
    case SampleKind::U8:
    case SampleKind::S16:
    case SampleKind::S24:
        break;
    case SampleKind::F32:
    case SampleKind::F64:
        return Message(MessageCode::FlacFloat, bits);
    case SampleKind::None:
        return Message(MessageCode::FlacNotSampleType, format.wFormatTag, bits);
    default:
        return Message(MessageCode::FlacBits, bits);
    }
    if (format.nChannels < 1 || format.nChannels > 8)
        return Message(MessageCode::FlacChannels, format.nChannels);
    // libsndfile writes no FLAC stream at all (not even its header) without samples
    if (frames == 0)
        return MessageCode::FlacEmpty;
    return {};
}

bool saveFlacFrom(const QString& path, const WAVEFORMATEX& format, uint64_t dataBytes,
    const std::function<bool(const SampleBytesSink& write)>& fill, Message* reason)
{
    const Message refusal
        = flacRefusalOf(format, format.nBlockAlign ? dataBytes / format.nBlockAlign : 0);
    if (!refusal.isEmpty()) {
        if (reason)
            *reason = refusal;
        return false;
    }
    return saveFileAtomically(
        path,
        [&](QSaveFile& file, QString* why) {
            Writer writer{&file, {}};
            return encodeFlac(format, sampleKindOf(format), fill, writer, why);
        },
        reason);
}

bool saveFlac(const QString& path, const TWave& wave, Message* reason)
{
    const std::size_t block = wave.FFormat.nBlockAlign;
    const std::size_t frames
        = block ? std::min<std::size_t>(wave.FSampleCount, wave.FData.size() / block) : 0;
    return saveFlacFrom(
        path, wave.FFormat, uint64_t(frames) * block,
        [&](const SampleBytesSink& write) { return write(wave.FData.data(), frames * block); },
        reason);
}

} // namespace

SoundFileType soundFileTypeFor(const QString& name)
{
    return name.endsWith(QLatin1String(".flac"), Qt::CaseInsensitive) ? SoundFileType::Flac
                                                                      : SoundFileType::Wav;
}

namespace {

// Opens path and gives a WAV file's path to wav(), any other file's reader to other();
// a file that cannot be opened or read fails as a load does, naming the cause.
template <class Wav, class Other>
uint8_t withSoundFile(const QString& path, WaveLoadReport* report, Wav&& wav, Other&& other)
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
        Reader reader;
        reader.fd = file.handle();
        reader.size = std::max<qint64>(file.size(), 0);
        if (isRiffWave(reader)) {
            file.close();
            return wav();
        }
        return other(reader);
    } catch (...) {
        return failWith(MessageCode::FileUnreadable);
    }
}

} // namespace

uint8_t loadSound(const QString& path, TWave& wave, WaveLoadReport* report)
{
    return withSoundFile(
        path, report, [&] { return wave.LoadFromFile(path, report); },
        [&](Reader& reader) { return adopt(reader, wave, report); });
}

uint8_t readSoundHeader(const QString& path, WaveHeader& header, WaveLoadReport* report)
{
    return withSoundFile(
        path, report, [&] { return readWaveHeader(path, header, report); },
        [&](Reader& reader) {
            // Only decoding tells the frames of these formats (see the top of SoundFile.h).
            TWave wave;
            const uint8_t code = adopt(reader, wave, report);
            if (code == kLoadOk)
                header = WaveHeader{wave.FFormat, wave.FSampleCount, wave.FSeconds};
            return code;
        });
}

uint8_t loadSoundFromMemory(std::span<const uint8_t> bytes, TWave& wave, WaveLoadReport* report)
{
    Reader reader;
    reader.memory = bytes.data();
    reader.size = int64_t(bytes.size());
    if (isRiffWave(reader))
        return wave.LoadFromMemory(bytes, report);
    return adopt(reader, wave, report);
}

Message flacRefusal(const TWave& wave)
{
    return flacRefusalOf(wave.FFormat, wave.FSampleCount);
}

bool saveSound(const QString& path, const TWave& wave, SoundFileType type, Message* reason)
{
    if (type == SoundFileType::Flac)
        return saveFlac(path, wave, reason);
    return wave.SaveToFile(path, reason);
}

bool saveSoundFrom(const QString& path, const WAVEFORMATEX& format, uint64_t dataBytes,
    SoundFileType type, const std::function<bool(const SampleBytesSink& write)>& fill,
    Message* reason)
{
    if (type == SoundFileType::Flac)
        return saveFlacFrom(path, format, dataBytes, fill, reason);
    return saveWavFrom(path, format, dataBytes, fill, reason);
}

QStringList soundFileSuffixes()
{
    return {QStringLiteral("wav"), QStringLiteral("flac"), QStringLiteral("ogg"),
        QStringLiteral("oga"), QStringLiteral("opus"), QStringLiteral("mp3"), QStringLiteral("aif"),
        QStringLiteral("aiff"), QStringLiteral("aifc"), QStringLiteral("w64"),
        QStringLiteral("rf64"), QStringLiteral("caf")};
}

QString soundOpenFilter()
{
    QStringList patterns;
    for (const QString& suffix : soundFileSuffixes())
        patterns << QStringLiteral("*.") + suffix;
    return QStringLiteral("Sound files (%1)|%2")
               .arg(patterns.join(QLatin1Char(' ')), patterns.join(QLatin1Char(';')))
        + QStringLiteral("|Wave file (*.wav)|*.wav"
                         "|FLAC file (*.flac)|*.flac"
                         "|Ogg Vorbis or Opus file (*.ogg *.oga *.opus)|*.ogg;*.oga;*.opus"
                         "|MP3 file (*.mp3)|*.mp3"
                         "|AIFF file (*.aif *.aiff *.aifc)|*.aif;*.aiff;*.aifc"
                         "|Wave64 or RF64 file (*.w64 *.rf64)|*.w64;*.rf64"
                         "|Core Audio file (*.caf)|*.caf"
                         "|All files (*)|*");
}

QString soundSaveFilter()
{
    return QStringLiteral("Wave file (*.wav)|*.wav|FLAC file (*.flac)|*.flac");
}

} // namespace kestrelon
