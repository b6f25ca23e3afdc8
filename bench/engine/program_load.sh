#!/usr/bin/env bash
# The program at rest, side by side with a net-snmp poller in C: the whole program (offscreen)
# and bench_netsnmp_poller take turns polling the same fake agent program every second, at each
# table size, for the same time; then a minimal Qt Widgets program gives the memory floor.
# Prints the CPU load of each (percent of one core, the median of the rounds), their ratio, the
# resident memory at the end of a turn (the largest of the rounds) and the program's memory per
# row above the Qt floor, plus the slope of its memory between the two largest sizes.
# usage: bench/engine/program_load.sh [--build DIR] [--rows "100 5000 20000"] [--seconds S]
#                                     [--rounds N] [--warmup S] [--program PATH] [--full]
#   defaults: build, 100 5000 20000 rows, 20 s per turn, 1 round; --full: 60 s, 5 rounds.
#   --warmup: seconds the program gets for start-up and discovery before a turn is measured
#   (default 5 + one per 2,500 rows). --program: another build of the program (default
#   DIR/bin/kestrava), to compare two builds with the same agent and poller.
set -euo pipefail
build=build
rows_list="100 5000 20000"
seconds=20
rounds=1
warmup=""
program=""
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2; shift 2 ;;
    --rows) rows_list=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --warmup) warmup=$2; shift 2 ;;
    --program) program=$2; shift 2 ;;
    --full) seconds=60; rounds=5; shift ;;
    *) sed -n '2,15p' "$0" >&2; exit 2 ;;
  esac
done
program=${program:-$build/bin/kestrava}
agent=$build/bin/kestrava-fake-agent
poller=$build/bench/engine/bench_netsnmp_poller
floor=$build/bench/engine/bench_qt_floor
for exe in "$program" "$agent" "$poller" "$floor"; do
  [ -x "$exe" ] || { echo "build $exe first" >&2; exit 1; }
done

pid=""
agent_pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  [ -n "$agent_pid" ] && kill "$agent_pid" 2>/dev/null || true
}
trap cleanup EXIT

# CPU time in nanoseconds, summed over the process's threads: a clock tick (10 ms) is too coarse
# for a poller that needs a few milliseconds a second. (A thread that ends within a turn would take
# its time with it; both programs keep theirs for their whole run.)
cpu_ns() { cat /proc/"$1"/task/*/schedstat | awk '{ ns += $1 } END { printf "%.0f\n", ns }'; }
rss_kb() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }

# Measures the process $pid for $seconds after $1 seconds of warm-up: "cpu_percent rss_kb".
measure() {
  sleep "$1"
  local start end rss
  start=$(cpu_ns "$pid")
  sleep "$seconds"
  end=$(cpu_ns "$pid")
  rss=$(rss_kb "$pid")
  awk -v t=$((end - start)) -v s="$seconds" -v rss="$rss" \
    'BEGIN { printf "%.4f %d\n", 100 * t / 1e9 / s, rss }'
}

stop() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=""
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
largest() { sort -g | tail -1; }

# The floor: a minimal Widgets program, shown, its event loop idle.
QT_QPA_PLATFORM=offscreen "$floor" 30 &
pid=$!
sleep 3
floor_kb=$(rss_kb "$pid")
stop

declare -A prog_cpu prog_rss peer_cpu peer_rss
for rows in $rows_list; do
  coproc AGENT { exec "$agent" --instances "$rows"; }
  agent_pid=$AGENT_PID
  read -r port <&"${AGENT[0]}"
  wait_s=${warmup:-$((5 + rows / 2500))}
  p_cpu=() p_rss=() n_cpu=() n_rss=()
  for ((round = 1; round <= rounds; ++round)); do
    QT_QPA_PLATFORM=offscreen "$program" /HOST 127.0.0.1 /PORT "$port" /POLLINGINTERVAL 1 \
      >/dev/null 2>&1 &
    pid=$!
    read -r c r < <(measure "$wait_s")
    stop
    p_cpu+=("$c") p_rss+=("$r")
    # The poller needs no discovery: two seconds settle it.
    "$poller" "$port" "$rows" $((seconds + 4)) &
    pid=$!
    read -r c r < <(measure 2)
    stop
    n_cpu+=("$c") n_rss+=("$r")
    echo "rows $rows round $round: program ${p_cpu[-1]} % ${p_rss[-1]} kB," \
      "net-snmp poller ${n_cpu[-1]} % ${n_rss[-1]} kB" >&2
  done
  prog_cpu[$rows]=$(printf '%s\n' "${p_cpu[@]}" | median)
  prog_rss[$rows]=$(printf '%s\n' "${p_rss[@]}" | largest)
  peer_cpu[$rows]=$(printf '%s\n' "${n_cpu[@]}" | median)
  peer_rss[$rows]=$(printf '%s\n' "${n_rss[@]}" | largest)
  kill "$agent_pid" 2>/dev/null || true
  wait "$agent_pid" 2>/dev/null || true
  agent_pid=""
done

echo "polling every 1 s, $seconds s per turn, $rounds round(s); Qt Widgets floor $(awk -v f="$floor_kb" 'BEGIN { printf "%.1f", f / 1024 }') MB"
printf '%8s %12s %12s %7s %10s %10s %14s\n' rows "program CPU%" "net-snmp CPU%" ratio \
  "prog MB" "C MB" "KB/row > floor"
for rows in $rows_list; do
  awk -v n="$rows" -v pc="${prog_cpu[$rows]}" -v nc="${peer_cpu[$rows]}" \
    -v pr="${prog_rss[$rows]}" -v nr="${peer_rss[$rows]}" -v f="$floor_kb" 'BEGIN {
      ratio = nc > 0 ? sprintf("%.2f", pc / nc) : "-"
      printf "%8d %12.3f %12.3f %7s %10.1f %10.1f %14.2f\n", n, pc, nc, ratio, pr / 1024, nr / 1024, (pr - f) / n
    }'
done
read -r -a sizes <<<"$rows_list"
if [ "${#sizes[@]}" -ge 2 ]; then
  a=${sizes[-2]} b=${sizes[-1]}
  awk -v a="$a" -v b="$b" -v ra="${prog_rss[$a]}" -v rb="${prog_rss[$b]}" \
    'BEGIN { printf "program memory per row from %d to %d rows: %.2f KB\n", a, b, (rb - ra) / (b - a) }'
fi
