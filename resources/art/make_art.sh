#!/usr/bin/env bash
# Draws the loader's pictures with ImageMagick. The results are committed, so
# a build never needs this script; run it again only to change the art.
set -euo pipefail
cd "$(dirname "$0")"

# Program icon: a chip with a downward arrow (firmware going in), 32 and 16 px.
for s in 32 16; do
  convert -size ${s}x${s} xc:none \
    -fill '#1f4e79' -draw "roundrectangle $((s/8)),$((s/8)) $((s-1-s/8)),$((s-1-s/8)) $((s/8)),$((s/8))" \
    -fill '#f2c14e' -draw "polygon $((s/2)),$((s*13/16)) $((s*5/16)),$((s/2)) $((s*7/16)),$((s/2)) $((s*7/16)),$((s*3/16)) $((s*9/16)),$((s*3/16)) $((s*9/16)),$((s/2)) $((s*11/16)),$((s/2))" \
    PNG32:icon$s.png
done
convert icon32.png icon16.png tamrin.ico
rm -f icon32.png icon16.png

# MDI client background: the product word on a quiet gradient, 209 x 98.
convert -size 209x98 gradient:'#d7e3ef'-'#9fb6cc' \
  -font DejaVu-Sans-Bold -pointsize 34 -fill '#1f4e79' -gravity center -annotate +0-8 'Tamrin' \
  -font DejaVu-Sans -pointsize 11 -fill '#2b2b2b' -annotate +0+24 'KALUNA firmware loader' \
  -type TrueColor BMP3:background.bmp

# About box picture, 140 x 66, 16 colours.
convert -size 140x66 gradient:'#1f4e79'-'#0f2a44' \
  -font DejaVu-Sans-Bold -pointsize 24 -fill '#f2c14e' -gravity center -annotate +0-8 'Tamrin' \
  -font DejaVu-Sans -pointsize 10 -fill white -annotate +0+18 'for KALUNA instruments' \
  -dither None -colors 16 -type Palette BMP3:about.bmp

# Launcher icon: a flash on an orange disc, 32 and 16 px.
for s in 32 16; do
  convert -size ${s}x${s} xc:none \
    -fill '#d9541e' -draw "circle $((s/2)),$((s/2)) $((s/2)),1" \
    -fill white -draw "polygon $((s*9/16)),$((s*3/16)) $((s*5/16)),$((s*9/16)) $((s/2)),$((s*9/16)) $((s*7/16)),$((s*13/16)) $((s*11/16)),$((s*7/16)) $((s/2)),$((s*7/16))" \
    PNG32:icon$s.png
done
convert icon32.png icon16.png ignis.ico
rm -f icon32.png icon16.png
