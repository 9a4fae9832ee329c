#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test three times: the
# optimised build (lodepng compiled in from Debian's source package), a
# build under AddressSanitizer and UndefinedBehaviorSanitizer that stops at
# the first finding, and an optimised build against Debian's shared
# liblodepng, the fallback when the source cannot be had.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
jobs=$(nproc)
# CI insists on the fast build instead of falling back quietly.
lodepng=auto
[ "${CI:-}" = true ] && lodepng=source

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTIB_BUILD_TESTS=ON -DTIB_LODEPNG=$lodepng
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

sanitizers="-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="$sanitizers" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" -DTIB_LODEPNG=$lodepng
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

cmake -S . -B build-system -DCMAKE_BUILD_TYPE=Release -DTIB_BUILD_TESTS=ON \
  -DTIB_BUILD_BENCHMARKS=OFF -DTIB_LODEPNG=system
cmake --build build-system -j "$jobs"
ctest --test-dir build-system --output-on-failure -j "$jobs"
