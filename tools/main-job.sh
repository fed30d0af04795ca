#!/usr/bin/env bash
# The main job: build the plug-in and its render host, install the plug-in
# into ~/.vst/ (where Linux hosts look) and render the demo phrase through
# the installed copy into demo.wav.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/deps.sh build
# A build directory of its own, so the test run keeps its own options.
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DMORVELITH_TESTS=OFF -DMORVELITH_BENCH=OFF
cmake --build build-release -j"$(nproc)" --target morvelith morvelith-render

mkdir -p "$HOME/.vst"
install -m 0755 build-release/morvelith.so "$HOME/.vst/morvelith.so"
echo "Installed $HOME/.vst/morvelith.so"

build-release/host/morvelith-render --plugin "$HOME/.vst/morvelith.so" --out demo.wav
echo "Rendered $root/demo.wav"
