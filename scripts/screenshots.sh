#!/usr/bin/env bash
# Screenshots of the program's windows on a real X display: the main dialog's template with a log,
# the port selection (plain, and with the tooltip of COM1), the transfer progress at 37 % and the
# version dialog, one PNG each.
#
#   scripts/screenshots.sh OUTDIR          (BUILD_DIR=... to build somewhere else)
#
# Needs Xvfb (xvfb), import (imagemagick) and the Japanese font fonts-ipafont-gothic. Builds the
# dialog-gallery program, starts Xvfb on a free display, runs the gallery there and takes each
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

work=$(mktemp -d)
xvfb_pid=
gallery_pid=
cleanup() {
    if [ -n "$gallery_pid" ]; then kill "$gallery_pid" 2>/dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb chooses a free display itself and writes its number to descriptor 3.
Xvfb -displayfd 3 -screen 0 1024x600x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; exit 1; }
    sleep 0.1
done
[ -s "$work/display" ] || { echo "screenshots.sh: Xvfb did not start" >&2; exit 1; }
display=:$(head -n1 "$work/display")

mkdir -m 700 "$work/runtime"
coproc GALLERY { DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/runtime exec "$gallery"; }
# shellcheck disable=SC2153  # GALLERY_PID is set by coproc
gallery_pid=$GALLERY_PID
shots=0
while read -r -t 60 word name window crop <&"${GALLERY[0]}"; do
    case $word in
        READY)
            if [ "$window" = root ]; then
                import -display "$display" -window root -crop "$crop" +repage "$out/$name.png"
            else
                import -display "$display" -window "$window" "$out/$name.png"
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
