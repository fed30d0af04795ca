#!/usr/bin/env bash
# The LV2 UI in a real host: jalv.gtk3 on a private Xvfb display with a dummy
# JACK server loads the bundle, embeds morvelith_lv2_ui.so in its window and
# keeps running with it for a few seconds. Checked from outside with xwininfo:
# an 865 x 555 window of ours inside the socket window jalv embeds UIs in. Exit 77 means skipped (with the reason).
set -uo pipefail
bundle=${1:?usage: jalv_ui.sh BUNDLE_DIR}
uri=urn:morvelith:instrument

for tool in jalv.gtk3:jalv Xvfb:xvfb jackd:jackd2 jack_wait:jackd2 xwininfo:x11-utils; do
  if ! command -v "${tool%%:*}" >/dev/null; then
    echo "SKIP: ${tool%%:*} is not installed (Debian package ${tool##*:})"
    exit 77
  fi
done
if [ ! -f "$bundle/morvelith_lv2_ui.so" ] || [ ! -f "$bundle/manifest.ttl" ]; then
  echo "SKIP: the bundle $bundle has not been built"
  exit 77
fi

scratch=$(mktemp -d)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  rm -rf "$scratch"
}
trap cleanup EXIT

# A display of our own (Xvfb picks a free number and prints it).
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.05; done
if [ ! -s "$scratch/display" ]; then echo "SKIP: Xvfb did not start"; exit 77; fi
export DISPLAY=":$(head -n 1 "$scratch/display")"

source "$(dirname "$0")/private_jack.sh"
start_private_jack "morvelith_ui_$$" "$scratch/jack.log"; started=$?
pids+=("$jack_pid")
[ $started = 0 ] || exit 77

# Only this bundle on the path; a scratch HOME keeps jalv's settings out of ours.
mkdir -p "$scratch/lv2" "$scratch/home"
ln -s "$(cd "$bundle" && pwd)" "$scratch/lv2/morvelith.lv2"
HOME="$scratch/home" LV2_PATH="$scratch/lv2" jalv.gtk3 -s "$uri" >"$scratch/jalv.log" 2>&1 &
jalv=$!
pids+=("$jalv")

# The UI's window: 865x555 without name or class, the child of an 865x555
# window of jalv's (the socket it embeds a UI into).
embedded() {
  xwininfo -root -tree 2>/dev/null >"$scratch/tree"
  awk '
    /jalv\.gtk3/ && / 865x555\+/ { socket = 1; next }
    /^ *[0-9]+ child(ren)?:/ { next }
    socket && /\(has no name\): \(\)  865x555\+/ { print; exit }
    { socket = 0 }' "$scratch/tree"
}
found=""
for _ in $(seq 100); do
  found=$(embedded)
  [ -n "$found" ] && break
  sleep 0.1
done
sleep 3  # the host runs on with the UI idling
alive=0
kill -0 "$jalv" 2>/dev/null && alive=1

echo "display: $DISPLAY, JACK server: $JACK_DEFAULT_SERVER"
echo "window tree:"; xwininfo -root -tree | grep -E 'jalv|865x' | sed 's/^/  /'
fail=0
if [ -n "$found" ]; then echo "ok:   an embedded 865x555 window: $found"; else echo "FAIL: no 865x555 window embedded in jalv"; fail=1; fi
if [ "$alive" = 1 ]; then echo "ok:   jalv still running after 3 s with the UI"; else echo "FAIL: jalv exited"; fail=1; fi
if grep -qiE 'failed to (instantiate|load).*ui|no (appropriate|usable) ui|ui .*unsupported' "$scratch/jalv.log"; then
  echo "FAIL: jalv reports a UI problem"; fail=1
fi
if [ "$fail" != 0 ]; then echo "jalv output:"; tail -n 30 "$scratch/jalv.log"; fi
exit "$fail"
