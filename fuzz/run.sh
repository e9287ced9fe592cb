#!/usr/bin/env bash
# Runs every fuzz target (or those named) for SECONDS each, one after the
# other, over its seed inputs in fuzz/corpus/<target>/ (0 seconds: only
# build them):
#
#   bash fuzz/run.sh SECONDS [TARGET...]
#
# Builds the targets with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/ (or $FUZZ_BUILD_DIR). Inputs
# the fuzzer finds interesting go to $FUZZ_BUILD_DIR/corpus/<target>/ (the
# seeds in the repository stay as they are); an input that breaks a target
# is saved as $FUZZ_BUILD_DIR/artifacts/<target>/crash-* (or leak-*,
# timeout-*, oom-*). Each target's log is $FUZZ_BUILD_DIR/logs/<target>.log.
# The exit status is 1 when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
  echo "usage: bash fuzz/run.sh SECONDS [TARGET...]" >&2
  exit 64
fi
seconds=$1
shift
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(line_reader load_lines dbf_table export_run import_run ini_writer host_handle)

options=()
[ -f "$build_dir/CMakeCache.txt" ] || options=(-DTTO_FUZZ=ON -DTTO_BUILD_GUI=OFF)
CXX=clang++ BUILD_DIR=$build_dir BUILD_TARGET=fuzz_targets bash scripts/build.sh "${options[@]}"
[ "$seconds" -gt 0 ] || exit 0

# The targets write their files into a scratch folder; memory is quicker.
[ -w /dev/shm ] && export TMPDIR=${TMPDIR:-/dev/shm}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
status=0
for target in "${targets[@]}"; do
  corpus=$build_dir/corpus/$target
  artifacts=$build_dir/artifacts/$target
  log=$build_dir/logs/$target.log
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  if "$build_dir/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 \
       -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" "fuzz/corpus/$target" \
       >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    echo "$target: ${seconds}s, $runs runs, $cov"
  else
    status=1
    echo "$target: FOUND A FAULT (log $log):"
    grep -E 'ERROR|Failure|SUMMARY|Test unit written' "$log" | head -5 | sed "s/^/  /" || true
  fi
done
exit $status
