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
#   stalled-interrupt  standard output is a pipe nobody reads while the device prints 5,000
#             lines: Ctrl+C still ends the run within seconds, exit 130, with its record, and
#             standard error counts the lines standard output did not take
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
  stalled-interrupt)
    device_options=(--scenario silent --extra-lines 5000); expected_exit=130
    expected=closed-by-operator/null ;;
  # The process is ended from outside once it answered, as Windows ends it: any status.
  session-end) size=100000; device_options=(--pace); expected_exit=any; expected=closed-by-operator/null ;;
  *) echo "unknown case: $case_name" >&2; exit 2 ;;
esac
device_run_start 13 "$size" "${device_options[@]}" || exit 1

out=$work/cli.out
if [ "$case_name" = stalled-interrupt ]; then
  # A reader that holds the pipe open and never reads.
  out=$work/out.fifo; mkfifo "$out"
  sleep 300 <"$out" & pids+=("$!")
fi
(cd "$work" && exec timeout 120 wine "$exe" --port "$com_name") >"$out" 2>"$work/cli.err" &
app=$!; pids+=("$app")
console_lines() { cat "$record_dir"/console-*.log 2>/dev/null | wc -l; }
case $case_name in
  interrupt)
    wait_for 30 grep -q '^host> receiving' "$work/device.log" || fail "the transfer did not start"
    interrupt_program "--port $com_name" ;;
  stalled-interrupt)
    wait_for 30 grep -q '^note: printed 5000 extra lines' "$work/device.log" ||
      fail "the device did not print its lines"
    # Every line went through the console reader: none of them waits for standard output.
    wait_for 30 test "$(console_lines)" -ge 5005 || fail "the console reader waited for standard output"
    stopped=$SECONDS
    interrupt_program "--port $com_name" ;;
  session-end)
    wait_for 30 grep -q '^host> receiving' "$work/device.log" || fail "the transfer did not start"
    end_session qelpupd-cli.exe ;;
esac
cli_exit=0; wait "$app" || cli_exit=$?
if [ "$case_name" = stalled-interrupt ]; then
  (( SECONDS - stopped <= 10 )) || fail "the run took $((SECONDS - stopped)) s to end after Ctrl+C"
  grep -q 'device lines were not written to standard output' "$work/cli.err" ||
    fail "standard error does not count the lines standard output did not take"
fi
device_run_finish
echo "--- qelpupd-cli.exe"
[ ! -f "$work/cli.out" ] || tr -d '\r' <"$work/cli.out"
tr -d '\r' <"$work/cli.err"

[ "$expected_exit" = any ] || [ "$cli_exit" -eq "$expected_exit" ] ||
  fail "exit status $cli_exit, not $expected_exit"
[ "$(record_field .outcome)/$(record_field .message)" = "$expected" ] ||
  fail "record $(record_field .outcome)/$(record_field .message)"
if [ "$case_name" = stalled-interrupt ]; then
  [ "$(record_field .ended_by)/$(record_field .detail)" = signal/CTRL_C_EVENT ] ||
    fail "record ended by $(record_field .ended_by)/$(record_field .detail)"
  [ "$(record_field .console_lines)" = 5005 ] || fail "the record counts $(record_field .console_lines) lines"
  [ $status -eq 0 ] && echo "PASSED ($case_name)"
  exit $status
elif [ "$case_name" = interrupt ] || [ "$case_name" = session-end ]; then
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
