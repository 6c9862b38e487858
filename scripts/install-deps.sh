#!/usr/bin/env bash
# Installs what building and testing need, on Debian 12, as root. Only missing packages
# are installed, so a machine that has them all is not touched.
set -euo pipefail
packages=(
  cmake g++ make pkg-config ccache
  libgtest-dev libgmock-dev
  qt6-base-dev libqt6serialport6-dev qt6-serialport-dev libgl1-mesa-dev
  fonts-noto-cjk
  clang libclang-rt-14-dev
)
if [ "${1:-}" = "--gui" ]; then
  packages+=(qt6-wayland fonts-ipafont-gothic)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
