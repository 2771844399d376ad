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
# Wait for the first window (the splash, after the prefix's first set-up), then for the splash's three
# seconds to pass.
for _ in $(seq 1 120); do
  xwininfo -root -tree 2>/dev/null | grep -q '"Wardline"' && break
  sleep 1
done
sleep 6
import -window root build/wardline.png
echo "Screenshot of the main window: build/wardline.png"
wineserver -k || true
wait $app 2>/dev/null || true
