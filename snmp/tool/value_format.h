#pragma once
// The text of one variable binding as the kestrava-snmp command prints it: the numeric OID
// with a leading dot, " = ", the type name and the value, in the form net-snmp's tools print
// with numeric OIDs and no MIBs loaded, so the two outputs compare line by line.
// Thread: pure functions; any thread.

#include <string>

namespace kestrava {

// oid: dotted text without a leading dot; type: BER tag; value: the component's ObjValue.
std::string FormatBinding(const std::string& oid, int type, const std::string& value);

}  // namespace kestrava
