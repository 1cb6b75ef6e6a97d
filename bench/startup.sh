#!/usr/bin/env bash
# Start-up time, resident memory and idle CPU of the real program on a private X display.
#   bench/startup.sh [BUILD_DIR]      (default build/)
# Prints, for an empty data file and for one with 100,000 tasks: the time from exec to the
# "Started" event (window open, settings loaded; the first tick follows one timer interval,
# 1 s, later), the resident memory 3 s after start, and the CPU time used over 60 s of idling.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
bin=$build/src/app/kelvray
fill=$build/bench/fill_tasks
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT

exec 3> "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
for _ in $(seq 50); do [ -s "$work/displayfd" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/displayfd")"
openbox >/dev/null 2>&1 &
sleep 0.5
mkdir -p "$work/config/kelvray" "$work/runtime"
chmod 700 "$work/runtime"
printf '[Settings]\nLogEvents=1\nStartUpSchedule=1\n' > "$work/config/kelvray/KR98.INI"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
ticks=$(getconf CLK_TCK)

measure() {
    local name=$1 tasks=$2 dir="$work/$1"
    mkdir -p "$dir"
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
    local c0=$(awk '{print $14 + $15}' /proc/$pid/stat)
    sleep 60
    local c1=$(awk '{print $14 + $15}' /proc/$pid/stat)
    kill $pid; wait $pid || true
    local cpu=$(( (c1 - c0) * 1000 / ticks ))
    printf '%-14s start to "Started": %4d ms   resident: %6d KiB   CPU over 60 s idle: %4d ms (%s%% of one core)\n' \
        "$name" $(( (t1 - t0) / 1000000 )) "$rss" "$cpu" "$(awk -v c="$cpu" 'BEGIN { printf "%.3f", c / 600 }')"
}

measure empty 0
measure 100k-tasks 100000
