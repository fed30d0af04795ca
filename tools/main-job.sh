#!/usr/bin/env bash
# The main job: build the plug-in and its render host, install the plug-in
# into ~/.vst/ (where Linux hosts look) and render the demo phrase through
# the installed copy into demo.wav.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DMORVELITH_TESTS=OFF -DMORVELITH_BENCH=OFF
cmake --build build -j"$(nproc)" --target morvelith morvelith-render

mkdir -p "$HOME/.vst"
install -m 0755 build/morvelith.so "$HOME/.vst/morvelith.so"
echo "Installed $HOME/.vst/morvelith.so"

build/host/morvelith-render --plugin "$HOME/.vst/morvelith.so" --out demo.wav
echo "Rendered $root/demo.wav"
