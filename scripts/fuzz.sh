#!/usr/bin/env bash
# Builds the libFuzzer harnesses of the core with clang (build-fuzz/) and runs each for
# SECONDS seconds (default 600) on its seed corpus in tests/fuzz/corpus/NAME. Fails on the
# first finding; the crashing input is left in build-fuzz/findings/.
#   scripts/fuzz.sh [SECONDS] [NAME...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
shift || true
names=("$@")
if [ "${#names[@]}" -eq 0 ]; then names=(answers document glyph_list ini text control); fi
scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTQV_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)" >/dev/null
mkdir -p build-fuzz/findings build-fuzz/corpus
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for name in "${names[@]}"; do
  # New inputs go to a corpus outside the tree; the seeds in the tree stay as they are.
  work="build-fuzz/corpus/$name"
  mkdir -p "$work"
  log="build-fuzz/fuzz_$name.log"
  if ! "build-fuzz/bin/fuzz_$name" -max_total_time="$seconds" -max_len=4096 \
      -rss_limit_mb=1024 -artifact_prefix="build-fuzz/findings/$name-" -print_final_stats=1 \
      "$work" "tests/fuzz/corpus/$name" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "fuzz_$name: finding, see $log and build-fuzz/findings/" >&2
    exit 1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  echo "fuzz_$name: $runs runs in ${seconds} s, no finding"
done
