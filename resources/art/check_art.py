#!/usr/bin/python3
"""Checks the drawn image resources against what the windows expect of them.

    check_art.py ARTDIR art.rc

Every file that art.rc names must exist, have the size and format that its
resource id needs, and be transparent where it is drawn over other pictures.
Prints one line per fault and exits 1 when there is any.
"""
import hashlib
import os
import re
import struct
import sys

from PIL import Image

# id: (width, height, transparent background)
PNG_SIZES = {135: (512, 512, True), 209: (512, 512, True), 136: (128, 128, True),
             137: (256, 256, True), 138: (256, 256, True), 211: (190, 160, True),
             139: (24, 24, True), 140: (24, 24, True), 201: (184, 26, True), 202: (124, 26, True)}
for _id in range(156, 170):
    PNG_SIZES[_id] = (400, 520, True)
# The pictures drawn at a fixed size, again at 125, 150, 200 and 250 %
# (id + 1000 times the scale's index); the banner there is an opaque PNG.
SCALED = {133: (1020, 60, False), 211: (190, 160, True), 139: (24, 24, True), 140: (24, 24, True),
          201: (184, 26, True), 202: (124, 26, True)}


def _px(n, pct):
    return (n * pct + 50) // 100


for _i, _pct in enumerate((125, 150, 200, 250), 1):
    for _id, (_w, _h, _t) in SCALED.items():
        # a strip's width is four frames, each of them scaled
        _sw = 4 * _px(_w // 4, _pct) if _id in (201, 202) else _px(_w, _pct)
        PNG_SIZES[_id + 1000 * _i] = (_sw, _px(_h, _pct), _t)
    if _pct >= 150:
        PNG_SIZES[136 + 1000 * _i] = (_pct, _pct, True)

faults = []


def fault(msg):
    faults.append(msg)
    print("FAULT:", msg)


def parse_rc(path):
    entries = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = re.match(r'\s*(\d+)\s+(PNG|BITMAP|ICON|CURSOR)\s+"([^"]+)"', line)
            if m:
                rid = int(m.group(1))
                if rid in entries:
                    fault(f"resource id {rid} listed twice")
                entries[rid] = (m.group(2), m.group(3))
    return entries


def icon_directory(data, kind_expected):
    if len(data) < 6:
        return None
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != kind_expected or len(data) < 6 + 16 * count:
        return None
    out = []
    for i in range(count):
        w, h, _, _, a, b, size, off = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        if off + size > len(data):
            return None
        out.append((w or 256, h or 256, a, b, data[off:off + size]))
    return out


def check_png(rid, path):
    w, h, transparent = PNG_SIZES[rid]
    img = Image.open(path)
    if img.format != "PNG":
        fault(f"{rid}: {path} is not a PNG")
        return None
    if img.size != (w, h):
        fault(f"{rid}: size {img.size}, expected {(w, h)}")
    img = img.convert("RGBA")
    if transparent:
        corners = [img.getpixel(p)[3] for p in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1))]
        if max(corners) > 16:
            fault(f"{rid}: corners not transparent ({corners})")
    if img.getbbox() is None:
        fault(f"{rid}: picture is empty")
    return img


def check_strip(rid, img, frames):
    fw = img.size[0] // frames
    if fw * frames != img.size[0]:
        fault(f"{rid}: width {img.size[0]} is not {frames} frames")
        return
    parts = [img.crop((i * fw, 0, (i + 1) * fw, img.size[1])).tobytes() for i in range(frames)]
    if len(set(parts)) != frames:
        fault(f"{rid}: the {frames} button states are not all different")
    for i, p in enumerate(parts):
        if not any(p[3::4]):
            fault(f"{rid}: frame {i} is empty")


def main():
    if len(sys.argv) != 3:
        print("usage: check_art.py ARTDIR art.rc", file=sys.stderr)
        return 2
    art, rc = sys.argv[1], sys.argv[2]
    entries = parse_rc(rc)
    wanted = set(PNG_SIZES) | {128, 133, 148, 149}
    for rid in sorted(wanted - set(entries)):
        fault(f"resource id {rid} missing from art.rc")
    gallery_hashes = {}
    for rid, (kind, name) in sorted(entries.items()):
        path = os.path.join(art, name)
        if not os.path.isfile(path):
            fault(f"{rid}: {path} not drawn")
            continue
        if kind == "PNG":
            if rid not in PNG_SIZES:
                fault(f"{rid}: unexpected PNG id")
                continue
            img = check_png(rid, path)
            if img is None:
                continue
            if rid % 1000 in (201, 202):
                check_strip(rid, img, 4)
            if rid % 1000 == 211:
                cx, cy = img.size[0] // 2, img.size[1] // 2
                k = img.size[0] / 190
                centre = img.crop((cx - int(60 * k), cy - int(50 * k), cx + int(60 * k), cy + int(50 * k)))
                if max(centre.getchannel("A").getdata()) > 0:
                    fault("211: the frame covers the tab picture (centre not transparent)")
            if 156 <= rid <= 169:
                gallery_hashes.setdefault(hashlib.sha1(img.tobytes()).hexdigest(), []).append(rid)
        elif kind == "BITMAP":
            with open(path, "rb") as f:
                head = f.read(54)
            if head[:2] != b"BM" or len(head) < 54:
                fault(f"{rid}: {path} is not a BMP")
                continue
            w, h, planes, bpp, comp = struct.unpack_from("<iiHHI", head, 18)
            if (w, abs(h), bpp, comp) != (1020, 60, 24, 0):
                fault(f"{rid}: banner is {w}x{h} {bpp}-bit (compression {comp}), expected 1020x60 24-bit")
            img = Image.open(path).convert("RGB")
            # the title is painted in white at the top of the right end
            title = img.crop((700, 0, 940, 20))
            if max(sum(p) / 3 for p in title.getdata()) > 110:
                fault(f"{rid}: the title area of the banner is too light for white text")
        elif kind == "ICON":
            with open(path, "rb") as f:
                d = icon_directory(f.read(), 1)
            if d is None:
                fault(f"{rid}: {path} is not a valid icon file")
                continue
            sizes = sorted(e[0] for e in d)
            if sizes != [16, 32, 48, 256]:
                fault(f"{rid}: icon sizes {sizes}, expected 16, 32, 48, 256")
        elif kind == "CURSOR":
            with open(path, "rb") as f:
                d = icon_directory(f.read(), 2)
            if d is None or len(d) != 1:
                fault(f"{rid}: {path} is not a one-image cursor file")
                continue
            w, h, hx, hy, payload = d[0]
            if (w, h) != (32, 32):
                fault(f"{rid}: cursor is {w}x{h}")
            if not (0 <= hx < w and 0 <= hy < h):
                fault(f"{rid}: hotspot {(hx, hy)} outside the cursor")
            # hotspot at the arrow's tip: the left arrow's on the left, the right arrow's on the right
            if rid == 148 and hx >= w // 2 or rid == 149 and hx < w // 2:
                fault(f"{rid}: hotspot {(hx, hy)} is not at the tip of the arrow")
            hdr = struct.unpack_from("<IiiHH", payload, 0)
            if hdr[0] != 40 or hdr[1] != w or hdr[2] != 2 * h or hdr[4] != 32:
                fault(f"{rid}: cursor image header {hdr} is not a 32-bit DIB of {w}x{h}")
    for rids in gallery_hashes.values():
        if len(rids) > 1:
            fault(f"gallery pictures {rids} are identical")
    if faults:
        print(f"{len(faults)} fault(s)")
        return 1
    print(f"{len(entries)} image resources checked")
    return 0


if __name__ == "__main__":
    sys.exit(main())
