#include "audio/TWave.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/Errors.h"

static_assert(std::endian::native == std::endian::little,
    "the sample block is kept in the file's little-endian order");

namespace kestrelon {

namespace {

constexpr int64_t kMaxBlock = std::numeric_limits<int32_t>::max();

// floor(x * scale + 0.5) clipped to lo .. hi; a NaN gives 0. Adds 1 to clipped
// when the value had to be changed. Runs once per sample on the engine's hot
// path, so apart from the rare NaN it does not branch: y is clamped first (a
// value between hi and hi + 1 has the floor hi either way), then floored
// exactly through an integer conversion.
inline int32_t quantize(double x, double scale, int32_t lo, int32_t hi, uint64_t& clipped)
{
    const double y = x * scale + 0.5;
    if (y != y) [[unlikely]] {
        ++clipped;
        return 0;
    }
    const double dlo = lo;
    const double dhi = hi;
    clipped += uint64_t((y < dlo) | (y >= dhi + 1.0));
    double c = y < dlo ? dlo : y;
    c = c > dhi ? dhi : c;
    int64_t t = static_cast<int64_t>(c);
    t -= int64_t(double(t) > c);
    return static_cast<int32_t>(t);
}

// floor(x * 2^(Bits-1) + 0.5) clipped to the range of a signed Bits-bit integer, for
// widths whose largest value a Double may not hold (40 to 64 bits); a NaN gives 0.
// Inside the range y is floored exactly through the integer conversion, as above.
template <unsigned Bits> inline int64_t quantizeWide(double x, uint64_t& clipped)
{
    constexpr double lim = double(uint64_t(1) << (Bits - 1));
    constexpr int64_t hi = int64_t((uint64_t(1) << (Bits - 1)) - 1);
    const double y = x * lim + 0.5;
    if (y >= -lim && y < lim) [[likely]] {
        int64_t t = static_cast<int64_t>(y);
        t -= int64_t(double(t) > y);
        return t;
    }
    ++clipped;
    if (y != y)
        return 0;
    return y > 0 ? hi : -hi - 1;
}

inline int16_t readS16(const uint8_t* p)
{
    int16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline int32_t readS24(const uint8_t* p)
{
    return int32_t(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16)) << 8 >> 8;
}

inline int32_t readS32(const uint8_t* p)
{
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// A signed little-endian integer of Bytes (5 to 8) bytes.
template <unsigned Bytes> inline int64_t readWide(const uint8_t* p)
{
    uint64_t u = 0;
    std::memcpy(&u, p, Bytes);
    return int64_t(u << (64 - 8 * Bytes)) >> (64 - 8 * Bytes);
}

template <unsigned Bytes> inline void writeWide(uint8_t* p, int64_t v)
{
    std::memcpy(p, &v, Bytes);
}

// The byte count of the integer kinds of 40 to 64 bits, 0 for the others.
constexpr unsigned wideBytes(SampleKind k)
{
    return k >= SampleKind::S40 && k <= SampleKind::S64 ? sampleBytes(k) : 0;
}

inline float readF32(const uint8_t* p)
{
    float v;
    std::memcpy(&v, p, 4);
    return v;
}

inline double readF64(const uint8_t* p)
{
    double v;
    std::memcpy(&v, p, 8);
    return v;
}

inline void writeS24(uint8_t* p, int32_t v)
{
    const auto u = uint32_t(v);
    p[0] = uint8_t(u);
    p[1] = uint8_t(u >> 8);
    p[2] = uint8_t(u >> 16);
}

template <class T> inline void writeRaw(uint8_t* p, T v)
{
    std::memcpy(p, &v, sizeof v);
}

// Decoding on the SetSampleF scale.
template <SampleKind K> inline double decodeF(const uint8_t* p)
{
    if constexpr (K == SampleKind::U8)
        return double(int32_t(p[0]) * 256 - 32768) / 32768.0;
    else if constexpr (K == SampleKind::S16)
        return double(readS16(p)) / 32768.0;
    else if constexpr (K == SampleKind::S24)
        return double(readS24(p)) / 8388608.0;
    else if constexpr (K == SampleKind::S32)
        return double(readS32(p)) / 2147483648.0;
    else if constexpr (wideBytes(K) != 0)
        return double(readWide<wideBytes(K)>(p)) / double(uint64_t(1) << (8 * wideBytes(K) - 1));
    else if constexpr (K == SampleKind::F32)
        return double(readF32(p));
    else
        return readF64(p);
}

// Encoding from the SetSampleF scale; adds to clipped and over as ClipStats counts.
template <SampleKind K>
inline void encodeF(uint8_t* p, double x, uint64_t& clipped, [[maybe_unused]] uint64_t& over)
{
    if constexpr (K == SampleKind::U8) {
        const int32_t v = quantize(x, 32768.0, -32768, 32767, clipped);
        p[0] = uint8_t((v + 32768) >> 8);
    } else if constexpr (K == SampleKind::S16) {
        writeRaw(p, int16_t(quantize(x, 32768.0, -32768, 32767, clipped)));
    } else if constexpr (K == SampleKind::S24) {
        writeS24(p, quantize(x, 8388608.0, -8388608, 8388607, clipped));
    } else if constexpr (K == SampleKind::S32) {
        writeRaw(p,
            quantize(x, 2147483648.0, std::numeric_limits<int32_t>::min(),
                std::numeric_limits<int32_t>::max(), clipped));
    } else if constexpr (wideBytes(K) != 0) {
        writeWide<wideBytes(K)>(p, quantizeWide<8 * wideBytes(K)>(x, clipped));
    } else if constexpr (K == SampleKind::F32) {
        float f;
        if (!std::isfinite(x)) {
            ++clipped;
            f = 0.0f;
        } else if (x > double(FLT_MAX) || x < -double(FLT_MAX)) {
            ++clipped;
            f = x > 0 ? FLT_MAX : -FLT_MAX;
        } else {
            over += uint64_t(std::fabs(x) > 1.0);
            f = float(x);
        }
        writeRaw(p, f);
    } else {
        if (!std::isfinite(x)) {
            ++clipped;
            x = 0.0;
        }
        over += uint64_t(std::fabs(x) > 1.0);
        writeRaw(p, x);
    }
}

// The loops of the bulk forms, on locals only: a store through the byte pointer
// may alias anything, so nothing the loop reads may live behind a reference.
template <SampleKind K> void readRun(const uint8_t* p, std::size_t stride, uint32_t n, double* out)
{
    for (uint32_t i = 0; i < n; ++i)
        out[i] = decodeF<K>(p + std::size_t(i) * stride);
}

#if defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
#define KESTRELON_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define KESTRELON_CLONES
#endif

// quantize over n values into out; returns how many it clipped. Without a branch, so
// that it vectorises: a NaN becomes 0 (and counts) through the same clamps. For widths of
// at most 32 bits, whose clamped values an int32_t holds.
KESTRELON_CLONES uint64_t quantizeRun(
    const double* in, uint32_t n, double scale, int32_t lo, int32_t hi, int32_t* out)
{
    const double dlo = lo;
    const double dhi = hi;
    const double beyond = dhi + 1.0;
    uint64_t clipped = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const double y = in[i] * scale + 0.5;
        const bool nan = y != y;
        clipped += uint64_t(nan | (y < dlo) | (y >= beyond));
        double c = nan ? 0.0 : y;
        c = c < dlo ? dlo : c;
        c = c > dhi ? dhi : c;
        int32_t t = static_cast<int32_t>(c);
        t -= int32_t(double(t) > c);
        out[i] = t;
    }
    return clipped;
}

// The largest of peak and |in[i]|, NaN ignored (as notePeak one value at a time). The
// magnitudes are compared as bit patterns, which order non-negative doubles as their
// values do (a NaN counts as 0), so that the loop is an integer maximum and vectorises.
KESTRELON_CLONES double peakRun(const double* in, uint32_t n, double peak)
{
    constexpr uint64_t kInfinity = 0x7FF0000000000000ULL;
    uint64_t top = 0;
    for (uint32_t i = 0; i < n; ++i) {
        uint64_t b = std::bit_cast<uint64_t>(in[i]) & ~(uint64_t(1) << 63);
        b &= uint64_t(0) - uint64_t(b <= kInfinity);
        top = std::max(top, b);
    }
    const double a = std::bit_cast<double>(top);
    return a > peak ? a : peak;
}

template <SampleKind K>
void writeRun(uint8_t* p, std::size_t stride, uint32_t n, const double* in, uint64_t& clippedOut,
    uint64_t& overOut)
{
    uint64_t clipped = 0;
    uint64_t over = 0;
    if constexpr (K == SampleKind::U8 || K == SampleKind::S16 || K == SampleKind::S24
        || K == SampleKind::S32) {
        // encodeF's integers, quantised a batch at a time
        constexpr int bits = K == SampleKind::S24 ? 24 : K == SampleKind::S32 ? 32 : 16;
        constexpr double scale = double(uint64_t(1) << (bits - 1));
        constexpr auto hi = int32_t((uint64_t(1) << (bits - 1)) - 1);
        constexpr int32_t lo = -hi - 1;
        constexpr uint32_t kBatch = 256;
        int32_t q[kBatch];
        for (uint32_t i0 = 0; i0 < n; i0 += kBatch) {
            const uint32_t m = std::min(kBatch, n - i0);
            clipped += quantizeRun(in + i0, m, scale, lo, hi, q);
            uint8_t* at = p + std::size_t(i0) * stride;
            for (uint32_t i = 0; i < m; ++i, at += stride) {
                if constexpr (K == SampleKind::U8)
                    at[0] = uint8_t((q[i] + 32768) >> 8);
                else if constexpr (K == SampleKind::S16)
                    writeRaw(at, int16_t(q[i]));
                else if constexpr (K == SampleKind::S24)
                    writeS24(at, q[i]);
                else
                    writeRaw(at, q[i]);
            }
        }
    } else {
        for (uint32_t i = 0; i < n; ++i) {
            const double x = in[i];
            encodeF<K>(p + std::size_t(i) * stride, x, clipped, over);
        }
    }
    clippedOut = clipped;
    overOut = over;
}

inline void notePeak(double x, double& peak)
{
    const double a = std::fabs(x);
    if (a > peak)
        peak = a;
}

// Calls fn.template operator()<K>() for the run-time kind k (not None).
template <class Fn> inline void dispatch(SampleKind k, Fn&& fn)
{
    switch (k) {
    case SampleKind::U8:
        fn.template operator()<SampleKind::U8>();
        break;
    case SampleKind::S16:
        fn.template operator()<SampleKind::S16>();
        break;
    case SampleKind::S24:
        fn.template operator()<SampleKind::S24>();
        break;
    case SampleKind::S32:
        fn.template operator()<SampleKind::S32>();
        break;
    case SampleKind::S40:
        fn.template operator()<SampleKind::S40>();
        break;
    case SampleKind::S48:
        fn.template operator()<SampleKind::S48>();
        break;
    case SampleKind::S56:
        fn.template operator()<SampleKind::S56>();
        break;
    case SampleKind::S64:
        fn.template operator()<SampleKind::S64>();
        break;
    case SampleKind::F32:
        fn.template operator()<SampleKind::F32>();
        break;
    case SampleKind::F64:
        fn.template operator()<SampleKind::F64>();
        break;
    case SampleKind::None:
        break;
    }
}

// Where the samples of one channel lie: byte offset of frame 0, the stride between
// frames, and how many frames (from 0) lie wholly inside the block.
struct ChannelView {
    SampleKind kind = SampleKind::None;
    std::size_t offset = 0;
    std::size_t stride = 0;
    uint32_t frames = 0;
};

ChannelView channelView(const TWave& w, uint8_t channel)
{
    ChannelView v;
    const SampleKind kind = sampleKindOf(w.FFormat);
    const unsigned bytes = sampleBytes(kind);
    const uint32_t channels = w.FFormat.nChannels;
    if (bytes == 0 || channel >= channels || w.FData.empty() || w.FSampleCount == 0)
        return v;
    const uint64_t size = w.FData.size();
    const uint64_t offset = uint64_t(channel) * bytes;
    const uint64_t stride = uint64_t(channels) * bytes;
    if (offset + bytes > size)
        return v;
    // frame f fits when offset + f * stride + bytes <= size
    const uint64_t fit = (size - offset - bytes) / stride + 1;
    v.kind = kind;
    v.offset = std::size_t(offset);
    v.stride = std::size_t(stride);
    v.frames = uint32_t(std::min<uint64_t>(fit, w.FSampleCount));
    return v;
}

// Address of one sample, or nullptr when it is out of range or unreadable.
template <class Bytes>
auto* sampleAt(Bytes& data, const TWave& w, uint32_t index, uint8_t channel, SampleKind& kind)
{
    kind = sampleKindOf(w.FFormat);
    const unsigned bytes = sampleBytes(kind);
    const uint32_t channels = w.FFormat.nChannels;
    decltype(data.data()) none = nullptr;
    if (bytes == 0 || data.empty() || channel >= channels || index >= w.FSampleCount)
        return none;
    const uint64_t at = (uint64_t(index) * channels + channel) * bytes;
    if (at + bytes > data.size())
        return none;
    return data.data() + at;
}

} // namespace

void ClipStats::merge(const ClipStats& other)
{
    clipped += other.clipped;
    over += other.over;
    if (other.peak > peak)
        peak = other.peak;
}

SampleKind sampleKindOf(const WAVEFORMATEX& f)
{
    if (f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
        if (f.wBitsPerSample == 32)
            return SampleKind::F32;
        if (f.wBitsPerSample == 64)
            return SampleKind::F64;
        return SampleKind::None;
    }
    switch (f.wBitsPerSample) {
    case 8:
        return SampleKind::U8;
    case 16:
        return SampleKind::S16;
    case 24:
        return SampleKind::S24;
    case 32:
        return SampleKind::S32;
    case 40:
        return SampleKind::S40;
    case 48:
        return SampleKind::S48;
    case 56:
        return SampleKind::S56;
    case 64:
        return SampleKind::S64;
    default:
        return SampleKind::None;
    }
}

TWave::TWave()
{
    FFormat.nChannels = 1;
    FFormat.nSamplesPerSec = 22050;
    FFormat.wBitsPerSample = 8;
    UpdateFormat();
}

TWave::~TWave() = default;

void TWave::UpdateFormat()
{
    const uint16_t bits = FFormat.wBitsPerSample;
    FFormat.wFormatTag = FFormat.wFormatTag == WAVE_FORMAT_IEEE_FLOAT && (bits == 32 || bits == 64)
        ? WAVE_FORMAT_IEEE_FLOAT
        : WAVE_FORMAT_PCM;
    const uint32_t block = uint32_t(bits / 8) * FFormat.nChannels;
    if (block > 0xFFFF)
        throw IntOverflowError(intOverflow(MessageCode::WhatBlockSize));
    FFormat.nBlockAlign = uint16_t(block);
    const uint64_t avg = uint64_t(block) * FFormat.nSamplesPerSec;
    if (avg > uint64_t(kMaxBlock))
        throw IntOverflowError(intOverflow(MessageCode::WhatBytesPerSecond));
    FFormat.nAvgBytesPerSec = uint32_t(avg);
    FFormat.cbSize = 0;
}

int16_t TWave::GetSample(uint32_t index, uint8_t channel) const
{
    SampleKind kind;
    const uint8_t* p = sampleAt(FData, *this, index, channel, kind);
    if (!p)
        return 0;
    switch (kind) {
    case SampleKind::U8:
        return int16_t(int32_t(p[0]) * 256 - 32768);
    case SampleKind::S16:
        return readS16(p);
    case SampleKind::S24:
        return int16_t(readS24(p) >> 8);
    case SampleKind::S32:
        return int16_t(readS32(p) >> 16);
    case SampleKind::S40:
        return int16_t(readWide<5>(p) >> 24);
    case SampleKind::S48:
        return int16_t(readWide<6>(p) >> 32);
    case SampleKind::S56:
        return int16_t(readWide<7>(p) >> 40);
    case SampleKind::S64:
        return int16_t(readWide<8>(p) >> 48);
    case SampleKind::F32:
    case SampleKind::F64: {
        uint64_t ignored = 0;
        const double x = kind == SampleKind::F32 ? double(readF32(p)) : readF64(p);
        return int16_t(quantize(x, 32768.0, -32768, 32767, ignored));
    }
    case SampleKind::None:
        break;
    }
    return 0;
}

void TWave::SetSample(uint32_t index, uint8_t channel, int16_t value)
{
    SampleKind kind;
    uint8_t* p = sampleAt(FData, *this, index, channel, kind);
    if (!p)
        return;
    switch (kind) {
    case SampleKind::U8:
        p[0] = uint8_t((int32_t(value) + 32768) >> 8);
        break;
    case SampleKind::S16:
        writeRaw(p, value);
        break;
    case SampleKind::S24:
        writeS24(p, int32_t(value) * 256);
        break;
    case SampleKind::S32:
        writeRaw(p, int32_t(value) * 65536);
        break;
    case SampleKind::S40:
        writeWide<5>(p, int64_t(value) * (int64_t(1) << 24));
        break;
    case SampleKind::S48:
        writeWide<6>(p, int64_t(value) * (int64_t(1) << 32));
        break;
    case SampleKind::S56:
        writeWide<7>(p, int64_t(value) * (int64_t(1) << 40));
        break;
    case SampleKind::S64:
        writeWide<8>(p, int64_t(value) * (int64_t(1) << 48));
        break;
    case SampleKind::F32:
        writeRaw(p, float(value) / 32768.0f);
        break;
    case SampleKind::F64:
        writeRaw(p, double(value) / 32768.0);
        break;
    case SampleKind::None:
        break;
    }
}

double TWave::GetSampleF(uint32_t index, uint8_t channel) const
{
    SampleKind kind;
    const uint8_t* p = sampleAt(FData, *this, index, channel, kind);
    double x = 0.0;
    if (p)
        dispatch(kind, [&]<SampleKind K>() { x = decodeF<K>(p); });
    return x;
}

void TWave::SetSampleF(uint32_t index, uint8_t channel, double value, ClipStats* clips)
{
    SampleKind kind;
    uint8_t* p = sampleAt(FData, *this, index, channel, kind);
    if (!p)
        return;
    uint64_t clipped = 0;
    uint64_t over = 0;
    dispatch(kind, [&]<SampleKind K>() { encodeF<K>(p, value, clipped, over); });
    if (clips) {
        clips->clipped += clipped;
        clips->over += over;
        notePeak(value, clips->peak);
    }
}

void TWave::ReadChannelF(uint8_t channel, uint32_t first, uint32_t count, double* out) const
{
    const ChannelView v = channelView(*this, channel);
    const uint64_t end = uint64_t(first) + count;
    const uint64_t validEnd = std::min<uint64_t>(end, v.frames);
    const uint32_t n = validEnd > first ? uint32_t(validEnd - first) : 0;
    if (n > 0) {
        const uint8_t* p = FData.data() + v.offset + std::size_t(first) * v.stride;
        const std::size_t stride = v.stride;
        dispatch(v.kind, [&]<SampleKind K>() { readRun<K>(p, stride, n, out); });
    }
    std::fill(out + n, out + count, 0.0);
}

void TWave::WriteChannelF(
    uint8_t channel, uint32_t first, uint32_t count, const double* in, ClipStats* clips)
{
    const ChannelView v = channelView(*this, channel);
    const uint64_t end = uint64_t(first) + count;
    const uint64_t validEnd = std::min<uint64_t>(end, v.frames);
    const uint32_t n = validEnd > first ? uint32_t(validEnd - first) : 0;
    if (n == 0)
        return;
    uint8_t* p = FData.data() + v.offset + std::size_t(first) * v.stride;
    const std::size_t stride = v.stride;
    uint64_t clipped = 0;
    uint64_t over = 0;
    dispatch(v.kind, [&]<SampleKind K>() { writeRun<K>(p, stride, n, in, clipped, over); });
    if (clips) {
        clips->peak = peakRun(in, n, clips->peak);
        clips->clipped += clipped;
        clips->over += over;
    }
}

void TWave::SetSampleCount(uint32_t count)
{
    const uint64_t size = uint64_t(count) * FFormat.nBlockAlign;
    if (size > uint64_t(kMaxBlock))
        throw IntOverflowError(intOverflow(MessageCode::WhatSampleBlock));
    if (size == 0) {
        if (!FData.empty()) {
            std::vector<uint8_t>().swap(FData);
            FDataSize = 0;
            FSampleCount = 0;
            FSeconds = 0.0;
        }
        return;
    }
    std::vector<uint8_t> block(std::size_t(size), FFormat.wBitsPerSample == 8 ? 128 : 0);
    if (!FData.empty())
        std::memcpy(block.data(), FData.data(), std::min(block.size(), FData.size()));
    FData.swap(block);
    FDataSize = uint32_t(size);
    FSampleCount = count;
    if (FFormat.nSamplesPerSec == 0)
        throw FloatError(Message(MessageCode::ZeroSampleRate));
    FSeconds = double(count) / double(FFormat.nSamplesPerSec);
}

} // namespace kestrelon
