#!/usr/bin/env bash
# Installs the Debian packages a job needs: `deps.sh build` for building and
# rendering, `deps.sh test` for the test run as well, `deps.sh windows` for the
# Windows cross-build and its tests under wine. apt-get runs only when
# something is missing, through sudo when not root. Hosts the tests drive
# (amsynth, qtractor, ardour, jalv with jackd2) are optional: if they cannot be
# installed, their tests skip and say why.
set -euo pipefail

build_packages=(build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  libsndfile1-dev libcairo2-dev libx11-dev libfontconfig-dev fonts-liberation libebur128-dev lv2-dev)
test_packages=(xvfb xauth xdotool libxtst-dev x11-utils clang libclang-rt-14-dev liblilv-dev lilv-utils sordi)
optional_packages=(amsynth qtractor ardour jalv jackd2)
# The Windows cross-build (tools/windows.sh) and its tests under wine64.
windows_packages=(cmake g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
  binutils-mingw-w64-x86-64 googletest wine wine64 xvfb xauth fonts-liberation)

wanted=("${build_packages[@]}")
optional=()
case "${1:-build}" in
  test)
    wanted+=("${test_packages[@]}")
    optional=("${optional_packages[@]}")
    ;;
  windows) wanted=("${windows_packages[@]}") ;;
esac

missing() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive

need=$(missing "${wanted[@]}" "${optional[@]}")
if [ -z "$need" ]; then exit 0; fi

"${sudo_cmd[@]}" apt-get update -qq
need=$(missing "${wanted[@]}")
if [ -n "$need" ]; then
  # shellcheck disable=SC2086
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends $need
fi
for p in $(missing "${optional[@]}"); do
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$p" ||
    echo "deps.sh: optional package $p could not be installed; its tests will skip" >&2
done
