# shellcheck shell=bash
# Sourced by scripts/build-windows.sh and tests/wine/installer_check.sh.
#
# windows_package BUILD-DIR ARCH: checks the programs' imports (windows_check_imports), then makes,
#     in BUILD-DIR, QelpUpd-<version>-<ARCH>.zip (both programs and README.txt, to unpack
#     anywhere) and the NSIS installer QelpUpd-<version>-<ARCH>-setup.exe
#     (packaging/windows/qelpupd.nsi); ARCH is win64 or win32. Sets windows_zip and
#     windows_setup to their paths; the programs go on staged in BUILD-DIR/package/<name>
#     (windows_stage). Returns 1, having said why, when a check fails.
# windows_installer STAGE ARCH VERSION ICON OUTFILE [STUB]: the installer of a staged package;
#     checks that it carries each file of the stage. STUB builds it to run as another
#     architecture (qelpupd.nsi).
# windows_check_imports EXE…: each program imports only DLLs that every supported Windows (7 and
#     later) has, and none of the functions that toolchains are known to pull in from later ones;
#     1, having listed what is wrong, otherwise.

# Every one of them is part of Windows 7 (msvcrt.dll included: the system's own C runtime).
windows_allowed_dlls="advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll
  ole32.dll oleacc.dll oleaut32.dll setupapi.dll shell32.dll shlwapi.dll user32.dll version.dll
  ws2_32.dll"
# Functions of Windows 8 and later that a newer runtime or library may import by name.
windows_later_functions="GetSystemTimePreciseAsFileTime CreateFile2 SetThreadDescription
  GetThreadDescription WaitOnAddress WakeByAddressSingle WakeByAddressAll
  GetCurrentThreadStackLimits SetDefaultDllDirectories AddDllDirectory"

windows_check_imports() {
  local exe dll function bad=0 dlls
  local allowed=" ${windows_allowed_dlls//$'\n'/ } " later=" ${windows_later_functions//$'\n'/ } "
  for exe in "$@"; do
    dlls=0
    # "DLL Name: KERNEL32.dll", then the functions taken from it: "<vma> <hint> <name>".
    while read -r dll function; do
      if [ "$function" = "" ]; then
        dlls=$((dlls + 1))
        if [[ "$allowed" != *" ${dll,,} "* ]]; then
          echo "$exe imports $dll, which not every Windows has" >&2
          bad=1
        fi
      elif [[ "$later" == *" $function "* ]]; then
        echo "$exe imports $function from $dll, which Windows 7 lacks" >&2
        bad=1
      fi
    done < <(x86_64-w64-mingw32-objdump -p "$exe" | awk '
      /^\tDLL Name: / { dll = $3; print dll; next }
      dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll, $3 }')
    # An objdump that read nothing would pass anything.
    if ((dlls == 0)); then
      echo "$exe: no imports read" >&2
      bad=1
    fi
  done
  return $bad
}

windows_installer() {
  local stage=$1 arch=$2 version=$3 icon=$4 outfile=$5 stub=${6:-} log file
  log=$(mktemp)
  makensis -V4 -INPUTCHARSET UTF8 -DVERSION="$version" -DARCH="$arch" -DSTAGE="$stage" \
    -DICON="$icon" -DOUTFILE="$outfile" ${stub:+-DSTUB="$stub"} packaging/windows/qelpupd.nsi \
    >"$log" 2>&1 || { cat "$log" >&2; rm -f "$log"; return 1; }
  for file in "$stage"/*; do
    grep -q "^File: \"${file##*/}\"" "$log" || {
      echo "$outfile does not carry ${file##*/}" >&2
      rm -f "$log"
      return 1
    }
  done
  rm -f "$log"
}

windows_package() {
  local build arch=$2 version strip format
  build=$(cd "$1" && pwd)
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  strip=$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$build/CMakeCache.txt")
  local programs=("$build/src/app/qelpupd.exe" "$build/src/cli/qelpupd-cli.exe")
  windows_check_imports "${programs[@]}" || return 1
  case $arch in
    win64) format=pei-x86-64 ;;
    win32) format=pei-i386 ;;
    *) echo "unknown architecture $arch" >&2; return 1 ;;
  esac
  local name=QelpUpd-$version-$arch
  windows_stage=$build/package/$name
  rm -rf "$build/package"
  mkdir -p "$windows_stage"
  "$strip" -o "$windows_stage/qelpupd.exe" "${programs[0]}"
  "$strip" -o "$windows_stage/qelpupd-cli.exe" "${programs[1]}"
  local exe
  for exe in "$windows_stage"/*.exe; do
    x86_64-w64-mingw32-objdump -f "$exe" | grep -q "file format $format" ||
      { echo "$exe is not $format" >&2; return 1; }
  done
  # Notepad of old wants CRLF.
  sed "s/@VERSION@/$version/; s/\$/\r/" packaging/windows/README.txt >"$windows_stage/README.txt"
  windows_zip=$build/$name.zip
  rm -f "$windows_zip"
  (cd "$build/package" && cmake -E tar cf "$windows_zip" --format=zip "$name")
  # The installer's own icon, not packed into the zip.
  cp "$build/src/res/generated/qelpupd.ico" "$build/package/qelpupd.ico"
  windows_setup=$build/$name-setup.exe
  windows_installer "$windows_stage" "$arch" "$version" "$build/package/qelpupd.ico" \
    "$windows_setup" || return 1
  x86_64-w64-mingw32-objdump -f "$windows_setup" | grep -q "file format $format" ||
    { echo "$windows_setup is not $format" >&2; return 1; }
}
