#!/usr/bin/env bash
# The main job on the bundled sample school: builds, prepares a demo work
# folder and runs the export and the import over examples/orve.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build_dir=${BUILD_DIR:-build}
demo=$PWD/$build_dir/demo
rm -rf "$demo"
mkdir -p "$demo/zwork"
cp -r examples/orve "$demo/orve"
export TRANSTEMPEXORVE_WORK_FOLDER=$demo/zwork
cli=$build_dir/shell/transtempexorve-cli
echo "== export: $demo/orve -> $TRANSTEMPEXORVE_WORK_FOLDER"
"$cli" export "$demo/orve" || true
ls -l "$TRANSTEMPEXORVE_WORK_FOLDER"
