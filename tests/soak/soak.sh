#!/usr/bin/env bash
# Soak test: the real program polls 500 instances of the scripted fake agent every second while
# the agent goes silent, comes back, restarts its counters, answers garbage and sends late
# duplicates; then the program is asked to end (SIGTERM) and must exit cleanly. Built with
# AddressSanitizer, any memory error or leak fails the run. Prints resident memory figures.
#
# usage: soak.sh PROGRAM FAKE_AGENT [SECONDS] [INSTANCES]
#   SECONDS defaults to $KESTRAVA_SOAK_SECONDS or 180, INSTANCES to 500. The resident memory of
#   the program and of the agent is sampled every 10 s.
set -euo pipefail
program=$1
agent=$2
seconds=${3:-${KESTRAVA_SOAK_SECONDS:-180}}
instances=${4:-500}
work=$(mktemp -d /tmp/kestrava-soak-XXXXXX)
agent_pid=""
program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill -KILL "$program_pid" 2>/dev/null || true
  [ -n "$agent_pid" ] && kill "$agent_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "soak: FAILED: $*" >&2
  echo "--- program stderr (tail) ---" >&2
  tail -n 40 "$work/stderr" >&2 || true
  exit 1
}

mkfifo "$work/agent.in"
"$agent" --instances "$instances" <"$work/agent.in" >"$work/agent.out" 2>"$work/agent.err" &
agent_pid=$!
exec 3>"$work/agent.in"
for _ in $(seq 1 50); do
  [ -s "$work/agent.out" ] && break
  sleep 0.1
done
port=$(head -n 1 "$work/agent.out")
[ -n "$port" ] || fail "the fake agent did not start"
command() { echo "$*" >&3; echo "soak: t=${t}s agent: $*"; }

export QT_QPA_PLATFORM=offscreen
# A small quarantine keeps AddressSanitizer's own memory from hiding the program's footprint.
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1}:quarantine_size_mb=16
csv="$work/slices.csv"
"$program" /HOST 127.0.0.1 /PORT "$port" /POLLINGINTERVAL 1 /EXPORT "$csv" \
  >"$work/stdout" 2>"$work/stderr" &
program_pid=$!

rss_of() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }
rss() { rss_of "$program_pid"; }
fresh() { [ -f "$csv" ] && [ $(( $(date +%s) - $(stat -c %Y "$csv") )) -le 6 ]; }

declare -a samples=()
declare -a agent_samples=()
rss_at_minute=""
agent_at_minute=""
t=0
while [ "$t" -lt "$seconds" ]; do
  kill -0 "$program_pid" 2>/dev/null || fail "the program ended by itself at t=${t}s"
  phase=$((t % 60))
  case $phase in
    20) command "silent on" ;;
    28) command "silent off" ;;
    35) command "restart" ;;
    45) command "garbage on" ;;
    50) command "garbage off" ;;
    53) command "duplicate on"; command "delay 700" ;;
    58) command "duplicate off"; command "delay 0" ;;
    # After each healthy stretch the chart must have been fed again recently.
    19 | 44) fresh || fail "no chart feed in the last 6 s at t=${t}s" ;;
  esac
  if [ $((t % 10)) -eq 0 ]; then
    samples+=("$t:$(rss)")
    agent_samples+=("$t:$(rss_of "$agent_pid")")
  fi
  if [ "$t" -eq 60 ]; then
    rss_at_minute=$(rss)
    agent_at_minute=$(rss_of "$agent_pid")
  fi
  sleep 1
  t=$((t + 1))
done
rss_end=$(rss)
agent_end=$(rss_of "$agent_pid")

kill -TERM "$program_pid"
status=0
wait "$program_pid" || status=$?
program_pid=""
[ "$status" -eq 0 ] || fail "exit status $status after SIGTERM"
if grep -q -E 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:' "$work/stderr"; then
  fail "sanitizer report"
fi
head -n 1 "$csv" | grep -qx 'position,label,value' || fail "the CSV has no header"
rows=$(($(wc -l <"$csv") - 1))
[ "$rows" -gt 0 ] || fail "the CSV holds no slices"

echo "soak: ${seconds}s, $instances instances, 1 s interval; exit status 0; last CSV: $rows slices"
echo "soak: program resident memory (s:kB) ${samples[*]} end:$rss_end"
echo "soak: agent resident memory (s:kB) ${agent_samples[*]} end:$agent_end"
if [ -n "$rss_at_minute" ] && [ "$rss_at_minute" -gt 0 ]; then
  echo "soak: growth after the first minute: program $((rss_end - rss_at_minute)) kB," \
    "agent $((agent_end - agent_at_minute)) kB"
fi
echo "soak: 1 passed, 0 failed"
