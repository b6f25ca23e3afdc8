#!/usr/bin/env bash
# `cmake --install` into a temporary prefix, then what a desktop and a user meet there: every
# file in its place and no other, the menu entry and the AppStream metadata valid and
# pointing at what is installed, icons of the sizes their folders say, manual pages that
# render without a warning and describe every option, completion that offers every option,
# and programs that run from any folder.
# Usage: install_tree_test.sh SOURCE_DIR BUILD_DIR VERSION APPSTREAM_ID
set -euo pipefail
source=$1 build=$2 version=$3 appstream_id=$4
. "$source/tests/install/install_checks.sh"

tmp=$(mktemp -d /tmp/kestrava-install-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
# Under the strictest umask: what is installed is for every user all the same.
(umask 077 && cmake --install "$build" --prefix "$prefix" --strip >/dev/null)

check_file_list "$prefix"
stray=$(cd "$prefix" && find . \( -type d ! -perm 755 \) \
  -o \( -type f -path './bin/*' ! -perm 755 \) -o \( -type f ! -path './bin/*' ! -perm 644 \))
[[ -z $stray ]] || fail "wrong permissions (folders and programs 755, other files 644): $stray"
check_programs "$prefix"

# The menu entry: valid, and its program and icon are the installed ones.
desktop=$prefix/share/applications/kestrava.desktop
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate failed"
[[ -z $out ]] || fail "desktop-file-validate: $out"
entry() { sed -n "s/^$1=//p" "$desktop"; }
exec_program=$(entry Exec)
exec_program=${exec_program%% *}
[[ -x $prefix/bin/$exec_program ]] || fail "Exec runs \"$exec_program\", which is not installed"
icon=$(entry Icon)
[[ -f $prefix/share/icons/hicolor/scalable/apps/$icon.svg ]] || fail "no scalable icon \"$icon\""
for category in Network Monitor Qt; do
  [[ ";$(entry Categories)" == *";$category;"* ]] || fail "Categories lack $category"
done

# Icons: a PNG of the size its folder names, and an SVG.
for png in "$prefix"/share/icons/hicolor/*x*/apps/*.png; do
  size=${png%/apps/*}
  size=${size##*/}
  info=$(file -b "$png")
  [[ $info == "PNG image data, ${size/x/ x },"* ]] ||
    fail "${png#"$prefix"/} is not a $size PNG: $info"
done
[[ $(file -b "$prefix/share/icons/hicolor/scalable/apps/kestrava.svg") == *SVG* ]] ||
  fail "the scalable icon is not an SVG"

# AppStream: valid offline; launchable, binaries and release match what is installed.
metainfo=$prefix/share/metainfo/$appstream_id.metainfo.xml
out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
grep -q "<launchable type=\"desktop-id\">kestrava.desktop</launchable>" "$metainfo" ||
  fail "the metainfo does not launch kestrava.desktop"
for binary in $(sed -n 's|.*<binary>\(.*\)</binary>.*|\1|p' "$metainfo"); do
  [[ -x $prefix/bin/$binary ]] || fail "the metainfo provides $binary, which is not installed"
done
grep -q "<release version=\"$version\" date=\"[0-9-]*\"/>" "$metainfo" ||
  fail "the metainfo has no release $version"
screenshot=$(sed -n 's|.*<image>\(https://[^<]*\)</image>.*|\1|p' "$metainfo")
[[ $screenshot == */docs/window.png && -f $source/docs/window.png ]] ||
  fail "the screenshot \"$screenshot\" is not the README's docs/window.png"

# Manual pages: no warning from man (all of groff's warnings), the version, and an entry for
# every option and command the programs' own usage texts list.
render() { zcat "$1" | groff -man -Tutf8 -P-cbou 2>/dev/null; }
for page in "$prefix"/share/man/man1/*.1.gz; do
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=w -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [[ -z $out ]] || fail "${page##*/} renders with warnings: $out"
  grep -q "^\.TH .*\"Kestrava $version\"" <(zcat "$page") ||
    fail "${page##*/} is not of version $version"
done
help=$("$prefix/bin/kestrava" --help)
options=$(sed -n 's|^  \(/[A-Z0-9]*\) .*|\1|p' <<<"$help")
[[ $(wc -l <<<"$options") -ge 10 ]] || fail "too few options read from kestrava --help: $options"
options+=$'\n--help\n--version'
page=$(render "$prefix/share/man/man1/kestrava.1.gz")
for option in $options; do
  grep -Eq "^ +$option( |,|$)" <<<"$page" ||
    fail "kestrava.1 has no entry for $option (docs/man/kestrava.1.in)"
done
usage=$("$prefix/bin/kestrava-snmp" --help)
commands=$(sed -n '1s|^usage: kestrava-snmp \([a-z|]*\) .*|\1|p' <<<"$usage" | tr '|' ' ')
flags=$(sed -n 's|^  \(-[a-zA-Z]\) .*|\1|p' <<<"$usage")
[[ -n $commands && -n $flags ]] || fail "no commands or flags read from kestrava-snmp --help"
page=$(render "$prefix/share/man/man1/kestrava-snmp.1.gz")
for word in $commands $flags; do
  grep -Eq "^ +$word( |,|$)" <<<"$page" ||
    fail "kestrava-snmp.1 has no entry for $word (docs/man/kestrava-snmp.1.in)"
done

# Completion: offers every option and command listed above, in both option forms.
completions=$prefix/share/bash-completion/completions
complete_words() {  # completion file, function, words...: the offers for the last word
  bash -c '. "$1"; shift; f=$1; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); "$f"
           printf "%s\n" "${COMPREPLY[@]}"' _ "$@"
}
offered=$(complete_words "$completions/kestrava" _kestrava kestrava "")
offered+=$'\n'$(complete_words "$completions/kestrava" _kestrava kestrava --)
for option in $options; do
  forms=("$option")
  [[ $option == /* ]] && long=--${option#/} && forms+=("${long,,}")
  for form in "${forms[@]}"; do
    grep -qxF -- "$form" <<<"$offered" ||
      fail "completion for kestrava does not offer $form (app/desktop/completion/kestrava)"
  done
done
mkdir "$tmp/files" && touch "$tmp/files/a.xml" "$tmp/files/b.png"
offered=$(cd "$tmp/files" && complete_words "$completions/kestrava" _kestrava kestrava /xml "")
[[ $offered == a.xml ]] || fail "completion after /xml offers \"$offered\", not the XML file"
offered=$(complete_words "$completions/kestrava-snmp" _kestrava_snmp kestrava-snmp "")
for command in $commands; do
  grep -qxF "$command" <<<"$offered" ||
    fail "completion for kestrava-snmp does not offer $command (app/desktop/completion/kestrava-snmp)"
done
offered=$(complete_words "$completions/kestrava-snmp" _kestrava_snmp kestrava-snmp -)
for flag in $flags; do
  grep -qxF -- "$flag" <<<"$offered" ||
    fail "completion for kestrava-snmp does not offer $flag (app/desktop/completion/kestrava-snmp)"
done

((failures == 0)) || exit 1
echo "install tree: every check passed"
