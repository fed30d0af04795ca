#!/usr/bin/env bash
# Ardour 7 (Debian package ardour) plays the LV2 Morvelith headless: its Lua
# session host ardour7-lua creates a session with a MIDI track whose
# instrument is the plug-in, records the track while a note plays on the
# dummy engine, and the recording must be audible. Exit 77 means skipped.
# Usage: ardour_render.sh BUNDLE
set -uo pipefail
bundle=${1:?usage: ardour_render.sh BUNDLE}
here=$(cd "$(dirname "$0")" && pwd)

lua=""
for candidate in ardour8-lua ardour7-lua ardour6-lua; do
  if command -v "$candidate" >/dev/null; then lua=$candidate; break; fi
done
if [ -z "$lua" ]; then
  echo "SKIP: Ardour's Lua session host (ardour7-lua, Debian package ardour) is not installed"
  exit 77
fi
if [ ! -f "$bundle/manifest.ttl" ] || [ ! -f "$bundle/morvelith_lv2.so" ]; then
  echo "SKIP: the bundle $bundle has not been built"
  exit 77
fi

# A scratch home and configuration; LV2_PATH holds this bundle (and the LV2
# core vocabulary), so an installed copy cannot stand in for the build's.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/lv2" "$scratch/home" "$scratch/config"
ln -s "$bundle" "$scratch/lv2/morvelith.lv2"
[ -d /usr/lib/lv2/core.lv2 ] && ln -s /usr/lib/lv2/core.lv2 "$scratch/lv2/core.lv2"

output=$(HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config LV2_PATH=$scratch/lv2 \
  MORVELITH_SESSION_DIR=$scratch/session timeout 120 "$lua" "$here/ardour_render.lua" 2>&1)
status=$?
grep -vE "patch:Set|encoder is not available" <<<"$output"

fail=0
if [ "$status" -ne 0 ]; then echo "FAIL: $lua exit status $status"; fail=1; fi
if grep -q '^FAIL' <<<"$output"; then fail=1; fi
if ! grep -q '^instrument: Morvelith' <<<"$output"; then echo "FAIL: the track's instrument is not Morvelith"; fail=1; fi
region=$(grep -m 1 '^region ' <<<"$output")
if [ -z "$region" ]; then
  echo "FAIL: Ardour recorded nothing"
  exit 1
fi
read -r _ _ _ frames _ peak _ rms <<<"$region"
# Close to two seconds were recorded (less on a loaded machine: the dummy engine
# keeps real time only roughly), and the note in it is plainly audible.
if [ "$frames" -lt 24000 ]; then echo "FAIL: only $frames frames recorded"; fail=1; fi
if ! awk -v p="$peak" -v r="$rms" 'BEGIN { exit !(p > 0.05 && r > 0.01) }'; then
  echo "FAIL: the recording is not audible (peak $peak, rms $rms)"
  fail=1
fi
[ $fail = 0 ] && echo "ok: Ardour recorded the LV2 Morvelith: $frames frames, peak $peak, rms $rms"
exit $fail
