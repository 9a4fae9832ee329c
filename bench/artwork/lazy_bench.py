#!/usr/bin/env python3
"""tib-server's artwork decoded when first drawn, measured on 127.0.0.1.

1. Start: seconds from the process's start to its "listening on" line, and
   its resident memory then, median of --runs, for the server and (with
   --baseline) another build side by side, such as one that decodes all the
   artwork at start.
2. /board.png at 400 with each piece set not yet decoded, against the same
   request once it is, and against the default theme's pieces: the median
   of each, over every set of --artwork, on one fresh server each --runs.

usage: lazy_bench.py --server build/tib-server [--baseline OLD] [--artwork artwork] [--runs 5]
"""
import argparse
import http.client
import os
import re
import statistics
import subprocess
import threading
import time

FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR+w"


def start(server, artwork):
    """The process, its port, the seconds it took to listen and its
    resident memory in MB then."""
    began = time.monotonic()
    process = subprocess.Popen(
        [server, "--listen", "127.0.0.1:0", "--artwork", artwork, "--threads", "1"],
        stderr=subprocess.PIPE, text=True)
    for line in process.stderr:
        found = re.search(r"listening on 127\.0\.0\.1:(\d+)", line)
        if found:
            seconds = time.monotonic() - began
            with open(f"/proc/{process.pid}/status") as status:
                rss = int(re.search(r"VmRSS:\s+(\d+)", status.read()).group(1)) / 1024
            threading.Thread(target=process.stderr.read, daemon=True).start()
            return process, int(found.group(1)), seconds, rss
    raise SystemExit(f"{server} did not start")


def stop(process):
    process.terminate()
    process.wait(timeout=10)


def timed(connection, target):
    began = time.perf_counter()
    connection.request("GET", target)
    answer = connection.getresponse()
    body = answer.read()
    if answer.status != 200 or not body:
        raise SystemExit(f"{target}: {answer.status}")
    return time.perf_counter() - began


def startup(name, server, artwork, runs):
    seconds, rss = [], []
    for _ in range(runs):
        process, _, took, memory = start(server, artwork)
        stop(process)
        seconds.append(took)
        rss.append(memory)
    print(f"start {name:9s} median {statistics.median(seconds) * 1000:7.1f} ms"
          f"  max {max(seconds) * 1000:7.1f} ms  RSS {statistics.median(rss):6.1f} MB")
    return statistics.median(rss)


def first_draws(server, artwork, runs):
    sets = sorted(name for name in os.listdir(os.path.join(artwork, "pieces"))
                  if os.path.exists(os.path.join(artwork, "pieces", name, "t_wb.png")))
    cold, warm, default = [], [], []
    for _ in range(runs):
        process, port, _, _ = start(server, artwork)
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
        plain = f"/board.png?fen={FEN}&size=400"
        timed(connection, plain)
        for name in sets:
            target = f"{plain}&piece={name}"
            default.append(timed(connection, plain))
            cold.append(timed(connection, target))
            warm.append(timed(connection, target))
        connection.close()
        stop(process)
    loaded = statistics.median(default)
    print(f"/board.png 400, {len(sets)} sets x {runs}: loaded (default pieces) "
          f"{loaded * 1000:.2f} ms, a set's first {statistics.median(cold) * 1000:.2f} ms "
          f"({statistics.median(cold) / loaded:.2f} x), its second "
          f"{statistics.median(warm) * 1000:.2f} ms ({statistics.median(warm) / loaded:.2f} x)")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True)
    parser.add_argument("--baseline")
    parser.add_argument("--artwork", default="artwork")
    parser.add_argument("--runs", type=int, default=5)
    options = parser.parse_args()
    rss = startup("lazy", options.server, options.artwork, options.runs)
    if options.baseline:
        base = startup("baseline", options.baseline, options.artwork, options.runs)
        print(f"RSS at start: {rss - base:+.1f} MB against the baseline")
    first_draws(options.server, options.artwork, options.runs)


if __name__ == "__main__":
    main()
