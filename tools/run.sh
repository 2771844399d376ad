#!/usr/bin/env bash
# Builds the Windows program and starts it under Wine. With no display it runs on a virtual one, saves a
# screenshot of the main window as build/wardline.png and closes the program again.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
cmake --build build/windows -j "$(nproc)"

export WINEPREFIX=${WINEPREFIX:-$PWD/build/wineprefix-run}
if [ -n "${DISPLAY:-}" ]; then
  exec tools/wine-run.sh dist/wardline.exe "$@"
fi
source tools/xvfb.sh
tools/wine-run.sh dist/wardline.exe "$@" &
app=$!
sleep 12   # prefix set-up on the first run, then the splash's three seconds
import -window root build/wardline.png
echo "Screenshot of the main window: build/wardline.png"
wineserver -k 2>/dev/null || true
wait $app 2>/dev/null || true
