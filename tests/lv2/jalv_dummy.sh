#!/usr/bin/env bash
# jalv (Debian package jalv) runs the bundle as a JACK client of a private
# jackd on the dummy backend (jackd2), as on a machine without sound hardware:
# it must load the plug-in, register its ports and run three seconds without
# an error, then both leave cleanly. Exit 77 means skipped.
# Usage: jalv_dummy.sh BUNDLE
set -uo pipefail
bundle=${1:?usage: jalv_dummy.sh BUNDLE}
uri=urn:morvelith:instrument

for tool in jackd:jackd2 jalv:jalv jack_lsp:jackd2 jack_wait:jackd2; do
  if ! command -v "${tool%%:*}" >/dev/null; then
    echo "SKIP: ${tool%%:*} is not installed (Debian package ${tool##*:})"
    exit 77
  fi
done
if [ ! -f "$bundle/manifest.ttl" ] || [ ! -f "$bundle/morvelith_lv2.so" ]; then
  echo "SKIP: the bundle $bundle has not been built"
  exit 77
fi

scratch=$(mktemp -d)
mkdir "$scratch/lv2"
ln -s "$bundle" "$scratch/lv2/morvelith.lv2"
export LV2_PATH=$scratch/lv2
jack_pid=""
cleanup() {
  if [ -n "$jack_pid" ]; then kill "$jack_pid" 2>/dev/null; wait "$jack_pid" 2>/dev/null; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

source "$(dirname "$0")/private_jack.sh"
start_private_jack "morvelith-lv2-test-$$" "$scratch/jackd.log" || exit 77

# jalv's console reads commands on standard input and leaves at its end: three
# seconds of an open pipe are three seconds of running.
client=morvelith-test
start=$(date +%s.%N)
(sleep 3 | HOME=$scratch timeout 20 jalv -x -n "$client" "$uri" >"$scratch/jalv.log" 2>&1; echo $? >"$scratch/jalv.status") &
runner=$!
sleep 1.5
ports=$(jack_lsp 2>/dev/null | grep "^$client:" || true)
wait "$runner"
status=$(cat "$scratch/jalv.status")
elapsed=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
echo "jalv exit $status after ${elapsed}s; ports while running:"
echo "$ports"
head -n 8 "$scratch/jalv.log"

fail=0
if [ "$status" != 0 ]; then echo "FAIL: jalv exit status $status"; fail=1; fi
if ! grep -q "^Plugin: *$uri" "$scratch/jalv.log"; then echo "FAIL: jalv did not load $uri"; fail=1; fi
if grep -iqE "error|failed|unable" "$scratch/jalv.log"; then
  echo "FAIL: jalv reported a problem:"; grep -iE "error|failed|unable" "$scratch/jalv.log"; fail=1
fi
for port in midi_in out_left out_right; do
  if ! grep -q "^$client:$port\$" <<<"$ports"; then echo "FAIL: no JACK port $client:$port"; fail=1; fi
done
if awk -v e="$elapsed" 'BEGIN { exit !(e < 2.5) }'; then echo "FAIL: jalv stopped early"; fail=1; fi
if ! kill -0 "$jack_pid" 2>/dev/null; then echo "FAIL: jackd died"; fail=1; fi
[ $fail = 0 ] && echo "ok: jalv ran Morvelith for ${elapsed}s under jackd -d dummy"
exit $fail
