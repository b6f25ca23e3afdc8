"""Prints "name oid" for every object that pysnmp's compiled SNMPv2-SMI, RFC1213-MIB and
SNMPv2-MIB modules define, one per line, for the OID name table's cross-check."""
from pysnmp.smi import builder

MODULES = ('SNMPv2-SMI', 'RFC1213-MIB', 'SNMPv2-MIB')

mib_builder = builder.MibBuilder()
mib_builder.loadModules(*MODULES)
for module in MODULES:
    for name, node in mib_builder.mibSymbols[module].items():
        # Classes (MibScalar, ...) are exported too; only their instances are objects.
        if isinstance(node, type) or not hasattr(node, 'getName'):
            continue
        print(name, '.'.join(str(arc) for arc in node.getName()))
