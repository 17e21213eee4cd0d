#!/usr/bin/env bash
# Times kestrelon-cli info, export and apply as whole processes (start-up included) on
# 60 s of 44.1 kHz 16-bit stereo at N = 1024, in both views: apply of the picture as
# exported (unedited), of a 2000 x 200 region 20 levels darker, and of the whole picture
# one level darker; with the peak RSS of the last run of each. Last, the yardstick: a plain
# FFTW program (bench/PlainFftw.cpp) doing the whole-picture cepstrum apply's work.
#   bench/cli_timing.sh BUILD_DIR [RUNS]
set -euo pipefail
build=${1:?build directory}
runs=${2:-10}
cli="$build/src/cli/kestrelon-cli"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
sox -D -n -r 44100 -c 2 -b 16 "$dir/in.wav" synth 60 sine 50-15000 sine 15000-50 gain -6
for view in spectrum cepstrum; do
  "$cli" export "$dir/in.wav" "$dir/$view.bmp" --view "$view"
  convert "$dir/$view.bmp" -region 2000x200+500+100 -evaluate subtract 5140 +region \
    "BMP3:$dir/$view-edited.bmp"
  convert "$dir/$view.bmp" -evaluate subtract 257 "BMP3:$dir/$view-whole.bmp"
done

# time NAME COMMAND...: RUNS runs, prints mean and best wall time
time_it() {
  local name=$1; shift
  local times=()
  "$@" >/dev/null  # warm the page cache
  for _ in $(seq "$runs"); do
    local t0 t1
    t0=$(date +%s.%N)
    "$@" >/dev/null
    t1=$(date +%s.%N)
    times+=("$t0 $t1")
  done
  printf '%s\n' "${times[@]}" | awk -v name="$name" '
    { d = $2 - $1; sum += d; if (NR == 1 || d < best) best = d }
    END { printf "%-28s mean %.3f s  best %.3f s  (%d runs)", name, sum / NR, best, NR }'
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f '  peak %M KB' "$@" 2>&1 >/dev/null | tail -n 1
  else
    echo
  fi
}

time_it "info" "$cli" info "$dir/in.wav"
for view in spectrum cepstrum; do
  time_it "export --view $view" "$cli" export "$dir/in.wav" "$dir/out.bmp" --view "$view"
  for edit in "$view" "$view-edited" "$view-whole"; do
    time_it "apply $edit" "$cli" apply "$dir/in.wav" "$dir/$edit.bmp" "$dir/out.wav" \
      --view "$view"
  done
done
time_it "plain FFTW, cepstrum whole" "$build/bench/plain_fftw" "$dir/in.wav" "$dir/plain.wav" 1024
