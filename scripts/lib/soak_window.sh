# Sourced by scripts/soak.sh: one soak run of the window program qelpupd on the virtual display,
# driven as an operator would with xdotool: the port dialog "通信ポートの選択" is answered with
# Enter, Cancel is Esc in the progress dialog "処理中...", the outcome boxes (titled "qelpupd") are
# answered with Enter, and the main window "QelpUpd" is closed with Esc or Alt+F4 once nothing moves
# any more. xdotool matches titles without regard to case, so "^qelpupd$" finds the main window
# too: boxes are told apart by their id.

screenshot() {  # screenshot NAME
  import -window root "$run_dir/shot-$1.png" 2>/dev/null || true
}

# find_window TITLE-REGEX DEADLINE-MS [STOP-REGEX]: prints the id of a visible window of that title
# that is not the main window; gives up at the deadline, once the program has ended, or once the
# transcript has a line matching STOP-REGEX.
find_window() {
  now_ms; local until=$((REPLY + $2)) id
  for (( ; ; )); do
    for id in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
      [ "$id" = "${main:-}" ] || { echo "$id"; return 0; }
    done
    tool_alive || return 1
    [ -n "${3:-}" ] && grep -Eq -- "$3" "$run_dir/device.log" && return 1
    now_ms; ((REPLY >= until)) && return 1
    sleep 0.02
  done
}
visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null | grep -qvx "${main:-none}"; }

press() {  # press WINDOW-ID KEY
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  xdotool key --clearmodifiers "$2" 2>/dev/null || true
  note "pressed $2 in window $1"
}

close_main() {
  press "$main" "$plan_gesture"
  close_keys=$((close_keys + 1))
}

# The plan's action, at its moment.
window_action() {
  local progress
  case $plan_action in
    cancel)
      progress=$(find_window "^処理中" 20000 "$(end_trigger_re)") || { note "no upload to cancel"; return; }
      sleep_ms "$plan_delay_ms"
      visible "^処理中" || { note "the upload ended before Cancel"; return; }
      press "$progress" Escape
      close_keys=$((close_keys + 1)) ;;
    close)
      if [ "$plan_moment" = boot ]; then
        device_said '^note: port opened' 20000
      else
        find_window "^処理中" 20000 "$(end_trigger_re)" > /dev/null || { note "no upload"; return; }
      fi
      sleep_ms "$plan_delay_ms"
      close_main ;;
    sigint|sigterm|sighup)
      case $plan_moment in
        boot) device_said '^note: port opened' 20000 ;;
        transfer) device_said "$(request_trigger_re)" 20000 ;;
        end)
          device_said "$(end_trigger_re)" 30000
          [[ $plan_scenario =~ ^(silent|stall)$ ]] ||
            find_window "^qelpupd$" 5000 > /dev/null || note "no outcome box before the signal" ;;
      esac
      sleep_ms "$plan_delay_ms"
      send_signal "$plan_action"
      # What the window showed as the signal came (taken after, so as not to delay it).
      screenshot signal
      signalled=1 ;;
  esac
}

# Until the program ends: answer each outcome box; once nothing moves any more (2 s after a box
# with the window still open, or a transcript that has stopped growing for longer than the device's
# quiet time: a device that says nothing more), measure the program's idle CPU and close the main
# window as an operator would, again if an upload took the first close.
window_settle() {
  run_deadline_ms
  local span=$REPLY; now_ms
  local until=$((REPLY + span)) box_at=0 grown_at=$REPLY size=-1 now box
  while tool_alive; do
    now_ms; now=$REPLY
    ((now >= until)) && return
    if box=$(find_window "^qelpupd$" 0); then
      ((boxes == 0)) && screenshot box
      press "$box" Return
      boxes=$((boxes + 1)); now_ms; box_at=$REPLY
      continue
    fi
    local grown; grown=$(stat -c %s "$run_dir/device.log")
    ((grown != size)) && size=$grown grown_at=$now
    if ((signalled)) || visible "^処理中"; then
      grown_at=$now box_at=$((box_at ? now : 0))
    elif { ((box_at)) && ((now - box_at >= 2000)); } || ((now - grown_at >= plan_idle_ms + 2000)); then
      ((settle_closes == 0)) && { screenshot close; probe_idle 1000; }
      tool_alive || break
      ((settle_closes < 3)) && { close_main; settle_closes=$((settle_closes + 1)); }
      now_ms; grown_at=$REPLY; ((box_at)) && box_at=$REPLY
    fi
    sleep 0.05
  done
}

drive_window() {
  sim_start || return
  (cd "$run_dir" && QELPUPD_COM1=$sim_device XDG_STATE_HOME=$run_dir/state exec $soak_launch "$app_bin") \
    > "$run_dir/tool.out" 2> "$run_dir/tool.err" &
  tool_pid=$!
  main="" boxes=0 signalled=0
  local port_dialog
  if ! port_dialog=$(find_window "^通信ポートの選択$" 30000); then
    fail "no port dialog"
  elif [ "$plan_moment" = port-dialog ]; then
    sleep_ms "$plan_delay_ms"
    send_signal "$plan_action"
    signalled=1
  else
    press "$port_dialog" Return
    main=$(find_window "^QelpUpd$" 20000) || fail "no main window"
    window_action
    window_settle
  fi
  run_deadline_ms
  wait_tool "$REPLY"
  finish_simulator
  # What the program showed goes with it.
  local left
  left=$(xdotool search --onlyvisible --name . 2>/dev/null | wc -l)
  ((left == 0)) || fail "$left windows are still on the display"
}
