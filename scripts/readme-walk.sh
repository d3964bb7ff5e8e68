#!/bin/bash
# Walks the README's five-minute calibration on the simulated bench, as a
# user would, through the window's accessibility interface under Xvfb, and
# keeps a screenshot of each step:
#
#   bash scripts/readme-walk.sh [SCREENSHOT_DIR]     (default /tmp/readme-walk)
#
# A new Kelt document, the transducer's coefficients read, a calibration
# package, five entries measured with the simulated Nivor instrument,
# approximation, the graphs, the coefficients written back, the report and
# the saved document; then the saved document is checked with srvtool.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
shots="${1:-/tmp/readme-walk}"
BUILD_DIR="${BUILD_DIR:-$root/build}"

bash "$root/scripts/install-deps.sh"
walk_packages=(xvfb xdotool imagemagick dbus-x11 at-spi2-core python3-pyatspi)
missing=()
for p in "${walk_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
cmake -S "$root" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" --target rvservice devsim srvtool >/dev/null

work="$(mktemp -d /tmp/readme-walk.XXXXXX)"
rm -rf "$shots"
mkdir -p "$shots"
# Xvfb picks a free display and names it once it takes connections.
Xvfb -displayfd 5 -screen 0 1280x1024x24 5>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
if [ ! -s "$work/display" ]; then
  echo "readme-walk: Xvfb did not start" >&2
  exit 1
fi
display=":$(head -1 "$work/display")"
mkfifo "$work/out" "$work/control"
exec 4<>"$work/control"
"$BUILD_DIR/tools/devsim/devsim" --link "$work" <&4 >"$work/out" &
devsim=$!
cleanup() {
  kill "$devsim" "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
exec 3<"$work/out"
while IFS= read -r -t 10 line <&3; do [ "$line" = ready ] && break; done
exec 3<&-

# The walk gets a settings file and a report folder of its own, so it starts
# from what a new user has and leaves the user's own settings alone.
export DISPLAY=$display XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export RVSERVICE_SETTINGS="$work/settings.json"
export RVSERVICE_PORTS="$work/dorn:$work/kelt:$work/rv:$work/nivor"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
document="$work/Келт.srv"
dbus-run-session -- bash -c '
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
  "$0" >"$1/rvservice.log" 2>&1 &
  rv=$!
  status=0
  /usr/bin/python3 "$2/scripts/readme_walk.py" "$1" "$3" "$4" || status=$?
  kill $rv 2>/dev/null
  if [ $status -ne 0 ]; then
    echo "rvservice said:" >&2
    cat "$1/rvservice.log" >&2
  fi
  exit $status
' "$BUILD_DIR/src/app/rvservice" "$work" "$root" "$shots" "$document" 2>&1 | grep -v 'fd limit\|XDG_RUNTIME_DIR\|a11y.atspi\|SpiRegistry'

echo "-- the saved document, read back by srvtool"
"$BUILD_DIR/tools/srvtool/srvtool" dump "$document" | /usr/bin/python3 -c '
import json, sys
doc = json.load(sys.stdin)
packages = doc["packages"]
entries = sum(len(p["entries"]) for p in packages)
lines = doc.get("lines", [])
print(f"   {len(packages)} package(s), {entries} entries, {len(lines)} line(s)")
if entries != 5 or not lines:
    sys.exit("the saved document does not hold the walk'"'"'s entries and lines")
'
echo "readme-walk: done; screenshots in $shots"
