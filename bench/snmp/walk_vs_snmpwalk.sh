#!/bin/sh
# Walks the interface table and a long subtree of a private snmpd on 127.0.0.1 with
# kestrava-snmp and with net-snmp's snmpwalk (-v1, one get-next per step, like for like),
# process start included, and prints both times and their ratio.
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

# Seconds for ROUNDS runs of a command (output discarded).
timed() {
  python3 - "$rounds" "$@" <<'PY'
import subprocess, sys, time
rounds = int(sys.argv[1]); cmd = sys.argv[2:]
start = time.perf_counter()
for _ in range(rounds):
    subprocess.run(cmd, stdout=subprocess.DEVNULL, check=True)
print(f"{time.perf_counter() - start:.3f}")
PY
}

for subtree in 1.3.6.1.2.1.2.2 1.3.6.1.2.1; do
  count=$("$tool" walk -v 1 -c cobalt 127.0.0.1:$port $subtree | wc -l)
  ours=$(timed "$tool" walk -v 1 -c cobalt 127.0.0.1:$port $subtree)
  theirs=$(timed snmpwalk -On -v1 -c cobalt 127.0.0.1:$port $subtree)
  ratio=$(python3 -c "print(f'{$ours / $theirs:.2f}')")
  echo "walk $subtree ($count objects, $rounds runs): kestrava-snmp ${ours}s, snmpwalk ${theirs}s, ratio $ratio"
done
