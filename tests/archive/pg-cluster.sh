#!/bin/bash
# A throw-away PostgreSQL cluster for the archive's tests and benchmarks.
#   pg-cluster.sh start STATE   initdb into a new temporary folder, start the
#                               server on a Unix socket there and a free port
#                               on 127.0.0.1; STATE gets the folder and the
#                               server's URL (postgresql://postgres@127.0.0.1:PORT)
#   pg-cluster.sh stop STATE    stop the server, remove the folder and STATE
#   pg-cluster.sh pause STATE   stop the server, keep its data
#   pg-cluster.sh resume STATE  start it again on the same port
# Runs the server as the postgres user when started as root (CI), else as
# the caller.
set -euo pipefail

action=$1
state=$2

bindir=""
for d in /usr/lib/postgresql/*/bin; do
  [ -x "$d/initdb" ] && bindir=$d
done
if [ -z "$bindir" ]; then
  echo "pg-cluster.sh: no PostgreSQL server found (Debian's postgresql package)" >&2
  exit 1
fi

as_server() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

start_server() {  # DIR PORT
  as_server "$bindir/pg_ctl" -D "$1/data" -l "$1/server.log" -w -t 30 \
    -o "-k $1 -h 127.0.0.1 -p $2 -c fsync=off -c max_connections=50" start >/dev/null
}

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

case $action in
start)
  dir=$(mktemp -d /tmp/rvservice-pg.XXXXXX)
  chmod 755 "$dir"
  [ "$(id -u)" -eq 0 ] && chown postgres "$dir"
  as_server "$bindir/initdb" -D "$dir/data" -A trust -U postgres --locale=C.UTF-8 -E UTF8 >"$dir/initdb.log"
  for attempt in 1 2 3 4 5 6 7 8; do
    port=$(( 20000 + (RANDOM * 32768 + RANDOM) % 30000 ))
    port_in_use "$port" && continue
    if start_server "$dir" "$port"; then
      printf '%s\npostgresql://postgres@127.0.0.1:%s\n' "$dir" "$port" >"$state"
      exit 0
    fi
  done
  cat "$dir/server.log" >&2 || true
  rm -rf "$dir"
  exit 1
  ;;
stop)
  [ -f "$state" ] || exit 0
  dir=$(sed -n 1p "$state")
  if [ -d "$dir/data" ]; then
    as_server "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  case $dir in /tmp/rvservice-pg.*) rm -rf "$dir" ;; esac
  rm -f "$state"
  ;;
pause)
  dir=$(sed -n 1p "$state")
  as_server "$bindir/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
  ;;
resume)
  dir=$(sed -n 1p "$state")
  url=$(sed -n 2p "$state")
  start_server "$dir" "${url##*:}"
  ;;
*)
  echo "usage: pg-cluster.sh start|stop|pause|resume STATE" >&2
  exit 2
  ;;
esac
