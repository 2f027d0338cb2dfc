#!/usr/bin/env bash
# The update record of the real qelpupd, driven by scripts/run-demo.sh under Xvfb.
#
#   record_runs.sh read-only BUILD-DIR   the state folder is read-only: qelpupd says so in one line
#                                        on standard error and the update succeeds as ever
#   record_runs.sh two-ports BUILD-DIR   two qelpupd on two simulated devices at once, one state
#                                        folder: two whole records, one per device
set -euo pipefail
case_name=$1; build=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
demo=("$root/scripts/run-demo.sh" --headless --no-build --build-dir "$build" --size 3000)
work=$(mktemp -d "${TMPDIR:-/tmp}/qelpupd-record.XXXXXX")
state=$work/state
mkdir -p "$state"

case $case_name in
read-only)
  # Root writes through permission bits, so it gets a read-only file system of its own instead.
  if [ "$(id -u)" -eq 0 ]; then
    out=$(unshare -m bash -c 'mount -t tmpfs -o ro,size=64k tmpfs "$1" && shift && exec "$@"' \
          _ "$state" "${demo[@]}" --state-home "$state" --no-record-check 2>&1) || {
      echo "$out"; echo "the update did not succeed with a read-only state folder"; exit 1; }
  else
    chmod 0500 "$state"
    out=$("${demo[@]}" --state-home "$state" --no-record-check 2>&1) || {
      echo "$out"; echo "the update did not succeed with a read-only state folder"; exit 1; }
  fi
  echo "$out"
  said=$(grep -c "update record is not written" <<<"$out" || true)
  [ "$said" -eq 1 ] || { echo "expected one line about the update record, got $said"; exit 1; }
  grep -q 'qelpupd: the update record is not written: cannot create .*Read-only file system\|Permission denied' \
    <<<"$out" || { echo "the line does not say why"; exit 1; }
  ;;
two-ports)
  # Each checks its own run here, not by counting lines, which the other one adds to as well.
  "${demo[@]}" --state-home "$state" --no-record-check > "$work/first.out" 2>&1 & first=$!
  "${demo[@]}" --state-home "$state" --no-record-check > "$work/second.out" 2>&1 & second=$!
  status=0
  wait "$first" || status=1
  wait "$second" || status=1
  cat "$work/first.out" "$work/second.out"
  [ $status -eq 0 ] || { echo "an update failed"; exit 1; }
  log=$state/qelpupd/updates.log
  echo "--- $log"; cat "$log"
  [ "$(wc -l < "$log")" -eq 2 ] || { echo "expected two records"; exit 1; }
  jq -e -s 'length == 2 and all(.outcome == "succeeded" and .sent.bytes == 3000)
            and (map(.device) | unique | length) == 2
            and (map(.console_log) | unique | length) == 2' "$log" >/dev/null ||
    { echo "the records are not two whole records of two devices"; exit 1; }
  for console in $(jq -r .console_log "$log"); do
    grep -q '^Versionup succeed$' "$console" || { echo "$console lacks the device's last line"; exit 1; }
  done
  ;;
*) echo "unknown case $case_name" >&2; exit 2 ;;
esac
rm -rf "$work"
