#!/usr/bin/env bash
# Drives the real qelpupd under a virtual display (Xvfb) by keys and pointer, as an operator would,
# with the focus where it always is, in the log: Alt+Space opens the system menu and its version
# item opens the version dialog, by mnemonic and by arrows; a right click in the log offers the
# same item below Copy and Select All; Alt+F4 ends the program when no upload runs.
#
#   scripts/check-window-keys.sh [--build-dir DIR] [--shots DIR]
# --shots keeps screenshots of the system menu and of the log's context menu in DIR.
# Exit status: 0 when every step held.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=build; shots=""
while (($#)); do
  case $1 in
    --build-dir) build=$2; shift ;;
    --shots) shots=$2; shift ;;
    -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done
[[ $build = /* ]] || build=$root/$build

work=$(mktemp -d "${TMPDIR:-/tmp}/qelpupd-keys.XXXXXX")
[ -n "$shots" ] || shots=$work
mkdir -p "$shots"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

wait_for() {  # wait_for TENTHS COMMAND…: waits up to TENTHS tenths of a second for COMMAND
  local tenths=$1; shift
  for _ in $(seq "$tenths"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

source "$root/scripts/lib/virtual_display.sh"
start_virtual_display "$work" || exit 1

# No data file: after saying so, the main window stays idle with the focus in its log.
(cd "$work" && exec "$build/src/app/qelpupd") >"$work/qelpupd.log" 2>&1 &
app=$!; pids+=("$app")

visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
window() {  # window TITLE-REGEX: waits up to 10 s for a visible window; prints its id
  local id=""
  for _ in $(seq 100); do
    id=$(visible "$1") && [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
gone() { [ -z "$(visible "$1")" ]; }
# The program's visible windows; a menu that opens adds one.
windows() { xdotool search --onlyvisible --classname qelpupd 2>/dev/null | wc -l; }
menu_open() {
  local n
  for _ in $(seq 100); do n=$(windows); [ "$n" -gt 1 ] && return 0; sleep 0.1; done
  return 1
}
keys() { sleep 0.3; xdotool key --clearmodifiers "$@"; }
fail() { echo "FAIL: $*"; status=1; }
shot() {  # shot NAME WINDOW-ID: the window and what opened beside it
  sleep 0.5
  eval "$(xdotool getwindowgeometry --shell "$2")"
  import -window root -crop "420x300+$((X - 10))+$((Y - 30))" +repage "$shots/$1.png"
}

focus_main() {
  xdotool windowfocus --sync "$main" 2>/dev/null && return 0
  echo "FAIL: the main window has gone (Window keys FAILED, $work)"; exit 1
}

version='^ﾊﾞｰｼﾞｮﾝ情報 QelpUpd$'
# Waits for the version dialog and closes it with Esc, pressed in it: an Esc that reached the main
# window would end the program.
close_version() {
  local id
  id=$(window "$version") || return 1
  xdotool windowfocus --sync "$id" 2>/dev/null
  keys Escape
  wait_for 50 gone "$version" || fail "Esc left the version dialog open"
}
status=0
# xdotool matches titles without regard to case: the box (titled "qelpupd") shows before the main
# window ("QelpUpd") does.
box=$(window '^qelpupd$') || { echo "no message box about the missing data file"; exit 1; }
xdotool windowfocus --sync "$box"; keys Return
main=$(window '^QelpUpd$') || { echo "the main window did not show"; exit 1; }
xdotool windowactivate --sync "$main" 2>/dev/null || focus_main

# Alt+Space, then the version item's mnemonic.
keys alt+space
menu_open || fail "Alt+Space opened no menu"
shot system-menu "$main"
keys a
close_version || fail "Alt+Space and A did not open the version dialog"

# Alt+Space, then the arrows: the version item is the last.
focus_main
keys alt+space
menu_open || fail "Alt+Space opened no menu"
keys Up; keys Return
close_version || fail "Alt+Space, Up and Enter did not open the version dialog"

# A right click in the log: Copy, Select All, then the system menu's items, the version item last.
focus_main
xdotool mousemove --window "$main" 60 50; sleep 0.2; xdotool click 3
menu_open || fail "a right click in the log opened no menu"
shot log-menu "$main"
keys Up; keys Return
close_version || fail "the log's context menu did not lead to the version dialog"

# Alt+F4 with the focus in the log ends the program.
focus_main
keys alt+F4
wait_for 50 bash -c "! kill -0 $app" || fail "Alt+F4 did not end qelpupd"

echo "Screenshots: $shots/system-menu.png $shots/log-menu.png"
[ $status -eq 0 ] && echo "Window keys work." || echo "Window keys FAILED ($work)."
exit $status
