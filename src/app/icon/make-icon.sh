#!/usr/bin/env bash
# Draws Parlet's icon (a ring of modules on a MIDI loop, on a rounded tile) with ImageMagick and
# writes the sizes Windows and the window systems use: parlet-<size>.png for the Qt resource and
# parlet.ico holding all of them for the Windows executable. The outputs are committed; run this
# again after changing the drawing.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Drawn at 1024 px and scaled down, so that every size is anti-aliased alike.
convert -size 1024x1024 gradient:'#2f7fd0-#173f7a' \
  \( -size 1024x1024 xc:none -fill white -draw 'roundrectangle 32,32 991,991 190,190' \) \
  -compose DstIn -composite -compose Over \
  -fill none -stroke white -strokewidth 92 -draw 'circle 512,512 512,222' \
  -stroke '#173f7a' -strokewidth 28 \
  -fill '#ffb838' -draw 'roundrectangle 432,132 592,292 36,36' \
  -fill '#ff6f5e' -draw 'roundrectangle 732,432 892,592 36,36' \
  -fill '#7be07b' -draw 'roundrectangle 432,732 592,892 36,36' \
  -fill '#ffffff' -draw 'roundrectangle 132,432 292,592 36,36' \
  -stroke none -fill white -draw 'circle 512,512 512,442' \
  "$work/parlet-1024.png"

sizes=(16 24 32 48 64 128 256)
for size in "${sizes[@]}"; do
  convert "$work/parlet-1024.png" -filter Lanczos -resize "${size}x${size}" \
    -depth 8 -strip "PNG32:parlet-$size.png"
done
# Windows keeps the 256 px image PNG-compressed inside the .ico; the small ones as bitmaps.
convert $(printf 'parlet-%s.png ' "${sizes[@]}") parlet.ico
