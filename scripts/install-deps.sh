#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running the demo need, when missing.
# --windows adds what the native Windows build needs (scripts/build-windows.sh): the mingw-w64
# cross compilers, Wine to run its tests and NSIS for its installer.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkgconf
  qt6-base-dev libgl-dev libgtest-dev
  fonts-ipafont-gothic
  xvfb xdotool imagemagick x11-utils
  at-spi2-core dbus-x11 python3-pyatspi
  desktop-file-utils appstream man-db ccache jq
  # The serial layer against real kernel drivers: a Debian kernel booted under QEMU.
  qemu-system-x86 linux-image-amd64 busybox-static cpio xz-utils
  # The fuzz targets: clang with libFuzzer and the sanitizers' runtimes.
  clang libclang-rt-14-dev
)
if [ "${1:-}" = "--windows" ]; then
  # The -posix compilers: GoogleTest needs std::thread, which the win32 thread model lacks.
  packages+=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 fonts-wine nsis)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  # The kernel is there for QEMU only. A machine that does not boot from /boot (a container, or a
  # VM started with a kernel of its own) needs no initramfs for it, and making one takes minutes.
  no_initrd=()
  [ -e "/boot/vmlinuz-$(uname -r)" ] || no_initrd=(INITRD=No)
  $SUDO env DEBIAN_FRONTEND=noninteractive "${no_initrd[@]}" \
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
