#!/usr/bin/env bash
# The installed product: `cmake --install` into a fresh prefix gives the
# programs in bin/ and their files in lib/transtempexorve/; the desktop
# entry, the metainfo and the man pages pass Debian's checkers; the
# installed programs answer --version.
#   install_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

app=org.transtempexorve.TransTempexOrve
files=(bin/transtempexorve bin/transtempexorve-cli
       lib/transtempexorve/libtto_htmlhelp.so
       share/applications/$app.desktop share/metainfo/$app.metainfo.xml
       share/icons/hicolor/scalable/apps/transtempexorve.svg
       share/man/man1/transtempexorve.1.gz share/man/man1/transtempexorve-cli.1.gz)
[ -f "$build/shell/ORVE.chm" ] && files+=(lib/transtempexorve/ORVE.chm)
[ -f "$build/host_launcher/TransTempexOrve.exe" ] && files+=(lib/transtempexorve/TransTempexOrve.exe)
for file in "${files[@]}"; do
  [ -f "$prefix/$file" ] || fail "not installed: $file"
done

# The desktop entry starts the installed program and names the installed icon.
desktop=$prefix/share/applications/$app.desktop
grep -qx 'Exec=transtempexorve' "$desktop" || fail "Exec is not the program"
grep -qx 'Icon=transtempexorve' "$desktop" || fail "Icon is not the installed icon"
# Hints (two main categories) are allowed; errors and warnings are not.
report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $report"
if grep -E ': (error|warning):' <<<"$report"; then fail "desktop entry"; fi

if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$prefix/share/metainfo/$app.metainfo.xml" >/dev/null ||
    fail "appstreamcli: $(appstreamcli validate --no-net "$prefix/share/metainfo/$app.metainfo.xml")"
fi

for page in transtempexorve transtempexorve-cli; do
  file=$prefix/share/man/man1/$page.1.gz
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man --warnings $page: $warnings"
  lexgrog "$file" | grep -q "\"$page - " || fail "lexgrog finds no NAME in $page"
  zcat "$file" | grep -q "transTempexOrve $version" || fail "$page does not carry $version"
  for section in SYNOPSIS OPTIONS 'EXIT STATUS' ENVIRONMENT FILES EXAMPLES; do
    zcat "$file" | grep -q "^\.SH \"\?$section" || fail "$page has no $section"
  done
done

for program in transtempexorve transtempexorve-cli; do
  answer=$(QT_QPA_PLATFORM=offscreen "$prefix/bin/$program" --version)
  [ "$answer" = "$program (transTempexOrve) $version" ] || fail "$program --version: $answer"
done
echo "installed product checked in $prefix"
