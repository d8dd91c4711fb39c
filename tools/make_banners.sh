#!/bin/sh
# Draws the two banner pictures of the wizard window and writes them into res/:
#   res/side_banner.jpg    164 x 314, progressive JPEG (welcome page, left side)
#   res/header_banner.jpg  495 x 57,  baseline JPEG    (every later page, top)
# Both are our own drawings: a gradient, a few translucent shapes and the product words.
#
# Reproducible: no input file but the DejaVu fonts, no time stamp or profile in the output
# (-strip), fixed quality and chroma subsampling. Made with ImageMagick 6.9.11-60 Q16 and
# fonts-dejavu-core; rerun from the repository root with
#     sh tools/make_banners.sh
# and check the result with
#     identify -verbose res/side_banner.jpg | grep -E 'Geometry|Colorspace|Interlace|Type'
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/res"
mkdir -p "$out"

bold=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
regular=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
for f in "$bold" "$regular"; do
    [ -r "$f" ] || { echo "make_banners: missing font $f (fonts-dejavu-core)" >&2; exit 1; }
done

# Shared JPEG settings: 4:2:0 subsampling, 8-bit sRGB, nothing but the picture in the file.
jpeg_opts="-strip -colorspace sRGB -type TrueColor -sampling-factor 2x2,1x1,1x1 -quality 90"

# Side banner: night blue to teal from top to bottom, three translucent rings, a diagonal
# light band, the product name near the top and a small plug-like mark near the bottom.
convert -size 164x314 gradient:'#0b2350-#1b8c9a' \
    \( -size 164x314 xc:none -fill 'rgba(255,255,255,0.10)' \
       -draw 'circle 140,40 140,110' \
       -fill 'rgba(255,255,255,0.08)' -draw 'circle 20,230 20,300' \
       -fill none -stroke 'rgba(255,255,255,0.35)' -strokewidth 3 \
       -draw 'circle 82,175 82,225' \
       -stroke 'rgba(255,210,90,0.80)' -strokewidth 2 -draw 'circle 82,175 82,205' \) \
    -compose over -composite \
    \( -size 164x314 xc:none -stroke none -fill 'rgba(255,255,255,0.12)' \
       -draw 'polygon 0,150 164,70 164,100 0,180' \) \
    -compose over -composite \
    -fill '#ffd25a' -stroke none -draw 'roundrectangle 70,163 94,187 5,5' \
    -fill '#0b2350' -draw 'rectangle 76,157 79,166' -draw 'rectangle 85,157 88,166' \
    -font "$bold" -pointsize 22 -fill white -annotate +14+52 'Quorvane' \
    -font "$regular" -pointsize 15 -fill '#ffd25a' -annotate +15+74 'Plugins Pack' \
    -fill 'rgba(255,255,255,0.85)' -draw 'rectangle 15,84 120,86' \
    -font "$regular" -pointsize 11 -fill 'rgba(255,255,255,0.80)' -annotate +15+296 'Release 1.5' \
    $jpeg_opts -interlace Plane "$out/side_banner.jpg"

# Header banner: white to light blue from left to right, a band of blue dots rising to the
# right, the product words on the right and a thin accent line along the bottom.
convert -size 57x495 gradient:'#ffffff-#cfe3f5' -rotate -90 \
    \( -size 495x57 xc:none -stroke none -fill 'rgba(27,140,154,0.55)' \
       -draw 'circle 20,40 26,40' -draw 'circle 44,34 52,34' -draw 'circle 72,28 82,28' \
       -draw 'circle 106,22 118,22' \
       -fill 'rgba(11,35,80,0.18)' -draw 'polygon 150,57 260,0 300,0 190,57' \) \
    -compose over -composite \
    -font "$bold" -pointsize 24 -fill '#0b2350' -annotate +300+34 'Quorvane' \
    -font "$regular" -pointsize 13 -fill '#1b8c9a' -annotate +304+50 'Plugins Pack' \
    -fill '#ffb000' -draw 'rectangle 0,54 494,56' \
    $jpeg_opts -interlace None "$out/header_banner.jpg"

identify "$out/side_banner.jpg" "$out/header_banner.jpg"
