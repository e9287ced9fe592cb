#!/usr/bin/env bash
# The main job on the bundled sample school: builds, prepares a demo work
# folder and opens the window with the sample ORVE folder as its current
# directory. Without a display (neither DISPLAY nor WAYLAND_DISPLAY set) it
# says so and runs the same export and import through the command-line tool.
#
# The demo works on copies under $BUILD_DIR/demo (default build/demo): the
# import run writes ORVE_HORARIO.TXT into the ORVE folder, and examples/ stays
# as it is in the repository.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build_dir=${BUILD_DIR:-build}
case $build_dir in /*) ;; *) build_dir=$PWD/$build_dir ;; esac
demo=$build_dir/demo
cli=$build_dir/shell/transtempexorve-cli
window=$build_dir/shell/transtempexorve

rm -rf "$demo"
mkdir -p "$demo/zwork"
cp -r examples/orve "$demo/orve"
# Tempario's timetable solution for the sample school, read by the import.
cp examples/tempario/SOLUC.DBF "$demo/zwork/"
export TRANSTEMPEXORVE_WORK_FOLDER=$demo/zwork

# Runs the command-line tool and reports its exit status without stopping.
run_cli() {
  echo "\$ transtempexorve-cli $*"
  local status=0
  "$cli" "$@" || status=$?
  echo "(exit status $status)"
}

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: neither DISPLAY nor WAYLAND_DISPLAY is set, so the window cannot open."
  echo "Running the window's two runs through the command-line tool instead."
  echo
  echo "== export: ORVE files of $demo/orve -> Tempario tables in $TRANSTEMPEXORVE_WORK_FOLDER"
  run_cli export "$demo/orve"
  ls -l "$TRANSTEMPEXORVE_WORK_FOLDER"
  echo
  echo "== import: SOLUC and the exported tables -> $demo/orve/ORVE_HORARIO.TXT"
  run_cli import "$demo/orve"
  if [ -f "$demo/orve/ORVE_HORARIO.TXT" ]; then
    echo "ORVE_HORARIO.TXT: $(wc -l <"$demo/orve/ORVE_HORARIO.TXT") lines; the first five:"
    head -n 5 "$demo/orve/ORVE_HORARIO.TXT" | iconv -f WINDOWS-1252 -t UTF-8 | tr -d '\r'
  fi
  exit 0
fi

# A completed run disables both run buttons, so the window does one run per
# start; an export beforehand gives the import the tables it reads.
echo "== preparing $TRANSTEMPEXORVE_WORK_FOLDER: export of the sample school"
run_cli export "$demo/orve" >/dev/null
echo "== opening the window on $demo/orve (work folder $TRANSTEMPEXORVE_WORK_FOLDER)"
cd "$demo/orve"
exec "$window"
