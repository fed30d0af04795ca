#!/usr/bin/env bash
# Cross-builds the Windows plug-in from the same CMake project, one tree per
# target: build-windows/x86/morvelith.dll (32-bit) and build-windows/x64/morvelith.dll.
# Installs what it needs first (mingw-w64 posix compilers, wine, the googletest
# source). `--tests` also builds the 64-bit test programs and runs them under
# wine64, with the 32-bit DLL's static checks and the file exchange with the
# Linux build in build/. Exits 77 when the packages cannot be installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
with_tests=OFF
if [ "${1:-}" = --tests ]; then with_tests=ON; fi

if ! bash tools/deps.sh windows; then
  echo "windows.sh: the mingw-w64, wine and googletest packages cannot be installed here" >&2
  exit 77
fi

# The mingw compilers go through ccache like the native ones when it is there.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
fi

# 32-bit Windows programs cannot run under this wine (nor where the kernel
# lacks 32-bit support), so the 32-bit tree builds the plug-in only and its
# checks are static; the tests run on the 64-bit DLL from the same sources.
for target in x86 x64; do
  tests=OFF
  if [ "$target" = x64 ]; then tests=$with_tests; fi
  start=$(date +%s)
  cmake -S . -B "build-windows/$target" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-$target.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVELITH_TESTS="$tests" -DMORVELITH_BENCH=OFF >/dev/null
  cmake --build "build-windows/$target" -j"$jobs"
  echo "windows.sh: build-windows/$target built in $(($(date +%s) - start)) s" \
    "(morvelith.dll $(stat -c %s "build-windows/$target/morvelith.dll") bytes)"
done

if [ "$with_tests" = ON ]; then
  start=$(date +%s)
  status=0
  (cd build-windows/x64 && ctest -j"$jobs" --output-on-failure --timeout 600) || status=$?
  # The persistent wineserver of the test runs is not left behind.
  WINEPREFIX="$root/build-windows/wine-prefix" wineserver -k 2>/dev/null || true
  echo "windows.sh: Windows tests ran in $(($(date +%s) - start)) s"
  exit $status
fi
