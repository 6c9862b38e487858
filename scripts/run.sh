#!/usr/bin/env bash
# Builds and starts the program against the simulated device on a pseudo-terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh --gui
exec build/bin/tqv7310nx --simulate "$@"
