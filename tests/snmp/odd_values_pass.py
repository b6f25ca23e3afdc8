#!/usr/bin/python3
"""A pass_persist program for net-snmp's snmpd, serving values that are awkward to print.

Under .1.3.6.1.99999, past every other object of the agent (so that a walk of it ends at the
end of the MIB view):
  .1.N  octet strings of every kind of octet: text, white space, NULs (trailing, alone,
        embedded), control and high octets, UTF-8, empty, and long ones in both forms;
  .2.N  one value or more of each other type a pass program can serve.
Under .1.3.6.1.4.1.99997 it answers get-next out of order (.1.5, then .1.3), as a broken agent
does.

snmpd writes "PING" once, then "get" or "getnext" and an OID per request (and "set", an OID
and a value); each answer is the OID, the type and the value on three lines, or "NONE".
"""

import sys

ROOT = (1, 3, 6, 1, 99999)
STRINGS = [
    b"hello",
    b"hello\0",  # a C string's terminator sent along
    b"\0",
    b"`\0",
    b"a\0b",
    b"abc\0def\0",
    b"\0\0\0\0",
    b"\x01\x02",
    b"\x7f",
    b"tab\there",
    b"line1\nline2",
    b"cr\rhere",
    b"\r\n",
    b"abc\n",
    b"a\x0cb\x0bc",  # form feed and vertical tab
    b"   ",
    b'say "hi" \\ there',
    b"\xe9t\xe9",  # Latin-1
    "h\u00e9llo".encode(),  # UTF-8
    b"",
    bytes.fromhex("001a2b3c4d5e"),  # a MAC address
    b"x" * 100,
    bytes(range(16)),
    bytes(range(17)),
    bytes(range(32)),
    bytes(range(40)),
    b"0123456789abcdef\x01",
]
TYPED = [
    ("integer", "42"),
    ("integer", "-2147483648"),
    ("integer", "2147483647"),
    ("gauge", "4294967295"),
    ("counter", "4294967295"),
    ("counter", "0"),
    ("timeticks", "0"),
    ("timeticks", "8640123"),
    ("timeticks", "17280000"),
    ("timeticks", "4294967295"),
    ("ipaddress", "192.0.2.1"),
    ("ipaddress", "0.0.0.0"),
    ("objectid", ".1.3.6.1.2.1.1"),
    ("objectid", ".0.0"),
    ("string", "plain text"),
]


def octets(value):
    return " ".join("%02X" % c for c in value)


OBJECTS = sorted(
    [(ROOT + (1, i + 1), "octet", octets(v)) for i, v in enumerate(STRINGS)]
    + [(ROOT + (2, i + 1), t, v) for i, (t, v) in enumerate(TYPED)]
)
DISORDER = (1, 3, 6, 1, 4, 1, 99997)
OUT_OF_ORDER = {  # get-next answers that do not increase
    DISORDER: (DISORDER + (1, 5), "integer", "5"),
    DISORDER + (1,): (DISORDER + (1, 5), "integer", "5"),
    DISORDER + (1, 5): (DISORDER + (1, 3), "integer", "3"),
}


def parse(text):
    try:
        return tuple(int(arc) for arc in text.strip().strip(".").split("."))
    except ValueError:
        return None


def answer(found):
    if found is None:
        return "NONE\n"
    oid, kind, value = found
    return ".%s\n%s\n%s\n" % (".".join(map(str, oid)), kind, value)


def lookup(command, oid):
    if oid is None:
        return None
    if oid[: len(DISORDER)] == DISORDER:
        if command == "get":
            return next((o for o in OUT_OF_ORDER.values() if o[0] == oid), None)
        return OUT_OF_ORDER.get(oid)
    if command == "get":
        return next((o for o in OBJECTS if o[0] == oid), None)
    return next((o for o in OBJECTS if o[0] > oid), None)


def main():
    while True:
        command = sys.stdin.readline()
        if not command:
            return
        command = command.strip()
        if command == "PING":
            reply = "PONG\n"
        elif command in ("get", "getnext"):
            reply = answer(lookup(command, parse(sys.stdin.readline())))
        elif command == "set":
            sys.stdin.readline()
            sys.stdin.readline()
            reply = "not-writable\n"
        else:
            continue
        sys.stdout.write(reply)
        sys.stdout.flush()


if __name__ == "__main__":
    main()
