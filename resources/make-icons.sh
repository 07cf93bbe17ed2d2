#!/bin/sh
# Draws the program's icons with ImageMagick and packs them with icotool into
# resources/icons/*.ico. Run once after changing a picture; the .ico files are kept in the tree.
#
# Each size is drawn on its own pixel grid, not scaled down from a larger one: a design is given
# in units of a 64-pixel square, and each of its coordinates is rounded to a whole pixel of the
# size being drawn, each stroke to whole pixels (at least one) and placed so that it covers whole
# pixels. The sizes are those Windows asks for from 100 % to 200 % display scaling.
#
# The tray icons have a light band around a dark edge, so that they stand out on a light, a
# dark and the classic grey taskbar. They and the state pictures have 16 colours and a sharp
# mask (4 bits a pixel), which keeps the program small: a 32-pixel icon with an alpha channel
# takes six times the bytes. The program icon, which Explorer shows large, has an alpha channel
# (32 bits a pixel); its 256-pixel size is stored as PNG (read from Vista on; older systems
# take the largest of the others).
set -eu
cd "$(dirname "$0")/icons"
CONVERT=${CONVERT:-convert}
ICOTOOL=${ICOTOOL:-icotool}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# calc EXPRESSION: the value of an arithmetic expression with fractions.
calc() { awk "BEGIN { print $* }"; }
# u VALUE: the design unit VALUE (of 64) as a pixel index of the current size $S, rounded.
u() { echo $((($1 * S + 32) / 64)); }
# w VALUE: a stroke width of VALUE units in whole pixels, at least one.
w() {
  v=$((($1 * S + 32) / 64))
  [ "$v" -ge 1 ] || v=1
  echo "$v"
}
# at VALUE WIDTH: where a stroke WIDTH pixels wide at unit VALUE lies so that it covers whole
# pixels (ImageMagick puts pixel centres on whole numbers).
at() { calc "$(u "$1") - ($2 % 2 == 0 ? 0.5 : 0)"; }
# disk FIRST LAST: a circle covering the pixels FIRST to LAST across, as a -draw argument for
# the same rows.
disk() { calc "\"circle \" ($1 + $2) / 2 \",\" ($1 + $2) / 2 \" \" ($1 + $2) / 2 \",\" $1 - 0.5"; }

# outline NAME HALO: around the shape of $tmp/NAME.png, a light band HALO pixels wide.
outline() {
  "$CONVERT" "$tmp/$1.png" \( +clone -alpha extract -morphology Dilate "Disk:$2" \
    -background '#f4f4f4' -alpha shape -channel A -evaluate multiply 0.92 +channel \) \
    +swap -compose over -composite "$tmp/$1.png"
}

# pc: a monitor with a clock on its screen.
pc() {
  f=$(w 4)
  l=$(u 3) r=$(($(u 61) - 1)) t=$(u 7) b=$(($(u 47) - 1))
  h=$(w 3)
  cx=$(((l + r) / 2)) cy=$(((t + b) / 2))
  k=$(calc "($b - $t - 2 * $f + 1) / 2 - 0.3")
  "$CONVERT" -size "${S}x${S}" xc:none -fill '#262626' \
    -draw "roundrectangle $l,$t $r,$b $f,$f" \
    -draw "rectangle $(u 27),$b $(($(u 37) - 1)),$(($(u 54) - 1))" \
    -draw "roundrectangle $(u 16),$(u 53) $(($(u 48) - 1)),$(($(u 61) - 1)) $(w 2),$(w 2)" \
    -fill '#3c7fd8' -draw "rectangle $((l + f)),$((t + f)) $((r - f)),$((b - f))" \
    -fill white -draw "circle $cx,$cy $cx,$(calc "$cy - $k")" \
    -stroke '#262626' -strokewidth "$h" \
    -draw "line $cx,$cy $cx,$(calc "$cy - $k * 0.75")" \
    -draw "line $cx,$cy $(calc "$cx + $k * 0.6"),$(calc "$cy + $k * 0.25")" "$tmp/pc.png"
}

# crystal: a quartz crystal, a six-sided prism with pointed ends, lit on its left half.
crystal() {
  o=$(w 3)
  l=$(at 17 "$o") r=$(at 47 "$o") m=$(at 32 "$o")
  "$CONVERT" -size "${S}x${S}" xc:none -stroke '#4a2188' -strokewidth "$o" -fill '#b58cf0' \
    -draw "polygon $m,$(at 4 "$o") $r,$(at 17 "$o") $r,$(at 47 "$o") $m,$(at 60 "$o") $l,$(at 47 "$o") $l,$(at 17 "$o")" \
    -stroke none -fill '#e6d8ff' \
    -draw "polygon $m,$(calc "$(at 4 "$o") + $o + 1") $m,$(calc "$(at 60 "$o") - $o - 1") $(calc "$l + $o"),$(at 46 "$o") $(calc "$l + $o"),$(at 18 "$o")" \
    "$tmp/crystal.png"
}

# mast FILE POLE WAVES UNITS: over FILE, a radio mast in colour POLE sending waves in colour
# WAVES, UNITS of 64 high, in the middle of the picture.
mast() {
  K=$4
  # m V: unit V of the mast's own square, in units of the picture.
  m() { echo $((32 + ($1 - 32) * K / 64)); }
  p=$(w $((5 * K / 64)))
  a=$(w $((4 * K / 64)))
  top=$(at "$(m 24)" "$p")
  cx=$(at 32 "$p")
  wx=$(at 32 1) wy=$(at "$(m 22)" 1)
  r1=$(calc "$(u $((10 * K / 64)))") r2=$(calc "$(u $((19 * K / 64)))")
  "$CONVERT" "$1" -stroke "$2" -strokewidth "$p" -fill none \
    -draw "line $cx,$top $(at "$(m 20)" "$p"),$(at "$(m 59)" "$p")" \
    -draw "line $cx,$top $(at "$(m 44)" "$p"),$(at "$(m 59)" "$p")" \
    -draw "line $(at "$(m 26)" "$p"),$(at "$(m 41)" "$p") $(at "$(m 38)" "$p"),$(at "$(m 41)" "$p")" \
    -draw "line $(at "$(m 23)" "$p"),$(at "$(m 51)" "$p") $(at "$(m 41)" "$p"),$(at "$(m 51)" "$p")" \
    -stroke "$3" -strokewidth "$a" \
    -draw "ellipse $wx,$wy $r1,$r1 200,245" -draw "ellipse $wx,$wy $r1,$r1 295,340" \
    -draw "ellipse $wx,$wy $r2,$r2 203,242" -draw "ellipse $wx,$wy $r2,$r2 298,337" \
    -stroke none -fill "$2" -draw "circle $wx,$wy $wx,$(calc "$wy - $(w $((4 * K / 64)))")" "$1"
}

# dcf: a red radio mast sending green waves.
dcf() {
  "$CONVERT" -size "${S}x${S}" xc:none "$tmp/dcf.png"
  mast "$tmp/dcf.png" '#c01818' '#138a30' 74
}

# state: a disk in the state's colour $colour with a grey rim and a white mast.
state() {
  o=$(w 2)
  "$CONVERT" -size "${S}x${S}" xc:none -fill "$colour" -draw "$(disk 0 $((S - 1)))" \
    -fill none -stroke '#404040' -strokewidth "$o" \
    -draw "circle $(calc "($S - 1) / 2"),$(calc "($S - 1) / 2") $(calc "($S - 1) / 2"),$(calc "$o / 2 - 0.5")" \
    "$tmp/state.png"
  mast "$tmp/state.png" white white 60
}

# main: the program, a clock face with radio waves.
main() {
  o=$(w 5)
  cx=$(at 27 "$o") cy=$(at 37 "$o")
  "$CONVERT" -size "${S}x${S}" xc:none -fill white -stroke '#203060' -strokewidth "$o" \
    -draw "circle $cx,$cy $cx,$(at 13 "$o")" \
    -draw "line $cx,$cy $cx,$(at 22 "$o")" -draw "line $cx,$cy $(at 37 "$o"),$(at 43 "$o")" \
    -stroke '#1a9a3a' -strokewidth "$(w 4)" -fill none \
    -draw "ellipse $(at 45 1),$(at 18 1) $(u 6),$(u 6) 275,345" \
    -draw "ellipse $(at 45 1),$(at 18 1) $(u 14),$(u 14) 275,345" "$tmp/main.png"
}

# icon NAME DESIGN DEPTH SIZES...: DESIGN drawn at each size, packed into NAME.ico with DEPTH
# bits a pixel (32: with alpha; 4: 16 colours and a sharp mask). A size written as pPIXELS is
# stored as PNG.
icon() {
  name=$1 design=$2 depth=$3
  shift 3
  args=""
  for size in "$@"; do
    S=${size#p}
    "$design"
    case $design in pc | crystal | dcf) outline "$design" $((S >= 32 ? 2 : 1)) ;; esac
    out="$tmp/$name-$S.png"
    if [ "$depth" = 4 ]; then
      "$CONVERT" "$tmp/$design.png" -channel A -threshold 50% +channel -background black \
        -alpha background \( +clone -alpha off +dither -colors 16 \) +swap \
        -compose copy-opacity -composite -define png:exclude-chunks=date,time PNG32:"$out"
    else
      "$CONVERT" "$tmp/$design.png" -quality 95 -define png:exclude-chunks=date,time PNG32:"$out"
    fi
    case $size in
      p*) args="$args -r $out" ;;
      *) args="$args -b $depth $out" ;;
    esac
  done
  # shellcheck disable=SC2086
  "$ICOTOOL" -c -o "$name.ico" $args
}

icon pc pc 4 16 20 24 28 32
icon crystal crystal 4 16 20 24 28 32
icon dcf dcf 4 16 20 24 28 32
colour='#9a9a9a'
icon state0 state 4 32 40 48 56 64
colour='#f0a000'
icon state1 state 4 32 40 48 56 64
colour='#1fa040'
icon state2 state 4 32 40 48 56 64
icon main main 32 16 20 24 32 48 p256
