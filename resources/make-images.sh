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

# The Windows executable's icon, in the sizes Windows shows (16 to 48 for lists, menus and
# the task bar, 256 for large icon views; ImageMagick stores that one as PNG), each
# rendered from the SVG rather than scaled from another size.
icon_sizes="16 24 32 48 256"
for size in $icon_sizes; do
    rsvg-convert --width "$size" --height "$size" --format png --output "icon-$size.png" svg/lanScout.svg
done
convert $(for size in $icon_sizes; do echo "icon-$size.png"; done) lanScout.ico
for size in $icon_sizes; do rm "icon-$size.png"; done
