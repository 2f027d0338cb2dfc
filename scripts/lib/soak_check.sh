# Sourced by scripts/soak.sh: after a run, what the program reported (exit status, update record,
# last line) against what really happened (the simulator's transcript, the data file sent).
# check_run adds a reason with `fail` for every lie or leak found.

# The device's keyword for each scenario that ends with one.
scenario_keyword() {
  case $1 in
    success|twice|noise) echo "Versionup succeed" ;;
    checksum-error) echo "record end check sum error" ;;
    warning) echo "Warning! application" ;;
    record-header) echo "record header" ;;
    bootmode-error) echo "bootmode=ERROR" ;;
  esac
}
readonly soak_success_said_re='^device> (Versionup succeed|record end check sum error|Warning! application|Version\\x80up succ\\x00eed)'
readonly soak_failure_said_re='^device> (record header|bootmode=ERROR)'

signal_number() { case $1 in sighup) echo 1 ;; sigint) echo 2 ;; sigterm) echo 15 ;; esac; }

# Sets the r_* variables from the record's one line.
read_record() {
  local fields
  # Taken whole before it is split, so that jq has ended by the time the run's processes are looked at.
  fields=$(jq -r '[.outcome, .ended_by, (.detail // "null"), .transfer, .sent.bytes, .sent.blocks,
            .sent.remainder, .sent.block_size, .uploads, (.data_file.length // "null"),
            (.data_file.sha256 // "null"), (.message // "null"), (.console_log // ""),
            .console_lines, (.last_line // "")] | map(tostring) | join("\u001f")' "$1" 2>/dev/null)
  IFS=$'\x1f' read -r r_outcome r_ended_by r_detail r_transfer r_bytes r_blocks r_remainder \
    r_block_size r_uploads r_length r_sha r_message r_console r_lines r_last <<< "$fields"
}

check_exit_status() {
  local want
  if ((records == 0)); then
    case $plan_program/$plan_action/$plan_moment in
      cli/sig*/start | window/sig*/port-dialog)
        # Before the port opened the signal ends the program at once; the cli has noted it only
        # once its handlers are in, and then opens the port and records the stop.
        [ "$tool_exit" = $((128 + $(signal_number "$plan_action"))) ] ||
          { [ "$plan_program" = cli ] && [ "$tool_exit" = 130 ]; } ||
          fail "exit status $tool_exit after $plan_action before the port opened" ;;
      *) fail "exit status $tool_exit and no record" ;;
    esac
    return
  fi
  case $plan_program/$r_outcome/$r_ended_by in
    */succeeded/*) want=0 ;;
    */failed/*) want=1 ;;
    window/closed-by-operator/*) want=1 ;;
    cli/closed-by-operator/signal) want=130 ;;
    cli/closed-by-operator/timeout) want=3 ;;
    *) want="none (outcome $r_outcome, ended by $r_ended_by)" ;;
  esac
  [ "$tool_exit" = "$want" ] || fail "exit status $tool_exit, not $want for $r_outcome/$r_ended_by"
  if [ "$plan_program" = cli ]; then
    local last want_line
    last=$(tail -n 1 "$run_dir/tool.err")
    case $tool_exit in
      0) want_line="update succeeded" ;;
      1) want_line="update failed" ;;
      3) want_line="timed out" ;;
      130) want_line="interrupted" ;;
    esac
    [[ $last == "qelpupd-cli: ${want_line:-?}"* ]] || fail "the last line says: $last"
  fi
}

# What decided the outcome must be something that happened.
check_cause() {
  local keyword
  keyword=$(scenario_keyword "$plan_scenario")
  case $r_outcome/$r_ended_by in
    succeeded/device)
      grep -Eq "$soak_success_said_re" "$run_dir/device.log" ||
        fail "a success the device never reported"
      [ "$r_transfer" != none ] && ((r_uploads >= 1)) || fail "a success without an upload" ;;
    failed/device)
      grep -Eq "$soak_failure_said_re" "$run_dir/device.log" ||
        fail "a failure word the device never said" ;;
    failed/hang-up)
      # The device hung up in its scenario, or left after lingering with the port open.
      grep -Eq '^note: (hanging up|the port is still open)' "$run_dir/device.log" ||
        fail "a hang-up the device never did" ;;
    closed-by-operator/signal)
      [[ $plan_action == sig* ]] && [ "$r_detail" = "${plan_action^^}" ] ||
        fail "ended by signal $r_detail, but the action was $plan_action" ;;
    closed-by-operator/timeout)
      [ "$plan_action" = timeout ] || fail "ended by a time-out that was never given" ;;
    closed-by-operator/operator)
      [ "$plan_program" = window ] && ((close_keys)) || fail "ended by an operator who did nothing" ;;
    *) fail "outcome $r_outcome, ended by $r_ended_by ($r_detail)" ;;
  esac
  local message=null
  case $r_outcome in succeeded) message=109 ;; failed) message=108 ;; esac
  [ "$r_message" = "$message" ] || fail "message $r_message for $r_outcome"
  if [ "$r_ended_by" = device ] && [ "$r_detail" != "$keyword" ]; then
    fail "the record names \"$r_detail\"; the device's word was \"$keyword\""
  fi
  # Nothing but the device ended these runs: its word stands.
  local allowed=""
  if [ "$plan_action" = none ] || [ "$plan_action" = cancel ]; then
    case $plan_scenario in
      success|twice|noise|checksum-error|warning) allowed="succeeded/device" ;;
      record-header|bootmode-error) allowed="failed/device" ;;
      hangup) allowed="failed/hang-up"; [ "$plan_action" = cancel ] && allowed+=" closed-by-operator/operator" ;;
      silent|stall) allowed="closed-by-operator/operator" ;;
    esac
    # An Esc meant for Cancel that comes as the upload ends reaches the main window, and closes it.
    [ "$plan_action" = cancel ] && [ "$r_transfer" != cancelled ] && allowed+=" closed-by-operator/operator"
    [[ " $allowed " == *" $r_outcome/$r_ended_by "* ]] ||
      fail "$r_outcome/$r_ended_by where only the device ended the run (expected $allowed)"
  fi
  # A key meant for Cancel or for the main window answers a box that has just come up instead.
  if [ "$plan_program" = window ] && ((!signalled && !close_keys)); then
    case $r_outcome in
      succeeded) ((boxes >= 1)) && ((!settle_closes)) ||
        fail "after its success the window did not show the box and end by itself" ;;
      failed) ((boxes >= 1)) || fail "a failure without a box" ;;
    esac
  fi
}

# The record's figures against the file and what the simulator received.
check_counts() {
  local size=$plan_size
  [ "$r_block_size" = 200 ] || fail "block size $r_block_size"
  ((r_bytes == r_blocks * 200 + r_remainder)) ||
    fail "sent $r_bytes bytes is not $r_blocks blocks and $r_remainder"
  case $r_transfer in
    complete) ((r_bytes == size)) || fail "a complete transfer of $r_bytes of $size bytes" ;;
    cancelled|write-failed|hung-up)
      ((r_remainder == 0 && r_bytes < size)) ||
        fail "a $r_transfer transfer of $r_bytes bytes ($r_remainder after the blocks) of $size" ;;
    none) ((r_bytes == 0 && r_uploads == 0)) || fail "no transfer, but $r_bytes bytes and $r_uploads uploads" ;;
    *) fail "transfer $r_transfer" ;;
  esac
  [ "$r_transfer" = cancelled ] && [[ ! $plan_action =~ ^(cancel|sigint|sigterm|sighup|timeout)$ ]] &&
    fail "a transfer cancelled by nobody"
  if [ "$r_transfer" = none ]; then
    [ "$r_length/$r_sha" = null/null ] || fail "no transfer, but the record names $r_length bytes $r_sha"
  else
    [ "$r_length" = "$size" ] || fail "the record's length $r_length, the file's $size"
    [ "$r_sha" = "$data_sha" ] || fail "the record's SHA-256 is not the file's"
  fi

  local received
  mapfile -t received < <(sed -n 's/^host> received \([0-9]*\) bytes.*/\1/p' "$run_dir/device.log")
  if ((r_uploads > ${#received[@]})); then
    fail "$r_uploads uploads, but the device asked ${#received[@]} times"
  elif ((r_uploads >= 1)); then
    local got=${received[r_uploads - 1]}
    if [[ $plan_scenario =~ ^(hangup|stall)$ ]] && ((r_uploads == 1)) &&
       grep -Eq '^note: (hanging up|stopped reading)' "$run_dir/device.log"; then
      # Bytes handed to the pseudo-terminal count as sent, though the device read only up to its
      # cut; and the record counts whole blocks, while part of the block that the cut broke off
      # may have reached the device.
      ((got <= r_bytes + 199)) || fail "the device received $got bytes, the record says $r_bytes went out"
      ((r_bytes - got <= soak_pty_buffer * 3 / 2)) ||
        fail "the record says $r_bytes went out, the device stopped at $got"
    else
      ((got == r_bytes)) || fail "the record says $r_bytes bytes went out, the device received $got"
    fi
  fi
  # Requests that went unanswered got nothing.
  local i
  for ((i = r_uploads; i < ${#received[@]}; i++)); do
    ((received[i] == 0)) || fail "transfer $((i + 1)): ${received[i]} bytes nobody's upload sent"
  done
  # What arrived is the file's beginning: a mismatch only where a transfer stopped short.
  local result at which
  result=$(sed -n 's/^result: //p' "$run_dir/device.log")
  if [[ $result =~ ^mismatch\ at\ byte\ ([0-9]+)(\ in\ transfer\ ([0-9]+))?$ ]]; then
    at=${BASH_REMATCH[1]} which=${BASH_REMATCH[3]:-1}
    [ "${received[which - 1]:-}" = "$at" ] ||
      fail "what arrived is not the file's beginning: $result, ${received[which - 1]:-no} bytes received"
  fi
  grep -q 'arrived unasked' "$run_dir/device.log" && fail "bytes arrived that the device never asked for"
  if [ "$plan_action" = none ] && [[ ! $plan_scenario =~ ^(hangup|stall|silent)$ ]]; then
    [ "$sim_exit" = 0 ] && [[ $result == match* ]] ||
      fail "the device's verdict: $result (status $sim_exit)"
  fi
}

check_console_log() {
  [ -f "$r_console" ] || { fail "no console log $r_console"; return; }
  local lines
  lines=$(wc -l < "$r_console")
  ((lines == r_lines)) || fail "the console log has $lines lines, the record says $r_lines"
  [ "$r_lines" = 0 ] || [ "$(tail -n 1 "$r_console")" = "$r_last" ] ||
    fail "the record's last line is not the console log's"
  [ "$r_outcome" != succeeded ] || grep -qF -- "$r_detail" "$r_console" ||
    fail "the console log lacks the success line"
}

check_run() {
  local opened=0 log=$run_dir/state/qelpupd/updates.log
  grep -q '^note: port opened' "$run_dir/device.log" && opened=1
  records=0
  [ -f "$log" ] && records=$(wc -l < "$log")
  if ((opened && records != 1)); then fail "the port opened, and $records record lines"; fi
  if ((!opened && records != 0)); then fail "the port never opened, and $records record lines"; fi
  [ "$tool_exit" = none ] && return
  if ((records == 1)); then
    read_record "$log"
    [ -n "${r_outcome:-}" ] || { fail "the record does not read: $(head -c 300 "$log")"; return; }
    result_summary="$r_outcome/$r_ended_by $r_transfer $r_bytes"
  else
    result_summary="no record"
  fi
  check_exit_status
  ((records == 1)) || return
  check_cause
  check_counts
  check_console_log
  if ((opened)) && ((!sim_killed)) &&
     ! grep -Eq '^note: (hanging up|the port is still open)' "$run_dir/device.log"; then
    grep -q 'closed the port' "$run_dir/device.log" || fail "the simulator did not see the port close"
  fi
  if [ -n "${probe_ticks:-}" ] && ((probe_ticks * 1000 > 3 * probe_ms)); then
    fail "the waiting program took $probe_ticks ticks of CPU in $probe_ms ms"
  fi
}

# Nothing of the run is left: its processes have ended.
check_leaks() {
  local left
  left=$(pgrep -f -- "$run_dir" | grep -vx "$$" || true)
  [ -z "$left" ] || fail "processes left: $(ps -o pid=,args= -p "${left//$'\n'/,}")"
  # Listed by a plain command, so that no subshell of this script's own is among them.
  ps -o pid=,comm= --ppid $$ > "$run_dir/children"
  left=$(awk -v x="${xvfb_pid:-none}" '$1 != x && $2 != "ps"' "$run_dir/children")
  [ -z "$left" ] || fail "child processes left: $left"
}
