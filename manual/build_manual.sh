#!/bin/sh
# Builds the user manual PDF from qb345_manual.ms, with the QB345 picture and
# the tab pictures drawn by the artwork script, and renders its pages to PNG
# for review.
#   build_manual.sh SOURCE.ms ARTDIR WORKDIR OUTPUT.pdf
set -eu
src=$1 art=$2 work=$3 out=$4
py=/usr/bin/python3
[ -x "$py" ] || py=python3
mkdir -p "$work" "$(dirname "$out")"
# grops embeds EPS as text: uncompressed level-2 EPS on white.
convert -background white "$art/gallery_159_QB345.png" -flatten -compress none eps2:"$work/cover.eps"
"$py" - "$art" "$work/tabs.png" <<'PY'
import sys
from PIL import Image
art, dst = sys.argv[1], sys.argv[2]
names = ["tab_update", "tab_report", "tab_dtc", "tab_manual", "tab_settings"]
sheet = Image.new("RGB", (150 * len(names), 120), "white")
for i, n in enumerate(names):
    im = Image.open(f"{art}/{n}.png").convert("RGBA").resize((100, 100), Image.LANCZOS)
    sheet.paste(im, (i * 150 + 25, 10), im)
sheet.save(dst)
PY
convert "$work/tabs.png" -compress none eps2:"$work/tabs.eps"
groff -ms -t -Tps -dpaper=a4 -P-pa4 -dcover="$work/cover.eps" -dtabs="$work/tabs.eps" "$src" > "$work/manual.ps" 2> "$work/groff.log"
if [ -s "$work/groff.log" ]; then cat "$work/groff.log" >&2; fi
ps2pdf -sPAPERSIZE=a4 "$work/manual.ps" "$work/manual.pdf"
mv "$work/manual.pdf" "$out"
rm -f "$work"/page-*.png
pdftoppm -r 60 -png "$out" "$work/page"
