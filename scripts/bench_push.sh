#!/usr/bin/env bash
# Set all items from the dialog on every connected device at once (server role, 高速転送),
# with the traffic log window open: one simulated device against 96, each answering 20 ms
# late, the two sides taking turns (1, 96, 1, 96, ...) so that load drifting during the run
# falls on both sides of a pair; prints each pair's wall times and ratio, then the ratio's
# min/median/max (target: a median of at most 1.10).
# A release build measures the program rather than the sanitizers:
#   cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo && cmake --build build
# usage: scripts/bench_push.sh [BUILD_DIR] [PAIRS]   (default build-test, as scripts/test.sh makes it; 5)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-test}
[[ -x $build/bin/settings_tests ]] || { echo "build the tests first (scripts/test.sh)" >&2; exit 1; }
echo "load: $(uptime)"
TQV_BENCH_PAIRS=${2:-5} QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 "$build/bin/settings_tests" \
  --gtest_also_run_disabled_tests --gtest_filter='LineSpeed.DISABLED_PushToEveryDeviceAgainstOne'
echo "load: $(uptime)"
