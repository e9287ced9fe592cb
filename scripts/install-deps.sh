#!/usr/bin/env bash
# Installs everything the project needs on a fresh Debian 12 machine (run as root).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
packages=(
  # build
  build-essential cmake ninja-build pkg-config ccache
  libgtest-dev libgmock-dev libbenchmark-dev libicu-dev
  # window and help
  qt6-base-dev libgl-dev libchm-dev fp-utils
  libxcb1-dev  # the window checks the host window's handle with xcb
  fonts-liberation fonts-dejavu-core
  # independent dBase readers and writers used by the tests
  python3 python3-dbf python3-dbfread gdal-bin
  # running the window without a screen, and looking at it
  xvfb x11-utils xdotool imagemagick
  # locales for the collation tests
  locales
  # hosted mode under Wine: the Windows-side launcher and the tests' own host
  wine wine64 g++-mingw-w64-x86-64
  # fuzzers and the sanitizer build
  clang libclang-rt-14-dev
  # the timetable pages, read back in a real browser; a window manager for the window tests
  chromium openbox
  # the installed product: desktop entry, metainfo and man pages checked
  desktop-file-utils appstream man-db
  # the Debian package: CPack's dependency scan
  dpkg-dev file
  # wall time and peak memory of the timetable benchmark (bench/timetable.sh)
  time
)
apt-get update
apt-get install -y --no-install-recommends "${packages[@]}"
# A Spanish locale, for the tests that check behaviour under a comma locale.
if ! locale -a 2>/dev/null | grep -qi '^es_ES.utf8$'; then
  sed -i 's/^# *es_ES.UTF-8 UTF-8/es_ES.UTF-8 UTF-8/' /etc/locale.gen
  locale-gen >/dev/null
fi
