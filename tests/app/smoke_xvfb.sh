#!/usr/bin/env bash
# Starts the real program on the demo sound under Xvfb and waits for its main window to
# appear with the sound's file name as caption; then drags the brush across the demo
# sound's picture, saves the sound and checks that it changed only inside the stroke's
# time range. Exit 77 (skipped) without Xvfb or xdotool.
set -euo pipefail
app=$1
make_demo=$2
for tool in xvfb-run xwininfo xdotool python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed"
    exit 77
  fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$make_demo" "$work/demo.wav"

# Inside the X session: start the program (with the file, if one is given), look for
# a top-level window with the expected caption of at least the main window's size,
# then close the program.
cat >"$work/inside.sh" <<'INSIDE'
set -u
caption=$1
"${@:3}" >"$2/app.log" 2>&1 &
pid=$!
found=""
for _ in $(seq 1 600); do
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "the program ended early:"; cat "$2/app.log"; exit 1
  fi
  line=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$caption\": (\"kestrelon\"" | head -n 1 || true)
  if [ -n "$line" ]; then found=$line; break; fi
  sleep 0.1
done
kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
if [ -z "$found" ]; then
  echo "no window named $caption appeared; windows:"
  xwininfo -root -tree | grep -F '"' | head -n 20
  cat "$2/app.log"
  exit 1
fi
echo "window: $found"
size=$(echo "$found" | grep -oE '[0-9]+x[0-9]+\+' | head -n 1 | tr -d '+')
w=${size%x*}; h=${size#*x}
if [ "$w" -lt 700 ] || [ "$h" -lt 600 ]; then echo "window too small: $size"; exit 1; fi
INSIDE
# The brush (key B) dragged 200 pixels to the right in the middle of the picture at 1:1,
# columns 150 .. 350 of the window: frames 101 .. 301 (the view starts one pixel in, the
# frequency axis is 48 wide); then Save (second tool button) and Return in its dialog,
# which proposes demo_fix.wav beside the sound.
cat >"$work/paint.sh" <<'PAINT'
set -u
work=$1
"${@:2}" "$work/demo.wav" >"$work/paint.log" 2>&1 &
pid=$!
wid=""
for _ in $(seq 1 600); do
  wid=$(xdotool search --name "demo.wav" 2>/dev/null | head -n 1 || true)
  if [ -n "$wid" ]; then break; fi
  sleep 0.1
done
if [ -z "$wid" ]; then echo "no window to paint in"; cat "$work/paint.log"; kill "$pid"; exit 1; fi
sleep 3
eval "$(xdotool getwindowgeometry --shell "$wid")"
xdotool windowactivate --sync "$wid" 2>/dev/null || true
xdotool windowfocus "$wid" 2>/dev/null || true
xdotool key b
xdotool mousemove $((X + 150)) $((Y + 350))
sleep 0.2
xdotool mousedown 1
for d in $(seq 10 10 200); do xdotool mousemove $((X + 150 + d)) $((Y + 350)); sleep 0.02; done
xdotool mouseup 1
sleep 2
xdotool mousemove $((X + 52)) $((Y + 33)) click 1
for _ in $(seq 1 50); do
  if xdotool search --name "Save|保存|名前" >/dev/null 2>&1; then break; fi
  sleep 0.1
done
sleep 0.5
xdotool key Return
for _ in $(seq 1 100); do
  if [ -s "$work/demo_fix.wav" ]; then break; fi
  sleep 0.1
done
sleep 0.5
kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
if [ ! -s "$work/demo_fix.wav" ]; then echo "the painted sound was not saved"; cat "$work/paint.log"; exit 1; fi
python3 - "$work/demo.wav" "$work/demo_fix.wav" <<'CHECK'
import struct, sys, wave
def samples(path):
    w = wave.open(path)
    data = w.readframes(w.getnframes())
    return struct.unpack("<%dh" % (len(data) // 2), data), w.getnchannels()
a, channels = samples(sys.argv[1])
b, _ = samples(sys.argv[2])
assert len(a) == len(b), "the length changed"
changed = [i // channels for i in range(len(a)) if a[i] != b[i]]
hop = 512  # N = 1024
if not changed:
    sys.exit("the stroke changed nothing")
first, last = changed[0] / hop, changed[-1] / hop
print("changed frames %.1f .. %.1f" % (first, last))
# frames 101 .. 301, the brush 4 frames either side, a frame's neighbours, a pixel or two
if first < 101 - 8 or last > 301 + 8:
    sys.exit("samples outside the stroke's time range changed")
if first > 101 or last < 301:
    sys.exit("the stroke's time range did not change throughout")
CHECK
PAINT
# Without a file the window starts empty, captioned Kestrelon; with one, it shows its name.
# Both runs share one X server: a second xvfb-run started right after the first can pick
# the display number the first one's server is still giving up.
cat >"$work/both.sh" <<BOTH
set -e
bash "$work/inside.sh" Kestrelon "$work" "$app"
bash "$work/inside.sh" demo.wav "$work" "$app" "$work/demo.wav"
bash "$work/paint.sh" "$work" "$app"
BOTH
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/both.sh"
