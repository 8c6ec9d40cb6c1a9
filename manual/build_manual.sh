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
case $out in /*) ;; *) out=$(pwd)/$out ;; esac
case $src in /*) ;; *) src=$(pwd)/$src ;; esac
case $art in /*) ;; *) art=$(pwd)/$art ;; esac
# Reproducible: files are named relative to the work folder (their names end up
# in the PostScript and the PDF's identifier) and every date is the commit's
# (SOURCE_DATE_EPOCH, set by the build).
cd "$work"
# grops embeds EPS as text: uncompressed level-2 EPS on white.
convert -background white "$art/gallery_159_QB345.png" -flatten -compress none eps2:cover.eps
"$py" - "$art" tabs.png <<'PY'
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
convert tabs.png -compress none eps2:tabs.eps
groff -ms -t -Tps -dpaper=a4 -P-pa4 -dcover=cover.eps -dtabs=tabs.eps "$src" > manual.ps 2> groff.log
if [ -s groff.log ]; then cat groff.log >&2; fi
ps2pdf -sPAPERSIZE=a4 manual.ps manual.pdf
mv manual.pdf "$out"
rm -f page-*.png
pdftoppm -r 60 -png "$out" page
