#!/usr/bin/env bash
# The store's figures on the data file and on a local PostgreSQL server, one after the other in
# one run (the server on a Unix socket, started here and removed afterwards):
#   bench/backends.sh [BUILD] [TASKS]      BUILD: the build folder (build), TASKS: 100000
# Each line of figures is printed twice, "file" and "server". The 1,000,000-task tick takes a
# long time to fill on the server: KELVRAY_BENCH_TICKS='1000|100000|1000000' asks for it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
tasks=${2:-100000}
ticks=${KELVRAY_BENCH_TICKS:-1000|100000}
work=$(mktemp -d /tmp/krb-XXXXXX) # short: the server's socket lives in it
chmod 755 "$work"
bash "$root/tests/support/pg-server.sh" start "$work/pg" >/dev/null
trap 'bash "$root/tests/support/pg-server.sh" stop "$work/pg" >/dev/null 2>&1; rm -rf "$work"' EXIT
server="host=$work/pg dbname=postgres user=kelvray"
# A schema of its own for each measurement on the server.
database() {
    local schema="bench_$(date +%s%N)"
    psql "$server" -qAtc "CREATE SCHEMA $schema" >/dev/null
    echo "$server options='-csearch_path=$schema'"
}
both() {
    local what=$1
    shift
    echo "== $what: file"
    env -u KELVRAY_DATABASE "$@" 2>&1 | sed 's/^/   /'
    echo "== $what: server"
    KELVRAY_DATABASE=$(database) "$@" 2>&1 | sed 's/^/   /'
}

[ -n "${KELVRAY_BENCH_SKIP_TICK:-}" ] || both "tick (microseconds; statements a quiet tick sends)" \
    "$build/bench/tick_bench" "--benchmark_filter=BM_Tick/($ticks)\$" --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true
both "bulk adds, whole-key scan, a schedule view's first rows ($tasks tasks)" \
    "$build/bench/store_figures" fill "$tasks"
both "due to fire (20 tasks)" "$build/bench/due_latency" 20
both "writers (one save through the change protocol; the longest call)" \
    "$build/bench/store_figures" writers 10

# copy-data of a file of $tasks tasks to the server.
mkdir -p "$work/file"
"$build/bench/fill_tasks" "$work/file" "$tasks" >/dev/null
start=$(date +%s%N)
"$build/src/cli/kelvray-cli" copy-data --from "$work/file" --to "$(database)" | sed 's/^/   /'
echo "== copy-data of $tasks tasks, file to server: $((($(date +%s%N) - start) / 1000000)) ms"
