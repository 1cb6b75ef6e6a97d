#!/bin/bash
# The PostgreSQL server of the test suite, on a Unix socket in its own folder:
#   pg-server.sh start DIR [PASSWORD]   makes a new cluster in DIR and starts it (with
#                            PASSWORD: the role kelvray logs in with it, nothing is trusted)
#   pg-server.sh stop DIR    stops it and removes DIR
# initdb refuses to run as root: as root the cluster belongs to the postgres user.
set -eu
cmd=$1
dir=$2
password=${3:-}
bin=/usr/lib/postgresql/15/bin
[ -x "$bin/initdb" ] || bin=$(dirname "$(command -v initdb)")

as_owner() {
    if [ "$(id -u)" = 0 ]; then
        runuser -u postgres -- "$@"
    else
        "$@"
    fi
}

case $cmd in
start)
    # A server left over by an interrupted run is stopped first.
    if [ -f "$dir/data/postmaster.pid" ]; then
        as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    mkdir -m 0700 "$dir"
    if [ "$(id -u)" = 0 ]; then
        chown postgres: "$dir"
    fi
    auth=(-A trust)
    if [ -n "$password" ]; then
        printf '%s\n' "$password" >"$dir/pwfile"
        [ "$(id -u)" = 0 ] && chown postgres: "$dir/pwfile"
        auth=(-A scram-sha-256 "--pwfile=$dir/pwfile")
    fi
    as_owner "$bin/initdb" -D "$dir/data" -E UTF8 --locale=C.UTF-8 "${auth[@]}" -U kelvray >"$dir/initdb.log" 2>&1 ||
        { cat "$dir/initdb.log"; exit 1; }
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" \
        -o "-k $dir -c listen_addresses='' -c fsync=off -c max_connections=200" -w start ||
        { cat "$dir/server.log"; exit 1; }
    ;;
stop)
    if [ -f "$dir/data/postmaster.pid" ]; then
        as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w stop
    fi
    rm -rf "$dir"
    ;;
*)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
