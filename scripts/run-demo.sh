#!/usr/bin/env bash
# Runs a whole firmware update against the simulated QELP device.
#
#   scripts/run-demo.sh              with a display: you pick COM1 and watch the update
#   scripts/run-demo.sh --headless   (the default without a display) runs it under Xvfb, answers the
#                                    dialogs itself, prints the simulator's transcript and the path of
#                                    a screenshot of the finished run
# Options: --scenario NAME (the simulator's, default success), --size BYTES (data file, default 24000),
#          --build-dir DIR (default build), --no-build,
#          --state-home DIR (XDG_STATE_HOME for qelpupd, where it keeps its update record; default
#          the working folder's state/), --no-record-check (the record may not be writable),
#          --expect-failure (headless, for a scenario that ends the update as failed: the outcome box
#          must leave the window open with its log; the script then closes it by Esc).
# Exit status: 0 when the update succeeded (the device received the file intact, qelpupd ended with
# status 0 and appended a record of the success); with --expect-failure, 0 when it failed as it
# should (the device received the file intact, the window stayed after the box, qelpupd ended with
# status 1 once closed, and its record says the run failed).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

headless=""; [ -n "${DISPLAY:-}" ] || headless=1
scenario=success; size=24000; build=build; do_build=1; expect_failure=; state_home=; check_record=1
while (($#)); do
  case $1 in
    --headless) headless=1 ;;
    --scenario) scenario=$2; shift ;;
    --size) size=$2; shift ;;
    --build-dir) build=$2; shift ;;
    --no-build) do_build="" ;;
    --state-home) state_home=$2; shift ;;
    --no-record-check) check_record="" ;;
    --expect-failure) expect_failure=1; headless=1 ;;
    -h|--help) sed -n '2,20p' "$0"; exit 0 ;;
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

source "$root/scripts/lib/virtual_display.sh"
source "$root/scripts/lib/operator.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/qelpupd-demo.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  stop_virtual_display
}
trap cleanup EXIT

# The update record goes to the working folder unless given: a rehearsal is no update of a device.
export XDG_STATE_HOME=${state_home:-$work/state}
record=$XDG_STATE_HOME/qelpupd/updates.log
records_before=0
[ -f "$record" ] && records_before=$(wc -l < "$record")

# A data file with the name the tool looks for.
head -c "$size" /dev/urandom > "$work/7118K0001.UPF"

# The simulated device, reading at the speed of a real 19200-baud line.
"$build/tools/qelp-device-simulator" --data "$work/7118K0001.UPF" --scenario "$scenario" --pace \
  > "$work/device.log" 2>&1 &
sim=$!; pids+=("$sim")
wait_for 20 test -s "$work/device.log" || true
device=$(head -n 1 "$work/device.log")
[ -e "$device" ] || { echo "the simulator did not start:"; cat "$work/device.log"; exit 1; }
export QELPUPD_COM1=$device
echo "Simulated QELP device on $device (COM1); working folder $work"

if [ -z "$headless" ]; then
  echo "Pick COM1 in the port dialog and watch the update."
  status=0; (cd "$work" && "$build/src/app/qelpupd") || status=$?
  wait "$sim" || status=$?
  echo "--- what the device saw"; tail -n +2 "$work/device.log"
  [ -f "$record" ] && { echo "--- the update record ($record)"; tail -n 1 "$record"; }
  exit "$status"
fi

# Headless: a virtual display, and xdotool in the operator's place.
start_virtual_display "$work" || exit 1

(cd "$work" && exec "$build/src/app/qelpupd") > "$work/qelpupd.log" 2>&1 &
app=$!; pids+=("$app")

# The paced line carries about 1920 bytes a second; the outcome box may take that long and more.
upload_seconds=$((60 + size / 1000))
status=0
shot=$work/finished-run.png
if port_dialog=$(find_window 60 "^通信ポートの選択$") && press "$port_dialog" Return; then  # COM1
  main=$(find_window 60 "^QelpUpd$" "$port_dialog") || status=1
  # The outcome's message box carries the program's name; the main window's title differs only in case.
  if [ $status -eq 0 ] && box=$(find_window "$upload_seconds" "^qelpupd$" "$main" "$port_dialog"); then
    sleep 0.3  # for the picture only: the box has painted
    import -window root "$shot" 2>/dev/null || echo "no screenshot"
    press "$box" Return || status=1
  else
    status=1
  fi
else
  status=1
fi
# After a success the tool ends by itself; after a failure its window stays open with the log.
if [ -n "$expect_failure" ] && [ $status -eq 0 ]; then
  # Once the box has gone, a wrong exit would follow at once: the window must still be there a
  # moment later. (A wait for something not to happen; it cannot fail a right program.)
  if ! window_gone 30 "^qelpupd$" "$box"; then
    echo "the outcome box did not close by Enter."
    status=1
  elif sleep 1.5 && ! program_ended && window_shows "^QelpUpd$" "$main"; then
    press "$main" Escape || status=1
  else
    echo "qelpupd did not keep its window open after the outcome box."
    status=1
  fi
fi
wait_for 20 program_ended || true
if kill -0 "$app" 2>/dev/null; then
  status=1
  # Otherwise the simulator would wait for the port to close until its linger time ends.
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
else
  app_status=0
  wait "$app" || app_status=$?
  expected_status=0; [ -n "$expect_failure" ] && expected_status=1
  if [ "$app_status" -ne "$expected_status" ]; then
    echo "qelpupd ended with status $app_status, not $expected_status."
    status=1
  fi
fi
wait "$sim" || status=1

# The run's record: one line more, with the outcome and the device it went to.
if [ -n "$check_record" ]; then
  expected_outcome=succeeded; [ -n "$expect_failure" ] && expected_outcome=failed
  records_after=0
  [ -f "$record" ] && records_after=$(wc -l < "$record")
  if [ "$records_after" -ne $((records_before + 1)) ]; then
    echo "qelpupd did not append one record to $record."
    status=1
  elif ! tail -n 1 "$record" | jq -e --arg outcome "$expected_outcome" --arg device "$device" \
        --argjson size "$size" \
        '.outcome == $outcome and .device == $device and .data_file.length == $size
         and .sent.bytes == $size and .transfer == "complete"
         and (.console_log | test("/console-[^/]*-COM1[.]log$"))' >/dev/null; then
    echo "qelpupd's record does not describe this run:"; tail -n 1 "$record"
    status=1
  fi
fi

echo "--- what the device saw"
tail -n +2 "$work/device.log"
[ -s "$work/qelpupd.log" ] && { echo "--- qelpupd said"; cat "$work/qelpupd.log"; }
[ -f "$record" ] && { echo "--- the update record ($record)"; tail -n 1 "$record"; }
[ -f "$shot" ] && echo "Screenshot of the finished run: $shot"
if [ -n "$expect_failure" ]; then
  [ $status -eq 0 ] && echo "Update failed, as expected." || echo "The expected failure did NOT show."
else
  [ $status -eq 0 ] && echo "Update succeeded." || echo "Update FAILED."
fi
exit $status
