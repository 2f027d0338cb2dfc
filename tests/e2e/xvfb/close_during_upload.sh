#!/usr/bin/env bash
# The real qelpupd in a real X server (Xvfb), against the simulator reading at line speed: the
# operator tries to close the main window while the data file goes out - with the version dialog
# open above it, closed before, during or after the upload - by keys sent with xdotool to the
# focused window, by the system menu, and by the mouse. The window must take no close until the
# upload has returned: the device receives the whole file, and the outcome box shows what the device
# said (after a failure the window stays; after a success the program ends by itself), and the exit
# status tells which.
#
#   close_during_upload.sh --build-dir DIR --case NAME
# Cases:
#   menu-after-version   version dialog open at the data request, OK pressed during the upload,
#                        then Close chosen from the main window's system menu (mouse and key);
#                        the device fails the update: message 108, and the window stays
#   keys-after-version   the same, then Esc, Enter, Alt+F4 and Alt+Space C on the main window;
#                        the device succeeds: message 109, and the program ends by itself
#   keys-version-before  version dialog opened and closed before the data request, then the keys
#   mouse-version-after  version dialog open over the whole upload; during it a right click and a
#                        click on the main window; the version dialog's OK clicked after the outcome
# Exit status 0 when the window behaved so; the transcript and a screenshot stay in the folder.
set -euo pipefail

build=""; case_name=""
while (($#)); do
  case $1 in
    --build-dir) build=$2; shift ;;
    --case) case_name=$2; shift ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done
[ -n "$build" ] && [ -n "$case_name" ] || { sed -n '2,22p' "$0"; exit 2; }

case $case_name in
  menu-after-version|mouse-version-after) scenario=record-header ;;
  keys-after-version|keys-version-before) scenario=success ;;
  *) echo "unknown case: $case_name" >&2; exit 2 ;;
esac


lib=$(dirname "$0")/../../../scripts/lib
source "$lib/virtual_display.sh"
source "$lib/operator.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/qelpupd-closing.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  stop_virtual_display
}
trap cleanup EXIT
fail() { echo "FAILED ($case_name): $*"; status=1; }
status=0

# About 33 s of transfer at 19200 baud. The device holds its data request until the version
# dialog stands as the case wants it ($work/go). On a pseudo-terminal the UI thread takes its
# input in bursts while it waits for room on the line, seconds apart: every step below waits for
# its effect instead of assuming it, and the gestures go in early, so that the upload takes them.
head -c 64000 /dev/urandom > "$work/7118K0001.UPF"
"$build/tools/qelp-device-simulator" --data "$work/7118K0001.UPF" --scenario "$scenario" --pace \
  --hold-data-request "$work/go" > "$work/device.log" 2>&1 &
sim=$!; pids+=("$sim")
wait_for 20 test -s "$work/device.log" || true
device=$(head -n 1 "$work/device.log")
[ -e "$device" ] || { echo "the simulator did not start:"; cat "$work/device.log"; exit 1; }
export QELPUPD_COM1=$device

start_virtual_display "$work" || exit 1

# Its update record stays in the working folder: no other run shares it.
(cd "$work" && XDG_STATE_HOME=$work/state exec "$build/src/app/qelpupd") > "$work/qelpupd.log" 2>&1 &
app=$!; pids+=("$app")

app_windows() { timeout 10 xdotool search --onlyvisible --pid "$app" 2>/dev/null | sort; }
# Right click on the main window below its log, where the system menu opens; prints the menu's
# window id when one opened within SECONDS, nothing when the window took no click by then.
right_click_main() {  # right_click_main SECONDS
  local before menu deadline=$((SECONDS + $1))
  before=$(app_windows)
  geometry "$main" || return 0
  timeout 10 xdotool mousemove "$((X + WIDTH / 2))" "$((Y + HEIGHT - 6))" click 3
  while :; do
    menu=$(comm -13 <(echo "$before") <(app_windows) | head -n 1)
    [ -n "$menu" ] && { echo "$menu"; return 0; }
    ((SECONDS < deadline)) || return 0
    sleep 0.1
  done
}
# During the upload the window may take a click only seconds later, or not at all: a short look.
busy_look=2
# Close from the main window's system menu, by the mouse: a click on the menu's first item, or, when
# no menu opened, on the same spot of the window below the click.
menu_close_by_mouse() {
  local menu; menu=$(right_click_main "$busy_look")
  if [ -n "$menu" ] && geometry "$menu"; then
    timeout 10 xdotool mousemove "$((X + 30))" "$((Y + 12))" click 1
  elif geometry "$main"; then
    timeout 10 xdotool mousemove "$((X + WIDTH / 2 + 30))" "$((Y + HEIGHT - 4))" click 1
  fi
}
# Close from the system menu by its mnemonic, typed to whatever has the focus.
menu_close_by_key() {
  right_click_main "$busy_look" >/dev/null
  timeout 10 xdotool key --clearmodifiers c
}
# Before the data request the window is idle: the menu must open.
open_version_dialog() {
  local menu; menu=$(right_click_main 30)
  [ -n "$menu" ] || { fail "the system menu did not open"; return 1; }
  timeout 10 xdotool key --clearmodifiers a
  version=$(find_window 30 "QelpUpd" "$main" "$port_dialog") || { fail "no version dialog"; return 1; }
}
click_version_ok() {  # the OK button sits at 178,7 (32 x 14) of the 217 x 55 dialog units
  geometry "$version" || return 0
  timeout 10 xdotool mousemove "$((X + WIDTH * 194 / 217))" "$((Y + HEIGHT * 14 / 55))" click 1
}
# The gestures changed nothing: the window and the transfer are still there. A moment for a wrong
# close to show; the check once the upload has ended, by which time the UI thread has taken every
# gesture in, is the one that counts.
expect_still_uploading() {  # expect_still_uploading WHAT-WAS-DONE
  sleep 0.5
  if program_ended; then
    fail "qelpupd ended during the upload, after $1"
  else
    window_shows "^QelpUpd$" "$main" || fail "the main window went away during the upload, after $1"
  fi
}
close_version_by_key() {
  press "$version" Return || fail "the version dialog took no Enter"
  window_gone 60 "QelpUpd" "$version" || fail "the version dialog did not close by Enter"
}

port_dialog=$(find_window 60 "^通信ポートの選択$") || { echo "no port dialog"; exit 1; }
press "$port_dialog" Return || { echo "the port dialog took no Enter"; exit 1; }
main=$(find_window 60 "^QelpUpd$" "$port_dialog") || { echo "no main window"; exit 1; }
version=""

case $case_name in
  keys-version-before)
    open_version_dialog && { press "$version" Escape || fail "the version dialog took no Esc"; } &&
      { window_gone 60 "QelpUpd" "$version" || fail "the version dialog did not close by Esc"; } ;;
  *)
    open_version_dialog ;;
esac
# The version dialog stands as the case wants it: the device may ask for the data now.
touch "$work/go"

progress=$(find_window 60 "^処理中") || fail "no upload"
if [ $status -eq 0 ]; then
  case $case_name in
    menu-after-version)
      close_version_by_key
      menu_close_by_mouse
      expect_still_uploading "Close by the mouse"
      menu_close_by_key
      expect_still_uploading "Close by its key" ;;
    keys-after-version|keys-version-before)
      [ "$case_name" = keys-after-version ] && close_version_by_key
      press "$main" Escape || fail "the main window took no Esc"
      expect_still_uploading Escape
      press "$main" Return alt+F4 || fail "the main window took no Enter and Alt+F4"
      expect_still_uploading "Enter and Alt+F4"
      press "$main" alt+space c || fail "the main window took no Alt+Space C"
      expect_still_uploading "Alt+Space C" ;;
    mouse-version-after)
      menu_close_by_mouse
      expect_still_uploading "Close by the mouse"
      press "$main" Escape alt+F4 || fail "the main window took no Esc and Alt+F4"
      expect_still_uploading "Escape and Alt+F4" ;;
  esac
fi

if [ $status -eq 0 ]; then
  window_gone 120 "^処理中" "$progress" || fail "the upload did not end"
  ! program_ended && window_shows "^QelpUpd$" "$main" ||
    fail "the main window took a close during the upload"
fi

shot=$work/outcome.png
if [ $status -eq 0 ]; then
  if box=$(find_window 60 "^qelpupd$" "$main" "$port_dialog" "$progress" ${version:+"$version"}); then
    sleep 0.3  # for the picture only: the box has painted
    import -window root "$shot" 2>/dev/null || true
    press "$box" Return || fail "the outcome box took no Enter"
  else
    fail "no outcome box"
  fi
fi
if [ $status -eq 0 ] && [ "$scenario" = record-header ]; then
  # Message 108: the window stays with its log, and takes a close again once nothing is above it.
  # Once the box has gone, a wrong exit would follow at once: the window must still be there a
  # moment later (a wait for something not to happen, which cannot fail a right program).
  if ! window_gone 30 "^qelpupd$" "$box"; then
    fail "the outcome box did not close by Enter"
  elif sleep 1.5 && { program_ended || ! window_shows "^QelpUpd$" "$main"; }; then
    fail "the window did not stay after the failure: a success was reported"
  else
    if [ "$case_name" = mouse-version-after ]; then
      click_version_ok
      window_gone 60 "QelpUpd" "$version" || fail "the version dialog did not close by its OK button"
    fi
    press "$main" Escape || fail "the main window took no Esc"
  fi
fi
if ! wait_for 20 program_ended; then
  fail "qelpupd did not end"
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
else
  # The exit status tells the outcome: 1 after the device's failure, 0 after its success.
  expected_exit=0; [ "$scenario" = record-header ] && expected_exit=1
  app_exit=0; wait "$app" || app_exit=$?
  [ "$app_exit" -eq "$expected_exit" ] ||
    fail "qelpupd ended with status $app_exit, not $expected_exit"
fi
wait "$sim" || fail "the device did not receive the whole file"

echo "--- what the device saw"; tail -n +2 "$work/device.log"
[ -s "$work/qelpupd.log" ] && { echo "--- qelpupd said"; cat "$work/qelpupd.log"; }
[ -f "$shot" ] && echo "Screenshot of the outcome: $shot"
[ $status -eq 0 ] && echo "PASSED ($case_name)"
exit $status
