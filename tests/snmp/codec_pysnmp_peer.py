#!/usr/bin/python3
"""pysnmp as a second codec for Kestrava's peer tests.

  decode HEX   prints the message as lines: version, community, pdu tag, request-id,
               error-status, error-index, then one "oid|type|value" line per binding
               (OCTET STRING and Opaque values as hex, numbers in decimal).
  encode       prints the hex of a SNMPv2c Response carrying one value of every type.
  v3decode HEX AUTH AUTHPASSWORD PRIV PRIVPASSWORD
               checks the signature of an SNMPv3 message and decrypts it with pysnmp's own
               security modules, then prints: msgID, flags, user, engine id (hex), boots,
               time, context name, pdu tag, request-id, and one "oid|type|value" per binding.
               AUTH: MD5, SHA, SHA-224 .. SHA-512; PRIV: DES, AES, AES-192, AES-256 or "-".
  v3encode ENGINEID BOOTS TIME USER AUTH AUTHPASSWORD PRIV PRIVPASSWORD MSGID REQUESTID
               prints the hex of an SNMPv3 Response of that user, signed and (unless PRIV is
               "-") encrypted by pysnmp, carrying a Counter32, an OCTET STRING and an OID.
"""
import sys

from pyasn1.codec.ber import decoder, encoder
from pyasn1.type import univ
from pysnmp.proto import api, rfc1902, rfc1905
from pysnmp.proto.mpmod.rfc3412 import ScopedPDU, SNMPv3Message
# The USM service first: the privacy modules import each other through it.
from pysnmp.proto.secmod.rfc3414.service import UsmSecurityParameters
from pysnmp.proto.secmod.eso.priv import aes192, aes256
from pysnmp.proto.secmod.rfc3414.auth import hmacmd5, hmacsha
from pysnmp.proto.secmod.rfc3414.priv import des
from pysnmp.proto.secmod.rfc3826.priv import aes
from pysnmp.proto.secmod.rfc7860.auth import hmacsha2

# Each authentication module, and its service id (which also selects the privacy key's hash).
SHA2 = hmacsha2.HmacSha2
AUTH = {
    "MD5": (hmacmd5.HmacMd5, hmacmd5.HmacMd5.serviceID),
    "SHA": (hmacsha.HmacSha, hmacsha.HmacSha.serviceID),
    "SHA-224": (lambda: SHA2(SHA2.sha224ServiceID), SHA2.sha224ServiceID),
    "SHA-256": (lambda: SHA2(SHA2.sha256ServiceID), SHA2.sha256ServiceID),
    "SHA-384": (lambda: SHA2(SHA2.sha384ServiceID), SHA2.sha384ServiceID),
    "SHA-512": (lambda: SHA2(SHA2.sha512ServiceID), SHA2.sha512ServiceID),
}
# net-snmp's AES-192/256 keys are extended as in the Blumenthal draft.
PRIV = {
    "DES": lambda: des.Des(),
    "AES": lambda: aes.Aes(),
    "AES-192": lambda: aes192.AesBlumenthal192(),
    "AES-256": lambda: aes256.AesBlumenthal256(),
}


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


def keys(engine_id, auth_name, auth_password, priv_name, priv_password):
    make, service = AUTH[auth_name]
    auth = make()
    auth_key = auth.localizeKey(auth.hashPassphrase(univ.OctetString(auth_password)), engine_id)
    if priv_name == "-":
        return auth, auth_key, None, None
    priv = PRIV[priv_name]()
    priv_key = priv.localizeKey(
        service, priv.hashPassphrase(service, univ.OctetString(priv_password)), engine_id)
    return auth, auth_key, priv, priv_key


def v3decode(hex_text, auth_name, auth_password, priv_name, priv_password):
    data = bytes.fromhex(hex_text)
    message, _ = decoder.decode(data, asn1Spec=SNMPv3Message())
    header = message["msgGlobalData"]
    security, _ = decoder.decode(bytes(message["msgSecurityParameters"]),
                                 asn1Spec=UsmSecurityParameters())
    engine_id = security["msgAuthoritativeEngineId"]
    boots = int(security["msgAuthoritativeEngineBoots"])
    time = int(security["msgAuthoritativeEngineTime"])
    auth, auth_key, priv, priv_key = keys(engine_id, auth_name, auth_password, priv_name,
                                          priv_password)
    # Raises when the signature does not verify.
    auth.authenticateIncomingMsg(auth_key, security["msgAuthenticationParameters"], data)
    body = message["msgData"]
    if priv is None:
        scoped = body["plaintext"]
    else:
        plain = priv.decryptData(priv_key, (boots, time, security["msgPrivacyParameters"]),
                                 body["encryptedPDU"])
        scoped, _ = decoder.decode(bytes(plain), asn1Spec=ScopedPDU())
    pdu = scoped["data"].getComponent()
    module = api.protoModules[api.protoVersion2c]
    print(int(header["msgID"]))
    print(bytes(header["msgFlags"])[0])
    print(bytes(security["msgUserName"]).decode("latin-1"))
    print(bytes(engine_id).hex())
    print(boots)
    print(time)
    print(bytes(scoped["contextName"]).decode("latin-1"))
    tag = pdu.tagSet[-1]
    print("%02X" % (tag.tagClass | tag.tagFormat | tag.tagId))
    print(int(module.apiPDU.getRequestID(pdu)))
    for oid, value in module.apiPDU.getVarBinds(pdu):
        name, text = value_text(value)
        print("%s|%s|%s" % (".".join(str(x) for x in oid), name, text))


def v3encode(engine_hex, boots, time, user, auth_name, auth_password, priv_name, priv_password,
             msg_id, request_id):
    engine_id = univ.OctetString(bytes.fromhex(engine_hex))
    auth, auth_key, priv, priv_key = keys(engine_id, auth_name, auth_password, priv_name,
                                          priv_password)
    module = api.protoModules[api.protoVersion2c]
    pdu = module.ResponsePDU()
    module.apiPDU.setDefaults(pdu)
    module.apiPDU.setRequestID(pdu, int(request_id))
    module.apiPDU.setErrorStatus(pdu, 0)
    module.apiPDU.setErrorIndex(pdu, 0)
    module.apiPDU.setVarBinds(pdu, [
        ("1.3.6.1.2.1.2.2.1.10.1", rfc1902.Counter32(3000000001)),
        ("1.3.6.1.2.1.2.2.1.2.1", rfc1902.OctetString(b"eth0 \x00 pysnmp")),
        ("1.3.6.1.2.1.1.2.0", rfc1902.ObjectIdentifier("1.3.6.1.4.1.8072.3.2.10")),
    ])
    scoped = ScopedPDU()
    scoped["contextEngineId"] = engine_id
    scoped["contextName"] = b""
    scoped["data"].setComponentByType(pdu.tagSet, pdu)
    message = SNMPv3Message()
    message["msgVersion"] = 3
    header = message["msgGlobalData"]
    header["msgID"] = int(msg_id)
    header["msgMaxSize"] = 65507
    header["msgFlags"] = bytes([3 if priv else 1])
    header["msgSecurityModel"] = 3
    security = UsmSecurityParameters()
    security["msgAuthoritativeEngineId"] = engine_id
    security["msgAuthoritativeEngineBoots"] = int(boots)
    security["msgAuthoritativeEngineTime"] = int(time)
    security["msgUserName"] = user.encode()
    security["msgAuthenticationParameters"] = b"\x00" * auth.digestLength
    if priv is None:
        security["msgPrivacyParameters"] = b""
        message["msgData"]["plaintext"] = scoped
    else:
        ciphertext, salt = priv.encryptData(priv_key, (int(boots), int(time), None),
                                            encoder.encode(scoped))
        security["msgPrivacyParameters"] = salt
        message["msgData"]["encryptedPDU"] = ciphertext
    message["msgSecurityParameters"] = encoder.encode(security)
    whole = auth.authenticateOutgoingMsg(auth_key, encoder.encode(message))
    print(bytes(whole).hex())


if __name__ == "__main__":
    if sys.argv[1] == "decode":
        decode(sys.argv[2])
    elif sys.argv[1] == "v3decode":
        v3decode(*sys.argv[2:7])
    elif sys.argv[1] == "v3encode":
        v3encode(*sys.argv[2:12])
    else:
        encode()
