#!/usr/bin/env bash
# Regenerates the artwork and fails when it differs from the committed files.
set -euo pipefail
cd "$(dirname "$0")/.."
extra=(librsvg2-bin fonts-dejavu-core python3)
command -v npm >/dev/null || extra+=(nodejs npm)
bash tools/install-deps.sh "${extra[@]}"
python3 tools/artwork/generate.py
if ! git diff --quiet -- artwork; then
  git diff --stat -- artwork
  echo "artwork/ differs from what tools/artwork/generate.py writes"
  exit 1
fi
echo "artwork regenerates byte for byte"
