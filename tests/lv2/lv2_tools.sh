#!/usr/bin/env bash
# The bundle through the LV2 tools a packager runs: lv2_validate (lv2-dev,
# sord_validate from sordi) must find no error, lv2info (lilv-utils) must list
# 120 control inputs, one atom input, one atom output and two audio outputs,
# and lv2bench (lilv-utils) must run the plug-in. Exit 77 means skipped.
# Usage: lv2_tools.sh validate|info|bench BUNDLE
set -uo pipefail
mode=${1:?usage: lv2_tools.sh validate|info|bench BUNDLE}
bundle=${2:?usage: lv2_tools.sh validate|info|bench BUNDLE}
uri=urn:morvelith:instrument

if [ ! -f "$bundle/manifest.ttl" ] || [ ! -f "$bundle/morvelith_lv2.so" ]; then
  echo "SKIP: the bundle $bundle has not been built"
  exit 77
fi
# LV2_PATH names a folder holding only this bundle, so nothing installed interferes.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
ln -s "$bundle" "$scratch/morvelith.lv2"
export LV2_PATH=$scratch

need() {  # need <tool> <package>
  if ! command -v "$1" >/dev/null; then
    echo "SKIP: $1 is not installed (Debian package $2)"
    exit 77
  fi
}

case $mode in
  validate)
    need lv2_validate lv2-dev
    need sord_validate sordi
    output=$(lv2_validate "$bundle"/*.ttl 2>&1)
    status=$?
    echo "$output" | tail -n 5
    summary=$(grep -E '^Found [0-9]+ errors' <<<"$output")
    if [ "$status" -ne 0 ] || [ "$summary" = "" ] || ! grep -q '^Found 0 errors' <<<"$summary"; then
      echo "FAIL: lv2_validate exit $status, '${summary:-no summary}'"
      grep -E '^(error|warning)' <<<"$output" | head -n 20
      exit 1
    fi
    if grep -q '^warning' <<<"$output"; then
      echo "FAIL: lv2_validate warns"
      grep '^warning' <<<"$output" | head -n 20
      exit 1
    fi
    echo "ok: $summary"
    ;;
  info)
    need lv2info lilv-utils
    output=$(lv2info "$uri" 2>&1)
    status=$?
    if [ "$status" -ne 0 ]; then echo "FAIL: lv2info exit $status"; echo "$output"; exit 1; fi
    # Each port's "Type:" line is followed by its other classes, one a line:
    # one line per port with its classes sorted, e.g. "AudioPort+OutputPort".
    kinds=""
    classes=()
    flush() {
      if [ ${#classes[@]} -gt 0 ]; then
        kinds+=$(printf '%s\n' "${classes[@]}" | sort | paste -sd+)$'\n'
      fi
      classes=()
    }
    inport=0
    while IFS= read -r line; do
      if [[ $line =~ ^$'\t'Port\ [0-9]+: ]]; then flush; inport=1
      elif [ $inport = 1 ] && [[ $line =~ ^$'\t\t'(Type:)?\ +http.*#([A-Za-z]+)$ ]]; then classes+=("${BASH_REMATCH[2]}")
      elif [[ $line =~ ^$'\t\t'(Symbol|Name): ]]; then inport=0
      fi
    done <<<"$output"
    flush
    fail=0
    check() {  # check <classes> <expected count>
      local got; got=$(grep -cx "$1" <<<"$kinds")
      if [ "$got" = "$2" ]; then echo "ok:   $2 x $1"; else echo "FAIL: $got x $1, expected $2"; fail=1; fi
    }
    check "ControlPort+InputPort" 120
    check "AtomPort+InputPort" 1
    check "AtomPort+OutputPort" 1
    check "AudioPort+OutputPort" 2
    total=$(grep -cE $'^\tPort [0-9]+:' <<<"$output")
    if [ "$total" != 124 ]; then echo "FAIL: $total ports, expected 124"; fail=1; fi
    exit $fail
    ;;
  bench)
    need lv2bench lilv-utils
    output=$(timeout 120 lv2bench -n 88200 "$uri" 2>&1)
    status=$?
    echo "$output"
    if [ "$status" -ne 0 ]; then echo "FAIL: lv2bench exit $status"; exit 1; fi
    if ! grep -qE "^[0-9.]+ +$uri\$" <<<"$output"; then echo "FAIL: lv2bench did not time the plug-in"; exit 1; fi
    echo "ok: lv2bench ran the plug-in"
    ;;
  *)
    echo "unknown mode $mode"
    exit 2
    ;;
esac
