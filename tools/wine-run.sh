#!/usr/bin/env bash
# Runs a 64-bit Windows program under wine64: CTest's emulator for the Windows
# test programs (CMAKE_CROSSCOMPILING_EMULATOR). The first run initialises a
# private prefix (about 20 s, once, under a lock); every run keeps a persistent
# wineserver up so wine's helpers do not hold the output pipe after exit.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${MORVELITH_WINEPREFIX:-$root/build-windows/wine-prefix}
export WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
wine64=/usr/lib/wine/wine64

mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init >/dev/null 2>&1
    wineserver -w
  fi
) 9>"$WINEPREFIX.lock"

# Persistent for 60 s after the last program leaves; starting it again while
# one runs is harmless.
wineserver -p60 >/dev/null 2>&1 || true
exec "$wine64" "$@"
