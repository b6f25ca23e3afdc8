#!/usr/bin/env bash
# The folders include downward only: app above ui and engine; engine above config, snmp and
# shared; ui above shared. Lists every include that runs the other way and fails when there is one.
set -euo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root"

# folder: the folders its files may not include from
declare -A forbidden=(
  [shared]="snmp config engine ui app"
  [snmp]="config engine ui app"
  [config]="snmp engine ui app"
  [engine]="ui app"
  [ui]="snmp config engine app"
)

status=0
for folder in "${!forbidden[@]}"; do
  for above in ${forbidden[$folder]}; do
    if hits=$(grep -rn --include='*.h' --include='*.cpp' "^#include \"$above/" "$folder"); then
      echo "$hits" | sed "s|\$|   <- $folder/ may not include $above/|"
      status=1
    fi
  done
done
exit $status
