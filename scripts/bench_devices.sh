#!/usr/bin/env bash
# How the server role scales with the number of devices: tqv7310nx-cli --listen pushes a
# whole settings document (--fast, 280 steps) to 1, 8 and 96 simulated devices at once,
# each device answering 20 ms after a command (tqv7310nx-sim --connect --count N --delay 20).
# The counts take turns, round after round (1, 8, 96, 1, 8, 96, ...), and each count is
# compared with the first count of its own round, so that the machine's load drifting during
# the run falls on both sides of a ratio rather than into it. Reports for each count: the
# wall time, its ratio to the first count (min/median/max over the rounds), and the tool's
# peak resident memory and CPU time (medians). Loopback only; every run is bounded by the
# tool's --wait.
#
# usage: ROUNDS=5 scripts/bench_devices.sh [BUILD_DIR] [COUNTS...]   (default build-bench; 1 8 96)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
shift || true
counts=("$@")
[[ ${#counts[@]} -gt 0 ]] || counts=(1 8 96)

if [[ ! -x $build/bin/tqv7310nx-cli || ! -x $build/bin/tqv7310nx-sim ]]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j2 --target tqv7310nx-cli tqv7310nx-sim >/dev/null
fi
cli=$build/bin/tqv7310nx-cli
sim=$build/bin/tqv7310nx-sim

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A document to push: a fresh device's settings, read once.
mkfifo "$work/ready"
"$sim" --serial >"$work/ready" </dev/null &
pids+=($!)
read -r _ pty <"$work/ready"
"$cli" --serial "$pty" --fast --quiet pull "$work/doc.dat"

# One run: prints "wall_s max_rss_kb cpu_s".
measure() {
  local n=$1 start end port
  rm -f "$work/cli.err"
  start=$(date +%s.%N)
  /usr/bin/time -f '%M %U %S' -o "$work/time" \
    "$cli" --listen 0 --devices "$n" --wait 60 --fast --quiet push "$work/doc.dat" 2>"$work/cli.err" &
  local cli_pid=$!
  pids+=($cli_pid)
  for _ in $(seq 200); do
    port=$(sed -n 's/^listening \([0-9]*\)$/\1/p' "$work/cli.err" 2>/dev/null || true)
    [[ -n $port ]] && break
    # Bounded wait for the tool's ready line.
    sleep 0.05
  done
  [[ -n $port ]] || { echo "the tool did not listen" >&2; exit 1; }
  "$sim" --connect "127.0.0.1:$port" --count "$n" --delay 20 >/dev/null &
  pids+=($!)
  wait "$cli_pid" || { cat "$work/cli.err" >&2; exit 1; }
  end=$(date +%s.%N)
  read -r rss user sys <"$work/time"
  echo "$(echo "$end - $start" | bc -l) $rss $(echo "$user + $sys" | bc -l)"
}

rounds=${ROUNDS:-5}
echo "load: $(uptime)"
# One line per run: "round devices wall_s ratio max_rss_kb cpu_s".
printf '%-6s %-8s %10s %10s %12s %10s\n' round devices wall_s ratio max_rss_kb cpu_s
for round in $(seq "$rounds"); do
  base=
  for n in "${counts[@]}"; do
    read -r wall rss cpu <<<"$(measure "$n")"
    [[ -n $base ]] || base=$wall
    printf '%-6d %-8d %10.2f %10.3f %12d %10.2f\n' "$round" "$n" "$wall" "$(echo "$wall / $base" | bc -l)" \
      "$rss" "$cpu" | tee -a "$work/runs"
  done
done
echo "load: $(uptime)"
python3 - "$work/runs" "${counts[0]}" <<'EOF'
import statistics, sys
runs = [line.split() for line in open(sys.argv[1])]
print(f"\n| devices | wall time (median) | against {sys.argv[2]} device(s): min / median / max "
      "| peak memory (median) | CPU time (median) |\n| ---: | ---: | ---: | ---: | ---: |")
for n in dict.fromkeys(r[1] for r in runs):
    mine = [r for r in runs if r[1] == n]
    col = lambda k: [float(r[k]) for r in mine]
    ratio = col(3)
    print(f"| {n} | {statistics.median(col(2)):.2f} s | {min(ratio):.3f} / {statistics.median(ratio):.3f} / "
          f"{max(ratio):.3f} | {statistics.median(col(4)) / 1000:.1f} MB | {statistics.median(col(5)):.2f} s |")
EOF
