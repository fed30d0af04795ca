#!/usr/bin/env bash
# Feeds a plug-in to Qtractor's out-of-process VST scanner, which reads
# "VST2:<path>" lines on standard input and prints one line per plug-in:
#   VST|<name>|<audio in>:<out>|<midi in>:<out>|<params in>:<out>|<flags>|<path>|<index>|<unique id>
# and checks what a real host learns about Morvelith. Exit 77 means skipped.
set -uo pipefail
plugin=${1:?usage: qtractor_scan.sh PLUGIN.so}

scanner=""
for candidate in /usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan /usr/lib/qtractor/qtractor_plugin_scan \
  "$(command -v qtractor_plugin_scan 2>/dev/null)"; do
  if [ -n "$candidate" ] && [ -x "$candidate" ]; then scanner=$candidate; break; fi
done
if [ -z "$scanner" ] && command -v dpkg >/dev/null; then
  scanner=$(dpkg -L qtractor 2>/dev/null | grep '/qtractor_plugin_scan$' | head -n 1)
fi
if [ -z "$scanner" ]; then
  echo "SKIP: Qtractor's plug-in scanner is not installed (Debian package qtractor)"
  exit 77
fi
if [ ! -f "$plugin" ]; then
  echo "SKIP: $plugin has not been built"
  exit 77
fi

# The scanner needs no display; a scratch HOME keeps plug-ins from writing into ours.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
report=$(echo "VST2:$plugin" | HOME=$scratch QT_QPA_PLATFORM=offscreen timeout 30 "$scanner" 2>"$scratch/stderr")
status=$?
echo "scanner: $scanner (exit $status)"
echo "report:  $report"
if [ -s "$scratch/stderr" ]; then echo "stderr:"; cat "$scratch/stderr"; fi

fail=0
check() {  # check <description> <actual> <expected>
  if [ "$2" = "$3" ]; then echo "ok:   $1 = $2"; else echo "FAIL: $1 is '$2', expected '$3'"; fail=1; fi
}
# The scanner makes a second instance it never closes; unloading must survive that.
check "scanner exit status" "$status" "0"
line=$(printf '%s\n' "$report" | grep -m 1 '^VST|')
if [ -z "$line" ]; then
  echo "FAIL: the scanner listed no VST plug-in"
  exit 1
fi
IFS='|' read -r type name audio midi controls flags path index uid <<<"$line"
check "type" "$type" "VST"
check "name" "$name" "Morvelith"
check "audio inputs:outputs" "$audio" "0:2"
check "MIDI inputs" "${midi%%:*}" "1"
check "parameters" "${controls%%:*}" "181"
check "path" "$path" "$plugin"
check "unique id" "$uid" "0x7a71346b"  # 'zq4k'
for flag in GUI EXT; do
  case ",$flags," in
    *",$flag,"*) echo "ok:   flag $flag present ($flags)";;
    *) echo "FAIL: flag $flag missing from '$flags'"; fail=1;;
  esac
done
exit $fail
