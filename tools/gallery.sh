#!/usr/bin/env bash
# The factory bank's preview gallery: renders every factory program 0..75 with
# morvelith-render playing a phrase that suits it (basses low, leads in the
# middle, keys, hits or long notes; all at 120 BPM), paints a spectrogram of
# each, measures each (integrated loudness, true peak, tail length, as the
# bank's tests do) and writes one HTML page listing them with a player, the
# picture and the figures, and the bank's loudness spread in its summary.
#
#   tools/gallery.sh [BUILD_DIR [OUT_DIR]]     (defaults: build, gallery)
#
# Needs what tools/deps.sh build installs (cmake, g++, libsndfile, cairo, libebur128).
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
# The measurements render on their own, beside the previews below.
"$tools/morvelith-bank-measure" --plugin "$plugin" >"$out/measurements.tsv" 2>"$out/measurements.log" &
measuring=$!

html_escape() {
  local s=$1
  s=${s//&/&amp;}
  s=${s//</&lt;}
  s=${s//>/&gt;}
  s=${s//\"/&quot;}
  printf '%s' "$s"
}

# Previews and pictures first, while the measurements run.
while IFS=$'\t' read -r number phrase name; do
  stem=$(printf '%02d' "$number")
  "$render" --plugin "$plugin" --program "$number" --midi "$out/midi/$phrase.mid" --tempo 120 \
    --format pcm24 --out "$out/$stem.wav" >/dev/null
  "$tools/morvelith-sonogram" "$out/$stem.wav" "$out/$stem.png" "$number  $name"
  printf '\rRendered program %s' "$number" >&2
done <"$out/programs.tsv"
if ! wait "$measuring"; then
  cat "$out/measurements.log" >&2
  exit 1
fi

# Columns of measurements.tsv: program, name, LUFS, true peak dBTP, tail s, tail fall dB.
figure() { awk -F'\t' -v p="$1" -v c="$2" 'NR > 1 && $1 == p { print $c }' "$out/measurements.tsv"; }
# The designed programs 0..74 (75 is reference data, exempt from the bank's limits).
summary=$(awk -F'\t' 'NR > 1 && $1 <= 74 { n++; v[n] = $3; name[n] = $2 }
  END {
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] < v[i]) {
      t = v[i]; v[i] = v[j]; v[j] = t; t = name[i]; name[i] = name[j]; name[j] = t }
    median = n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    printf "median %.1f LUFS; quietest %s at %.1f, loudest %s at %.1f: a spread of %.1f LU",
      median, name[1], v[1], name[n], v[n], v[n] - v[1] }' "$out/measurements.tsv")

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
.row { display: flex; align-items: flex-start; gap: 1.5em; margin-top: 0.5em; }
img { display: block; max-width: 100%; }
table.figures { border-collapse: collapse; font-size: 0.9em; }
table.figures th { text-align: left; font-weight: normal; color: #666; padding: 0.15em 1em 0.15em 0; }
table.figures td { text-align: right; font-variant-numeric: tabular-nums; }
</style>
</head>
<body>
<h1>Morvelith factory programs</h1>
<p>Each program plays its preview phrase at 120 BPM, velocity 100. Spectrograms: 30 Hz to 20 kHz on a
logarithmic axis, -100 to 0 dBFS from dark to bright. Beside each: integrated loudness of the phrase and one
second after it (ITU-R BS.1770, K-weighted and gated, by libebur128), its true peak, and how long after the
last note-off the sound still rises above -60 dBFS (followed for ten seconds).</p>
HEAD
  printf '<p><strong>Loudness of the designed programs 0&ndash;74:</strong> %s.</p>\n' "$(html_escape "$summary")"
  while IFS=$'\t' read -r number phrase name; do
    stem=$(printf '%02d' "$number")
    tail_s=$(figure "$number" 5)
    if [ "$(awk -v t="$tail_s" 'BEGIN { print (t >= 10.2) }')" = 1 ]; then tail_s="over 10"; fi
    printf '<section id="p%s">\n<h2>%s &mdash; %s <span class="phrase">(%s phrase)</span></h2>\n' \
      "$number" "$number" "$(html_escape "$name")" "$phrase"
    printf '<audio controls preload="none" src="%s.wav"></audio>\n<div class="row">\n' "$stem"
    printf '<img src="%s.png" alt="Spectrogram of %s" width="872" height="364">\n' \
      "$stem" "$(html_escape "$name")"
    printf '<table class="figures">\n<tr><th>Loudness</th><td>%s LUFS</td></tr>\n' "$(figure "$number" 3)"
    printf '<tr><th>True peak</th><td>%s dBTP</td></tr>\n' "$(figure "$number" 4)"
    printf '<tr><th>Tail</th><td>%s s</td></tr>\n</table>\n</div>\n</section>\n' "$tail_s"
  done <"$out/programs.tsv"
  printf '</body>\n</html>\n'
} >"$page"
printf '\nGallery: %s\n%s\n' "$page" "Loudness of programs 0-74: $summary" >&2
