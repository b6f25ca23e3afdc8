#!/usr/bin/python3
"""An agent on 127.0.0.1 that answers every get with Opaque values, built by pysnmp.

  opaque_agent.py PORT

The N-th value of OPAQUES below is the object .1.3.6.1.4.1.99996.N; any other OID gets NULL.
Opaque carries net-snmp's wrapped numbers (a 0x9F tag, a subtype, a length: float, double,
Counter64, Int64, UInt64) as some agents send them, and plain octets. Every value here is one
that net-snmp's tools accept. The agent answers SNMPv1 and SNMPv2c and ends when its standard
input does, so that it goes with the test that started it.
"""
import select
import socket
import struct
import sys

from pyasn1.codec.ber import decoder, encoder
from pysnmp.proto import api, rfc1902

BASE = (1, 3, 6, 1, 4, 1, 99996)
OPAQUES = [
    bytes.fromhex("9f78044070a800"),  # float 3.760254, as UCD's laLoadFloat
    bytes.fromhex("9f7908") + struct.pack(">d", 3.5),  # double
    bytes.fromhex("9f7804") + struct.pack(">f", -1e20),
    bytes.fromhex("9f78047fc00000"),  # float NaN
    bytes.fromhex("9f76080000000100000002"),  # Counter64
    bytes.fromhex("9f7603010203"),
    bytes.fromhex("9f7600"),
    bytes.fromhex("9f760900ffffffffffffffff"),  # a leading zero octet, 9 in all
    bytes.fromhex("9f7a08fffffffffffffffe"),  # Int64
    bytes.fromhex("9f7a01fe"),
    bytes.fromhex("9f7a0180"),
    bytes.fromhex("9f7a00"),
    bytes.fromhex("9f7b08fffffffffffffffe"),  # UInt64
    bytes.fromhex("9f7b0105"),
    bytes.fromhex("9f7b0900ffffffffffffffff"),
    bytes.fromhex("010203"),  # plain octets
    b"",
    bytes.fromhex("9f"),
    bytes(range(1, 19)),  # more than one line of hex
    bytes.fromhex("9f7c0101"),  # subtypes net-snmp does not open
    bytes.fromhex("9f7702abcd"),
]


def respond(data):
    version = api.decodeMessageVersion(data)
    proto = api.protoModules[version]
    message, _ = decoder.decode(data, asn1Spec=proto.Message())
    request = proto.apiMessage.getPDU(message)
    response = proto.apiMessage.getResponse(message)
    bindings = []
    for oid, _ in proto.apiPDU.getVarBinds(request):
        oid = tuple(oid)
        index = oid[-1] - 1 if oid[:-1] == BASE else -1
        value = rfc1902.Opaque(OPAQUES[index]) if 0 <= index < len(OPAQUES) else proto.Null()
        bindings.append((oid, value))
    proto.apiPDU.setVarBinds(proto.apiMessage.getPDU(response), bindings)
    return encoder.encode(response)


def main():
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", int(sys.argv[1])))
    while True:
        ready, _, _ = select.select([sock, sys.stdin], [], [])
        if sys.stdin in ready and not sys.stdin.buffer.read1(4096):
            return
        if sock in ready:
            data, peer = sock.recvfrom(65535)
            sock.sendto(respond(data), peer)


if __name__ == "__main__":
    main()
