#!/usr/bin/env bash
# Builds the Debian package, installs it with apt-get and checks it the way an operator meets it:
#   1. the package: name, version, section and dependencies (the Qt 6 widgets runtime, the font);
#   2. the installed files: program, simulator, menu entry, icons, metainfo and man pages, the
#      metadata through the validators a distribution uses;
#   3. an update: the installed qelpupd against the installed qelp-device-simulator under Xvfb,
#      the port dialog and the success box answered with xdotool.
# Exits 0 only when everything passed, the simulator reported "result: match" and qelpupd exited.
#
# Needs root or sudo (apt-get). Leaves the package installed; an installed qelpupd is purged first,
# so that the freshly built one is what gets checked. Build tree: build-package/. JOBS sets the
# build's parallelism (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-package
jobs=${JOBS:-2}
export LC_ALL=C.UTF-8

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
step() { echo "== $*"; }

step "tools"
scripts/install-deps.sh
extra=()
for p in dpkg-dev desktop-file-utils appstream man-db; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || extra+=("$p")
done
if ((${#extra[@]})); then
    echo "Installing: ${extra[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${extra[@]}" >/dev/null
fi

step "build the package"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQELPUPD_SANITIZE= \
    -DQELPUPD_BUILD_TESTS=OFF -DQELPUPD_BUILD_BENCH=OFF >/dev/null
rm -f "$build"/qelpupd_*.deb
cmake --build "$build" -j "$jobs" --target package
debs=("$build"/qelpupd_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one qelpupd_*.deb in $build, found: ${debs[*]}"
deb=${debs[0]}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"

step "package control fields"
dpkg-deb -I "$deb"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = qelpupd ] || fail "Package is \"$(field Package)\""
[ "$(field Version)" = "$version" ] || fail "Version is \"$(field Version)\", the project's is $version"
[ "$(field Section)" = utils ] || fail "Section is \"$(field Section)\""
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
depends=$(field Depends)
for needed in libqt6widgets6 fonts-ipafont-gothic libc6; do
    grep -Eq "(^|, )$needed( |,|$)" <<<"$depends" || fail "Depends lacks $needed: $depends"
done

step "install with apt-get"
if dpkg-query -W -f='${Status}' qelpupd 2>/dev/null | grep -q "ok installed"; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y -qq qelpupd >/dev/null
fi
# Fresh lists for the dependencies; without a network, what is installed already may do.
$SUDO apt-get update -qq || echo "apt-get update failed; trying with the package lists at hand"
(cd "$build" && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y ./qelpupd_*.deb)
dpkg-query -W -f='${Status} ${Version}\n' qelpupd | grep -q "install ok installed $version" ||
    fail "qelpupd $version is not installed"

step "installed files"
listed=$(dpkg -L qelpupd)
desktop=$(grep -E '^/usr/share/applications/[^/]+\.desktop$' <<<"$listed" || true)
metainfo=$(grep -E '^/usr/share/metainfo/[^/]+\.metainfo\.xml$' <<<"$listed" || true)
[ "$(wc -w <<<"$desktop")" -eq 1 ] || fail "expected one desktop file, the package lists: $desktop"
[ "$(wc -w <<<"$metainfo")" -eq 1 ] || fail "expected one metainfo file, the package lists: $metainfo"
app_id=$(basename "$desktop" .desktop)
[ "$(basename "$metainfo" .metainfo.xml)" = "$app_id" ] || fail "$metainfo does not match $desktop"

icons=/usr/share/icons/hicolor
man1=/usr/share/man/man1
expected=(
    /usr/bin/qelpupd /usr/bin/qelp-device-simulator "$desktop" "$metainfo"
    "$icons"/{16x16,32x32,48x48,256x256}/apps/qelpupd.png "$icons"/scalable/apps/qelpupd.svg
    "$man1"/qelpupd.1.gz "$man1"/qelp-device-simulator.1.gz
)
for path in "${expected[@]}"; do
    grep -qxF "$path" <<<"$listed" || fail "the package does not hold $path"
    # A minimal image's dpkg path-exclude drops documentation silently.
    [ -e "$path" ] || fail "$path is listed but missing on disk (see path-exclude in /etc/dpkg/dpkg.cfg.d)"
done
[ -x /usr/bin/qelpupd ] && [ -x /usr/bin/qelp-device-simulator ] || fail "the programs are not executable"

# A PNG's IHDR chunk holds width and height as 32-bit big-endian numbers at offset 16.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8 }'; }
for size in 16 32 48 256; do
    actual=$(png_size "$icons/${size}x$size/apps/qelpupd.png")
    [ "$actual" = "${size}x$size" ] || fail "$icons/${size}x$size/apps/qelpupd.png is $actual"
done

grep -q "^Exec=qelpupd$" "$desktop" || fail "$desktop does not run qelpupd"
grep -q "^Icon=qelpupd$" "$desktop" || fail "$desktop does not name the icon qelpupd"
grep -q "<release version=\"$version\"" "$metainfo" || fail "$metainfo does not carry version $version"
for page in qelpupd qelp-device-simulator; do
    [ "$(man -w "$page")" = "$man1/$page.1.gz" ] || fail "man does not find $page(1)"
    zcat "$man1/$page.1.gz" | grep -q "^\.TH .*\"qelpupd $version\"" || fail "$page(1) does not carry version $version"
done
sh packaging/validate-metadata.sh "$desktop" "$metainfo" "$man1"/qelpupd.1.gz "$man1"/qelp-device-simulator.1.gz ||
    fail "the installed metadata did not validate"

step "an update with the installed programs"
source "$root/scripts/lib/virtual_display.sh"
source "$root/scripts/lib/operator.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/qelpupd-check.XXXXXX")
sim_pid="" tool_pid=""
cleanup() {
    local pid
    for pid in "$tool_pid" "$sim_pid"; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    done
    stop_virtual_display
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

show_logs() {
    local log
    for log in "$work"/sim.log "$work"/qelpupd.log "$work"/xvfb.log; do
        [ -s "$log" ] && { echo "-- $(basename "$log"):"; cat "$log"; }
    done
    if [ -n "${DISPLAY:-}" ] && command -v import >/dev/null; then
        import -window root "$build/check-failure.png" 2>/dev/null &&
            echo "-- screen at the failure: $build/check-failure.png"
    fi
}
run_fail() {
    show_logs >&2
    fail "$*"
}

# An odd length, so that the last write is a short block; random bytes, so that every value crosses.
head -c 10123 /dev/urandom >"$work/7118K-TEST.UPF"

(cd "$work" && exec /usr/bin/qelp-device-simulator --data 7118K-TEST.UPF --linger-ms 30000) \
    >"$work/sim.log" 2>&1 &
sim_pid=$!
wait_for 10 grep -q '^/dev/' "$work/sim.log" || run_fail "the simulator printed no terminal path"
slave=$(head -n 1 "$work/sim.log")
echo "simulator on $slave"

start_virtual_display "$work" || run_fail "no virtual display"

# The update record of a check goes to the working folder, not to the home folder.
(cd "$work" && QELPUPD_COM1=$slave XDG_STATE_HOME=$work/state \
    exec /usr/bin/qelpupd) \
    >"$work/qelpupd.log" 2>&1 &
tool_pid=$!

port_dialog=$(find_window 30 '^通信ポートの選択$') || run_fail "the port dialog did not appear"
press "$port_dialog" Return || run_fail "the port dialog took no Enter"
echo "port dialog answered: COM1"

# The simulator judges the transfer once the tool has closed the port; until then its end line
# says which box the tool shows.
wait_for 120 grep -q '^device> Versionup succeed' "$work/sim.log" ||
    run_fail "the simulated device did not finish the update"

# The boxes carry the program's name, "qelpupd"; the main window is "QelpUpd". The search ignores
# case, so the names are compared here.
find_box() {
    local id
    for id in $(xdotool search --onlyvisible --name '^qelpupd$' 2>/dev/null); do
        if [ "$(xdotool getwindowname "$id")" = qelpupd ]; then
            box=$id
            return 0
        fi
    done
    return 1
}
wait_for 30 find_box || run_fail "the result box did not appear"
press "$box" Return || run_fail "the result box took no Enter"
echo "result box answered"

tool_ended() { ! kill -0 "$tool_pid" 2>/dev/null; }
wait_for 30 tool_ended || run_fail "qelpupd did not exit after the result box"
tool_status=0
wait "$tool_pid" || tool_status=$?
tool_pid=""
[ "$tool_status" -eq 0 ] || run_fail "qelpupd exited with status $tool_status"

sim_ended() { ! kill -0 "$sim_pid" 2>/dev/null; }
wait_for 30 sim_ended || run_fail "the simulator stayed after qelpupd closed the port"
sim_status=0
wait "$sim_pid" || sim_status=$?
sim_pid=""
grep -qx 'result: match' "$work/sim.log" ||
    run_fail "the simulator reported: $(grep '^result:' "$work/sim.log" || echo nothing)"
[ "$sim_status" -eq 0 ] || run_fail "the simulator exited with status $sim_status"
jq -e --arg device "$slave" '.outcome == "succeeded" and .device == $device' \
    "$work/state/qelpupd/updates.log" >/dev/null ||
    run_fail "qelpupd left no record of the update in $work/state/qelpupd/updates.log"

cat "$work/sim.log"
echo "PASS: $(basename "$deb") installs, validates and updates the simulated device"
