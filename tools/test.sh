#!/usr/bin/env bash
# Installs what is missing, then builds and runs the tests: every test in
# the optimised build (lodepng compiled in from Debian's source package),
# every test under AddressSanitizer and UndefinedBehaviorSanitizer stopping
# at the first finding, the library and service tests under
# ThreadSanitizer, and that a build against Debian's shared liblodepng, the
# fallback when the source cannot be had, draws the same diagrams.
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

# Line tables only (-g1): the findings' stacks keep their lines, and the
# compiler writes a fraction of the debug information.
sanitizers="-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all -fno-omit-frame-pointer -O1"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_CXX_FLAGS="$sanitizers" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" -DTIB_BUILD_BENCHMARKS=OFF -DTIB_LODEPNG=$lodepng
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

# ThreadSanitizer over what runs on several threads: renders from shared
# artwork, the service's workers, queue, counters and log thread, GIF
# writers sharing a palette, the text renderer's caches, and tib-game --all
# drawing games on several threads.
# It builds only those tests (TIB_TESTS=threads).
tsan="-fsanitize=thread -fno-omit-frame-pointer -O1"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_CXX_FLAGS="$tsan" \
  -DCMAKE_EXE_LINKER_FLAGS="$tsan" -DTIB_BUILD_BENCHMARKS=OFF -DTIB_LODEPNG=$lodepng -DTIB_TESTS=threads
cmake --build build-tsan -j "$jobs" --target tib_tests gif_tests text_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" -R \
  'Render|ServerQueueTest|ServerLogTest|ServerTest\.(ServesTheBytesTibWrites|TagsCacheAndKeepsConnectionsOpen|MetricsCountWhatWasAnswered|RendersForClientsThatLeftAreSkippedAndTheQueueIsBounded|AClientWhoseInputEndsBeforeItsDiagramIsReadyHasLeft)$|GifWriter\.WritersOnSeveralThreadsShareOnePalette$|TextRenderer\.GivesTheSameMasksFromManyThreads$|TibGame\.AllGames'

# The program against Debian's shared liblodepng writes the bytes the fast
# build writes, diagram for diagram, and reads broken artwork as it does
# (the tests above hold the texts of each refusal).
cmake -S . -B build-system -DCMAKE_BUILD_TYPE=Release -DTIB_BUILD_TESTS=OFF \
  -DTIB_BUILD_BENCHMARKS=OFF -DTIB_LODEPNG=system
cmake --build build-system -j "$jobs" --target tib
bash tools/same-diagrams.sh build/tib build-system/tib
