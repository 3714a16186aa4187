#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, run and test the programmer.
# Run as root (or through sudo); safe to run again.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev qt6-translations-l10n libcanberra-dev libsystemd-dev libcrypt-dev
  libgtest-dev libgmock-dev googletest
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  apt_get=(apt-get)
  [[ $(id -u) -eq 0 ]] || apt_get=(sudo apt-get)
  export DEBIAN_FRONTEND=noninteractive
  "${apt_get[@]}" update
  "${apt_get[@]}" install -y --no-install-recommends "${missing[@]}"
fi
