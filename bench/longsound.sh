#!/usr/bin/env bash
# Runs each benchmark of bench_longsound in its own process, so that its peak_MB is the
# peak of that command alone (plus the state it starts from).
#   bench/longsound.sh BUILD_DIR
set -euo pipefail
exe="${1:?build directory}/bench/bench_longsound"
for name in $("$exe" --benchmark_list_tests); do
  "$exe" --benchmark_filter="^${name}\$" 2>/dev/null | grep -E "^BM_"
done
