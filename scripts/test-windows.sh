#!/usr/bin/env bash
# Builds the core and its tests for 64-bit Windows with mingw-w64 and runs them under Wine:
# headless, in a Wine prefix of the build's own, and without a network where the machine
# lets a process have none. As root on Debian 12, like scripts/test.sh. Qt 6 for Windows is
# not among Debian's packages, so the Qt layers are not built here.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --windows
build=build-windows
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j"$(nproc)" --target core_tests

# The wine64 package puts no wine64 on the PATH.
wine=/usr/lib/wine/wine64
export WINEPREFIX=$PWD/$build/wineprefix WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="  # no Mono, no Gecko, no menus
unset DISPLAY WAYLAND_DISPLAY
isolate=()
unshare --net true 2>/dev/null && isolate=(unshare --net)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== a Wine prefix in $WINEPREFIX"
  "${isolate[@]}" "$wine" wineboot --init >/dev/null 2>&1 || true
fi
echo "== the core's tests under Wine${isolate:+ (no network)}"
status=0
"${isolate[@]}" "$wine" "$build/bin/core_tests.exe" --gtest_brief=1 || status=$?
/usr/lib/wine/wineserver -k 2>/dev/null || true
exit "$status"
