#!/usr/bin/env bash
# Show-control event figures on this machine, loopback only: tqv7310nx-cli serve against a
# device played by this script (it answers "GO" to every line at once and notes when), and
# WebSocket clients of /api/events written with the standard library only.
#   latency: page switches posted one after the other; from the moment the device wrote its
#            answer to the moment the change event reached each WebSocket client, with 1 and
#            with 50 clients
#   rate:    page switches sent over one WebSocket at RATE a second for SECONDS; every one
#            must get its result 200 and reach the device
# usage: scripts/bench-events.sh [BIN_DIR] [N] [RATE] [SECONDS]   (default build/bin 500 200 10)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/bin}
[[ -x $bin/tqv7310nx-cli ]] || { echo "bench-events.sh: $bin/tqv7310nx-cli is not built (scripts/build.sh tqv7310nx-cli)" >&2; exit 2; }
exec python3 - "$bin/tqv7310nx-cli" "${2:-500}" "${3:-200}" "${4:-10}" <<'EOF'
import base64, json, os, socket, statistics, struct, subprocess, sys, threading, time

cli, count, rate, seconds = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4])
now = time.perf_counter

# The device: one connection, a line in, "00GO" out, the time of each answer kept.
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(1)
answers, frames = [], [0]

def device():
    conn, _ = listener.accept()
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    buffer = b""
    while True:
        data = conn.recv(4096)
        if not data:
            return
        buffer += data
        while b"\n" in buffer:
            _, buffer = buffer.split(b"\n", 1)
            conn.sendall(b"00GO\r\n")
            answers.append(now())
            frames[0] += 1

threading.Thread(target=device, daemon=True).start()
serve = subprocess.Popen([cli, "--quiet", "--tcp", f"127.0.0.1:{listener.getsockname()[1]}",
                          "serve", "--http", "0"], stderr=subprocess.PIPE, text=True)
http = None
for line in serve.stderr:
    if line.startswith("http "):
        http = int(line.split()[1])
        break
threading.Thread(target=lambda: [None for _ in serve.stderr], daemon=True).start()

class Ws:
    """A WebSocket client of /api/events: handshake, masked text frames out, frames in."""
    def __init__(self):
        self.s = socket.create_connection(("127.0.0.1", http))
        self.s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        key = base64.b64encode(os.urandom(16)).decode()
        self.s.sendall((f"GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                        f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                        f"Sec-WebSocket-Version: 13\r\n\r\n").encode())
        self.buffer = b""
        while b"\r\n\r\n" not in self.buffer:
            self.buffer += self.s.recv(4096)
        head, self.buffer = self.buffer.split(b"\r\n\r\n", 1)
        assert b" 101 " in head.split(b"\r\n")[0], head
    def need(self, n):
        while len(self.buffer) < n:
            data = self.s.recv(65536)
            if not data:
                raise EOFError
            self.buffer += data
    def receive(self):
        self.need(2)
        n = self.buffer[1] & 0x7F
        at = 2
        if n == 126:
            self.need(4); n = struct.unpack(">H", self.buffer[2:4])[0]; at = 4
        elif n == 127:
            self.need(10); n = struct.unpack(">Q", self.buffer[2:10])[0]; at = 10
        self.need(at + n)
        payload, self.buffer = self.buffer[at:at + n], self.buffer[at + n:]
        return json.loads(payload)
    def send(self, text):
        data, mask = text.encode(), os.urandom(4)
        head = bytes([0x81]) + (bytes([0x80 | len(data)]) if len(data) < 126
                                 else bytes([0x80 | 126]) + struct.pack(">H", len(data)))
        self.s.sendall(head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))

def post_page(conn, line, i):
    body = json.dumps({"line": line, "page": i % 64 + 1})
    conn.sendall((f"POST /api/page HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: {len(body)}\r\n\r\n"
                  + body).encode())
    reply = b""
    while b"\r\n\r\n" not in reply or not reply.rstrip().endswith(b"}"):
        reply += conn.recv(4096)
    return int(reply.split()[1])

def latency(clients, line):
    sockets = [Ws() for _ in range(clients)]
    for w in sockets:
        w.receive()  # the state
    arrivals = [[] for _ in sockets]
    def listen(k):
        while len(arrivals[k]) < count:
            m = sockets[k].receive()
            if m.get("type") == "change" and f"lines/{line}/page" in m["changes"]:
                arrivals[k].append(now())
    threads = [threading.Thread(target=listen, args=(k,)) for k in range(clients)]
    for t in threads: t.start()
    conn = socket.create_connection(("127.0.0.1", http))
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    first = len(answers)
    for i in range(count):
        # Each page differs from the one before, so each is one change event.
        if post_page(conn, line, i) != 200:
            sys.exit("latency run: a request failed")
    for t in threads: t.join(30)
    times = sorted((a[i] - answers[first + i]) * 1000 for a in arrivals for i in range(count))
    for w in sockets: w.s.close()
    return statistics.median(times), times[int(len(times) * 0.99) - 1], times[-1]

for clients, line in ((1, "1T"), (50, "2T")):
    median, p99, worst = latency(clients, line)
    print(f"event latency, {clients} client{'s' if clients > 1 else ''}, {count} page switches: "
          f"median {median:.2f} ms, p99 {p99:.2f} ms, max {worst:.2f} ms")

w = Ws()
w.receive()
total, results = int(rate * seconds), {}
before = frames[0]
def collect():
    while len(results) < total:
        m = w.receive()
        if m.get("type") == "result":
            results[m["id"]] = m["status"]
reader = threading.Thread(target=collect)
reader.start()
start = now()
for i in range(total):
    delay = start + i / rate - now()
    if delay > 0:
        time.sleep(delay)  # pacing the load generator, not waiting for a server
    w.send(json.dumps({"op": "page", "id": i, "line": "2B", "page": i % 64 + 1}))
reader.join(30)
elapsed = now() - start
ok = sum(1 for s in results.values() if s == 200)
print(f"WebSocket requests: {ok} of {total} answered 200 in {elapsed:.2f} s "
      f"({total / elapsed:.0f} sent a second), {frames[0] - before} frames at the device, "
      f"{total - ok} lost or refused")
serve.terminate()
serve.wait(10)
sys.exit(0 if ok == total and frames[0] - before == total else 1)
EOF
