#!/usr/bin/env bash
# Runs every command the README shows in a sh block, in order, as a new
# user pastes them into one shell after the quick start (tools/demo.sh and
# tools/test.sh have built build/): the quick start itself and the install
# line (which needs root and changes the system) are left out. Stops the
# servers the commands start in the background.
set -euo pipefail
cd "$(dirname "$0")/.."
script=$(mktemp)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -f "$script"' EXIT
{
  echo 'set -euo pipefail'
  awk '
    /^```sh$/ { inside = 1; block = ""; next }
    /^```/ && inside {
      inside = 0
      if (block !~ /tools\/demo\.sh|cmake --install/) printf "%s", block
      next
    }
    inside { block = block $0 "\n" }' README.md
  # Whatever the commands left running in the background.
  echo 'kill $(jobs -p) 2>/dev/null || true'
} >"$script"
echo "README commands:"
sed 's/^/  /' "$script"
bash "$script"
echo "every README command ran"
