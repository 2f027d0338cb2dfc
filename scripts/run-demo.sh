#!/usr/bin/env bash
# Runs a whole firmware update against the simulated QELP device.
#
#   scripts/run-demo.sh              with a display: you pick COM1 and watch the update
#   scripts/run-demo.sh --headless   (the default without a display) runs it under Xvfb, answers the
#                                    dialogs itself, prints the simulator's transcript and the path of
#                                    a screenshot of the finished run
# Options: --scenario NAME (the simulator's, default success), --size BYTES (data file, default 24000),
#          --build-dir DIR (default build), --no-build.
# Exit status: 0 when the update succeeded (the device received the file intact and qelpupd ended).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

headless=""; [ -n "${DISPLAY:-}" ] || headless=1
scenario=success; size=24000; build=build; do_build=1
while (($#)); do
  case $1 in
    --headless) headless=1 ;;
    --scenario) scenario=$2; shift ;;
    --size) size=$2; shift ;;
    --build-dir) build=$2; shift ;;
    --no-build) do_build="" ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done
[[ $build = /* ]] || build=$root/$build

if [ -n "$do_build" ]; then
  scripts/install-deps.sh
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j "$(nproc)" --target qelpupd qelp-device-simulator
fi

work=$(mktemp -d /tmp/qelpupd-demo.XXXXXX)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

# A data file with the name the tool looks for.
head -c "$size" /dev/urandom > "$work/7118K0001.UPF"

# The simulated device, reading at the speed of a real 19200-baud line.
"$build/tools/qelp-device-simulator" --data "$work/7118K0001.UPF" --scenario "$scenario" --pace \
  > "$work/device.log" 2>&1 &
sim=$!; pids+=("$sim")
for _ in $(seq 100); do [ -s "$work/device.log" ] && break; sleep 0.05; done
device=$(head -n 1 "$work/device.log")
[ -e "$device" ] || { echo "the simulator did not start:"; cat "$work/device.log"; exit 1; }
export QELPUPD_COM1=$device
echo "Simulated QELP device on $device (COM1); working folder $work"

if [ -z "$headless" ]; then
  echo "Pick COM1 in the port dialog and watch the update."
  status=0; (cd "$work" && "$build/src/app/qelpupd") || status=$?
  wait "$sim" || status=$?
  echo "--- what the device saw"; tail -n +2 "$work/device.log"
  exit "$status"
fi

# Headless: a virtual display, and xdotool in the operator's place.
display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=("$!")
export DISPLAY=$display
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done

(cd "$work" && exec "$build/src/app/qelpupd") > "$work/qelpupd.log" 2>&1 &
app=$!; pids+=("$app")

# Waits for a window whose title matches (xdotool matches without regard to case) and that is not
# one of the windows given to skip; prints its id.
find_window() {  # find_window TITLE-REGEX [SKIP-ID…]
  local pattern=$1; shift
  for _ in $(seq 1200); do
    for id in $(xdotool search --onlyvisible --name "$pattern" 2>/dev/null); do
      [[ " $* " == *" $id "* ]] || { echo "$id"; return 0; }
    done
    kill -0 "$app" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
press() {  # press WINDOW-ID KEY
  sleep 0.3
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  xdotool key --clearmodifiers "$2"
}

status=0
shot=$work/finished-run.png
if port_dialog=$(find_window "^通信ポートの選択$"); then
  press "$port_dialog" Return                       # COM1
  main=$(find_window "^QelpUpd$" "$port_dialog") || status=1
  # The outcome's message box carries the program's name; the main window's title differs only in case.
  if [ $status -eq 0 ] && box=$(find_window "^qelpupd$" "$main" "$port_dialog"); then
    sleep 0.3
    import -window root "$shot"
    press "$box" Return
  else
    status=1
  fi
else
  status=1
fi
# After a success the tool ends by itself; after a failure its window stays open with the log.
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then status=1; else wait "$app" || status=1; fi
wait "$sim" || status=1

echo "--- what the device saw"
tail -n +2 "$work/device.log"
[ -s "$work/qelpupd.log" ] && { echo "--- qelpupd said"; cat "$work/qelpupd.log"; }
[ -f "$shot" ] && echo "Screenshot of the finished run: $shot"
[ $status -eq 0 ] && echo "Update succeeded." || echo "Update FAILED."
exit $status
