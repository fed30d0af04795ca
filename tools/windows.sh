#!/usr/bin/env bash
# Cross-builds the Windows plug-in from the same CMake project, one tree per
# target: build-windows/x86/morvelith.dll (32-bit) and build-windows/x64/morvelith.dll.
# Installs what it needs first (mingw-w64 posix compilers, wine, the googletest
# source). `--tests` also builds the 64-bit test programs, which run under wine64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
with_tests=OFF
if [ "${1:-}" = --tests ]; then with_tests=ON; fi

bash tools/deps.sh windows

# The mingw compilers go through ccache like the native ones when it is there.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
fi

# 32-bit programs cannot run on every machine (nor under this one's wine), so
# the 32-bit tree builds the plug-in only; its checks are static.
for target in x86 x64; do
  tests=OFF
  if [ "$target" = x64 ]; then tests=$with_tests; fi
  start=$(date +%s)
  cmake -S . -B "build-windows/$target" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-$target.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVELITH_TESTS="$tests" -DMORVELITH_BENCH=OFF >/dev/null
  cmake --build "build-windows/$target" -j"$jobs"
  echo "windows.sh: build-windows/$target/morvelith.dll built in $(($(date +%s) - start)) s"
done
