#!/usr/bin/env bash
# Builds QelpUpd for Windows with mingw-w64, tests it under Wine and packages it, on a fresh
# Debian 12 machine too (it installs what is missing):
#   1. the Linux side of the tests (the COM peer of tests/wine and the device simulator), with the
#      host compiler, in build/;
#   2. x64 (cmake/toolchains/mingw-w64-x86_64.cmake) in build-win64/: both programs and the tests
#      under wine64 through ctest, in a private Wine prefix there (scripts/lib/wine_env.sh), on a
#      virtual display: the unit tests, then the real qelpupd.exe and qelpupd-cli.exe against the
#      simulator;
#   3. x86 (mingw-w64-i686.cmake) in build-win32/: built, tested only where wine32 is installed
#      (step 5);
#   4. the packages, once each program's imports are checked against the DLLs every supported
#      Windows has (scripts/lib/windows_package.sh): QelpUpd-<version>-win64.zip and the NSIS
#      installer QelpUpd-<version>-win64-setup.exe in build-win64/, the same with win32 in
#      build-win32/; the 64-bit installer is then installed silently under Wine, both ways, and
#      its programs run, and the 32-bit one's refusal of 64-bit Windows is tried
#      (tests/wine/installer_check.sh);
#   5. the 32-bit tests, where wine32 is installed.
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
host=$root/build
peer=$host/tests/wine/wine_com_peer

configure() {  # configure DIR [cmake args…]
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache "$@" >/dev/null
}

configure_windows() {  # configure_windows DIR TOOLCHAIN: an existing tree keeps its toolchain
  local toolchain=()
  [ -e "$1/CMakeCache.txt" ] || toolchain=(--toolchain "$2")
  configure "$1" "${toolchain[@]}" -DQELPUPD_COM_PEER="$peer" -DQELPUPD_HOST_BUILD="$host"
}

# shellcheck source=scripts/lib/virtual_display.sh
source scripts/lib/virtual_display.sh
# shellcheck source=scripts/lib/wine_env.sh
source scripts/lib/wine_env.sh
# shellcheck source=scripts/lib/windows_package.sh
source scripts/lib/windows_package.sh
trap 'wine_env_stop; stop_virtual_display' EXIT

echo "== the Linux side of the Windows tests"
configure build
cmake --build build -j "$jobs" --target wine_com_peer qelp-device-simulator

echo "== Windows x64"
configure_windows build-win64 cmake/toolchains/mingw-w64-x86_64.cmake
cmake --build build-win64 -j "$jobs"

start_virtual_display build-win64
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
  echo "== bench: serial_win32_port_monitor"
  wine build-win64/bench/serial/serial_win32_port_monitor.exe | tr -d '\r'
fi

echo "== Windows x86 (32-bit)"
configure_windows build-win32 cmake/toolchains/mingw-w64-i686.cmake
cmake --build build-win32 -j "$jobs"

echo "== Windows packages"
windows_package build-win32 win32
stage32=$windows_stage
ls -l "$windows_zip" "$windows_setup"
windows_package build-win64 win64
ls -l "$windows_zip" "$windows_setup"
tests/wine/installer_check.sh --build-dir build-win64 --host-build "$host" --setup "$windows_setup" \
  --stage32 "$stage32"
wine_env_stop

if [ -x /usr/lib/wine/wine ]; then
  echo "== Windows x86 tests"
  wine_env_start build-win32
  ctest --test-dir build-win32 --output-on-failure -j "$jobs"
  wine_env_stop
else
  echo "no wine32 (Debian's wine32:i386): the 32-bit build is compiled and packaged, not run"
fi
