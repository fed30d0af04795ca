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
# One run at a time sets up the prefix and the server: a persistent
# wineserver that stays 60 s after the last program leaves. When it has just
# started, wine's session processes are started too, with their output on
# /dev/null: started by a test program instead, they would keep its output
# pipe open as long as the server lives. None of them inherits the lock's
# descriptor, or they would hold the lock as long as they live.
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init >/dev/null 2>&1 9>&-
    wineserver -w 9>&-
  fi
  if wineserver -p60 >/dev/null 2>&1 9>&-; then
    wineboot >/dev/null 2>&1 </dev/null 9>&-
  fi
) 9>"$WINEPREFIX.lock"

exec "$wine64" "$@"
