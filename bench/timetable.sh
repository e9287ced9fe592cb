#!/usr/bin/env bash
# The timetable pages at district scale: bash bench/timetable.sh [S] (default
# 100: a million lessons). Generates the district, exports it, then times
# `transtempexorve-cli timetable --html --csv` and prints its wall time,
# CPU time and peak memory, and the size of what it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
scale=${1:-100}
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  BUILD_DIR=$build_dir bash scripts/build.sh
fi
cmake --build "$build_dir" --target transtempexorve-cli make_district >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
nice -n 10 "$build_dir/bench/make_district" "$scale" "$scratch/orve" "$scratch/work"
nice -n 10 "$build_dir/shell/transtempexorve-cli" export "$scratch/orve" \
  --work-folder "$scratch/work" >/dev/null || true
echo "S=$scale"
nice -n 10 /usr/bin/time -f "timetable: %e s wall, %U s user, %S s system, %M KB peak" \
  "$build_dir/shell/transtempexorve-cli" timetable "$scratch/orve" --work-folder "$scratch/work" \
  --html "$scratch/site" --csv "$scratch/lessons.csv"
echo "pages: $(find "$scratch/site" -name '*.html' | wc -l), site $(du -sh "$scratch/site" | cut -f1)," \
  "lessons file $(du -sh "$scratch/lessons.csv" | cut -f1)"
