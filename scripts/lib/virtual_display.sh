# shellcheck shell=bash
# Sourced by every script and test that runs programs under a virtual X display (Xvfb).
#
#   start_virtual_display WORK-DIR [SCREEN]
#       Starts Xvfb on a display number it picks itself, exports DISPLAY and a private
#       XDG_RUNTIME_DIR (WORK-DIR/runtime), and returns once the server answers. SCREEN is
#       WIDTHxHEIGHTxDEPTH (default 1024x768x24); the server's messages go to WORK-DIR/xvfb.log.
#       Returns 1, having said why on standard error, when the server does not start.
#   stop_virtual_display
#       Ends the server and waits (with a deadline) until it has gone. Call it from the caller's
#       EXIT trap after the programs that use the display have been stopped; harmless when no
#       server runs.
#
# How it avoids the ways a display start goes wrong:
# - -noreset: by default Xvfb resets when its last client disconnects, and refuses a client that
#   connects during the reset. The readiness check is such a client, so without -noreset the
#   program started next could be refused ("could not connect to display").
# - -displayfd: the server binds a free display number itself, so runs side by side never pick
#   the same one, and writes the number only once it accepts clients. It is read from a pipe:
#   the read ends at that line, or at once when the server dies, or at the deadline.
# - setpriv --pdeathsig: the server gets SIGTERM when the shell that started it ends, however it
#   ends (a ctest time-out kills the script outright), so no Xvfb outlives its run.
# - XDG_RUNTIME_DIR: without it each Qt program falls back to one runtime folder shared by every
#   run of this user (and warns on standard error).
VIRTUAL_DISPLAY_PID=""

start_virtual_display() {
  local work=$1 screen=${2:-1024x768x24} from_server number=""
  if [ -n "$VIRTUAL_DISPLAY_PID" ]; then
    echo "a virtual display runs already ($DISPLAY)" >&2
    return 1
  fi
  command -v Xvfb >/dev/null || { echo "Xvfb is not installed (scripts/install-deps.sh)" >&2; return 1; }
  exec {from_server}< <(exec setpriv --pdeathsig TERM \
    Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 "$screen" 3>&1 >/dev/null 2>"$work/xvfb.log")
  VIRTUAL_DISPLAY_PID=$!
  read -r -t 30 -u "$from_server" number || true
  exec {from_server}<&-
  if ! [[ $number =~ ^[0-9]+$ ]]; then
    echo "Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    stop_virtual_display
    return 1
  fi
  export DISPLAY=:$number
  mkdir -p "$work/runtime" && chmod 0700 "$work/runtime"
  export XDG_RUNTIME_DIR=$work/runtime
  # The server accepts clients once it has written its number; one round trip proves that it
  # answers. With -noreset this client's disconnect changes nothing for the next one.
  if ! timeout 20 xdpyinfo >/dev/null 2>&1; then
    echo "the display $DISPLAY does not answer" >&2
    stop_virtual_display
    return 1
  fi
}

stop_virtual_display() {
  local pid=$VIRTUAL_DISPLAY_PID
  [ -n "$pid" ] || return 0
  VIRTUAL_DISPLAY_PID=""
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.05
  done
  echo "Xvfb ($pid) did not end on SIGTERM; killed" >&2
  kill -KILL "$pid" 2>/dev/null || true
}
