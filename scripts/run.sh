#!/bin/bash
# Installs the dependencies, builds, starts the simulated bench (devsim) and
# runs rvservice with the bench's ports in every port list. devsim stops when
# rvservice exits. Arguments are passed to rvservice (e.g. a document path).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
BUILD_DIR="${BUILD_DIR:-build}"
DEVSIM="$BUILD_DIR/tools/devsim/devsim"
RVSERVICE="$BUILD_DIR/src/app/rvservice"

# devsim prints one "NAME PATH" line per simulated device, then "ready" once
# every port exists. With --link the paths are symlinks in a folder of our
# own that stay valid when a device hangs up and gets a fresh pty. Its output
# comes through a fifo, so the script waits for the "ready" line itself.
#
# Its control commands ("nivor freq1 800", "kelt fault silent", ...) come
# through the fifo "$bench/control": the script holds it open for reading and
# writing, so devsim never sees its input end while the window runs, and
# anyone may write a command line into it.
bench="$(mktemp -d /tmp/rvservice-bench.XXXXXX)"
mkfifo "$bench/out" "$bench/control"
exec 4<>"$bench/control"
"$DEVSIM" --link "$bench" <&4 >"$bench/out" &
devsim_pid=$!
stop_bench() {
  kill "$devsim_pid" 2>/dev/null || true
  wait "$devsim_pid" 2>/dev/null || true
  rm -rf "$bench"
}
trap stop_bench EXIT

ready=0
: >"$bench/ports"
exec 3<"$bench/out"
while IFS= read -r -t 10 line <&3; do
  if [ "$line" = ready ]; then
    ready=1
    break
  fi
  echo "$line" >>"$bench/ports"
done
# Later lines (a device's fresh pty after a hang-up, the answers to control
# commands) are not needed here; devsim ignores a closed output.
exec 3<&-
if [ "$ready" != 1 ]; then
  echo "devsim did not start" >&2
  exit 1
fi
echo "Simulated bench:"
sed 's/^/  /' "$bench/ports"
echo "Bench commands (see devsim --help): echo 'nivor freq1 800' > $bench/control"
RVSERVICE_PORTS="$(awk 'NF >= 2 { print $2 }' "$bench/ports" | paste -sd: -)"
export RVSERVICE_PORTS

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  # No screen to show the window on: check that the program starts with the
  # bench's ports, then say how to run it for real.
  QT_QPA_PLATFORM=offscreen "$RVSERVICE" --first-show-exit "$@" >/dev/null
  echo "rvservice started and showed its window on the offscreen platform."
  echo "No display found: run this script from a desktop session, or under"
  echo "Xvfb (Xvfb :99 & DISPLAY=:99 bash scripts/run.sh), to use the window."
  exit 0
fi
"$RVSERVICE" "$@"
