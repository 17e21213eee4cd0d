#pragma once
// Hand-built RIFF/WAVE files and sounds for the audio tests (the spectral tests use
// makeWave too).

#include <cstdint>
#include <string>
#include <vector>

#include <QFile>

#include "audio/TWave.h"

namespace kestrelon::test {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& b, uint16_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

inline void put32(Bytes& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}

inline void putId(Bytes& b, const char* id)
{
    b.insert(b.end(), id, id + 4);
}

struct FmtFields {
    uint16_t tag = 1;
    uint16_t channels = 1;
    uint32_t rate = 8000;
    uint16_t bits = 16;
    int blockAlign = -1; // -1: the right value
    int64_t avgBytes = -1; // -1: the right value
};

// A 16-byte format body, or 18 bytes with cbSize when cbSize >= 0.
inline Bytes fmtBody(const FmtFields& f, int cbSize = -1)
{
    Bytes b;
    const uint16_t align
        = f.blockAlign >= 0 ? uint16_t(f.blockAlign) : uint16_t(f.bits / 8 * f.channels);
    put16(b, f.tag);
    put16(b, f.channels);
    put32(b, f.rate);
    put32(b, f.avgBytes >= 0 ? uint32_t(f.avgBytes) : align * f.rate);
    put16(b, align);
    put16(b, f.bits);
    if (cbSize >= 0)
        put16(b, uint16_t(cbSize));
    return b;
}

// A 40-byte WAVE_FORMAT_EXTENSIBLE body whose sub-format GUID carries subTag.
inline Bytes extensibleBody(FmtFields f, uint16_t subTag, uint16_t validBits)
{
    f.tag = 0xFFFE;
    Bytes b = fmtBody(f, 22);
    put16(b, validBits);
    put32(b, f.channels == 2 ? 3u : 4u); // channel mask
    put16(b, subTag);
    const uint8_t tail[14]
        = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    b.insert(b.end(), tail, tail + 14);
    return b;
}

struct Chunk {
    std::string id;
    Bytes body;
    int64_t size = -1; // -1: the body's size
    bool pad = true; // a pad byte after a body of odd size
};

// "RIFF" size "WAVE" chunks...; riffSize -1 gives the right value.
inline Bytes riffFile(
    const std::vector<Chunk>& chunks, const char* form = "WAVE", int64_t riffSize = -1)
{
    Bytes b;
    putId(b, "RIFF");
    put32(b, 0);
    putId(b, form);
    for (const Chunk& c : chunks) {
        putId(b, c.id.c_str());
        put32(b, c.size >= 0 ? uint32_t(c.size) : uint32_t(c.body.size()));
        b.insert(b.end(), c.body.begin(), c.body.end());
        if (c.pad && c.body.size() % 2 == 1)
            b.push_back(0);
    }
    const uint32_t riff = riffSize >= 0 ? uint32_t(riffSize) : uint32_t(b.size() - 8);
    for (int i = 0; i < 4; ++i)
        b[4 + i] = uint8_t(riff >> (8 * i));
    return b;
}

inline Bytes text(const char* s)
{
    return Bytes(s, s + std::char_traits<char>::length(s));
}

// count bytes 0, 1, 2, ... (mod 251), a pattern that shows any shift or swap.
inline Bytes pattern(std::size_t count, uint8_t seed = 0)
{
    Bytes b(count);
    for (std::size_t i = 0; i < count; ++i)
        b[i] = uint8_t((i + seed) % 251);
    return b;
}

// A sound of `frames` silent frames; tag 3 with 32 or 64 bits holds IEEE floats.
inline TWave makeWave(
    uint16_t bits, uint16_t channels, uint32_t frames, uint16_t tag = 1, uint32_t rate = 8000)
{
    TWave w;
    w.FFormat.wFormatTag = tag;
    w.FFormat.wBitsPerSample = bits;
    w.FFormat.nChannels = channels;
    w.FFormat.nSamplesPerSec = rate;
    w.UpdateFormat();
    w.SetSampleCount(frames);
    return w;
}

inline Bytes readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray b = f.readAll();
    return Bytes(b.begin(), b.end());
}

inline bool writeFile(const QString& path, const Bytes& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly)
        && f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()))
        == qint64(bytes.size());
}

} // namespace kestrelon::test
