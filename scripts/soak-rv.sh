#!/bin/bash
# Soak of the RV page's polling against the simulated meter, by hand (not a
# ctest test: it runs for minutes). srvtool's "rv poll" runs the page's
# controller and worker without a window: it opens the port with the page's
# chain of reads, then its 50 ms timer polls the current values every 1.5 s
# and the raw readings every 200 ms. Meanwhile a random fault of the meter is
# switched on every few seconds and off again a moment later.
#
#   scripts/soak-rv.sh [MINUTES]        MINUTES: how long to poll, whole minutes (10)
#   BUILD_DIR=build-x scripts/soak-rv.sh   the build folder (build)
#   SOAK_SEED=N                          the random sequence of faults
#
# Prints: the exchanges the page ran and how many failed, the faults put on,
# the console messages, crashes of the polling program or of devsim, and the
# polling program's memory shortly after the start, at its lowest and highest,
# and at the end: VmRSS (all resident pages, including library pages paged in
# when a code path first runs) and RssAnon (heap and stacks, where a leak
# would show). Exits 1 when something crashed or RssAnon grew by more than
# SOAK_RSS_GROWTH_KB (1024) from the start to the end.
#
# Hang-ups and a vanishing port are left out: after them the page's port is
# gone until the user closes and opens it again, which a poll never does
# (tests/devsim/FaultMatrixTest.cpp covers them).
set -euo pipefail
cd "$(dirname "$0")/.."
minutes="${1:-10}"
BUILD_DIR="${BUILD_DIR:-build}"
DEVSIM="$BUILD_DIR/tools/devsim/devsim"
SRVTOOL="$BUILD_DIR/tools/srvtool/srvtool"
growth_limit_kb="${SOAK_RSS_GROWTH_KB:-1024}"
RANDOM="${SOAK_SEED:-$$}"
for program in "$DEVSIM" "$SRVTOOL"; do
  [ -x "$program" ] || { echo "not built: $program (set BUILD_DIR)" >&2; exit 2; }
done
case "$minutes" in
  '' | *[!0-9]* | 0) echo "minutes: a whole number above 0, not '$minutes'" >&2; exit 2 ;;
esac
seconds=$((minutes * 60))
faults=(silent short badsum garbage busy error)

# devsim's control commands come through a fifo this script holds open; its
# output ("NAME PATH", "ready", then one answer per command) goes to a file.
bench="$(mktemp -d /tmp/soak-rv.XXXXXX)"
mkfifo "$bench/control"
exec 4<>"$bench/control"
"$DEVSIM" --only rv --link "$bench" <&4 >"$bench/devsim.out" 2>"$bench/devsim.err" &
devsim_pid=$!
poll_pid=""
finish() {
  [ -n "$poll_pid" ] && kill "$poll_pid" 2>/dev/null || true
  kill "$devsim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$bench"
}
trap finish EXIT

for _ in $(seq 100); do
  grep -qx ready "$bench/devsim.out" && break
  sleep 0.1
done
grep -qx ready "$bench/devsim.out" || { echo "devsim did not start" >&2; exit 1; }

# rss_kb PID FIELD: a memory figure of /proc/PID/status in kB.
rss_kb() { awk -v field="$2:" '$1 == field { print $2 }' "/proc/$1/status" 2>/dev/null || true; }

"$SRVTOOL" rv --port "$bench/rv" poll --seconds "$seconds" --observation --counts \
  >"$bench/poll.json" 2>"$bench/poll.err" &
poll_pid=$!
started=$SECONDS
sleep 5  # the port open and its reads are done; the polls run
rss_start="$(rss_kb "$poll_pid" VmRSS)"
rss_min="$rss_start"
rss_max="$rss_start"
rss_last="$rss_start"
anon_start="$(rss_kb "$poll_pid" RssAnon)"
anon_min="$anon_start"
anon_max="$anon_start"
anon_last="$anon_start"
# sample: takes both figures of the polling program, while it runs.
sample() {
  local rss anon
  rss="$(rss_kb "$poll_pid" VmRSS)"
  anon="$(rss_kb "$poll_pid" RssAnon)"
  [ -n "$rss" ] && [ -n "$anon" ] || return 0
  rss_last="$rss"
  anon_last="$anon"
  [ "$rss" -lt "$rss_min" ] && rss_min="$rss"
  [ "$rss" -gt "$rss_max" ] && rss_max="$rss"
  [ "$anon" -lt "$anon_min" ] && anon_min="$anon"
  [ "$anon" -gt "$anon_max" ] && anon_max="$anon"
  return 0
}
injected=0
declare -A by_fault=()
# Stop injecting a few seconds before the end, so that the last polls meet
# a healthy meter and the run ends as it would after a fault was cleared.
while [ $((SECONDS - started)) -lt $((seconds - 8)) ] && kill -0 "$poll_pid" 2>/dev/null; do
  sleep $((2 + RANDOM % 4))
  fault="${faults[RANDOM % ${#faults[@]}]}"
  echo "rv fault $fault" >&4
  injected=$((injected + 1))
  by_fault[$fault]=$((${by_fault[$fault]:-0} + 1))
  sleep "$((1 + RANDOM % 2)).$((RANDOM % 10))"
  echo "rv fault none" >&4
  sample
done
# The last sample before the program ends on its own.
while kill -0 "$poll_pid" 2>/dev/null; do
  sample
  sleep 0.5
done
poll_status=0
wait "$poll_pid" || poll_status=$?
poll_pid=""
devsim_alive=1
kill -0 "$devsim_pid" 2>/dev/null || devsim_alive=0
answers_ok="$(grep -cx ok "$bench/devsim.out" || true)"

crashes=0
[ "$poll_status" -ge 128 ] && crashes=$((crashes + 1))
[ "$devsim_alive" = 1 ] || crashes=$((crashes + 1))

echo "RV soak: ${minutes} min of polling (current values every 1.5 s, readings every 200 ms)"
echo "faults injected: $injected ($(for f in "${!by_fault[@]}"; do printf '%s %s, ' "$f" "${by_fault[$f]}"; done | sed 's/, $//')); devsim took $answers_ok commands"
if [ "$poll_status" = 0 ]; then
  python3 - "$bench/poll.json" <<'EOF'
import collections, json, sys
p = json.load(open(sys.argv[1]))
print(f"requests: {p['exchanges']} exchanges, {p['failedExchanges']} failed at the port "
      f"(current values read {p['currentReads']} times, readings {p.get('readings', 0)})")
lines = collections.Counter(p["console"])
print(f"messages: {sum(lines.values())} console lines")
for text, n in lines.most_common():
    print(f"  {n:5d}  {text}")
EOF
else
  echo "srvtool ended with status $poll_status:"
  sed 's/^/  /' "$bench/poll.err"
fi
echo "crashes: $crashes (srvtool status $poll_status, devsim $([ "$devsim_alive" = 1 ] && echo running || echo gone))"
growth=$((anon_last - anon_start))
echo "memory of srvtool, VmRSS: start ${rss_start} kB, end ${rss_last} kB (growth $((rss_last - rss_start)) kB), lowest ${rss_min} kB, highest ${rss_max} kB"
echo "memory of srvtool, RssAnon: start ${anon_start} kB, end ${anon_last} kB (growth ${growth} kB), lowest ${anon_min} kB, highest ${anon_max} kB"
if [ "$crashes" != 0 ] || [ "$poll_status" != 0 ]; then exit 1; fi
if [ "$growth" -gt "$growth_limit_kb" ]; then
  echo "heap and stacks grew by more than ${growth_limit_kb} kB" >&2
  exit 1
fi
