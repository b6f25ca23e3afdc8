#!/usr/bin/env bash
# Time to the first fed pie over a link with latency: kestrava-fake-agent with ROWS interfaces
# behind a relay that holds every datagram DELAY_MS each way. Kestrava (a scripted run of the
# raw ifInOctets per interface: discovery with GetBulk on SNMPv2c, one poll, the pie written)
# against net-snmp's tools doing the same work (snmpbulkwalk -Cr50 of the label column, then
# the poll as GetRequests of 15 OIDs, 32 at a time), and Kestrava's get-next walk (SNMPv1).
# usage: bench/engine/latency_discovery.sh BUILD_DIR [ROWS] [DELAY_MS] [RUNS]
set -euo pipefail
build=${1:?usage: latency_discovery.sh BUILD_DIR [ROWS] [DELAY_MS] [RUNS]}
rows=${2:-1000}
delay=${3:-20}
runs=${4:-3}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT

first_line() {  # file: waits for the first line a background process writes there
  until [ -s "$1" ]; do sleep 0.05; done
  head -n 1 "$1"
}
# The agent reads commands on standard input: keep it open.
sleep 100000 | "$build/bin/kestrava-fake-agent" --instances "$rows" >"$work/agent" &
agent_port=$(first_line "$work/agent")
/usr/bin/python3 "$here/udp_delay_relay.py" "$agent_port" "$delay" >"$work/relay" &
port=$(first_line "$work/relay")

config() {  # version
  cat <<XML
<?xml version="1.0"?><kestrava><host>127.0.0.1</host><community>cobalt</community>
<pollinginterval>5</pollinginterval><shooter><raw>true</raw><remoteport>$port</remoteport>
<snmpversion>$1</snmpversion><shootertargets>
<shootertarget><oid>1.3.6.1.2.1.2.2.1.10</oid><instance>ALL INSTANCES</instance><visible>true</visible></shootertarget>
<shootertarget><oid>AL=1.3.6.1.2.1.2.2.1.2</oid></shootertarget>
</shootertargets></shooter></kestrava>
XML
}
config 2 >"$work/bulk.xml"
config 1 >"$work/getnext.xml"
for i in $(seq 1 "$rows"); do echo "1.3.6.1.2.1.2.2.1.10.$i"; done | xargs -n 15 echo >"$work/poll"

seconds() { awk -v from="$1" -v to="$(date +%s.%N)" 'BEGIN { print to - from }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { print a / b }'; }
kestrava() {  # config file
  local from; from=$(date +%s.%N)
  QT_QPA_PLATFORM=offscreen "$build/bin/kestrava" /XML "$1" /EXPORT "$work/pie.csv" /EXITAFTER 1 \
    >/dev/null 2>&1
  seconds "$from"
}
netsnmp() {
  local from; from=$(date +%s.%N)
  snmpbulkwalk -v2c -c cobalt -Cr50 -On "127.0.0.1:$port" 1.3.6.1.2.1.2.2.1.2 >/dev/null
  xargs -P 32 -L 1 snmpget -v2c -c cobalt -On "127.0.0.1:$port" <"$work/poll" >/dev/null
  seconds "$from"
}
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

bulk=(); peer=(); getnext=()
for run in $(seq 1 "$runs"); do
  bulk+=("$(kestrava "$work/bulk.xml")")
  peer+=("$(netsnmp)")
  getnext+=("$(kestrava "$work/getnext.xml")")
done
b=$(printf '%s\n' "${bulk[@]}" | median)
p=$(printf '%s\n' "${peer[@]}" | median)
g=$(printf '%s\n' "${getnext[@]}" | median)
echo "rows $rows, $delay ms each way, $runs runs, medians, process start included"
printf 'kestrava, GetBulk discovery + first poll: %.2f s\n' "$b"
printf 'snmpbulkwalk -Cr50 + the same poll:      %.2f s   ratio %.2f\n' "$p" "$(ratio "$b" "$p")"
printf 'kestrava, get-next discovery + poll:     %.2f s   %.1f x slower than GetBulk\n' "$g" "$(ratio "$g" "$b")"
