#!/usr/bin/env bash
# Checks a built Windows program or library against the functions it may import.
#
#   check-imports.sh <objdump> <list> <major.minor> <file>...
#
# <list> names, one "DLL: function" a line ("#" starts a comment), every function the build may
# import, each known to exist on the oldest Windows that build promises. <major.minor> is that
# system's version: the files' subsystem version must not be higher, or its loader refuses
# them. Prints every import missing from the list, and fails if there is one.
set -euo pipefail

objdump=$1 list=$2 oldest=$3
shift 3
allowed=$(sed -e 's/#.*//' -e 's/[[:space:]]*$//' -e '/^$/d' "$list" | tr '[:upper:]' '[:lower:]' |
  sort -u)
failed=0
for file in "$@"; do
  headers=$("$objdump" -p "$file")
  # Each "DLL Name:" starts a block of "<address> <hint> <name>" lines that ends at a blank one.
  imports=$(awk '
    /^[[:space:]]*DLL Name:/ { dll = $3; next }
    dll != "" && /^[[:space:]]*$/ { dll = ""; next }
    dll != "" && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ && NF >= 3 { print dll ": " $3 }
  ' <<<"$headers" | sort -u)
  if [[ -z "$imports" ]]; then
    echo "$file: no imports found (is $objdump the right objdump?)"
    failed=1
    continue
  fi
  new=$(comm -23 <(tr '[:upper:]' '[:lower:]' <<<"$imports" | sort -u) <(echo "$allowed"))
  if [[ -n "$new" ]]; then
    echo "$file imports what $(basename "$list") does not allow:"
    sed 's/^/  /' <<<"$new"
    failed=1
  fi
  major=$(awk '/^MajorSubsystemVersion/ { print $2 }' <<<"$headers")
  minor=$(awk '/^MinorSubsystemVersion/ { print $2 }' <<<"$headers")
  if ((major > ${oldest%.*} || (major == ${oldest%.*} && minor > ${oldest#*.}))); then
    echo "$file: subsystem version $major.$minor is newer than Windows $oldest"
    failed=1
  fi
  echo "$file: $(wc -l <<<"$imports") imports, subsystem $major.$minor"
done
exit "$failed"
