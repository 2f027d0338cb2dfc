#!/usr/bin/env bash
# with_com_peer.sh PEER COMMAND...: runs COMMAND (a Windows test or benchmark, under wine) beside
# a wine_com_peer of its own (com_peer.cpp), and tells it where the peer listens through
# QELPUPD_COM_PEER. The ctest emulator of the tests that need a line; by hand, after
# `source scripts/lib/wine_env.sh; wine_env_start build-win64`:
#   tests/wine/with_com_peer.sh build/tests/wine/wine_com_peer wine build-win64/....exe
# Exits with COMMAND's status; shows the peer's own messages when that is not 0.
set -uo pipefail
peer=$1
shift
: "${WINEPREFIX:?no Wine prefix: start one with scripts/lib/wine_env.sh}"

work=$(mktemp -d)
"$peer" --dosdevices "$WINEPREFIX/dosdevices" --port-file "$work/port" >"$work/log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; rm -rf "$work"' EXIT

for _ in $(seq 200); do
  [ -s "$work/port" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.05
done
if [ ! -s "$work/port" ]; then
  echo "with_com_peer.sh: the peer did not start" >&2
  cat "$work/log" >&2
  exit 1
fi

QELPUPD_COM_PEER=127.0.0.1:$(cat "$work/port") "$@"
status=$?
if [ "$status" -ne 0 ] && [ -s "$work/log" ]; then
  echo "--- wine_com_peer:" >&2
  cat "$work/log" >&2
fi
exit "$status"
