#!/usr/bin/env bash
# Show-control event figures on this machine, loopback only: tqv7310nx-cli serve against
# devices played by this script (each answers "GO" to every line at once, noting the time
# just before the answer is written, so serve cannot react before the time exists), and
# WebSocket clients of /api/events written with the standard library only.
#   latency, one device (serve --tcp): page switches posted one after the other; from the
#            moment the device answered to the moment the change event reached each
#            WebSocket client, with 1 and with 50 clients
#   latency, 96 devices (serve --listen --devices 96): ROUNDS page switches to "all" posted
#            one after the other; from each device's answer to the change event of that
#            device (devices/N/lines/2T/page) at each client, with 16 and with 64 clients
#            (goal: p99 under 5 ms with 64 clients)
#   rate:    page switches sent over one WebSocket at RATE a second for SECONDS; every one
#            must get its result 200 and reach the device
# The devices and the clients run in processes of their own (the clients in up to four,
# spread over 127.0.0.1-127.0.0.8, since the front takes at most 16 connections from one
# address), and a client notes only when its bytes arrived, reading the events out of them
# once the run is over, so Python's own turns weigh as little as they can on the figures.
# usage: scripts/bench-events.sh [BIN_DIR] [N] [RATE] [SECONDS] [ROUNDS]
#        (default build/bin 500 200 10 100)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/bin}
[[ -x $bin/tqv7310nx-cli ]] || { echo "bench-events.sh: $bin/tqv7310nx-cli is not built (scripts/build.sh tqv7310nx-cli)" >&2; exit 2; }
exec python3 - "$bin/tqv7310nx-cli" "${2:-500}" "${3:-200}" "${4:-10}" "${5:-100}" <<'EOF'
import atexit, base64, json, multiprocessing, os, re, selectors, socket, statistics, struct
import subprocess, sys, threading, time
from http.client import HTTPConnection

cli, count, rate, seconds, rounds = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4]), int(sys.argv[5])
now = time.perf_counter  # CLOCK_MONOTONIC: one clock for every process of this script
mp = multiprocessing.get_context("fork")
servers = []  # every serve started, ended however this script ends
atexit.register(lambda: [p.kill() for p in servers if p.poll() is None])

def load():
    return open("/proc/loadavg").read().split()[0]

def nodelay(s):
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s

# --- The devices: one process, every connection a line in, "00GO" out. ---
def devices(socks, pipe):
    sel = selectors.DefaultSelector()
    for k, s in enumerate(socks):
        sel.register(s, selectors.EVENT_READ, k)
    sel.register(pipe, selectors.EVENT_READ, None)
    answers = [[] for _ in socks]
    buffers = [b""] * len(socks)
    while True:
        for key, _ in sel.select():
            k = key.data
            if k is None:
                if pipe.recv() == "stop":
                    return
                pipe.send(answers)
                continue
            data = socks[k].recv(65536)
            if not data:
                sel.unregister(socks[k])
                continue
            buffers[k] += data
            while b"\n" in buffers[k]:
                line, buffers[k] = buffers[k].split(b"\n", 1)
                # The reads of the device's state when it connects are answered but not
                # timed: only the page switches are.
                if line[2:3] != b"R":
                    answers[k].append(now())  # before the answer: serve cannot see it earlier
                socks[k].sendall(b"00GO\r\n")

class Devices:
    def __init__(self, socks):
        self.pipe, child = mp.Pipe()
        self.proc = mp.Process(target=devices, args=(socks, child), daemon=True)
        self.proc.start()
    def answers(self):
        self.pipe.send("answers")
        return self.pipe.recv()
    def stop(self):
        self.pipe.send("stop")
        self.proc.join(5)

# --- WebSocket clients of /api/events. ---
def handshake(http, source):
    s = socket.socket()
    s.bind((source, 0))
    s.connect(("127.0.0.1", http))
    nodelay(s)
    key = base64.b64encode(os.urandom(16)).decode()
    s.sendall((f"GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
               f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
               f"Sec-WebSocket-Version: 13\r\n\r\n").encode())
    buffer = b""
    while b"\r\n\r\n" not in buffer:
        buffer += s.recv(4096)
    head, buffer = buffer.split(b"\r\n\r\n", 1)
    assert b" 101 " in head.split(b"\r\n")[0], head
    return s, buffer

def frames(buffer, limit=None):
    """The complete frames at the start of buffer (payloads, at most limit) and the bytes
    left over."""
    out = []
    while len(buffer) >= 2 and (limit is None or len(out) < limit):
        n, at = buffer[1] & 0x7F, 2
        if n == 126:
            if len(buffer) < 4: break
            n, at = struct.unpack(">H", buffer[2:4])[0], 4
        elif n == 127:
            if len(buffer) < 10: break
            n, at = struct.unpack(">Q", buffer[2:10])[0], 10
        if len(buffer) < at + n: break
        if buffer[0] & 0x0F == 1:  # text; pings and the like are not events
            out.append(buffer[at:at + n])
        buffer = buffer[at + n:]
    return out, buffer

def clients(http, sources, pattern, pipe):
    """Notes when each chunk arrives; after "stop" and a quiet second, reads the events out
    and sends, per client, the (time, path) of every changed path matching pattern."""
    conns = [handshake(http, source) for source in sources]
    socks = [s for s, _ in conns]
    buffers = [rest for _, rest in conns]
    # The first message is the whole state; nothing changes before "ready" is answered.
    for k, s in enumerate(socks):
        while not frames(buffers[k], 1)[0]:
            buffers[k] += s.recv(65536)
        buffers[k] = frames(buffers[k], 1)[1]
    pipe.send("ready")
    chunks = [[(0.0, buffers[k])] for k in range(len(socks))]
    sel = selectors.DefaultSelector()
    for k, s in enumerate(socks):
        sel.register(s, selectors.EVENT_READ, k)
    sel.register(pipe, selectors.EVENT_READ, None)
    stopping = False
    while True:
        ready = sel.select(1.0 if stopping else None)
        if not ready and stopping:
            break
        for key, _ in ready:
            if key.data is None:
                pipe.recv()
                stopping = True
                sel.unregister(pipe)
                continue
            t = now()
            data = socks[key.data].recv(65536)
            if data:
                chunks[key.data].append((t, data))
            else:
                sel.unregister(socks[key.data])
    match = re.compile(pattern)
    seen = []
    for k in range(len(socks)):
        buffer, mine = b"", []
        for t, data in chunks[k]:
            done, buffer = frames(buffer + data)
            for payload in done:
                m = json.loads(payload)
                if m.get("type") == "change":
                    mine += [(t, p) for p in m["changes"] if match.fullmatch(p)]
        seen.append(mine)
    pipe.send(seen)
    for s in socks:
        s.close()

class Clients:
    def __init__(self, http, count, pattern):
        sources = [f"127.0.0.{k % 8 + 1}" for k in range(count)]
        procs = min(4, count)
        self.parts = []
        for p in range(procs):
            parent, child = mp.Pipe()
            proc = mp.Process(target=clients, args=(http, sources[p::procs], pattern, child), daemon=True)
            proc.start()
            self.parts.append((parent, proc))
        for parent, _ in self.parts:
            assert parent.recv() == "ready"
    def finish(self):
        for parent, _ in self.parts:
            parent.send("stop")
        seen = []
        for parent, proc in self.parts:
            seen += parent.recv()
            proc.join(10)
        return seen

def keep_alive(http):
    conn = HTTPConnection("127.0.0.1", http, timeout=30)
    conn.connect()
    nodelay(conn.sock)
    return conn

def post(conn, path, body):
    conn.request("POST", path, json.dumps(body), {"Content-Type": "application/json"})
    r = conn.getresponse()
    return r.status, r.read()

def serve_ports(serve, words):
    ports = {}
    for line in serve.stderr:
        word = line.split(" ", 1)[0]
        if word in words and word not in ports:
            ports[word] = int(line.split()[1])
            if len(ports) == len(words):
                break
    if len(ports) < len(words):
        sys.exit(f"bench-events.sh: serve said no {words} line")
    threading.Thread(target=lambda: [None for _ in serve.stderr], daemon=True).start()
    return ports

def stats(times):
    times.sort()
    return (f"min {times[0]:.2f} ms, median {statistics.median(times):.2f} ms, "
            f"p99 {times[int(len(times) * 0.99) - 1]:.2f} ms, max {times[-1]:.2f} ms")

print(f"load before: {load()}", flush=True)

# ================= one device, serve --tcp =================
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(1)
serve = subprocess.Popen([cli, "--quiet", "--tcp", f"127.0.0.1:{listener.getsockname()[1]}",
                          "serve", "--http", "0"], stderr=subprocess.PIPE, text=True)
servers.append(serve)
device_sock, _ = listener.accept()
one = Devices([nodelay(device_sock)])
http = serve_ports(serve, ["http"])["http"]

for count_clients, line in ((1, "1T"), (50, "2T")):
    conn = keep_alive(http)
    # The line's page is made one the run does not begin with, so that every switch of the
    # run is a change and the n-th event is the n-th answer's.
    if post(conn, "/api/page", {"line": line, "page": 64})[0] != 200:
        sys.exit("latency run: a request failed")
    watch = Clients(http, count_clients, f"lines/{line}/page")
    first = len(one.answers()[0])
    for i in range(count):
        # Each page differs from the one before, so each is one change event.
        if post(conn, "/api/page", {"line": line, "page": i % 64 + 1})[0] != 200:
            sys.exit("latency run: a request failed")
    conn.close()
    seen = watch.finish()
    answers = one.answers()[0][first:]
    times = [(t - answers[i]) * 1000 for mine in seen for i, (t, _) in enumerate(mine[:count])]
    missing = count * count_clients - len(times)
    print(f"event latency, 1 device, {count_clients} client{'s' if count_clients > 1 else ''}, "
          f"{count} page switches: {stats(times)}"
          + (f", {missing} events missing" if missing else ""), flush=True)

# Requests over one WebSocket at a steady rate, every one answered and at the device.
w, rest = handshake(http, "127.0.0.1")
total, results = int(rate * seconds), {}
before = len(one.answers()[0])
def collect():
    buffer = rest
    while len(results) < total:
        done, buffer = frames(buffer)
        for payload in done:
            m = json.loads(payload)
            if m.get("type") == "result":
                results[m["id"]] = m["status"]
        if len(results) < total:
            data = w.recv(65536)
            if not data:
                return
            buffer += data
reader = threading.Thread(target=collect, daemon=True)
reader.start()
def send(text):
    data, mask = text.encode(), os.urandom(4)
    head = bytes([0x81]) + (bytes([0x80 | len(data)]) if len(data) < 126
                             else bytes([0x80 | 126]) + struct.pack(">H", len(data)))
    w.sendall(head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))
start = now()
for i in range(total):
    delay = start + i / rate - now()
    if delay > 0:
        time.sleep(delay)  # pacing the load generator, not waiting for a server
    send(json.dumps({"op": "page", "id": i, "line": "2B", "page": i % 64 + 1}))
reader.join(30)
elapsed = now() - start
ok = sum(1 for s in list(results.values()) if s == 200)
at_device = len(one.answers()[0]) - before
print(f"WebSocket requests: {ok} of {total} answered 200 in {elapsed:.2f} s "
      f"({total / elapsed:.0f} sent a second), {at_device} frames at the device, "
      f"{total - ok} lost or refused", flush=True)
failed = ok != total or at_device != total
w.close()
serve.terminate()
serve.wait(10)
one.stop()

# ================= 96 devices, serve --listen =================
n_devices = 96
serve = subprocess.Popen([cli, "--quiet", "--listen", "0", "--devices", str(n_devices), "--wait", "60",
                          "serve", "--http", "0"], stderr=subprocess.PIPE, text=True)
servers.append(serve)
device_port = None
for line in serve.stderr:
    if line.startswith("listening "):
        device_port = int(line.split()[1])
        break
if device_port is None:
    sys.exit("bench-events.sh: serve --listen said no \"listening\" line")
socks = [nodelay(socket.create_connection(("127.0.0.1", device_port))) for _ in range(n_devices)]
fleet = Devices(socks)
http = serve_ports(serve, ["http"])["http"]
conn = keep_alive(http)

# Which connection is device N: one request to each number, on a line the rounds leave alone.
number = {}
for n in range(1, n_devices + 1):
    before = [len(a) for a in fleet.answers()]
    status, body = post(conn, "/api/page", {"line": "1B", "page": n % 64 + 1, "device": n})
    if status != 200:
        sys.exit(f"bench-events.sh: device {n}: {status} {body!r}")
    after = [len(a) for a in fleet.answers()]
    [k] = [k for k in range(n_devices) if after[k] != before[k]]
    number[n] = k

for count_clients in (16, 64):
    status, body = post(conn, "/api/page", {"line": "2T", "page": 64, "device": "all"})
    if status != 200:
        sys.exit(f"96-device run: {status} {body!r}")
    watch = Clients(http, count_clients, r"devices/\d+/lines/2T/page")
    first = [len(a) for a in fleet.answers()]
    for i in range(rounds):
        status, body = post(conn, "/api/page", {"line": "2T", "page": i % 64 + 1, "device": "all"})
        if status != 200:
            sys.exit(f"96-device run: {status} {body!r}")
    seen = watch.finish()
    answers = fleet.answers()
    times, missing = [], 0
    for mine in seen:
        per_device = {}
        for t, path in mine:
            per_device.setdefault(int(path.split("/")[1]), []).append(t)
        for n in range(1, n_devices + 1):
            arrivals = per_device.get(n, [])[:rounds]
            sent = answers[number[n]][first[number[n]]:]
            times += [(t - sent[i]) * 1000 for i, t in enumerate(arrivals)]
            missing += rounds - len(arrivals)
    print(f"event latency, {n_devices} devices, {count_clients} clients, {rounds} page switches "
          f"to all: {stats(times)}" + (f", {missing} events missing" if missing else ""), flush=True)
    failed = failed or missing > 0

conn.close()
serve.terminate()
serve.wait(10)
fleet.stop()
print(f"load after: {load()}")
sys.exit(1 if failed else 0)
EOF
