#!/usr/bin/env bash
# A soak of the real programs against the device simulator: many runs, each with a scenario, a file
# size and an action of the operator or the line drawn at random, each checked afterwards for lies
# (an outcome, exit status or record that says other than what happened) and leaks (a process, a
# window or a busy port left behind, a program that spins while it waits).
#
#   scripts/soak.sh [--runs N] [--minutes M] [--seed S] [--program cli|window|both]
#                   [--build-dir DIR] [--run K] [--work DIR]
#
#   --runs N       runs to make (default 100)
#   --minutes M    start no run after M minutes (fractions allowed)
#   --seed S       the seed every run's parameters are drawn from, with the run's number (default:
#                  the date and time); printed, so that a failure can be played again exactly
#   --program P    cli (qelpupd-cli), window (qelpupd under a virtual display) or both (default)
#   --build-dir D  the build tree (default build)
#   --run K        play run K of the seed alone, and keep its folder
#   --work DIR     where the run folders go (default: a new folder under $TMPDIR or /tmp)
#
# Actions: none, Cancel (window), closing the window (window), SIGINT, SIGTERM, SIGHUP (window),
# --timeout (cli); at a moment: before the port opens, among the boot lines, during the transfer
# (paced runs make it last), after the device's last word. Scenarios: every one the simulator has,
# with hang-ups and stalls at a random byte. File sizes from 0 to 60000 bytes.
#
# Prints one line per run and the totals; each failing run's folder stays (transcript, record,
# console log, notes of what was done, screenshots of window runs) with the command that plays it
# again. Exits 1 when any run failed, 2 on a bad command line or a missing build.
set -uo pipefail
export LC_NUMERIC=C
root=$(cd "$(dirname "$0")/.." && pwd)

runs=100 minutes="" seed="" program=both build=$root/build only_run="" work=""
while (($#)); do
  case $1 in
    --runs) runs=$2; shift ;;
    --minutes) minutes=$2; shift ;;
    --seed) seed=$2; shift ;;
    --program) program=$2; shift ;;
    --build-dir) build=$2; shift ;;
    --run) only_run=$2; shift ;;
    --work) work=$2; shift ;;
    -h|--help) sed -n '2,27p' "$0"; exit 0 ;;
    *) echo "soak.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done
[[ $runs =~ ^[0-9]+$ ]] && [[ ${only_run:-1} =~ ^[1-9][0-9]*$ ]] &&
  [[ ${minutes:-1} =~ ^[0-9]+(\.[0-9]+)?$ ]] && [[ $program =~ ^(cli|window|both)$ ]] ||
  { echo "soak.sh: bad option value (see --help)" >&2; exit 2; }
[ -n "$seed" ] || seed=$(date +%Y%m%d%H%M%S)
[[ $seed =~ ^[0-9]{1,17}$ ]] || { echo "soak.sh: the seed is a number" >&2; exit 2; }
build=$(cd "$build" 2>/dev/null && pwd) || { echo "soak.sh: no build tree $build" >&2; exit 2; }
sim_bin=$build/tools/qelp-device-simulator
cli_bin=$build/src/cli/qelpupd-cli
app_bin=$build/src/app/qelpupd
for bin in "$sim_bin" "$cli_bin" "$app_bin"; do
  [ -x "$bin" ] || { echo "soak.sh: $bin is not built" >&2; exit 2; }
done

source "$root/scripts/lib/virtual_display.sh"
source "$root/scripts/lib/soak_plan.sh"
source "$root/scripts/lib/soak_run.sh"
source "$root/scripts/lib/soak_window.sh"
source "$root/scripts/lib/soak_check.sh"

if [ -n "$work" ]; then mkdir -p "$work"; else work=$(mktemp -d "${TMPDIR:-/tmp}/qelpupd-soak.XXXXXX"); fi
pids=()
xvfb_pid=""
tool_pid="" sim_pid=""
cleanup() {
  local p
  for p in "${pids[@]}" ${tool_pid:+"$tool_pid"} ${sim_pid:+"$sim_pid"}; do
    kill "$p" 2>/dev/null || true
  done
  stop_virtual_display
}
trap cleanup EXIT
trap 'exit 130' INT TERM

readonly soak_data_name=7118K0001.UPF
# The files' bytes come from a pool drawn from the seed, so a run played again sends the same file.
awk -v seed="$seed" 'BEGIN { x = seed % 2147483646 + 1
  for (i = 0; i < 131072; i++) { x = (x * 48271) % 2147483647; printf "%c", int(x / 8388608) % 256 } }' \
  > "$work/pool"

fail() { fail_reasons+=("$*"); }

one_run() {  # one_run RUN
  local run=$1
  plan_run "$seed" "$run" "$program"
  run_dir=$work/run-$run
  rm -rf "$run_dir"; mkdir -p "$run_dir"
  draw $((131072 - plan_size)); local offset=$REPLY
  tail -c +$((offset + 1)) "$work/pool" | head -c "$plan_size" > "$run_dir/$soak_data_name"
  data_sha=$(sha256sum < "$run_dir/$soak_data_name"); data_sha=${data_sha%% *}
  fail_reasons=() tool_exit=none tool_pid="" tool_reaped=0 sim_pid="" sim_exit="" sim_killed=0
  close_keys=0 settle_closes=0 signalled=0 boxes=0 probe_ticks="" probe_ms="" result_summary=""
  now_ms; run_started_ms=$REPLY
  if [ "$plan_program" = window ] && [ -z "$xvfb_pid" ]; then
    start_virtual_display "$work" || { echo "soak.sh: no virtual display" >&2; exit 2; }
    xvfb_pid=$VIRTUAL_DISPLAY_PID
  fi
  plan_describe > "$run_dir/plan"
  if [ "$plan_program" = cli ]; then drive_cli; else drive_window; fi
  check_run
  check_leaks
  now_ms; local took=$((REPLY - run_started_ms))
  local verdict=pass
  ((${#fail_reasons[@]})) && verdict=FAIL
  printf 'run %4d/%s  %s  -> %s  exit %s  %s  %d.%02ds\n' "$run" "$seed" "$(plan_describe)" "$verdict" \
    "$tool_exit" "$result_summary" $((took / 1000)) $((took % 1000 / 10))
  if [ "$verdict" = FAIL ]; then
    local reason
    for reason in "${fail_reasons[@]}"; do echo "          $reason"; done
    echo "          folder: $run_dir"
    echo "          replay: scripts/soak.sh --seed $seed --program $program --run $run --build-dir $build"
    printf '%s\n' "${fail_reasons[@]}" > "$run_dir/failures"
    return 1
  fi
  [ -n "$only_run" ] || rm -rf "$run_dir"
}

what="$runs runs"; [ -n "$only_run" ] && what="run $only_run"
echo "soak: seed $seed, program $program, $what${minutes:+, at most $minutes minutes}; folders in $work"
now_ms; soak_started_ms=$REPLY
stop_at=""
[ -n "$minutes" ] && stop_at=$(awk -v s="$soak_started_ms" -v m="$minutes" 'BEGIN { printf "%.0f", s + m * 60000 }')
passed=0 failed=0 cli_runs=0 window_runs=0
first=1 last=$runs
[ -n "$only_run" ] && first=$only_run last=$only_run
for ((run = first; run <= last; run++)); do
  if [ -n "$stop_at" ]; then now_ms; ((REPLY >= stop_at)) && break; fi
  if one_run "$run"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
  if [ "$plan_program" = cli ]; then cli_runs=$((cli_runs + 1)); else window_runs=$((window_runs + 1)); fi
done
# The virtual display goes with the soak, and nothing of it stays.
if [ -n "$xvfb_pid" ]; then
  stop_virtual_display
  if running "$xvfb_pid"; then echo "soak: the virtual display did not end"; failed=$((failed + 1)); fi
fi
now_ms; took=$((REPLY - soak_started_ms))
echo "soak: seed $seed, $cli_runs qelpupd-cli and $window_runs qelpupd runs in $((took / 1000)) s"
echo "soak: $passed passed, $failed failed"
((failed == 0)) && [ -z "$only_run" ] && rm -rf "$work"
((failed == 0))
