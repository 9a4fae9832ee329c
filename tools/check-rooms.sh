#!/usr/bin/env bash
# Which room of src/ may include which: chess and codec use nothing else of
# the project, tib uses both, each program uses those three and never
# another program. Prints every include that crosses the rule and fails.
set -euo pipefail
cd "$(dirname "$0")/.."

allowed() {
  case $1 in
    chess) echo "chess" ;;
    codec) echo "codec" ;;
    tib) echo "tib chess codec" ;;
    *) echo "$1 tib chess codec" ;;
  esac
}

status=0
for dir in src/*/; do
  room=$(basename "$dir")
  rooms=" $(allowed "$room") "
  while IFS=: read -r file line include; do
    used=${include%%/*}
    if [[ $rooms != *" $used "* ]]; then
      echo "$file:$line: room $room may not include \"$include\""
      status=1
    fi
  done < <(grep -n -o -E '^#include "[a-z_]+/[^"]+"' "$dir"*.h "$dir"*.cpp 2>/dev/null |
    sed -E 's/#include "([^"]+)"/\1/')
done
[ $status -eq 0 ] && echo "rooms: every include within the rule"
exit $status
