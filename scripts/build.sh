#!/usr/bin/env bash
# Configures and builds the project into build/ (or $BUILD_DIR); only the
# target $BUILD_TARGET when set. Arguments are CMake options for the
# configuration (for example -DTTO_WERROR=ON); with arguments the folder is
# configured again with them.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
# ccache, when installed, shares compiled objects between build folders and checkouts.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$PWD")}
fi
if [ ! -f "$build_dir/CMakeCache.txt" ] || [ $# -gt 0 ]; then
  cmake -S . -B "$build_dir" "${generator[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
fi
cmake --build "$build_dir" ${BUILD_TARGET:+--target "$BUILD_TARGET"} -j "${BUILD_JOBS:-$(nproc)}"
