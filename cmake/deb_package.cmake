# The Debian package, built by CPack from the install rules: `cpack -G DEB` in the build
# folder, or scripts/package. Its contents are exactly what `cmake --install` puts below /usr.
# Dependencies are worked out from the two programs by dpkg-shlibdeps.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrava)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Quillbeck)
set(CPACK_PACKAGE_CONTACT ${KESTRAVA_MAINTAINER})
if(KESTRAVA_HOMEPAGE)
  set(CPACK_PACKAGE_HOMEPAGE_URL ${KESTRAVA_HOMEPAGE})
endif()
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KESTRAVA_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS snmpd)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The first line is the synopsis; the rest is the long description, lines under 80 columns.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "live SNMP top-N monitor drawn as a pie chart
Kestrava walks one column of an SNMP table on one agent to discover its rows,
for example the interfaces of a router, polls one or more counters of every
row every few seconds over SNMPv1, SNMPv2c or SNMPv3 (with authentication and
privacy), over IPv4 or IPv6, and shows the largest rows as a live pie chart
with a legend, slice marks and a 3D view. Values are raw counters,
per-interval deltas (from the 64-bit counters where the agent has them) or
small formulas such as bits per second.

Started without options it shows which interfaces of the agent receive the
most traffic. The chart and its slices can also be written to PNG and CSV
files after every poll, for scripts without a display.

The package also contains kestrava-snmp, a small command-line SNMP manager
(get, getnext, walk and bulkwalk, SNMPv1 to SNMPv3) whose output
compares line by line with net-snmp's.")

include(CPack)
