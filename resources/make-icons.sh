#!/bin/sh
# Draws the program's icons with ImageMagick into resources/icons/*.ico.
# Run once after changing a picture; the .ico files are kept in the tree.
# Every picture is drawn on a 64 x 64 canvas and scaled down to its sizes.
set -eu
cd "$(dirname "$0")/icons"
CONVERT=${CONVERT:-convert}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# draw NAME PRIMITIVES...: a 64 x 64 transparent picture.
draw() {
  name=$1
  shift
  "$CONVERT" -size 64x64 xc:none "$@" "$tmp/$name.png"
}

# icon NAME SIZES...: the 64 x 64 picture NAME scaled to each size, as one icon.
icon() {
  name=$1
  shift
  files=""
  for size in "$@"; do
    "$CONVERT" "$tmp/$name.png" -filter Lanczos -resize "${size}x${size}" "$tmp/$name-$size.png"
    files="$files $tmp/$name-$size.png"
  done
  # shellcheck disable=SC2086
  "$CONVERT" $files "$name.ico"
}

# mast NAME MAST WAVES [ARGS...]: a radio mast in colour MAST sending waves
# in colour WAVES, drawn over what ARGS draw first.
mast() {
  name=$1
  pole=$2
  waves=$3
  shift 3
  draw "$name" "$@" -stroke "$pole" -strokewidth 5 -fill none \
    -draw "line 32,22 20,58" -draw "line 32,22 44,58" \
    -draw "line 26,40 38,40" -draw "line 23,50 41,50" \
    -fill "$pole" -stroke none -draw "circle 32,21 32,16" \
    -stroke "$waves" -strokewidth 4 -fill none \
    -draw "ellipse 32,21 10,10 195,245" -draw "ellipse 32,21 10,10 295,345" \
    -draw "ellipse 32,21 19,19 200,245" -draw "ellipse 32,21 19,19 295,340"
}

# PC clock: a monitor with a clock on its screen.
draw pc -fill '#303030' -draw "roundrectangle 2,6 61,48 5,5" \
  -fill '#3c7fd8' -draw "rectangle 8,12 55,42" \
  -fill '#303030' -draw "rectangle 26,48 37,54" -draw "roundrectangle 14,54 49,61 3,3" \
  -fill white -draw "circle 32,27 32,15" \
  -stroke '#303030' -strokewidth 4 -draw "line 32,27 32,18" -draw "line 32,27 39,30"

# Crystal time: a quartz crystal, a six-sided prism with pointed ends.
draw crystal -fill '#b58cf0' -stroke '#5a2e9c' -strokewidth 3 \
  -draw "polygon 32,2 48,16 48,48 32,62 16,48 16,16" \
  -stroke none -fill '#e4d4ff' -draw "polygon 32,6 40,16 40,48 32,58" \
  -stroke '#5a2e9c' -strokewidth 2 -draw "line 32,2 32,62"

# DCF77 time: a red radio mast sending.
mast dcf '#c02020' '#1a9a3a'

# State pictures: a disk in the state's colour with a white mast.
state() {
  name=$1
  colour=$2
  mast "$name" white white -fill "$colour" -stroke '#404040' -strokewidth 2 \
    -draw "circle 32,32 32,2"
}
state state0 '#9a9a9a'
state state1 '#f0a000'
state state2 '#1fa040'

# The program: a clock face with radio waves.
draw main -fill white -stroke '#203060' -strokewidth 5 -draw "circle 27,37 27,13" \
  -stroke '#203060' -strokewidth 5 -draw "line 27,37 27,21" -draw "line 27,37 38,43" \
  -fill '#203060' -stroke none -draw "circle 27,37 27,33" \
  -stroke '#1a9a3a' -strokewidth 4 -fill none \
  -draw "ellipse 45,18 6,6 275,345" -draw "ellipse 45,18 14,14 275,345"

icon main 48 32 16
icon pc 16
icon crystal 16
icon dcf 16
icon state0 32
icon state1 32
icon state2 32
