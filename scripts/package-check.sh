#!/usr/bin/env bash
# Builds the Debian package and tries it as a school's machine would: installs
# it with apt, runs the installed command-line tool on the sample school,
# opens the installed window under Xvfb and presses F1 in it. Needs root (apt);
# run by scripts/test.sh, after the build. Screenshots go to
# $BUILD_DIR/package-check/.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
case $build_dir in /*) ;; *) build_dir=$PWD/$build_dir ;; esac
if [ "$(id -u)" != 0 ]; then
  echo "package-check: not root, so the package is not installed; skipped"
  exit 0
fi
source scripts/xvfb.sh

echo "== building the package"
rm -f "$build_dir"/transtempexorve_*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
deb=$(ls "$build_dir"/transtempexorve_*.deb)
dpkg-deb --field "$deb" Package Version Depends Recommends

echo "== installing $deb"
apt-get install -y --no-install-recommends "$deb" >/dev/null
[ "$(command -v transtempexorve-cli)" = /usr/bin/transtempexorve-cli ] ||
  { echo "transtempexorve-cli is not in /usr/bin" >&2; exit 1; }
transtempexorve-cli --version
transtempexorve --version

echo "== the sample school through the installed command-line tool"
out=$build_dir/package-check
rm -rf "$out"
mkdir -p "$out/zwork"
cp -r examples/orve "$out/orve"
cp examples/tempario/SOLUC.DBF "$out/zwork/"
export TRANSTEMPEXORVE_WORK_FOLDER=$out/zwork
transtempexorve-cli export "$out/orve"
for table in ASIGNOMT PROFT AULAT GRUPOST ASIGT DIASHORAST; do
  [ -s "$out/zwork/$table.DBF" ] || { echo "export wrote no $table" >&2; exit 1; }
done
transtempexorve-cli import "$out/orve"
[ -s "$out/orve/ORVE_HORARIO.TXT" ] || { echo "import wrote no ORVE_HORARIO.TXT" >&2; exit 1; }

echo "== the installed window under Xvfb, started as the desktop entry says"
entry=/usr/share/applications/org.transtempexorve.TransTempexOrve.desktop
desktop-file-validate "$entry"
command=$(sed -n 's/^Exec=//p' "$entry")
start_xvfb 1024x768
(cd "$out/orve" && exec $command) &
window_pid=$!
window=$(wait_for_window "Exportar e importar datos entre Tempario y ORVE")
xwininfo -id "$window" | grep -E 'Map State|Width|Height'
import -window root "$out/window.png"

echo "== F1 in the installed window"
xdotool windowfocus --sync "$window" key F1
# The help file's own title shows that the installed module found the
# installed ORVE.chm (without it the window is captioned "Ayuda").
help=$(wait_for_window "Ayuda de transTempexOrve")
sleep 0.5
import -window "$help" "$out/help.png"
echo "help window $help; screenshots in $out"
kill "$window_pid"
wait "$window_pid" 2>/dev/null || true
echo "package-check: passed"
