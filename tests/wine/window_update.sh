#!/usr/bin/env bash
# The real qelpupd.exe under Wine on a virtual display, driven by keys as an operator would,
# against the device simulator (a Linux program) on a pseudo-terminal that Wine sees as COM12.
#
#   window_update.sh --build-dir WIN-BUILD --host-build LINUX-BUILD --case NAME [--shot FILE]
#                    [--exe QELPUPD.EXE]  (default: the one WIN-BUILD made)
# Cases:
#   success   the whole file arrives byte for byte, message 109, the program ends by itself with 0
#   failure   the device reports "record header": message 108, the window stays with its log;
#             closed by Esc, the program ends with 1
#   cancel    Esc in the progress dialog in the middle of a paced transfer: sending stops after
#             whole blocks, the record counts exactly what the device received
#   session-end  the session ends in the middle of a paced transfer: asked first (wineboot
#             --end-session), the program asks it to wait and goes on; ended all the same
#             (end_session in device_run.sh), it stops after whole blocks, closes the port and
#             writes the record before its answer, with exactly what the device received
# Each case checks the update record under the prefix's LOCALAPPDATA\QelpUpd. --shot keeps a
# screenshot of the outcome box over the main window. Exit status 0 when the program behaved so.
set -euo pipefail

source "$(dirname "$0")/device_run.sh"
device_run_options "$0" src/app/qelpupd.exe "$@"
# shellcheck source=scripts/lib/virtual_display.sh
source "$lib/virtual_display.sh"
cleanup() {
  device_run_cleanup
  stop_virtual_display
}
trap cleanup EXIT

case $case_name in
  success) size=3001; device_options=() ;;
  failure) size=3001; device_options=(--scenario record-header) ;;
  # Larger than what the pseudo-terminal holds (about 19 KB): bytes written into it count as sent
  # at once, and the paced device takes 10 s to read them.
  cancel|session-end) size=100000; device_options=(--pace) ;;
  *) echo "unknown case: $case_name" >&2; exit 2 ;;
esac
device_run_start 12 "$size" "${device_options[@]}" || exit 1
# The display the caller runs (build-windows.sh starts one for ctest), else one of its own.
if [ -z "${DISPLAY:-}" ]; then start_virtual_display "$work" || exit 1; fi

(cd "$work" && QELPUPD_COM1=$com_name exec wine "$exe") > "$work/qelpupd.log" 2>&1 &
app=$!; pids+=("$app")

port_dialog=$(find_window 60 "^通信ポートの選択$") || { echo "no port dialog"; cat "$work/qelpupd.log"; exit 1; }
press "$port_dialog" Return || fail "the port dialog took no Enter"
# As dialogs do on Windows, the main window shows once its set-up, the port's choice, is over.
main=$(find_window 30 "^QelpUpd$" "$port_dialog") || { echo "no main window"; exit 1; }
wait_for 30 grep -q '^note: port opened' "$work/device.log" || fail "the port did not open"

if [ "$case_name" = cancel ] || [ "$case_name" = session-end ]; then
  progress=$(find_window 30 "^処理中" "$main") || fail "no progress dialog"
  wait_for 30 grep -q '^host> receiving' "$work/device.log" || fail "the transfer did not start"
fi
if [ "$case_name" = cancel ]; then
  press "$progress" Escape || fail "the progress dialog took no Esc"
  window_gone 30 "^処理中" "$progress" || fail "the transfer did not stop"
fi
if [ "$case_name" = session-end ]; then
  end_session qelpupd.exe
else
  box=$(find_window 60 "^qelpupd$" "$main" "$port_dialog") || fail "no outcome box"
  if [ -n "$shot" ] && [ -n "${box:-}" ]; then import -window root "$shot" 2>/dev/null || true; fi
  [ -n "${box:-}" ] && press "$box" Return
fi
if [ "$case_name" = failure ]; then
  # Message 108: the window stays with the log until the operator closes it.
  if wait_for 2 program_ended; then fail "the window did not stay after the failure"; fi
  press "$main" Escape || fail "the main window took no Esc"
fi
wait_for 30 program_ended || fail "qelpupd did not end"
app_exit=0; wait "$app" || app_exit=$?
device_run_finish

expected_exit=0
[ "$case_name" = failure ] && expected_exit=1
# Ended from outside by then, as Windows ends a program whose session ends: any status.
[ "$case_name" = session-end ] && expected_exit=any
[ "$expected_exit" = any ] || [ "$app_exit" -eq "$expected_exit" ] ||
  fail "qelpupd ended with status $app_exit, not $expected_exit"
field() { record_field "$1"; }
case $case_name in
  success)
    ((byte_for_byte)) || fail "the device did not get the file byte for byte"
    [ "$(field .outcome)/$(field .message)" = succeeded/109 ] || fail "record $(field .outcome)"
    [ "$(field .data_file.sha256)" = "$(sha256sum "$data" | cut -d' ' -f1)" ] ||
      fail "the record names other bytes" ;;
  failure)
    [ "$(field .outcome)/$(field .message)/$(field .detail)" = "failed/108/record header" ] ||
      fail "record $(field .outcome)/$(field .message)/$(field .detail)" ;;
  cancel | session-end)
    [ "$(field .transfer)" = cancelled ] || fail "transfer $(field .transfer)"
    sent=$(field .sent.bytes)
    [ "$sent" = "${received:-none}" ] || fail "the record says $sent bytes, the device got ${received:-none}"
    [ $((sent % 200)) -eq 0 ] && [ "$sent" -lt $((size / 2)) ] || fail "$sent bytes are not whole blocks of a cut transfer" ;;
esac
[ "$case_name" = session-end ] && check_session_end_record

[ $status -eq 0 ] && echo "PASSED ($case_name)"
exit $status
