#!/usr/bin/env bash
# Show-control figures on this machine, loopback only: tqv7310nx-cli serve against the
# simulated device over TCP (no --wire pacing, so the device's turnaround is next to nothing).
#   latency: N page switches one after the other; from sending the request to its answer,
#            which includes the frame going out on the line and the device's "GO" coming back
#   added:   what serve adds to a page switch over the same frame written straight to a
#            second simulated device: N pairs, the two taken in turn (HTTP through serve, then
#            the raw frame), each on a connection kept open, the request bytes made before the
#            clock starts; the difference of the medians is serve's share
#   rate:    page switches at RATE requests a second from several clients for SECONDS; every
#            one must be answered 200 and reach the device (counted in the device's log), and
#            the rate reached must be at least 95 % of RATE: a run that fell behind its pace
#            measured a lower rate than it was asked for, and fails saying so
#   ceiling: as many page switches as one device takes for SECONDS, 8 clients each keeping 8
#            requests pipelined; every one must be answered 200 and reach the device
# usage: scripts/bench-control.sh [BIN_DIR] [N] [RATE] [SECONDS]   (default build/bin 1000 200 5)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/bin}
count=${2:-1000}
rate=${3:-200}
seconds=${4:-5}
for tool in tqv7310nx-sim tqv7310nx-cli; do
  [[ -x $bin/$tool ]] || { echo "bench-control.sh: $bin/$tool is not built (scripts/build.sh $tool)" >&2; exit 2; }
done
work=$(mktemp -d)
sim_pid=
serve_pid=
cleanup() {
  [[ -n $serve_pid ]] && kill "$serve_pid" 2>/dev/null || true
  [[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null || true
  pkill -P $$ tqv7310nx-sim 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Reads the process's output on descriptor FD until the line "WORD <port>" (at most 10 s)
# and prints the port; the rest of its output is drained in the background.
ready_port() {
  local fd=$1 word=$2 line
  while read -r -t 10 -u "$fd" line; do
    if [[ $line == "$word "* ]]; then
      cat <&"$fd" >/dev/null &
      echo "${line#"$word "}"
      return
    fi
  done
  echo "bench-control.sh: no \"$word\" line" >&2
  exit 1
}

exec 3< <(exec "$bin/tqv7310nx-sim" --listen 0 --log "$work/sim.log" 2>&1)
sim_pid=$!
device=$(ready_port 3 listening)
exec 4< <(exec "$bin/tqv7310nx-cli" --quiet --tcp "127.0.0.1:$device" serve --http 0 2>&1 >/dev/null)
serve_pid=$!
http=$(ready_port 4 http)

exec 5< <(exec "$bin/tqv7310nx-sim" --listen 0 2>&1)
raw_device=$(ready_port 5 listening)

echo "load: $(uptime)"
python3 - "$http" "$count" "$rate" "$seconds" "$work/sim.log" "$raw_device" <<'EOF'
import http.client, json, socket, statistics, sys, threading, time

port, count, rate, seconds, log = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4]), sys.argv[5]
raw_port = int(sys.argv[6])

def frames():
    with open(log, encoding="utf-8", errors="replace") as f:
        return sum(1 for line in f if " < " in line)

def page(conn, i):
    body = json.dumps({"line": "1T", "page": i % 64 + 1})
    conn.request("POST", "/api/page", body, {"Content-Type": "application/json"})
    r = conn.getresponse()
    r.read()
    return r.status

conn = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
for i in range(20):  # warm-up
    page(conn, i)
times = []
for i in range(count):
    t = time.perf_counter()
    status = page(conn, i)
    times.append((time.perf_counter() - t) * 1000)
    if status != 200:
        sys.exit(f"latency run: status {status}")
times.sort()
print(f"latency over {count} requests: median {statistics.median(times):.2f} ms, "
      f"p99 {times[int(len(times) * 0.99) - 1]:.2f} ms, max {times[-1]:.2f} ms")

def connected(p):
    s = socket.create_connection(("127.0.0.1", p))
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s

def exchange(sock, data, done):
    """Writes data and reads until done(bytes) holds; the time it took in ms."""
    t = time.perf_counter()
    sock.sendall(data)
    got = b""
    while not done(got):
        chunk = sock.recv(65536)
        if not chunk:
            sys.exit("added: connection closed")
        got += chunk
    return (time.perf_counter() - t) * 1000, got

def http_done(got):
    head, sep, body = got.partition(b"\r\n\r\n")
    if not sep:
        return False
    length = [int(l.split(b":")[1]) for l in head.split(b"\r\n") if l.lower().startswith(b"content-length:")]
    return len(body) >= (length[0] if length else 0)

web, raw = connected(port), connected(raw_port)
requests = []
for i in range(count):
    body = json.dumps({"line": "1T", "page": i % 64 + 1}).encode()
    requests.append((b"POST /api/page HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                     b"Content-Length: " + str(len(body)).encode() + b"\r\n\r\n" + body,
                     f"00P01T{i % 64 + 1:02d}\r\n".encode()))
served, direct = [], []
for request, frame in requests:
    t, got = exchange(web, request, http_done)
    if b" 200 " not in got.split(b"\r\n", 1)[0]:
        sys.exit(f"added: {got[:80]!r}")
    served.append(t)
    direct.append(exchange(raw, frame, lambda g: g.endswith(b"\r\n"))[0])
web.close()
raw.close()
added = statistics.median(served) - statistics.median(direct)
print(f"added by serve over {count} pairs: median {statistics.median(served):.3f} ms through serve, "
      f"{statistics.median(direct):.3f} ms the raw frame: serve adds {added:.3f} ms")

before = frames()
clients = 4
total = int(rate * seconds)
statuses = []
lock = threading.Lock()
start = time.perf_counter() + 0.1

def client(k):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    for i in range(k, total, clients):
        delay = start + i / rate - time.perf_counter()
        if delay > 0:
            time.sleep(delay)  # pacing the load generator, not waiting for a server
        s = page(c, i)
        with lock:
            statuses.append(s)

threads = [threading.Thread(target=client, args=(k,)) for k in range(clients)]
for t in threads: t.start()
for t in threads: t.join()
elapsed = time.perf_counter() - start
ok = statuses.count(200)
deadline = time.time() + 5
while frames() - before < ok and time.time() < deadline:
    time.sleep(0.05)
reached = ok / elapsed
print(f"sustained: {ok} of {total} requests answered 200 in {elapsed:.2f} s "
      f"({reached:.0f} requests/s of {rate:.0f} asked), {frames() - before} frames reached the device, "
      f"{total - ok} lost or refused")
failed = ok != total or frames() - before != total
if reached < 0.95 * rate:
    print(f"FAILED: the rate fell short: {reached:.0f} requests/s reached, {rate:.0f} asked "
          f"({100 * reached / rate:.0f} %); the clients could not keep the pace")
    failed = True

# The ceiling: every client keeps `depth` requests on its connection, reading answers as
# they come and sending one more for each, until the time is up.
before = frames()
depth, clients = 8, 8
answered, other = [0] * clients, [0] * clients
stop = time.perf_counter() + seconds
def saturate(k):
    s = connected(port)
    body = json.dumps({"line": "2B", "page": k + 1}).encode()
    request = (b"POST /api/page HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
               b"Content-Length: " + str(len(body)).encode() + b"\r\n\r\n" + body)
    s.sendall(request * depth)
    sent, buffer = depth, b""
    while answered[k] + other[k] < sent:
        chunk = s.recv(65536)
        if not chunk:
            break
        buffer += chunk
        while http_done(buffer):
            head, _, rest = buffer.partition(b"\r\n\r\n")
            length = [int(l.split(b":")[1]) for l in head.split(b"\r\n") if l.lower().startswith(b"content-length:")][0]
            buffer = rest[length:]
            if b" 200 " in head.split(b"\r\n", 1)[0]:
                answered[k] += 1
            else:
                other[k] += 1
            if time.perf_counter() < stop:
                s.sendall(request)
                sent += 1
    s.close()
start = time.perf_counter()
threads = [threading.Thread(target=saturate, args=(k,)) for k in range(clients)]
for t in threads: t.start()
for t in threads: t.join()
elapsed = time.perf_counter() - start
deadline = time.time() + 5
while frames() - before < sum(answered) and time.time() < deadline:
    time.sleep(0.05)
print(f"ceiling: {sum(answered)} answered 200 in {elapsed:.2f} s ({sum(answered) / elapsed:.0f} requests/s "
      f"to one device), {frames() - before} frames reached the device, {sum(other)} other answers")
failed = failed or sum(other) != 0 or frames() - before != sum(answered)
sys.exit(1 if failed else 0)
EOF
