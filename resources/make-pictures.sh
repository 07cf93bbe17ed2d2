#!/bin/sh
# Draws the About page's background with ImageMagick into
# resources/pictures/about.bmp, 8 bits per pixel with a palette of its own
# colours, run-length compressed. Run once after changing the picture; the
# bitmap is kept in the tree.
# A quiet picture: a pale blue-grey gradient, faint radio waves rising from
# the lower right corner and a faint clock face in the upper right, all so
# light that the page's texts stay legible over any part of it.
set -eu
cd "$(dirname "$0")/pictures"
CONVERT=${CONVERT:-convert}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The page's client area in design pixels; the lines are drawn at twice the
# size and scaled down, so that they come out smooth.
width=412
height=300
W=$((width * 2))
H=$((height * 2))

# The ground: lighter to the right and to the top. Its colours lie on one line from the
# lightest, #fdfeff, to the darkest, #d5e2f0, in 40 steps (one step of red each), so that a
# row changes colour only where the shade does, which keeps the compressed bitmap small.
"$CONVERT" -size "${width}x${height}" xc: \
  -fx "round(253 - (253 - 25 * (1 - i / (w - 1))) * (1 - 17 / 255 * j / (h - 1))) / 40" \
  "$tmp/shade.png"
"$CONVERT" -size 1x41 gradient:'#fdfeff-#d5e2f0' -rotate -90 "$tmp/ramp.png"
"$CONVERT" "$tmp/shade.png" "$tmp/ramp.png" -interpolate integer -clut "$tmp/ground.png"

# Radio waves: circles around a point beyond the lower right corner, of
# which only their upper left quarters fall on the picture.
cx=$((W + 40))
cy=$((H + 60))
waves=""
for r in 150 250 350 450 550 650; do
  waves="$waves -draw \"circle $cx,$cy $((cx - r)),$cy\""
done
eval "\"$CONVERT\" -size ${W}x${H} xc:none -fill none -stroke '#b9cde3' -strokewidth 10 $waves \
  -blur 0x3 -channel A -evaluate multiply 0.4 +channel \"$tmp/waves.png\""

# A clock face with its hands at ten past ten.
kx=700
ky=120
"$CONVERT" -size "${W}x${H}" xc:none -fill none -stroke '#c3d4e7' -strokewidth 6 \
  -draw "circle $kx,$ky $kx,$((ky - 86))" \
  -strokewidth 10 -draw "line $kx,$ky $((kx - 40)),$((ky - 28))" \
  -strokewidth 7 -draw "line $kx,$ky $((kx + 46)),$((ky - 50))" \
  -fill '#c3d4e7' -stroke none -draw "circle $kx,$ky $((kx + 7)),$ky" \
  -stroke '#c3d4e7' -strokewidth 6 \
  -draw "line $kx,$((ky - 86)) $kx,$((ky - 70))" -draw "line $kx,$((ky + 86)) $kx,$((ky + 70))" \
  -draw "line $((kx - 86)),$ky $((kx - 70)),$ky" -draw "line $((kx + 86)),$ky $((kx + 70)),$ky" \
  -blur 0x1 -channel A -evaluate multiply 0.5 +channel "$tmp/clock.png"

"$CONVERT" "$tmp/waves.png" "$tmp/clock.png" -composite -filter Lanczos \
  -resize "${width}x${height}!" "$tmp/lines.png"
"$CONVERT" "$tmp/ground.png" "$tmp/lines.png" -composite -type TrueColor "BMP3:$tmp/about.bmp"

# Stored with a palette of its own colours, and runs of one colour stored once: a sixth of the
# size of a true-colour bitmap, with the very same pixels. That needs 256 colours at most.
colours=$("$CONVERT" "$tmp/about.bmp" -format %k info:)
if [ "$colours" -gt 256 ]; then
  echo "the picture has $colours colours; a palette bitmap holds 256" >&2
  exit 1
fi
"$CONVERT" "$tmp/about.bmp" +dither -colors 256 -compress RLE "BMP3:about.bmp"
