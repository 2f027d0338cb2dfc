#!/bin/sh
# Checks the desktop integration files with the validators a distribution runs on them:
#   validate-metadata.sh DESKTOP_FILE METAINFO_FILE MAN_PAGE...
# Exits 0 when all pass, 1 on the first failure, 77 (a skip for CTest) when a validator is missing.
# Used by the CTest "packaging.metadata" and by scripts/check-package.sh on the installed files.
set -eu

if [ $# -lt 3 ]; then
    echo "usage: $0 DESKTOP_FILE METAINFO_FILE MAN_PAGE..." >&2
    exit 2
fi
desktop=$1
metainfo=$2
shift 2

for tool in desktop-file-validate appstreamcli man; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is not installed (desktop-file-utils, appstream, man-db)"
        exit 77
    fi
done

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# desktop-file-validate prints hints and still exits 0; any output is a finding here.
report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate $desktop: $report"
[ -z "$report" ] || fail "desktop-file-validate $desktop: $report"
echo "ok: $desktop"

appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate $metainfo"
echo "ok: $metainfo"

# man -l renders the page as a reader sees it; --warnings makes groff report bad requests, unknown
# escapes and lines it could not fit, which otherwise vanish silently.
for page in "$@"; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) ||
        fail "man -l $page: $warnings"
    [ -z "$warnings" ] || fail "man -l $page: $warnings"
    rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -E UTF-8 -l "$page" 2>/dev/null)
    printf '%s\n' "$rendered" | grep -q '^NAME' || fail "man -l $page: no NAME section in the rendered page"
    # Examples are not filled: a long one runs past the reader's terminal. wc -L counts columns.
    width=$(printf '%s\n' "$rendered" | LC_ALL=C.UTF-8 wc -L)
    [ "$width" -le 80 ] || fail "man -l $page: a line is $width columns wide at MANWIDTH=80"
    echo "ok: $page"
done
