#!/usr/bin/env bash
# The rooms' include rule, static analysis (clang-tidy, cppcheck,
# clang-format) and a valgrind
# memcheck run of one full diagram. Expects tools/test.sh to have built build/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh clang-tidy cppcheck clang-format valgrind

bash tools/check-rooms.sh

echo "clang-format"
clang-format --dry-run --Werror src/*/*.cpp src/*/*.h src/*/*/*.cpp src/*/*/*.h tests/*.cpp tests/*.h \
  fuzz/*.cpp bench/*.cpp

echo "clang-tidy"
# One file per run, as many runs as cores. The static analyzer's path
# checks take three quarters of the time on test bodies, which the sanitizer
# builds run anyway: the tests get every other check.
# Its compile commands come from a build folder of their own, configured
# without g++'s precompiled headers, which clang cannot read; only the
# project's own headers are reported.
cmake -S . -B build-tidy -DCMAKE_BUILD_TYPE=Release -DTIB_PRECOMPILED_HEADERS=OFF >/dev/null
project_headers="^$PWD/(src|tests|fuzz|bench)/"
tidy() {
  xargs -n 1 -P "$(nproc)" clang-tidy --quiet -p build-tidy --header-filter="$project_headers" "$@" 2>/dev/null
}
printf "%s\n" src/*/*.cpp src/*/*/*.cpp | tidy
printf '%s\n' tests/*.cpp | tidy --checks='-clang-analyzer-*'

echo "cppcheck"
cppcheck --enable=warning,style,performance,portability --error-exitcode=1 \
  --inline-suppr --std=c++17 --quiet --library=googletest -I src src tests fuzz

echo "valgrind memcheck"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd artwork && valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=all \
  --show-leak-kinds=all --suppressions="$OLDPWD/tools/valgrind.supp" -q "$OLDPWD/build/tib" \
  "fen=r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R2QKB1R b KQ - 3 8" \
  size=400 file="$out/diagram.png")
echo "checks passed"
