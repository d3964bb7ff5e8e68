#!/bin/bash
# The Windows build and its tests: srvtool.exe and the core's tests
# cross-built with mingw-w64 in build-win/ (or $WIN_BUILD_DIR), then run by
# ctest under wine. Needs the Linux build (build/ or $BUILD_DIR) for devsim
# and srvtool, which srvtool.exe is compared with.
#
# One wine prefix is made per run in a temporary folder, its wineserver kept
# running across the tests and everything removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# The cross compiler (POSIX threads), wine to run its programs and tests
# (wine64 is the loader, wine the command), zip for the package.
windows_packages=(g++-mingw-w64-x86-64-posix wine wine64 zip)
missing=()
for p in "${windows_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
BUILD_DIR="${BUILD_DIR:-build}"
WIN_BUILD_DIR="${WIN_BUILD_DIR:-build-win}"
host_build=$(cd "$BUILD_DIR" && pwd)

export WINEDEBUG=-all
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
