#!/usr/bin/env python3
"""Two tib-server instances behind nginx with deploy/nginx/tib.conf (ports
and cache folder replaced), all on 127.0.0.1: the bytes through nginx are an
instance's, a repeated diagram is a cache hit no instance sees, If-None-Match
gets 304, twenty simultaneous requests for a new diagram reach an instance
once, the per-client limit answers 429, and neither an instance killed with
SIGKILL nor two rolling restarts of both (SIGTERM, started again on the same
port) under load from four clients costs a failed request.

    python3 tools/nginx-test.py --server build/tib-server

Every request has a timeout, every client a request budget, every wait a
deadline; whatever was started is stopped at the end.
"""

import argparse
import atexit
import http.client
import http.server
import os
import re
import signal
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import nginx_front  # noqa: E402

# Load: four clients, each asking for diagrams nobody asked for before (so
# that they reach the instances), at most this many requests each.
CLIENTS = 4
REQUEST_BUDGET = 3000


def check(condition, message):
    if not condition:
        raise AssertionError(message)
    print("ok:", message)


class Load:
    """CLIENTS threads asking nginx for new diagrams over kept-alive
    connections until stopped; a failure is an exception or an answer
    other than 200."""

    def __init__(self, port, fens, first):
        self.port, self.fens, self.first = port, fens, first
        self.stop_event = threading.Event()
        self.lock = threading.Lock()
        self.done = 0
        self.failed = []
        self.threads = [threading.Thread(target=self.client, args=(n,), daemon=True)
                        for n in range(CLIENTS)]

    def client(self, number):
        connection = None
        for n in range(REQUEST_BUDGET):
            if self.stop_event.is_set():
                break
            # Diagram k: a position and a size no other request has.
            k = self.first + n * CLIENTS + number
            path = nginx_front.board_path(self.fens[k % len(self.fens)],
                                          size=200 + k // len(self.fens))
            try:
                if connection is None:
                    connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=20)
                connection.request("GET", path)
                response = connection.getresponse()
                body = response.read()
                ok = response.status == 200 and body[:4] == b"\x89PNG"
                outcome = None if ok else "%d %r" % (response.status, body[:100])
            except Exception as error:  # any failure of the request counts
                outcome = "%s: %s" % (type(error).__name__, error)
                connection.close()
                connection = None
            with self.lock:
                self.done += 1
                if outcome:
                    self.failed.append("%s -> %s" % (path, outcome))
        if connection:
            connection.close()

    def __enter__(self):
        for thread in self.threads:
            thread.start()
        return self

    def __exit__(self, *exc):
        self.stop_event.set()
        for thread in self.threads:
            thread.join(timeout=30)

    def completed(self):
        with self.lock:
            return self.done


def settled(setup):
    """The instances' request count once their logs are quiet for 0.3 s:
    an instance logs a request after its answer is sent."""
    count, quiet_since = setup.requests_seen(), time.monotonic()
    while time.monotonic() - quiet_since < 0.3:
        time.sleep(0.05)
        now = setup.requests_seen()
        if now != count:
            count, quiet_since = now, time.monotonic()
    return count


def wait_until(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.05)
    raise AssertionError("not within %d s: %s" % (seconds, what))


def retries(nginx, since):
    """Requests nginx passed to the next instance, by what went wrong:
    from its error log, past its first since lines."""
    kinds = {"refused": "Connection refused", "closed": "prematurely closed",
             "reset": "reset by peer"}
    lines = nginx.errors().splitlines()[since:]
    return ", ".join("%s %d" % (kind, sum(text in line for line in lines))
                     for kind, text in kinds.items())


def refusals(setup):
    """503s the instances answered (a full render queue, or queued renders
    when stopping), which nginx passes on to the other instance."""
    return sum(len(re.findall(r"^tib-server: GET /board\.png\S* 503 ", i.log_text(), re.M))
               for i in setup.instances)


def report_failures(load):
    return "".join("\n  " + failure for failure in load.failed[:10])


class Overloaded(http.server.BaseHTTPRequestHandler):
    """An instance whose render queue is full: 503 with Retry-After."""
    seen = 0

    def do_GET(self):  # noqa: N802 (the name http.server calls)
        Overloaded.seen += 1
        self.send_response(503)
        self.send_header("Retry-After", "1")
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True, help="the tib-server program")
    binary = os.path.abspath(parser.parse_args().server)

    setup = nginx_front.Setup(binary)
    atexit.register(setup.close)
    # A stop from outside goes through the same cleaning up, which a second
    # signal does not interrupt.
    stops = (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)

    def stopped(number, _):
        for sig in stops:
            signal.signal(sig, signal.SIG_IGN)
        sys.exit("stopped by %s" % signal.Signals(number).name)

    for sig in stops:
        signal.signal(sig, stopped)
    setup.start_instances()
    first, second = setup.instances
    nginx = setup.start_nginx()
    fens = nginx_front.positions(2000, seed=7)
    get = nginx_front.request

    # The bytes through nginx are the instance's, ETag included.
    path = nginx_front.board_path(fens[0])
    status, headers, body = get(nginx.port, path)
    check(status == 200 and headers.get("X-Cache-Status") == "MISS",
          "a new diagram through nginx: 200, a cache miss")
    direct_status, direct_headers, direct_body = get(first.port, path)
    check(direct_status == 200 and body == direct_body and len(body) > 1000,
          "nginx's bytes equal an instance's (%d bytes)" % len(body))
    check(headers.get("ETag") == direct_headers.get("ETag") and headers.get("ETag"),
          "nginx passes the instance's ETag on")

    # Asked again: served from the cache, unseen by the instances.
    seen = settled(setup)
    status, headers, again = get(nginx.port, path)
    check(status == 200 and headers.get("X-Cache-Status") == "HIT" and again == body,
          "the repeated diagram is a cache hit with the same bytes")
    check(settled(setup) == seen, "no instance saw the cache hit")

    # A game's GIF by GET: the instance's bytes, then a cache hit.
    gif = "/game.gif?size=120&pgn=1.+e4+e5+2.+Nf3+Nc6+3.+Bb5+%7B%5B%25cal+Gb5c6%5D%7D+a6+*"
    status, gif_headers, gif_body = get(nginx.port, gif)
    check(status == 200 and gif_headers.get("X-Cache-Status") == "MISS" and gif_body[:6] == b"GIF89a",
          "a game's GIF through nginx: 200, a cache miss")
    _, direct_headers, direct_gif = get(first.port, gif)
    check(direct_headers.get("Transfer-Encoding") == "chunked" and "Content-Length" not in direct_headers,
          "an instance streams the GIF in chunks")
    check(direct_gif == gif_body, "nginx's GIF equals an instance's")
    status, gif_headers, again_gif = get(nginx.port, gif)
    check(status == 200 and gif_headers.get("X-Cache-Status") == "HIT" and again_gif == gif_body,
          "the repeated GIF is a cache hit")
    status, head_headers, _ = get(first.port, gif, method="HEAD")
    check(status == 200 and head_headers.get("ETag") == gif_headers.get("ETag"),
          "HEAD on the instance gives the GIF's tag without the GIF")

    # A GIF cut by the instance (1000 frames at 2048, within the instances'
    # raised pixel budget, past --max-render-seconds 1) ends without the
    # last chunk: its client sees
    # it cut, and nginx does not keep it.
    shuffle = "+".join(["Nf3", "Nf6", "Ng1", "Ng8", "Nc3", "Nc6", "Nb1", "Nb8"][i % 8]
                       for i in range(999))
    long_gif = "/game.gif?size=2048&pgn=" + shuffle
    for attempt in ("first", "second"):
        try:
            status, cut_headers, cut_body = get(nginx.port, long_gif)
            whole = cut_body.endswith(b";")
        except Exception:  # the connection ends inside the body
            status, cut_headers, whole = 200, {}, False
        check(status == 200 and not whole and cut_headers.get("X-Cache-Status") != "HIT",
              "a cut GIF reaches its client cut, and is no cache hit (%s request)" % attempt)
    seen = settled(setup)

    # Conditional requests: the cached diagram, and one nginx has to fetch.
    tag = headers["ETag"]
    status, headers, empty = get(nginx.port, path, {"If-None-Match": tag})
    check(status == 304 and empty == b"" and headers.get("ETag") == tag,
          "If-None-Match with the diagram's tag gets 304 from the cache")
    status, _, again = get(nginx.port, path, {"If-None-Match": '"another"'})
    check(status == 200 and again == body, "If-None-Match with another tag gets 200")
    check(settled(setup) == seen, "no instance saw the conditional requests")
    fresh = nginx_front.board_path(fens[1])
    _, fresh_headers, _ = get(second.port, fresh)
    status, _, empty = get(nginx.port, fresh, {"If-None-Match": fresh_headers["ETag"]})
    check(status == 304 and empty == b"",
          "If-None-Match on a diagram not yet cached gets 304")

    # Twenty simultaneous requests for a new diagram (large, so the render
    # takes a while): one render, twenty identical answers.
    big = nginx_front.board_path(fens[2], size=1600)
    seen = settled(setup)
    barrier = threading.Barrier(20)
    answers = []

    def simultaneous():
        barrier.wait(timeout=20)
        answers.append(get(nginx.port, big))

    crowd = [threading.Thread(target=simultaneous) for _ in range(20)]
    for thread in crowd:
        thread.start()
    for thread in crowd:
        thread.join(timeout=60)
    check(len(answers) == 20 and all(a[0] == 200 for a in answers) and
          len({a[2] for a in answers}) == 1,
          "twenty simultaneous requests for one new diagram: twenty equal 200s")
    reached = settled(setup) - seen
    check(reached == 1, "they reached an instance once (%d)" % reached)

    # The shipped per-client limit: a page's worth of diagrams at once
    # passes, a client asking far faster than the rate gets 429, nothing
    # else. Earlier requests used up to 30 of the burst.
    connection = http.client.HTTPConnection("127.0.0.1", nginx.port, timeout=20)
    statuses = []
    for _ in range(300):
        connection.request("GET", path)
        response = connection.getresponse()
        response.read()
        statuses.append(response.status)
    connection.close()
    check(statuses[:90] == [200] * 90, "the first 90 requests of one client pass")
    check(429 in statuses and set(statuses) <= {200, 429},
          "past the burst: 429 (%d of 300)" % statuses.count(429))

    # An overloaded instance's 503 goes no further than nginx: it asks the
    # other instance. When every instance is overloaded, the client gets
    # the 503 and its Retry-After (not a 502). Each case on an nginx of its
    # own, stubs in the places of instances.
    stubs = [http.server.ThreadingHTTPServer(("127.0.0.1", 0), Overloaded) for _ in range(2)]
    for stub in stubs:
        threading.Thread(target=stub.serve_forever, daemon=True).start()
        atexit.register(stub.shutdown)

    def overloaded(name, upstreams, count):
        front = nginx_front.Nginx(os.path.join(setup.folder, name), upstreams)
        atexit.register(front.stop)
        front.start()
        answers = [get(front.port, nginx_front.board_path(fen, size=120))
                   for fen in fens[3:3 + count]]
        front.stop()
        return [(status, headers.get("Retry-After")) for status, headers, _ in answers]

    stub_ports = [stub.server_address[1] for stub in stubs]
    answers = overloaded("one-overloaded", [stub_ports[0], second.port], 6)
    check(Overloaded.seen >= 1 and all(status == 200 for status, _ in answers),
          "an instance answering 503: %d asked, every request answered 200 by the other"
          % Overloaded.seen)
    answers = overloaded("all-overloaded", stub_ports, 6)
    check(answers == [(503, "1")] * 6,
          "every instance answering 503: the client gets 503 with Retry-After, each time")

    # Load from four clients asking faster than a visitor does: the test's
    # nginx has the shipped configuration with the per-client rate raised,
    # since all four come from 127.0.0.1.
    nginx = setup.start_nginx(rate=100000)
    load_fens = fens[10:]

    # An instance killed under load: nginx retries the requests it had in
    # flight, and those that follow, on the other.
    logged = len(nginx.errors().splitlines())
    with Load(nginx.port, load_fens, 0) as load:
        wait_until(lambda: load.completed() >= 40, 30, "load started")
        before = second.requests_seen()
        first.stop(signal.SIGKILL)
        done = load.completed()
        wait_until(lambda: load.completed() >= done + 100, 60,
                   "100 requests after the kill")
        check(second.requests_seen() > before, "the other instance took the load")
    check(not load.failed, "SIGKILL of an instance under load: %d failed of %d (nginx: %s)"
          % (len(load.failed), load.completed(), retries(nginx, logged)) + report_failures(load))
    first.start()

    # A rolling restart under load, twice over: each instance in turn stops
    # on SIGTERM and starts again on its port; the next one stops only once
    # nginx sends the restarted one requests again (20, so that nginx keeps
    # connections to it open when it is stopped in the next round).
    def serving(instance):
        seen_before = instance.requests_seen()
        wait_until(lambda: instance.requests_seen() >= seen_before + 20, 30,
                   "nginx sends requests to " + instance.name)

    logged, refused = len(nginx.errors().splitlines()), refusals(setup)
    with Load(nginx.port, load_fens, CLIENTS * REQUEST_BUDGET) as load:
        serving(first)
        for instance in (first, second, first, second):
            status = instance.stop(signal.SIGTERM)
            check(status == 0, "%s stopped on SIGTERM, status %s" % (instance.name, status))
            instance.start()
            serving(instance)
        done = load.completed()
        wait_until(lambda: load.completed() >= done + 50, 60, "50 requests after the restart")
    check(not load.failed, "two rolling restarts under load from four clients: %d failed of %d"
          " (nginx: %s; 503 from the instances: %d)"
          % (len(load.failed), load.completed(), retries(nginx, logged),
             refusals(setup) - refused) + report_failures(load))

    # nginx retries what an instance drops, so the instances' own logs
    # tell: an answer an instance rendered and could not send (its
    # connection closed under it while stopping, say) is a fault of the
    # instance, whether or not a client saw it.
    dropped = [line for instance in setup.instances
               for line in instance.log_text().splitlines() if "(not delivered" in line]
    check(not dropped, "the instances sent every answer they made (%d not delivered)"
          % len(dropped) + "".join("\n  " + line for line in dropped[:10]))

    errors = [line for line in nginx.errors().splitlines() if "[emerg]" in line or "[alert]" in line]
    check(not errors, "nginx logged no emergency or alert" + "".join("\n  " + e for e in errors))
    print("nginx test passed")


if __name__ == "__main__":
    try:
        main()
    except AssertionError as error:
        print("FAILED:", error)
        sys.exit(1)
