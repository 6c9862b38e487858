#!/usr/bin/env bash
# Installs what building and testing need, on Debian 12, as root. Only missing packages
# are installed, so a machine that has them all is not touched. Every name below is a real
# package that dpkg can report as installed: a virtual one (libqt6serialport6-dev, which
# qt6-serialport-dev provides) never is, and would run apt-get every time.
#   --check    list what is missing and install nothing (exit 1 when anything is)
#   --gui      what a desktop session needs to show the program (scripts/run.sh)
#   --package  what the Debian package and the checks of the installed files need
#              (scripts/package.sh, CI)
#   --windows  the core's build for Windows and its tests under Wine (scripts/test-windows.sh):
#              mingw-w64 with POSIX threads, GoogleTest's sources, Wine (64-bit alone)
#   --web      the web panel's browser tests (scripts/test-web.sh): chromium, and Node.js
#              18 or later with npm (Debian 12's nodejs is 18.20; npm is its own package,
#              unless a nodejs that carries npm itself is installed already)
set -euo pipefail
packages=(
  cmake g++ make pkg-config ccache
  libgtest-dev libgmock-dev
  qt6-base-dev qt6-serialport-dev libgl1-mesa-dev
  qt6-websockets-dev
  libboost-dev
  fonts-noto-cjk qt6-translations-l10n
  clang libclang-rt-14-dev
)
check=0
for option in "$@"; do
  case $option in
    --check) check=1 ;;
    --gui) packages+=(qt6-wayland fonts-ipafont-gothic) ;;
    --package) packages+=(dpkg-dev file desktop-file-utils appstream shared-mime-info) ;;
    --windows) packages+=(g++-mingw-w64-x86-64-posix googletest wine64) ;;
    --web)
      packages+=(chromium nodejs)
      command -v npm >/dev/null || packages+=(npm)
      ;;
    *) echo "install-deps.sh: unknown option $option" >&2; exit 2 ;;
  esac
done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "$check" = 1 ]; then
  [ "${#missing[@]}" -eq 0 ] || { echo "missing: ${missing[*]}"; exit 1; }
  exit 0
fi
if [ "${#missing[@]}" -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
