#!/usr/bin/env bash
# Start-up time, resident memory and idle cost of the real program on a private X display.
#   bench/startup.sh [BUILD_DIR]      (default build/)
# For an empty data file and for one with 100,000 tasks, each with the frame shown and with
# the frame hidden in the tray (a tray host, trayer, runs on the display): the time from exec
# to the "Started" event (window open, settings loaded), the resident memory 3 s after start,
# and over 60 s of idling the CPU time used and the wake-ups (voluntary context switches of
# all the program's threads).
#   KELVRAY_BENCH_SECONDS=N   idle N seconds instead of 60 (the figures are per minute)
#   KELVRAY_BENCH_CASES='empty-shown 100k-tray'   only these cases
# The case "floor" measures a bare Qt window with a timer of the frame's idle interval
# (bench/idle_floor): what any wake-up at that interval costs on this machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
bin=$build/src/app/kelvray
fill=$build/bench/fill_tasks
seconds=${KELVRAY_BENCH_SECONDS:-60}
cases=${KELVRAY_BENCH_CASES:-floor empty-shown empty-tray 100k-shown 100k-tray}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT

exec 3> "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
for _ in $(seq 50); do [ -s "$work/displayfd" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/displayfd")"
openbox >/dev/null 2>&1 &
# The notification area the hidden frame goes to.
trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 24 >/dev/null 2>&1 &
sleep 0.5
mkdir -p "$work/runtime"
chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"

# CPU time in nanoseconds of every thread of a process (finer than the clock ticks of /proc/PID/stat).
cputime() {
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{n += $1} END {printf "%d", n}'
}
# Voluntary context switches of every thread of a process, one "TID COUNT" line each.
switches() {
    for t in /proc/"$1"/task/*; do
        awk -v tid="${t##*/}" '/^voluntary_ctxt_switches/ {print tid, $2}' "$t/status" 2>/dev/null
    done
}
# Wake-ups between two such lists: the threads there at the end, from the start or from when
# they began (a thread that ended meanwhile is not counted).
wakeups() {
    awk 'NR == FNR {before[$1] = $2; next} {n += $2 - ($1 in before ? before[$1] : 0)} END {print n + 0}' "$1" "$2"
}

# CPU (ms) and wake-ups of a process over the idle seconds, per minute: "CPU WAKEUPS".
idle_minute() {
    local pid=$1 prefix=$2
    local c0=$(cputime $pid)
    switches $pid > "$prefix.w0"
    sleep "$seconds"
    local c1=$(cputime $pid)
    switches $pid > "$prefix.w1"
    awk -v d=$((c1 - c0)) -v s="$seconds" 'BEGIN { printf "%.2f ", d / 1e6 * 60 / s }'
    echo $(( $(wakeups "$prefix.w0" "$prefix.w1") * 60 / seconds ))
}

measure() {
    local name=$1 tasks=$2 where=$3 dir="$work/$1"
    mkdir -p "$dir" "$work/config-$name/kelvray"
    local minimized=0
    [ "$where" = tray ] && minimized=1
    printf '[Settings]\nLogEvents=1\nStartUpSchedule=1\nStartUpMinimized=%s\n' $minimized \
        > "$work/config-$name/kelvray/KR98.INI"
    export XDG_CONFIG_HOME="$work/config-$name"
    [ "$tasks" -gt 0 ] && "$fill" "$dir" "$tasks"
    # One start to create the remaining tables, so the measured start opens existing files.
    "$bin" --data-dir "$dir" & local pid=$!
    while ! grep -q Started "$dir/KR98Evnt.LOG" 2>/dev/null; do sleep 0.05; done
    kill $pid; wait $pid || true
    rm -f "$dir/KR98Evnt.LOG"

    local t0=$(date +%s%N)
    "$bin" --data-dir "$dir" & pid=$!
    while ! grep -q Started "$dir/KR98Evnt.LOG" 2>/dev/null; do sleep 0.005; done
    local t1=$(date +%s%N)
    sleep 3
    local rss=$(awk '/VmRSS/ {print $2}' /proc/$pid/status)
    local cpu woken
    read -r cpu woken < <(idle_minute $pid "$dir")
    kill $pid; wait $pid || true
    printf '%-12s %-5s start to "Started": %4d ms   resident: %6d KiB   idle, a minute: CPU %7s ms, %5d wake-ups\n' \
        "$name" "$where" $(( (t1 - t0) / 1000000 )) "$rss" "$cpu" "$woken"
}

# The bare window: its idle minute only.
floor() {
    "$build/bench/idle_floor" & local pid=$!
    sleep 3
    local cpu woken
    read -r cpu woken < <(idle_minute $pid "$work/floor")
    kill $pid; wait $pid || true
    printf '%-12s %-5s a bare Qt window, a 1.25 s timer:                       idle, a minute: CPU %7s ms, %5d wake-ups\n' \
        floor shown "$cpu" "$woken"
}

for c in $cases; do
    case $c in
    floor) floor ;;
    empty-shown) measure empty-shown 0 shown ;;
    empty-tray) measure empty-tray 0 tray ;;
    100k-shown) measure 100k-shown 100000 shown ;;
    100k-tray) measure 100k-tray 100000 tray ;;
    *) echo "unknown case $c" >&2; exit 2 ;;
    esac
done
