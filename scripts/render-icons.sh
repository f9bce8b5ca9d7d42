#!/usr/bin/env bash
# Renders the PNG sizes of the program's icon from its SVG, for desktops and
# software centres that do not scale SVG icons themselves.  The PNGs are kept
# in the tree, so a build needs no SVG renderer: run this after changing
# data/icons/org.vru.Rastiv.svg and commit the results.
# Needs rsvg-convert (Debian package librsvg2-bin; RASTIV_SETUP_ICONS=1
# scripts/setup.sh installs it).
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
if ! command -v rsvg-convert >/dev/null 2>&1; then
  echo "render-icons: rsvg-convert is missing: RASTIV_SETUP_ICONS=1 scripts/setup.sh installs it" >&2
  exit 1
fi
for size in 48 128 256; do
  rsvg-convert --width "$size" --height "$size" org.vru.Rastiv.svg --output "org.vru.Rastiv-$size.png"
done
