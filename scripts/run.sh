#!/usr/bin/env bash
# Builds the program and the simulated device, nothing else, and starts the program
# against the simulated device on a pseudo-terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh --gui tqv7310nx tqv7310nx-sim
exec build/bin/tqv7310nx --simulate "$@"
