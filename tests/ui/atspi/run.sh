#!/bin/bash
# Runs check_names.py against AccessibleWindows under Xvfb, on an
# accessibility bus of its own: bash run.sh PROGRAM [TRANSCRIPT].
# Exits 77 (skipped) when Xvfb, the bus or pyatspi is not installed.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
launcher=/usr/libexec/at-spi-bus-launcher
if ! command -v Xvfb >/dev/null || ! command -v dbus-run-session >/dev/null || [ ! -x "$launcher" ] ||
   ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
  echo "Xvfb, dbus-run-session, at-spi2-core or python3-pyatspi is missing (scripts/install-deps.sh installs them)"
  exit 77
fi
work="$(mktemp -d /tmp/atspi-names.XXXXXX)"
Xvfb -displayfd 5 -screen 0 3840x2160x24 5>"$work/display" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -1 "$work/display")" QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work"
export RVSERVICE_SETTINGS="$work/settings.json" RVSERVICE_PORTS="$work/none"
dbus-run-session -- bash -c '
  "$0" --launch-immediately >/dev/null 2>&1 &
  bus=$!
  sleep 1
  /usr/bin/python3 "$1/check_names.py" "$2" ${3:+"$3"}
  status=$?
  kill $bus 2>/dev/null
  exit $status
' "$launcher" "$here" "$1" "${2:-}" 2> >(grep -v "fd limit\|a11y.atspi\|SpiRegistry" >&2)
