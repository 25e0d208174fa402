#!/usr/bin/env python3
"""Writes the SVG sources of the program's icon set and renders them to PNG.

    python3 icons.py            # writes svg/ and renders ../<name>.png and ../<name>@2x.png
    python3 icons.py --svg-only

Every picture is drawn here so that the set shares one stroke weight and one palette.
Rendering needs rsvg-convert (Debian librsvg2-bin).
"""
import os
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.dirname(HERE)
SVG_DIR = os.path.join(HERE, "svg")

GREEN = "#01945d"
GREEN_LIGHT = "#2bbb61"
GREEN_DARK = "#008553"
GREY = "#666666"
GREY_LIGHT = "#999999"
LINE = "#dcdcdc"
WHITE = "#ffffff"
ORANGE = "#f5a623"
RED = "#f76e6e"

FONT = "Noto Sans CJK SC, DejaVu Sans, sans-serif"

ICONS = {}  # name -> (svg text, width, height)


def svg(name, w, h, body, view=None):
    view = view or f"0 0 {w} {h}"
    ICONS[name] = (
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" viewBox="{view}">\n{body}\n</svg>\n',
        w,
        h,
    )


def stroke(color, width=1.8):
    return f'fill="none" stroke="{color}" stroke-width="{width}" stroke-linecap="round" stroke-linejoin="round"'


# ---- brand -------------------------------------------------------------------------------

def mark(size, x=0, y=0, inverted=False):
    """The brand mark: a rounded tile with an open book and an upward arrow."""
    s = size / 64.0
    tile = WHITE if inverted else "url(#brand)"
    glyph = GREEN if inverted else WHITE
    grad = (
        ""
        if inverted
        else f'<defs><linearGradient id="brand" x1="0" y1="0" x2="1" y2="1">'
        f'<stop offset="0" stop-color="{GREEN_LIGHT}"/><stop offset="1" stop-color="{GREEN_DARK}"/>'
        f"</linearGradient></defs>"
    )
    return (
        f'{grad}<g transform="translate({x} {y}) scale({s})">'
        f'<rect x="2" y="2" width="60" height="60" rx="14" fill="{tile}"/>'
        # book: two pages opening from the spine
        f'<path d="M12 40 C20 36 27 37 32 41 C37 37 44 36 52 40 L52 50 C44 46 37 47 32 51 C27 47 20 46 12 50 Z" '
        f'fill="{glyph}"/>'
        # arrow rising from the book
        f'<path d="M32 35 V14 M23 22 L32 13 L41 22" fill="none" stroke="{glyph}" stroke-width="6" '
        f'stroke-linecap="round" stroke-linejoin="round"/>'
        f"</g>"
    )


def brand():
    svg("logo", 64, 64, mark(64))
    for n in (16, 32, 48, 256):
        svg(f"favicon_{n}", n, n, mark(n))
    # On the green top bar and the login title: white tile, white word.
    svg(
        "logo_login",
        132,
        36,
        mark(32, 0, 2, inverted=True)
        + f'<text x="40" y="26" font-family="{FONT}" font-size="21" font-weight="bold" fill="{WHITE}">Zentrel</text>',
    )
    svg(
        "logo_version",
        96,
        96,
        mark(96),
    )
    svg(
        "bg_version",
        550,
        330,
        f'<defs><linearGradient id="bg" x1="0" y1="0" x2="0" y2="1">'
        f'<stop offset="0" stop-color="{GREEN_LIGHT}"/><stop offset="0.55" stop-color="{GREEN}"/>'
        f'<stop offset="0.551" stop-color="{WHITE}"/><stop offset="1" stop-color="{WHITE}"/></linearGradient></defs>'
        f'<rect width="550" height="330" fill="url(#bg)"/>'
        f'<circle cx="470" cy="40" r="90" fill="{WHITE}" opacity="0.07"/>'
        f'<circle cx="60" cy="170" r="70" fill="{WHITE}" opacity="0.06"/>'
        f'<path d="M0 170 C120 150 250 200 550 160 L550 182 L0 182 Z" fill="{WHITE}" opacity="0.15"/>',
    )


# ---- window buttons (white, for the green bars) ------------------------------------------

def window_buttons():
    def button(name, glyph, disc=None):
        back = f'<circle cx="12.5" cy="12.5" r="12" fill="{disc}"/>' if disc else ""
        svg(name, 25, 25, back + glyph)

    x = f'<path d="M8 8 L17 17 M17 8 L8 17" {stroke(WHITE, 1.8)}/>'
    minus = f'<path d="M7.5 12.5 H17.5" {stroke(WHITE, 1.8)}/>'
    square = f'<rect x="7.5" y="7.5" width="10" height="10" rx="1" {stroke(WHITE, 1.6)}/>'
    two = (
        f'<rect x="7" y="10" width="8" height="8" rx="1" {stroke(WHITE, 1.6)}/>'
        f'<path d="M10 7.5 H17.5 V15" {stroke(WHITE, 1.6)}/>'
    )
    button("close_normal", x)
    button("close_hover", x, "#e8534a")
    button("min_normal", minus)
    button("min_hover", minus, GREEN_DARK)
    button("max_normal", square)
    button("recover", two)
    # Grey cross for white dialogs (message box) and the white one of the version dialog.
    svg("close_dia", 25, 25, f'<path d="M8 8 L17 17 M17 8 L8 17" {stroke(GREY_LIGHT, 1.6)}/>')
    svg("close_version", 25, 25, f'<path d="M8 8 L17 17 M17 8 L8 17" {stroke(WHITE, 1.8)}/>')


# ---- top bar -----------------------------------------------------------------------------

def top_bar():
    svg("top_xiala", 20, 60, f'<path d="M6 28 L10 32 L14 28" {stroke(WHITE, 1.6)}/>')
    # Customer service: a headset.
    svg(
        "top_avatar",
        20,
        20,
        f'<path d="M3.5 11 V9.5 A6.5 6.5 0 0 1 16.5 9.5 V11" {stroke(WHITE, 1.6)}/>'
        f'<rect x="2.5" y="10" width="3.5" height="5.5" rx="1.4" fill="{WHITE}"/>'
        f'<rect x="14" y="10" width="3.5" height="5.5" rx="1.4" fill="{WHITE}"/>'
        f'<path d="M16 15.5 C16 17.5 14 18 11 18" {stroke(WHITE, 1.4)}/>'
        f'<circle cx="10.5" cy="18" r="1.2" fill="{WHITE}"/>',
    )
    svg(
        "top_faq",
        20,
        20,
        f'<circle cx="10" cy="10" r="8" {stroke(WHITE, 1.6)}/>'
        f'<path d="M7.4 7.8 A2.7 2.7 0 1 1 10.9 10.4 C10.2 10.7 10 11.2 10 12" {stroke(WHITE, 1.6)}/>'
        f'<circle cx="10" cy="14.6" r="1.1" fill="{WHITE}"/>',
    )


# ---- side menu ---------------------------------------------------------------------------

MENU = {
    # upload: a cloud with an arrow
    "itemlist": lambda c: (
        f'<path d="M7 18 H5.8 A4 4 0 0 1 5.5 10 A6 6 0 0 1 17 8.6 A4.7 4.7 0 0 1 18.3 18 H17" {stroke(c)}/>'
        f'<path d="M12 20 V12 M9 15 L12 12 L15 15" {stroke(c)}/>'
    ),
    # my uploads: a document with lines
    "uplist": lambda c: (
        f'<path d="M6 3 H14 L19 8 V20 A1 1 0 0 1 18 21 H6 A1 1 0 0 1 5 20 V4 A1 1 0 0 1 6 3 Z" {stroke(c)}/>'
        f'<path d="M14 3 V8 H19 M8.5 12.5 H15.5 M8.5 16 H15.5" {stroke(c)}/>'
    ),
    # commission: a coin with the yuan sign
    "ticheng": lambda c: (
        f'<circle cx="12" cy="12" r="9" {stroke(c)}/>'
        f'<path d="M8.8 7.5 L12 11.5 L15.2 7.5 M12 11.5 V17 M9 12.5 H15 M9 15 H15" {stroke(c, 1.6)}/>'
    ),
    # system messages: a bell
    "sysmsg": lambda c: (
        f'<path d="M6 16.5 V11 A6 6 0 0 1 18 11 V16.5 L19.5 18 H4.5 Z" {stroke(c)}/>'
        f'<path d="M10 20.5 A2 2 0 0 0 14 20.5" {stroke(c)}/>'
    ),
}


def side_menu():
    for key, draw in MENU.items():
        svg(f"{key}_normal", 20, 20, draw(GREY), "0 0 24 24")
        svg(f"{key}_hover", 20, 20, draw(GREEN), "0 0 24 24")


# ---- form controls -----------------------------------------------------------------------

def controls():
    svg("checkbox_normal", 16, 16, f'<rect x="1.5" y="1.5" width="13" height="13" rx="2" fill="{WHITE}" stroke="{LINE}"/>')
    svg("checkbox_hover", 16, 16,
        f'<rect x="1.5" y="1.5" width="13" height="13" rx="2" fill="{WHITE}" stroke="{GREEN_LIGHT}"/>')
    svg("checkbox_checked", 16, 16,
        f'<rect x="1" y="1" width="14" height="14" rx="2.2" fill="{GREEN_LIGHT}"/>'
        f'<path d="M4.3 8.2 L7 10.8 L11.8 5.5" {stroke(WHITE, 1.8)}/>')
    svg("radio_normal", 16, 16, f'<circle cx="8" cy="8" r="6.5" fill="{WHITE}" stroke="{LINE}"/>')
    svg("radio_checked", 16, 16,
        f'<circle cx="8" cy="8" r="6.5" fill="{WHITE}" stroke="{GREEN_LIGHT}"/>'
        f'<circle cx="8" cy="8" r="3.5" fill="{GREEN_LIGHT}"/>')
    svg("drop", 12, 12, f'<path d="M2.5 4.5 L6 8 L9.5 4.5" {stroke(GREY_LIGHT, 1.5)}/>')
    # Tree: plus/minus boxes and dashed branch lines (20 px indentation).
    dash = f'stroke="{LINE}" stroke-width="1" stroke-dasharray="2 2"'
    box = f'<rect x="5.5" y="5.5" width="9" height="9" rx="1" fill="{WHITE}" stroke="{GREY_LIGHT}"/>'
    svg("tree/branch-closed", 20, 20, box + f'<path d="M7.5 10 H12.5 M10 7.5 V12.5" stroke="{GREY}" stroke-width="1"/>')
    svg("tree/branch-open", 20, 20, box + f'<path d="M7.5 10 H12.5" stroke="{GREY}" stroke-width="1"/>')
    svg("tree/vline", 20, 20, f'<path d="M10.5 0 V20" {dash}/>')
    svg("tree/branch-more", 20, 20, f'<path d="M10.5 0 V20 M10.5 10.5 H20" {dash}/>')
    svg("tree/branch-end", 20, 20, f'<path d="M10.5 0 V10.5 H20" {dash}/>')


# ---- login and notices -------------------------------------------------------------------

def people():
    svg(
        "avatar_1",
        80,
        80,
        f'<defs><clipPath id="c"><circle cx="40" cy="40" r="38"/></clipPath></defs>'
        f'<circle cx="40" cy="40" r="39" fill="#e6f4ee" stroke="{LINE}"/>'
        f'<g clip-path="url(#c)" fill="{GREEN}" opacity="0.85">'
        f'<circle cx="40" cy="31" r="13"/><ellipse cx="40" cy="72" rx="25" ry="21"/></g>',
    )
    svg(
        "warnning",
        48,
        48,
        f'<path d="M24 5 L44.5 41 A2 2 0 0 1 42.8 44 H5.2 A2 2 0 0 1 3.5 41 Z" fill="{ORANGE}"/>'
        f'<path d="M24 17 V30" {stroke(WHITE, 4)}/><circle cx="24" cy="37" r="2.4" fill="{WHITE}"/>',
    )
    svg(
        "help",
        16,
        16,
        f'<circle cx="8" cy="8" r="6.5" {stroke(GREY_LIGHT, 1.3)}/>'
        f'<path d="M6 6.3 A2.1 2.1 0 1 1 8.7 8.3 C8.2 8.5 8 8.9 8 9.5" {stroke(GREY_LIGHT, 1.3)}/>'
        f'<circle cx="8" cy="11.6" r="0.9" fill="{GREY_LIGHT}"/>',
    )


def loading():
    # Eight dots on a ring; the bright one walks round one step per frame.
    import math

    for frame in range(1, 9):
        dots = []
        for i in range(8):
            angle = math.radians(-90 + 45 * i)
            x = 24 + 15 * math.cos(angle)
            y = 24 + 15 * math.sin(angle)
            age = (frame - 1 - i) % 8  # 0 = the head of the trail
            opacity = max(0.15, 1.0 - age * 0.15)
            r = 4.2 if age == 0 else 3.4
            dots.append(f'<circle cx="{x:.2f}" cy="{y:.2f}" r="{r}" fill="{GREEN}" opacity="{opacity:.2f}"/>')
        svg(f"loading/{frame}", 48, 48, f'<circle cx="24" cy="24" r="23" fill="{WHITE}" opacity="0.9"/>' + "".join(dots))


# ---- list actions (grey line icons, 20 px) -----------------------------------------------

def actions():
    g = GREY
    a = {
        "start": f'<circle cx="12" cy="12" r="9" {stroke(GREEN_LIGHT)}/><path d="M10 8.3 L15.6 12 L10 15.7 Z" fill="{GREEN_LIGHT}" stroke="{GREEN_LIGHT}" stroke-width="1.2" stroke-linejoin="round"/>',
        "pause": f'<circle cx="12" cy="12" r="9" {stroke(ORANGE)}/><path d="M10 8.5 V15.5 M14 8.5 V15.5" {stroke(ORANGE, 2)}/>',
        "del": f'<path d="M4.5 6.5 H19.5 M9.5 6.5 V4.5 H14.5 V6.5 M6.5 6.5 L7.5 20 H16.5 L17.5 6.5 M10 10 V16.5 M14 10 V16.5" {stroke(g)}/>',
        "edit": f'<path d="M4 20 L4.8 16 L15.5 5.3 A2 2 0 0 1 18.7 8.5 L8 19.2 Z M13.8 7 L17 10.2" {stroke(g)}/>',
        "dir": f'<path d="M3 7 A1.5 1.5 0 0 1 4.5 5.5 H9.5 L11.5 7.5 H19.5 A1.5 1.5 0 0 1 21 9 V17.5 A1.5 1.5 0 0 1 19.5 19 H4.5 A1.5 1.5 0 0 1 3 17.5 Z" {stroke(g)}/>',
        "view": f'<path d="M2.5 12 C5 7.5 8.3 5.5 12 5.5 C15.7 5.5 19 7.5 21.5 12 C19 16.5 15.7 18.5 12 18.5 C8.3 18.5 5 16.5 2.5 12 Z" {stroke(g)}/><circle cx="12" cy="12" r="3" {stroke(g)}/>',
        "search": f'<circle cx="10.5" cy="10.5" r="6.5" {stroke(GREY_LIGHT)}/><path d="M15.5 15.5 L20.5 20.5" {stroke(GREY_LIGHT, 2)}/>',
        "add_word": f'<circle cx="12" cy="12" r="9" {stroke(GREEN)}/><path d="M12 7.5 V16.5 M7.5 12 H16.5" {stroke(GREEN)}/>',
        "back": f'<path d="M10 6 L4 12 L10 18 M4.5 12 H14 A6 6 0 0 1 20 18" {stroke(GREEN)}/>',
        "PosF": f'<path d="M12 21 C7 15.5 5 12.3 5 9.5 A7 7 0 0 1 19 9.5 C19 12.3 17 15.5 12 21 Z" fill="{GREEN}"/><circle cx="12" cy="9.5" r="2.6" fill="{WHITE}"/>',
        # the calendar's month arrows sit on its green bar
        "arrow_left": f'<path d="M14.5 6 L8.5 12 L14.5 18" {stroke(WHITE, 2.4)}/>',
        "arrow_right": f'<path d="M9.5 6 L15.5 12 L9.5 18" {stroke(WHITE, 2.4)}/>',
    }
    for name, body in a.items():
        svg(name, 20, 20, body, "0 0 24 24")
    # "being filled in" mark: a green corner ribbon with a pen.
    svg(
        "mark",
        40,
        40,
        f'<path d="M0 0 H40 L0 40 Z" fill="{GREEN_LIGHT}"/>'
        f'<path d="M7 21 L7.6 18 L16 9.6 A1.6 1.6 0 0 1 18.4 12 L10 20.4 Z" fill="{WHITE}"/>',
    )


# ---- file categories ---------------------------------------------------------------------

CATEGORIES = {
    # key: (colour, label)
    "doc": ("#2b6fd6", "W"),
    "excel": ("#1d8f4e", "X"),
    "ppt": ("#e0672b", "P"),
    "pdf": ("#d9383a", "PDF"),
    "pic": ("#8e5bd6", None),
    "audio": ("#e3a01b", None),
    "video": ("#3c4ccf", None),
    "tar": ("#9a6b3c", None),
    "kux": ("#3c4ccf", None),
    "qlv": ("#3c4ccf", None),
    "qsv": ("#3c4ccf", None),
}


def file_icon(color, label, glyph=""):
    sheet = (
        f'<path d="M5 2 H14.5 L20 7.5 V21 A1 1 0 0 1 19 22 H5 A1 1 0 0 1 4 21 V3 A1 1 0 0 1 5 2 Z" fill="{color}"/>'
        f'<path d="M14.5 2 V6.5 A1 1 0 0 0 15.5 7.5 H20 Z" fill="{WHITE}" opacity="0.45"/>'
    )
    if label:
        size = 8 if len(label) == 1 else 5.6
        sheet += (
            f'<text x="12" y="{17.5 if len(label) == 1 else 17}" text-anchor="middle" font-family="DejaVu Sans" '
            f'font-weight="bold" font-size="{size}" fill="{WHITE}">{label}</text>'
        )
    return sheet + glyph


def categories():
    w = WHITE
    glyphs = {
        "pic": f'<circle cx="9.3" cy="11.5" r="1.6" fill="{w}"/><path d="M6.5 18.5 L10.5 14.5 L12.5 16.5 L15 13.5 L17.5 18.5 Z" fill="{w}"/>',
        "audio": f'<path d="M10.5 18 V11 L16 9.8 V16.6" {stroke(w, 1.3)}/><circle cx="9.3" cy="18" r="1.6" fill="{w}"/><circle cx="14.8" cy="16.7" r="1.6" fill="{w}"/>',
        "video": f'<path d="M9.5 11 L15.5 14.5 L9.5 18 Z" fill="{w}"/>',
        "kux": f'<path d="M9.5 11 L15.5 14.5 L9.5 18 Z" fill="{w}"/>',
        "qlv": f'<path d="M9.5 11 L15.5 14.5 L9.5 18 Z" fill="{w}"/>',
        "qsv": f'<path d="M9.5 11 L15.5 14.5 L9.5 18 Z" fill="{w}"/>',
        "tar": f'<path d="M11 3 H13 V5 H11 Z M11 7 H13 V9 H11 Z M11 11 H13 V13 H11 Z" fill="{w}"/><rect x="10" y="14" width="4" height="5" rx="1" fill="{w}"/>',
    }
    for key, (color, label) in CATEGORIES.items():
        svg(f"t/{key}", 20, 20, file_icon(color, label, glyphs.get(key, "")), "0 0 24 24")
    # The duplicate list shows every similar resource as a slide deck.
    svg("ppt", 20, 20, file_icon(*CATEGORIES["ppt"]), "0 0 24 24")


# ---- output ------------------------------------------------------------------------------

def write_ico(path, pngs):
    """An .ico that embeds PNG images (supported since Windows Vista, and by Qt)."""
    header = struct.pack("<HHH", 0, 1, len(pngs))
    entries = b""
    offset = 6 + 16 * len(pngs)
    blobs = b""
    for size, data in pngs:
        dim = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
        blobs += data
    with open(path, "wb") as f:
        f.write(header + entries + blobs)


def main():
    brand()
    window_buttons()
    top_bar()
    side_menu()
    controls()
    people()
    loading()
    actions()
    categories()
    svg_only = "--svg-only" in sys.argv
    for name, (text, w, h) in ICONS.items():
        src = os.path.join(SVG_DIR, name + ".svg")
        os.makedirs(os.path.dirname(src), exist_ok=True)
        with open(src, "w", encoding="utf-8") as f:
            f.write(text)
        if svg_only or name.startswith("favicon_"):
            continue
        dst = os.path.join(OUT, name + ".png")
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        subprocess.run(["rsvg-convert", "-w", str(w), "-h", str(h), "-o", dst, src], check=True)
        # Twice the pixels for screens scaled 150 % and more; the toolkit picks "@2x" itself.
        dst2 = os.path.join(OUT, name + "@2x.png")
        subprocess.run(["rsvg-convert", "-w", str(2 * w), "-h", str(2 * h), "-o", dst2, src], check=True)
    if not svg_only:
        pngs = []
        for n in (16, 32, 48, 256):
            src = os.path.join(SVG_DIR, f"favicon_{n}.svg")
            data = subprocess.run(["rsvg-convert", "-w", str(n), "-h", str(n), src], check=True,
                                  stdout=subprocess.PIPE).stdout
            pngs.append((n, data))
        write_ico(os.path.join(OUT, "favicon.ico"), pngs)
    names = sorted(n + s for n in ICONS if not n.startswith("favicon_") for s in (".png", "@2x.png")) + ["favicon.ico"]
    with open(os.path.join(OUT, "images.qrc"), "w", encoding="utf-8") as f:
        f.write('<!DOCTYPE RCC>\n<RCC version="1.0">\n<qresource prefix="/images">\n')
        f.writelines(f"    <file>{n}</file>\n" for n in names)
        f.write("</qresource>\n</RCC>\n")


if __name__ == "__main__":
    main()
