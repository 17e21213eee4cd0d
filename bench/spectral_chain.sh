#!/usr/bin/env bash
# Times the whole spectral pass in a fresh process (wall time and peak RSS).
#   bench/spectral_chain.sh BUILD_DIR [N] [RUNS]
set -euo pipefail
build=${1:?build directory}
N=${2:-1024}
runs=${3:-5}
exe="$build/bench/spectral_chain"
if [ ! -x /usr/bin/time ]; then
  echo "spectral_chain.sh: needs /usr/bin/time (Debian package: time)" >&2
  exit 1
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$exe" make "$dir/in.wav" 60
for i in $(seq "$runs"); do
  /usr/bin/time -f "wall %e s  peak RSS %M KiB" "$exe" run "$dir/in.wav" "$dir/out.wav" "$N"
done
