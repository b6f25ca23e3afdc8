#!/bin/sh
# Walks the interface table and a long subtree of a private snmpd on 127.0.0.1 with
# kestrava-snmp and with net-snmp's snmpwalk (-v1, one get-next per step, like for like),
# process start included, and prints the median time of each and their ratio.
# Usage: bench/snmp/walk_vs_snmpwalk.sh BUILD_DIR [ROUNDS]
set -eu
build=${1:?usage: walk_vs_snmpwalk.sh BUILD_DIR [ROUNDS]}
rounds=${2:-5}
tool="$build/bin/kestrava-snmp"
[ -x "$tool" ] || { echo "missing $tool (build the kestrava-snmp target)" >&2; exit 1; }

dir=$(mktemp -d /tmp/kestrava-walk-bench-XXXXXX)
port=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat > "$dir/snmpd.conf" <<CONF
rocommunity cobalt 127.0.0.1
agentaddress udp:127.0.0.1:$port
CONF
SNMP_PERSISTENT_DIR=$dir MIBS= /usr/sbin/snmpd -f -C -c "$dir/snmpd.conf" -Lf "$dir/log" \
  -p "$dir/pid" -M /nonexistent &
agent=$!
trap 'kill $agent 2>/dev/null; wait $agent 2>/dev/null; rm -rf "$dir"' EXIT
for i in $(seq 50); do
  snmpget -v2c -c cobalt -t 0.2 -r 0 127.0.0.1:$port 1.3.6.1.2.1.1.3.0 >/dev/null 2>&1 && break
  sleep 0.1
done

# Runs the two walks alternately ROUNDS times each, so that both meet the agent in the same
# states (its interface cache expires every few seconds), and prints the median seconds of each.
compare() {
  python3 - "$rounds" "$@" <<'PY'
import statistics, subprocess, sys, time
rounds = int(sys.argv[1]); split = sys.argv.index("--")
commands = [sys.argv[2:split], sys.argv[split + 1:]]
times = [[], []]
for _ in range(rounds):
    for i, cmd in enumerate(commands):
        start = time.perf_counter()
        subprocess.run(cmd, stdout=subprocess.DEVNULL, check=True)
        times[i].append(time.perf_counter() - start)
print(f"{statistics.median(times[0]):.4f} {statistics.median(times[1]):.4f}")
PY
}

for subtree in 1.3.6.1.2.1.2.2 1.3.6.1.2.1; do
  count=$("$tool" walk -v 1 -c cobalt 127.0.0.1:$port $subtree | wc -l)
  read -r ours theirs <<EOF2
$(compare "$tool" walk -v 1 -c cobalt 127.0.0.1:$port $subtree -- snmpwalk -On -v1 -c cobalt 127.0.0.1:$port $subtree)
EOF2
  ratio=$(python3 -c "print(f'{$ours / $theirs:.2f}')")
  echo "walk $subtree ($count objects, median of $rounds alternating runs): kestrava-snmp ${ours}s, snmpwalk ${theirs}s, ratio $ratio"
done
