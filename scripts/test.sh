#!/bin/bash
# Installs the dependencies, builds everything and runs every test: the
# Linux build's, then the Windows build's under wine (scripts/test-windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
BUILD_DIR="${BUILD_DIR:-build}"
# The Windows tests run even when a Linux test failed; either fails the run.
status=0
ctest --test-dir "$BUILD_DIR" --output-on-failure -j"$(nproc)" || status=1
bash scripts/test-windows.sh || status=1
exit $status
