#!/bin/bash
# The Windows build and its tests: srvtool.exe and the core's tests
# cross-built with mingw-w64 in build-win/ (or $WIN_BUILD_DIR), then run by
# ctest under wine. Installs what it needs and builds the Linux devsim and
# srvtool (in build/ or $BUILD_DIR), which srvtool.exe is compared with.
# scripts/test.sh runs it after the Linux tests.
#
# One wine prefix is made per run in a temporary folder, its wineserver kept
# running across the tests and everything removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# The packages (the cross compiler with POSIX threads, wine, zip come with
# the rest) and the Linux srvtool and devsim, which srvtool.exe meets.
bash scripts/install-deps.sh
BUILD_DIR="${BUILD_DIR:-build}"
WIN_BUILD_DIR="${WIN_BUILD_DIR:-build-win}"
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD_DIR" -j"$(nproc)" --target srvtool devsim
host_build=$(cd "$BUILD_DIR" && pwd)

# Wine without a display and without questions: no windows at all (the
# programs are console ones), no .NET or HTML engine to offer for download
# when the prefix is made, no menu entries written for the desktop, and
# none of wine's own messages, which would mix with the programs' output.
unset DISPLAY WAYLAND_DISPLAY
# Wine stores a file name in the Unix locale's character set: in the C
# locale (a bare CI shell) a Cyrillic name cannot be made at all, where
# Windows takes any.
export LC_ALL=C.UTF-8
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
WINEPREFIX=$(mktemp -d /tmp/rvservice-wine.XXXXXX)
export WINEPREFIX
finish() {
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
}
trap finish EXIT

cmake -S . -B "$WIN_BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRV_HOST_BUILD="$host_build" >/dev/null
cmake --build "$WIN_BUILD_DIR" -j"$(nproc)"

# A wineserver that stays for every test instead of starting and stopping
# with each program, then the prefix (wine's first start makes it). The
# server comes first: the system processes it starts with the prefix stay
# with it, their output on /dev/null. Started by the first test instead,
# they would hold that test's output pipe open and ctest would wait for
# them for ever.
start=$(date +%s)
wineserver -p >/dev/null 2>&1
wine wineboot -i >/dev/null 2>&1
echo "wine prefix ready in $(($(date +%s) - start)) s"
ctest --test-dir "$WIN_BUILD_DIR" --output-on-failure -j"$(nproc)"
