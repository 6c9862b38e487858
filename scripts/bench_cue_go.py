#!/usr/bin/env python3
"""Time from a cue GO to the cue's first frame on the wire, for HTTP, OSC and RossTalk.

tqv7310nx-cli serve (--http, --osc, --rosstalk, port 0) talks to the simulated device over
TCP through a relay in this script, which notes when the first byte of each frame arrives.
For each route: N one-step cues (page switches) are loaded, then fired one after the other,
each GO sent only once the cue before has ended. Each protocol keeps one connection for the
whole run (HTTP keep-alive, one UDP socket, one RossTalk connection), opened before the first
GO, so the timed window holds only the GO going out and the cue's first frame coming to the
relay. Reports the min, median, 99th percentile and max of GO sent -> first byte at the
relay, in milliseconds, and the machine's load. Loopback only.

usage: scripts/bench_cue_go.py [BIN_DIR] [N] [ROUTE...]   (default build/bin 1000, every route)
"""
from http.client import HTTPConnection
import json
import os
import socket
import statistics
import struct
import subprocess
import sys
import threading
import time

from bench_serve import ready

BIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin"
N = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
ROUTES = sys.argv[3:]
frames = []  # perf_counter of each frame's first byte towards the device
frame_seen = threading.Condition()


def pump(src, dst, towards_device):
    at_line_start = True
    while True:
        data = src.recv(65536)
        if not data:
            dst.close()
            return
        if towards_device and at_line_start:
            with frame_seen:
                frames.append(time.perf_counter())
                frame_seen.notify_all()
        at_line_start = data.endswith(b"\n")
        dst.sendall(data)


def relay(listener, device_port):
    client, _ = listener.accept()
    device = socket.create_connection(("127.0.0.1", device_port))
    for s in (client, device):
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    threading.Thread(target=pump, args=(device, client, False), daemon=True).start()
    pump(client, device, True)


def osc_string(s):
    b = s.encode() + b"\0"
    return b + b"\0" * (-len(b) % 4)


def main():
    sim = subprocess.Popen([f"{BIN}/tqv7310nx-sim", "--listen", "0"], stdout=subprocess.PIPE,
                           stdin=subprocess.PIPE)
    device_port = int(sim.stdout.readline().split()[1])
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    threading.Thread(target=relay, args=(listener, device_port), daemon=True).start()
    serve = subprocess.Popen([f"{BIN}/tqv7310nx-cli", "--tcp", f"127.0.0.1:{listener.getsockname()[1]}",
                              "--quiet", "serve", "--http", "0", "--osc", "0", "--rosstalk", "0"],
                             stderr=subprocess.PIPE, stdin=subprocess.PIPE)
    http, osc_port, ross_port = ready(serve, "http"), ready(serve, "osc"), ready(serve, "rosstalk")
    threading.Thread(target=lambda: [None for _ in serve.stderr], daemon=True).start()
    # One keep-alive connection for every HTTP request of the run; http.client sends a
    # request's head and body in one write, and no-delay keeps the kernel from holding it.
    conn = HTTPConnection("127.0.0.1", http, timeout=10)
    conn.connect()
    conn.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def request(method, path, body=None):
        conn.request(method, path, body, {"Content-Type": "application/json"} if body else {})
        r = conn.getresponse()
        return r.status, r.read()

    def post(path, body=b""):
        return request("POST", path, body)

    def idle():
        while json.loads(request("GET", "/api/cues")[1])["running"] is not None:
            time.sleep(0.001)

    osc = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    ross = socket.create_connection(("127.0.0.1", ross_port))
    ross.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    senders = {
        "HTTP": lambda: post("/api/cue/go"),
        "OSC": lambda: (osc.sendto(osc_string("/tqv/cue/go") + osc_string(","), ("127.0.0.1", osc_port)),
                        osc.recvfrom(65536)),
        "RossTalk": lambda: ross.sendall(b"GO\r\n"),
    }
    csv = "cue,action,line,page,text,memory,seconds\n" + "".join(
        f"C{i},page,1T,{i % 64 + 1},,,\n" for i in range(N))
    print(f"load: {open('/proc/loadavg').read().strip()}")
    print("| route | GOs | min | median | p99 | max |\n| --- | ---: | ---: | ---: | ---: | ---: |")
    for name, send in senders.items():
        if ROUTES and name not in ROUTES:
            continue
        status, body = post("/api/cue/load", json.dumps({"csv": csv}).encode())
        assert status == 200, body
        times = []
        for _ in range(N):
            with frame_seen:
                seen = len(frames)
            start = time.perf_counter()
            send()
            with frame_seen:
                frame_seen.wait_for(lambda: len(frames) > seen, timeout=5)
                times.append((frames[seen] - start) * 1000)
            idle()
        times.sort()
        print(f"| {name} | {N} | {times[0]:.2f} ms | {statistics.median(times):.2f} ms | "
              f"{times[int(len(times) * 0.99) - 1]:.2f} ms | {times[-1]:.2f} ms |")
    print(f"load: {open('/proc/loadavg').read().strip()}")
    serve.terminate()
    sim.terminate()
    serve.wait()
    sim.wait()


if __name__ == "__main__":
    main()
