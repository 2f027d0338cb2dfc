#!/usr/bin/env bash
# Builds QelpUpd and runs every test, on a fresh Debian 12 machine too:
#   1. a plain build and the whole suite, then a short soak of both programs (scripts/soak.sh);
#   2. AddressSanitizer + UndefinedBehaviorSanitizer, the whole suite;
#   3. ThreadSanitizer, the tests that create no window (Debian's Qt is not instrumented);
#   4. the fuzz targets, 20 s each, under AddressSanitizer + UndefinedBehaviorSanitizer
#      (scripts/run-fuzz.sh);
#   5. the native Windows programs, built with mingw-w64 and tested under Wine, their packages
#      made and the installer tried (scripts/build-windows.sh).
# Exits non-zero on any failure. Build trees go to build/, build-asan/, build-tsan/, build-fuzz/,
# build-win64/, build-win32/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
root=$PWD
supp=$root/tests/sanitizers

# ccache keeps the three builds, and the next run's, from compiling the same files again; paths are
# taken relative to the tree, so a fresh clone elsewhere still hits.
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1

build() {  # build DIR [cmake args…]
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

echo "== plain build"
build build
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== soak: both programs against the simulator, random runs for 90 s"
# The seed is printed first, so that a failure in CI can be played again exactly.
soak_seed=$(date +%Y%m%d%H%M%S)
echo "soak seed $soak_seed (one run again: scripts/soak.sh --seed $soak_seed --run N)"
scripts/soak.sh --build-dir build --program both --runs 100000 --minutes 1.5 --seed "$soak_seed"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
build build-asan -DQELPUPD_SANITIZE=address -DQELPUPD_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
LSAN_OPTIONS=suppressions=$supp/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== ThreadSanitizer (tests without windows)"
build build-tsan -DQELPUPD_SANITIZE=thread -DQELPUPD_BUILD_BENCH=OFF
# TSan needs the lower address-space randomisation that setarch -R gives on recent kernels.
TSAN_OPTIONS="suppressions=$supp/tsan.supp halt_on_error=1 second_deadlock_stack=1" \
  setarch "$(uname -m)" -R ctest --test-dir build-tsan --output-on-failure -j "$jobs" -LE window

echo "== fuzz targets (libFuzzer, AddressSanitizer + UndefinedBehaviorSanitizer)"
scripts/run-fuzz.sh --seconds 20

echo "== Windows: mingw-w64 builds, their tests under Wine, the packages"
windows_start=$SECONDS
scripts/build-windows.sh
echo "the Windows stage took $((SECONDS - windows_start)) s"
