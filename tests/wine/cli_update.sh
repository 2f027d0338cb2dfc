#!/usr/bin/env bash
# The real qelpupd-cli.exe under Wine, as a script runs it, against the device simulator on a
# pseudo-terminal that Wine sees as COM13.
#
#   cli_update.sh --build-dir WIN-BUILD --host-build LINUX-BUILD --case NAME [--exe QELPUPD-CLI.EXE]
# Cases:
#   success   the whole file arrives byte for byte; exit 0, the record says succeeded
#   failure   the device reports "bootmode=ERROR"; exit 1, the record says failed
#   interrupt Ctrl+C in the middle of a paced transfer (Wine turns SIGINT into CTRL_C_EVENT):
#             exit 130, whole blocks at the device, and the record counts exactly those
#   session-end  the session ends in the middle of a paced transfer: asked first, the program's
#             hidden window asks it to wait and the transfer goes on; ended all the same, the run
#             stops after whole blocks, closes the port and writes the record before the window
#             answers, with exactly what the device received
# Exit status 0 when the program behaved so.
set -euo pipefail

source "$(dirname "$0")/device_run.sh"
device_run_options "$0" src/cli/qelpupd-cli.exe "$@"
trap device_run_cleanup EXIT

size=5001; device_options=()
case $case_name in
  success) expected_exit=0; expected=succeeded/109 ;;
  failure) device_options=(--scenario bootmode-error); expected_exit=1; expected=failed/108 ;;
  # Larger than what the pseudo-terminal holds, so that the stop comes mid-transfer.
  interrupt) size=100000; device_options=(--pace); expected_exit=130; expected=closed-by-operator/null ;;
  # The process is ended from outside once it answered, as Windows ends it: any status.
  session-end) size=100000; device_options=(--pace); expected_exit=any; expected=closed-by-operator/null ;;
  *) echo "unknown case: $case_name" >&2; exit 2 ;;
esac
device_run_start 13 "$size" "${device_options[@]}" || exit 1

(cd "$work" && exec timeout 120 wine "$exe" --port "$com_name") >"$work/cli.out" 2>"$work/cli.err" &
app=$!; pids+=("$app")
if [ "$case_name" = interrupt ]; then
  wait_for 30 grep -q '^host> receiving' "$work/device.log" || fail "the transfer did not start"
  windows_pid=$(pgrep -f "^$exe --port $com_name" | head -n 1) || true
  [ -n "$windows_pid" ] && kill -INT "$windows_pid" || fail "no qelpupd-cli.exe to interrupt"
fi
if [ "$case_name" = session-end ]; then
  wait_for 30 grep -q '^host> receiving' "$work/device.log" || fail "the transfer did not start"
  end_session qelpupd-cli.exe
fi
cli_exit=0; wait "$app" || cli_exit=$?
device_run_finish
echo "--- qelpupd-cli.exe"
tr -d '\r' <"$work/cli.out"
tr -d '\r' <"$work/cli.err"

[ "$expected_exit" = any ] || [ "$cli_exit" -eq "$expected_exit" ] ||
  fail "exit status $cli_exit, not $expected_exit"
[ "$(record_field .outcome)/$(record_field .message)" = "$expected" ] ||
  fail "record $(record_field .outcome)/$(record_field .message)"
if [ "$case_name" = interrupt ] || [ "$case_name" = session-end ]; then
  sent=$(record_field .sent.bytes)
  if [ "$case_name" = interrupt ]; then
    [ "$(record_field .ended_by)/$(record_field .detail)" = signal/CTRL_C_EVENT ] ||
      fail "record ended by $(record_field .ended_by)/$(record_field .detail)"
  else
    check_session_end_record
  fi
  [ "$sent" = "${received:-none}" ] || fail "the record says $sent bytes, the device got ${received:-none}"
  [ $((sent % 200)) -eq 0 ] && [ "$sent" -lt $((size / 2)) ] ||
    fail "$sent bytes are not whole blocks of a cut transfer"
else
  ((byte_for_byte)) || fail "the device did not get the file byte for byte"
fi
[ "$(record_field .data_file.sha256)" = "$(sha256sum "$data" | cut -d' ' -f1)" ] ||
  fail "the record names other bytes"
# The device's lines reach the operator.
grep -q 'bootmode=DATAWAIT' "$work/cli.out" || fail "the device's lines were not shown"
[ $status -eq 0 ] && echo "PASSED ($case_name)"
exit $status
