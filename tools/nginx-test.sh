#!/usr/bin/env bash
# Two tib-server instances behind nginx with deploy/nginx/tib.conf, on
# 127.0.0.1 ports picked free: cache, conditional requests, the cache lock,
# the per-client limit, an instance killed and a rolling restart under load
# (tools/nginx-test.py). Installs nginx-light; nginx runs with a prefix,
# configuration and cache folder of its own and is stopped at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh nginx-light python3
build=${TIB_BUILD_DIR:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTIB_BUILD_TESTS=OFF \
    -DTIB_BUILD_BENCHMARKS=OFF >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target tib-server
# The whole test takes well under two minutes; this bounds a hang.
timeout --kill-after=10 180 python3 tools/nginx-test.py --server "$build/tib-server"
