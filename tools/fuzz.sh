#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (build/fuzz: AddressSanitizer, UBSan, leak
# checks) and runs each: first every committed regression input (tests/fuzz/regressions/<target>/) and
# the committed corpus (tests/fuzz/corpus/<target>/), then fuzzing from that corpus for a number of runs
# or seconds. New inputs go to build/fuzz/corpus/<target>, what fails to build/fuzz/artifacts/<target>.
# A failing target shows the end of its log; the exit code is 1 when any target failed.
#
#   tools/fuzz.sh [--seconds N | --runs N] [--jobs N] [target...]
#
# Defaults: 20 seconds per target, 4 targets at a time, every target. A target is the name after
# "fuzz_" (text_to_bytes, registry, ...). Each input may take 1 s and 2 GiB at the most.
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time=20)
jobs=4
targets=()
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) limit=(-max_total_time="$2"); shift 2 ;;
    --runs) limit=(-runs="$2"); shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done

tools/setup.sh
build=build/fuzz
log=build/fuzz-build.log
mkdir -p build
if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
         -DCMAKE_CXX_COMPILER=clang++ -DWDL_FUZZ=ON -DWDL_BENCHMARKS=OFF &&
       cmake --build "$build" -j "$(nproc)" --target fuzz_targets; } >"$log" 2>&1; then
  cat "$log"
  echo "fuzz: the build failed"
  exit 1
fi

if [ ${#targets[@]} -eq 0 ]; then
  for program in "$build"/bin/fuzz_*; do targets+=("${program##*/fuzz_}"); done
fi

# One target: the regression inputs one by one, then the fuzzing, which replays the corpus first.
run_target() {
  local target=$1 program=$build/bin/fuzz_$1 out=$build/logs/$1.log
  local work=$build/corpus/$1 artifacts=$build/artifacts/$1/
  local options=(-timeout=1 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts")
  [ -f "tests/fuzz/$target.dict" ] && options+=(-dict="tests/fuzz/$target.dict")
  mkdir -p "$work" "$artifacts" "tests/fuzz/corpus/$target"
  : >"$out"
  local regressions=(tests/fuzz/regressions/"$target"/*)
  if [ -e "${regressions[0]}" ]; then
    "$program" "${options[@]}" "${regressions[@]}" >>"$out" 2>&1 || return 1
  fi
  "$program" "${options[@]}" "${limit[@]}" "$work" "tests/fuzz/corpus/$target" >>"$out" 2>&1
}

# Runs, executions per second and coverage from a finished log.
summary() {
  local out=$build/logs/$1.log
  local runs rate cov
  runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$out" | tail -n 1 | grep -oE '[0-9]+$' || true)
  rate=$(grep -oE 'stat::average_exec_per_sec: *[0-9]+' "$out" | tail -n 1 | grep -oE '[0-9]+$' || true)
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$out" | tail -n 1 || true)
  printf '%-16s %12s runs %8s exec/s  %s\n' "$1" "${runs:-?}" "${rate:-?}" "${cov:-}"
}

mkdir -p "$build/logs"
declare -A pids=()
failed=()
passed=0
wait_one() {
  local pid status=0 target
  wait -n -p pid "${pids[@]}" || status=$?
  for target in "${!pids[@]}"; do [ "${pids[$target]}" = "$pid" ] && break; done
  unset "pids[$target]"
  summary "$target"
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed+=("$target")
    echo "--- $target failed; the end of $build/logs/$target.log:"
    tail -n 40 "$build/logs/$target.log"
  fi
}
for target in "${targets[@]}"; do
  if [ ! -x "$build/bin/fuzz_$target" ]; then
    echo "fuzz: no target $target"; failed+=("$target"); continue
  fi
  while [ ${#pids[@]} -ge "$jobs" ]; do wait_one; done
  run_target "$target" &
  pids[$target]=$!
done
while [ ${#pids[@]} -gt 0 ]; do wait_one; done

echo "fuzz targets: $passed passed, ${#failed[@]} failed${failed:+ (${failed[*]})}"
[ ${#failed[@]} -eq 0 ]
