#!/usr/bin/env bash
# The factory bank's preview gallery: renders every factory program 0..75 with
# morvelith-render playing a phrase that suits it (basses low, leads in the
# middle, keys, hits or long notes; all at 120 BPM), paints a spectrogram of
# each and writes one HTML page listing them with a player and the picture.
#
#   tools/gallery.sh [BUILD_DIR [OUT_DIR]]     (defaults: build, gallery)
#
# Needs what tools/deps.sh build installs (cmake, g++, libsndfile, cairo).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
out=$(realpath -m "${2:-$root/gallery}")
jobs=${JOBS:-2}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" >/dev/null
fi
cmake --build "$build" -j"$jobs" --target morvelith morvelith-render >/dev/null
cmake -S "$root/tools/gallery" -B "$build/gallery-tools" >/dev/null
cmake --build "$build/gallery-tools" -j"$jobs" >/dev/null

plugin="$build/morvelith.so"
render="$build/host/morvelith-render"
tools="$build/gallery-tools"
mkdir -p "$out/midi"
"$tools/morvelith-gallery-plan" --plugin "$plugin" --midi-dir "$out/midi" >"$out/programs.tsv"

html_escape() {
  local s=$1
  s=${s//&/&amp;}
  s=${s//</&lt;}
  s=${s//>/&gt;}
  s=${s//\"/&quot;}
  printf '%s' "$s"
}

page="$out/index.html"
{
  cat <<'HEAD'
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Morvelith factory programs</title>
<style>
body { font-family: "Liberation Sans", Arial, sans-serif; margin: 2em; background: #f4f4f2; color: #222; }
section { margin-bottom: 2.5em; }
h2 { font-size: 1.1em; margin: 0 0 0.4em 0; }
.phrase { color: #666; font-weight: normal; font-size: 0.9em; }
img { display: block; margin-top: 0.5em; max-width: 100%; }
</style>
</head>
<body>
<h1>Morvelith factory programs</h1>
<p>Each program plays its preview phrase at 120 BPM, velocity 100. Spectrograms: 30 Hz to 20 kHz on a
logarithmic axis, -100 to 0 dBFS from dark to bright.</p>
HEAD
  while IFS=$'\t' read -r number phrase name; do
    stem=$(printf '%02d' "$number")
    "$render" --plugin "$plugin" --program "$number" --midi "$out/midi/$phrase.mid" --tempo 120 \
      --format pcm24 --out "$out/$stem.wav" >/dev/null
    "$tools/morvelith-sonogram" "$out/$stem.wav" "$out/$stem.png" "$number  $name"
    printf '<section id="p%s">\n<h2>%s &mdash; %s <span class="phrase">(%s phrase)</span></h2>\n' \
      "$number" "$number" "$(html_escape "$name")" "$phrase"
    printf '<audio controls preload="none" src="%s.wav"></audio>\n' "$stem"
    printf '<img src="%s.png" alt="Spectrogram of %s" width="872" height="364">\n</section>\n' \
      "$stem" "$(html_escape "$name")"
    printf '\rRendered program %s' "$number" >&2
  done <"$out/programs.tsv"
  printf '</body>\n</html>\n'
} >"$page"
printf '\nGallery: %s\n' "$page" >&2
