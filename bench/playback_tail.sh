#!/usr/bin/env bash
# Starts a private PulseAudio server with a 44.1 kHz 16-bit stereo null sink, plays a
# second of noise through the program's player RUNS times while recording the sink's
# monitor, and prints the sound lost at the start and the end and the gaps of each run.
# Needs pulseaudio and pulseaudio-utils (not installed by scripts/setup; this is not part
# of the tests).
# With --app, the program itself plays the demo sound instead, under Xvfb (Space pressed
# through xdotool), and the same figures are taken from the recording.
#   bench/playback_tail.sh BUILD_DIR [RUNS] [BUSY_MS] [CHANNELS] [AB_MS]
#   bench/playback_tail.sh --app BUILD_DIR [RUNS] [PROGRAM]
set -euo pipefail
app=""
[ "${1:-}" = "--app" ] && { app=1; shift; }
build="${1:?build directory}"
exe="$build/bench/bench_playback_tail"
runs="${2:-9}"
busy="${3:-0}"
channels="${4:-2}"
ab="${5:-0}"
program="${3:-$build/src/app/kestrelon}"
command -v pulseaudio >/dev/null && command -v parec >/dev/null \
  || { echo "needs pulseaudio and parec (apt-get install pulseaudio pulseaudio-utils)" >&2; exit 77; }
[ -z "$app" ] || { command -v xvfb-run >/dev/null && command -v xdotool >/dev/null; } \
  || { echo "--app needs xvfb-run and xdotool" >&2; exit 77; }

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
if [ -z "$app" ]; then
  "$exe" bench.monitor "$runs" "$busy" "$channels" "$ab"
  exit
fi

python3 "$(dirname "$0")/../examples/make_demo.py" "$dir/demo.wav"
for run in $(seq "$runs"); do
  parec -d bench.monitor --raw --format=s16le --rate=44100 --channels=2 --latency-msec=10 \
    >"$dir/rec.raw" &
  rec=$!
  # The demo lasts 5 s; Space plays it.
  xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    "$1" "$2" & p=$!
    xdotool search --sync --name "demo" windowfocus --sync >/dev/null 2>&1; sleep 1
    xdotool key space; sleep 6.5; kill $p; wait $p' _ "$program" "$dir/demo.wav" \
    >/dev/null 2>&1 || true
  sleep 0.3
  kill $rec; wait $rec 2>/dev/null || true
  printf '%3d  ' "$run"
  "$exe" --compare "$dir/demo.wav" "$dir/rec.raw" || true
done
