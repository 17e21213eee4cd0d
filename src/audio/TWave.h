#pragma once
// TWave: one sound in memory, with its format header and its interleaved samples.
//
// Layout of the sample block: frames follow one another from frame 0; inside a
// frame the channels follow one another from channel 0. The block is the WAV
// file's data chunk byte for byte (little-endian, 8-bit unsigned with 128 as
// zero, 16/24/32-bit signed integers, or 32/64-bit IEEE floats).
//
// Sample access works on two scales:
//  - GetSample/SetSample: integers on the 16-bit scale, for every width;
//  - GetSampleF/SetSampleF: Doubles, 1.0 being full scale of the integer widths.
// Out-of-range frame or channel indices read as 0 and ignore writes.
//
// The F-fields are public so that the engine, the drawing code and the window
// can read them; only TWave's own operations (and the WAV reader) change them.

#include <cstdint>
#include <span>
#include <vector>

#include <QString>

namespace kestrelon {

#pragma pack(push, 1)
// The wave-format header of a WAV file's "fmt " chunk: 18 bytes, no gaps, little-endian.
struct WAVEFORMATEX {
    uint16_t wFormatTag = 0;      // 1 integer PCM, 3 IEEE float
    uint16_t nChannels = 0;       // channels per frame
    uint32_t nSamplesPerSec = 0;  // frames per second
    uint32_t nAvgBytesPerSec = 0; // nBlockAlign * nSamplesPerSec
    uint16_t nBlockAlign = 0;     // bytes per frame: (wBitsPerSample / 8) * nChannels
    uint16_t wBitsPerSample = 0;  // bits per sample
    uint16_t cbSize = 0;          // extra format bytes; 0 once UpdateFormat has run
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;
inline constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;

// Result codes of LoadFromFile / LoadFromMemory.
enum : uint8_t {
    kLoadOk = 0,         // read; possibly cut short (see WaveLoadReport::truncated)
    kLoadNotRiffWave = 1,
    kLoadNotPcm = 2,     // a compressed or unknown sample format
    kLoadFailed = 3,     // anything else
};

// What a load found besides its code: a readable reason for every failure,
// and for a file that ended before its data chunk did.
struct WaveLoadReport {
    QString message;              // empty for a complete, successful load
    bool truncated = false;       // code 0, but fewer frames than the header declared
    uint64_t framesLoaded = 0;
    uint64_t framesDeclared = 0;
};

// Samples that a write pushed beyond the range of an integer width and clipped.
struct ClipStats {
    uint64_t clipped = 0;  // samples clipped
    double peak = 0.0;     // largest |value| asked for, on the SetSampleF scale
    void merge(const ClipStats& other);
};

class TWave {
public:
    TWave();  // mono, 22050 Hz, 8 bits, empty
    virtual ~TWave();
    TWave(const TWave&) = default;
    TWave& operator=(const TWave&) = default;
    TWave(TWave&&) noexcept = default;
    TWave& operator=(TWave&&) noexcept = default;

    // Recomputes wFormatTag (1, or 3 for float), nBlockAlign, nAvgBytesPerSec and cbSize.
    // Throws IntOverflowError when nAvgBytesPerSec does not fit a signed 32-bit integer.
    void UpdateFormat();

    int16_t GetSample(uint32_t index, uint8_t channel) const;
    void SetSample(uint32_t index, uint8_t channel, int16_t value);
    double GetSampleF(uint32_t index, uint8_t channel) const;
    void SetSampleF(uint32_t index, uint8_t channel, double value);

    // Bulk forms of GetSampleF/SetSampleF over frames first .. first+count-1 of one
    // channel, with exactly the same results as the per-sample calls (frames past the
    // end read as 0.0 and are not written). WriteChannelF adds what it clipped to *clips.
    void ReadChannelF(uint8_t channel, uint32_t first, uint32_t count, double* out) const;
    void WriteChannelF(uint8_t channel, uint32_t first, uint32_t count, const double* in,
                       ClipStats* clips = nullptr);

    // Resizes the block to count frames: the first frames are kept, new ones are silence.
    // Throws IntOverflowError (size above 2^31 - 1), std::bad_alloc, or FloatError
    // (a sample rate of 0 with samples present, after the new block is in place).
    void SetSampleCount(uint32_t count);

    // Reads a WAV file. A failed load (code 1..3) leaves the TWave exactly as it was.
    uint8_t LoadFromFile(const QString& path, WaveLoadReport* report = nullptr);
    uint8_t LoadFromMemory(std::span<const uint8_t> bytes, WaveLoadReport* report = nullptr);

    // Writes a canonical WAV file atomically: complete at the target name, or not
    // there at all (an existing file is left untouched on failure).
    bool SaveToFile(const QString& path, QString* reason = nullptr) const;
    std::vector<uint8_t> SaveToMemory() const;

    bool isFloat() const { return FFormat.wFormatTag == WAVE_FORMAT_IEEE_FLOAT; }
    const uint8_t* data() const { return FData.empty() ? nullptr : FData.data(); }
    uint8_t* data() { return FData.empty() ? nullptr : FData.data(); }

    WAVEFORMATEX FFormat;
    // The sample block, FDataSize bytes; empty while the sound is empty.
    std::vector<uint8_t> FData;
    uint32_t FDataSize = 0;
    uint32_t FSampleCount = 0;  // frames
    double FSeconds = 0.0;      // FSampleCount / nSamplesPerSec
};

} // namespace kestrelon
