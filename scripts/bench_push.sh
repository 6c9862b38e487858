#!/usr/bin/env bash
# Set all items from the dialog on every connected device at once (server role, 高速転送),
# with the traffic log window open: one simulated device, then 96, each answering 20 ms
# late; prints each wall time and the ratio to one device (target: at most 1.10).
# A release build measures the program rather than the sanitizers:
#   cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release && cmake --build build-bench
# usage: scripts/bench_push.sh [BUILD_DIR]     (default build-test, as scripts/test.sh makes it)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-test}
[[ -x $build/bin/settings_tests ]] || { echo "build the tests first (scripts/test.sh)" >&2; exit 1; }
QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 "$build/bin/settings_tests" \
  --gtest_also_run_disabled_tests --gtest_filter='LineSpeed.DISABLED_PushToEveryDeviceAgainstOne'
