#!/bin/bash
# Remakes the seed corpus in fuzz/corpus/ with the fuzz build's generator.
# BUILD_DIR picks the clang build folder (default build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build-fuzz}"
cmake -S fuzz -B "$BUILD_DIR" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$BUILD_DIR" --target make_corpus -j"$(nproc)"
rm -f fuzz/corpus/*.srv
"$BUILD_DIR/make_corpus" fuzz/corpus
