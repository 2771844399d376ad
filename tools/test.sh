#!/usr/bin/env bash
# Builds both builds and runs every test: the native build (logic on in-memory doubles, under
# AddressSanitizer and UBSan) and the Windows build (the real Win32 API under Wine, windows on Xvfb
# when there is no display).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
jobs=$(nproc)

cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug
cmake --build build/native -j "$jobs"

cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
cmake --build build/windows -j "$jobs"

status=0
(cd build/native && ctest --output-on-failure -j "$jobs") | tee build/native-tests.log || status=1

# A fresh Wine prefix for every run, inside the build tree.
export WINEPREFIX=$PWD/build/windows/wineprefix
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
source tools/xvfb.sh
# One Wine server for the whole run, with its service and desktop processes started here, away from the
# test runner's output pipes (a process that inherits them would hold each test open until it ends).
mkdir -p "$WINEPREFIX"
wineserver -p
tools/wine-run.sh build/windows/bin/wdl_testchild.exe warm-up 0 >/dev/null 2>&1 </dev/null || true
# A crashing program prints its backtrace instead of opening a crash dialog that would wait for a click.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 </dev/null || true
wine explorer.exe /desktop >/dev/null 2>&1 </dev/null &
sleep 2
(cd build/windows && ctest --output-on-failure) | tee build/windows-tests.log || status=1
wineserver -k 2>/dev/null || true

# The fuzz targets (clang, build/fuzz): every committed regression input and the corpus replayed, then
# 20 seconds of fuzzing each.
tools/fuzz.sh --seconds 20 | tee build/fuzz-tests.log || status=1

passed=0; failed=0
for log in build/native-tests.log build/windows-tests.log; do
  line=$(grep -aE 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [ -z "$line" ]; then status=1; continue; fi
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  passed=$((passed + total - bad)); failed=$((failed + bad))
done
line=$(grep -E '^fuzz targets: [0-9]+ passed, [0-9]+ failed' build/fuzz-tests.log | tail -n 1 || true)
if [ -n "$line" ]; then
  passed=$((passed + $(sed -E 's/.*: ([0-9]+) passed.*/\1/' <<<"$line")))
  failed=$((failed + $(sed -E 's/.* ([0-9]+) failed.*/\1/' <<<"$line")))
else
  status=1
fi
[ "$failed" -eq 0 ] || status=1
echo "$passed passed, $failed failed"
exit $status
