#!/usr/bin/env bash
# Which room of src/ may include which. chess and codec use nothing else of
# the project; the render library's rooms (src/tib/*/) stand in an order,
# each using the rooms below it and chess and codec; each program uses those
# and never another program. Every file of src/tib lies in a room. Reads
# every folder, subfolders included; prints every include that crosses the
# rule and fails. program holds what the three programs share at their edge
# (exit statuses, options), below them and above the board.
set -euo pipefail
cd "$(dirname "$0")/.."

tib_order=(tib/board tib/text tib/decoration)
allowed() {
  case $1 in
    chess) echo "chess" ;;
    codec) echo "codec" ;;
    tib/board) echo "tib/board chess codec" ;;
    tib/text) echo "tib/text tib/board chess codec" ;;
    tib/decoration) echo "tib/decoration tib/text tib/board chess codec" ;;
    tib/game) echo "tib/game ${tib_order[*]} chess codec" ;;
    tib/vector) echo "tib/vector ${tib_order[*]} chess codec" ;;
    tib/sheet) echo "tib/sheet tib/vector ${tib_order[*]} chess codec" ;;
    tib | tib/*) return 1 ;;
    program) echo "program ${tib_order[*]} chess codec" ;;
    *) echo "$1 program tib/sheet tib/vector tib/game ${tib_order[*]} chess codec" ;;
  esac
}

# The room of a path below src/: tib's rooms are one folder deeper.
room_of() {
  local path=$1
  case $path in
    tib/*/*) path=${path#tib/}; echo "tib/${path%%/*}" ;;
    tib/*) echo "tib" ;;
    *) echo "${path%%/*}" ;;
  esac
}

status=0
while IFS= read -r file; do
  relative=${file#src/}
  room=$(room_of "$relative")
  if ! rooms=" $(allowed "$room") "; then
    echo "$file: lies in no room of the render library"
    status=1
    continue
  fi
  while IFS=: read -r line include; do
    used=$(room_of "$include")
    if [[ $rooms != *" $used "* ]]; then
      echo "$file:$line: room $room may not include \"$include\""
      status=1
    fi
  done < <(grep -n -o -E '^#include "[a-z_]+/[^"]+"' "$file" | sed -E 's/#include "([^"]+)"/\1/')
done < <(find src -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
[ $status -eq 0 ] && echo "rooms: every include within the rule"
exit $status
