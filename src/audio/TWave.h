#pragma once
// TWave: one sound in memory, with its format header and its interleaved samples.
//
// Layout of the sample block: frames follow one another from frame 0; inside a
// frame the channels follow one another from channel 0. The block is the WAV
// file's data chunk byte for byte (little-endian, 8-bit unsigned with 128 as
// zero, signed integers of 16 to 64 bits in whole bytes, or 32/64-bit IEEE floats).
//
// Sample types (SampleKind): wFormatTag 1 with 8, 16, 24, 32, 40, 48, 56 or 64 bits is
// integer PCM; wFormatTag 3 with 32 or 64 bits is IEEE float. Any other header is
// carried along: its samples read as 0 and writes to them are ignored (the WAV reader
// refuses such files, so only a header changed by hand gets there).
//
// Sample access works on two scales:
//  - GetSample/SetSample: integers on the 16-bit scale, for every width. 8 bits:
//    byte b reads b*256 - 32768 and v stores (v + 32768) div 256; 24 to 64 bits:
//    the top 16 bits (arithmetic shift) and v shifted up; float: x is read as
//    SetSampleF would round it for 16 bits, and v stores v / 32768.
//  - GetSampleF/SetSampleF: Doubles, 1.0 being full scale of the integer widths.
//    Reading gives int8 offset/128 (via the 16-bit scale), and for n = 16 .. 64 bits
//    the integer / 2^(n-1) (rounded to a Double above 53 bits), or the float as
//    stored. Writing an integer width stores floor(x * 2^(n-1) + 0.5) clipped to the
//    width's range (8 bits go through the 16-bit value); a float width stores x as it
//    is (also beyond full scale), a non-finite x as 0 and a 32-bit float beyond
//    +-FLT_MAX as +-FLT_MAX.
// Out-of-range frame or channel indices, an empty sound and a header that is not
// a sample type read as 0 and ignore writes. Access never reaches beyond the
// block, even when the header was changed since the last resize.
//
// The F-fields are public so that the engine, the drawing code and the window
// can read them; only TWave's own operations (and the WAV reader) change them.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include <QString>

#include "base/Message.h"

namespace kestrelon {

#pragma pack(push, 1)
// The wave-format header of a WAV file's "fmt " chunk: 18 bytes, no gaps, little-endian.
struct WAVEFORMATEX {
    uint16_t wFormatTag = 0; // 1 integer PCM, 3 IEEE float
    uint16_t nChannels = 0; // channels per frame
    uint32_t nSamplesPerSec = 0; // frames per second
    uint32_t nAvgBytesPerSec = 0; // nBlockAlign * nSamplesPerSec
    uint16_t nBlockAlign = 0; // bytes per frame: (wBitsPerSample / 8) * nChannels
    uint16_t wBitsPerSample = 0; // bits per sample
    uint16_t cbSize = 0; // extra format bytes; 0 once UpdateFormat has run
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;
inline constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;

// Result codes of LoadFromFile / LoadFromMemory.
enum : uint8_t {
    kLoadOk = 0, // read; possibly cut short (see WaveLoadReport::truncated)
    kLoadNotRiffWave = 1,
    kLoadNotPcm = 2, // a compressed or unknown sample format
    kLoadFailed = 3, // anything else
};

// What a load found besides its code: the reason for every failure; for a successful
// load, warnings (joined) about a file that ended before its data chunk did and about
// float samples that were not finite numbers.
struct WaveLoadReport {
    Message message; // empty for a complete, clean load
    bool truncated = false; // code 0, but fewer frames than the header declared
    uint64_t framesLoaded = 0;
    uint64_t framesDeclared = 0;
    uint64_t nonFinite = 0; // float samples that were NaN or infinite, stored as 0
};

// What writes on the SetSampleF scale met beyond full scale.
//  - clipped: samples not stored as asked: values beyond the range of an integer width
//    (clipped to it), non-finite values (stored as 0, or clipped when infinite and the
//    width is an integer one), 32-bit floats beyond +-FLT_MAX (stored as +-FLT_MAX).
//  - over: float samples beyond +-1.0 that were stored as they are (float widths keep
//    them; they clip only when played or converted to integers).
struct ClipStats {
    uint64_t clipped = 0;
    uint64_t over = 0;
    double peak = 0.0; // largest |value| asked for, on the SetSampleF scale (NaN ignored)
    void merge(const ClipStats& other);
};

// The sample type a header describes (see the top of this file).
enum class SampleKind : uint8_t { None, U8, S16, S24, S32, S40, S48, S56, S64, F32, F64 };
SampleKind sampleKindOf(const WAVEFORMATEX& format);
// Bytes per sample of a kind (0 for None).
constexpr unsigned sampleBytes(SampleKind kind)
{
    switch (kind) {
    case SampleKind::U8:
        return 1;
    case SampleKind::S16:
        return 2;
    case SampleKind::S24:
        return 3;
    case SampleKind::S32:
    case SampleKind::F32:
        return 4;
    case SampleKind::S40:
        return 5;
    case SampleKind::S48:
        return 6;
    case SampleKind::S56:
        return 7;
    case SampleKind::S64:
    case SampleKind::F64:
        return 8;
    case SampleKind::None:
        break;
    }
    return 0;
}

// Saving sounds larger than a WAV header can state. A RIFF header gives the file's and
// the data chunk's sizes in 32 bits, so a data block of more than kLargestRiffData bytes
// (with its pad byte, the RIFF size would pass 0xFFFFFFFF) is saved as RF64 instead: the
// same file with "RF64" in place of "RIFF", 0xFFFFFFFF in both 32-bit sizes and a "ds64"
// chunk before "fmt " that holds the RIFF size, the data size and the frame count in 64
// bits. A TWave holds at most 2 147 483 647 bytes (FDataSize, SetSampleCount), so only a
// lowered threshold makes it save RF64 today; tests lower it with setRf64Threshold.
inline constexpr uint64_t kLargestRiffData = 0xFFFFFFFFull - 37; // 4 294 967 258 bytes
// Data blocks of more than this many bytes are saved as RF64 (kLargestRiffData unless
// set otherwise; process-wide, for tests).
uint64_t rf64Threshold();
void setRf64Threshold(uint64_t bytes);
// The bytes before the samples of a WAV file holding dataBytes bytes of `format`'s
// samples: the canonical 44-byte header (58 for float samples) up to rf64Threshold(), the
// 80-byte RF64 header (82 for float samples; frames = dataBytes / nBlockAlign) beyond. A
// pad byte follows data of odd size.
std::vector<uint8_t> wavFileHeader(const WAVEFORMATEX& format, uint64_t dataBytes);

// Writes a WAV file of `format` with dataBytes bytes of samples that fill hands on,
// atomically like TWave::SaveToFile (which writes through it), so that a sound made a
// piece at a time need not be held whole: fill(write) calls write(bytes, n) with the
// samples in order and returns true when it gave them all; write returns false once the
// file cannot be written. False, and no file, when fill returns false or gives another
// number of bytes, or when the file cannot be written (*reason says why).
using SampleBytesSink = std::function<bool(const uint8_t* bytes, std::size_t n)>;
bool saveWavFrom(const QString& path, const WAVEFORMATEX& format, uint64_t dataBytes,
    const std::function<bool(const SampleBytesSink& write)>& fill, Message* reason = nullptr);

class TWave {
public:
    TWave(); // mono, 22050 Hz, 8 bits, empty
    virtual ~TWave();
    TWave(const TWave&) = default;
    TWave& operator=(const TWave&) = default;
    TWave(TWave&&) noexcept = default;
    TWave& operator=(TWave&&) noexcept = default;

    // Recomputes, in this order, wFormatTag (3 when it was 3 and the width is 32 or 64
    // bits, else 1), nBlockAlign = (wBitsPerSample div 8) * nChannels, nAvgBytesPerSec =
    // nBlockAlign * nSamplesPerSec, and cbSize = 0. Throws IntOverflowError when the
    // block size exceeds 65535 (nBlockAlign unchanged then) or nAvgBytesPerSec does not
    // fit a signed 32-bit integer; the fields set before the failing step stay set.
    void UpdateFormat();

    int16_t GetSample(uint32_t index, uint8_t channel) const;
    void SetSample(uint32_t index, uint8_t channel, int16_t value);
    double GetSampleF(uint32_t index, uint8_t channel) const;
    // Adds to *clips what this write clipped when given.
    void SetSampleF(uint32_t index, uint8_t channel, double value, ClipStats* clips = nullptr);

    // Bulk forms of GetSampleF/SetSampleF over frames first .. first+count-1 of one
    // channel, with exactly the same results as the per-sample calls (frames past the
    // end read as 0.0 and are not written). WriteChannelF adds what it clipped to *clips.
    void ReadChannelF(uint8_t channel, uint32_t first, uint32_t count, double* out) const;
    void WriteChannelF(uint8_t channel, uint32_t first, uint32_t count, const double* in,
        ClipStats* clips = nullptr);

    // Resizes the block to count frames of nBlockAlign bytes: the first bytes are kept,
    // new ones are silence (128 for 8 bits, else 0). A size of 0 releases the block.
    // Throws IntOverflowError (size above 2^31 - 1) or std::bad_alloc before anything
    // changes, or FloatError (a sample rate of 0 with samples present) after the new
    // block, FDataSize and FSampleCount are in place, FSeconds unchanged.
    void SetSampleCount(uint32_t count);

    // Reads a WAV file. A failed load (code 1..3) leaves the TWave exactly as it was.
    // Anything but a regular file (a FIFO, a device, a folder) is refused without
    // blocking or reading it. Float samples that are NaN or infinite are stored as 0
    // (counted in the report).
    uint8_t LoadFromFile(const QString& path, WaveLoadReport* report = nullptr);
    uint8_t LoadFromMemory(std::span<const uint8_t> bytes, WaveLoadReport* report = nullptr);

    // Writes a canonical WAV file (RF64 beyond rf64Threshold()) atomically: complete at
    // the target name, or not there at all (an existing file is left untouched on
    // failure). Integer PCM has the 44-byte header; float samples the 18-byte format chunk
    // (cbSize 0) and a fact chunk with the frame count, 58 bytes. A replaced file keeps
    // its permission bits. A name that ends in "/" or names a folder, a FIFO or a device
    // is refused before anything is written; *reason names the cause of any failure
    // without the path ("cannot write: No space left on device").
    bool SaveToFile(const QString& path, Message* reason = nullptr) const;
    std::vector<uint8_t> SaveToMemory() const;

    bool isFloat() const { return FFormat.wFormatTag == WAVE_FORMAT_IEEE_FLOAT; }
    const uint8_t* data() const { return FData.empty() ? nullptr : FData.data(); }
    uint8_t* data() { return FData.empty() ? nullptr : FData.data(); }

    WAVEFORMATEX FFormat;
    // The sample block, FDataSize bytes; empty while the sound is empty.
    std::vector<uint8_t> FData;
    uint32_t FDataSize = 0;
    uint32_t FSampleCount = 0; // frames
    double FSeconds = 0.0; // FSampleCount / nSamplesPerSec
};

// What a WAV file's header says of its sound: the format, frame count and duration a
// full load (TWave::LoadFromFile) would give, read without the samples. The header is
// checked exactly as the load checks it, with the same codes and messages; a file cut
// short reports the frames it holds (report->truncated and the same warning), and
// report->nonFinite stays 0 (the samples are not looked at).
struct WaveHeader {
    WAVEFORMATEX format;
    uint32_t sampleCount = 0; // frames
    double seconds = 0.0; // sampleCount / nSamplesPerSec
};
uint8_t readWaveHeader(const QString& path, WaveHeader& header, WaveLoadReport* report = nullptr);

} // namespace kestrelon
