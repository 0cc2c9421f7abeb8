#!/usr/bin/env bash
# Installs the Debian 12 packages Velquin needs to build, test and run, when missing.
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config python3 libcli11-dev nlohmann-json3-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-gtk-platformtheme qt6-svg-dev
  libtiff-tools python3-tifffile poppler-utils xvfb xauth parallel
  fonts-liberation2 xdg-utils
  dpkg-dev file desktop-file-utils appstream groff-base
  clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
