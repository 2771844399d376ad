#!/usr/bin/env bash
# Builds and runs the benchmarks, away from the test builds: the native benchmarks (Google Benchmark) in
# a Release build without sanitizers (build/bench), and the Windows build's benchmarks under Wine
# (build/bench-windows, its own Wine prefix): the file checksum, then the whole support-request job on
# 5,000 real files of 1 GiB. Not part of tools/test.sh.
#
#   tools/bench.sh [Google Benchmark options, e.g. --benchmark_filter=Clean]
#
# WDL_BENCH_MIB and WDL_BENCH_ROUNDS set the file benchmark's file size and rounds (256 and 5),
# WDL_JOB_ROUNDS the job benchmark's rounds (5).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
jobs=$(nproc)

# Builds quietly: the log is shown only when the build fails.
quiet() {
  local log=$1; shift
  "$@" >>"$log" 2>&1 || { cat "$log"; exit 1; }
}
mkdir -p build
rm -f build/bench.log

quiet build/bench.log cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DWDL_SANITIZE=OFF -DWDL_BENCHMARKS=ON
quiet build/bench.log cmake --build build/bench -j "$jobs" --target wdl_benchmarks
build/bench/bin/wdl_benchmarks "$@"

quiet build/bench.log cmake -S . -B build/bench-windows -G Ninja -DCMAKE_BUILD_TYPE=Release -DWDL_BENCHMARKS=ON \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
quiet build/bench.log cmake --build build/bench-windows -j "$jobs" --target wdl_wine_bench wdl_wine_job_bench
export WINEPREFIX=$PWD/build/bench-windows/wineprefix
echo
echo "Under Wine:"
status=0
tools/wine-run.sh build/bench-windows/bin/wdl_wine_bench.exe "${WDL_BENCH_MIB:-256}" "${WDL_BENCH_ROUNDS:-5}" || status=$?
echo
tools/wine-run.sh build/bench-windows/bin/wdl_wine_job_bench.exe "${WDL_JOB_ROUNDS:-5}" || status=$?
wineserver -k 2>/dev/null || true
exit $status
