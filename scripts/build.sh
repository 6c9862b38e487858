#!/usr/bin/env bash
# Release build into build/: build/bin/tqv7310nx, tqv7310nx-sim, tqv7310nx-cli.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh "$@"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
