#!/usr/bin/env bash
# The main job: build the plug-in and its render host, install the plug-in
# into ~/.vst/ and the LV2 bundle into ~/.lv2/ (where Linux hosts look) and
# render the demo phrase through the installed VST copy into demo.wav.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/deps.sh build
# A build directory of its own, so the test run keeps its own options.
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DMORVELITH_TESTS=OFF -DMORVELITH_BENCH=OFF
# morvelith_lv2_bundle is the LV2 bundle: DSP, Turtle and, where it is built, the UI.
cmake --build build-release -j"$(nproc)" --target morvelith morvelith-render morvelith_lv2_bundle

mkdir -p "$HOME/.vst"
install -m 0755 build-release/morvelith.so "$HOME/.vst/morvelith.so"
echo "Installed $HOME/.vst/morvelith.so"

# The whole bundle replaces any older one, so no stale file stays behind.
bundle="$HOME/.lv2/morvelith.lv2"
rm -rf "$bundle"
install -d "$bundle"
install -m 0644 build-release/morvelith.lv2/*.ttl "$bundle/"
install -m 0755 build-release/morvelith.lv2/*.so "$bundle/"
echo "Installed $bundle ($(cd "$bundle" && echo *))"

build-release/host/morvelith-render --plugin "$HOME/.vst/morvelith.so" --out demo.wav
echo "Rendered $root/demo.wav"
