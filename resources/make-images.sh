#!/bin/sh
# Regenerates the PNG images and the Windows icon from the SVG sources in svg/.
# Needs rsvg-convert (librsvg2-bin), python3 and ImageMagick's convert (imagemagick). The results are
# committed, so a normal build needs neither.
set -eu
cd "$(dirname "$0")"

render() { # name width height
    rsvg-convert --width "$2" --height "$3" --format png --output "$1.png" "svg/$1.svg"
}

render logo 800 267
render ru 225 225
render English 225 225
render Chinese 225 225
render min 44 44
render close 44 44
render lanScout 64 64

# The window decodes these on every start: rewrite them to decode fast (pixels unchanged).
python3 ./repack-png.py logo.png ru.png English.png Chinese.png min.png close.png lanScout.png

# The Windows executable's icon: the 64 x 64 image only.
convert lanScout.png lanScout.ico
