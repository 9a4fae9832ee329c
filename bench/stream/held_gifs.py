#!/usr/bin/env python3
"""What clients holding GIFs cost everybody else, on 127.0.0.1, default
options (a render worker per core).

1. A /board.png?size=400 from one client, p99 over 50 requests: on an idle
   server, then while 64 clients each hold a 1000-frame GIF at 720 and read
   nothing; the 503s; the server's peak resident memory above idle.
2. The same p99 while 8 clients read 1000-frame GIFs at 720 as fast as
   they can, and the GIFs' total frames per second.

Each part runs for the server and then for --baseline when given, one after
the other, so that both see the same machine.

usage: held_gifs.py --server build/tib-server [--baseline OTHER] [--artwork artwork]
"""
import argparse
import os
import re
import socket
import subprocess
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
FRAMES = 1000


def start(server, artwork):
    process = subprocess.Popen(
        [server, "--listen", "127.0.0.1:0", "--artwork", artwork],
        stderr=subprocess.PIPE, text=True)
    for line in process.stderr:
        found = re.search(r"listening on 127\.0\.0\.1:(\d+)", line)
        if found:
            threading.Thread(target=lambda: process.stderr.read(), daemon=True).start()
            return process, int(found.group(1))
    raise SystemExit("tib-server did not start")


def gif_request():
    """lila-gif's JSON: frames that alternate a full board and a bare one,
    each a large new rectangle."""
    full = '{"fen": "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w"}'
    bare = '{"fen": "8/8/8/8/8/8/8/K6k w"}'
    body = ('{"frames": [' + ",".join(full if f % 2 == 0 else bare
                                      for f in range(FRAMES)) + "]}").encode()
    return ("POST /game.gif?size=720 HTTP/1.1\r\nHost: h\r\nContent-Type: "
            "application/json\r\nContent-Length: %d\r\nConnection: close\r\n\r\n"
            % len(body)).encode() + body


def png(port):
    """Seconds to the whole answer of one diagram, and its status."""
    with socket.create_connection(("127.0.0.1", port), timeout=120) as sock:
        began = time.perf_counter()
        sock.sendall(b"GET /board.png?size=400 HTTP/1.1\r\nHost: h\r\n"
                     b"Connection: close\r\n\r\n")
        answer = b""
        while True:
            chunk = sock.recv(1 << 16)
            if not chunk:
                break
            answer += chunk
        return time.perf_counter() - began, int(answer[9:12] or b"0")


def p99(port, count=50):
    times, statuses = [], []
    for _ in range(count):
        took, status = png(port)
        times.append(took)
        statuses.append(status)
    times.sort()
    return times[min(len(times) - 1, int(0.99 * len(times)))], statuses.count(503)


def kib(pid, field):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def holders(server, artwork):
    process, port = start(server, artwork)
    try:
        png(port)
        idle, _ = p99(port)
        rss = kib(process.pid, "VmRSS")
        request = gif_request()
        held = []
        for _ in range(64):
            sock = socket.socket()
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            sock.connect(("127.0.0.1", port))
            sock.sendall(request)
            held.append(sock)
        # Each stream draws until its client's buffers and its own are full.
        time.sleep(5)
        busy, refused = p99(port)
        peak = max(kib(process.pid, "VmRSS"), kib(process.pid, "VmHWM"))
        print("%s: /board.png p99 idle %.1f ms, with 64 GIFs held %.1f ms "
              "(%.2f x), %d of 50 got 503; RSS idle %.1f MB, peak %.1f MB above"
              % (server, 1000 * idle, 1000 * busy, busy / idle,
                 refused, rss / 1024, (peak - rss) / 1024), flush=True)
        for sock in held:
            sock.close()
    finally:
        process.terminate()
        process.wait()


def reader(port, request, results):
    with socket.create_connection(("127.0.0.1", port), timeout=300) as sock:
        sock.sendall(request)
        got = 0
        while True:
            chunk = sock.recv(1 << 16)
            if not chunk:
                break
            got += len(chunk)
        results.append(got)


def readers(server, artwork):
    process, port = start(server, artwork)
    try:
        png(port)
        idle, _ = p99(port)
        request = gif_request()
        results = []
        threads = [threading.Thread(target=reader, args=(port, request, results))
                   for _ in range(8)]
        began = time.perf_counter()
        for thread in threads:
            thread.start()
        time.sleep(0.5)
        busy, refused = p99(port)
        for thread in threads:
            thread.join()
        took = time.perf_counter() - began
        print("%s: /board.png p99 idle %.1f ms, with 8 GIFs read %.1f ms (%.2f x), "
              "%d of 50 got 503; 8 GIFs of %d frames (%d bytes each) in %.1f s: "
              "%.0f frames/s" % (server, 1000 * idle, 1000 * busy,
                                 busy / idle, refused, FRAMES, max(results), took,
                                 8 * FRAMES / took), flush=True)
    finally:
        process.terminate()
        process.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", default=os.path.join(ROOT, "build", "tib-server"))
    parser.add_argument("--baseline")
    parser.add_argument("--artwork", default=os.path.join(ROOT, "artwork"))
    args = parser.parse_args()
    servers = [args.server] + ([args.baseline] if args.baseline else [])
    for part in (holders, readers):
        for server in servers:
            part(server, args.artwork)


if __name__ == "__main__":
    main()
