#!/usr/bin/env bash
# The dialogs' answer-paced runs (高速転送) against the simulated device on a 9600 baud
# 8E1 line (tqv7310nx-sim --serial --wire): set all items, read settings, glyph register
# and glyph read, each with its wall time, the time its bytes alone need on the line
# (11 bits a byte) and the ratio. Takes about two minutes.
#
# usage: scripts/bench_dialogs.sh [BUILD_DIR]     (default build-test, as scripts/test.sh makes it)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-test}
[[ -x $build/bin/settings_tests ]] || { echo "build the tests first (scripts/test.sh)" >&2; exit 1; }
QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 "$build/bin/settings_tests" \
  --gtest_also_run_disabled_tests --gtest_filter='LineSpeed.DISABLED_AnswerPacedRunsAgainstA9600BaudLine'
