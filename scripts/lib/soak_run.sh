# Sourced by scripts/soak.sh: one soak run's device and, for qelpupd-cli, its driving.
#
# Expects the plan (soak_plan.sh) and run_dir, sim_bin, cli_bin. A run leaves in run_dir:
#   device.log   the simulator's transcript (its first line: the terminal's path)
#   tool.out, tool.err   the program's standard output and error
#   state/       the program's XDG_STATE_HOME: the update record and console logs
#   notes        what the driver did and saw, one line each, with the time
# and sets tool_exit, sim_exit, sim_killed (the simulator had to be stopped because the port never
# opened), close_keys (keys sent that close the main window where they reach it), settle_closes
# (closes sent once nothing moved any more) and the probe_* figures.

# The programs start with Ctrl+C's signals at their defaults, as from a terminal, even where the
# soak itself was started with them ignored (by a shell that ran it in the background).
readonly soak_launch="env --default-signal=INT,QUIT"

now_ms() { local t=${EPOCHREALTIME/[.,]/}; REPLY=$((t / 1000)); }
sleep_ms() { (($1 > 0)) && sleep "$(printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)))"; return 0; }
note() { now_ms; echo "$((REPLY - run_started_ms)) ms: $*" >> "$run_dir/notes"; }

# Alive and not yet a zombie (a child that ended stays one until it is waited for).
running() {
  local stat; stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  [[ ${stat:0:1} != [ZX] ]]
}
tool_alive() { [ -n "${tool_pid:-}" ] && ((!tool_reaped)) && running "$tool_pid"; }
sim_alive() { running "$sim_pid"; }

# The lines that tell where the device is: its data request, and the end of what it will say.
readonly soak_request_re='^device> boot.*mode=DATA.*WAIT'
readonly soak_end_re='^(device> (Version|record |bootmode=ERROR|Warning)|note: (hanging up|stopped reading))'
readonly soak_silent_re='^device> Waiting for update data'

# device_said REGEX DEADLINE-MS: waits until the transcript has a line matching REGEX; gives up at
# the deadline or once the program and the simulator have both ended.
device_said() {
  now_ms; local until=$((REPLY + $2))
  for (( ; ; )); do
    grep -Eq -- "$1" "$run_dir/device.log" 2>/dev/null && return 0
    now_ms; ((REPLY >= until)) && return 1
    tool_alive || sim_alive || { grep -Eq -- "$1" "$run_dir/device.log"; return; }
    sleep 0.01
  done
}

# A device that never asks has its last word among the boot lines.
end_trigger_re() {
  if [ "$plan_scenario" = silent ]; then echo "$soak_silent_re"; else echo "$soak_end_re"; fi
}
request_trigger_re() {
  if [ "$plan_scenario" = silent ]; then echo "$soak_silent_re"; else echo "$soak_request_re"; fi
}

sim_start() {
  local linger=20000
  [ "$plan_scenario" = stall ] && linger=40000
  local args=(--data "$run_dir/$soak_data_name" --scenario "$plan_scenario"
              --boot-delay-ms "$plan_boot_ms" --idle-ms "$plan_idle_ms" --linger-ms "$linger"
              --wait-open-ms 30000)
  ((plan_pace)) && args+=(--pace)
  case $plan_scenario in
    hangup) args+=(--hangup-after "$plan_cut") ;;
    stall) args+=(--stall-after "$plan_cut") ;;
  esac
  "$sim_bin" "${args[@]}" > "$run_dir/device.log" 2> "$run_dir/device.err" &
  sim_pid=$!
  local _
  for _ in $(seq 500); do [ -s "$run_dir/device.log" ] && break; sleep 0.01; done
  sim_device=$(head -n 1 "$run_dir/device.log")
  [ -e "$sim_device" ] || { fail "the simulator did not start: $(cat "$run_dir/device.err")"; return 1; }
}

send_signal() {  # send_signal sigint|sigterm|sighup
  local name=${1#sig}
  if tool_alive; then
    # How the program takes signals, for a signal that seems to have been lost.
    local dispositions
    dispositions=$(grep -E '^Sig(Blk|Ign|Cgt)' "/proc/$tool_pid/status" 2>/dev/null | tr -s '\t\n' '  ')
    kill -s "${name^^}" "$tool_pid" 2>/dev/null && note "sent SIG${name^^} ($dispositions)" && return 0
  fi
  note "SIG${name^^} not sent: the program had ended"
}

# cpu_ticks PID: the process's user and system time so far, in clock ticks (all its threads).
cpu_ticks() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || { REPLY=; return 1; }
  local fields=(${stat##*) })
  REPLY=$((fields[11] + fields[12]))
}
# probe_idle MS: the CPU the program takes while nothing happens; sets probe_ticks and probe_ms.
probe_idle() {
  cpu_ticks "$tool_pid" || return 0
  local before=$REPLY; now_ms; local start=$REPLY
  sleep_ms "$1"
  cpu_ticks "$tool_pid" || return 0
  local after=$REPLY; now_ms
  probe_ticks=$((after - before)); probe_ms=$((REPLY - start))
  note "idle probe: $probe_ticks ticks in $probe_ms ms"
}

# wait_tool DEADLINE-MS: waits for the program to end; sets tool_exit (none when it did not end,
# and then ends it, having taken a screenshot of a window program).
wait_tool() {
  now_ms; local until=$((REPLY + $1))
  while tool_alive; do
    now_ms
    if ((REPLY >= until)); then
      fail "the program did not end"
      [ "$plan_program" = window ] && screenshot stuck
      kill -s KILL "$tool_pid" 2>/dev/null
      wait "$tool_pid" 2>/dev/null
      tool_exit=none tool_reaped=1
      return 1
    fi
    sleep 0.01
  done
  tool_exit=0
  # Quietly: a program ended by a signal is one of the outcomes looked at.
  wait "$tool_pid" 2>/dev/null || tool_exit=$?
  tool_reaped=1
  note "the program ended with $tool_exit"
}

# After the program: a simulator whose port was opened must end by itself, having seen the close;
# one whose port never opened still waits for it, and is stopped here. The simulator looks at the
# line's settings every 20 ms, and the raw mode a program set stays after it closed: a port open
# for a few milliseconds only is noticed a little later.
finish_simulator() {
  sim_killed=0
  device_said '^note: port opened' 300
  if ! grep -q '^note: port opened' "$run_dir/device.log"; then
    sim_killed=1
    kill -s TERM "$sim_pid" 2>/dev/null
  fi
  local _
  for _ in $(seq 500); do sim_alive || break; sleep 0.01; done
  if sim_alive; then
    fail "the simulator did not end after the program had ended"
    kill -s TERM "$sim_pid" 2>/dev/null
  fi
  sim_exit=0
  wait "$sim_pid" || sim_exit=$?
}

# The run's deadline for the program to end: its boot lines, a paced transfer, a write that can
# wait the port's write time-out of 10 s, and room for a loaded machine.
run_deadline_ms() {
  local ms=$((plan_boot_ms * 8 + 30000))
  ((plan_pace)) && ms=$((ms + plan_size * 1000 / soak_line_rate))
  REPLY=$ms
}

drive_cli() {
  sim_start || return
  local args=()
  [ "$plan_action" = timeout ] &&
    args+=(--timeout "$(printf '%d.%03d' $((plan_timeout_ms / 1000)) $((plan_timeout_ms % 1000)))")
  (cd "$run_dir" && QELPUPD_COM1=$sim_device XDG_STATE_HOME=$run_dir/state exec $soak_launch "$cli_bin" "${args[@]}") \
    > "$run_dir/tool.out" 2> "$run_dir/tool.err" &
  tool_pid=$!
  case $plan_action in
    sigint|sigterm)
      case $plan_moment in
        start) ;;
        boot) device_said '^note: port opened' 20000 ;;
        transfer) device_said "$(request_trigger_re)" 20000 ;;
        end) device_said "$(end_trigger_re)" 30000 ;;
      esac
      # A program that waits for a device that says nothing more takes no CPU meanwhile.
      if [ "$plan_moment" = end ] && [[ $plan_scenario =~ ^(silent|stall)$ ]]; then probe_idle 500; fi
      sleep_ms "$plan_delay_ms"
      send_signal "$plan_action" ;;
  esac
  run_deadline_ms
  wait_tool "$REPLY"
  finish_simulator
}
