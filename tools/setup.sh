#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian 12 machine, when something is missing.
set -euo pipefail
packages=(g++ cmake ninja-build googletest libbenchmark-dev zlib1g-dev
          mingw-w64 g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
          wine wine64 xvfb x11-utils imagemagick unzip python3
          clang libclang-rt-14-dev libxml2-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
