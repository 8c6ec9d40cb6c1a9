#!/usr/bin/python3
"""Draws every image resource of Kelvo.exe into one folder.

    make_art.py OUTDIR

Each picture is written as SVG, rendered with rsvg-convert (supersampled where
the target is small) and finished with Pillow: the banner as a 24-bit BMP, the
button strips by joining their frames, the icon and the two cursors in their
own file formats. A contact sheet of everything is written beside them.

One palette for the whole product: deep navy and graphite surfaces, a steel
blue for depth, one amber accent.
"""
import io
import math
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw, ImageFont

NAVY_DARK = "#0A1A2B"
NAVY = "#10263D"
STEEL = "#1F4E7A"
STEEL_LIGHT = "#3C74A8"
GRAPHITE = "#2A313A"
AMBER = "#F5A623"
AMBER_DARK = "#C97F0A"
ICE = "#DCE7F2"
FONT = "Liberation Sans"

OUT = None


def svg_doc(w, h, body, defs="", view=None):
    vb = view or f"0 0 {w} {h}"
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" viewBox="{vb}">'
            f'<defs>{defs}</defs>{body}</svg>')


def render(svg, w, h, scale=1):
    """SVG text to an RGBA image of w x h; scale > 1 renders larger and shrinks."""
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "in.svg")
        dst = os.path.join(tmp, "out.png")
        with open(src, "w", encoding="utf-8") as f:
            f.write(svg)
        subprocess.run(["rsvg-convert", "-w", str(w * scale), "-h", str(h * scale),
                        "-f", "png", "-o", dst, src], check=True)
        img = Image.open(dst).convert("RGBA")
        img.load()
    if scale > 1:
        img = img.resize((w, h), Image.LANCZOS)
    return img


def save_png(img, name):
    img.save(os.path.join(OUT, name), "PNG", optimize=True)


# The windows draw some pictures at a fixed size of 96-DPI pixels; for screens
# of a higher DPI they are drawn again at these scales (percent), each file
# named NAME@SCALE.png. The 100 % files stay as they are.
SCALES = (125, 150, 200, 250)


def px(n, pct):
    """n pixels of the 100 % picture at pct percent, rounded half up."""
    return (n * pct + 50) // 100


def scaled_name(name, pct):
    return name if pct == 100 else f"{os.path.splitext(name)[0]}@{pct}.png"


SHADOW = ('<filter id="sh" x="-20%" y="-20%" width="140%" height="150%">'
          '<feGaussianBlur in="SourceAlpha" stdDeviation="{b}"/>'
          '<feOffset dx="0" dy="{d}" result="o"/>'
          '<feComponentTransfer><feFuncA type="linear" slope="{a}"/></feComponentTransfer>'
          '<feMerge><feMergeNode/><feMergeNode in="SourceGraphic"/></feMerge></filter>')


# ---------------------------------------------------------------- banner

def banner(pct=100):
    w, h = 1020, 60
    defs = (
        '<linearGradient id="bg" x1="0" y1="0" x2="1" y2="0">'
        f'<stop offset="0" stop-color="{NAVY_DARK}"/><stop offset="0.32" stop-color="#143452"/>'
        f'<stop offset="0.7" stop-color="{NAVY}"/><stop offset="1" stop-color="{NAVY_DARK}"/></linearGradient>'
        '<linearGradient id="sheen" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#FFFFFF" stop-opacity="0.10"/>'
        '<stop offset="0.5" stop-color="#FFFFFF" stop-opacity="0.02"/>'
        '<stop offset="1" stop-color="#000000" stop-opacity="0.18"/></linearGradient>'
        '<linearGradient id="accent" x1="0" y1="0" x2="1" y2="0">'
        f'<stop offset="0" stop-color="{AMBER}"/><stop offset="0.45" stop-color="{AMBER}" stop-opacity="0.85"/>'
        f'<stop offset="0.75" stop-color="{AMBER}" stop-opacity="0"/></linearGradient>'
        '<linearGradient id="fade" x1="0" y1="0" x2="1" y2="0">'
        '<stop offset="0" stop-color="#FFFFFF" stop-opacity="0"/>'
        '<stop offset="0.25" stop-color="#FFFFFF" stop-opacity="1"/>'
        '<stop offset="0.7" stop-color="#FFFFFF" stop-opacity="0.5"/>'
        '<stop offset="1" stop-color="#FFFFFF" stop-opacity="0"/></linearGradient>'
        '<mask id="m"><rect x="330" y="0" width="420" height="60" fill="url(#fade)"/></mask>'
        '<linearGradient id="logo" x1="0" y1="0" x2="0" y2="1">'
        f'<stop offset="0" stop-color="#FFC04D"/><stop offset="1" stop-color="{AMBER_DARK}"/></linearGradient>')
    # A sensor trace running through the middle of the banner, fading out well
    # before the title area at the right end.
    pts = []
    x = 330.0
    while x <= 750:
        t = (x - 330) / 420
        y = 30 + 7 * math.sin(t * 19) * math.exp(-((t - 0.35) ** 2) * 6) + 3 * math.sin(t * 53)
        pts.append(f"{x:.1f},{y:.1f}")
        x += 2.5
    grid = "".join(f'<line x1="{gx}" y1="6" x2="{gx}" y2="54" stroke="#7FA7CF" stroke-opacity="0.10"/>'
                   for gx in range(340, 750, 20))
    grid += "".join(f'<line x1="330" y1="{gy}" x2="750" y2="{gy}" stroke="#7FA7CF" stroke-opacity="0.10"/>'
                    for gy in (10, 20, 30, 40, 50))
    hexagon = " ".join(f"{34 + 19 * math.cos(math.radians(a)):.2f},{30 + 19 * math.sin(math.radians(a)):.2f}"
                       for a in range(-90, 270, 60))
    body = (
        f'<rect width="{w}" height="{h}" fill="url(#bg)"/>'
        f'<g mask="url(#m)">{grid}<polyline points="{" ".join(pts)}" fill="none" stroke="{AMBER}" '
        'stroke-opacity="0.55" stroke-width="1.6" stroke-linejoin="round"/></g>'
        f'<polygon points="{hexagon}" fill="url(#logo)"/>'
        f'<polygon points="{hexagon}" fill="none" stroke="#FFFFFF" stroke-opacity="0.35" stroke-width="1"/>'
        # a stylised Z built from a pulse line
        '<polyline points="24,22 43,22 25,38 44,38" fill="none" stroke="#10263D" stroke-width="4.2" '
        'stroke-linecap="round" stroke-linejoin="round"/>'
        f'<text x="64" y="33" font-family="{FONT}" font-weight="bold" font-size="23" letter-spacing="4.5" '
        'fill="#FFFFFF">ZENDRIX</text>'
        f'<text x="65" y="47" font-family="{FONT}" font-size="8.6" letter-spacing="2.6" fill="#8FB0D0">'
        'DIAGNOSTIC SYSTEMS</text>'
        '<rect x="214" y="14" width="1" height="32" fill="#FFFFFF" fill-opacity="0.25"/>'
        f'<text x="230" y="36" font-family="{FONT}" font-weight="bold" font-size="26" fill="#FFFFFF">Kel'
        f'<tspan fill="{AMBER}">vo</tspan></text>'
        f'<rect width="{w}" height="{h}" fill="url(#sheen)"/>'
        '<rect x="0" y="57" width="1020" height="3" fill="url(#accent)"/>')
    if pct != 100:
        img = render(svg_doc(w, h, body, defs), px(w, pct), px(h, pct), 2).convert("RGB")
        save_png(img, scaled_name("banner.bmp", pct))
        return img
    img = render(svg_doc(w, h, body, defs), w, h, 2).convert("RGB")
    img.save(os.path.join(OUT, "banner.bmp"), "BMP")
    return img


# ---------------------------------------------------------------- tab images

TILE_DEFS = (
    '<linearGradient id="tile" x1="0" y1="0" x2="0" y2="1">'
    f'<stop offset="0" stop-color="{STEEL_LIGHT}"/><stop offset="0.55" stop-color="{STEEL}"/>'
    f'<stop offset="1" stop-color="{NAVY}"/></linearGradient>'
    '<linearGradient id="gloss" x1="0" y1="0" x2="0" y2="1">'
    '<stop offset="0" stop-color="#FFFFFF" stop-opacity="0.28"/>'
    '<stop offset="1" stop-color="#FFFFFF" stop-opacity="0"/></linearGradient>'
    '<linearGradient id="amb" x1="0" y1="0" x2="0" y2="1">'
    f'<stop offset="0" stop-color="#FFC24F"/><stop offset="1" stop-color="{AMBER_DARK}"/></linearGradient>'
    '<linearGradient id="paper" x1="0" y1="0" x2="0" y2="1">'
    '<stop offset="0" stop-color="#FFFFFF"/><stop offset="1" stop-color="#DCE6F0"/></linearGradient>'
    + SHADOW.format(b=2.2, d=2.2, a=0.45)
    + '<filter id="gs" x="-20%" y="-20%" width="140%" height="140%">'
      '<feGaussianBlur in="SourceAlpha" stdDeviation="1.1"/><feOffset dy="1.2"/>'
      '<feComponentTransfer><feFuncA type="linear" slope="0.35"/></feComponentTransfer>'
      '<feMerge><feMergeNode/><feMergeNode in="SourceGraphic"/></feMerge></filter>')


def tile(glyph):
    """A rounded navy tile with a glossy top, the glyph drawn on it with a soft shadow."""
    body = ('<g filter="url(#sh)"><rect x="7" y="6" width="86" height="86" rx="20" fill="url(#tile)"/></g>'
            '<rect x="7" y="6" width="86" height="86" rx="20" fill="none" stroke="#FFFFFF" '
            'stroke-opacity="0.18" stroke-width="0.8"/>'
            '<path d="M27,6 H73 A20,20 0 0 1 93,26 V40 C70,46 30,46 7,40 V26 A20,20 0 0 1 27,6 Z" '
            'fill="url(#gloss)"/>'
            f'<g filter="url(#gs)">{glyph}</g>')
    return svg_doc(100, 100, body, TILE_DEFS, "0 0 100 100")


def glyph_update():
    pins = ""
    for i in range(4):
        p = 37 + i * 8.5
        pins += (f'<rect x="{p - 1.6}" y="24" width="3.2" height="7" rx="1" fill="#FFFFFF"/>'
                 f'<rect x="{p - 1.6}" y="71" width="3.2" height="7" rx="1" fill="#FFFFFF"/>'
                 f'<rect x="22" y="{p - 1.6}" width="7" height="3.2" rx="1" fill="#FFFFFF"/>'
                 f'<rect x="71" y="{p - 1.6}" width="7" height="3.2" rx="1" fill="#FFFFFF"/>')
    return (pins
            + '<rect x="29" y="31" width="42" height="40" rx="5" fill="#E9F0F7"/>'
            '<rect x="36" y="38" width="28" height="26" rx="3" fill="#17385A"/>'
            '<circle cx="33" cy="35" r="1.6" fill="#17385A"/>'
            '<path d="M50,42 L58,51 H53.2 V59 H46.8 V51 H42 Z" fill="url(#amb)"/>')


def glyph_print():
    lines = "".join(f'<rect x="38" y="{y}" width="{wd}" height="2.4" rx="1.2" fill="#7A93AD"/>'
                    for y, wd in ((66, 24), (71, 18), (76, 22)))
    return ('<rect x="33" y="19" width="34" height="24" rx="2" fill="url(#paper)"/>'
            '<rect x="38" y="25" width="20" height="2.4" rx="1.2" fill="#9BB0C6"/>'
            '<rect x="38" y="30" width="14" height="2.4" rx="1.2" fill="#9BB0C6"/>'
            '<rect x="20" y="38" width="60" height="28" rx="6" fill="#E9F0F7"/>'
            '<rect x="20" y="38" width="60" height="7" rx="3" fill="#FFFFFF"/>'
            '<rect x="28" y="56" width="44" height="4" rx="2" fill="#17385A"/>'
            f'<circle cx="71" cy="47" r="2.6" fill="{AMBER}"/>'
            '<path d="M32,58 H68 V82 H32 Z" fill="url(#paper)"/>' + lines)


def glyph_dtc():
    # The engine outline of the warning lamp, in amber, with a magnifier over it.
    engine = ("M27,45 H33 V40 H41 V36 H37 V32 H55 V36 H51 V40 H60 L65,45 H69 V41 H74 V63 H69 V59 "
              "H65 V66 L60,70 H39 L35,65 H31 V59 H27 V65 H22 V45 Z")
    return (f'<path d="{engine}" fill="url(#amb)" stroke="#FFE1A6" stroke-width="0.8" stroke-linejoin="round"/>'
            '<g>'
            '<circle cx="60" cy="60" r="13" fill="#FFFFFF" fill-opacity="0.25" stroke="#FFFFFF" stroke-width="4.5"/>'
            '<path d="M69.5,69.5 L80,80" stroke="#FFFFFF" stroke-width="7" stroke-linecap="round"/>'
            '<path d="M53,54 A9,9 0 0 1 60,51" fill="none" stroke="#FFFFFF" stroke-width="2" '
            'stroke-linecap="round" stroke-opacity="0.9"/></g>')


def glyph_manual():
    lines = ""
    for i in range(4):
        y = 38 + i * 7
        lines += (f'<path d="M26,{y} Q36,{y - 2.5} 45,{y}" fill="none" stroke="#8CA4BD" stroke-width="2" stroke-linecap="round"/>'
                  f'<path d="M55,{y} Q64,{y - 2.5} 74,{y}" fill="none" stroke="#8CA4BD" stroke-width="2" stroke-linecap="round"/>')
    return ('<path d="M16,30 Q33,22 50,31 Q67,22 84,30 V76 Q67,68 50,77 Q33,68 16,76 Z" fill="#0C2036" fill-opacity="0.5"/>'
            '<path d="M19,27 Q34,20 49,28 V73 Q34,66 19,72 Z" fill="url(#paper)"/>'
            '<path d="M81,27 Q66,20 51,28 V73 Q66,66 81,72 Z" fill="url(#paper)"/>'
            '<path d="M49,28 V73 M51,28 V73" stroke="#B9C9DA" stroke-width="1"/>'
            + lines
            + '<path d="M63,22 V44 L67.5,40 L72,44 V21.5 Q67.5,21 63,22 Z" fill="url(#amb)"/>')


def gear_path(cx, cy, r_out, r_in, teeth, tooth_frac=0.5):
    pts = []
    step = 2 * math.pi / teeth
    for i in range(teeth):
        a0 = i * step
        half = step * tooth_frac / 2
        for a, r in ((a0 - half * 1.25, r_in), (a0 - half * 0.8, r_out), (a0 + half * 0.8, r_out),
                     (a0 + half * 1.25, r_in)):
            pts.append(f"{cx + r * math.cos(a):.2f},{cy + r * math.sin(a):.2f}")
    return "M" + " L".join(pts) + " Z"


def glyph_settings():
    big = gear_path(46, 52, 29, 23, 9)
    small = gear_path(72, 29, 13, 10, 7)
    return (f'<path d="{small}" fill="url(#amb)" stroke-linejoin="round"/>'
            '<circle cx="72" cy="29" r="4.2" fill="#1B4670"/>'
            f'<path d="{big}" fill="#EEF3F8" stroke-linejoin="round"/>'
            '<circle cx="46" cy="52" r="15" fill="none" stroke="#C9D7E5" stroke-width="2"/>'
            '<circle cx="46" cy="52" r="8.5" fill="#1B4670"/>')


def scaled_art():
    """The fixed-size pictures at every larger scale; the trouble-code tab
    (128 pixels at 100 %) too where it is drawn larger than that."""
    for pct in SCALES:
        banner(pct)
        frame(pct)
        plug_icon(True, pct)
        plug_icon(False, pct)
        button_strip("close", pct)
        button_strip("minimize", pct)
        side = px(100, pct)
        if side > 128:
            save_png(render(tile(glyph_dtc()), side, side, 2), scaled_name("tab_dtc.png", pct))


def tabs():
    made = {}
    for name, glyph, size in (("tab_update.png", glyph_update, 512), ("tab_report.png", glyph_print, 512),
                              ("tab_dtc.png", glyph_dtc, 128), ("tab_manual.png", glyph_manual, 256),
                              ("tab_settings.png", glyph_settings, 256)):
        img = render(tile(glyph()), size, size, 2 if size < 256 else 1)
        save_png(img, name)
        made[name] = img
    return made


# ---------------------------------------------------------------- current-tab frame

def frame(pct=100):
    w, h = 190, 160
    defs = ('<filter id="glow" x="-10%" y="-10%" width="120%" height="120%">'
            '<feGaussianBlur stdDeviation="3"/></filter>'
            '<linearGradient id="edge" x1="0" y1="0" x2="0" y2="1">'
            f'<stop offset="0" stop-color="{STEEL_LIGHT}"/><stop offset="1" stop-color="{STEEL}"/></linearGradient>')
    body = (f'<rect x="6" y="6" width="178" height="148" rx="16" fill="none" stroke="{STEEL_LIGHT}" '
            'stroke-opacity="0.55" stroke-width="6" filter="url(#glow)"/>'
            '<rect x="6" y="6" width="178" height="148" rx="16" fill="none" stroke="url(#edge)" stroke-width="2.2"/>'
            '<rect x="8.5" y="8.5" width="173" height="143" rx="14" fill="none" stroke="#FFFFFF" '
            'stroke-opacity="0.7" stroke-width="1"/>'
            f'<rect x="60" y="150" width="70" height="4" rx="2" fill="{AMBER}"/>')
    img = render(svg_doc(w, h, body, defs), px(w, pct), px(h, pct), 2)
    save_png(img, scaled_name("tab_frame.png", pct))
    return img


# ---------------------------------------------------------------- device status icons

def plug_icon(connected, pct=100):
    body_col = "#2DB35A" if connected else "#9AA3AD"
    dark = "#1C7F3D" if connected else "#6E7780"
    defs = ('<linearGradient id="b" x1="0" y1="0" x2="0" y2="1">'
            f'<stop offset="0" stop-color="{"#4FD37A" if connected else "#C3CAD1"}"/>'
            f'<stop offset="1" stop-color="{body_col}"/></linearGradient>')
    if connected:
        # plug and socket joined, cable leaving at the bottom
        body = ('<circle cx="12" cy="12" r="11.2" fill="url(#b)" stroke="#17733A" stroke-width="0.8"/>'
                '<rect x="8.4" y="5" width="1.8" height="4" rx="0.6" fill="#FFFFFF"/>'
                '<rect x="13.8" y="5" width="1.8" height="4" rx="0.6" fill="#FFFFFF"/>'
                '<path d="M6.5,9 H17.5 V12 A5.5,5.5 0 0 1 6.5,12 Z" fill="#FFFFFF"/>'
                '<rect x="10.8" y="16" width="2.4" height="4" fill="#FFFFFF"/>')
    else:
        # the same plug on grey, struck through: no scan tool on USB
        body = ('<circle cx="12" cy="12" r="11.2" fill="url(#b)" stroke="#7C858E" stroke-width="0.8"/>'
                '<rect x="8.4" y="5" width="1.8" height="4" rx="0.6" fill="#FFFFFF"/>'
                '<rect x="13.8" y="5" width="1.8" height="4" rx="0.6" fill="#FFFFFF"/>'
                '<path d="M6.5,9 H17.5 V12 A5.5,5.5 0 0 1 6.5,12 Z" fill="#FFFFFF"/>'
                '<rect x="10.8" y="16" width="2.4" height="4" fill="#FFFFFF"/>'
                '<path d="M5.2,5.2 L18.8,18.8" stroke="#A9B1B9" stroke-width="3.6" stroke-linecap="round"/>'
                f'<path d="M5.2,5.2 L18.8,18.8" stroke="{dark}" stroke-width="1.7" stroke-linecap="round"/>')
    img = render(svg_doc(24, 24, body, defs), px(24, pct), px(24, pct), 8)
    save_png(img, scaled_name("device_present.png" if connected else "device_absent.png", pct))
    return img


# ---------------------------------------------------------------- caption buttons

def button_strip(kind, pct=100):
    uw, uh = (46, 26) if kind == "close" else (31, 26)
    fw, fh = px(uw, pct), px(uh, pct)
    frames = []
    for state in range(4):
        bg = ""
        col, op = "#FFFFFF", 1.0
        if kind == "close":
            if state == 1:
                bg = '<rect width="46" height="26" fill="#D83B2B"/>'
            elif state == 2:
                bg = '<rect width="46" height="26" fill="#A62A1E"/>'
            elif state == 3:
                col, op = "#8FA3B8", 0.6
            cx, cy = 23, 13
            glyph = (f'<path d="M{cx - 5},{cy - 5} L{cx + 5},{cy + 5} M{cx + 5},{cy - 5} L{cx - 5},{cy + 5}" '
                     f'stroke="{col}" stroke-opacity="{op}" stroke-width="1.6" stroke-linecap="round"/>')
        else:
            if state == 1:
                bg = '<rect width="31" height="26" fill="#FFFFFF" fill-opacity="0.18"/>'
            elif state == 2:
                bg = '<rect width="31" height="26" fill="#FFFFFF" fill-opacity="0.32"/>'
            elif state == 3:
                col, op = "#8FA3B8", 0.6
            glyph = (f'<path d="M10.5,14.5 H20.5" stroke="{col}" stroke-opacity="{op}" stroke-width="1.6" '
                     'stroke-linecap="round"/>')
        frames.append(render(svg_doc(uw, uh, bg + glyph), fw, fh, 4))
    strip = Image.new("RGBA", (fw * 4, fh), (0, 0, 0, 0))
    for i, f in enumerate(frames):
        strip.paste(f, (i * fw, 0))
    save_png(strip, scaled_name("btn_close.png" if kind == "close" else "btn_minimize.png", pct))
    return strip


# ---------------------------------------------------------------- gallery

# Body shapes of the product families, in the 400 x 520 picture.
def body_outline(shape):
    if shape == "compact":
        return ("M130,70 H270 Q310,70 310,110 V330 Q310,360 292,392 L278,440 Q270,470 240,470 H160 "
                "Q130,470 122,440 L108,392 Q90,360 90,330 V110 Q90,70 130,70 Z")
    if shape == "classic":
        return ("M125,58 H275 Q322,58 322,105 V300 Q322,330 304,350 Q292,364 292,386 V440 Q292,478 254,478 "
                "H146 Q108,478 108,440 V386 Q108,364 96,350 Q78,330 78,300 V105 Q78,58 125,58 Z")
    if shape == "rugged":
        return ("M112,52 H288 Q338,52 338,102 V250 Q352,262 352,290 V388 Q352,414 338,426 V440 Q338,482 296,482 "
                "H104 Q62,482 62,440 V426 Q48,414 48,388 V290 Q48,262 62,250 V102 Q62,52 112,52 Z")
    if shape == "angular":
        return ("M140,56 H260 L318,96 V300 L300,340 V430 L262,476 H138 L100,430 V340 L82,300 V96 Z")
    # tablet
    return "M86,70 H314 Q352,70 352,108 V432 Q352,470 314,470 H86 Q48,470 48,432 V108 Q48,70 86,70 Z"


def face_outline(shape):
    if shape == "compact":
        return "M138,86 H262 Q294,86 294,118 V330 Q294,352 280,380 L266,430 Q260,452 236,452 H164 Q140,452 134,430 L120,380 Q106,352 106,330 V118 Q106,86 138,86 Z"
    if shape == "classic":
        return "M132,76 H268 Q304,76 304,112 V296 Q304,318 290,334 Q274,352 274,380 V436 Q274,460 250,460 H150 Q126,460 126,436 V380 Q126,352 110,334 Q96,318 96,296 V112 Q96,76 132,76 Z"
    if shape == "rugged":
        return "M118,72 H282 Q318,72 318,108 V432 Q318,462 288,462 H112 Q82,462 82,432 V108 Q82,72 118,72 Z"
    if shape == "angular":
        return "M146,74 H254 L300,106 V296 L284,332 V422 L254,458 H146 L116,422 V332 L100,296 V106 Z"
    return "M76,86 H324 Q336,86 336,98 V442 Q336,454 324,454 H76 Q64,454 64,442 V98 Q64,86 76,86 Z"


def screen_rect(shape):
    return {"compact": (128, 118, 144, 112), "classic": (112, 108, 176, 150), "rugged": (102, 104, 196, 158),
            "angular": (120, 112, 160, 150), "tablet": (80, 112, 240, 300)}[shape]


def screen_content(kind, x, y, w, h, model, accent):
    """What the device shows: a code reading, a live-data view or an app grid."""
    s = ""
    if kind == "mono":
        s += (f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="4" fill="url(#lcd)"/>'
              f'<text x="{x + 10}" y="{y + 22}" font-family="{FONT}" font-weight="bold" font-size="13" fill="#16332A">OBD-II</text>'
              f'<text x="{x + w - 10}" y="{y + 22}" font-family="{FONT}" font-size="11" text-anchor="end" fill="#16332A">1/2</text>'
              f'<rect x="{x + 8}" y="{y + 30}" width="{w - 16}" height="1.5" fill="#16332A" fill-opacity="0.6"/>'
              f'<text x="{x + 10}" y="{y + 60}" font-family="DejaVu Sans Mono" font-weight="bold" font-size="24" fill="#16332A">P0135</text>'
              f'<text x="{x + 10}" y="{y + 80}" font-family="{FONT}" font-size="10.5" fill="#16332A">O2 Sensor Heater</text>'
              f'<text x="{x + 10}" y="{y + 94}" font-family="{FONT}" font-size="10.5" fill="#16332A">Circuit (B1 S1)</text>')
        return s
    if kind == "tablet":
        s += f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="6" fill="url(#scr)"/>'
        s += f'<rect x="{x}" y="{y}" width="{w}" height="26" rx="6" fill="#0B1A2A"/><rect x="{x}" y="{y + 16}" width="{w}" height="10" fill="#0B1A2A"/>'
        s += f'<text x="{x + 12}" y="{y + 18}" font-family="{FONT}" font-weight="bold" font-size="11" fill="#FFFFFF">{model}</text>'
        s += f'<text x="{x + w - 12}" y="{y + 18}" font-family="{FONT}" font-size="10" text-anchor="end" fill="#9FB7CF">12:45  ▮▮▮</text>'
        labels = ["Diagnose", "Live Data", "Service", "Battery", "DTC Scan", "I/M Ready", "Reports", "Update", "Settings"]
        icons_col = [accent, "#3FA7F5", "#38C172", "#F26B5B", "#F5A623", "#9B7BEA", "#2EC4B6", "#5B8DEF", "#A0AEC0"]
        cw, ch = (w - 40) / 3, (h - 70) / 3
        for i in range(9):
            cx = x + 14 + (i % 3) * (cw + 6)
            cy = y + 38 + (i // 3) * (ch + 4)
            s += (f'<rect x="{cx:.1f}" y="{cy:.1f}" width="{cw:.1f}" height="{ch - 4:.1f}" rx="9" fill="#FFFFFF" fill-opacity="0.07"/>'
                  f'<rect x="{cx + cw / 2 - 17:.1f}" y="{cy + 12:.1f}" width="34" height="34" rx="9" fill="{icons_col[i]}"/>'
                  f'<rect x="{cx + cw / 2 - 8:.1f}" y="{cy + 21:.1f}" width="16" height="16" rx="3" fill="#FFFFFF" fill-opacity="0.85"/>'
                  f'<text x="{cx + cw / 2:.1f}" y="{cy + 62:.1f}" font-family="{FONT}" font-size="10.5" text-anchor="middle" fill="#DDE7F1">{labels[i]}</text>')
        return s
    # colour live-data view
    s += f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="4" fill="url(#scr)"/>'
    s += f'<rect x="{x}" y="{y}" width="{w}" height="20" rx="4" fill="{accent}"/><rect x="{x}" y="{y + 12}" width="{w}" height="8" fill="{accent}"/>'
    s += f'<text x="{x + 8}" y="{y + 14.5}" font-family="{FONT}" font-weight="bold" font-size="10.5" fill="#0B1A2A">LIVE DATA</text>'
    s += f'<text x="{x + w - 8}" y="{y + 14.5}" font-family="{FONT}" font-size="10" text-anchor="end" fill="#0B1A2A">{model}</text>'
    if kind == "graph":
        gx, gy, gw, gh = x + 8, y + 28, w - 16, h - 64
        s += f'<rect x="{gx}" y="{gy}" width="{gw}" height="{gh}" fill="#081521"/>'
        for i in range(1, 4):
            s += f'<line x1="{gx}" y1="{gy + gh * i / 4:.1f}" x2="{gx + gw}" y2="{gy + gh * i / 4:.1f}" stroke="#24415E" stroke-width="0.8"/>'
        pts = " ".join(f"{gx + gw * t / 60:.1f},{gy + gh * (0.5 - 0.32 * math.sin(t / 5.0) - 0.1 * math.sin(t / 1.7)):.1f}" for t in range(61))
        pts2 = " ".join(f"{gx + gw * t / 60:.1f},{gy + gh * (0.75 - 0.12 * math.cos(t / 7.0)):.1f}" for t in range(61))
        s += f'<polyline points="{pts}" fill="none" stroke="#4FD1FF" stroke-width="1.8"/>'
        s += f'<polyline points="{pts2}" fill="none" stroke="{AMBER}" stroke-width="1.8"/>'
        s += (f'<text x="{x + 8}" y="{y + h - 22}" font-family="{FONT}" font-size="10" fill="#9FB7CF">RPM</text>'
              f'<text x="{x + 40}" y="{y + h - 22}" font-family="{FONT}" font-weight="bold" font-size="11" fill="#4FD1FF">2450</text>'
              f'<text x="{x + w / 2 + 4}" y="{y + h - 22}" font-family="{FONT}" font-size="10" fill="#9FB7CF">ECT</text>'
              f'<text x="{x + w / 2 + 30}" y="{y + h - 22}" font-family="{FONT}" font-weight="bold" font-size="11" fill="{AMBER}">92°C</text>'
              f'<text x="{x + 8}" y="{y + h - 8}" font-family="{FONT}" font-size="10" fill="#9FB7CF">MAF</text>'
              f'<text x="{x + 40}" y="{y + h - 8}" font-family="{FONT}" font-weight="bold" font-size="11" fill="#FFFFFF">4.8 g/s</text>'
              f'<text x="{x + w / 2 + 4}" y="{y + h - 8}" font-family="{FONT}" font-size="10" fill="#9FB7CF">O2</text>'
              f'<text x="{x + w / 2 + 30}" y="{y + h - 8}" font-family="{FONT}" font-weight="bold" font-size="11" fill="#FFFFFF">0.74 V</text>')
        return s
    # gauges + list
    gcx, gcy, r = x + w * 0.3, y + 20 + (h - 20) * 0.42, min(w * 0.22, (h - 20) * 0.32)
    s += f'<path d="M{gcx - r:.1f},{gcy:.1f} A{r:.1f},{r:.1f} 0 0 1 {gcx + r:.1f},{gcy:.1f}" fill="none" stroke="#24415E" stroke-width="7" stroke-linecap="round"/>'
    ex, ey = gcx + r * math.cos(math.radians(-40)), gcy + r * math.sin(math.radians(-40))
    s += f'<path d="M{gcx - r:.1f},{gcy:.1f} A{r:.1f},{r:.1f} 0 0 1 {ex:.1f},{ey:.1f}" fill="none" stroke="{accent}" stroke-width="7" stroke-linecap="round"/>'
    s += f'<text x="{gcx:.1f}" y="{gcy - 2:.1f}" font-family="{FONT}" font-weight="bold" font-size="{r * 0.55:.1f}" text-anchor="middle" fill="#FFFFFF">2450</text>'
    s += f'<text x="{gcx:.1f}" y="{gcy + 11:.1f}" font-family="{FONT}" font-size="8.5" text-anchor="middle" fill="#9FB7CF">RPM</text>'
    lx = x + w * 0.58
    rows = (("Speed", "46 km/h"), ("Coolant", "92 °C"), ("Load", "31 %"), ("Fuel trim", "+2.3 %"))
    for i, (k, v) in enumerate(rows):
        ry = y + 36 + i * ((h - 60) / 4)
        s += (f'<text x="{lx:.1f}" y="{ry:.1f}" font-family="{FONT}" font-size="9" fill="#9FB7CF">{k}</text>'
              f'<text x="{lx:.1f}" y="{ry + 12:.1f}" font-family="{FONT}" font-weight="bold" font-size="11" fill="#FFFFFF">{v}</text>')
    s += (f'<rect x="{x + 8}" y="{y + h - 26}" width="{w - 16}" height="18" rx="3" fill="#FFFFFF" fill-opacity="0.08"/>'
          f'<circle cx="{x + 19}" cy="{y + h - 17}" r="4" fill="#38C172"/>'
          f'<text x="{x + 28}" y="{y + h - 13}" font-family="{FONT}" font-size="9.5" fill="#DDE7F1">No trouble codes stored</text>')
    return s


def keypad(kind, shape, top, accent):
    """Buttons below the screen; top is the y where the keypad area starts."""
    k = ""
    key = 'fill="url(#key)" stroke="#0C0F13" stroke-width="1"'
    if kind == "four":
        labels = ("▲", "▼", "OK", "◀")
        for i, lab in enumerate(labels):
            cx = 146 + i * 36
            fill = f'fill="{accent}"' if lab == "OK" else key
            k += (f'<circle cx="{cx}" cy="{top + 30}" r="14" {fill}/>'
                  f'<text x="{cx}" y="{top + 34.5}" font-family="{FONT}" font-weight="bold" font-size="{11 if lab == "OK" else 12}" '
                  f'text-anchor="middle" fill="{"#10263D" if lab == "OK" else "#C9D3DD"}">{lab}</text>')
        return k
    if kind == "tablet":
        for i, cx in enumerate((160, 200, 240)):
            k += f'<rect x="{cx - 14}" y="{top + 8}" width="28" height="9" rx="4.5" {key}/>'
        k += f'<circle cx="200" cy="{top + 12}" r="2.4" fill="{accent}"/>'
        return k
    cy = top + 52
    # D-pad with OK, two side keys; the full keypad adds a row of function keys
    k += (f'<circle cx="200" cy="{cy}" r="40" {key}/>'
          f'<circle cx="200" cy="{cy}" r="17" fill="{accent}" stroke="#0C0F13" stroke-width="1"/>'
          f'<text x="200" y="{cy + 4.5}" font-family="{FONT}" font-weight="bold" font-size="12" text-anchor="middle" fill="#10263D">OK</text>')
    for ang, sym in ((-90, "▲"), (90, "▼"), (180, "◀"), (0, "▶")):
        tx = 200 + 29 * math.cos(math.radians(ang))
        ty = cy + 29 * math.sin(math.radians(ang)) + 4
        k += f'<text x="{tx:.1f}" y="{ty:.1f}" font-family="{FONT}" font-size="10" text-anchor="middle" fill="#C9D3DD">{sym}</text>'
    side = 64 if shape == "classic" else 72 if shape == "angular" else 88
    for sx, lab in ((200 - side, "ESC"), (200 + side, "HELP")):
        k += (f'<rect x="{sx - 18}" y="{cy - 12}" width="36" height="24" rx="12" {key}/>'
              f'<text x="{sx}" y="{cy + 4}" font-family="{FONT}" font-weight="bold" font-size="9" text-anchor="middle" fill="#C9D3DD">{lab}</text>')
    if kind == "full":
        for i in range(4):
            fx = 106 + i * 48
            k += (f'<rect x="{fx}" y="{cy + 52}" width="42" height="20" rx="6" {key}/>'
                  f'<text x="{fx + 21}" y="{cy + 66}" font-family="{FONT}" font-weight="bold" font-size="9.5" text-anchor="middle" fill="#C9D3DD">F{i + 1}</text>')
    return k


FAMILIES = {
    # model: (shape, screen, keypad, boot colour, boot shade, accent)
    "QB120": ("compact", "mono", "four", "#4A5563", "#2C333C", AMBER),
    "QB230": ("compact", "mono", "four", "#2166B0", "#133F70", AMBER),
    "QB230E": ("compact", "color", "four", "#2166B0", "#133F70", "#4FD1FF"),
    "QB345": ("classic", "color", "dpad", "#F5A623", "#B9760A", AMBER),
    "QB460": ("classic", "color", "dpad", "#C9372C", "#85201A", AMBER),
    "QB475": ("classic", "graph", "dpad", "#3B4450", "#1E242B", "#E5533D"),
    "QB580": ("rugged", "color", "full", "#E8731A", "#A14A08", AMBER),
    "QB625": ("rugged", "graph", "full", "#F2C12E", "#B48910", "#F2C12E"),
    "QB640": ("rugged", "color", "full", "#2364AA", "#143D6A", "#4FD1FF"),
    "QB655": ("rugged", "graph", "full", "#1B3250", "#0C1A2C", AMBER),
    "MZR710": ("angular", "graph", "dpad", "#B3202A", "#6E1016", "#FF5A4F"),
    "LTV720": ("angular", "color", "dpad", "#0F8B8D", "#07585A", "#39D5C8"),
    "QB890": ("tablet", "tablet", "tablet", "#3A424C", "#1D2228", AMBER),
    "QB1010": ("tablet", "tablet", "tablet", "#1E5C9E", "#0F335A", "#4FD1FF"),
}
GALLERY = ["QB120", "QB230", "QB230E", "QB345", "QB460", "QB475", "QB580",
           "QB625", "QB640", "QB655", "MZR710", "LTV720", "QB890", "QB1010"]


def device(model):
    shape, screen, pad, boot, shade, accent = FAMILIES[model]
    defs = (f'<linearGradient id="boot" x1="0" y1="0" x2="1" y2="1"><stop offset="0" stop-color="{boot}"/>'
            f'<stop offset="1" stop-color="{shade}"/></linearGradient>'
            '<linearGradient id="face" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#353D47"/>'
            '<stop offset="1" stop-color="#1A1F25"/></linearGradient>'
            '<linearGradient id="key" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#4A535E"/>'
            '<stop offset="1" stop-color="#252B32"/></linearGradient>'
            '<linearGradient id="lcd" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#B9D8C4"/>'
            '<stop offset="1" stop-color="#8DB9A0"/></linearGradient>'
            '<linearGradient id="scr" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#15304C"/>'
            '<stop offset="1" stop-color="#0B1A2A"/></linearGradient>'
            '<linearGradient id="glass" x1="0" y1="0" x2="1" y2="1"><stop offset="0" stop-color="#FFFFFF" stop-opacity="0.22"/>'
            '<stop offset="0.45" stop-color="#FFFFFF" stop-opacity="0.04"/><stop offset="0.46" stop-color="#FFFFFF" stop-opacity="0"/></linearGradient>'
            '<linearGradient id="rim" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#FFFFFF" stop-opacity="0.35"/>'
            '<stop offset="0.3" stop-color="#FFFFFF" stop-opacity="0"/></linearGradient>'
            '<radialGradient id="floor" cx="0.5" cy="0.5" r="0.5"><stop offset="0" stop-color="#000000" stop-opacity="0.35"/>'
            '<stop offset="1" stop-color="#000000" stop-opacity="0"/></radialGradient>'
            '<linearGradient id="cfade" x1="0" y1="0" x2="400" y2="0" gradientUnits="userSpaceOnUse">'
            '<stop offset="0.6" stop-color="#FFFFFF"/><stop offset="0.95" stop-color="#FFFFFF" stop-opacity="0"/></linearGradient>'
            + SHADOW.format(b=6, d=6, a=0.35))
    outline, face = body_outline(shape), face_outline(shape)
    x, y, w, h = screen_rect(shape)
    # cable to the car's diagnostic socket, leaving the top of the tool
    # cable to the car's diagnostic socket, leaving the top of the tool and
    # fading out before the picture's edge
    cable = ('<mask id="cm"><rect width="400" height="520" fill="url(#cfade)"/></mask>'
             '<g mask="url(#cm)">'
             '<path d="M200,62 C200,30 250,22 300,16 S350,8 392,6" fill="none" stroke="#1A1D21" stroke-width="15" stroke-linecap="round"/>'
             '<path d="M200,62 C200,30 250,22 300,16 S350,8 392,6" fill="none" stroke="#4A5058" stroke-width="4" stroke-opacity="0.5"/></g>'
             '<rect x="182" y="44" width="36" height="26" rx="6" fill="#22262B"/>') if shape != "tablet" else ""
    bumpers = ""
    if shape in ("rugged", "tablet"):
        # dark rubber corner caps, following the body outline
        corners = "".join(f'<circle cx="{cx}" cy="{cy}" r="46"/>' for cx in (48, 352) for cy in (58, 478))
        bumpers = (f'<clipPath id="bc"><path d="{outline}"/></clipPath>'
                   f'<g clip-path="url(#bc)" fill="#14181D" fill-opacity="0.62">{corners}</g>')
    grille = ""
    if shape == "compact":
        grille = "".join(f'<rect x="{176 + i * 10}" y="412" width="4" height="22" rx="2" fill="#0E1115"/>' for i in range(5))
    top = y + h + (52 if shape in ("compact",) else 40)
    brand_y = y - 12 if shape != "tablet" else y - 10
    label_y = y + h + (28 if shape != "tablet" else 0)
    model_text = (f'<text x="200" y="{label_y}" font-family="{FONT}" font-weight="bold" font-size="{22 if shape != "compact" else 20}" '
                  f'letter-spacing="1.5" text-anchor="middle" fill="#FFFFFF">{model}</text>')
    if shape == "tablet":
        # the model name sits on the lower bezel of a tablet, under its keys
        model_text = (f'<text x="200" y="{y + h + 40}" font-family="{FONT}" font-weight="bold" font-size="18" letter-spacing="2" '
                      f'text-anchor="middle" fill="#FFFFFF">{model}</text>')
        top = y + h + 2
    if shape == "compact":
        label_y = y + h + 30
        model_text = (f'<text x="200" y="{label_y}" font-family="{FONT}" font-weight="bold" font-size="20" letter-spacing="1.5" '
                      f'text-anchor="middle" fill="#FFFFFF">{model}</text>')
        top = y + h + 38
    stripe = (f'<path d="M{x},{label_y + 9} H{x + w}" stroke="{accent}" stroke-width="2.2" stroke-opacity="0.9"/>'
              if shape not in ("tablet",) else "")
    body = (f'<ellipse cx="200" cy="494" rx="150" ry="16" fill="url(#floor)"/>'
            + cable
            + f'<g filter="url(#sh)"><path d="{outline}" fill="url(#boot)"/></g>'
            f'<path d="{outline}" fill="url(#rim)"/>'
            + bumpers
            + f'<path d="{face}" fill="url(#face)" stroke="#0C0F13" stroke-width="1.2"/>'
            f'<rect x="{x - 7}" y="{y - 7}" width="{w + 14}" height="{h + 14}" rx="8" fill="#07090C"/>'
            + screen_content(screen, x, y, w, h, model, accent)
            + f'<rect x="{x - 7}" y="{y - 7}" width="{w + 14}" height="{h + 14}" rx="8" fill="url(#glass)"/>'
            f'<text x="200" y="{brand_y}" font-family="{FONT}" font-weight="bold" font-size="10" letter-spacing="3" '
            f'text-anchor="middle" fill="#AFC0D1">ZENDRIX</text>'
            + model_text + stripe
            + keypad(pad, shape, top, accent) + grille)
    return render(svg_doc(400, 520, body, defs), 400, 520, 1)


def gallery():
    imgs = []
    for i, model in enumerate(GALLERY):
        img = device(model)
        save_png(img, f"gallery_{156 + i}_{model}.png")
        imgs.append(img)
    return imgs


# ---------------------------------------------------------------- cursors and icon

def arrow_image(direction):
    # a bold arrow with a dark outline and a white fill, readable on any skin
    body = ('<path d="M3,16 L15,4 V11 H29 V21 H15 V28 Z" fill="#FFFFFF" stroke="#0A1A2B" stroke-width="1.6" '
            'stroke-linejoin="round"/>'
            f'<path d="M15,13.2 H26.8 V18.8 H15" fill="none" stroke="{AMBER}" stroke-width="0" />')
    if direction == "right":
        body = f'<g transform="translate(32 0) scale(-1 1)">{body}</g>'
    return render(svg_doc(32, 32, body), 32, 32, 8)


def dib_entry(img):
    """32-bit BMP DIB (height doubled, bottom-up) plus an AND mask, as icons and cursors hold them."""
    w, h = img.size
    px = img.load()
    xor = bytearray()
    for yy in range(h - 1, -1, -1):
        for xx in range(w):
            r, g, b, a = px[xx, yy]
            xor += bytes((b, g, r, a))
    row = ((w + 31) // 32) * 4
    mask = bytearray()
    for yy in range(h - 1, -1, -1):
        bits = bytearray(row)
        for xx in range(w):
            if px[xx, yy][3] < 128:
                bits[xx // 8] |= 0x80 >> (xx % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def write_icon_file(path, entries, cursor_hotspots=None):
    """entries: list of (image, payload bytes). Cursors carry a hotspot instead of planes/bpp."""
    kind = 2 if cursor_hotspots else 1
    out = struct.pack("<HHH", 0, kind, len(entries))
    offset = 6 + 16 * len(entries)
    data = b""
    for i, (img, payload) in enumerate(entries):
        w, h = img.size
        a, b = cursor_hotspots[i] if cursor_hotspots else (1, 32)
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, a, b, len(payload), offset + len(data))
        data += payload
    with open(path, "wb") as f:
        f.write(out + data)


def cursors():
    made = []
    for name, direction, hot in (("arrow_left.cur", "left", (3, 16)), ("arrow_right.cur", "right", (28, 16))):
        img = arrow_image(direction)
        write_icon_file(os.path.join(OUT, name), [(img, dib_entry(img))], [hot])
        made.append(img)
    return made


def app_icon_svg(detail):
    # navy tile with a white "K" and an amber signal trace; the trace is left
    # out at the smallest size where it would only be noise
    trace = ('<polyline points="14,70 34,70 42,56 52,84 60,62 66,70 86,70" fill="none" stroke="#F5A623" '
             'stroke-width="6" stroke-linecap="round" stroke-linejoin="round"/>') if detail else ""
    k = ('<path d="M30,18 V58 M30,40 L56,18 M37,34 L60,58" fill="none" stroke="#FFFFFF" stroke-width="11" '
         'stroke-linecap="round" stroke-linejoin="round"/>') if detail else (
        '<path d="M30,20 V80 M30,52 L68,20 M40,44 L72,80" fill="none" stroke="#FFFFFF" stroke-width="15" '
        'stroke-linecap="round" stroke-linejoin="round"/>')
    if detail:
        k = k.replace("M30,18 V58 M30,40 L56,18 M37,34 L60,58", "M34,16 V56 M34,40 L60,16 M42,34 L64,56")
    body = ('<rect x="4" y="4" width="92" height="92" rx="22" fill="url(#tile)"/>'
            '<path d="M26,4 H74 A22,22 0 0 1 96,26 V38 C70,46 30,46 4,38 V26 A22,22 0 0 1 26,4 Z" fill="url(#gloss)"/>'
            + k + trace)
    return svg_doc(100, 100, body, TILE_DEFS, "0 0 100 100")


def app_icon():
    entries = []
    imgs = {}
    for size in (16, 32, 48, 256):
        img = render(app_icon_svg(size >= 32), size, size, 4 if size < 256 else 1)
        imgs[size] = img
        if size == 256:
            buf = io.BytesIO()
            img.save(buf, "PNG", optimize=True)
            entries.append((img, buf.getvalue()))
        else:
            entries.append((img, dib_entry(img)))
    write_icon_file(os.path.join(OUT, "kelvo.ico"), entries)
    save_png(imgs[256], "kelvo_icon_256.png")
    return imgs


# ---------------------------------------------------------------- contact sheet

def contact_sheet(items):
    """The banner, then every other picture on alternately the lightest and
    the darkest skin background, labelled with its resource id."""
    font = ImageFont.truetype("/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf", 13)
    cell_w, pad, width = 230, 12, 1400
    banner_img = items[0][1]
    per_row = (width - pad) // cell_w
    thumbs = []
    for label, img in items[1:]:
        th = img.copy()
        th.thumbnail((cell_w - 20, 200))
        thumbs.append((label, th))
    rows = [thumbs[i:i + per_row] for i in range(0, len(thumbs), per_row)]
    height = banner_img.size[1] + pad * 2 + sum(max(t.size[1] for _, t in r) + 40 for r in rows)
    sheet = Image.new("RGB", (width, height), (0xF4, 0xF4, 0xF4))
    draw = ImageDraw.Draw(sheet)
    sheet.paste(banner_img, (pad, pad))
    y = banner_img.size[1] + pad * 2
    for r in rows:
        rh = max(t.size[1] for _, t in r)
        for c, (label, th) in enumerate(r):
            cx = pad + c * cell_w
            bg = (0xF4, 0xF4, 0xF4) if c % 2 == 0 else (0xB6, 0xB6, 0xB6)
            draw.rectangle([cx, y, cx + cell_w - 8, y + rh + 30], fill=bg)
            sheet.paste(th, (cx + (cell_w - 8 - th.size[0]) // 2, y + 4), th)
            draw.text((cx + 6, y + rh + 10), label, fill=(20, 30, 40), font=font)
        y += rh + 40
    sheet.save(os.path.join(OUT, "contact_sheet.png"))


def main():
    global OUT
    if len(sys.argv) != 2:
        print("usage: make_art.py OUTDIR", file=sys.stderr)
        return 2
    OUT = sys.argv[1]
    os.makedirs(OUT, exist_ok=True)
    items = [("133 banner", banner())]
    t = tabs()
    items += [("135 update", t["tab_update.png"]), ("209 report", t["tab_report.png"]),
              ("136 trouble codes", t["tab_dtc.png"]), ("137 manual", t["tab_manual.png"]),
              ("138 settings", t["tab_settings.png"]), ("211 frame", frame()),
              ("139 present", plug_icon(True).resize((96, 96), Image.NEAREST)),
              ("140 absent", plug_icon(False).resize((96, 96), Image.NEAREST)),
              ("201 close", button_strip("close").resize((368, 52), Image.NEAREST)),
              ("202 minimize", button_strip("minimize").resize((248, 52), Image.NEAREST))]
    items += [(f"{156 + i} {m}", img) for i, (m, img) in enumerate(zip(GALLERY, gallery()))]
    cl, cr = cursors()
    items += [("148 cursor", cl.resize((96, 96), Image.NEAREST)), ("149 cursor", cr.resize((96, 96), Image.NEAREST))]
    icons = app_icon()
    items += [(f"128 icon {s}", icons[s].resize((96, 96), Image.NEAREST) if s < 96 else icons[s]) for s in (16, 32, 48, 256)]
    contact_sheet(items)
    scaled_art()
    return 0


if __name__ == "__main__":
    sys.exit(main())
