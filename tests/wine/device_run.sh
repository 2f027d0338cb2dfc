# shellcheck shell=bash
# Sourced by the end-to-end scripts that run a real Windows program under Wine against the device
# simulator (a Linux program) on a pseudo-terminal that Wine sees as a COM port.
#
#   device_run_options SCRIPT EXE-IN-BUILD ARGUMENTS…
#       Takes the scripts' options: --build-dir WIN-BUILD ($build), --host-build LINUX-BUILD
#       ($host), --case NAME ($case_name), --exe PROGRAM ($exe; default WIN-BUILD/EXE-IN-BUILD),
#       --shot FILE ($shot). Without the first three it shows SCRIPT's opening comment and exits.
#   device_run_start COM-NUMBER[,COM-NUMBER…] SIZE [SIMULATOR-OPTION…]
#       Makes a work folder ($work) with a data file of SIZE random bytes ($data), uses the Wine
#       prefix already running (build-windows.sh starts one for ctest) or starts one for $build,
#       empties the record folder ($record_dir) and starts one simulator ($sim) for the ports
#       COM<COM-NUMBER> (the first is $com_name), its transcript in $work/device.log.
#   interrupt_program PATTERN
#       Ctrl+C to the Windows program whose command line begins with "$exe PATTERN" (Wine turns
#       SIGINT into CTRL_C_EVENT).
#   device_run_finish
#       Waits for the simulator, then sets $received (the bytes it got) and $byte_for_byte.
#   record_field JQ-FILTER
#       The field of the one record line.
#   end_session PROGRAM.EXE
#       Ends the session under the program's transfer: asked as `wineboot --end-session` asks, the
#       program must ask it to wait and go on; then ended as Windows ends it once the user chose
#       to go on all the same (wine_end_session.exe). Waits for the program ($app) to end.
#   check_session_end_record
#       The record names the session's end and was written before the program answered it, and
#       the device saw the port close.
#   fail WHY…
#       Notes a failure of the case ($status becomes 1).
# Clean-up (the simulator, the program in $app, a prefix started here) runs at exit.

lib=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib" && pwd)
# shellcheck source=scripts/lib/operator.sh
source "$lib/operator.sh"
# shellcheck source=scripts/lib/wine_env.sh
source "$lib/wine_env.sh"

status=0
pids=()
own_prefix=0
fail() { echo "FAILED (${case_name:-}): $*"; status=1; }

device_run_options() {
  local script=$1 default=$2
  shift 2
  exe=""; build=""; host=""; case_name=""; shot=""
  while (($#)); do
    case $1 in
      --build-dir) build=$2; shift ;;
      --host-build) host=$2; shift ;;
      --case) case_name=$2; shift ;;
      --exe) exe=$2; shift ;;
      --shot) shot=$2; shift ;;
      *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
    shift
  done
  if [ -z "$build" ] || [ -z "$host" ] || [ -z "$case_name" ]; then
    sed -n '2,/^set /p' "$script" | sed '$d'
    exit 2
  fi
  build=$(cd "$build" && pwd)
  host=$(cd "$host" && pwd)
  [ -n "$exe" ] || exe=$build/$default
}

device_run_cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  if ((own_prefix)); then wine_env_stop; fi
  if [ -n "${work:-}" ]; then rm -rf "$work"; fi
}

device_run_start() {
  local numbers=$1 size=$2 number link links=()
  shift 2
  work=$(mktemp -d "${TMPDIR:-/tmp}/qelpupd-wine.XXXXXX")
  data=$work/7118K0001.UPF
  head -c "$size" /dev/urandom >"$data"
  if [ -z "${WINEPREFIX:-}" ]; then
    wine_env_start "$build" || return 1
    own_prefix=1
  fi
  record_dir=$(wine_env_local_appdata)/QelpUpd
  rm -rf "$record_dir"
  com_name=COM${numbers%%,*}
  for number in ${numbers//,/ }; do
    link=$WINEPREFIX/dosdevices/com$number
    links+=(--link "$link")
  done
  # The links are made together: the last one there means all are.
  "$host/tools/qelp-device-simulator" --data "$data" "${links[@]}" --linger-ms 10000 "$@" \
    >"$work/device.log" 2>&1 &
  sim=$!
  pids+=("$sim")
  wait_for 30 test -L "$link" || {
    echo "the simulator did not start:"
    cat "$work/device.log"
    return 1
  }
}

interrupt_program() {
  local windows_pid
  windows_pid=$(pgrep -f "^$exe $1" | head -n 1) || true
  [ -n "$windows_pid" ] && kill -INT "$windows_pid" || fail "no ${exe##*/} to interrupt"
}

device_run_finish() {
  wait "$sim" || true
  received=$(sed -n 's/^host> received \([0-9]*\) bytes.*/\1/p' "$work/device.log" | head -n 1)
  byte_for_byte=0
  if grep -q '^result: match' "$work/device.log"; then byte_for_byte=1; fi
  echo "--- what the device saw"
  tail -n +2 "$work/device.log"
  if [ -f "$record_dir/updates.log" ]; then
    echo "--- the record"
    cat "$record_dir/updates.log"
  fi
  local lines=0
  if [ -f "$record_dir/updates.log" ]; then lines=$(wc -l <"$record_dir/updates.log"); fi
  [ "$lines" -eq 1 ] || fail "$lines record lines, not 1"
}

record_field() { jq -r "$1" "$record_dir/updates.log" 2>/dev/null; }

end_session() {
  local program=$1
  # Wine gives up the whole end at the first program that asks to wait, and says so.
  if wine wineboot --end-session >"$work/wineboot.log" 2>&1; then
    fail "the session's end went ahead during the transfer"
  fi
  if program_ended; then fail "$program ended although it asked the session to wait"; fi
  wine "$build/tests/wine/wine_end_session.exe" "$program" >"$work/end_session.log" 2>&1 ||
    fail "no window of $program heard the session's end"
  echo "--- the session's end"
  tr -d '\r' <"$work/end_session.log"
  wait_for 30 program_ended || fail "$program did not end with the session"
}

check_session_end_record() {
  [ "$(record_field .ended_by)/$(record_field .detail)" = signal/WM_ENDSESSION ] ||
    fail "record ended by $(record_field .ended_by)/$(record_field .detail)"
  # Both in local time with milliseconds: the record's end is the earlier or the same.
  local answered recorded
  answered=$(sed -n 's/^returned //p' "$work/end_session.log" | tr -d '\r')
  recorded=$(record_field .end | cut -c1-23)
  if [ -z "$answered" ] || [[ "$recorded" > "$answered" ]]; then
    fail "recorded at $recorded, after the answer to the session's end at ${answered:-?}"
  fi
  grep -q 'closed the port' "$work/device.log" || fail "the device did not see the port close"
}
