#!/usr/bin/env bash
# Screenshots of the program's windows on a real X display: the main dialog's template with a log,
# the port selection (plain, and with the tooltip of COM1), the transfer progress at 37 % and the
# version dialog, one PNG each.
#
#   scripts/screenshots.sh OUTDIR          (BUILD_DIR=... to build somewhere else)
#
# Needs Xvfb (xvfb), import (imagemagick) and the Japanese font fonts-ipafont-gothic. Builds the
# dialog-gallery program, starts a virtual display (scripts/lib/virtual_display.sh), runs the gallery there and takes each
# window by its id as the gallery announces it ("READY name id"), or the part of the screen it names
# ("READY name root WxH+X+Y": a window with its tooltip, which is a window of its own).
set -euo pipefail

out=${1:?usage: screenshots.sh OUTDIR}
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$repo/build-screenshots}

for tool in Xvfb import cmake ninja; do
    command -v "$tool" >/dev/null || { echo "screenshots.sh: $tool is missing" >&2; exit 1; }
done
if ! fc-list : family | grep -i ipapgothic >/dev/null; then
    echo "screenshots.sh: warning: IPAPGothic is missing; Japanese text will look wrong" >&2
fi

[ -f "$build/build.ninja" ] || cmake -S "$repo" -B "$build" -G Ninja >/dev/null
ninja -C "$build" -j2 dialog-gallery >/dev/null
gallery=$build/tests/dialogs/dialog-gallery
mkdir -p "$out"

source "$repo/scripts/lib/virtual_display.sh"
work=$(mktemp -d)
gallery_pid=
cleanup() {
    if [ -n "$gallery_pid" ]; then kill "$gallery_pid" 2>/dev/null || true; fi
    stop_virtual_display
    rm -rf "$work"
}
trap cleanup EXIT

start_virtual_display "$work" 1024x600x24 || exit 1
coproc GALLERY { QT_QPA_PLATFORM=xcb exec "$gallery"; }
# shellcheck disable=SC2153  # GALLERY_PID is set by coproc
gallery_pid=$GALLERY_PID
shots=0
while read -r -t 60 word name window crop <&"${GALLERY[0]}"; do
    case $word in
        READY)
            if [ "$window" = root ]; then
                import -window root -crop "$crop" +repage "$out/$name.png"
            else
                import -window "$window" "$out/$name.png"
            fi
            echo "$out/$name.png"
            shots=$((shots + 1))
            echo next >&"${GALLERY[1]}"
            ;;
        DONE) break ;;
    esac
done
wait "$gallery_pid" || true
gallery_pid=
[ "$shots" -eq 5 ] || { echo "screenshots.sh: got $shots of 5 screenshots" >&2; exit 1; }
