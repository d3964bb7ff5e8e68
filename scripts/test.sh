#!/bin/bash
# Installs the dependencies, builds everything and runs every test: the
# Linux build, then the Windows build under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
BUILD_DIR="${BUILD_DIR:-build}"
status=0
ctest --test-dir "$BUILD_DIR" --output-on-failure -j"$(nproc)" || status=$?
# srvtool.exe and the core's tests cross-built for Windows, run under wine.
bash scripts/test-windows.sh || status=$?
exit "$status"
