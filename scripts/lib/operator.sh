# shellcheck shell=bash
# Sourced by the scripts that drive a real program on the virtual display (virtual_display.sh) as
# an operator would, with xdotool. Every wait has a deadline on the clock: a count of tries would
# stretch without bound on a loaded machine, where each look takes longer.
#
#   wait_for SECONDS COMMAND…
#       Runs COMMAND quietly until it succeeds; 1 when SECONDS pass first.
#   find_window SECONDS TITLE-REGEX [SKIP-ID…]
#       Waits for a visible window whose title matches (xdotool matches without regard to case)
#       and that is not one of the SKIP-IDs; prints its id. When $app holds the driven program's
#       process id, the wait ends at once (1) if that program has ended.
#   program_ended
#       True once the process in $app has ended (for wait_for).
#   window_shows TITLE-REGEX WINDOW-ID
#       True while that window shows with that title.
#   window_gone SECONDS TITLE-REGEX WINDOW-ID
#       Waits until that window no longer shows with that title.
#   press WINDOW-ID KEY…
#       Gives the window the input focus, waits until it has it, then types the keys, which go to
#       its focused control as an operator's do. 1 when the window does not take the focus.
#   geometry WINDOW-ID
#       Sets X, Y, WIDTH and HEIGHT to the window's place on the screen.
#
# No waits by the clock alone: a key typed after the window has the focus reaches it, because
# the X server hands the focus change and the key to the program in that order. Nothing here
# uses `mousemove --sync`, which waits in vain when the pointer stands at the spot already.

wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

find_window() {
  local deadline=$((SECONDS + $1)) pattern=$2 id
  shift 2
  while :; do
    for id in $(timeout 10 xdotool search --onlyvisible --name "$pattern" 2>/dev/null); do
      [[ " $* " == *" $id "* ]] || { echo "$id"; return 0; }
    done
    if [ -n "${app:-}" ] && ! kill -0 "$app" 2>/dev/null; then return 1; fi
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

program_ended() { ! kill -0 "$app" 2>/dev/null; }

window_shows() {
  timeout 10 xdotool search --onlyvisible --name "$1" 2>/dev/null | grep -qx "$2"
}

window_gone() {
  local deadline=$((SECONDS + $1))
  while window_shows "$2" "$3"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

press() {
  local window=$1 key
  shift
  # --sync waits until the focus is there; xdotool gives up by itself after about 15 s.
  timeout 30 xdotool windowfocus --sync "$window" >/dev/null 2>&1 || {
    echo "window $window did not take the focus" >&2
    return 1
  }
  for key in "$@"; do timeout 10 xdotool key --clearmodifiers "$key" || return 1; done
}

geometry() {
  local shell
  shell=$(timeout 10 xdotool getwindowgeometry --shell "$1") || return 1
  eval "$shell"
}
