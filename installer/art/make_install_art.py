#!/usr/bin/python3
"""Draws the installer's background pictures as JPEG files into one folder.

    make_install_art.py OUTDIR

install_way.jpg, install_set.jpg, install_finish.jpg and the copy page's
thirteen animation frames install_copy_00.jpg .. install_copy_12.jpg (one a
second: a scan sweep around the QB345 and a row of thirteen beads filling up).
Same palette as the program's artwork: navy and graphite, steel blue, amber.
The lower part stays calm: the pages put their buttons and the path there.
"""
import math
import os
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

W, H = 900, 515
NAVY_DARK = (10, 26, 43)
NAVY = (16, 38, 61)
STEEL = (31, 78, 122)
STEEL_LIGHT = (60, 116, 168)
AMBER = (245, 166, 35)
ICE = (220, 231, 242)
GRAPHITE = (42, 49, 58)
FONT_DIR = "/usr/share/fonts/truetype/liberation"


def font(size, bold=True):
    name = "LiberationSans-Bold.ttf" if bold else "LiberationSans-Regular.ttf"
    try:
        return ImageFont.truetype(os.path.join(FONT_DIR, name), size)
    except OSError:
        return ImageFont.load_default()


def backdrop():
    img = Image.new("RGB", (W, H), NAVY_DARK)
    px = img.load()
    for y in range(H):
        for x in range(W):
            t = x / W
            glow = max(0.0, 1.0 - math.hypot(x - W * 0.72, y - H * 0.38) / (W * 0.55))
            r = NAVY_DARK[0] + (NAVY[0] - NAVY_DARK[0]) * t + 30 * glow * glow
            g = NAVY_DARK[1] + (NAVY[1] - NAVY_DARK[1]) * t + 55 * glow * glow
            b = NAVY_DARK[2] + (NAVY[2] - NAVY_DARK[2]) * t + 85 * glow * glow
            px[x, y] = (int(r), int(g), int(b))
    d = ImageDraw.Draw(img)
    # A faint grid, as on a diagnostic screen.
    for x in range(0, W, 36):
        d.line([(x, 0), (x, H - 140)], fill=(20, 44, 68))
    for y in range(0, H - 140, 36):
        d.line([(0, y), (W, y)], fill=(20, 44, 68))
    # The calm lower band for the controls.
    d.rectangle([0, H - 140, W, H], fill=(12, 30, 49))
    d.line([(0, H - 140), (W, H - 140)], fill=STEEL, width=2)
    return img


def device(img, cx, cy, scale=1.0, screen_text="QB345"):
    d = ImageDraw.Draw(img)
    w, h = int(150 * scale), int(230 * scale)
    x0, y0 = cx - w // 2, cy - h // 2
    shadow = Image.new("L", (W, H), 0)
    ImageDraw.Draw(shadow).rounded_rectangle([x0 + 8, y0 + 12, x0 + w + 8, y0 + h + 12], 28, fill=140)
    img.paste((4, 10, 18), (0, 0), shadow.filter(ImageFilter.GaussianBlur(10)))
    d.rounded_rectangle([x0, y0, x0 + w, y0 + h], int(26 * scale), fill=GRAPHITE, outline=STEEL_LIGHT, width=3)
    d.rounded_rectangle([x0 + 14, y0 + 18, x0 + w - 14, y0 + int(h * 0.5)], 8, fill=(14, 60, 96), outline=AMBER, width=2)
    d.text((cx, y0 + int(h * 0.3)), screen_text, font=font(int(22 * scale)), fill=ICE, anchor="mm")
    for row in range(2):
        for col in range(3):
            bx = x0 + 24 + col * (w - 48) // 2
            by = y0 + int(h * 0.62) + row * int(36 * scale)
            d.ellipse([bx - 10, by - 10, bx + 10, by + 10], fill=(70, 80, 92), outline=(120, 134, 150))
    # The cable to the PC.
    d.line([(cx, y0 + h), (cx, y0 + h + 24)], fill=STEEL_LIGHT, width=6)


def title(img, big, small):
    d = ImageDraw.Draw(img)
    d.text((48, 62), "Kelvo", font=font(64), fill=ICE)
    d.rectangle([50, 140, 130, 145], fill=AMBER)
    d.text((50, 166), big, font=font(30), fill=AMBER)
    y = 214
    for line in small:
        d.text((50, y), line, font=font(19, bold=False), fill=ICE)
        y += 28


def save(img, name):
    img.save(os.path.join(OUT, name), "JPEG", quality=94, subsampling=0, optimize=True)


def way():
    img = backdrop()
    title(img, "Setup", ["The desktop companion of your QB345 scan tool:",
                         "firmware updates, trouble codes, reports, manuals.",
                         "Choose how to install it."])
    device(img, 700, 210)
    save(img, "install_way.jpg")


def custom():
    img = backdrop()
    title(img, "Choose a folder", ["Kelvo is installed into ZENDRIX\\Kelvo below it.",
                                   "Type a folder or pick one with >>>."])
    device(img, 700, 210)
    save(img, "install_set.jpg")


def finish():
    img = backdrop()
    title(img, "Almost done", ["Finish creates the shortcuts and the uninstall entry",
                               "and sets up Dozaz."])
    device(img, 700, 210, screen_text="OK")
    save(img, "install_finish.jpg")


def copy_frame(k):
    img = backdrop()
    title(img, "Installing", ["The files are being copied.", "This takes a few seconds."])
    d = ImageDraw.Draw(img)
    cx, cy = 700, 210
    # A sweep around the tool, a twelfth of a turn further each second.
    for ring in (150, 175):
        d.arc([cx - ring, cy - ring, cx + ring, cy + ring], 0, 360, fill=(28, 62, 96), width=2)
    start = -90 + k * (360 / 13)
    for i in range(24):
        a = math.radians(start - i * 2.5)
        r = 162
        x, y = cx + r * math.cos(a), cy + r * math.sin(a)
        fade = 1.0 - i / 24
        col = tuple(int(STEEL[j] + (AMBER[j] - STEEL[j]) * fade) for j in range(3))
        d.ellipse([x - 7 * fade - 2, y - 7 * fade - 2, x + 7 * fade + 2, y + 7 * fade + 2], fill=col)
    device(img, cx, cy, scale=0.9)
    # Thirteen beads, one more lit each second.
    for i in range(13):
        bx = 52 + i * 24
        lit = i <= k
        d.ellipse([bx - 7, 330 - 7, bx + 7, 330 + 7], fill=AMBER if lit else (30, 56, 84))
    save(img, f"install_copy_{k:02d}.jpg")


def main():
    global OUT
    OUT = sys.argv[1]
    os.makedirs(OUT, exist_ok=True)
    way()
    custom()
    finish()
    for k in range(13):
        copy_frame(k)


if __name__ == "__main__":
    main()
