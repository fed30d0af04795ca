#!/usr/bin/env bash
# Feeds a plug-in to Ardour's VST 2 scanner (ardour-vst-scanner, Debian package
# ardour), the helper Ardour runs out of process for every plug-in it finds,
# and checks what it wrote into its cache: the plug-in accepted as an
# instrument named Morvelith by Brastonel, id 'zq4k', 0 audio inputs and 2
# outputs, one MIDI input, replacing processing and an editor. Exit 77 means skipped.
set -uo pipefail
plugin=${1:?usage: ardour_scan.sh PLUGIN.so}

scanner=""
for candidate in /usr/lib/ardour*/ardour-vst-scanner; do
  if [ -x "$candidate" ]; then scanner=$candidate; fi
done
if [ -z "$scanner" ] && command -v dpkg >/dev/null; then
  scanner=$(dpkg -L ardour 2>/dev/null | grep '/ardour-vst-scanner$' | head -n 1)
fi
if [ -z "$scanner" ]; then
  echo "SKIP: Ardour's VST scanner is not installed (Debian package ardour)"
  exit 77
fi
if [ ! -f "$plugin" ]; then
  echo "SKIP: $plugin has not been built"
  exit 77
fi

# The scanner links Ardour's private libraries beside it (Ardour's launcher
# sets the same path); a scratch home and cache keep it out of ours.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
output=$(HOME=$scratch XDG_CACHE_HOME=$scratch/cache XDG_CONFIG_HOME=$scratch/config \
  LD_LIBRARY_PATH=$(dirname "$scanner")${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH} \
  timeout 30 "$scanner" --force --verbose "$plugin" 2>&1)
status=$?
echo "scanner: $scanner (exit $status)"
echo "$output"

fail=0
check() {  # check <description> <actual> <expected>
  if [ "$2" = "$3" ]; then echo "ok:   $1 = $2"; else echo "FAIL: $1 is '$2', expected '$3'"; fail=1; fi
}
check "scanner exit status" "$status" "0"
cache=$(find "$scratch/cache" -name '*.v2i' 2>/dev/null | head -n 1)
if [ -z "$cache" ]; then
  echo "FAIL: the scanner wrote no cache entry, so Ardour would not list the plug-in"
  exit 1
fi
info=$(grep -m 1 '<VST2Info' "$cache")
attribute() { sed -n "s/.* $1=\"\([^\"]*\)\".*/\1/p" <<<"$info"; }
check "binary" "$(sed -n 's/.*binary="\([^"]*\)".*/\1/p' "$cache" | head -n 1)" "$plugin"
check "id" "$(attribute id)" "$((0x7a71346b))"  # 'zq4k'
check "name" "$(attribute name)" "Morvelith"
check "creator" "$(attribute creator)" "Brastonel"
check "category" "$(attribute category)" "Instrument"
check "audio inputs" "$(attribute n_inputs)" "0"
check "audio outputs" "$(attribute n_outputs)" "2"
check "MIDI inputs" "$(attribute n_midi_inputs)" "1"
check "MIDI outputs" "$(attribute n_midi_outputs)" "0"
check "instrument" "$(attribute is_instrument)" "1"
check "replacing processing" "$(attribute can_process_replace)" "1"
check "editor" "$(attribute has_editor)" "1"
exit $fail
