#!/usr/bin/env bash
# Builds the project and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
# The window tests run on Qt's offscreen platform; the end-to-end tests start
# their own Xvfb.
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
# The Debian package, installed with apt and tried as a school would (root only).
bash scripts/package-check.sh
