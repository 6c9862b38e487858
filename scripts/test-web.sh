#!/usr/bin/env bash
# The web panel's browser tests: Debian's chromium driven by playwright-core (pinned in
# tests/web/package-lock.json; no browser is ever downloaded) against the simulated device
# and `tqv7310nx-cli serve`, both on port 0 of 127.0.0.1, their ports read from their ready
# lines. Builds the two programs into build-test/ (as scripts/test.sh does) when needed.
#   scripts/test-web.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-test}
if [ "$(id -u)" = 0 ]; then scripts/install-deps.sh --web; else scripts/install-deps.sh --check --web; fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTQV_SANITIZE=ON >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target tqv7310nx-cli tqv7310nx-sim
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# playwright-core must not fetch a browser of its own, whatever it is asked.
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1
export TQV_BIN=$PWD/$build/bin TQV_DOCS=$PWD/docs
cd tests/web
npm ci --no-audit --no-fund --ignore-scripts >/dev/null
node --test panel.test.mjs
