#!/bin/bash
# Installs the dependencies, builds, and runs the program's main job on the
# example document shipped with the project.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
BUILD_DIR="${BUILD_DIR:-build}"
"$BUILD_DIR"/tools/srvtool/srvtool recalc examples/kelt-calibration.json
