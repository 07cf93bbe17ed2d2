#!/usr/bin/env bash
# Checks a built Horavia.exe on the build machine: at most 512 KiB, and each of its pictures
# at every size Windows asks for from 100 % to 200 % display scaling.
#
#   check-pictures.sh <Horavia.exe>
#
# Prints what is wrong, and fails if anything is.
set -euo pipefail

exe=$1
limit=524288
failed=0
size=$(stat -c %s "$exe")
if ((size > limit)); then
  echo "$exe: $size bytes, more than $limit"
  failed=1
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The icon groups by name, each with the sizes it must hold (a trailing "p": stored as PNG).
declare -A wanted=(
  [IMAGEPC]="16 20 24 28 32" [IMAGECRYSTAL]="16 20 24 28 32" [IMAGEDCF]="16 20 24 28 32"
  [STATE0]="32 40 48 56 64" [STATE1]="32 40 48 56 64" [STATE2]="32 40 48 56 64"
  [MAINICON]="16 20 24 32 48 256p"
)
for name in "${!wanted[@]}"; do
  # wrestool puts a group together with its images as one .ico file.
  if ! wrestool -x --type=group_icon --name="$name" -o "$tmp/$name.ico" "$exe" 2>/dev/null ||
    [[ ! -s "$tmp/$name.ico" ]]; then
    echo "$exe: no icon $name"
    failed=1
    continue
  fi
  # icotool lists each picture as "--index=I --width=W --height=H ..."; the I-th entry of the
  # file's directory (16 bytes from byte 6) gives where its data starts, a PNG or a bitmap.
  have=""
  while read -r line; do
    index=$(sed -n 's/.*--index=\([0-9]*\).*/\1/p' <<<"$line")
    width=$(sed -n 's/.*--width=\([0-9]*\).*/\1/p' <<<"$line")
    height=$(sed -n 's/.*--height=\([0-9]*\).*/\1/p' <<<"$line")
    [[ "$width" == "$height" ]] || echo "$exe: $name holds a picture of $width x $height"
    offset=$(od -An -tu4 -j $((6 + 16 * (index - 1) + 12)) -N4 "$tmp/$name.ico" | tr -d ' ')
    magic=$(od -An -tx1 -j "$offset" -N4 "$tmp/$name.ico" | tr -d ' ')
    [[ "$magic" == 89504e47 ]] && width="${width}p"
    have="$have $width"
  done < <(icotool -l "$tmp/$name.ico")
  have=$(tr ' ' '\n' <<<"$have" | sed '/^$/d' | sort -n | tr '\n' ' ' | sed 's/ $//')
  expected=$(tr ' ' '\n' <<<"${wanted[$name]}" | sort -n | tr '\n' ' ' | sed 's/ $//')
  if [[ "$have" != "$expected" ]]; then
    echo "$exe: $name holds sizes '$have', not '$expected'"
    failed=1
  fi
done
exit "$failed"
