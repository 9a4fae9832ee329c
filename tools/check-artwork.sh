#!/usr/bin/env bash
# Regenerates the artwork and the picture of the piece sets, and fails when
# they differ from the committed files or leave files git does not know.
set -euo pipefail
cd "$(dirname "$0")/.."
extra=(librsvg2-bin fonts-dejavu-core python3)
command -v npm >/dev/null || extra+=(nodejs npm)
bash tools/install-deps.sh "${extra[@]}"
# The generator downloads pychess's package (not installed) for its pieces.
if [ ! -d tools/artwork/sources ] && ! apt-cache show pychess >/dev/null 2>&1; then
  if [ "$(id -u)" -eq 0 ]; then apt-get update -qq; else sudo apt-get update -qq; fi
fi
python3 tools/artwork/generate.py
generated=(artwork doc/pieces.png)
if ! git diff --quiet -- "${generated[@]}" ||
   [ -n "$(git status --porcelain --untracked-files=all -- "${generated[@]}")" ]; then
  git status --short --untracked-files=all -- "${generated[@]}"
  echo "artwork/ or doc/pieces.png differs from what tools/artwork/generate.py writes"
  exit 1
fi
echo "artwork regenerates byte for byte"
