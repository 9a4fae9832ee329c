#!/usr/bin/env python3
"""Streamed GIFs of tib-server, measured on 127.0.0.1.

1. Time to the first byte of a game's GIF at 720 against the time to the
   first byte of one 720 PNG of its last position, interleaved, minimum and
   median: doc/opera.pgn (33 plies) and a 93-ply game.
2. Eight clients each reading a 1000-frame GIF at 720 at 100 KB/s: the
   server's peak resident memory above its idle level (after one GIF made
   its palette).

usage: stream_bench.py --server build/tib-server [--runs 15] [--seconds 40]
"""
import argparse
import os
import re
import socket
import statistics
import subprocess
import threading
import time
import urllib.parse

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def start(server, *options):
    process = subprocess.Popen(
        [server, "--listen", "127.0.0.1:0", *options],
        stderr=subprocess.PIPE, text=True)
    for line in process.stderr:
        found = re.search(r"listening on 127\.0\.0\.1:(\d+)", line)
        if found:
            threading.Thread(target=lambda: process.stderr.read(), daemon=True).start()
            return process, int(found.group(1))
    raise SystemExit("tib-server did not start")


def first_byte(port, request):
    """Seconds from sending the request to its answer's first byte; the
    rest is read and thrown away."""
    with socket.create_connection(("127.0.0.1", port)) as sock:
        began = time.perf_counter()
        sock.sendall(request)
        sock.recv(1)
        took = time.perf_counter() - began
        while sock.recv(1 << 16):
            pass
    return took


def get(target):
    return ("GET %s HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n" % target).encode()


def kib(pid, field):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def shuffle(plies):
    """A legal game of knights going out and back, plies long."""
    moves = ["Nf3", "Nf6", "Ng1", "Ng8", "Nc3", "Nc6", "Nb1", "Nb8"]
    return " ".join(moves[i % len(moves)] for i in range(plies))


def first_bytes(server, runs):
    process, port = start(server)
    try:
        games = [("opera, 33 plies", open(os.path.join(ROOT, "doc", "opera.pgn")).read(), 33),
                 ("93 plies", shuffle(93), 93)]
        for name, pgn, plies in games:
            quoted = urllib.parse.quote(pgn, safe="")
            gif = get("/game.gif?size=720&pgn=" + quoted)
            png = get("/board.png?size=720&ply=%d&pgn=%s" % (plies, quoted))
            first_byte(port, gif)  # the palette, built once
            first_byte(port, png)
            times = {"gif": [], "png": []}
            for _ in range(runs):
                times["gif"].append(first_byte(port, gif))
                times["png"].append(first_byte(port, png))
            for kind, seen in times.items():
                print("%s: first byte, %s at 720: min %.1f ms, median %.1f ms" % (
                    name, kind, 1000 * min(seen), 1000 * statistics.median(seen)))
            print("%s: GIF / PNG: min %.2f, median %.2f" % (
                name, min(times["gif"]) / min(times["png"]),
                statistics.median(times["gif"]) / statistics.median(times["png"])))
    finally:
        process.terminate()
        process.wait()


def slow_reader(port, body, rate, seconds, results):
    request = ("POST /game.gif?size=720 HTTP/1.1\r\nHost: h\r\nContent-Type: "
               "text/plain\r\nContent-Length: %d\r\nConnection: close\r\n\r\n"
               % len(body)).encode() + body
    sock = socket.socket()
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 64 << 10)
    sock.connect(("127.0.0.1", port))
    sock.sendall(request)
    got = 0
    began = time.monotonic()
    slice_bytes = rate // 10
    while time.monotonic() - began < seconds:
        chunk = sock.recv(slice_bytes)
        if not chunk:
            break
        got += len(chunk)
        # At most rate bytes a second.
        ahead = got / rate - (time.monotonic() - began)
        if ahead > 0:
            time.sleep(ahead)
    sock.close()
    results.append(got)


def slow_readers(server, clients, seconds):
    process, port = start(server, "--threads", str(clients))
    try:
        first_byte(port, get("/game.gif?size=720&pgn=1.e4"))
        time.sleep(0.5)
        idle = kib(process.pid, "VmRSS")
        moves = ["Nf3 Nf6 Ng1 Ng8", "Nc3 Nc6 Nb1 Nb8"]
        # 999 plies: 1000 frames.
        plies = " ".join(moves[i % 2] for i in range(250)).split()[:999]
        body = " ".join(plies).encode()
        results = []
        readers = [threading.Thread(target=slow_reader,
                                    args=(port, body, 100_000, seconds, results))
                   for _ in range(clients)]
        peak = idle
        for reader in readers:
            reader.start()
        while any(reader.is_alive() for reader in readers):
            peak = max(peak, kib(process.pid, "VmRSS"))
            time.sleep(0.05)
        peak = max(peak, kib(process.pid, "VmHWM"))
        print("%d clients at 100 KB/s, 1000-frame GIFs at 720 for at most %d s: "
              "read %s bytes" % (clients, seconds, results))
        print("server RSS: idle %.1f MB, peak %.1f MB, peak above idle %.1f MB" % (
            idle / 1024, peak / 1024, (peak - idle) / 1024))
    finally:
        process.terminate()
        process.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", default=os.path.join(ROOT, "build", "tib-server"))
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--clients", type=int, default=8)
    parser.add_argument("--seconds", type=int, default=40)
    args = parser.parse_args()
    first_bytes(args.server, args.runs)
    slow_readers(args.server, args.clients, args.seconds)


if __name__ == "__main__":
    main()
