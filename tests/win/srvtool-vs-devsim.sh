#!/bin/bash
# srvtool (Linux) and srvtool.exe (under wine) against the same devsim
# devices: every command of the table prints the same JSON on both, and the
# faults of a line (silence, a short reply, a bad checksum) give the same
# message and exit status. Wine reaches devsim's pseudo-terminals as COM5 …
# COM8 through links in its dosdevices folder, so srvtool.exe goes through
# the Win32 serial port (CreateFile on \\.\COMn, SetCommState, overlapped
# reads ended by the driver's timeouts) down to the same pty.
#
#   srvtool-vs-devsim.sh HOST_SRVTOOL DEVSIM SRVTOOL_EXE WINE
#
# WINEPREFIX names the wine prefix to use (scripts/test-windows.sh makes one
# per run); without it a prefix of its own is made and removed.
set -euo pipefail
host_srvtool=$1 devsim=$2 exe=$3 wine=${4:-wine}
export WINEDEBUG=-all LANG=C.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"

work=$(mktemp -d)
own_prefix=""
cleanup() {
    exec 3>&- 2>/dev/null || true
    [ -n "${sim_pid:-}" ] && wait "$sim_pid" 2>/dev/null || true
    if [ -n "$own_prefix" ]; then
        WINEPREFIX=$own_prefix wineserver -k 2>/dev/null || true
        rm -rf "$own_prefix"
    fi
    rm -rf "$work"
}
trap cleanup EXIT
if [ -z "${WINEPREFIX:-}" ]; then
    own_prefix=$(mktemp -d)
    export WINEPREFIX=$own_prefix
    "$wine" wineboot -i >/dev/null 2>&1 || true
fi

# devsim on a fifo: one command per line, each answered on its output.
mkdir "$work/bench"
mkfifo "$work/control"
"$devsim" --link "$work/bench" <"$work/control" >"$work/devsim.out" 2>"$work/devsim.err" &
sim_pid=$!
exec 3>"$work/control"
lines() { wc -l <"$work/devsim.out"; }
for _ in $(seq 100); do grep -qx ready "$work/devsim.out" && break; sleep 0.1; done
grep -qx ready "$work/devsim.out" || { echo "devsim did not start"; cat "$work/devsim.err"; exit 1; }
control() {
    local before
    before=$(lines)
    echo "$1" >&3
    for _ in $(seq 100); do [ "$(lines)" -gt "$before" ] && break; sleep 0.05; done
    local answer
    answer=$(tail -n 1 "$work/devsim.out")
    [ "$answer" = ok ] || { echo "devsim: '$1' answered '$answer'"; exit 1; }
}

declare -A com=([dorn]=COM5 [rv]=COM6 [kelt]=COM7 [nivor]=COM8)
for device in "${!com[@]}"; do
    ln -sfn "$work/bench/$device" "$WINEPREFIX/dosdevices/${com[$device],,}"
done

failures=0
now() { date +%s%N; }
# run LABEL DEVICE ARGS…: the command on both sides, "@" standing for the
# device's port; compares standard output, standard error and exit status.
run() {
    local label=$1 device=$2
    shift 2
    local linux_args=() win_args=() arg
    for arg in "$@"; do
        linux_args+=("${arg/#@/$work/bench/$device}")
        win_args+=("${arg/#@/${com[$device]}}")
    done
    local t0 t1 t2 status_linux=0 status_win=0
    t0=$(now)
    "$host_srvtool" "${linux_args[@]}" >"$work/linux.out" 2>"$work/linux.err" || status_linux=$?
    t1=$(now)
    "$wine" "$exe" "${win_args[@]}" >"$work/win.raw" 2>"$work/win.rawerr" || status_win=$?
    t2=$(now)
    # Windows ends its text lines with CR LF; the content is what counts.
    tr -d '\r' <"$work/win.raw" >"$work/win.out"
    tr -d '\r' <"$work/win.rawerr" >"$work/win.err"
    printf '%-28s linux %5d ms  wine %5d ms  exit %d/%d\n' "$label" $(((t1 - t0) / 1000000)) \
        $(((t2 - t1) / 1000000)) "$status_linux" "$status_win"
    # A failure's message, which both sides must print alike.
    [ "$status_linux" = 0 ] || sed 's/^/    /' "$work/linux.err"
    if [ "$status_linux" != "$status_win" ] || ! diff -u "$work/linux.out" "$work/win.out" ||
        ! diff -u "$work/linux.err" "$work/win.err"; then
        echo "  DIFFERS: $label"
        failures=$((failures + 1))
    elif [ ! -s "$work/linux.out" ] && [ ! -s "$work/linux.err" ]; then
        echo "  NOTHING PRINTED: $label"
        failures=$((failures + 1))
    fi
}

echo "command                      timings (this is no benchmark)"
run "dorn write"          dorn dorn --port @ --du 5 write --A 1.5 --B -0.25
run "dorn read"           dorn dorn --port @ --du 5 read
run "rv read system"      rv rv --port @ read system
run "rv read address"     rv rv --port @ read address
run "rv read integrator"  rv rv --port @ read integrator
run "rv status set"       rv rv --port @ status set 0
run "rv status clear"     rv rv --port @ status clear 0
run "kelt read"           kelt kelt --port @ --model 0 read
run "kelt battery"        kelt kelt --port @ --model 0 battery
run "nivor measure"       nivor nivor --port @ measure --mode time --time 0.5 --input1 1 --input2 3
run "missing port"        rv rv --port COM42 read address

# The faults of a line on each device, with a command that meets them: the
# Dorn write (its echo is compared with what was sent; a read answer has no
# checksum), the RV read (a reply too short or with a wrong CRC is dropped,
# so both end as silence), the Kelt read through its adapter, the Nivor
# measurement.
declare -A fault_command=(
    [dorn]="dorn --port @ --du 5 write --A 1.5 --B -0.25"
    [rv]="rv --port @ read address"
    [kelt]="kelt --port @ --model 0 read"
    [nivor]="nivor --port @ measure --mode time --time 0.5 --input1 1 --input2 3")
for device in dorn rv kelt nivor; do
    read -r -a args <<<"${fault_command[$device]}"
    for fault in silent short badsum; do
        control "$device fault $fault"
        run "$device $fault" "$device" "${args[@]}"
    done
    control "$device fault none"
    run "$device after faults" "$device" "${args[@]}"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures command(s) differ between srvtool and srvtool.exe"
    exit 1
fi
echo "srvtool and srvtool.exe agree on every command"
