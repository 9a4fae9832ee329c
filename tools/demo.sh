#!/usr/bin/env bash
# Installs what is missing, builds the three programs and renders the example
# diagrams of doc/ with the bundled artwork.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target tib tib-game tib-server

tib=$PWD/build/tib
doc=$PWD/doc
mkdir -p "$doc"
middlegame="fen=r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R2QKB1R b KQ - 3 8"

cd artwork
"$tib" file="$doc/start.png"
"$tib" "$middlegame" file="$doc/middlegame.png"
"$tib" "$middlegame" file="$doc/middlegame-300.png" size=300
"$tib" "$middlegame" file="$doc/middlegame-scale1.png" scale=1
for theme in blue ic purple pink; do
  (cd "themes/$theme" && "$tib" "$middlegame" file="$doc/theme-$theme.png" size=400)
done
# Every board, the start position on each, in one picture with their names:
# rsvg-convert lays out the diagrams tib draws.
boards=$(mktemp -d)
trap 'rm -rf "$boards"' EXIT
opening="fen=rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2"
names=(brown)
"$tib" "$opening" file="$boards/brown.png" size=144
for theme in themes/*/; do
  name=$(basename "$theme")
  names+=("$name")
  (cd "$theme" && "$tib" "$opening" file="$boards/$name.png" size=144)
done
columns=7
rows=$(((${#names[@]} + columns - 1) / columns))
{
  printf '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d">' \
    $((columns * 152 + 8)) $((rows * 172 + 8))
  printf '<rect width="100%%" height="100%%" fill="#ffffff"/>'
  for i in "${!names[@]}"; do
    x=$((8 + i % columns * 152))
    y=$((8 + i / columns * 172))
    printf '<image x="%d" y="%d" width="144" height="144" href="%s.png"/>' \
      "$x" "$y" "${names[$i]}"
    printf '<text x="%d" y="%d" text-anchor="middle" font-family="DejaVu Sans" font-size="14" fill="#222222">%s</text>' \
      $((x + 72)) $((y + 160)) "${names[$i]}"
  done
  printf '</svg>\n'
} >"$boards/boards.svg"
(cd "$boards" && rsvg-convert -o "$doc/boards.png" boards.svg)
cd "$doc/.."
build/tib-game --ply 31 -o "$doc/opera-ply31.png" --size 400 --artwork artwork "$doc/opera.pgn"
build/tib-game -o "$doc/opera.gif" --size 360 --artwork artwork "$doc/opera.pgn"
build/tib-game -o "$doc/opera-eval.webp" --size 360 --artwork artwork "$doc/opera-eval.pgn"
# The game with an engine's evaluations: the evaluation bar, material and
# judged moves.
build/tib-game --ply 20 --judge -o "$doc/opera-analysis.png" --size 400 --artwork artwork "$doc/opera-eval.pgn"
# A printed sheet of a file of games and puzzles, its page shown as a PNG.
build/tib-game --sheet "$doc/sheet.pdf" --artwork artwork "$doc/sheet.pgn"
pdftoppm -png -r 60 -singlefile "$doc/sheet.pdf" "$doc/sheet"
rm "$doc/sheet.pdf"
echo "Diagrams written to doc/: $(cd "$doc" && ls ./*.png ./*.gif | tr '\n' ' ')"
