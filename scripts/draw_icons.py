#!/usr/bin/env python3
"""Draws Quillon's icons and writes them as resources/icons/<NAME>.ico.

Usage (plain Python 3, no third-party modules), from anywhere:

    python3 scripts/draw_icons.py              # rewrite resources/icons/*.ico
    python3 scripts/draw_icons.py --out DIR    # write the .ico files into DIR
    python3 scripts/draw_icons.py --png DIR    # also write every image as PNG

Developers run it after changing a drawing and commit the .ico files it
writes; the build only reads the committed files (resources/icons.rc). The
output is deterministic: running it twice gives identical files.

16 px images are pixel art (the pages and discs are written out below, one
character per pixel). 24 and 32 px images are drawn pixel by pixel as well:
one-pixel outlines, 45-degree folds and chevrons, whole-pixel text lines;
only the discs are anti-aliased. 48, 64 and 256 px images are drawn from
shapes with analytic anti-aliasing, a soft shadow and rounded line ends.
Every image is 32-bit with alpha; 256 px images are stored PNG-compressed
inside the .ico, the others as 32-bit DIBs with an AND mask.

The set:
  A        application (16, 24, 32, 48, 64, 256): a log page with a folded
           corner and text lines (with time stamps, some amber, from 32 px
           up) and a blue badge holding two down-pointing chevrons: the view
           follows the end of the file.
  B        About box: the same design (48 first, then 16 to 256).
  PLAY     following (16, 24, 32): green disc, white play triangle.
  PAUSE    paused (16, 24, 32): amber disc, two white bars.
  BROWSE   browsing earlier rows (16, 24, 32): blue disc, two white chevrons
           pointing up: the view stands back in the file.
  FILE     the file (16, 24, 32): the log page alone.
  BUFF     unfinished last line (16, 24, 32): the page whose last line stops
           short and trails off in three blue dots.
  TRAY0-9  notification area (16, 32). TRAY0 is A. TRAY1-3 are an intro: a
           ring grows out of the badge and fades, like a ping. TRAY4-9 are
           the loop: the lines scroll up one step per frame (three lines in
           six frames) while the light falls through the chevrons (upper
           lit, lower lit, both dim); after TRAY9 comes TRAY4 without a jump.
"""

import argparse
import math
import os
import struct
import zlib

# ---------------------------------------------------------------------------
# Colours (straight RGBA, 0..1)


def rgb(hex_text, alpha=1.0):
    h = hex_text.lstrip("#")
    return (int(h[0:2], 16) / 255.0, int(h[2:4], 16) / 255.0,
            int(h[4:6], 16) / 255.0, alpha)


def mix(c1, c2, t):
    return tuple(c1[i] + (c2[i] - c1[i]) * t for i in range(4))


OUTLINE = rgb("#4b5a70")      # page outline, slate
PAPER = rgb("#ffffff")
PAPER_LOW = rgb("#e9eef5")    # bottom of the paper gradient
FOLD = rgb("#cfd8e4")         # folded corner
LINE = rgb("#8796ab")         # text lines
LINE_DARK = rgb("#55657c")    # time stamps, from 32 px up
WARN = rgb("#e08a1e")         # amber time stamps (warnings)
BLUE = rgb("#2a7de1")         # the follow badge
BLUE_LIGHT = rgb("#4f9af0")
BLUE_DARK = rgb("#1b5fb8")
BLUE_RIM = rgb("#174f9c")
GREEN_LIGHT = rgb("#4cc46e")
GREEN_DARK = rgb("#22813f")
GREEN_RIM = rgb("#1c6b34")
AMBER_LIGHT = rgb("#f8bd4e")
AMBER_DARK = rgb("#d0800f")
AMBER_RIM = rgb("#a9640a")
WHITE = rgb("#ffffff")
SHADOW = rgb("#0b1a33")

# ---------------------------------------------------------------------------
# Canvas with premultiplied RGBA floats


class Canvas:
    def __init__(self, size):
        self.w = self.h = size
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]

    def put(self, x, y, colour, cover=1.0):
        """Composites colour over pixel (x, y) with the given coverage."""
        if cover <= 0.0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        a = colour[3] * min(cover, 1.0)
        p = self.px[y * self.w + x]
        k = 1.0 - a
        p[0] = colour[0] * a + p[0] * k
        p[1] = colour[1] * a + p[1] * k
        p[2] = colour[2] * a + p[2] * k
        p[3] = a + p[3] * k

    def cut(self, x, y, cover=1.0):
        """Erases pixel (x, y) by the given coverage (a see-through gap)."""
        if cover <= 0.0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        k = 1.0 - min(cover, 1.0)
        p = self.px[y * self.w + x]
        for i in range(4):
            p[i] *= k

    def get(self, x, y):
        """Straight RGBA bytes of pixel (x, y)."""
        p = self.px[y * self.w + x]
        a = p[3]
        if a <= 1e-6:
            return (0, 0, 0, 0)
        return tuple(max(0, min(255, int(round(c / a * 255.0)))) for c in p[:3]) + (
            max(0, min(255, int(round(a * 255.0)))),)

    def fill(self, sdf, colour, box=None, soft=1.0, erase=False):
        """Fills where the signed distance sdf(x, y) < 0, anti-aliased over
        `soft` pixels; colour is an RGBA tuple or a function of (x, y)."""
        x0, y0, x1, y1 = box if box else (0, 0, self.w, self.h)
        x0, y0 = max(0, int(math.floor(x0)) - 1), max(0, int(math.floor(y0)) - 1)
        x1, y1 = min(self.w, int(math.ceil(x1)) + 1), min(self.h, int(math.ceil(y1)) + 1)
        for y in range(y0, y1):
            for x in range(x0, x1):
                cx, cy = x + 0.5, y + 0.5
                d = sdf(cx, cy)
                cover = 0.5 - d / soft
                if cover <= 0.0:
                    continue
                if erase:
                    self.cut(x, y, cover)
                else:
                    c = colour(cx, cy) if callable(colour) else colour
                    self.put(x, y, c, cover)

    def sprite(self, rows, palette, ox=0, oy=0):
        """Draws pixel art: one character per pixel, '.' leaves it alone,
        other characters come from palette."""
        for j, row in enumerate(rows):
            for i, ch in enumerate(row):
                if ch == ".":
                    continue
                c = palette[ch]
                self.put(ox + i, oy + j, c(ox + i + 0.5, oy + j + 0.5) if callable(c) else c)

# ---------------------------------------------------------------------------
# Signed distance functions (negative inside)


def sd_box(x0, y0, x1, y1, r=0.0):
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    hx, hy = (x1 - x0) / 2.0 - r, (y1 - y0) / 2.0 - r

    def f(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return f


def sd_circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def sd_polygon(points):
    """Convex polygon, points in clockwise order on screen (y down)."""
    edges = []
    n = len(points)
    for i in range(n):
        ax, ay = points[i]
        bx, by = points[(i + 1) % n]
        ex, ey = bx - ax, by - ay
        length = math.hypot(ex, ey)
        # outward normal for clockwise order with y down
        nx, ny = ey / length, -ex / length
        edges.append((ax, ay, nx, ny))

    def f(x, y):
        return max((x - ax) * nx + (y - ay) * ny for ax, ay, nx, ny in edges)
    return f


def sd_grow(f, amount):
    return lambda x, y: f(x, y) - amount


def sd_ring(f, width):
    return lambda x, y: abs(f(x, y)) - width / 2.0


def vertical(top_colour, bottom_colour, y0, y1):
    def f(x, y):
        t = min(1.0, max(0.0, (y - y0) / float(y1 - y0)))
        return mix(top_colour, bottom_colour, t)
    return f

# ---------------------------------------------------------------------------
# Pixel art for 16 x 16 ('.' leaves the pixel alone)


# The page of A and the tray frames: 11 px wide with a folded corner. The
# lines are added per image (they scroll in the tray frames).
PAGE16_A = [
    ".oooooooo.......",
    ".owwwwwwoo......",
    ".owwwwwwofo.....",
    ".owwwwwwoffo....",
    ".owwwwwwoooo....",
    ".owwwwwwwwwo....",
    ".owwwwwwwwwo....",
    ".owwwwwwwwwo....",
    ".owwwwwwwwwo....",
    ".owwwwwwwwwo....",
    ".owwwwwwwwwo....",
    ".owwwwwwwwwo....",
    ".owwwwwwwwwo....",
    ".owwwwwwwwwo....",
    ".owwwwwwwwwo....",
    ".ooooooooooo....",
]

# The page of FILE and BUFF: 12 px wide, centred.
PAGE16_FILE = [
    "..ooooooooo.....",
    "..owwwwwwwoo....",
    "..owwwwwwwofo...",
    "..owwwwwwwoffo..",
    "..owwwwwwwoooo..",
    "..owwwwwwwwwwo..",
    "..owwwwwwwwwwo..",
    "..owwwwwwwwwwo..",
    "..owwwwwwwwwwo..",
    "..owwwwwwwwwwo..",
    "..owwwwwwwwwwo..",
    "..owwwwwwwwwwo..",
    "..owwwwwwwwwwo..",
    "..owwwwwwwwwwo..",
    "..owwwwwwwwwwo..",
    "..oooooooooooo..",
]

# The 9 px disc of A's badge (b body, a half-covered edge); its chevrons
# are added per image.
DISC9 = [
    "..abbba..",
    ".bbbbbbb.",
    "abbbbbbba",
    "bbbbbbbbb",
    "bbbbbbbbb",
    "bbbbbbbbb",
    "abbbbbbba",
    ".bbbbbbb.",
    "..abbba..",
]

# The 14 px disc of the status icons (B rim, b body, a half-covered rim).
DISC14 = [
    "................",
    ".....aBBBBa.....",
    "...aBbbbbbbBa...",
    "..aBbbbbbbbbBa..",
    "..Bbbbbbbbbbbb..",
    ".aBbbbbbbbbbbBa.",
    ".Bbbbbbbbbbbbbb.",
    ".Bbbbbbbbbbbbbb.",
    ".Bbbbbbbbbbbbbb.",
    ".Bbbbbbbbbbbbbb.",
    ".aBbbbbbbbbbbBa.",
    "..Bbbbbbbbbbbb..",
    "..aBbbbbbbbbBa..",
    "...aBbbbbbbBa...",
    ".....aBBBBa.....",
    "................",
]

# The pause glyph on DISC14 (the play triangle is drawn as a shape).
PAUSE16_GLYPH = [
    "................",
    "................",
    "................",
    "................",
    ".....WW..WW.....",
    ".....WW..WW.....",
    ".....WW..WW.....",
    ".....WW..WW.....",
    ".....WW..WW.....",
    ".....WW..WW.....",
    ".....WW..WW.....",
    ".....WW..WW.....",
    "................",
    "................",
    "................",
    "................",
]


def disc_palette(body_top, body_bottom, rim, y0, y1):
    body = vertical(body_top, body_bottom, y0, y1)
    return {
        "b": body,
        "B": lambda x, y: mix(body(x, y), rim, 0.45),
        "a": lambda x, y: mix(body(x, y), rim, 0.45)[:3] + (0.5,),
    }


PAGE_PALETTE16 = {
    "o": OUTLINE,
    "w": vertical(PAPER, PAPER_LOW, 1, 15),
    "f": FOLD,
}

GLYPH_PALETTE = {"W": WHITE}

# ---------------------------------------------------------------------------
# Pixel-exact pieces for 16, 24 and 32 px

# Text line lengths (fractions of the text width). They repeat every three
# lines, so scrolling three lines over the six loop frames of the tray
# animation ends where it started.
LINE_LENGTHS = (0.86, 0.57, 1.0)


def pixel_page(c, left, top, right, bottom, fold):
    """A page with a folded top right corner, outline one pixel wide."""
    fx = right - fold
    paper = vertical(PAPER, PAPER_LOW, top, bottom)
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            if x - fx > y - top:
                continue  # beyond the fold
            edge = (x in (left, right) or y in (top, bottom) or x - fx == y - top
                    or (x == fx and y <= top + fold) or (y == top + fold and x >= fx))
            if edge:
                c.put(x, y, OUTLINE)
            elif x > fx and y < top + fold:
                c.put(x, y, FOLD)
            else:
                c.put(x, y, paper(x + 0.5, y + 0.5))


def pixel_lines(c, x0, x1, y0, y1, thick, pitch, scroll=0, fold_x=None, fold_y=None,
                marks=False, buffered=False):
    """Text lines `thick` px high every `pitch` px between rows y0 and y1
    (inclusive), scrolled up by `scroll` px. With marks, each line starts
    with a darker time stamp (amber on every third line). With buffered, the
    last line stops short and trails off in blue dots."""
    width = x1 - x0 + 1
    gap = max(1, thick // 2 + 1) if marks else 0
    stamp = int(round(width * 0.3))
    last_top = y0 + ((y1 - y0 + 1 - thick) // pitch) * pitch
    for j in range(-4, (y1 - y0) // pitch + 6):
        top = y0 + j * pitch - scroll
        if top + thick - 1 < y0 or top > y1:
            continue
        end = x0 + int(round(LINE_LENGTHS[j % 3] * width)) - 1
        if fold_y is not None and top <= fold_y + 1:
            end = min(end, fold_x - 2)
        unfinished = buffered and top == last_top
        for y in range(max(top, y0), min(top + thick - 1, y1) + 1):
            for x in range(x0, end + 1):
                if unfinished:
                    break
                if marks and x < x0 + stamp:
                    c.put(x, y, WARN if j % 3 == 1 else LINE_DARK)
                elif marks and x < x0 + stamp + gap:
                    continue
                else:
                    c.put(x, y, LINE)
        if unfinished:
            # a short stroke, then three dots
            run = max(2, int(round(width * 0.28)))
            dots = [x0 + run + 1 + i * (thick + 1) for i in range(3)]
            for y in range(top, top + thick):
                for x in range(x0, x0 + run):
                    c.put(x, y, LINE)
                for d in dots:
                    for x in range(d, d + thick):
                        c.put(x, y, BLUE_DARK)


def pixel_chevrons(c, cx, apexes, half, thick, colours=(WHITE, WHITE)):
    """Down-pointing chevrons centred on column cx with their tips on the
    rows in apexes, strokes `thick` px high."""
    for apex, colour in zip(apexes, colours):
        for x in range(cx - half, cx + half + 1):
            for t in range(thick):
                c.put(x, apex - abs(x - cx) - t, colour)


def disc(c, cx, cy, r, colours, rim=1.0):
    top, bottom, rim_col = colours
    box = (cx - r, cy - r, cx + r, cy + r)
    c.fill(sd_circle(cx, cy, r), rim_col, box)
    c.fill(sd_circle(cx, cy, r - rim), vertical(top, bottom, cy - r, cy + r), box)


def ping(c, cx, cy, r, step, gap):
    """The tray intro: a ring growing out of the badge, fading as it goes."""
    rr = r + gap + step * gap * 1.6
    w = 1.0 if c.w <= 16 else 1.6
    c.fill(sd_ring(sd_circle(cx, cy, rr), w), BLUE[:3] + (1.0 - 0.22 * step,))


BLUE_SET = (BLUE_LIGHT, BLUE_DARK, BLUE_RIM)
GREEN_SET = (GREEN_LIGHT, GREEN_DARK, GREEN_RIM)
AMBER_SET = (AMBER_LIGHT, AMBER_DARK, AMBER_RIM)

# ---------------------------------------------------------------------------
# A and the tray frames at 16, 24 and 32 px.
#   scroll: the lines move up by this many steps (1 px at 16, 2 px above);
#   lit:    the colours of the upper and the lower chevron;
#   ping_step: 0, or 1..3 for the ring of the tray intro.


def a_small(s, scroll=0, lit=(WHITE, WHITE), ping_step=0):
    c = Canvas(s)
    if s == 16:
        c.sprite(PAGE16_A, PAGE_PALETTE16)
        pixel_lines(c, 3, 9, 3, 13, 1, 2, scroll, fold_x=8, fold_y=4)
        cx, r, gap = 11.5, 4.5, 0.9
    elif s == 24:
        pixel_page(c, 1, 0, 17, 23, 5)
        pixel_lines(c, 4, 14, 4, 20, 2, 4, 2 * scroll, fold_x=12, fold_y=5)
        cx, r, gap = 17.5, 6.5, 1.1
    else:
        pixel_page(c, 2, 0, 23, 31, 7)
        pixel_lines(c, 5, 20, 4, 28, 2, 4, 2 * scroll, fold_x=16, fold_y=7, marks=True)
        cx, r, gap = 23.5, 8.5, 1.3
    # see-through gap around the badge
    c.fill(sd_circle(cx, cx, r + gap), None, (cx - r - gap, cx - r - gap, s, s), erase=True)
    if ping_step:
        ping(c, cx, cx, r, ping_step, gap)
    if s == 16:
        c.sprite(DISC9, disc_palette(BLUE_LIGHT, BLUE_DARK, BLUE_RIM, 7, 16), 7, 7)
        pixel_chevrons(c, 11, (10, 14), 2, 1, lit)
    elif s == 24:
        disc(c, cx, cx, r, BLUE_SET)
        pixel_chevrons(c, 17, (16, 21), 3, 2, lit)
    else:
        disc(c, cx, cx, r, BLUE_SET)
        pixel_chevrons(c, 23, (23, 29), 4, 2, lit)
    return c


DIM = rgb("#ffffff", 0.4)
# upper lit, lower lit, both dim: the light falls through the chevrons
CHEVRON_FLOW = ((WHITE, DIM), (DIM, WHITE), (DIM, DIM))


def tray(s, frame):
    """TRAY0 is A; TRAY1-3 ping; TRAY4-9 scroll three lines and step the
    light through the chevrons twice, so TRAY9 is followed seamlessly by
    TRAY4."""
    if frame == 0:
        return a_small(s)
    if frame <= 3:
        return a_small(s, ping_step=frame)
    k = frame - 4
    return a_small(s, scroll=k, lit=CHEVRON_FLOW[k % 3])


def file_small(s, buffered=False):
    c = Canvas(s)
    if s == 16:
        c.sprite(PAGE16_FILE, PAGE_PALETTE16)
        pixel_lines(c, 4, 11, 3, 13, 1, 2, fold_x=10, fold_y=4, buffered=buffered)
    elif s == 24:
        pixel_page(c, 3, 0, 20, 23, 5)
        pixel_lines(c, 6, 17, 4, 20, 2, 4, fold_x=15, fold_y=5, buffered=buffered)
    else:
        pixel_page(c, 4, 0, 27, 31, 7)
        pixel_lines(c, 7, 24, 4, 28, 2, 4, fold_x=20, fold_y=7, buffered=buffered)
    return c


def up_chevron(cx, apex, half, rise, thick):
    """An up-pointing chevron: its tip at (cx, apex), arms half wide and
    rise deep, strokes thick wide."""
    left = sd_capsule(cx - half, apex + rise, cx, apex, thick / 2.0)
    right = sd_capsule(cx, apex, cx + half, apex + rise, thick / 2.0)
    return lambda x, y: min(left(x, y), right(x, y))


def status_small(s, glyph, colours):
    c = Canvas(s)
    if s == 16:
        top, bottom, rim = colours
        c.sprite(DISC14, disc_palette(top, bottom, rim, 1, 15))
        if glyph == "play":
            c.fill(sd_polygon([(6, 4), (11.6, 8), (6, 12)]), WHITE)
        elif glyph == "browse":
            for apex in (4.6, 8.4):
                c.fill(up_chevron(8, apex, 3.4, 3.0, 1.7), WHITE)
        else:
            c.sprite(PAUSE16_GLYPH, GLYPH_PALETTE)
        return c
    r = s * 7.0 / 16.0
    m = s / 2.0
    disc(c, m, m, r, colours, rim=1.0)
    u = s / 16.0
    if glyph == "play":
        c.fill(sd_polygon([(m - 2.0 * u, m - 4.5 * u), (m + 3.9 * u, m), (m - 2.0 * u, m + 4.5 * u)]),
               WHITE, (0, 0, s, s))
    elif glyph == "browse":
        for apex in (m - 3.4 * u, m + 0.4 * u):
            c.fill(up_chevron(m, apex, 3.4 * u, 3.0 * u, 1.7 * u), WHITE, (0, 0, s, s))
    else:
        bar = round(2 * u)
        x0 = int(round(m - 1.5 * u)) - bar
        x1 = int(round(m + 1.5 * u))
        y0, y1 = int(round(m - 4 * u)), int(round(m + 4 * u))
        for x in list(range(x0, x0 + bar)) + list(range(x1, x1 + bar)):
            for y in range(y0, y1):
                c.put(x, y, WHITE)
    return c

# ---------------------------------------------------------------------------
# 48 px and up, drawn from shapes


def sd_capsule(ax, ay, bx, by, r):
    def f(x, y):
        px, py = x - ax, y - ay
        ex, ey = bx - ax, by - ay
        t = max(0.0, min(1.0, (px * ex + py * ey) / (ex * ex + ey * ey)))
        return math.hypot(px - ex * t, py - ey * t) - r
    return f


def a_large(s):
    c = Canvas(s)
    u = s / 32.0
    left, top, right, bottom = round(2.5 * u), round(1 * u), round(25 * u), round(31 * u)
    fold = round(7 * u)
    stroke = max(1, round(s / 44.0))
    radius = s / 64.0
    body = sd_box(left, top, right, bottom, radius)
    fx, fy = right - fold, top + fold
    n = (1 / math.sqrt(2), -1 / math.sqrt(2))
    beyond = lambda x, y: (x - fx) * n[0] + (y - top) * n[1]  # noqa: E731
    page = lambda x, y: max(body(x, y), beyond(x, y))  # noqa: E731
    box = (left - 1, top - 1, right + 1, bottom + 1)
    # soft shadow, page, paper
    blur = s / 36.0
    c.fill(lambda x, y: page(x - blur * 0.3, y - blur * 0.9), SHADOW[:3] + (0.28,),
           (left - 3 * blur, top - 3 * blur, right + 3 * blur, bottom + 3 * blur), soft=blur * 2)
    c.fill(page, OUTLINE, box)
    inner = sd_grow(page, -stroke)
    c.fill(inner, vertical(PAPER, PAPER_LOW, top, bottom), box)
    # folded corner
    tri = sd_polygon([(fx, top), (right, fy), (fx, fy)])
    c.fill(sd_grow(tri, stroke * 0.5), OUTLINE, (fx - 2, top - 2, right + 2, fy + 2))
    c.fill(sd_grow(tri, -stroke * 0.5), FOLD, (fx - 2, top - 2, right + 2, fy + 2))
    # log lines: a time stamp (amber on every third line), then the text
    thick = max(2, round(s / 21.0))
    pitch = round(s / 10.0)
    x0 = round(left + stroke + 2.5 * u)
    x1 = round(right - stroke - 2.5 * u)
    width = x1 - x0
    stamp = round(x0 + width * 0.24)
    y = round(top + stroke + 2.6 * u)
    rr = thick / 2.0
    j = 0
    while y + thick <= bottom - stroke - 2.2 * u:
        end = x0 + LINE_LENGTHS[j % 3] * width
        if y <= fy + u:
            end = min(end, fx - 2 * u)
        c.fill(sd_box(x0, y, stamp, y + thick, rr), WARN if j % 3 == 1 else LINE_DARK,
               (x0, y, stamp, y + thick))
        c.fill(sd_box(stamp + thick * 1.2, y, end, y + thick, rr), LINE,
               (stamp, y, end, y + thick))
        y += pitch
        j += 1
    # badge
    r = 8.0 * u
    cx = s - r - 0.5 * u
    gap = max(1.3, 1.2 * u)
    c.fill(sd_circle(cx, cx, r + gap), None, (cx - r - gap, cx - r - gap, s, s), erase=True)
    rim = max(1.0, r / 10.0)
    disc(c, cx, cx, r, BLUE_SET, rim=rim)
    # a soft highlight on the upper half
    hl = sd_circle(cx, cx - r * 0.62, r * 0.92)
    body_disc = sd_circle(cx, cx, r - rim)
    c.fill(lambda x, y: max(hl(x, y), body_disc(x, y)), rgb("#ffffff", 0.12), (cx - r, cx - r, cx + r, cx))
    # two chevrons
    half = 3.9 * u
    t = 0.95 * u
    for apex in (cx - 0.1 * u, cx + 3.5 * u):
        for sx in (-1, 1):
            c.fill(sd_capsule(cx + sx * half, apex - half, cx, apex, t), WHITE,
                   (cx - half - 2 * t, apex - half - 2 * t, cx + half + 2 * t, apex + 2 * t))
    return c


# ---------------------------------------------------------------------------
# The icon set


def build_icons():
    icons = {}
    icons["A"] = [a_small(16), a_small(24), a_small(32)] + [a_large(s) for s in (48, 64, 256)]
    # The About box shows the first image at its real size: the 48 px one.
    icons["B"] = [a_large(48), a_small(16), a_small(24), a_small(32), a_large(64), a_large(256)]
    for name, glyph, colours in (("PLAY", "play", GREEN_SET), ("PAUSE", "pause", AMBER_SET),
                                 ("BROWSE", "browse", BLUE_SET)):
        icons[name] = [status_small(s, glyph, colours) for s in (16, 24, 32)]
    icons["FILE"] = [file_small(s) for s in (16, 24, 32)]
    icons["BUFF"] = [file_small(s, True) for s in (16, 24, 32)]
    for f in range(10):
        icons["TRAY%d" % f] = [tray(16, f), tray(32, f)]
    return icons


# ---------------------------------------------------------------------------
# Output: PNG and ICO writers


def png_bytes(c):
    raw = bytearray()
    for y in range(c.h):
        raw.append(0)
        for x in range(c.w):
            raw.extend(c.get(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", c.w, c.h, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def dib_bytes(c):
    w, h = c.w, c.h
    mask_stride = ((w + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for y in range(h - 1, -1, -1):  # bottom-up
        bits = bytearray(mask_stride)
        for x in range(w):
            r, g, b, a = c.get(x, y)
            xor.extend((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask.extend(bits)
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def ico_bytes(images):
    # Kept in the order given: a real-size image control shows the first.
    blobs = [png_bytes(c) if c.w >= 256 else dib_bytes(c) for c in images]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for c, blob in zip(images, blobs):
        out += struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    return bytes(out)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--out", default=os.path.join(root, "resources", "icons"),
                        help="directory for the .ico files")
    parser.add_argument("--png", help="also write every image as NAME-SIZE.png into this directory")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    if args.png:
        os.makedirs(args.png, exist_ok=True)
    for name, images in build_icons().items():
        path = os.path.join(args.out, name + ".ico")
        with open(path, "wb") as f:
            f.write(ico_bytes(images))
        if args.png:
            for c in images:
                with open(os.path.join(args.png, "%s-%d.png" % (name, c.w)), "wb") as f:
                    f.write(png_bytes(c))
        print("wrote %s (%s)" % (os.path.relpath(path), ", ".join(str(c.w) for c in sorted(images, key=lambda c: c.w))))


if __name__ == "__main__":
    main()
