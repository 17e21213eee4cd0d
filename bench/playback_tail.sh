#!/usr/bin/env bash
# Starts a private PulseAudio server with a 44.1 kHz 16-bit stereo null sink, plays a
# second of noise through the program's player RUNS times while recording the sink's
# monitor, and prints the sound lost at the start and the end and the gaps of each run.
# Needs pulseaudio and pulseaudio-utils (not installed by scripts/setup; this is not part
# of the tests).
#   bench/playback_tail.sh BUILD_DIR [RUNS] [BUSY_MS] [CHANNELS]
set -euo pipefail
exe="${1:?build directory}/bench/bench_playback_tail"
runs="${2:-9}"
busy="${3:-0}"
channels="${4:-2}"
command -v pulseaudio >/dev/null && command -v parec >/dev/null \
  || { echo "needs pulseaudio and parec (apt-get install pulseaudio pulseaudio-utils)" >&2; exit 77; }

dir=$(mktemp -d)
export PULSE_RUNTIME_PATH="$dir" PULSE_STATE_PATH="$dir" PULSE_SERVER="unix:$dir/native"
cat >"$dir/server.pa" <<PA
load-module module-native-protocol-unix socket=$dir/native auth-anonymous=1
load-module module-null-sink sink_name=bench format=s16le rate=44100 channels=2
set-default-sink bench
PA
pulseaudio -n -F "$dir/server.pa" --daemonize=no --exit-idle-time=-1 --disallow-exit \
  --use-pid-file=no --log-target=file:"$dir/log" 2>/dev/null &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
"$exe" bench.monitor "$runs" "$busy" "$channels"
