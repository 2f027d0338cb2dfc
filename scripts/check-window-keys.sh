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
source "$root/scripts/lib/virtual_display.sh"
source "$root/scripts/lib/operator.sh"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  stop_virtual_display
}
trap cleanup EXIT

start_virtual_display "$work" || exit 1

# No data file: after saying so, the main window stays idle with the focus in its log.
(cd "$work" && exec "$build/src/app/qelpupd") >"$work/qelpupd.log" 2>&1 &
app=$!; pids+=("$app")

# The program's visible windows; a menu that opens adds one.
windows() { timeout 10 xdotool search --onlyvisible --classname qelpupd 2>/dev/null | wc -l; }
menu_shows() { [ "$(windows)" -gt 1 ]; }
# Keys to whatever has the focus: an open menu takes them.
keys() { timeout 10 xdotool key --clearmodifiers "$@"; }
fail() { echo "FAIL: $*"; status=1; }
shot() {  # shot NAME WINDOW-ID: the window and what opened beside it
  sleep 0.5  # for the picture only: the menu has painted
  geometry "$2" || return 0
  import -window root -crop "420x300+$((X - 10))+$((Y - 30))" +repage "$shots/$1.png" 2>/dev/null ||
    echo "no screenshot $1"
}
# Alt+Space in the main window, which must open its system menu.
system_menu() {
  press "$main" alt+space || { echo "FAIL: the main window has gone (Window keys FAILED, $work)"; exit 1; }
  wait_for 30 menu_shows || fail "Alt+Space opened no menu"
}

version='^ﾊﾞｰｼﾞｮﾝ情報 QelpUpd$'
# Waits for the version dialog and closes it with Esc, pressed in it: an Esc that reached the main
# window would end the program.
close_version() {
  local id
  id=$(find_window 30 "$version") || return 1
  press "$id" Escape || return 1
  window_gone 30 "$version" "$id" || fail "Esc left the version dialog open"
}
status=0
# xdotool matches titles without regard to case: the box (titled "qelpupd") shows before the main
# window ("QelpUpd") does.
box=$(find_window 60 '^qelpupd$') || { echo "no message box about the missing data file"; exit 1; }
press "$box" Return || { echo "the message box took no Enter"; exit 1; }
main=$(find_window 60 '^QelpUpd$' "$box") || { echo "the main window did not show"; exit 1; }

# Alt+Space, then the version item's mnemonic.
system_menu
shot system-menu "$main"
keys a
close_version || fail "Alt+Space and A did not open the version dialog"

# Alt+Space, then the arrows: the version item is the last.
system_menu
keys Up Return
close_version || fail "Alt+Space, Up and Enter did not open the version dialog"

# A right click in the log: Copy, Select All, then the system menu's items, the version item last.
press "$main" || { echo "FAIL: the main window has gone (Window keys FAILED, $work)"; exit 1; }
timeout 10 xdotool mousemove --window "$main" 60 50 click 3
wait_for 30 menu_shows || fail "a right click in the log opened no menu"
shot log-menu "$main"
keys Up Return
close_version || fail "the log's context menu did not lead to the version dialog"

# Alt+F4 with the focus in the log ends the program.
press "$main" alt+F4 || { echo "FAIL: the main window has gone (Window keys FAILED, $work)"; exit 1; }
wait_for 20 program_ended || fail "Alt+F4 did not end qelpupd"

echo "Screenshots: $shots/system-menu.png $shots/log-menu.png"
[ $status -eq 0 ] && echo "Window keys work." || echo "Window keys FAILED ($work)."
exit $status
