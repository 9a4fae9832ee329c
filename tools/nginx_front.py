"""tib-server instances behind nginx, on 127.0.0.1, for the nginx test and
the Zipf benchmark: starts instances and an nginx of its own (prefix,
configuration, pid, logs, temp and cache folders in one temporary folder)
whose server part is deploy/nginx/tib.conf with its ports and cache folder
replaced, and stops all of it.
"""

import http.client
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import urllib.parse

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SHIPPED_CONF = os.path.join(ROOT, "deploy", "nginx", "tib.conf")
ARTWORK = os.path.join(ROOT, "artwork")
# One line per request on the instance's standard error.
REQUEST_LINE = re.compile(r"^tib-server: (GET|HEAD) /board\.png", re.M)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for_port(port, process, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if process.poll() is not None:
            return False
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            time.sleep(0.05)
    return False


def positions(count, seed=19):
    """count distinct positions, the same ones for a seed: two kings apart,
    a few to thirty other pieces, no pawn on the first or last rank."""
    rng = random.Random(seed)
    pieces = "QRRBBNNPPPPPPPP" + "qrrbbnnpppppppp"
    seen = set()
    result = []
    while len(result) < count:
        board = [None] * 64
        white, black = rng.sample(range(64), 2)
        if abs(white // 8 - black // 8) <= 1 and abs(white % 8 - black % 8) <= 1:
            continue
        board[white], board[black] = "K", "k"
        for piece in rng.sample(pieces, rng.randint(1, len(pieces))):
            empty = [square for square in range(64) if board[square] is None and
                     (piece not in "Pp" or 8 <= square < 56)]
            board[rng.choice(empty)] = piece
        rows = []
        for rank in range(8):
            row, gap = "", 0
            for square in board[rank * 8:rank * 8 + 8]:
                if square is None:
                    gap += 1
                else:
                    row += (str(gap) if gap else "") + square
                    gap = 0
            rows.append(row + (str(gap) if gap else ""))
        fen = "/".join(rows) + " " + rng.choice("wb")
        if fen not in seen:
            seen.add(fen)
            result.append(fen)
    return result


def board_path(fen, size=400, theme=None):
    query = {"fen": fen, "size": str(size)}
    if theme:
        query["theme"] = theme
    return "/board.png?" + urllib.parse.urlencode(query, safe="/")


def request(port, path, headers=None, method="GET", timeout=30):
    """One request on a connection of its own: (status, headers, body)."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    try:
        connection.request(method, path, headers=headers or {})
        response = connection.getresponse()
        return response.status, dict(response.getheaders()), response.read()
    finally:
        connection.close()


class Instance:
    """One tib-server on a port of its own; started again on the same port
    after a stop. Each start logs to a file of its own."""

    def __init__(self, binary, folder, name, port, threads=2):
        self.binary, self.folder, self.name = binary, folder, name
        self.port, self.threads = port, threads
        self.process = None
        self.logs = []

    def start(self):
        log_path = os.path.join(self.folder, "%s-%d.log" % (self.name, len(self.logs)))
        self.logs.append(log_path)
        with open(log_path, "w", encoding="utf-8") as log:
            self.process = subprocess.Popen(
                [self.binary, "--listen", "127.0.0.1:%d" % self.port,
                 "--artwork", ARTWORK, "--threads", str(self.threads),
                 # A long GIF, past the default pixel budget, is cut
                 # within the test's time; the GIFs it caches take
                 # milliseconds.
                 "--max-render-seconds", "1",
                 "--max-gif-pixels", "1000000000000"],
                stdout=subprocess.DEVNULL, stderr=log)
        listening = "listening on 127.0.0.1:%d\n" % self.port
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            with open(log_path, encoding="utf-8") as log:
                if listening in log.read():
                    return
            if self.process.poll() is not None:
                break
            time.sleep(0.05)
        raise RuntimeError("%s did not start:\n%s" % (self.name, self.log_text()))

    def stop(self, sig=signal.SIGTERM, seconds=15):
        """Sends sig and waits for the exit; its status (None if it had to
        be killed)."""
        if self.process is None or self.process.poll() is not None:
            return self.process.returncode if self.process else None
        self.process.send_signal(sig)
        try:
            return self.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None

    def requests_seen(self):
        """Diagram requests logged, over every start."""
        return len(REQUEST_LINE.findall(self.log_text()))

    def log_text(self):
        text = ""
        for path in self.logs:
            with open(path, encoding="utf-8", errors="replace") as log:
                text += log.read()
        return text


def front_conf(upstreams, port, cache, rate=None):
    """deploy/nginx/tib.conf with its ports and cache folder replaced, and
    the per-client rate raised to rate if given. Every replacement must
    apply, so that the tested file is the shipped one."""
    with open(SHIPPED_CONF, encoding="utf-8") as f:
        text = f.read()
    replacements = [
        (r"server 127\.0\.0\.1:8081 ", "server 127.0.0.1:%d " % upstreams[0]),
        (r"server 127\.0\.0\.1:8082 ", "server 127.0.0.1:%d " % upstreams[1]),
        (r"listen 127\.0\.0\.1:8080;", "listen 127.0.0.1:%d;" % port),
        (r"proxy_cache_path /var/cache/nginx/tib ", "proxy_cache_path %s " % cache),
    ]
    if rate is not None:
        replacements.append((r"rate=\d+r/s;", "rate=%dr/s;" % rate))
    for pattern, replacement in replacements:
        text, count = re.subn(pattern, lambda _: replacement, text)
        if count != 1:
            raise RuntimeError("%s: %r found %d times" % (SHIPPED_CONF, pattern, count))
    return text


class Nginx:
    """nginx as a foreground process with its own prefix, in its own
    process group (master and workers stop together)."""

    def __init__(self, folder, upstreams, rate=None):
        self.prefix = os.path.join(folder, "nginx")
        os.makedirs(os.path.join(self.prefix, "temp"), exist_ok=True)
        self.port = free_port()
        self.cache = os.path.join(folder, "cache")
        self.access_log = os.path.join(self.prefix, "access.log")
        self.error_log = os.path.join(self.prefix, "error.log")
        with open(os.path.join(self.prefix, "tib.conf"), "w", encoding="utf-8") as f:
            f.write(front_conf(upstreams, self.port, self.cache, rate))
        temp = os.path.join(self.prefix, "temp")
        # As root, the workers run as an unprivileged user: they must reach
        # the cache and temp folders under the temporary folder.
        os.chmod(folder, 0o755)
        user = "user nobody nogroup;\n" if os.geteuid() == 0 else ""
        with open(os.path.join(self.prefix, "nginx.conf"), "w", encoding="utf-8") as f:
            f.write(
                "%sdaemon off;\nworker_processes 1;\npid %s/nginx.pid;\n"
                "error_log %s warn;\nevents { worker_connections 1024; }\n"
                "http {\n"
                "  log_format cache '$upstream_cache_status $status $request_time';\n"
                "  access_log %s cache;\n"
                "  client_body_temp_path %s/body;\n  proxy_temp_path %s/proxy;\n"
                "  fastcgi_temp_path %s/fastcgi;\n  uwsgi_temp_path %s/uwsgi;\n"
                "  scgi_temp_path %s/scgi;\n"
                "  include tib.conf;\n}\n" % (
                    user, self.prefix, self.error_log, self.access_log,
                    temp, temp, temp, temp, temp))
        self.process = None

    def start(self):
        # -e: the error log before the configuration is read is ours too.
        command = ["nginx", "-p", self.prefix + "/", "-e", self.error_log, "-c", "nginx.conf"]
        checked = subprocess.run(command + ["-t", "-q"], stderr=subprocess.PIPE, text=True)
        if checked.returncode != 0:
            raise RuntimeError("nginx rejects the configuration:\n" + checked.stderr)
        self.process = subprocess.Popen(command, start_new_session=True,
                                        stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        if not wait_for_port(self.port, self.process):
            raise RuntimeError("nginx did not start:\n" + self.errors())

    def stop(self):
        if self.process is None or self.process.poll() is not None:
            return
        os.killpg(self.process.pid, signal.SIGQUIT)
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()

    def errors(self):
        if not os.path.exists(self.error_log):
            return ""
        with open(self.error_log, encoding="utf-8", errors="replace") as f:
            return f.read()

    def cache_statuses(self):
        """The access log's cache statuses, one a request, in order."""
        with open(self.access_log, encoding="utf-8") as f:
            return [line.split()[0] for line in f if line.strip()]


class Setup:
    """Instances and the nginx in front, under one temporary folder that
    goes with them."""

    def __init__(self, binary, instances=2, threads=2):
        self.folder = tempfile.mkdtemp(prefix="tib-nginx-")
        self.binary, self.threads = binary, threads
        self.instances = [Instance(binary, self.folder, "instance-%d" % i,
                                   free_port(), threads)
                          for i in range(instances)]
        self.nginx = None

    def start_instances(self):
        for instance in self.instances:
            instance.start()

    def start_nginx(self, rate=None):
        """A new nginx over the same cache folder: a second one replaces
        the first."""
        if self.nginx:
            self.nginx.stop()
        self.nginx = Nginx(self.folder, [i.port for i in self.instances], rate)
        self.nginx.start()
        return self.nginx

    def requests_seen(self):
        return sum(instance.requests_seen() for instance in self.instances)

    def close(self):
        if self.nginx:
            self.nginx.stop()
        for instance in self.instances:
            instance.stop(signal.SIGKILL)
        shutil.rmtree(self.folder, ignore_errors=True)
