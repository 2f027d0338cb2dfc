#!/usr/bin/env bash
# The Windows installers under Wine, as an administrator's script would use them: a silent
# install of the 64-bit one for the current user and one for all users, an update with each
# installed program against the device simulator, the Start-menu entry's start in each user's
# Documents\QelpUpd (made when missing), then a silent uninstall that leaves nothing of the programs
# behind. The 32-bit installer cannot run here (no 32-bit Wine): its refusal of 64-bit Windows is
# checked in a 64-bit build of the same installer over the 32-bit programs.
#
#   installer_check.sh --build-dir WIN-BUILD --host-build LINUX-BUILD --setup SETUP.EXE
#                      --stage32 STAGED-32-BIT-PACKAGE
# Uses the Wine prefix and the display already running (build-windows.sh starts them).
# Exit status 0 when all of it went so.
set -euo pipefail

build=""; host=""; setup=""; stage32=""
while (($#)); do
  case $1 in
    --build-dir) build=$2; shift ;;
    --host-build) host=$2; shift ;;
    --setup) setup=$2; shift ;;
    --stage32) stage32=$2; shift ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done
[ -n "$build" ] && [ -n "$host" ] && [ -n "$setup" ] && [ -n "$stage32" ] || { sed -n '2,12p' "$0"; exit 2; }
: "${WINEPREFIX:?no Wine prefix: start one with scripts/lib/wine_env.sh}"
: "${DISPLAY:?no display}"
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$build" && pwd)
stage32=$(cd "$stage32" && pwd)
source "$here/../../scripts/lib/wine_env.sh"
source "$here/../../scripts/lib/operator.sh"
source "$here/../../scripts/lib/windows_package.sh"
status=0
fail() { echo "FAILED: $*"; status=1; }
work=$(mktemp -d)
app=""
trap 'if [ -n "$app" ]; then kill "$app" 2>/dev/null || true; fi; rm -rf "$work"' EXIT

user=$(id -un)
drive=$WINEPREFIX/drive_c
uninstall_entry_gone() { ! wine reg query "$1" >/dev/null 2>&1; }

documents=$drive/users/$user/Documents/QelpUpd
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

# documents_start WINDOW-TITLE: the installed program as the Start-menu entry starts it, from
# another folder; true when a window of that title shows. The program is ended then.
documents_start() {
  (cd "$drive" && exec wine "$folder/qelpupd.exe" --documents) >"$work/documents.log" 2>&1 &
  app=$!
  local shown=0
  if find_window 60 "$1" >/dev/null; then shown=1; fi
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  app=""
  ((shown))
}

echo "== the 32-bit installer on 64-bit Windows"
(cd "$here/../.." && windows_installer "$stage32" win32 "$version" "$build/package/qelpupd.ico" \
  "$work/win32-checks-setup.exe" amd64-unicode) || fail "the 32-bit installer's checks did not build"
refused=0
wine "$work/win32-checks-setup.exe" /S /CurrentUser >/dev/null 2>&1 || refused=$?
[ "$refused" -eq 2 ] || fail "the 32-bit installer ended with $refused on 64-bit Windows, not 2"
[ ! -e "$(wine_env_local_appdata)/Programs/QelpUpd" ] || fail "the 32-bit installer installed"
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
  # The shortcut keeps its arguments in UTF-16.
  tr -d '\0' <"$menu/QelpUpd.lnk" | grep -q -- '--documents' ||
    fail "$mode: the Start-menu entry does not start the program in the user's documents"
  [ -d "$documents" ] || fail "$mode: no $documents for the installing user"
  if [ "$mode" = AllUsers ]; then
    # Another user's first start: the folder is made, and the data file is looked for there.
    rm -rf "$documents"
    documents_start "^qelpupd$" || fail "no box for the missing data file"
    [ -d "$documents" ] || fail "the first start did not make $documents"
    head -c 100 /dev/urandom >"$documents/7118K0001.UPF"
    documents_start "^通信ポートの選択$" || fail "the data file in $documents was not found"
    rm -f "$documents/7118K0001.UPF"
  fi
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
