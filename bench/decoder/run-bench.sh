#!/usr/bin/env bash
# Builds the decoder benchmark and the decoder, then runs the benchmark.
# usage: bench/decoder/run-bench.sh [build folder] [bench_decoder options]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
[ $# -gt 0 ] && shift
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target bench_decoder zorv
exec "$build/bench/bench_decoder" "$@"
