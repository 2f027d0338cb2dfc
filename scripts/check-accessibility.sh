#!/usr/bin/env bash
# Follows a whole update of the real qelpupd as a screen reader would: a private D-Bus session with
# the accessibility bus, a virtual display (Xvfb), the simulated device on a pseudo-terminal, and
# an AT-SPI client (tests/e2e/accessibility_probe.py) that checks the progress dialog, its status
# text and percentage, the percentage's value changes and the outcome box's alert role.
#
#   scripts/check-accessibility.sh [--build-dir DIR] [--size BYTES] [--pace]
# Exit status: 0 when every check held; 77 (skipped) when the accessibility bus cannot start.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=build; size=4000000; pace=""
while (($#)); do
  case $1 in
    --build-dir) build=$2; shift ;;
    --size) size=$2; shift ;;
    --pace) pace=--pace ;;
    -h|--help) sed -n '2,8p' "$0"; exit 0 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done
[[ $build = /* ]] || build=$root/$build

skip() { echo "SKIPPED: $*"; exit 77; }
# The distribution's Python, which holds pyatspi (a python3 earlier on the PATH may not).
python=/usr/bin/python3
for tool in dbus-launch Xvfb xdotool "$python"; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh)"
done
bus_launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$bus_launcher" ] || skip "at-spi2-core is not installed (scripts/install-deps.sh)"
"$python" -c 'import pyatspi' 2>/dev/null || skip "python3-pyatspi is not installed"

source "$root/scripts/lib/virtual_display.sh"
source "$root/scripts/lib/operator.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/qelpupd-a11y.XXXXXX")
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  stop_virtual_display
  [ -n "${DBUS_SESSION_BUS_PID:-}" ] && kill "$DBUS_SESSION_BUS_PID" 2>/dev/null || true
}
trap cleanup EXIT

# The display first: the buses below belong to it, not to a display the caller may have.
start_virtual_display "$work" || exit 1

# A session bus of our own, and the accessibility bus beside it.
eval "$(dbus-launch --sh-syntax)" || skip "dbus-launch could not start a session bus"
export DBUS_SESSION_BUS_ADDRESS DBUS_SESSION_BUS_PID
"$bus_launcher" --launch-immediately >"$work/at-spi.log" 2>&1 &
pids+=("$!")
wait_for 30 dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
  org.a11y.Bus.GetAddress || skip "the accessibility bus did not start: $(cat "$work/at-spi.log")"

# A large file on an unpaced line: the transfer lasts seconds while the program keeps answering.
# With --pace the device reads at a real line's 19200 baud.
head -c "$size" /dev/urandom >"$work/7118K0001.UPF"
"$build/tools/qelp-device-simulator" --data "$work/7118K0001.UPF" --scenario success $pace \
  >"$work/device.log" 2>&1 &
pids+=("$!")
wait_for 20 test -s "$work/device.log" || { echo "the simulator did not start"; exit 1; }
export QELPUPD_COM1=$(head -n 1 "$work/device.log")

# The probe listens first: Qt learns which events anyone listens for as it joins the bus.
timeout 150 "$python" "$root/tests/e2e/accessibility_probe.py" "$work/listening" &
probe=$!; pids+=("$probe")
wait_for 30 test -e "$work/listening" || { echo "the probe did not start"; exit 1; }

# Its update record stays in the working folder: a rehearsal is no update of a device.
(cd "$work" && QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 XDG_STATE_HOME=$work/state \
  exec "$build/src/app/qelpupd") >"$work/qelpupd.log" 2>&1 &
app=$!; pids+=("$app")

status=0
wait "$probe" || status=1
if ! wait_for 20 program_ended; then
  echo "qelpupd did not end after the outcome box"
  status=1
fi
[ -s "$work/qelpupd.log" ] && { echo "--- qelpupd said"; cat "$work/qelpupd.log"; }
[ $status -eq 0 ] && echo "Accessibility checks passed." || echo "Accessibility checks FAILED ($work)."
exit $status
