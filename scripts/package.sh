#!/bin/bash
# Builds the Debian package of rvservice, srvtool and devsim with CPack:
#
#   bash scripts/package.sh            -> build-package/rvservice_<version>_amd64.deb
#                                         build-package/srvtool-<version>-win64.zip
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

# srvtool.exe for Windows benches: cross-built, statically linked (it runs
# alone), zipped with its Russian README (UTF-8 with a byte-order mark and
# CR LF line ends, so that Notepad shows it right).
win="$root/build-package-win"
cmake -S "$root" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build "$win" -j"$(nproc)" --target srvtool
version=$(sed -n 's/^project(rvservice VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
stage="$win/zip/srvtool-$version-win64"
rm -rf "$win/zip" && mkdir -p "$stage"
x86_64-w64-mingw32-strip -o "$stage/srvtool.exe" "$win/tools/srvtool/srvtool.exe"
{ printf '\xef\xbb\xbf'; sed 's/$/\r/' "$root/packaging/windows/README.txt"; } >"$stage/README.txt"
zip_file="$root/build-package/srvtool-$version-win64.zip"
rm -f "$zip_file"
(cd "$win/zip" && zip -qr "$zip_file" "srvtool-$version-win64")
ls "$zip_file"
