#!/usr/bin/env bash
# The Windows installer under Wine, as an administrator's script would use it: a silent install
# for the current user and one for all users, an update with each installed program against the
# device simulator, then a silent uninstall that leaves nothing of the programs behind.
#
#   installer_check.sh --build-dir WIN-BUILD --host-build LINUX-BUILD --setup SETUP.EXE
# Uses the Wine prefix and the display already running (build-windows.sh starts them).
# Exit status 0 when all of it went so.
set -euo pipefail

build=""; host=""; setup=""
while (($#)); do
  case $1 in
    --build-dir) build=$2; shift ;;
    --host-build) host=$2; shift ;;
    --setup) setup=$2; shift ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done
[ -n "$build" ] && [ -n "$host" ] && [ -n "$setup" ] || { sed -n '2,8p' "$0"; exit 2; }
: "${WINEPREFIX:?no Wine prefix: start one with scripts/lib/wine_env.sh}"
: "${DISPLAY:?no display}"
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/wine_env.sh"
source "$here/../../scripts/lib/operator.sh"
status=0
fail() { echo "FAILED: $*"; status=1; }

user=$(id -un)
drive=$WINEPREFIX/drive_c
uninstall_entry_gone() { ! wine reg query "$1" >/dev/null 2>&1; }

for mode in CurrentUser AllUsers; do
  case $mode in
    CurrentUser)
      folder=$(wine_env_local_appdata)/Programs/QelpUpd
      menu="$drive/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
      key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\QelpUpd' ;;
    AllUsers)
      folder=$drive/Program\ Files/QelpUpd
      menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs"
      key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QelpUpd' ;;
  esac
  echo "== installed for $mode"
  wine "$setup" /S "/$mode" >/dev/null 2>&1 || fail "$mode: the installer failed"
  for file in qelpupd.exe qelpupd-cli.exe README.txt uninstall.exe; do
    [ -f "$folder/$file" ] || fail "$mode: no $file in $folder"
  done
  [ -f "$menu/QelpUpd.lnk" ] || fail "$mode: no Start-menu entry in $menu"
  wine reg query "$key" /v DisplayVersion 2>/dev/null | tr -d '\r' | grep -q '1\.0\.0\.1' ||
    fail "$mode: no uninstall entry $key"

  "$here/cli_update.sh" --build-dir "$build" --host-build "$host" --case success \
    --exe "$folder/qelpupd-cli.exe" | tail -n 1 || fail "$mode: the installed qelpupd-cli.exe"
  "$here/window_update.sh" --build-dir "$build" --host-build "$host" --case success \
    --exe "$folder/qelpupd.exe" | tail -n 1 || fail "$mode: the installed qelpupd.exe"

  wine "$folder/uninstall.exe" /S "/$mode" >/dev/null 2>&1 || fail "$mode: the uninstaller failed"
  # The uninstaller runs on from a copy of itself in the temporary folder, which removes the files,
  # then the folder, then the uninstall entry: wait for the last of them.
  wait_for 30 uninstall_entry_gone "$key" || true
  [ ! -e "$folder" ] || fail "$mode: $folder is still there: $(ls "$folder")"
  [ ! -e "$menu/QelpUpd.lnk" ] || fail "$mode: the Start-menu entry is still there"
  uninstall_entry_gone "$key" || fail "$mode: the uninstall entry is still there"
done
[ $status -eq 0 ] && echo "PASSED (installer)"
exit $status
