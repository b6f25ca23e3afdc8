#!/usr/bin/env bash
# Scrape speed of kestrava-exporter beside Debian's SNMP exporter (prometheus-snmp-exporter),
# on loopback against kestrava-fake-agent:
#   1. one agent of ROWS rows (ifTable and ifXTable octet columns, labelled by ifDescr, ifName
#      and ifAlias), scraped SCRAPES times through each exporter in turn: wall time and CPU
#      time of the exporter process per scrape (after one scrape each to warm up);
#   2. TARGETS agents of SMALL rows each, all scraped at once through each exporter, against
#      one of them scraped alone.
# Usage: bench/exporter_speed.sh [BUILD_DIR]   (ROWS, SCRAPES, TARGETS, SMALL in the environment)
# Prints a Markdown table. Everything it starts it stops; its files go with it.
set -euo pipefail
build=${1:-build}
bin=$(cd "$build/bin" && pwd)
rows=${ROWS:-10000}
scrapes=${SCRAPES:-5}
targets=${TARGETS:-100}
small=${SMALL:-100}
work=$(mktemp -d /tmp/kestrava-exporter-bench-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# An agent of $1 rows; its port is appended to $work/agents. Its standard input stays open (a
# closed one would end it) through a sleeping writer.
start_agent() {
  local fifo="$work/agent-$RANDOM-$RANDOM"
  mkfifo "$fifo"
  sleep 100000 >"$fifo" &
  pids+=($!)
  "$bin/kestrava-fake-agent" --instances "$1" --xtable --community cobalt --log 0 <"$fifo" \
    >"$fifo.port" &
  pids+=($!)
  until [ -s "$fifo.port" ]; do sleep 0.05; done
  head -1 "$fifo.port" >>"$work/agents"
}

cat >"$work/kestrava.yml" <<'YAML'
modules:
  if_mib:
    auth: {community: cobalt}
    metrics: [ifInOctets, ifOutOctets, ifHCInOctets, ifHCOutOctets]
    timeout: 5s
YAML
# The SNMP exporter's if_mib module for the same columns, in its generated files' layout.
{
  echo "if_mib:"
  echo "  version: 2"
  echo "  auth: {community: cobalt}"
  echo "  walk: [1.3.6.1.2.1.2.2.1.2, 1.3.6.1.2.1.2.2.1.10, 1.3.6.1.2.1.2.2.1.16,"
  echo "         1.3.6.1.2.1.31.1.1.1.1, 1.3.6.1.2.1.31.1.1.1.6, 1.3.6.1.2.1.31.1.1.1.10,"
  echo "         1.3.6.1.2.1.31.1.1.1.18]"
  echo "  metrics:"
  for column in ifInOctets:1.3.6.1.2.1.2.2.1.10 ifOutOctets:1.3.6.1.2.1.2.2.1.16 \
    ifHCInOctets:1.3.6.1.2.1.31.1.1.1.6 ifHCOutOctets:1.3.6.1.2.1.31.1.1.1.10; do
    echo "  - {name: ${column%%:*}, oid: ${column#*:}, type: counter,"
    echo "     indexes: [{labelname: ifIndex, type: gauge}],"
    echo "     lookups: [{labels: [ifIndex], labelname: ifAlias, oid: 1.3.6.1.2.1.31.1.1.1.18, type: DisplayString},"
    echo "               {labels: [ifIndex], labelname: ifDescr, oid: 1.3.6.1.2.1.2.2.1.2, type: DisplayString},"
    echo "               {labels: [ifIndex], labelname: ifName, oid: 1.3.6.1.2.1.31.1.1.1.1, type: DisplayString}]}"
  done
} >"$work/snmp.yml"

ours_port=$(free_port)
"$bin/kestrava-exporter" --web.listen-address="127.0.0.1:$ours_port" \
  --config.file="$work/kestrava.yml" --log.level=warn &
ours_pid=$!
pids+=($ours_pid)
theirs_port=$(free_port)
prometheus-snmp-exporter --config.file="$work/snmp.yml" \
  --web.listen-address="127.0.0.1:$theirs_port" --log.level=warn 2>/dev/null &
theirs_pid=$!
pids+=($theirs_pid)
for port in "$ours_port" "$theirs_port"; do
  until curl -sf -o /dev/null "http://127.0.0.1:$port/"; do sleep 0.1; done
done

cpu_seconds() {  # user + system time of a process, in seconds
  awk -v hz="$(getconf CLK_TCK)" '{ print ($14 + $15) / hz }' "/proc/$1/stat"
}

scrape() {  # port target -> seconds of the scrape; the series count to $work/series
  curl -s -o "$work/out" -w '%{time_total}' \
    -H 'X-Prometheus-Scrape-Timeout-Seconds: 120' \
    "http://127.0.0.1:$1/snmp?module=if_mib&target=$2"
  grep -c '^ifHCInOctets{' "$work/out" >"$work/series" || true
}

# 1. One large agent.
: >"$work/agents"
start_agent "$rows"
big="127.0.0.1:$(tail -1 "$work/agents")"
declare -A wall cpu series
for who in ours theirs; do
  port_var=${who}_port
  pid_var=${who}_pid
  scrape "${!port_var}" "$big" >/dev/null  # warm-up (and, for ours, the walk of the rows)
  before=$(cpu_seconds "${!pid_var}")
  total=0
  for _ in $(seq "$scrapes"); do
    t=$(scrape "${!port_var}" "$big")
    total=$(echo "$total + $t" | bc -l)
  done
  after=$(cpu_seconds "${!pid_var}")
  wall[$who]=$(echo "$total / $scrapes" | bc -l)
  cpu[$who]=$(echo "($after - $before) / $scrapes" | bc -l)
  series[$who]=$(cat "$work/series")
done

# 2. Many small agents at once.
: >"$work/agents"
for _ in $(seq "$targets"); do start_agent "$small"; done
declare -A one many
for who in ours theirs; do
  port_var=${who}_port
  first="127.0.0.1:$(head -1 "$work/agents")"
  scrape "${!port_var}" "$first" >/dev/null  # warm-up
  one[$who]=$(scrape "${!port_var}" "$first")
  # Every agent once, to warm up, then all at once: one curl, every transfer in parallel.
  sed "s|^|url = \"http://127.0.0.1:${!port_var}/snmp?module=if_mib\&target=127.0.0.1:|;
       s|\$|\"\noutput = \"/dev/null\"|" "$work/agents" >"$work/urls"
  curl -s --no-progress-meter --parallel --parallel-immediate --parallel-max "$targets" -K "$work/urls"
  start=$(date +%s.%N)
  curl -s --no-progress-meter --parallel --parallel-immediate --parallel-max "$targets" \
    -H 'X-Prometheus-Scrape-Timeout-Seconds: 120' -K "$work/urls"
  end=$(date +%s.%N)
  many[$who]=$(echo "$end - $start" | bc -l)
done

printf '| %s | %s | %s | %s |\n' "Measure" "kestrava-exporter" "snmp_exporter 0.21" "ratio"
printf '|---|---:|---:|---:|\n'
printf '| %s rows: series ifHCInOctets | %d | %d | |\n' "$rows" "${series[ours]}" "${series[theirs]}"
printf '| %s rows: wall time per scrape (s) | %.3f | %.3f | %.1fx |\n' "$rows" \
  "${wall[ours]}" "${wall[theirs]}" "$(echo "${wall[theirs]} / ${wall[ours]}" | bc -l)"
printf '| %s rows: CPU time per scrape (s) | %.3f | %.3f | %.1fx |\n' "$rows" \
  "${cpu[ours]}" "${cpu[theirs]}" "$(echo "${cpu[theirs]} / (${cpu[ours]} + 0.0001)" | bc -l)"
printf '| 1 target of %s rows (s) | %.3f | %.3f | |\n' "$small" "${one[ours]}" "${one[theirs]}"
printf '| %s targets of %s rows at once (s) | %.3f | %.3f | |\n' "$targets" "$small" \
  "${many[ours]}" "${many[theirs]}"
printf '| %s targets / 1 target | %.1fx | %.1fx | |\n' "$targets" \
  "$(echo "${many[ours]} / ${one[ours]}" | bc -l)" "$(echo "${many[theirs]} / ${one[theirs]}" | bc -l)"
