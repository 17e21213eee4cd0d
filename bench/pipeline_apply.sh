#!/usr/bin/env bash
# A whole apply over the streaming pipeline in fresh processes: 60 s of 44.1 kHz 16-bit
# stereo in both views with no edit, every cell one level darker and one second edited;
# with --hour also one hour of 48 kHz 24-bit stereo (a 1 GB file in $TMPDIR), filtered
# whole. Each line's figures come from the process itself (wall time, ru_maxrss).
#   bench/pipeline_apply.sh BUILD_DIR [--hour]
set -euo pipefail
exe="${1:?build directory}/bench/pipeline_apply"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$exe" make "$dir/60s.wav" 60
for view in spectrum cepstrum; do
  for edit in none whole second; do
    echo "== 60 s, $view, $edit"
    "$exe" run "$dir/60s.wav" "$dir/out.wav" 1024 "$view" "$edit"
  done
done
if [ "${2:-}" = "--hour" ]; then
  "$exe" make "$dir/hour.wav" 3600 48000 24
  for view in spectrum cepstrum; do
    echo "== one hour, 48 kHz 24-bit, $view, whole"
    "$exe" run "$dir/hour.wav" "$dir/out.wav" 1024 "$view" whole
  done
fi
