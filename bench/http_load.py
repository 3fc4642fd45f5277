#!/usr/bin/env python3
"""Load on a station's HTTP server while its line runs (bench/line.sh).

    http_load.py BASE_URL RESULTS_FILE [--rate 200] [--streams 20]

GET BASE_URL/api/status RATE times a second (on keep-alive connections,
spread over a few threads) and keep STREAMS event streams
(BASE_URL/api/events) open and read, until SIGTERM or SIGINT. Every "result"
event the first stream receives is written to RESULTS_FILE as one line:
"<wall-clock seconds> <port> <outcome>". At the end one line on standard
error: requests made, failed, and the events read over all streams.
"""
import http.client
import json
import signal
import sys
import threading
import time
import urllib.parse

stop = threading.Event()
lock = threading.Lock()
counts = {"requests": 0, "failed": 0, "events": 0}


def connection(base):
    url = urllib.parse.urlsplit(base)
    return http.client.HTTPConnection(url.hostname, url.port, timeout=10)


def add(name, n=1):
    with lock:
        counts[name] += n


def poll_status(base, rate):
    """GETs /api/status `rate` times a second, evenly paced."""
    conn = connection(base)
    interval = 1.0 / rate
    next_at = time.monotonic()
    while not stop.is_set():
        try:
            conn.request("GET", "/api/status")
            reply = conn.getresponse()
            reply.read()
            add("requests")
            if reply.status != 200:
                add("failed")
        except (OSError, http.client.HTTPException):
            add("failed")
            conn.close()
            conn = connection(base)
        next_at += interval
        delay = next_at - time.monotonic()
        if delay > 0:
            stop.wait(delay)
        else:
            next_at = time.monotonic()


def read_events(base, results):
    """Reads /api/events; writes the "result" events to `results` if given."""
    conn = connection(base)
    conn.timeout = None
    conn.request("GET", "/api/events", headers={"Accept": "text/event-stream"})
    reply = conn.getresponse()
    while not stop.is_set():
        line = reply.fp.readline()
        if not line:
            break
        if not line.startswith(b"data: "):
            continue
        add("events")
        if results is None:
            continue
        now = time.time()
        event = json.loads(line[6:])
        if event.get("event") == "result":
            results.write("%.6f %s %s\n" % (now, event.get("port"), event.get("outcome")))
            results.flush()


def main():
    args = sys.argv[1:]
    if len(args) < 2:
        sys.exit(__doc__)
    base, results_path = args[0], args[1]
    rate = int(args[args.index("--rate") + 1]) if "--rate" in args else 200
    streams = int(args[args.index("--streams") + 1]) if "--streams" in args else 20
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    threads = []
    with open(results_path, "w") as results:
        for i in range(streams):
            threads.append(threading.Thread(target=read_events, args=(base, results if i == 0 else None), daemon=True))
        pollers = 4
        for _ in range(pollers if rate > 0 else 0):
            threads.append(threading.Thread(target=poll_status, args=(base, rate / pollers), daemon=True))
        for t in threads:
            t.start()
        while not stop.is_set():
            stop.wait(0.2)
    print("http_load: %(requests)d requests, %(failed)d failed, %(events)d events read" % counts, file=sys.stderr)


if __name__ == "__main__":
    main()
