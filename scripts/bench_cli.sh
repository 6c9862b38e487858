#!/usr/bin/env bash
# How close `tqv7310nx-cli --fast` comes to the speed of the serial line itself.
#
# Runs push and pull of a whole settings document against the simulated device on a
# pseudo-terminal paced like a real line (tqv7310nx-sim --serial --wire: 9600 baud, 8 data
# bits, even parity, 1 stop bit, so 11 bits a byte) and reports for each:
#   wall   time of the whole tqv7310nx-cli run, start-up included
#   wire   the time the bytes sent and received alone need on such a line
#   ratio  wall / wire
# Bytes are counted by the tool itself (--stats).
#
# usage: scripts/bench_cli.sh [BUILD_DIR]     (default build-bench, a release build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}

if [[ ! -x $build/bin/tqv7310nx-cli || ! -x $build/bin/tqv7310nx-sim ]]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j2 --target tqv7310nx-cli tqv7310nx-sim >/dev/null
fi
cli=$build/bin/tqv7310nx-cli
sim=$build/bin/tqv7310nx-sim

work=$(mktemp -d)
sim_pid=
cleanup() {
  if [[ -n $sim_pid ]]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# The simulator prints "serial <path>" once the pseudo-terminal is there.
mkfifo "$work/ready"
"$sim" --serial --wire --log "$work/sim.log" >"$work/ready" </dev/null &
sim_pid=$!
read -r word pty <"$work/ready"
[[ $word == serial ]] || { echo "simulator did not start" >&2; exit 1; }

now() { date +%s.%N; }

# One run: prints "wall sent received".
measure() {
  local start end stats
  start=$(now)
  "$cli" --serial "$pty" --fast --quiet --stats "$@" 2>"$work/stderr" || {
    cat "$work/stderr" >&2
    exit 1
  }
  end=$(now)
  stats=$(grep '^bytes sent' "$work/stderr")
  # "bytes sent N, bytes received M, command time T s"
  read -r sent received <<<"$(sed -E 's/bytes sent ([0-9]+), bytes received ([0-9]+).*/\1 \2/' <<<"$stats")"
  echo "$(echo "$end - $start" | bc -l) $sent $received"
}

# A document to push: what a fresh device holds. Every title travels as 14 codes whatever
# it says, so the byte count is that of any document.
measure pull "$work/doc.dat" >/dev/null

printf '%-5s %10s %10s %10s %10s %8s\n' op sent received wall_s wire_s ratio
for op in push pull; do
  if [[ $op == push ]]; then file=$work/doc.dat; else file=$work/back.dat; fi
  read -r wall sent received <<<"$(measure "$op" "$file")"
  wire=$(echo "($sent + $received) * 11 / 9600" | bc -l)
  ratio=$(echo "$wall / $wire" | bc -l)
  printf '%-5s %10d %10d %10.2f %10.2f %8.3f\n' "$op" "$sent" "$received" "$wall" "$wire" "$ratio"
done
cmp -s "$work/doc.dat" "$work/back.dat" && echo "pulled document equals the pushed one"
