#!/bin/bash
# Remakes the seed corpora in fuzz/corpus/<target>/ with the fuzz build's
# generator (the program's own writers and encoders).
# BUILD_DIR picks the clang build folder (default build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build-fuzz}"
cmake -S fuzz -B "$BUILD_DIR" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$BUILD_DIR" --target make_corpus -j"$(nproc)"
find fuzz/corpus -mindepth 2 -type f -delete
"$BUILD_DIR/make_corpus" fuzz/corpus
