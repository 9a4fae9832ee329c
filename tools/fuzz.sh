#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each for FUZZ_SECONDS (default 60).
# Findings are written to build-fuzz/ as crash-* files.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh clang libclang-rt-14-dev
seconds=${FUZZ_SECONDS:-60}

flags="-fsanitize=fuzzer-no-link,address,undefined,float-cast-overflow -fno-sanitize-recover=all -g -O1"
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DTIB_BUILD_TESTS=OFF -DTIB_BUILD_FUZZERS=ON >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzz_run fuzz_sprite fuzz_request fuzz_head fuzz_encode fuzz_pgn fuzz_game_body

for target in run sprite request head encode pgn game_body; do
  # Absolute paths: the run target works in a folder of its own.
  work=$PWD/build-fuzz/corpus-$target
  mkdir -p "$work"
  echo "Fuzzing $target for $seconds s"
  build-fuzz/fuzz/fuzz_$target -max_total_time="$seconds" -max_len=65536 \
    -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$PWD/build-fuzz/" \
    "$work" "$PWD/fuzz/corpus/$target"
done
