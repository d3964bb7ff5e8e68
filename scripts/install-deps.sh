#!/bin/bash
# Installs the Debian 12 packages the project builds and tests with.
# Runs as root (or through sudo when it is there).
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  googletest libgtest-dev libbenchmark-dev
  nlohmann-json3-dev libcli11-dev
  qt6-base-dev qt6-base-dev-tools qt6-charts-dev libqt6opengl6-dev libgl-dev
  qt6-translations-l10n
  libqt6sql6-sqlite libqt6sql6-psql postgresql xvfb xauth
  clang libclang-rt-14-dev
  dpkg-dev file
  poppler-utils fonts-dejavu-core
  # the screen-reader test: a display, a session bus, the accessibility bus
  xvfb dbus-x11 at-spi2-core python3-pyatspi
  # the Windows build and its tests: the cross compiler (POSIX threads),
  # wine to run its programs (wine64 is the loader, wine the command), zip
  # for the package
  g++-mingw-w64-x86-64-posix wine wine64 zip
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
