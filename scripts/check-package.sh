#!/bin/bash
# Installs the Debian package into a fresh Debian 12 system (a debootstrap
# chroot) and checks that it works there: the three programs are on the PATH,
# srvtool answers --help, the document type is known, rvservice starts
# under Xvfb and opens a document given on its command line (the window's
# title names it), and its "Графики" (Ctrl+G) opens the graphs window from
# the charts library the program loads on that first use.
#
#   bash scripts/check-package.sh [PACKAGE.deb] [CHROOT_DIR]
#
# Needs root and the Debian mirror. The chroot is made once and reused.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
deb="$(readlink -f "${1:-$(ls "$root"/build-package/rvservice_*.deb | tail -1)}")"
target="${2:-/var/tmp/rvservice-deb12}"
display=:93

export DEBIAN_FRONTEND=noninteractive
for tool in debootstrap Xvfb xdotool; do
  command -v "$tool" >/dev/null || apt-get install -y -qq debootstrap xvfb xdotool >/dev/null
done
if [ ! -x "$target/usr/bin/apt-get" ]; then
  debootstrap --variant=minbase bookworm "$target" http://deb.debian.org/debian >/dev/null
fi
cp /etc/resolv.conf "$target/etc/"
mkdir -p "$target/tmp/.X11-unix"
mountpoint -q "$target/proc" || mount -t proc proc "$target/proc"
mountpoint -q "$target/tmp/.X11-unix" || mount --bind /tmp/.X11-unix "$target/tmp/.X11-unix"
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  chroot "$target" pkill -x rvservice 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  umount "$target/tmp/.X11-unix" "$target/proc" 2>/dev/null || true
}
trap cleanup EXIT

cp "$deb" "$root/examples/kelt-calibration.json" "$target/tmp/"
chroot "$target" bash -euc '
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "/tmp/'"$(basename "$deb")"'" >/dev/null
  for p in rvservice srvtool devsim; do command -v "$p"; done
  # The program'"'"'s own libraries find every library and symbol they use.
  for lib in /usr/lib/rvservice/librvui.so /usr/lib/rvservice/librvcharts.so; do
    if ldd -r "$lib" 2>&1 | grep -E "undefined symbol|not found"; then exit 1; fi
  done
  srvtool --help | head -1
  srvtool convert /tmp/kelt-calibration.json -o "/tmp/Келт.srv" >/dev/null
  echo "document type: $(xdg-mime query filetype "/tmp/Келт.srv") -> $(xdg-mime query default application/x-rvservice-document)"
  (DISPLAY='"$display"' rvservice "/tmp/Келт.srv" >/tmp/rvservice.log 2>&1 &)
'
# The names of the windows whose name matches $1, waited for up to 15 s.
window_names() {
  local names=""
  for _ in $(seq 30); do
    names="$(DISPLAY=$display xdotool search --name "$1" getwindowname %@ 2>/dev/null || true)"
    [ -n "$names" ] && break
    sleep 0.5
  done
  echo "$names"
}

title="$(window_names 'Ralvo')"
echo "window: $title"
if [ "$title" != "Ralvo-Cервис [/tmp/Келт.srv]" ]; then
  echo "check-package: rvservice did not open the document" >&2
  cat "$target/tmp/rvservice.log" >&2
  exit 1
fi
window="$(DISPLAY=$display xdotool search --name 'Ralvo' | head -1)"
DISPLAY=$display xdotool windowfocus --sync "$window" key --window "$window" ctrl+g
if [ -z "$(window_names '^График$')" ]; then
  echo "check-package: the graphs window did not open" >&2
  cat "$target/tmp/rvservice.log" >&2
  exit 1
fi
echo "graphs window: open"
echo "check-package: the package installs and runs on Debian 12"
