# shellcheck shell=bash
# Sourced by scripts/build-windows.sh.
#
# windows_package BUILD-DIR ARCH: makes, in BUILD-DIR, QelpUpd-<version>-<ARCH>.zip (both programs
# and README.txt, to unpack anywhere) and the NSIS installer QelpUpd-<version>-<ARCH>-setup.exe
# (packaging/windows/qelpupd.nsi). Prints the two paths.
windows_package() {
  local build arch=$2 version strip
  build=$(cd "$1" && pwd)
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  strip=$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$build/CMakeCache.txt")
  local name=QelpUpd-$version-$arch
  local stage=$build/package/$name
  rm -rf "$build/package"
  mkdir -p "$stage"
  "$strip" -o "$stage/qelpupd.exe" "$build/src/app/qelpupd.exe"
  "$strip" -o "$stage/qelpupd-cli.exe" "$build/src/cli/qelpupd-cli.exe"
  # Notepad of old wants CRLF.
  sed "s/@VERSION@/$version/; s/\$/\r/" packaging/windows/README.txt >"$stage/README.txt"
  rm -f "$build/$name.zip"
  (cd "$build/package" && cmake -E tar cf "../$name.zip" --format=zip "$name")
  # The installer's own icon, not packed into the zip.
  cp "$build/src/res/generated/qelpupd.ico" "$build/package/qelpupd.ico"
  makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage" \
    -DICON="$build/package/qelpupd.ico" -DOUTFILE="$build/$name-setup.exe" \
    packaging/windows/qelpupd.nsi >/dev/null
  echo "$build/$name.zip"
  echo "$build/$name-setup.exe"
}
