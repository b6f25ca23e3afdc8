#!/usr/bin/python3
"""pysnmp as a second codec for Kestrava's peer tests.

  decode HEX   prints the message as lines: version, community, pdu tag, request-id,
               error-status, error-index, then one "oid|type|value" line per binding
               (OCTET STRING and Opaque values as hex, numbers in decimal).
  encode       prints the hex of a SNMPv2c Response carrying one value of every type.
"""
import sys

from pyasn1.codec.ber import decoder, encoder
from pysnmp.proto import api, rfc1902, rfc1905


def value_text(value):
    name = value.__class__.__name__
    if name in ("OctetString", "Opaque"):
        return name, bytes(value).hex()
    if name == "IpAddress":
        return name, ".".join(str(b) for b in bytes(value))
    if name == "ObjectIdentifier":
        return name, ".".join(str(x) for x in value)
    if name in ("NoSuchObject", "NoSuchInstance", "EndOfMibView", "Null"):
        return name, ""
    return name, str(int(value))


def decode(hex_text):
    data = bytes.fromhex(hex_text)
    version = int(api.decodeMessageVersion(data))
    module = api.protoModules[version]
    message, _ = decoder.decode(data, asn1Spec=module.Message())
    pdu = module.apiMessage.getPDU(message)
    print(version)
    print(bytes(module.apiMessage.getCommunity(message)).decode("latin-1"))
    tag = pdu.tagSet[-1]
    print("%02X" % (tag.tagClass | tag.tagFormat | tag.tagId))
    print(int(module.apiPDU.getRequestID(pdu)))
    print(int(module.apiPDU.getErrorStatus(pdu)))
    print(int(module.apiPDU.getErrorIndex(pdu)))
    for oid, value in module.apiPDU.getVarBinds(pdu):
        name, text = value_text(value)
        print("%s|%s|%s" % (".".join(str(x) for x in oid), name, text))


def encode():
    module = api.protoModules[api.protoVersion2c]
    pdu = module.ResponsePDU()
    module.apiPDU.setDefaults(pdu)
    module.apiPDU.setRequestID(pdu, 4321)
    module.apiPDU.setErrorStatus(pdu, 0)
    module.apiPDU.setErrorIndex(pdu, 0)
    base = "1.3.6.1.4.1.8072.9999."
    module.apiPDU.setVarBinds(pdu, [
        (base + "1", rfc1902.Integer32(-5)),
        (base + "2", rfc1902.Integer32(2147483647)),
        (base + "3", rfc1902.Counter32(4000000000)),
        (base + "4", rfc1902.Gauge32(7)),
        (base + "5", rfc1902.TimeTicks(360000)),
        (base + "6", rfc1902.Counter64(18446744073709551615)),
        (base + "7", rfc1902.OctetString(b"A\x00B\x00\x00C")),
        (base + "8", rfc1902.IpAddress("10.20.30.40")),
        (base + "9", rfc1902.ObjectIdentifier("1.3.6.1.4.1.311")),
        (base + "10", rfc1902.Opaque(b"\x9f\x78\x04")),
        (base + "11", rfc1905.noSuchObject),
        (base + "12", rfc1905.noSuchInstance),
        (base + "13", rfc1905.endOfMibView),
        (base + "14", rfc1902.OctetString(b"x" * 300)),
    ])
    message = module.Message()
    module.apiMessage.setDefaults(message)
    module.apiMessage.setCommunity(message, "cobalt")
    module.apiMessage.setPDU(message, pdu)
    print(encoder.encode(message).hex())


if __name__ == "__main__":
    if sys.argv[1] == "decode":
        decode(sys.argv[2])
    else:
        encode()
