#!/usr/bin/env bash
# The real qelpupd-cli.exe under Wine, as a script runs it, against the device simulator on a
# pseudo-terminal that Wine sees as COM13.
#
#   cli_update.sh --build-dir WIN-BUILD --host-build LINUX-BUILD --case NAME [--exe QELPUPD-CLI.EXE]
# Cases:
#   success   the whole file arrives byte for byte; exit 0, the record says succeeded
#   failure   the device reports "bootmode=ERROR"; exit 1, the record says failed
# Exit status 0 when the program behaved so.
set -euo pipefail

exe=""; build=""; host=""; case_name=""
while (($#)); do
  case $1 in
    --build-dir) build=$2; shift ;;
    --host-build) host=$2; shift ;;
    --case) case_name=$2; shift ;;
    --exe) exe=$2; shift ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done
[ -n "$build" ] && [ -n "$host" ] && [ -n "$case_name" ] || { sed -n '2,9p' "$0"; exit 2; }
build=$(cd "$build" && pwd)
host=$(cd "$host" && pwd)
[ -n "$exe" ] || exe=$build/src/cli/qelpupd-cli.exe
source "$(dirname "$0")/device_run.sh"
trap device_run_cleanup EXIT

case $case_name in
  success) scenario=success; expected_exit=0; expected=succeeded/109 ;;
  failure) scenario=bootmode-error; expected_exit=1; expected=failed/108 ;;
  *) echo "unknown case: $case_name" >&2; exit 2 ;;
esac
device_run_start "$build" "$host" 13 5001 --scenario "$scenario" || exit 1

cli_exit=0
(cd "$work" && timeout 120 wine "$exe" --port "$com_name") \
  >"$work/cli.out" 2>"$work/cli.err" || cli_exit=$?
device_run_finish
echo "--- qelpupd-cli.exe"
tr -d '\r' <"$work/cli.out"
tr -d '\r' <"$work/cli.err"

[ "$cli_exit" -eq "$expected_exit" ] || fail "exit status $cli_exit, not $expected_exit"
((byte_for_byte)) || fail "the device did not get the file byte for byte"
[ "$(record_field .outcome)/$(record_field .message)" = "$expected" ] ||
  fail "record $(record_field .outcome)/$(record_field .message)"
[ "$(record_field .data_file.sha256)" = "$(sha256sum "$data" | cut -d' ' -f1)" ] ||
  fail "the record names other bytes"
# The device's lines reach the operator.
grep -q 'bootmode=DATAWAIT' "$work/cli.out" || fail "the device's lines were not shown"
[ $status -eq 0 ] && echo "PASSED ($case_name)"
exit $status
