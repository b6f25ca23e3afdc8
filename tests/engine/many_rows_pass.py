#!/usr/bin/python3
"""A pass_persist program for net-snmp's snmpd serving a table of many rows, so that a real
agent can be polled at the sizes Kestrava must take.

Under .1.3.6.1.4.1.99990.1: column .1.N a label ("row N"), column .2.N a Counter32 that grows
with the time, for N = 1 .. ROWS (the first argument).

snmpd writes "PING" once, then "get" or "getnext" and an OID per request; each answer is the
OID, the type and the value on three lines, or "NONE".
"""

import bisect
import sys
import time

ROOT = (1, 3, 6, 1, 4, 1, 99990, 1)
ROWS = int(sys.argv[1])
KEYS = [ROOT + (column, row) for column in (1, 2) for row in range(1, ROWS + 1)]


def value(key):
    column, row = key[-2], key[-1]
    if column == 1:
        return "string", "row %d" % row
    return "counter", str((row * 1000 + int(time.time() * 100)) % 2**32)


def answer(key):
    oid = "." + ".".join(map(str, key))
    kind, text = value(key)
    sys.stdout.write("%s\n%s\n%s\n" % (oid, kind, text))


def parse(text):
    return tuple(int(part) for part in text.strip().strip(".").split(".") if part)


def main():
    for line in sys.stdin:
        command = line.strip()
        if command == "PING":
            sys.stdout.write("PONG\n")
        elif command in ("get", "getnext"):
            key = parse(sys.stdin.readline())
            if command == "get":
                at = bisect.bisect_left(KEYS, key)
                found = at < len(KEYS) and KEYS[at] == key
            else:
                at = bisect.bisect_right(KEYS, key)
                found = at < len(KEYS)
            if found:
                answer(KEYS[at])
            else:
                sys.stdout.write("NONE\n")
        elif command == "set":
            sys.stdin.readline()
            sys.stdin.readline()
            sys.stdout.write("not-writable\n")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
