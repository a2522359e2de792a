#!/usr/bin/env bash
# Renders the application icon's PNG sizes from its SVG. The PNGs are committed, so only
# whoever changes the SVG needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
icons="$root/data/icons/hicolor"
svg="$icons/scalable/apps/vellomar.svg"
command -v rsvg-convert >/dev/null || { echo "rsvg-convert is missing: apt-get install librsvg2-bin" >&2; exit 1; }
for size in 16 24 32 48 64 128 256; do
    mkdir -p "$icons/${size}x${size}/apps"
    rsvg-convert --width "$size" --height "$size" "$svg" -o "$icons/${size}x${size}/apps/vellomar.png"
done
echo "Rendered $(ls "$icons"/*/apps/vellomar.png | wc -l) PNGs into $icons"
