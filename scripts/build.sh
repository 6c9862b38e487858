#!/usr/bin/env bash
# Release build into build/: build/bin/tqv7310nx, tqv7310nx-sim, tqv7310nx-cli and the tests.
# usage: scripts/build.sh [--gui] [TARGET...]   (targets: only these, as scripts/run.sh does)
set -euo pipefail
cd "$(dirname "$0")/.."
deps=()
if [[ ${1:-} == --gui ]]; then deps=(--gui); shift; fi
scripts/install-deps.sh "${deps[@]}"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build build -j"$(nproc)" "${targets[@]}"
