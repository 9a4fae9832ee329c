"""Reads the report wrk prints with --latency, for bench/load and bench/zipf."""

import re


def milliseconds(text):
    value, unit = re.match(r"([\d.]+)(us|ms|s|m)$", text).groups()
    return float(value) * {"us": 0.001, "ms": 1, "s": 1000, "m": 60000}[unit]


def read(out):
    """Requests, failures (socket errors and answers other than 2xx/3xx),
    diagrams per second (requests that did not fail) and the median and
    99th percentile latency in ms. Raises AttributeError on output that is
    not a wrk report."""
    failed = sum(int(n) for n in re.findall(
        r"(?:connect|read|write|timeout) (\d+)", out))
    non_2xx = re.search(r"Non-2xx or 3xx responses: (\d+)", out)
    failed += int(non_2xx.group(1)) if non_2xx else 0
    requests, duration = re.search(r"(\d+) requests in ([\d.]+(?:us|ms|s|m)),",
                                   out).groups()
    # The percentiles are the lines of the latency distribution, not the
    # "+/- Stdev" column of the thread statistics.
    return {
        "rate": (int(requests) - failed) / (milliseconds(duration) / 1000),
        "requests": int(requests),
        "p50": milliseconds(re.search(r"^\s*50%\s+(\S+)", out, re.M).group(1)),
        "p99": milliseconds(re.search(r"^\s*99%\s+(\S+)", out, re.M).group(1)),
        "failed": failed,
    }
