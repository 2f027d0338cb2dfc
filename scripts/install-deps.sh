#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running the demo need, when missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkgconf
  qt6-base-dev libgl-dev libgtest-dev
  fonts-ipafont-gothic
  xvfb xdotool imagemagick x11-utils
  desktop-file-utils appstream man-db jq
  at-spi2-core dbus-x11 python3-pyatspi
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
