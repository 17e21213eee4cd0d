#pragma once
// Sound files of every format Kestrelon opens, and the two it saves.
//
// Opening decides by content, not by name: a RIFF/WAVE file goes through TWave's own
// WAV reader (TWave::LoadFromFile, unchanged); anything else through libsndfile, which
// knows FLAC, Ogg (Vorbis, Opus), MPEG audio (MP3), AIFF/AIFC, Wave64, RF64, CAF and
// big-endian RIFX WAV. Other formats libsndfile recognises are refused. MPEG audio is
// decoded with libmpg123 directly (libsndfile's own MPEG reading stops at the length
// the header claims, which for an MP3 without a Xing header is a guess): its frames are
// counted as they are decoded, up to the end of the file.
//
// What the TWave holds afterwards:
//  - integer PCM at the source's width: 8-bit sources (signed or unsigned) as 8-bit,
//    16 as 16, 24 (and ALAC's 20) as 24, 32 as 32 bits; A-law and µ-law as 16-bit;
//  - 64-bit float as 64-bit float;
//  - everything else, 32-bit float and every lossy coding (Vorbis, Opus, MP3, ADPCM,
//    GSM...), as 32-bit float on the scale where 1.0 is full scale;
//  - the frames actually decoded: a frame count declared in a header is a hint for
//    how much memory to reserve at first, never the length of the sound.
// Float samples that are NaN or infinite are stored as 0 and counted in the report, as
// for WAV files. The sound may hold at most 2 147 483 647 bytes of samples (TWave's
// limit), 256 channels, and a byte rate that fits a signed 32-bit integer.
//
// A file that cannot be read (unknown or unsupported format, damaged, cut short inside
// a FLAC stream, too large) is refused: the code is not kLoadOk, the report's message
// says why without the path (libsndfile's and libmpg123's own texts are quoted), and
// the TWave is left exactly as it was. Files are opened with openRegularFile (never a
// FIFO or a device, never blocking) and read only up to the size they had when opened.

#include <cstdint>
#include <span>

#include <QString>
#include <QStringList>

#include "audio/TWave.h"

namespace kestrelon {

// What a sound is saved as.
enum class SoundFileType : uint8_t { Wav, Flac };

// The type for a file name: FLAC for names ending in ".flac" (in any case), WAV for
// every other name.
SoundFileType soundFileTypeFor(const QString& name);

// Reads a sound file of any supported format (see the top of this file). Returns a
// kLoad* code: kLoadOk, kLoadNotRiffWave for a format that is not recognised or not
// supported, kLoadNotPcm for a WAV file with a compressed format, kLoadFailed for the
// rest. *report is filled as by TWave::LoadFromFile.
uint8_t loadSound(const QString& path, TWave& wave, WaveLoadReport* report = nullptr);
// What loadSound would give of the sound's format, frame count and duration, with the
// same codes, messages and warnings. A WAV file's header is all that is read
// (readWaveHeader); the other formats are decoded, since for them (MP3 above all) only
// decoding counts the frames exactly.
uint8_t readSoundHeader(const QString& path, WaveHeader& header, WaveLoadReport* report = nullptr);
// The same for the bytes of a whole file in memory.
uint8_t loadSoundFromMemory(
    std::span<const uint8_t> bytes, TWave& wave, WaveLoadReport* report = nullptr);

// Why wave cannot be saved as FLAC ("FLAC holds integer samples of 8 to 24 bits; this
// sound has 32-bit float samples"), or an empty message when it can. FLAC keeps 8-, 16-
// and 24-bit integer sounds of 1 to 8 channels exactly; it cannot hold an empty sound.
Message flacRefusal(const TWave& wave);

// Writes wave as a file of the given type, atomically: complete at the target name or
// not there at all. WAV goes through TWave::SaveToFile. FLAC is written lossless (the
// samples read back are the ones saved) under the same rules as WAV: a name that ends
// in "/" or names a folder, a FIFO or a device is refused before anything is written,
// a replaced file keeps its permission bits, and *reason names the cause of a failure
// without the path.
bool saveSound(const QString& path, const TWave& wave, SoundFileType type, Message* reason);
// The type follows the name (soundFileTypeFor).
inline bool saveSound(const QString& path, const TWave& wave, Message* reason = nullptr)
{
    return saveSound(path, wave, soundFileTypeFor(path), reason);
}
// The same for a sound handed on a piece at a time, never held whole (saveWavFrom in
// TWave.h): `format`, dataBytes bytes of samples, and fill handing them on in whole
// sample frames. The file is the one saveSound writes for that sound.
bool saveSoundFrom(const QString& path, const WAVEFORMATEX& format, uint64_t dataBytes,
    SoundFileType type, const std::function<bool(const SampleBytesSink& write)>& fill,
    Message* reason = nullptr);

// File dialog filters as "description|pattern;pattern|..." pairs (see FileDialogRequest):
// the open dialog's lists every readable format (all of them first, then WAV, then
// each format, then every file); the save dialog's offers WAV, then FLAC.
QString soundOpenFilter();
QString soundSaveFilter();
// The name endings of the files the open dialog lists ("wav", "flac", ...), lower case.
QStringList soundFileSuffixes();

} // namespace kestrelon
