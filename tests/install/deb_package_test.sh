#!/usr/bin/env bash
# Builds the Debian package with CPack from the build folder and checks it as apt and a user
# would meet it: its control data, its files (those of an installation below /usr, owned by
# root), lintian without errors, the programs built with Debian's hardening flags, and the unpacked programs running from another folder,
# the program itself polling a local snmpd until it has drawn a chart.
# Usage: deb_package_test.sh SOURCE_DIR BUILD_DIR VERSION APPSTREAM_ID
set -euo pipefail
source=$1 build=$2 version=$3 appstream_id=$4
. "$source/tests/install/install_checks.sh"

tmp=$(mktemp -d /tmp/kestrava-deb-XXXXXX)
agent_pid=
agent_dir=
cleanup() {
  if [[ -n $agent_pid ]]; then
    kill "$agent_pid" 2>/dev/null || true
    # snmpd saves its persistent state into its folder as it ends; remove the folder after.
    for _ in $(seq 1 50); do kill -0 "$agent_pid" 2>/dev/null || break; sleep 0.1; done
  fi
  [[ -z $agent_dir ]] || rm -rf "$agent_dir"
  rm -rf "$tmp"
}
trap cleanup EXIT

cpack -G DEB -B "$tmp/out" --config "$build/CPackConfig.cmake" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log" >&2; fail "cpack failed"; exit 1; }
arch=$(dpkg --print-architecture)
deb=$tmp/out/kestrava_${version}_$arch.deb
[[ -f $deb ]] || { fail "no package $deb: $(ls "$tmp/out")"; exit 1; }

# Control data.
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == kestrava ]] || fail "Package is \"$(field Package)\""
[[ $(field Version) == "$version" ]] || fail "Version is \"$(field Version)\", not $version"
[[ $(field Architecture) == "$arch" ]] || fail "Architecture is \"$(field Architecture)\""
[[ $(field Section) == net ]] || fail "Section is \"$(field Section)\", not net"
[[ $(field Maintainer) =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] ||
  fail "Maintainer is \"$(field Maintainer)\", not \"Name <address>\""
[[ ", $(field Suggests)," == *", snmpd,"* ]] || fail "Suggests is \"$(field Suggests)\""
depends=$(field Depends)
for library in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6xml6; do
  [[ $depends =~ (^|, )$library\ \( ]] || fail "Depends lacks $library with a version: $depends"
done
[[ $depends != *snmpd* ]] || fail "snmpd is a dependency, not a suggestion: $depends"
description=$(field Description)
[[ $description == *$'\n'* && ${description%%$'\n'*} != "" ]] ||
  fail "Description has no synopsis and long description"

# Files: exactly an installation's, below /usr, owned by root.
listing=$(dpkg-deb -c "$deb")
owners=$(awk '{print $2}' <<<"$listing" | sort -u)
[[ $owners == root/root ]] || fail "files owned by $owners, not root/root"
outside=$(awk '{print $6}' <<<"$listing" | grep -v '^\./usr/' | grep -vx '\./' || true)
[[ -z $outside ]] || fail "files outside /usr: $outside"
mkdir "$tmp/root"
dpkg-deb -x "$deb" "$tmp/root"
check_file_list "$tmp/root/usr"

# lintian: no errors and none of its hardening findings (some of which are only "info");
# its other warnings are shown.
# (Its temporary files go to this test's folder: it leaves some behind.)
lintian_out=$(TMPDIR=$tmp lintian --fail-on error --display-level '>=info' "$deb" 2>&1) ||
  fail "lintian found errors"
hardening=$(grep -E ' hardening-' <<<"$lintian_out" || true)
[[ -z $hardening ]] || fail "lintian: the programs lack hardening: $hardening"
lintian_out=$(grep -E '^[EW]: ' <<<"$lintian_out" | grep -v 'running with root privileges' || true)
[[ -z $lintian_out ]] || echo "lintian: $lintian_out"

# Debian's hardening flags, seen in the programs themselves: position-independent, full RELRO
# (read-only after relocation, bound at once), the stack protector, and fortified C library
# calls.
for program in kestrava kestrava-snmp kestrava-exporter; do
  bin=$tmp/root/usr/bin/$program
  [[ $(readelf -hW "$bin" | sed -n 's/^ *Type: *\([A-Z]*\).*/\1/p') == DYN ]] ||
    fail "$program is not a position-independent executable"
  readelf -lW "$bin" | grep -q 'GNU_RELRO' || fail "$program has no RELRO segment"
  readelf -dW "$bin" | grep -Eq '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' ||
    fail "$program is not bound at once (-z now)"
  symbols=$(readelf --dyn-syms -W "$bin")
  grep -q ' __stack_chk_fail' <<<"$symbols" || fail "$program has no stack protector"
  grep -Eq ' __[a-z0-9_]+_chk(@|$)' <<<"$symbols" || fail "$program calls no fortified functions"
done

# The exporter's service comes disabled (no maintainer script enables it) and runs as a user
# of its own.
unit=$tmp/root/usr/lib/systemd/system/kestrava-exporter.service
grep -qx 'DynamicUser=yes' "$unit" || fail "the exporter's unit has no DynamicUser=yes"
scripts=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -E 'postinst|preinst|prerm|postrm' || true)
[[ -z $scripts ]] || fail "the package has maintainer scripts: $scripts"

# The unpacked programs: run from elsewhere, then the program polls a real agent.
check_programs "$tmp/root/usr"
read -r port agent_pid agent_dir < <("$source/scripts/local-snmpd") ||
  { fail "no local snmpd"; exit 1; }
mkdir "$tmp/run"
out=$(cd "$tmp/run" && "$tmp/root/usr/bin/kestrava-snmp" get -v 1 -c cobalt "127.0.0.1:$port" \
  1.3.6.1.2.1.1.6.0 2>&1) || fail "kestrava-snmp get failed: $out"
[[ $out == *"Kestrava local agent"* ]] || fail "kestrava-snmp get read \"$out\""
status=0
(cd "$tmp/run" && timeout 120 "$tmp/root/usr/bin/kestrava" /HOST 127.0.0.1 /PORT "$port" \
  /POLLINGINTERVAL 1 /EXPORT slices.csv /SNAPSHOT chart.png /EXITAFTER 2) >"$tmp/run.log" 2>&1 ||
  status=$?
[[ $status -eq 0 ]] || fail "kestrava ended with status $status: $(cat "$tmp/run.log")"
[[ -s $tmp/run/slices.csv && $(file -b "$tmp/run/chart.png") == "PNG image data"* ]] ||
  fail "kestrava wrote no slices or no chart"

((failures == 0)) || exit 1
echo "Debian package $(basename "$deb"): every check passed"
