#!/usr/bin/env python3
"""CPU that serve spends framing a cue list sent in small writes: chunked against Content-Length.

tqv7310nx-cli serve (--http 0) drives the simulated device; a cue list of about 250 KB is
loaded through POST /api/cue/load, its bytes written 20 at a time (TCP_NODELAY, so each
write is its own segment), once with a Content-Length and once chunked (one chunk per 20
bytes of body). Reports serve's user+system CPU seconds for each (from /proc), the median of
ROUNDS loads. Loopback only.

usage: scripts/bench_cue_load.py [BIN_DIR] [ROUNDS]   (default build/bin 3)
"""
import json
import os
import socket
import statistics
import subprocess
import sys

from bench_serve import ready

BIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin"
ROUNDS = int(sys.argv[2]) if len(sys.argv) > 2 else 3
PIECE = 20


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def load(port, body, chunked):
    s = socket.create_connection(("127.0.0.1", port))
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    head = b"POST /api/cue/load HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
    if chunked:
        head += b"Transfer-Encoding: chunked\r\n\r\n"
        wire = b"".join(b"%x\r\n" % len(body[i:i + PIECE]) + body[i:i + PIECE] + b"\r\n"
                        for i in range(0, len(body), PIECE)) + b"0\r\n\r\n"
    else:
        head += b"Content-Length: %d\r\n\r\n" % len(body)
        wire = body
    s.sendall(head)
    for i in range(0, len(wire), PIECE):
        s.sendall(wire[i:i + PIECE])
    answer = b""
    while b"\r\n\r\n" not in answer:
        answer += s.recv(65536)
    s.close()
    assert answer.startswith(b"HTTP/1.1 200"), answer[:200]


def main():
    sim = subprocess.Popen([f"{BIN}/tqv7310nx-sim", "--listen", "0"], stdout=subprocess.PIPE,
                           stdin=subprocess.PIPE)
    device_port = int(sim.stdout.readline().split()[1])
    serve = subprocess.Popen([f"{BIN}/tqv7310nx-cli", "--tcp", f"127.0.0.1:{device_port}", "--quiet",
                              "serve", "--http", "0", "--osc", "0"],
                             stderr=subprocess.PIPE, stdin=subprocess.PIPE)
    port = ready(serve, "http")
    rows = "cue,action,line,page,text,memory,seconds\n"
    i = 0
    while len(rows) < 245_000:
        rows += f"Opening title {i:06d},page,1T,{i % 64 + 1},,,\n"
        i += 1
    body = json.dumps({"csv": rows}).encode()
    results = {}
    try:
        for name, chunked in (("Content-Length", False), ("chunked", True)):
            times = []
            for _ in range(ROUNDS):
                before = cpu_seconds(serve.pid)
                load(port, body, chunked)
                times.append(cpu_seconds(serve.pid) - before)
            results[name] = statistics.median(times)
    finally:
        serve.terminate()
        sim.terminate()
    print(f"cue list of {len(body)} bytes in {PIECE}-byte writes, serve's CPU (median of {ROUNDS}):")
    for name, t in results.items():
        print(f"  {name:15} {t:.3f} s")
    print(f"  chunked / Content-Length: {results['chunked'] / max(results['Content-Length'], 1e-3):.2f}")


if __name__ == "__main__":
    main()
