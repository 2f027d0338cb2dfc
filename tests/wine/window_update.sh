#!/usr/bin/env bash
# The real qelpupd.exe under Wine on a virtual display, driven by keys as an operator would,
# against the device simulator (a Linux program) on a pseudo-terminal that Wine sees as COM12.
#
#   window_update.sh --build-dir WIN-BUILD --host-build LINUX-BUILD --case NAME [--shot FILE]
# Cases:
#   success   the whole file arrives byte for byte, message 109, the program ends by itself with 0
#   failure   the device reports "record header": message 108, the window stays with its log;
#             closed by Esc, the program ends with 1
#   cancel    Esc in the progress dialog in the middle of a paced transfer: sending stops after
#             whole blocks, the record counts exactly what the device received
# Each case checks the update record under the prefix's LOCALAPPDATA\QelpUpd. --shot keeps a
# screenshot of the outcome box over the main window. Exit status 0 when the program behaved so.
set -euo pipefail

build=""; host=""; case_name=""; shot=""
while (($#)); do
  case $1 in
    --build-dir) build=$2; shift ;;
    --host-build) host=$2; shift ;;
    --case) case_name=$2; shift ;;
    --shot) shot=$2; shift ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done
[ -n "$build" ] && [ -n "$host" ] && [ -n "$case_name" ] || { sed -n '2,14p' "$0"; exit 2; }
build=$(cd "$build" && pwd)
host=$(cd "$host" && pwd)
lib=$(cd "$(dirname "$0")/../../scripts/lib" && pwd)
source "$lib/virtual_display.sh"
source "$lib/operator.sh"
source "$lib/wine_env.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/qelpupd-wine.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wine_env_stop
  stop_virtual_display
}
trap cleanup EXIT
status=0
fail() { echo "FAILED ($case_name): $*"; status=1; }

case $case_name in
  success) size=3001; device_options=() ;;
  failure) size=3001; device_options=(--scenario record-header) ;;
  cancel) size=20000; device_options=(--pace) ;;
  *) echo "unknown case: $case_name" >&2; exit 2 ;;
esac
data=$work/7118K0001.UPF
head -c "$size" /dev/urandom > "$data"

start_virtual_display "$work" || exit 1
wine_env_start "$build" || exit 1
record_dir=$(wine_env_local_appdata)/QelpUpd
rm -rf "$record_dir"
com=$WINEPREFIX/dosdevices/com12
"$host/tools/qelp-device-simulator" --data "$data" --link "$com" "${device_options[@]}" \
  > "$work/device.log" 2>&1 &
sim=$!; pids+=("$sim")
wait_for 30 test -L "$com" || { echo "the simulator did not start:"; cat "$work/device.log"; exit 1; }

(cd "$work" && QELPUPD_COM1=COM12 exec wine "$build/src/app/qelpupd.exe") > "$work/qelpupd.log" 2>&1 &
app=$!; pids+=("$app")

port_dialog=$(find_window 60 "^通信ポートの選択$") || { echo "no port dialog"; cat "$work/qelpupd.log"; exit 1; }
main=$(find_window 30 "^QelpUpd$" "$port_dialog") || { echo "no main window"; exit 1; }
press "$port_dialog" Return || fail "the port dialog took no Enter"
wait_for 30 grep -q '^note: port opened' "$work/device.log" || fail "the port did not open"

if [ "$case_name" = cancel ]; then
  progress=$(find_window 30 "^処理中" "$main") || fail "no progress dialog"
  wait_for 30 grep -q '^host> receiving' "$work/device.log" || fail "the transfer did not start"
  press "$progress" Escape || fail "the progress dialog took no Esc"
  window_gone 30 "^処理中" "$progress" || fail "the transfer did not stop"
fi

box=$(find_window 60 "^qelpupd$" "$main" "$port_dialog") || fail "no outcome box"
if [ -n "$shot" ] && [ -n "${box:-}" ]; then import -window root "$shot" 2>/dev/null || true; fi
[ -n "${box:-}" ] && press "$box" Return
if [ "$case_name" = failure ]; then
  # Message 108: the window stays with the log until the operator closes it.
  if wait_for 2 program_ended; then fail "the window did not stay after the failure"; fi
  press "$main" Escape || fail "the main window took no Esc"
fi
wait_for 30 program_ended || fail "qelpupd did not end"
app_exit=0; wait "$app" || app_exit=$?
wait "$sim" || true

expected_exit=0
[ "$case_name" = failure ] && expected_exit=1
[ "$app_exit" -eq "$expected_exit" ] || fail "qelpupd ended with status $app_exit, not $expected_exit"
record=$record_dir/updates.log
[ -f "$record" ] && [ "$(wc -l < "$record")" -eq 1 ] || fail "not one record line in $record"
field() { jq -r "$1" "$record" 2>/dev/null; }
received=$(sed -n 's/^host> received \([0-9]*\) bytes.*/\1/p' "$work/device.log" | head -n 1)
case $case_name in
  success)
    grep -q '^result: match' "$work/device.log" || fail "the device did not get the file byte for byte"
    [ "$(field .outcome)/$(field .message)" = succeeded/109 ] || fail "record $(field .outcome)"
    [ "$(field .data_file.sha256)" = "$(sha256sum "$data" | cut -d' ' -f1)" ] ||
      fail "the record names other bytes" ;;
  failure)
    [ "$(field .outcome)/$(field .detail)" = "failed/record header" ] || fail "record $(field .outcome)" ;;
  cancel)
    [ "$(field .transfer)" = cancelled ] || fail "transfer $(field .transfer)"
    sent=$(field .sent.bytes)
    [ "$sent" = "${received:-none}" ] || fail "the record says $sent bytes, the device got ${received:-none}"
    [ $((sent % 200)) -eq 0 ] && [ "$sent" -lt "$size" ] || fail "$sent bytes are not whole blocks of a cut transfer" ;;
esac

echo "--- what the device saw"; tail -n +2 "$work/device.log"
[ -f "$record" ] && { echo "--- the record"; cat "$record"; }
[ $status -eq 0 ] && echo "PASSED ($case_name)"
exit $status
