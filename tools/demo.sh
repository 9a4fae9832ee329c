#!/usr/bin/env bash
# Installs what is missing, builds tib and tib-game and renders the example
# diagrams of doc/ with the bundled artwork.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target tib tib-game

tib=$PWD/build/tib
doc=$PWD/doc
mkdir -p "$doc"
middlegame="fen=r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R2QKB1R b KQ - 3 8"

cd artwork
"$tib" file="$doc/start.png"
"$tib" "$middlegame" file="$doc/middlegame.png"
"$tib" "$middlegame" file="$doc/middlegame-300.png" size=300
"$tib" "$middlegame" file="$doc/middlegame-scale1.png" scale=1
for theme in themes/*/; do
  name=$(basename "$theme")
  (cd "$theme" && "$tib" "$middlegame" file="$doc/theme-$name.png" size=400)
done
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
