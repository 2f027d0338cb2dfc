# Sourced by the scripts that drive the real program under a virtual X display.
#
# start_virtual_display WORK-DIR: starts Xvfb on a display number it picks itself (so that runs
# side by side do not collide), adds its process to the caller's `pids` array for the caller's
# clean-up, and exports DISPLAY once the server answers. Returns 1, having said why, when it does
# not start.
start_virtual_display() {
  local work=$1
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  pids+=("$!")
  for _ in $(seq 200); do [ -s "$work/display" ] && break; sleep 0.05; done
  [ -s "$work/display" ] || { echo "Xvfb did not start"; return 1; }
  export DISPLAY=:$(head -n 1 "$work/display")
  for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.05; done
  echo "the display does not answer"
  return 1
}
