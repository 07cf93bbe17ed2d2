#!/bin/sh
# Draws the About page's background with ImageMagick into
# resources/pictures/about.bmp, 8 bits per pixel with a palette of its own
# colours, run-length compressed (with ImageMagick and Python 3). Run once after
# changing the picture; the bitmap is kept in the tree.
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

# Stored with a palette of its own colours, and runs of one colour stored once: an eighth of
# the size of a true-colour bitmap, with the very same pixels. That needs 256 colours at most.
colours=$("$CONVERT" "$tmp/about.bmp" -format %k info:)
if [ "$colours" -gt 256 ]; then
  echo "the picture has $colours colours; a palette bitmap holds 256" >&2
  exit 1
fi
"$CONVERT" "$tmp/about.bmp" +dither -colors 256 -compress None "BMP3:$tmp/palette.bmp"
# ImageMagick's own run-length coding stores each pixel between runs as a run of one, two bytes
# a pixel; the format's literal runs hold them at one byte each.
python3 - "$tmp/palette.bmp" about.bmp <<'PYTHON'
import struct
import sys

data = open(sys.argv[1], "rb").read()
offset = struct.unpack_from("<I", data, 10)[0]
header_size, width, height, _, bits, compression = struct.unpack_from("<IiiHHI", data, 14)
if bits != 8 or compression != 0 or height < 0:
    sys.exit("expected an uncompressed bottom-up bitmap of 8 bits a pixel")
stride = (width + 3) & ~3
encoded = bytearray()
for r in range(height):
    row = data[offset + r * stride:offset + r * stride + width]
    literal = bytearray()

    def flush():
        global literal
        while literal:
            chunk, literal = literal[:255], literal[255:]
            if len(chunk) < 3:  # a literal run holds three pixels at least
                for index in chunk:
                    encoded.extend((1, index))
            else:
                encoded.extend((0, len(chunk)))
                encoded.extend(chunk)
                if len(chunk) % 2:
                    encoded.append(0)  # literal runs end on a 16-bit boundary

    i = 0
    while i < width:
        j = i
        while j < width and row[j] == row[i] and j - i < 255:
            j += 1
        if j - i >= 3 or (j - i == 2 and not literal):
            flush()
            encoded.extend((j - i, row[i]))
        else:
            literal.extend(row[i:j])
        i = j
    flush()
    encoded.extend((0, 0))  # end of the row
encoded.extend((0, 1))  # end of the bitmap

info = bytearray(data[14:offset])
struct.pack_into("<II", info, 16, 1, len(encoded))  # BI_RLE8 and the size of the bits
with open(sys.argv[2], "wb") as out:
    out.write(struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(encoded), 0, 0, 14 + len(info)))
    out.write(info)
    out.write(encoded)
PYTHON
