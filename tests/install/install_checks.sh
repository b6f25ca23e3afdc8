# Checks shared by install_tree_test.sh and deb_package_test.sh; sourced, not run.
# Both tests set: source (the source folder), build (the build folder), version (the project
# version) and appstream_id, and count failures with fail().

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Every file an installation holds, relative to its prefix, sorted.
expected_files() {
  local n f
  {
    printf '%s\n' bin/kestrava bin/kestrava-snmp bin/kestrava-exporter \
      share/man/man1/kestrava-exporter.1.gz lib/systemd/system/kestrava-exporter.service \
      share/doc/kestrava/examples/kestrava-exporter.yml \
      share/applications/kestrava.desktop \
      "share/metainfo/$appstream_id.metainfo.xml" \
      share/icons/hicolor/scalable/apps/kestrava.svg \
      share/man/man1/kestrava.1.gz share/man/man1/kestrava-snmp.1.gz \
      share/bash-completion/completions/kestrava share/bash-completion/completions/kestrava-snmp \
      share/doc/kestrava/copyright share/doc/kestrava/changelog.gz \
      share/doc/kestrava/corner-cases.md
    for n in 16 22 24 32 48 64 128 256; do
      echo "share/icons/hicolor/${n}x$n/apps/kestrava.png"
    done
    for f in "$source"/examples/*.xml; do
      echo "share/doc/kestrava/examples/${f##*/}"
    done
  } | LC_ALL=C sort
}

# Compares the files under $1 (an installation prefix) with expected_files.
check_file_list() {
  local actual
  actual=$(cd "$1" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
  if [[ $actual != "$(expected_files)" ]]; then
    fail "installed files differ from the expected list (< expected, > installed):"
    diff <(expected_files) <(echo "$actual") | grep '^[<>]' >&2 || true
  fi
}

# Runs the two installed programs under $1 (a prefix) from a folder that is neither the
# source nor the build folder, and looks for paths into either in the binaries.
check_programs() {
  local prefix=$1 elsewhere out status
  elsewhere=$(mktemp -d /tmp/kestrava-elsewhere-XXXXXX)
  out=$(cd "$elsewhere" && "$prefix/bin/kestrava" --version 2>&1) && status=0 || status=$?
  [[ $status -eq 0 && $out == "Kestrava $version" ]] ||
    fail "kestrava --version gave status $status and \"$out\", not \"Kestrava $version\""
  out=$(cd "$elsewhere" && "$prefix/bin/kestrava-snmp" --help 2>&1) && status=0 || status=$?
  [[ $status -eq 0 && $out == "usage: kestrava-snmp "* ]] ||
    fail "kestrava-snmp --help gave status $status and \"${out%%$'\n'*}\""
  out=$(cd "$elsewhere" && "$prefix/bin/kestrava-exporter" --version 2>&1) && status=0 || status=$?
  [[ $status -eq 0 && $out == "kestrava-exporter $version" ]] ||
    fail "kestrava-exporter --version gave status $status and \"$out\""
  rmdir "$elsewhere"

  local program dir
  for program in kestrava kestrava-snmp kestrava-exporter; do
    while read -r dir; do
      if strings -a "$prefix/bin/$program" | grep -F "$dir" >/dev/null; then
        fail "bin/$program contains the path $dir"
      fi
    done < <(printf '%s\n' "$source" "$build" "$(realpath "$source")" "$(realpath "$build")" |
      sort -u)
  done
}
