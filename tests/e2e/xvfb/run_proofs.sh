#!/usr/bin/env bash
# The real qelpupd in a real X server (Xvfb), against the simulator: the update record and the exit
# status tell what really happened.
#
#   run_proofs.sh --build-dir DIR --case NAME
# Cases:
#   sigterm        SIGTERM in the middle of a paced transfer: the block on the wire goes out, the
#                  port closes, the record names the signal and counts exactly what the device
#                  received (whole blocks), and the exit status is 1
#   replaced-file  the data file is replaced after the port opened and before the device asks for
#                  it: the new bytes go out and the record names their length and SHA-256
#   sigterm-before-port  SIGTERM while the port dialog asks: no run has begun, so the program ends
#                  at once, by the signal, and leaves no record
#   file-problem-then-success  a folder takes the data file's name before the device asks, so
#                  message 102 shows; while it shows the device prints "Versionup succeed": one
#                  outcome box, 108, comes on top of 102, the window stays after both, the record
#                  says failed/108/file-problem and the exit status is 1
# Exit status 0 when it is so; the transcript and the record stay in the working folder.
set -euo pipefail

build=""; case_name=""
while (($#)); do
  case $1 in
    --build-dir) build=$2; shift ;;
    --case) case_name=$2; shift ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done
[ -n "$build" ] && [ -n "$case_name" ] || { sed -n '2,19p' "$0"; exit 2; }
build=$(cd "$build" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/qelpupd-proof.XXXXXX")
export XDG_STATE_HOME=$work/state
record=$XDG_STATE_HOME/qelpupd/updates.log
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  stop_virtual_display
}
trap cleanup EXIT
lib=$(dirname "$0")/../../../scripts/lib
source "$lib/virtual_display.sh"
source "$lib/operator.sh"
fail() { echo "FAILED ($case_name): $*"; status=1; }
status=0

data=$work/7118K0001.UPF
case $case_name in
  sigterm|sigterm-before-port)
    head -c 20000 /dev/urandom > "$data"
    device_options=(--data "$data" --pace) ;;
  replaced-file)
    head -c 3000 /dev/urandom > "$data"
    head -c 4321 /dev/urandom > "$work/new.bin"
    # Slow boot lines leave time to replace the file after the port opened.
    device_options=(--data "$work/new.bin" --boot-delay-ms 400) ;;
  file-problem-then-success)
    head -c 3000 /dev/urandom > "$data"
    # The device asks once the file is out of the way, and ends with its success word once nothing
    # has come for a moment.
    device_options=(--data "$data" --hold-data-request "$work/go" --idle-ms 500) ;;
  *) echo "unknown case: $case_name" >&2; exit 2 ;;
esac

"$build/tools/qelp-device-simulator" "${device_options[@]}" > "$work/device.log" 2>&1 &
sim=$!; pids+=("$sim")
# Waits until the simulator's transcript has a line matching REGEX.
device_said() { wait_for 30 grep -q "$1" "$work/device.log"; }
device_said '^/dev/' || { echo "the simulator did not start:"; cat "$work/device.log"; exit 1; }
export QELPUPD_COM1=$(head -n 1 "$work/device.log")

start_virtual_display "$work" || exit 1

(cd "$work" && exec "$build/src/app/qelpupd") > "$work/qelpupd.log" 2>&1 &
app=$!; pids+=("$app")

port_dialog=$(find_window 30 "^通信ポートの選択$") || { echo "no port dialog"; exit 1; }

ended() {  # ended SECONDS: waits for qelpupd to end; sets app_exit
  wait_for "$1" program_ended || return 1
  app_exit=0; wait "$app" || app_exit=$?
}

if [ "$case_name" = sigterm-before-port ]; then
  kill -TERM "$app"
  ended 10 || fail "qelpupd did not end at once"
  [ "${app_exit:-}" = 143 ] || fail "exit status ${app_exit:-none}, not 143 (SIGTERM)"
  [ ! -e "$record" ] || fail "a record of a run that never began"
  [ $status -eq 0 ] && echo "PASSED ($case_name)"
  exit $status
fi
press "$port_dialog" Return || fail "the port dialog took no keys"
device_said '^note: port opened' || fail "the port did not open"

field() { jq -r "$1" "$record"; }

case $case_name in
  sigterm)
    device_said '^host> receiving' || fail "the transfer did not start"
    kill -TERM "$app"
    ended 20 || fail "qelpupd did not end after SIGTERM"
    [ "${app_exit:-}" = 1 ] || fail "exit status ${app_exit:-none}, not 1"
    wait "$sim" || true
    device_said 'then the tool closed the port' || fail "the device did not see its port closed"
    received=$(sed -n 's/^host> received \([0-9]*\) bytes.*/\1/p' "$work/device.log" | head -n 1)
    [ "$(wc -l < "$record")" -eq 1 ] || fail "not one record line"
    [ "$(field .outcome)" = closed-by-operator ] || fail "outcome $(field .outcome)"
    [ "$(field .ended_by)/$(field .detail)" = signal/SIGTERM ] ||
      fail "ended by $(field .ended_by)/$(field .detail)"
    [ "$(field .transfer)" = cancelled ] || fail "transfer $(field .transfer)"
    sent=$(field .sent.bytes)
    [ "$sent" = "${received:-none}" ] || fail "the record says $sent bytes went out, the device got ${received:-none}"
    [ $((sent % 200)) -eq 0 ] && [ "$sent" -gt 0 ] && [ "$sent" -lt 20000 ] ||
      fail "$sent bytes are not whole blocks of an unfinished transfer"
    grep -q "mismatch at byte $received" "$work/device.log" ||
      fail "what arrived is not the file's beginning" ;;
  replaced-file)
    main=$(find_window 30 "^QelpUpd$" "$port_dialog") || fail "no main window"
    mv "$work/new.bin" "$data"
    # The outcome box, titled by the program's name (xdotool matches titles without regard to case,
    # so the main window matches too).
    box=$(find_window 30 "^qelpupd$" "$port_dialog" "$main") || fail "no outcome box"
    press "$box" Return
    ended 30 || fail "qelpupd did not end"
    wait "$sim" || fail "the device did not get the new file byte for byte"
    [ "${app_exit:-}" = 0 ] || fail "exit status ${app_exit:-none}, not 0"
    [ "$(field .outcome)" = succeeded ] || fail "outcome $(field .outcome)"
    [ "$(field .data_file.length)" = 4321 ] || fail "length $(field .data_file.length)"
    [ "$(field .data_file.sha256)" = "$(sha256sum "$data" | cut -d' ' -f1)" ] ||
      fail "the record's SHA-256 is not that of the bytes sent" ;;
  file-problem-then-success)
    main=$(find_window 30 "^QelpUpd$" "$port_dialog") || fail "no main window"
    mv "$data" "$work/aside.bin" && mkdir "$data"
    touch "$work/go"
    file_box=$(find_window 30 "^qelpupd$" "$port_dialog" "$main") || fail "no box about the file"
    device_said '^device> Versionup succeed' || fail "the device did not report success"
    # The end is taken inside the file box's event loop: its outcome box comes on top of it.
    outcome_box=$(find_window 30 "^qelpupd$" "$port_dialog" "$main" "$file_box") ||
      fail "no outcome box"
    sleep 0.3  # for the picture only: the boxes have painted
    import -window root "$work/boxes.png" 2>/dev/null || true
    press "$outcome_box" Return || fail "the outcome box took no Enter"
    window_gone 30 "^qelpupd$" "$outcome_box" || fail "the outcome box did not close by Enter"
    press "$file_box" Return || fail "the file box took no Enter"
    window_gone 30 "^qelpupd$" "$file_box" || fail "the file box did not close by Enter"
    # After message 108 the window stays; after a success (109) the program would end by itself.
    # A wait for something not to happen, which cannot fail a right program.
    if wait_for 2 program_ended || ! window_shows "^QelpUpd$" "$main"; then
      fail "the window did not stay: the outcome shown was a success"
    fi
    extra=$(find_window 0 "^qelpupd$" "$port_dialog" "$main" "$file_box" "$outcome_box") &&
      fail "a second outcome box ($extra)"
    press "$main" Escape || fail "the main window took no Esc"
    ended 30 || fail "qelpupd did not end after Esc"
    [ "${app_exit:-}" = 1 ] || fail "exit status ${app_exit:-none}, not 1"
    [ "$(wc -l < "$record")" -eq 1 ] || fail "not one record line"
    [ "$(field .outcome)/$(field .message)" = failed/108 ] ||
      fail "recorded $(field .outcome)/$(field .message), not failed/108"
    [ "$(field .ended_by)/$(field .detail)" = file-problem/cannot-open ] ||
      fail "ended by $(field .ended_by)/$(field .detail)"
    [ "$(field .transfer)" = none ] || fail "transfer $(field .transfer)" ;;
esac

echo "--- what the device saw"; tail -n +2 "$work/device.log"
[ -s "$work/qelpupd.log" ] && { echo "--- qelpupd said"; cat "$work/qelpupd.log"; }
[ -f "$record" ] && { echo "--- the record"; cat "$record"; }
[ $status -eq 0 ] && echo "PASSED ($case_name)"
exit $status
