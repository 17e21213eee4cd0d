#!/usr/bin/env bash
# Starts the real program on the demo sound under Xvfb and waits for its main window to
# appear with the sound's file name as caption. Exit 77 (skipped) without Xvfb.
set -euo pipefail
app=$1
make_demo=$2
for tool in xvfb-run xwininfo python3; do
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
# Without a file the window starts empty, captioned Kestrelon; with one, it shows its name.
# Both runs share one X server: a second xvfb-run started right after the first can pick
# the display number the first one's server is still giving up.
cat >"$work/both.sh" <<BOTH
set -e
bash "$work/inside.sh" Kestrelon "$work" "$app"
bash "$work/inside.sh" demo.wav "$work" "$app" "$work/demo.wav"
BOTH
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/both.sh"
