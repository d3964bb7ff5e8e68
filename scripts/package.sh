#!/bin/bash
# Builds the Debian package of rvservice, srvtool and devsim with CPack:
#
#   bash scripts/package.sh            -> build-package/rvservice_<version>_amd64.deb
#
# Install it with `apt-get install ./build-package/rvservice_*.deb`.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-package"

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DRVSERVICE_BENCH=OFF
cmake --build "$build" -j"$(nproc)"
(cd "$build" && cpack -G DEB)
ls "$build"/rvservice_*.deb
