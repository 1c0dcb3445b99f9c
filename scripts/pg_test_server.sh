#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests, reachable only through a Unix socket.
#   start [--durable]  initdb in a new temporary folder, start the server, print the folder;
#                      --durable keeps fsync on and gives it the cache of a real server
#                      (for bench/, whose commits are timed against the file's synced ones)
#   stop DIR           stop the server of DIR and remove DIR
#   restart DIR        stop and start it again on the same data (the fault tests use it)
#   conninfo DIR       print the connection text the tests take in LANLAN_TEST_PG
# The server refuses to run as root, so it runs as the unprivileged user postgres; every
# local connection is trusted (the folder is the only way in), but the role lanlan_password's.
set -euo pipefail
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$bin/initdb" ] || { echo "PostgreSQL server not installed (scripts/setup.sh)" >&2; exit 1; }
as_pg() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
ctl() { as_pg "$bin/pg_ctl" -D "$1/data" -l "$1/server.log" -w -t 60 "${@:2}"; }
# The tests don't need the server's writes on disk; a durable server (bench/) keeps them
# there, and its settings stay in its folder so a restart keeps them.
options() {
  local o="-c listen_addresses='' -c unix_socket_directories='$1/socket'"
  if [ -f "$1/durable" ]; then o="$o -c shared_buffers=2GB -c effective_cache_size=8GB -c max_wal_size=8GB"
  else o="$o -c fsync=off"; fi
  echo "$o"
}
conninfo() { echo "host=$1/socket dbname=lanlan_test user=$(stat -c %U "$1/data")"; }
case "${1:-}" in
  start)
    dir=$(mktemp -d /tmp/lanlan-pg.XXXXXX)
    chmod 755 "$dir"
    mkdir "$dir/socket"
    [ "${2:-}" != --durable ] || touch "$dir/durable"
    [ "$(id -u)" -ne 0 ] || chown postgres: "$dir" "$dir/socket"
    as_pg "$bin/initdb" -D "$dir/data" -U "$( [ "$(id -u)" -eq 0 ] && echo postgres || id -un)" \
      -A trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
    # One role must give its password, so the password dialog is tested against a real server.
    as_pg sed -i '1i local all lanlan_password scram-sha-256' "$dir/data/pg_hba.conf"
    ctl "$dir" -o "$(options "$dir")" start >/dev/null \
      || { cat "$dir/server.log" >&2; exit 1; }
    as_pg "$bin/createdb" -h "$dir/socket" lanlan_test
    echo "$dir"
    ;;
  stop)
    dir=${2:?folder}
    [ -d "$dir/data" ] && ctl "$dir" -m fast stop >/dev/null 2>&1 || true
    rm -rf "$dir"
    ;;
  restart)
    dir=${2:?folder}
    ctl "$dir" -m fast stop >/dev/null
    ctl "$dir" -o "$(options "$dir")" start >/dev/null
    ;;
  halt)
    dir=${2:?folder}
    ctl "$dir" -m immediate stop >/dev/null
    ;;
  resume)
    dir=${2:?folder}
    ctl "$dir" -o "$(options "$dir")" start >/dev/null
    ;;
  conninfo)
    conninfo "${2:?folder}"
    ;;
  *)
    echo "usage: $0 start | stop DIR | restart DIR | halt DIR | resume DIR | conninfo DIR" >&2
    exit 2
    ;;
esac
