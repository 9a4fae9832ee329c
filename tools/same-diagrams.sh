#!/usr/bin/env bash
# Runs two builds of tib on the same diagrams (the bundled artwork, every
# theme, other sizes and scales) and on broken artwork, and fails unless
# they write the same bytes, say the same and exit the same.
#
#   tools/same-diagrams.sh TIB_A TIB_B
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -eq 2 ] || { echo "usage: tools/same-diagrams.sh TIB_A TIB_B"; exit 2; }
first=$(realpath "$1")
second=$(realpath "$2")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
middlegame="fen=r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R2QKB1R b KQ - 3 8"

# Runs both in folder $1 with the remaining arguments; compares.
both() {
  local folder=$1
  shift
  local name
  for name in first second; do
    local program=$first
    [ $name = second ] && program=$second
    (cd "$folder" && "$program" "$@" file="$out/$name.png" \
      >"$out/$name.out" 2>&1; echo "exit $?" >>"$out/$name.out") || true
    [ -f "$out/$name.png" ] || : >"$out/$name.png"
  done
  if ! cmp -s "$out/first.png" "$out/second.png" ||
    ! cmp -s "$out/first.out" "$out/second.out"; then
    echo "the two builds differ in $folder on: $*"
    diff "$out/first.out" "$out/second.out" || true
    exit 1
  fi
  rm -f "$out"/first.* "$out"/second.*
}

both artwork
both artwork "$middlegame"
both artwork "$middlegame" size=300
both artwork "$middlegame" scale=1
for theme in artwork/themes/*/; do
  both "$theme" "$middlegame" size=400
done

# Broken artwork: a board cut short, a sprite that is not a PNG.
cp -r artwork "$out/broken"
head -c 1000 artwork/t_board.png >"$out/broken/t_board.png"
both "$out/broken" "$middlegame"
cp artwork/t_board.png "$out/broken/t_board.png"
echo "not a picture" >"$out/broken/t_wk.png"
both "$out/broken" "$middlegame"
echo "the two builds draw the same diagrams"
