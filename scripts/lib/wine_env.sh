# shellcheck shell=bash
# Sourced by the scripts that run Windows programs under Wine (scripts/build-windows.sh).
#
# wine_env_start BUILD-DIR: makes, once, a private Wine prefix in BUILD-DIR/wineprefix, exports
# WINEPREFIX, WINEDEBUG and WINEDLLOVERRIDES for it, and starts a persistent wineserver with Wine's
# services. Without that server every program's start spawns one that lingers and holds ctest's
# output pipe open, which made each test take about 2.8 s instead of a tenth of that. Returns 1, having said why,
# when the prefix cannot be made.
# wine_env_stop: stops that wineserver (call it from the caller's clean-up).
# wine_env_local_appdata: the Unix path of the prefix user's %LOCALAPPDATA% (the update record's).
# wine_env_link_com N DEVICE: makes DEVICE (a pseudo-terminal's slave) the prefix's COMN, which a
# Windows program opens as \\.\COMN. Wine does not list such a port in its registry.
#
# The prefix: no Mono or Gecko prompts and no menu entries in the home folder; windows without a
# window manager (Managed=N: otherwise every hide waits 2 s for one) with title bars drawn by Wine
# (Decorated=N); the Japanese dialog fonts replaced by IPAPGothic (fonts-ipafont-gothic), and the
# marlett font (fonts-wine) for the symbols of system menus.
wine_env_start() {
  local build=$1
  mkdir -p "$build"
  export WINEPREFIX
  WINEPREFIX=$(cd "$build" && pwd)/wineprefix
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  if [ ! -e "$WINEPREFIX/.qelpupd-ready" ]; then
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || { echo "wineboot could not make $WINEPREFIX"; return 1; }
    local settings="$WINEPREFIX/qelpupd-settings.reg"
    # regedit reads UTF-16 with a byte order mark, for the Japanese font name.
    iconv -f UTF-8 -t UTF-16 >"$settings" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
"Decorated"="N"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"ＭＳ Ｐゴシック"="IPAPGothic"
"MS PGothic"="IPAPGothic"
"MS UI Gothic"="IPAPGothic"
REG
    wine regedit /S "$settings" >/dev/null 2>&1 || { echo "the prefix's settings failed"; return 1; }
    local marlett=/usr/share/wine/fonts/marlett.ttf
    if [ -e "$marlett" ]; then cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"; fi
    # Until the registry is on disk: a later server must find it there.
    wineserver -w
    touch "$WINEPREFIX/.qelpupd-ready"
  fi
  # Wine links the user's shell folders (Documents, Desktop, ...) to the home folder: folders of
  # the prefix's own keep what the programs and installers under test put there.
  local shell_folder
  for shell_folder in "$WINEPREFIX/drive_c/users/$(id -un)"/*; do
    if [ -L "$shell_folder" ]; then rm -f "$shell_folder" && mkdir "$shell_folder"; fi
  done
  # COM ports that peers killed hard left behind (COM10 and up: the tests' range).
  local link
  for link in "$WINEPREFIX"/dosdevices/com[1-9][0-9]*; do
    if [ -L "$link" ] && [ ! -e "$link" ]; then rm -f "$link"; fi
  done
  wineserver -p >/dev/null 2>&1 </dev/null
  # The first program started under a fresh server also starts Wine's own services, which stay
  # as long as the server does and keep the first program's output open: start them here, with
  # output nowhere, rather than inside a test under ctest.
  wine cmd /c exit >/dev/null 2>&1 </dev/null
}

wine_env_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k >/dev/null 2>&1 || true  # none running: stopped already
  fi
}

wine_env_link_com() {
  ln -sfn "$2" "$WINEPREFIX/dosdevices/com$1"
}

# wine_env_local_appdata: prints the Unix path of the prefix user's %LOCALAPPDATA%.
wine_env_local_appdata() {
  echo "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local"
}
