#!/usr/bin/env bash
# The real qelpupd-cli.exe --station under Wine, against one device simulator playing a line of
# devices on each of two pseudo-terminals that Wine sees as COM15 and COM16.
#
#   station_update.sh --build-dir WIN-BUILD --host-build LINUX-BUILD --case NAME [--exe QELPUPD-CLI.EXE]
# Cases:
#   line       two devices on each port, the second of each port's line failing: --runs 2 ends the
#              station by itself with exit 1; four records with those outcomes; every device got
#              the file byte for byte
#   interrupt  Ctrl+C while both ports send (Wine turns SIGINT into CTRL_C_EVENT): exit 130, one
#              record per port, whole blocks at each device, and each record counts exactly those
# Exit status 0 when the program behaved so.
set -euo pipefail

source "$(dirname "$0")/device_run.sh"
device_run_options "$0" src/cli/qelpupd-cli.exe "$@"
trap device_run_cleanup EXIT

size=5001; device_options=(--scenario success,bootmode-error --between-ms 200); station_options=(--runs 2)
case $case_name in
  line) expected_exit=1; expected="succeeded/device failed/device" ;;
  # Larger than what the pseudo-terminal holds, so that the stop comes mid-transfer.
  interrupt) size=100000; device_options=(--pace); station_options=(); expected_exit=130
             expected="closed-by-operator/signal" ;;
  *) echo "unknown case: $case_name" >&2; exit 2 ;;
esac
# One simulator for both ports, its transcript in $work/device.log with one JSON result line per
# device.
device_run_start 15,16 "$size" "${device_options[@]}" || exit 1
# What the device on the port of this COM link got: its JSON result lines.
device_results() { grep '^{' "$work/device.log" | jq -c --arg link "$WINEPREFIX/dosdevices/${1,,}" \
  'select(.port == $link)'; }

(cd "$work" && exec timeout 120 wine "$exe" --station --json --port COM15 --port COM16 \
  "${station_options[@]}") >"$work/cli.out" 2>"$work/cli.err" &
app=$!; pids+=("$app")
# Both ports send: each has its first figures out.
both_sending() {
  grep -q '"port":"COM15","run":1,"percent"' "$work/cli.out" &&
    grep -q '"port":"COM16","run":1,"percent"' "$work/cli.out"
}
if [ "$case_name" = interrupt ]; then
  wait_for 60 both_sending || fail "the transfers did not start"
  interrupt_program --station
fi
cli_exit=0; wait "$app" || cli_exit=$?
wait "$sim" || true
echo "--- what the devices saw"
cat "$work/device.log"
echo "--- the records"
cat "$record_dir/updates.log" || true
echo "--- qelpupd-cli.exe"
tr -d '\r' <"$work/cli.out"
tr -d '\r' <"$work/cli.err"

[ "$cli_exit" -eq "$expected_exit" ] || fail "exit status $cli_exit, not $expected_exit"
for com in COM15 COM16; do
  runs=$(jq -r --arg port "$com" 'select(.port == $port) | "\(.outcome)/\(.ended_by)"' \
    "$record_dir/updates.log" | paste -sd' ')
  [ "$runs" = "$expected" ] || fail "$com: records \"$runs\", not \"$expected\""
done
if [ "$case_name" = interrupt ]; then
  for com in COM15 COM16; do
    sent=$(jq -r --arg port "$com" 'select(.port == $port) | .sent.bytes' "$record_dir/updates.log")
    got=$(device_results "$com" | jq -r .bytes)
    [ "$sent" = "$got" ] || fail "$com: the record says $sent bytes, the device got $got"
    [ $((sent % 200)) -eq 0 ] || fail "$com: $sent bytes are not whole blocks"
  done
else
  whole=$(for com in COM15 COM16; do device_results "$com"; done | jq -s 'map(select(.whole)) | length')
  [ "$whole" -eq 4 ] || fail "$whole devices, not 4, got the file byte for byte"
fi
# The JSON end of each run carries its record line.
[ "$(tr -d '\r' <"$work/cli.out" | jq -c 'select(.event == "run-ended") | .record' | sort)" = \
  "$(jq -c . "$record_dir/updates.log" | sort)" ] || fail "the run ends do not carry the records"
[ $status -eq 0 ] && echo "PASSED ($case_name)"
exit $status
