#!/usr/bin/env bash
# The benchmark harness: bash bench/run.sh [S...] (default: 25 100).
# Builds what it needs into build/ (or $BUILD_DIR), generates a district at
# each scale S, and prints export and import times, peak memory, the I/O
# limit, the ratios, the growth between scales and the peers found; the
# table also goes to bench/results.md. S = 1 takes a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  BUILD_DIR=$build_dir bash scripts/build.sh
fi
cmake --build "$build_dir" --target transtempexorve-cli make_district io_limit >/dev/null
exec nice -n 10 python3 bench/run.py --build "$build_dir" "$@"
