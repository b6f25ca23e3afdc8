#!/usr/bin/env bash
# Runs the whole program (offscreen) against the fake agent program and reports its average CPU
# load and resident memory while it polls.
# usage: bench/engine/program_load.sh [BUILD_DIR] [INSTANCES] [INTERVAL_S] [SECONDS]
#   defaults: build 100 5 60    (for the memory figure: build 5000 5 60)
set -euo pipefail
build=${1:-build}
instances=${2:-100}
interval=${3:-5}
seconds=${4:-60}
program=$build/bin/kestrava
agent=$build/bin/kestrava-fake-agent
[ -x "$program" ] && [ -x "$agent" ] || { echo "build $program and $agent first" >&2; exit 1; }

coproc AGENT { exec "$agent" --instances "$instances"; }
agent_pid=$AGENT_PID
read -r port <&"${AGENT[0]}"
QT_QPA_PLATFORM=offscreen "$program" /HOST 127.0.0.1 /PORT "$port" /POLLINGINTERVAL "$interval" \
  >/dev/null 2>&1 &
pid=$!
cleanup() { kill "$pid" 2>/dev/null || true; kill "$agent_pid" 2>/dev/null || true; }
trap cleanup EXIT

ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
sleep 5  # start-up and discovery
start=$(ticks)
sleep "$seconds"
end=$(ticks)
rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
awk -v t=$((end - start)) -v hz="$hz" -v s="$seconds" -v rss="$rss" -v n="$instances" -v i="$interval" \
  'BEGIN { printf "program, %d instances every %d s for %d s: CPU %.3f %% of one core, resident %.1f MB\n", n, i, s, 100 * t / hz / s, rss / 1024 }'
