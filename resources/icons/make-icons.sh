#!/bin/sh
# Renders the application icon for the desktop's icon theme (hicolor) from svg/lanScout.svg:
# one PNG for each size the menus, docks and software centres ask for, each drawn from the
# SVG at that size rather than scaled from another. Needs rsvg-convert (librsvg2-bin). The
# results are committed, so a build or a package needs no SVG renderer.
set -eu
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --format png --output "lanScout-$size.png" ../svg/lanScout.svg
done
