#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz) with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/, and runs each for a bounded time.
#
#   scripts/run-fuzz.sh                    every target, 20 s each
#   scripts/run-fuzz.sh --seconds 300 json_string port_scan
#
# Each target starts from its seeds (tests/fuzz/corpus/NAME), copied into build-fuzz/fuzz/corpus/NAME,
# where what it finds to add stays for the next run; the source tree is never written. A crash, a
# leak, undefined behaviour, a broken check or a hang (over 10 s for one input) fails the run; the
# input that did it goes to build-fuzz/fuzz/findings/. Prints runs and runs per second per target.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

seconds=20
targets=()
while (($#)); do
  case $1 in
    --seconds) seconds=$2; shift ;;
    -*) echo "usage: $0 [--seconds N] [TARGET...]" >&2; exit 2 ;;
    *) targets+=("$1") ;;
  esac
  shift
done
((${#targets[@]})) || targets=(console_reader text_format cli_options json_string port_scan
                                simulator_options)

scripts/install-deps.sh
build=$root/build-fuzz
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DQELPUPD_FUZZ=ON -DQELPUPD_BUILD_TESTS=OFF \
  -DQELPUPD_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzzers

work=$build/fuzz
mkdir -p "$work/findings" "$work/logs"
# The port scan builds a fake sysfs for every input; memory-backed space makes that faster.
scratch=$(mktemp -d -p "$([ -w /dev/shm ] && echo /dev/shm || echo "$work")" qelpupd-fuzz.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
printf '%-18s %12s %10s  %s\n' target runs runs/s result
for target in "${targets[@]}"; do
  corpus=$work/corpus/$target
  log=$work/logs/$target.log
  mkdir -p "$corpus"
  cp -n "tests/fuzz/corpus/$target"/* "$corpus"/
  status=0
  TMPDIR=$scratch "$build/tests/fuzz/fuzz_$target" "$corpus" -max_total_time="$seconds" \
    -timeout=10 -print_final_stats=1 -artifact_prefix="$work/findings/$target-" \
    >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  result=ok
  if ((status != 0)); then
    result="FAILED (status $status), see $log"
    failed=1
  fi
  printf '%-18s %12s %10s  %s\n' "$target" "${runs:-?}" "${rate:-?}" "$result"
  ((status == 0)) || grep -E -A12 'ERROR|runtime error|deadly signal' "$log" | head -40 >&2
done
exit $failed
