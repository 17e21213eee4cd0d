#!/usr/bin/env bash
# Writes the sound files the format tests read (tests/audio/test_soundfile.cpp). The
# tests use the committed files; run this again only to change them. Needs sox (with
# libsox-fmt-all), lame, opus-tools and python3.
#
# Sources (WAV, read by Kestrelon's own reader as the expected samples) and what is
# made of each:
#   pcm8_mono.wav      8 kHz, 8-bit, mono     -> .flac, .aiff (8-bit signed)
#   pcm16_stereo.wav   16 kHz, 16-bit, stereo -> .flac .aiff .caf .rf64, and the lossy
#                                                .ogg (Vorbis) .opus .mp3
#   pcm24_mono.wav     16 kHz, 24-bit, mono   -> .flac .w64 .aifc
#   pcm32_stereo.wav   8 kHz, 32-bit, stereo  -> .caf
#   float32_stereo.wav 8 kHz, 32-bit float    -> .caf .aifc
#   float64_mono.wav   8 kHz, 64-bit float    -> .aifc
# Damaged and odd files:
#   cut.mp3            the first 1 100 bytes of pcm16_stereo.mp3: its header still
#                      claims all 4 000 frames
#   untagged_vbr.mp3   a VBR MP3 without a Xing/LAME header (lame -t), loud noise then
#                      near silence, so a length estimated from its first frame is wrong
#   garbage.flac       2 000 random bytes
set -euo pipefail
cd "$(dirname "$0")"

for tool in sox lame opusenc python3; do
  command -v "$tool" >/dev/null || { echo "make-formats.sh: $tool is missing" >&2; exit 1; }
done

# sources: tones and noise (sox -R: the same noise on every run)
sox -R -D -n -r 8000 -b 8 -c 1 pcm8_mono.wav synth 0.1 sine 300 synth 0.1 whitenoise amod 0.1 gain -3
sox -R -D -n -r 16000 -b 16 -c 2 pcm16_stereo.wav synth 0.25 sine 440 sine 660 gain -3
sox -R -D -n -r 16000 -b 24 -c 1 pcm24_mono.wav synth 0.1 whitenoise gain -4
sox -R -D -n -r 8000 -b 32 -c 2 pcm32_stereo.wav synth 0.05 whitenoise sine 1000 gain -2
sox -R -D -n -r 8000 -e floating-point -b 32 -c 2 float32_stereo.wav synth 0.05 sine 700 whitenoise gain -1
sox -R -D -n -r 8000 -e floating-point -b 64 -c 1 float64_mono.wav synth 0.05 whitenoise gain -5

sox -R -D pcm8_mono.wav pcm8_mono.flac
sox -R -D pcm8_mono.wav pcm8_mono.aiff
sox -R -D pcm16_stereo.wav pcm16_stereo.flac
sox -R -D pcm16_stereo.wav pcm16_stereo.aiff
sox -R -D pcm16_stereo.wav pcm16_stereo.caf
sox -R -D pcm16_stereo.wav -C 3 pcm16_stereo.ogg
opusenc --quiet pcm16_stereo.wav pcm16_stereo.opus
lame --quiet pcm16_stereo.wav pcm16_stereo.mp3
sox -R -D pcm24_mono.wav pcm24_mono.flac
sox -R -D pcm24_mono.wav pcm24_mono.w64
sox -R -D pcm24_mono.wav -t aifc pcm24_mono.aifc
sox -R -D pcm32_stereo.wav pcm32_stereo.caf
sox -R -D float32_stereo.wav float32_stereo.caf
sox -R -D float32_stereo.wav -t aifc float32_stereo.aifc
# (sox writes 64-bit floats into W64 and CAF at the scale of 32-bit integers; its own
# AIFC writer does it right)
sox -R -D float64_mono.wav -t aifc float64_mono.aifc

# RF64: the 16-bit samples behind an RF64 header with its ds64 chunk (sox writes none)
python3 - <<'PY'
import struct, wave
with wave.open("pcm16_stereo.wav", "rb") as w:
    ch, width, rate, n = w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes()
    data = w.readframes(n)
fmt = struct.pack("<HHIIHH", 1, ch, rate, rate * ch * width, ch * width, width * 8)
ds64 = struct.pack("<QQQI", 4 + (8 + 28) + (8 + 16) + (8 + len(data)), len(data), n, 0)
body = b"WAVE" + b"ds64" + struct.pack("<I", 28) + ds64 + b"fmt " + struct.pack("<I", 16) + fmt
body += b"data" + struct.pack("<I", 0xFFFFFFFF) + data
open("pcm16_stereo.rf64", "wb").write(b"RF64" + struct.pack("<I", 0xFFFFFFFF) + body)
PY

head -c 1100 pcm16_stereo.mp3 > cut.mp3
sox -R -D -n -r 16000 -b 16 -c 1 vbr_source.wav synth 0.2 whitenoise : synth 0.4 sine 200 gain -40
lame --quiet -t -V 0 vbr_source.wav untagged_vbr.mp3
rm vbr_source.wav
head -c 2000 /dev/urandom > garbage.flac
ls -l
