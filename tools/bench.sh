#!/usr/bin/env bash
# Builds and runs the benchmarks, away from the test builds: the native benchmarks (Google Benchmark) in
# a Release build without sanitizers (build/bench), and the Windows build's benchmarks under Wine
# (build/bench-windows, its own Wine prefix and, without a display, its own Xvfb): the file checksum,
# then the whole support-request job on 5,000 copies of real modules. Not part of tools/test.sh.
#
#   tools/bench.sh [Google Benchmark options, e.g. --benchmark_filter=Clean]
#
# Every program, and the Wine server with it, runs pinned to one core (WDL_BENCH_CPU, the last one by
# default), so that the measurements compete for one core only; the machine's load (uptime) is shown
# before and after each part, since these machines are shared: read the ratios, not the times.
#
# WDL_BENCH_MIB and WDL_BENCH_ROUNDS set the file benchmark's file size and rounds (256 and 5),
# WDL_JOB_ROUNDS the job benchmark's rounds (5). The job benchmark writes the state XML of its first
# round, without the meta data, to build/bench-windows/job-state.xml; with WDL_JOB_STATE_BEFORE naming
# such a file from an earlier build, the two are compared byte for byte and a difference fails the run:
#
#   tools/bench.sh && cp build/bench-windows/job-state.xml /tmp/state-before.xml
#   (change the program)
#   WDL_JOB_STATE_BEFORE=/tmp/state-before.xml tools/bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
jobs=$(nproc)
cpu=${WDL_BENCH_CPU:-$((jobs - 1))}
pinned() { taskset -c "$cpu" "$@"; }
load() { echo "load: $(uptime)"; }

# Builds quietly: the log is shown only when the build fails.
quiet() {
  local log=$1; shift
  "$@" >>"$log" 2>&1 || { cat "$log"; exit 1; }
}
mkdir -p build
rm -f build/bench.log

quiet build/bench.log cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DWDL_SANITIZE=OFF -DWDL_BENCHMARKS=ON
quiet build/bench.log cmake --build build/bench -j "$jobs" --target wdl_benchmarks
quiet build/bench.log cmake -S . -B build/bench-windows -G Ninja -DCMAKE_BUILD_TYPE=Release -DWDL_BENCHMARKS=ON \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
quiet build/bench.log cmake --build build/bench-windows -j "$jobs" --target wdl_wine_bench wdl_wine_job_bench

echo "Pinned to core $cpu."
load
pinned build/bench/bin/wdl_benchmarks "$@"
load

export WINEPREFIX=$PWD/build/bench-windows/wineprefix
source tools/xvfb.sh
# The prefix made first (its first start runs a Wine server of its own), then one Wine server for the
# whole run, pinned to the benchmarks' core, which every Wine program of the run uses; its service
# processes are started here, away from this script's output (a process that inherits it would hold a
# pipe from it open until the end).
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" wineboot -i >/dev/null 2>&1 </dev/null || true
fi
wineserver -k 2>/dev/null || true
pinned wineserver -p >/dev/null 2>&1 </dev/null
pinned tools/wine-run.sh cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
echo
echo "Under Wine:"
status=0
state=build/bench-windows/job-state.xml
rm -f "$state"
pinned tools/wine-run.sh build/bench-windows/bin/wdl_wine_bench.exe "${WDL_BENCH_MIB:-256}" "${WDL_BENCH_ROUNDS:-5}" \
  || status=$?
load
echo
pinned tools/wine-run.sh build/bench-windows/bin/wdl_wine_job_bench.exe "${WDL_JOB_ROUNDS:-5}" "$state" || status=$?
load
wineserver -k 2>/dev/null || true
if [ -n "${WDL_JOB_STATE_BEFORE:-}" ]; then
  if cmp -s "$WDL_JOB_STATE_BEFORE" "$state"; then
    echo "state XML: byte for byte the same as $WDL_JOB_STATE_BEFORE"
  else
    echo "state XML: DIFFERS from $WDL_JOB_STATE_BEFORE (cmp $WDL_JOB_STATE_BEFORE $state)"
    status=1
  fi
fi
exit $status
