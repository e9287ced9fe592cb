#!/usr/bin/env bash
# Builds the project and runs the whole test suite, with compiler warnings
# as errors; then, unless TTO_SANITIZER_TESTS=0, runs it again built with
# AddressSanitizer and UndefinedBehaviorSanitizer (build-sanitize/, or
# $SANITIZE_BUILD_DIR) and runs every fuzz target for a few seconds over its
# seed inputs (fuzz/run.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh -DTTO_WERROR=ON
# The window tests run on Qt's offscreen platform; the end-to-end tests start
# their own Xvfb.
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
# The Debian package, installed with apt and tried as a school would (root only).
bash scripts/package-check.sh

[ "${TTO_SANITIZER_TESTS:-1}" = 0 ] && exit 0
sanitize_dir=${SANITIZE_BUILD_DIR:-build-sanitize}
BUILD_DIR=$sanitize_dir bash scripts/build.sh -DTTO_WERROR=ON -DTTO_SANITIZE=ON
# A leak fails a test too; the window's tests, Qt and Xvfb included, run
# clean with leak detection on, but for the D-Bus client library's own
# (tests/lsan.supp). The fault tests preload their library ahead of the
# sanitizer's runtime, which the link-order check would refuse.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:verify_asan_link_order=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$sanitize_dir" --output-on-failure -j "$(nproc)"
bash fuzz/run.sh 5
