#!/usr/bin/env bash
# Port names as a station PC's Windows lists them, under Wine: the test fills the registry's list
# of serial ports (HARDWARE\DEVICEMAP\SERIALCOMM) with COM3 to COM12, of which COM3 is a Bluetooth
# link (device object \Device\BthModem0), and a virtual port CNCA0; Wine's own COM1 is taken out
# meanwhile. Only the port the device simulator is linked to opens.
#
#   port_names.sh --build-dir WIN-BUILD --host-build LINUX-BUILD --case NAME
# Cases:
#   cli-upper     qelpupd-cli.exe --port COM7 reaches the device on COM7, not the 7th port
#   cli-lower     --port com7 the same, recorded as COM7
#   cli-variable  QELPUPD_COM1=COM7 with the default port COM1: the device on COM7, recorded as
#                 COM1 on \\.\COM7
#   window-com1   qelpupd.exe: COM1 of the port dialog is COM4, the first port that is no Bluetooth
#                 link; the dialog comes up with the keyboard focus; the update reaches the device
#   list          --list-ports of both programs: COM1 and COM2 are COM4 and COM5, CNCA0 comes
#                 after the COM ports, COM3 shows as skipped
# Exit status 0 when the programs behaved so.
set -euo pipefail

source "$(dirname "$0")/device_run.sh"
device_run_options "$0" src/cli/qelpupd-cli.exe "$@"
# shellcheck source=scripts/lib/virtual_display.sh
source "$lib/virtual_display.sh"

serial_comm() {  # serial_comm FILE: imports a list of values for the key
  { printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\n'
    cat; } >"$work/serialcomm.reg"
  wine regedit /S "$work/serialcomm.reg" >/dev/null 2>&1
}
station() {
  echo '"\\Device\\Serial0"=-'
  echo '"\\Device\\BthModem0"="COM3"'
  for n in 4 5 6 7 8 9 10 11 12; do echo "\"\\\\Device\\\\QelpStation$n\"=\"COM$n\""; done
  echo '"\\Device\\QelpVirtual0"="CNCA0"'
}
restore() {
  echo '"\\Device\\Serial0"="COM1"'
  echo '"\\Device\\BthModem0"=-'
  for n in 4 5 6 7 8 9 10 11 12; do echo "\"\\\\Device\\\\QelpStation$n\"=-"; done
  echo '"\\Device\\QelpVirtual0"=-'
}
cleanup() {
  if [ -n "${work:-}" ] && [ -n "${WINEPREFIX:-}" ]; then restore | serial_comm || true; fi
  device_run_cleanup
  stop_virtual_display
}
trap cleanup EXIT

cli_exe=$build/src/cli/qelpupd-cli.exe
window_exe=$build/src/app/qelpupd.exe
com=7
case $case_name in
  cli-upper) port_args=(--port COM7); variable=""; expected=COM7 ;;
  cli-lower) port_args=(--port com7); variable=""; expected=COM7 ;;
  cli-variable) port_args=(); variable=COM7; expected=COM1 ;;
  window-com1) com=4 ;;
  list) ;;
  *) echo "unknown case: $case_name" >&2; exit 2 ;;
esac
device_run_start "$com" 3001 || exit 1
station | serial_comm || { echo "SERIALCOMM could not be filled"; exit 1; }

case $case_name in
  cli-*)
    cli_exit=0
    (cd "$work" && QELPUPD_COM1=$variable exec timeout 120 wine "$cli_exe" "${port_args[@]}") \
      >"$work/cli.out" 2>"$work/cli.err" || cli_exit=$?
    device_run_finish
    tr -d '\r' <"$work/cli.err"
    [ "$cli_exit" -eq 0 ] || fail "exit status $cli_exit, not 0"
    ((byte_for_byte)) || fail "the device on COM$com did not get the file"
    [ "$(record_field .port) $(record_field .device)" = "$expected \\\\.\\COM7" ] ||
      fail "recorded as port $(record_field .port) on $(record_field .device)" ;;
  window-com1)
    if [ -z "${DISPLAY:-}" ]; then start_virtual_display "$work" || exit 1; fi
    (cd "$work" && QELPUPD_COM1="" exec wine "$window_exe") >"$work/qelpupd.log" 2>&1 &
    app=$!; pids+=("$app")
    port_dialog=$(find_window 60 "^通信ポートの選択$") || { echo "no port dialog"; cat "$work/qelpupd.log"; exit 1; }
    # Nothing gave it the focus but the program itself.
    wait_for 10 test "$(xdotool getwindowfocus 2>/dev/null)" = "$port_dialog" ||
      fail "the port dialog came up without the keyboard focus"
    press "$port_dialog" Return || fail "the port dialog took no Enter"
    main=$(find_window 30 "^QelpUpd$" "$port_dialog") || { echo "no main window"; exit 1; }
    box=$(find_window 60 "^qelpupd$" "$main" "$port_dialog") || fail "no outcome box"
    [ -n "${box:-}" ] && press "$box" Return
    wait_for 30 program_ended || fail "qelpupd did not end"
    device_run_finish
    ((byte_for_byte)) || fail "COM1 of the dialog did not reach the device on COM4"
    [ "$(record_field .port) $(record_field .device)" = 'COM1 \\.\COM4' ] ||
      fail "recorded as port $(record_field .port) on $(record_field .device)" ;;
  list)
    for exe in "$cli_exe" "$window_exe"; do
      QELPUPD_COM1="" QELPUPD_COM2="" wine "$exe" --list-ports 2>&1 | tr -d '\r' >"$work/list"
      echo "--- $(basename "$exe") --list-ports"
      cat "$work/list"
      grep -qx 'COM1: COM4 — serial port' "$work/list" || fail "$exe: COM1 is not COM4"
      grep -qx 'COM2: COM5 — serial port' "$work/list" || fail "$exe: COM2 is not COM5"
      sed -n '/^Skipped/,$p' "$work/list" | grep -qx '  COM3 — serial port, a Bluetooth link' ||
        fail "$exe: the Bluetooth link is not shown as skipped"
      sed -n '/^Serial ports found/,/^Skipped/p' "$work/list" | grep -v -e '^Skipped' -e '^Serial' |
        tail -n 1 | grep -qx '  CNCA0 — serial port' || fail "$exe: CNCA0 is not last among the ports"
    done ;;
esac

[ $status -eq 0 ] && echo "PASSED ($case_name)"
exit $status
