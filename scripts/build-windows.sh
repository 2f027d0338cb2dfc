#!/usr/bin/env bash
# Builds QelpUpd for Windows with mingw-w64 and tests it under Wine, on a fresh Debian 12 machine
# too (it installs what is missing):
#   1. the Linux peer of the tests (tests/wine), with the host compiler, in build/;
#   2. x64 (cmake/toolchains/mingw-w64-x86_64.cmake) in build-win64/, and its tests under wine64,
#      in a private Wine prefix there (scripts/lib/wine_env.sh);
#   3. x86 (mingw-w64-i686.cmake) in build-win32/: built only, tested only where wine32 is
#      installed.
# So far the Windows build has the serial layer, its tests and benchmarks; the programs follow.
# --bench also runs the Windows benchmarks under Wine and prints their figures.
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
run_bench=0
[ "${1:-}" = "--bench" ] && run_bench=1
scripts/install-deps.sh --windows

jobs=$(nproc)
root=$PWD
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
peer=$root/build/tests/wine/wine_com_peer

configure() {  # configure DIR [cmake args…]
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache "$@" >/dev/null
}

configure_windows() {  # configure_windows DIR TOOLCHAIN: an existing tree keeps its toolchain
  local toolchain=()
  [ -e "$1/CMakeCache.txt" ] || toolchain=(--toolchain "$2")
  configure "$1" "${toolchain[@]}" -DQELPUPD_COM_PEER="$peer"
}

echo "== the Linux peer of the Windows tests"
configure build
cmake --build build -j "$jobs" --target wine_com_peer

echo "== Windows x64"
configure_windows build-win64 cmake/toolchains/mingw-w64-x86_64.cmake
cmake --build build-win64 -j "$jobs"

# shellcheck source=scripts/lib/wine_env.sh
source scripts/lib/wine_env.sh
trap wine_env_stop EXIT
wine_env_start build-win64
start=$(date +%s%N)
ctest --test-dir build-win64 --output-on-failure -j "$jobs"
echo "Windows x64 tests under Wine: $((($(date +%s%N) - start) / 1000000)) ms"
if ((run_bench)); then
  for bench in receive_latency write_pace; do
    echo "== bench: serial_win32_$bench"
    tests/wine/with_com_peer.sh "$peer" wine "build-win64/bench/serial/serial_win32_$bench.exe" |
      tr -d '\r'
  done
fi
wine_env_stop

echo "== Windows x86 (32-bit)"
configure_windows build-win32 cmake/toolchains/mingw-w64-i686.cmake
cmake --build build-win32 -j "$jobs"
if [ -x /usr/lib/wine/wine ]; then
  wine_env_start build-win32
  ctest --test-dir build-win32 --output-on-failure -j "$jobs"
  wine_env_stop
else
  echo "no wine32 (Debian's wine32:i386): the 32-bit build is compiled, not tested"
fi
