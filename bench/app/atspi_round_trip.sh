#!/usr/bin/env bash
# A screen reader's round trip to the real qelpupd during a paced upload, under Xvfb: the simulator
# reads at 19200 baud (--pace), a private D-Bus session and AT-SPI bus carry the questions, and
# atspi_round_trip.py times listing the program's windows while the progress window shows. Prints
# the figures; asserts nothing.
#
#   bench/app/atspi_round_trip.sh [--build-dir DIR] [--binary PATH] [--size BYTES]
#     --binary: another qelpupd to measure (for example one built from an earlier commit);
#     --size: the data file (default 40000 bytes: some 12 s of paced waits on a pseudo-terminal).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$root/build; binary=""; size=40000
while (($#)); do
  case $1 in
    --build-dir) build=$2; shift ;;
    --binary) binary=$2; shift ;;
    --size) size=$2; shift ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done
[[ $build = /* ]] || build=$root/$build
binary=${binary:-$build/src/app/qelpupd}
simulator=$build/tools/qelp-device-simulator
for tool in Xvfb dbus-launch xdotool /usr/libexec/at-spi-bus-launcher; do
  command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-deps.sh" >&2; exit 1; }
done

source "$root/scripts/lib/virtual_display.sh"
source "$root/scripts/lib/operator.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/qelpupd-atspi.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  stop_virtual_display
  [ -n "${DBUS_SESSION_BUS_PID:-}" ] && kill "$DBUS_SESSION_BUS_PID" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

start_virtual_display "$work" || exit 1

eval "$(dbus-launch --sh-syntax)"
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
pids+=("$!")
# The program looks for the accessibility bus as it starts: the bus must be there first.
wait_for 30 dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
  org.a11y.Bus.GetAddress || { echo "the accessibility bus did not start" >&2; exit 1; }
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 NO_AT_BRIDGE=0

head -c "$size" /dev/urandom > "$work/7118K0001.UPF"
"$simulator" --data "$work/7118K0001.UPF" --scenario success --pace > "$work/device.log" 2>&1 &
pids+=("$!")
wait_for 20 test -s "$work/device.log" || { echo "the simulator did not start" >&2; exit 1; }
export QELPUPD_COM1=$(head -n 1 "$work/device.log")

# The update record stays in the work folder, never in the home folder.
(cd "$work" && XDG_STATE_HOME=$work/state exec "$binary") > "$work/qelpupd.log" 2>&1 &
app=$!; pids+=("$app")

port_dialog=$(find_window 60 "^通信ポートの選択$") || { echo "no port dialog" >&2; exit 1; }
press "$port_dialog" Return || exit 1

echo "Listing qelpupd's windows over AT-SPI during a paced upload of $size bytes ($binary)"
status=0
# Debian's own interpreter: the bindings live in its dist-packages.
/usr/bin/python3 "$here/atspi_round_trip.py" "$app" 300 || status=1

# The outcome box carries the program's name; answer it so that the program ends.
if box=$(find_window 60 "^qelpupd$"); then
  press "$box" Return || true
fi
wait_for 20 program_ended || true
exit "$status"
