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

work=$(mktemp -d "${TMPDIR:-/tmp}/qelpupd-atspi.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -n "${DBUS_SESSION_BUS_PID:-}" ] && kill "$DBUS_SESSION_BUS_PID" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=("$!")
for _ in $(seq 200); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n 1 "$work/display")

eval "$(dbus-launch --sh-syntax)"
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
pids+=("$!")
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 NO_AT_BRIDGE=0

head -c "$size" /dev/urandom > "$work/7118K0001.UPF"
"$simulator" --data "$work/7118K0001.UPF" --scenario success --pace > "$work/device.log" 2>&1 &
pids+=("$!")
for _ in $(seq 100); do [ -s "$work/device.log" ] && break; sleep 0.05; done
export QELPUPD_COM1=$(head -n 1 "$work/device.log")

# The update record stays in the work folder, never in the home folder.
(cd "$work" && XDG_STATE_HOME=$work/state exec "$binary") > "$work/qelpupd.log" 2>&1 &
app=$!; pids+=("$app")

find_window() {  # find_window TITLE-REGEX: prints the id of a visible window with that title
  for _ in $(seq 600); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) && [ -n "$id" ] &&
      { echo "$id"; return 0; }
    kill -0 "$app" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

port_dialog=$(find_window "^通信ポートの選択$") || { echo "no port dialog" >&2; exit 1; }
sleep 0.3
xdotool windowfocus --sync "$port_dialog" 2>/dev/null || true
xdotool key --clearmodifiers Return

echo "Listing qelpupd's windows over AT-SPI during a paced upload of $size bytes ($binary)"
status=0
# Debian's own interpreter: the bindings live in its dist-packages.
/usr/bin/python3 "$here/atspi_round_trip.py" "$app" 300 || status=1

# The outcome box carries the program's name; answer it so that the program ends.
if box=$(find_window "^qelpupd$"); then
  sleep 0.3
  xdotool windowfocus --sync "$box" 2>/dev/null || true
  xdotool key --clearmodifiers Return
fi
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
exit "$status"
