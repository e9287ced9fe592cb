#!/usr/bin/env bash
# Regenerates docs/window.png, the README's picture of the window: builds,
# opens the window on the sample school under Xvfb (with openbox drawing its
# frame) and takes the window with its frame.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null
build_dir=${BUILD_DIR:-build}
case $build_dir in /*) ;; *) build_dir=$PWD/$build_dir ;; esac
source scripts/xvfb.sh

# A short, fixed path, as the window shows the current folder in full.
demo=/tmp/centro
rm -rf "$demo"
mkdir -p "$demo/zwork"
cp -r examples/orve "$demo/orve"
export TRANSTEMPEXORVE_WORK_FOLDER=$demo/zwork

start_xvfb 800x480
# Replaces the trap of start_xvfb.
trap 'rm -rf "$demo"; kill "$xvfb_pid" 2>/dev/null || true' EXIT
command -v openbox >/dev/null && { openbox >/dev/null 2>&1 & sleep 1; }
(cd "$demo/orve" && exec "$build_dir/shell/transtempexorve") &
window_pid=$!
window=$(wait_for_window "Exportar e importar datos entre Tempario y ORVE")
sleep 1
import -frame -window "$window" docs/window.png
kill "$window_pid"
wait "$window_pid" 2>/dev/null || true
echo "docs/window.png: $(identify -format '%wx%h' docs/window.png)"
