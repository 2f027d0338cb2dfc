# Sourced by scripts/soak.sh: what one soak run does, drawn from the soak's seed and the run's
# number alone, so that any run can be played again on its own.
#
# plan_run SEED RUN PROGRAM sets the plan_* variables:
#   plan_program   cli | window (PROGRAM both: drawn; cli or window: that one)
#   plan_scenario  the simulator's scenario
#   plan_action    none | cancel | close | sigint | sigterm | sighup | timeout
#   plan_moment    when the action comes: start, port-dialog, boot, transfer, end (- for none)
#   plan_delay_ms  how long after that moment's sign
#   plan_size      the data file's length; plan_pace 1 when the simulator reads at line speed
#   plan_cut       the byte at which the hangup or stall scenario cuts the transfer
#   plan_boot_ms, plan_idle_ms   the simulator's --boot-delay-ms and --idle-ms
#   plan_timeout_ms              qelpupd-cli's --timeout, for the timeout action
#   plan_gesture   the key that closes the main window (close action)
# plan_describe prints the plan in one line.

# A 64-bit linear congruential generator (bash arithmetic wraps at 64 bits); the high bits are used.
rng_mix() {  # rng_mix SEED RUN
  rng_state=$(( ($1 * 0x9E3779B97F4A7C15) ^ ($2 * 0xBF58476D1CE4E5B9) ^ 0x2545F4914F6CDD1D ))
  local _
  for _ in 1 2 3; do rng_step; done
}
rng_step() {
  rng_state=$(( rng_state * 6364136223846793005 + 1442695040888963407 ))
}
# draw N: sets REPLY to a number from 0 to N-1.
draw() {
  rng_step
  REPLY=$(( ((rng_state >> 33) & 0x7FFFFFFF) % $1 ))
}
# pick WORD:WEIGHT…: sets REPLY to one of the words, as likely as its weight.
pick() {
  local total=0 entry
  for entry in "$@"; do total=$((total + ${entry##*:})); done
  draw "$total"
  local at=$REPLY
  for entry in "$@"; do
    at=$((at - ${entry##*:}))
    if ((at < 0)); then REPLY=${entry%:*}; return; fi
  done
}

# The line carries about 1920 bytes a second; a pseudo-terminal takes about 17 KB at once, so the
# sending side of a paced transfer is under way only past that.
readonly soak_pty_buffer=17000
readonly soak_line_rate=1920

plan_run() {  # plan_run SEED RUN PROGRAM
  rng_mix "$1" "$2"
  pick cli:2 window:1; plan_program=$REPLY
  [ "$3" = both ] || plan_program=$3

  pick success:3 record-header:1 bootmode-error:1 checksum-error:1 warning:1 silent:1 twice:1 \
       hangup:2 stall:1 noise:1
  plan_scenario=$REPLY

  if [ "$plan_program" = cli ]; then
    pick none:8 sigint:4 sigterm:4 timeout:4
  else
    pick none:6 cancel:4 close:3 sigterm:3 sighup:2 sigint:2
  fi
  plan_action=$REPLY
  case $plan_action in
    none) plan_moment=- ;;
    cancel) plan_moment=transfer ;;
    close) pick boot:1 transfer:1; plan_moment=$REPLY ;;
    timeout) plan_moment=at ;;
    *)
      if [ "$plan_program" = cli ]; then pick start:1 boot:2 transfer:5 end:2
      else pick port-dialog:1 boot:2 transfer:5 end:2; fi
      plan_moment=$REPLY ;;
  esac
  # A device that never asks, or stops reading for good, is ended by someone: the cli by a
  # time-out, the window by its operator (who closes it once nothing moves any more).
  if [ "$plan_action" = none ] && [ "$plan_program" = cli ] &&
     { [ "$plan_scenario" = silent ] || [ "$plan_scenario" = stall ]; }; then
    plan_action=timeout; plan_moment=at
  fi

  # A paced transfer lets the action land while the program still sends; it does so only past the
  # pseudo-terminal's buffer.
  plan_pace=0
  draw 100
  if [ "$plan_moment" = transfer ] || [ "$plan_action" = timeout ]; then
    ((REPLY < 60)) && plan_pace=1
  else
    ((REPLY < 3)) && plan_pace=1
  fi
  draw 20
  local kind=$REPLY
  if ((plan_pace)) && ((kind >= 4)); then
    draw 15000; plan_size=$((soak_pty_buffer + REPLY))
  elif ((kind == 0)); then
    plan_size=0
  elif ((kind <= 3)); then
    draw 199; plan_size=$((REPLY + 1))
  elif ((kind <= 7)); then
    draw 300; plan_size=$(((REPLY + 1) * 200))
  else
    draw 60000; plan_size=$((REPLY + 1))
  fi
  draw $((plan_size + 1)); plan_cut=$REPLY

  # The boot lines take six pauses: long enough for an action among them where one is planned.
  draw 30
  if [ "$plan_program" = window ]; then plan_boot_ms=$((20 + REPLY * 2)); else plan_boot_ms=$((REPLY / 3)); fi
  [ "$plan_moment" = boot ] && plan_boot_ms=$((plan_boot_ms + 40))
  # The twice scenario asks again after this quiet time; short keeps the soak fast, and a
  # transfer never pauses that long.
  plan_idle_ms=1500
  [ "$plan_scenario" = twice ] && ((!plan_pace)) && plan_idle_ms=400

  local transfer_ms=0
  ((plan_pace)) && transfer_ms=$(( (plan_size - soak_pty_buffer) * 1000 / soak_line_rate ))
  ((transfer_ms < 20)) && transfer_ms=20
  case $plan_moment in
    start) draw 30 ;;
    boot) draw $((plan_boot_ms * 5)) ;;
    transfer) draw $((transfer_ms + 1)) ;;
    end) draw 150 ;;
    *) draw 1 ;;
  esac
  plan_delay_ms=$REPLY
  draw $((plan_boot_ms * 6 + transfer_ms + 300)); plan_timeout_ms=$((REPLY + 10))
  pick Escape:1 alt+F4:1; plan_gesture=$REPLY
}

plan_describe() {
  local action=$plan_action size=$plan_size
  case $plan_action in
    none) ;;
    timeout) action+="@$((plan_timeout_ms))ms" ;;
    close) action+="($plan_gesture)@$plan_moment+${plan_delay_ms}ms" ;;
    *) action+="@$plan_moment+${plan_delay_ms}ms" ;;
  esac
  ((plan_pace)) && size+=",paced"
  case $plan_scenario in hangup|stall) size+=",cut@$plan_cut" ;; esac
  printf '%-6s %-14s %-26s %s' "$plan_program" "$plan_scenario" "$action" "$size"
}
