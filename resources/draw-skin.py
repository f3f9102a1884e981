#!/usr/bin/python3
"""Draws the program's skin: every PNG image the two windows' markup and the
list rows name, and the application icon, at the sizes and cell layouts the
markup cuts them by.

    draw-skin.py OUTDIR             writes OUTDIR/skin/<id>.png (the resource id, RESOURCE_IDS)
                                    and OUTDIR/RuntimeCheck.ico
    draw-skin.py OUTDIR --preview   also writes OUTDIR/skin-preview.png (every image, enlarged)

Shapes are drawn four times larger and reduced, so edges are anti-aliased;
straight lines sit on whole pixels so they stay crisp."""

import math
import os
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

SS = 4  # supersampling factor

FONT_DIR = "/usr/share/fonts/truetype/dejavu"
FONT_BOLD = os.path.join(FONT_DIR, "DejaVuSans-Bold.ttf")
FONT_CONDENSED = os.path.join(FONT_DIR, "DejaVuSansCondensed-Bold.ttf")

# One palette for everything: a dark blue title band, light bands below, the
# markup's own text colours for accents.
TITLE_TOP = (46, 88, 136)
TITLE_BOTTOM = (28, 58, 96)
TITLE_EDGE = (20, 44, 74)
ACCENT = (72, 127, 179)          # #487fb3, the highlighted name colour
ACCENT_DARK = (50, 98, 146)
GREEN = (94, 191, 3)             # #5ebf03, "being repaired"
ORANGE = (247, 131, 37)          # #f78325, "missing" / "failed"
TEXT = (86, 86, 86)              # #565656
STATUS_TOP = (246, 249, 252)
STATUS_BOTTOM = (232, 238, 245)
BODY_TOP = (255, 255, 255)
BODY_BOTTOM = (244, 247, 250)
FRAME = (132, 151, 172)
SEPARATOR = (211, 219, 228)
GLYPH = (226, 234, 243)
CLOSE_RED = (214, 64, 52)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def rgba(colour, alpha=255):
    return tuple(colour[:3]) + (alpha,)


class Canvas:
    """An RGBA picture drawn at SS times its size; coordinates are given in
    final pixels (floats allowed) and scaled here."""

    def __init__(self, width, height, fill=(0, 0, 0, 0)):
        self.width, self.height = width, height
        self.image = Image.new("RGBA", (width * SS, height * SS), fill)
        self.draw = ImageDraw.Draw(self.image)

    @staticmethod
    def s(value):
        return int(round(value * SS))

    def _paint(self, colour, fn):
        """Runs fn with a drawing context; see-through colours are drawn on a
        layer and composited, opaque ones straight onto the picture."""
        if len(colour) == 3 or colour[3] == 255:
            fn(self.draw, rgba(colour))
            return
        layer = Image.new("RGBA", self.image.size, (0, 0, 0, 0))
        fn(ImageDraw.Draw(layer), colour)
        self.image.alpha_composite(layer)

    def box(self, x0, y0, x1, y1):
        return [self.s(x0), self.s(y0), self.s(x1) - 1, self.s(y1) - 1]

    def rect(self, x0, y0, x1, y1, colour):
        self._paint(colour, lambda d, c: d.rectangle(self.box(x0, y0, x1, y1), fill=c))

    def rounded(self, x0, y0, x1, y1, radius, colour):
        self._paint(colour, lambda d, c: d.rounded_rectangle(self.box(x0, y0, x1, y1), radius=self.s(radius), fill=c))

    def gradient(self, x0, y0, x1, y1, top, bottom, radius=0):
        """An opaque vertical gradient, optionally clipped to a rounded rectangle."""
        layer = Image.new("RGBA", self.image.size, (0, 0, 0, 0))
        draw = ImageDraw.Draw(layer)
        top_px, bottom_px = self.s(y0), self.s(y1)
        for y in range(top_px, bottom_px):
            colour = mix(top, bottom, (y - top_px) / max(1, bottom_px - top_px - 1))
            draw.line([(self.s(x0), y), (self.s(x1) - 1, y)], fill=rgba(colour))
        mask = Image.new("L", self.image.size, 0)
        ImageDraw.Draw(mask).rounded_rectangle(self.box(x0, y0, x1, y1), radius=self.s(radius), fill=255)
        self.image.paste(layer, (0, 0), mask)

    def ellipse(self, cx, cy, rx, colour, ry=None):
        ry = rx if ry is None else ry
        box = [self.s(cx - rx), self.s(cy - ry), self.s(cx + rx) - 1, self.s(cy + ry) - 1]
        self._paint(colour, lambda d, c: d.ellipse(box, fill=c))

    def stroke(self, points, width, colour):
        """A polyline with round caps and joins."""
        scaled = [(self.s(x), self.s(y)) for x, y in points]
        r = width * SS / 2

        def draw(d, c):
            d.line(scaled, fill=c, width=self.s(width), joint="curve")
            for x, y in scaled:
                d.ellipse([x - r, y - r, x + r, y + r], fill=c)
        self._paint(colour, draw)

    def arc(self, cx, cy, r, start, end, width, colour, caps=True):
        box = [self.s(cx - r), self.s(cy - r), self.s(cx + r), self.s(cy + r)]
        cap = width * SS / 2

        def draw(d, c):
            d.arc(box, start, end, fill=c, width=self.s(width))
            for angle in ((start, end) if caps else ()):
                # the cap's centre lies in the middle of the stroke, half a width inside the radius
                x = self.s(cx) + (r * SS - cap) * math.cos(math.radians(angle))
                y = self.s(cy) + (r * SS - cap) * math.sin(math.radians(angle))
                d.ellipse([x - cap, y - cap, x + cap, y + cap], fill=c)
        self._paint(colour, draw)

    def polygon(self, points, colour):
        self._paint(colour, lambda d, c: d.polygon([(self.s(x), self.s(y)) for x, y in points], fill=c))

    def cut(self, points):
        """Makes a polygon fully transparent."""
        self.draw.polygon([(self.s(x), self.s(y)) for x, y in points], fill=(0, 0, 0, 0))

    def text(self, cx, cy, text, size, colour, font=FONT_BOLD, max_width=None):
        """Text centred on (cx, cy) by its ink box; shrunk to max_width."""
        while True:
            face = ImageFont.truetype(font, self.s(size))
            left, top, right, bottom = self.draw.textbbox((0, 0), text, font=face)
            if max_width is None or right - left <= self.s(max_width) or size <= 6:
                break
            size -= 0.5
        x = self.s(cx) - (left + right) / 2
        y = self.s(cy) - (top + bottom) / 2
        self._paint(colour, lambda d, c: d.text((x, y), text, font=face, fill=c))

    def paste_with_halo(self, other, halo):
        """Composites another canvas of the same size over a white outline of
        its shape, so a tool in front stays apart from what lies behind it."""
        alpha = other.image.getchannel("A").filter(ImageFilter.MaxFilter(2 * self.s(halo) + 1))
        white = Image.new("RGBA", self.image.size, (255, 255, 255, 0))
        white.putalpha(alpha)
        self.image.alpha_composite(white)
        self.image.alpha_composite(other.image)

    def paste(self, other, x, y):
        """Composites another canvas (same scale) at a final-pixel offset."""
        self.image.alpha_composite(other.image, (self.s(x), self.s(y)))

    def result(self):
        # Reduced with premultiplied alpha, so transparent edges take no dark fringe.
        return self.image.convert("RGBa").reduce(SS).convert("RGBA")


def strip(cells):
    """Joins equally sized cells left to right."""
    width = sum(cell.width for cell in cells)
    out = Image.new("RGBA", (width, cells[0].height), (0, 0, 0, 0))
    x = 0
    for cell in cells:
        out.paste(cell, (x, 0))
        x += cell.width
    return out


def title_colour(y, height):
    return mix(TITLE_TOP, TITLE_BOTTOM, y / max(1, height - 1))


def title_band(canvas, width, rows, band_height):
    """The first rows of a title band band_height pixels high."""
    for y in range(rows):
        canvas.rect(0, y, width, y + 1, title_colour(y, band_height))
    canvas.rect(0, 0, width, 1, mix(TITLE_TOP, (255, 255, 255), 0.18))


def disc(c, cx, cy, r, colour):
    """A round badge: a darker rim around a top-lit gradient."""
    c.ellipse(cx, cy, r, rgba(mix(colour, (0, 0, 0), 0.15)))
    inner = Canvas(c.width, c.height)
    inner.gradient(0, cy - r, c.width, cy + r, rgba(mix(colour, (255, 255, 255), 0.22)), rgba(colour))
    mask = Image.new("L", inner.image.size, 0)
    ImageDraw.Draw(mask).ellipse([Canvas.s(cx - r + 1), Canvas.s(cy - r + 1), Canvas.s(cx + r - 1),
                                  Canvas.s(cy + r - 1)], fill=255)
    c.image.paste(inner.image, (0, 0), mask)


# ---- title-bar buttons ---------------------------------------------------------------------------------

def title_button(width, height, band_height, glyph, state):
    """One cell of a title-bar button on the band's own colours (opaque, so it
    matches wherever the band is drawn). state: 0 normal, 1 hot, 2 pushed."""
    c = Canvas(width, height)
    title_band(c, width, height, band_height)
    colour = rgba(GLYPH)
    if state == 1:
        c.rect(0, 0, width, height, (255, 255, 255, 40))
        colour = rgba((255, 255, 255))
    elif state == 2:
        if glyph == "close":
            c.gradient(0, 0, width, height, rgba(CLOSE_RED), rgba(mix(CLOSE_RED, (0, 0, 0), 0.18)))
        else:
            c.rect(0, 0, width, height, (0, 0, 0, 56))
        colour = rgba((255, 255, 255))
    cx, cy = width / 2, height / 2
    if glyph == "close":
        arm = 4.6 if height > 24 else 4.0
        c.stroke([(cx - arm, cy - arm), (cx + arm, cy + arm)], 1.7, colour)
        c.stroke([(cx - arm, cy + arm), (cx + arm, cy - arm)], 1.7, colour)
    else:
        c.stroke([(cx - 5, cy + 3.5), (cx + 5, cy + 3.5)], 1.7, colour)
    return c.result()


def main_close_button():
    return strip([title_button(37, 29, 40, "close", s) for s in range(3)])


def main_minimise_button():
    return strip([title_button(37, 29, 40, "minimise", s) for s in range(3)])


def prompt_close_button():
    return strip([title_button(31, 23, 30, "close", s) for s in range(3)])


# ---- check boxes ---------------------------------------------------------------------------------------

def check_cell(kind):
    """kind: unticked, hot, ticked, disabled, disabled-ticked, mixed."""
    c = Canvas(18, 18)
    x0, y0, x1, y1 = 2, 2, 16, 16
    if kind in ("unticked", "hot"):
        border = ACCENT if kind == "hot" else (170, 180, 192)
        top = (255, 255, 255) if kind == "unticked" else (240, 246, 252)
        c.rounded(x0, y0, x1, y1, 3, rgba(border))
        c.gradient(x0 + 1, y0 + 1, x1 - 1, y1 - 1, rgba(top), rgba(mix(top, (226, 232, 239), 0.6)), radius=2)
        return c.result()
    if kind == "disabled":
        c.rounded(x0, y0, x1, y1, 3, rgba((208, 213, 219)))
        c.rounded(x0 + 1, y0 + 1, x1 - 1, y1 - 1, 2, rgba((241, 243, 245)))
        return c.result()
    fill_top, fill_bottom = mix(ACCENT, (255, 255, 255), 0.12), ACCENT_DARK
    if kind == "disabled-ticked":
        fill_top, fill_bottom = (196, 203, 211), (176, 184, 193)
    c.rounded(x0, y0, x1, y1, 3, rgba(fill_bottom))
    c.gradient(x0 + 0.5, y0 + 0.5, x1 - 0.5, y1 - 0.5, rgba(fill_top), rgba(fill_bottom), radius=2.5)
    white = rgba((255, 255, 255))
    if kind == "mixed":
        c.stroke([(5.5, 9), (12.5, 9)], 2.0, white)
    else:
        c.stroke([(5.2, 9.2), (7.9, 11.9), (12.8, 6.4)], 1.9, white)
    return c.result()


def check_box():
    kinds = ["unticked", "hot", "ticked", "disabled", "disabled-ticked", "mixed"]
    return strip([check_cell(k) for k in kinds])


# ---- window backgrounds --------------------------------------------------------------------------------

def window_background(width, height, title_height, bands):
    """Title band, then (top, bottom, first row, last row) bands, a 1-px frame."""
    c = Canvas(width, height)
    title_band(c, width, title_height, title_height)
    for first, last, top, bottom in bands:
        for y in range(first, last):
            c.rect(0, y, width, y + 1, mix(top, bottom, (y - first) / max(1, last - first - 1)))
    return c


def frame(c, width, height, title_height):
    c.rect(0, 0, 1, title_height, TITLE_EDGE)
    c.rect(width - 1, 0, width, title_height, TITLE_EDGE)
    c.rect(0, title_height, 1, height, FRAME)
    c.rect(width - 1, title_height, width, height, FRAME)
    c.rect(0, height - 1, width, height, FRAME)


def main_background():
    c = window_background(800, 600, 40, [
        (40, 41, TITLE_EDGE, TITLE_EDGE),
        (41, 141, STATUS_TOP, STATUS_BOTTOM),
        (141, 142, SEPARATOR, SEPARATOR),
        (142, 600, BODY_TOP, BODY_BOTTOM),
    ])
    # a faint highlight under the separator gives the status band some depth
    c.rect(0, 142, 800, 143, (250, 252, 254))
    frame(c, 800, 600, 40)
    return c.result()


def prompt_background():
    c = window_background(396, 250, 30, [
        (30, 210, BODY_TOP, (250, 251, 253)),
        (210, 211, SEPARATOR, SEPARATOR),
        (211, 250, STATUS_TOP, STATUS_BOTTOM),
    ])
    # the prompt's question badge left of the message
    badge = question_badge(56)
    c.paste(badge, 20, 92)
    frame(c, 396, 250, 30)
    return c.result()


def question_badge(size):
    c = Canvas(size, size)
    r = size / 2 - 2
    c.ellipse(size / 2, size / 2 + 1.5, r, (0, 0, 0, 28))
    disc(c, size / 2, size / 2, r, ACCENT)
    c.text(size / 2, size / 2 + 1, "?", size * 0.55, rgba((255, 255, 255)))
    return c


# ---- progress bar, stripes, footer, slider -------------------------------------------------------------

def progress_track():
    c = Canvas(512, 15)
    c.rounded(0, 0, 512, 15, 2, rgba((190, 201, 213)))
    c.rounded(1, 1, 511, 14, 1.5, rgba((240, 243, 247)))
    c.rect(2, 1, 510, 2, (226, 231, 237))
    return c.result()


def progress_fill():
    c = Canvas(509, 13)
    c.gradient(0, 0, 509, 13, rgba((120, 182, 236)), rgba((52, 112, 175)), radius=2.5)
    c.rect(2, 1, 507, 2, (255, 255, 255, 90))
    c.rect(2, 12, 507, 13, (30, 80, 135, 110))
    return c.result()


def stripe(colour):
    c = Canvas(800, 80, rgba(colour))
    c.rect(0, 79, 800, 80, (226, 231, 236))
    return c.result()


def row_stripe_white():
    return stripe((255, 255, 255))


def row_stripe_grey():
    return stripe((246, 248, 251))


def list_footer():
    c = Canvas(798, 32)
    c.gradient(0, 0, 798, 32, rgba((246, 247, 249)), rgba((234, 237, 241)))
    c.rect(0, 0, 798, 1, SEPARATOR)
    c.rect(0, 1, 798, 2, (255, 255, 255))
    return c.result()


def thumb_cell(colour):
    c = Canvas(18, 100)
    c.rounded(5, 1, 13, 99, 4, rgba(mix(colour, (0, 0, 0), 0.12)))
    c.gradient(5.75, 1.75, 12.25, 98.25, rgba(mix(colour, (255, 255, 255), 0.18)), rgba(colour), radius=3.2)
    for y in (46, 50, 54):
        c.rect(7, y, 11, y + 1, (255, 255, 255, 150))
    return c.result()


def slider_thumb():
    return strip([thumb_cell(col) for col in ((184, 194, 205), (150, 170, 192), ACCENT)])


def slider_track():
    c = Canvas(18, 380)
    c.rounded(6, 0, 12, 380, 3, (214, 221, 229, 200))
    c.rounded(7, 1, 11, 379, 2, (236, 240, 244, 230))
    return c.result()


# ---- busy spinner --------------------------------------------------------------------------------------

def busy_spinner():
    cells = []
    for frame_index in range(6):
        c = Canvas(21, 21)
        c.arc(10.5, 10.5, 8, 0, 360, 2.4, rgba(mix(GREEN, (255, 255, 255), 0.78)))
        start = frame_index * 60 - 90
        # a head and a fading tail: three overlapping arcs
        for t, alpha in ((0, 90), (40, 170), (80, 255)):
            c.arc(10.5, 10.5, 8, start + t, start + 130, 2.4, rgba(GREEN, alpha))
        cells.append(c.result())
    return strip(cells)


# ---- panel icons ---------------------------------------------------------------------------------------

def shadow(c, cx, cy, rx, ry, alpha=40):
    c.ellipse(cx, cy, rx, (0, 0, 0, alpha), ry)


def monitor(c, x, y, w, h):
    """A flat-screen PC: bezel, screen, neck and foot."""
    shadow(c, x + w / 2, y + h + 13, w * 0.42, 2.6, 35)
    c.rounded(x + w / 2 - 4, y + h - 2, x + w / 2 + 4, y + h + 8, 1, rgba((120, 134, 150)))
    c.rounded(x + w / 2 - 14, y + h + 7, x + w / 2 + 14, y + h + 12, 2.5, rgba((98, 112, 128)))
    c.rounded(x, y, x + w, y + h, 4, rgba((58, 74, 94)))
    c.gradient(x + 3, y + 3, x + w - 3, y + h - 3, rgba((214, 233, 250)), rgba((140, 186, 230)), radius=1.5)
    # a soft reflection across the screen's upper left
    c.polygon([(x + 3, y + 3), (x + w * 0.62, y + 3), (x + 3, y + h * 0.7)], (255, 255, 255, 70))


def magnifier(c, cx, cy, r):
    angle = math.radians(45)
    hx, hy = cx + (r + 1) * math.cos(angle), cy + (r + 1) * math.sin(angle)
    ex, ey = cx + (r + 11) * math.cos(angle), cy + (r + 11) * math.sin(angle)
    c.stroke([(hx, hy), (ex, ey)], 6.5, rgba((52, 64, 80)))
    c.stroke([(hx + 1.2, hy + 1.2), (ex - 1, ey - 1)], 2.2, rgba((110, 124, 142)))
    c.ellipse(cx, cy, r, rgba(ACCENT_DARK))
    c.ellipse(cx, cy, r - 3.2, (236, 245, 253, 235))
    c.arc(cx, cy, r - 5.5, 200, 260, 2, (255, 255, 255, 255))


def wrench(c, cx, cy, length, angle_deg):
    """An open-ended spanner lying along angle_deg through (cx, cy)."""
    a = math.radians(angle_deg)
    ux, uy = math.cos(a), math.sin(a)
    px, py = -uy, ux

    def at(along, across):
        return (cx + ux * along + px * across, cy + uy * along + py * across)

    half = length / 2
    steel_dark, steel = (70, 86, 106), (150, 166, 186)
    c.polygon([at(-half + 5, -3.4), at(half - 6, -3.4), at(half - 6, 3.4), at(-half + 5, 3.4)], rgba(steel_dark))
    c.polygon([at(-half + 5, -1.6), at(half - 6, -1.6), at(half - 6, 0.2), at(-half + 5, 0.2)], rgba(steel))
    for end, sign in ((half - 4, 1), (-half + 4, -1)):
        hx, hy = at(end, 0)
        c.ellipse(hx, hy, 8, rgba(steel_dark))
        c.ellipse(hx, hy, 6, rgba(steel))
        # the jaw: a notch cut along the spanner's axis
        jaw = [at(end + sign * 1.5, -3.2), at(end + sign * 9.5, -3.2), at(end + sign * 9.5, 3.2),
               at(end + sign * 1.5, 3.2)]
        c.cut(jaw)


def checking_icon():
    c = Canvas(70, 83)
    monitor(c, 3, 14, 54, 40)
    tool = Canvas(70, 83)
    magnifier(tool, 47, 49, 13)
    c.paste_with_halo(tool, 1.5)
    return c.result()


def repairing_icon():
    c = Canvas(70, 83)
    monitor(c, 3, 14, 54, 40)
    tool = Canvas(70, 83)
    wrench(tool, 51, 56, 30, -45)
    c.paste_with_halo(tool, 1.5)
    return c.result()


def document(c, x, y, w, h):
    shadow(c, x + w / 2 + 1, y + h + 2, w * 0.48, 2.2, 30)
    fold = 9
    c.polygon([(x, y), (x + w - fold, y), (x + w, y + fold), (x + w, y + h), (x, y + h)], rgba((150, 164, 180)))
    c.polygon([(x + 1, y + 1), (x + w - fold - 0.4, y + 1), (x + w - 1, y + fold + 0.4), (x + w - 1, y + h - 1),
               (x + 1, y + h - 1)], rgba((255, 255, 255)))
    c.polygon([(x + w - fold, y), (x + w - fold, y + fold), (x + w, y + fold)], rgba((208, 217, 227)))
    for i, (length, colour) in enumerate([(0.55, ACCENT), (0.75, (190, 199, 210)), (0.68, (190, 199, 210)),
                                         (0.75, (190, 199, 210)), (0.45, (190, 199, 210))]):
        ly = y + 8 + i * 5.5
        c.rect(x + 5, ly, x + 5 + (w - 10) * length, ly + 2, colour)


def check_done_icon():
    c = Canvas(50, 64)
    document(c, 4, 8, 30, 40)
    magnifier(c, 32, 38, 9.5)
    return c.result()


def round_mark(colour, glyph):
    c = Canvas(50, 64)
    cx, cy, r = 25, 30, 19
    shadow(c, cx, cy + r + 5, r * 0.8, 2.2, 30)
    disc(c, cx, cy, r, colour)
    white = rgba((255, 255, 255))
    if glyph == "tick":
        c.stroke([(cx - 8.5, cy + 0.5), (cx - 2.5, cy + 6.5), (cx + 9, cy - 6)], 4.2, white)
    else:
        c.stroke([(cx, cy - 10), (cx, cy + 3)], 4.4, white)
        c.ellipse(cx, cy + 9.5, 2.6, white)
    return c.result()


def all_repaired_icon():
    return round_mark((76, 168, 16), "tick")


def attention_icon():
    return round_mark(ORANGE, "mark")


# ---- buttons -------------------------------------------------------------------------------------------

def button_cell(state):
    """103x41, radius 3 so every corner lies inside the 3-px nine-grid border."""
    c = Canvas(103, 41)
    looks = {
        "normal": ((176, 187, 199), (255, 255, 255), (232, 236, 241)),
        "hot": ((112, 156, 201), (255, 255, 255), (222, 234, 246)),
        "pushed": ((128, 144, 162), (218, 224, 231), (238, 241, 245)),
        "disabled": ((212, 217, 222), (246, 247, 248), (240, 241, 243)),
    }
    border, top, bottom = looks[state]
    c.rounded(0, 0, 103, 41, 3, rgba(border))
    c.gradient(1, 1, 102, 40, rgba(top), rgba(bottom), radius=2)
    if state in ("normal", "hot"):
        c.rect(3, 1, 100, 2, (255, 255, 255))
    return c.result()


def button_face():
    return strip([button_cell(s) for s in ("normal", "hot", "pushed", "disabled")])


# ---- runtime logos -------------------------------------------------------------------------------------

# Each runtime's logo: its label, the line under it and its colour.
LOGOS = {
    "directx_logo": ("DX", "9.0", (78, 106, 140)),
    "gfw_live_logo": ("GFW", "LIVE", (86, 132, 84)),
    "dotnet_logo": (".NET", "FW", (108, 92, 156)),
    "applocale_logo": ("APP", "LOCALE", (62, 134, 138)),
    "silverlight_logo": ("SL", "PLUG-IN", (112, 126, 146)),
    "xna40_logo": ("XNA", "4.0", (118, 134, 58)),
    "msxml6_logo": ("XML", "6.0", (178, 116, 56)),
    "xna31_logo": ("XNA", "3.1", (100, 118, 52)),
    "msxml34_logo": ("XML", "3 / 4", (160, 104, 52)),
    "openal_logo": ("AL", "AUDIO", (150, 88, 110)),
    "vc2005_logo": ("C++", "2005", (84, 94, 164)),
    "vc2008_logo": ("C++", "2008", (76, 104, 168)),
    "vc2010_logo": ("C++", "2010", (94, 84, 160)),
    "vc2012_logo": ("C++", "2012", (70, 112, 160)),
    "physx_logo": ("PX", "PHYSICS", (62, 120, 96)),
    "java_logo": ("JRE", "SE", (170, 98, 66)),
    "flash_logo": ("FL", "PLAYER", (170, 72, 70)),
}


def logo(label, sub, colour):
    c = Canvas(50, 50)
    c.rounded(1, 2, 49, 50, 9, (0, 0, 0, 36))
    c.rounded(1, 1, 49, 49, 9, rgba(mix(colour, (0, 0, 0), 0.2)))
    c.gradient(2, 2, 48, 48, rgba(mix(colour, (255, 255, 255), 0.2)), rgba(colour), radius=8)
    c.rounded(2, 2, 48, 26, 8, (255, 255, 255, 22))
    c.text(25, 21.5, label, 17, rgba((255, 255, 255)), max_width=40)
    c.text(25, 38, sub, 8.5, (255, 255, 255, 215), font=FONT_CONDENSED, max_width=40)
    return c.result()


# ---- application icon ----------------------------------------------------------------------------------

def icon(size):
    """A blue shield with a white tick; drawn on a 256 grid, reduced in one step."""
    big = 256
    scale = big / size
    c = Canvas(size, size)
    k = 1 / scale

    def p(x, y):
        return (x * k, y * k)

    outline = [p(128, 14), p(228, 50), p(228, 128)]
    outline += [p(128 + 100 * math.cos(t), 128 + 116 * math.sin(t)) for t in
                [i * math.pi / 2 / 16 for i in range(0, 17)]]
    outline += [p(128 - 100 * math.cos(t), 128 + 116 * math.sin(t)) for t in
                [math.pi / 2 - i * math.pi / 2 / 16 for i in range(0, 17)]]
    outline += [p(28, 128), p(28, 50)]
    c.polygon(outline, rgba((29, 74, 122)))
    inset = [(128 + (x / k - 128) * 0.9, 132 + (y / k - 132) * 0.9) for x, y in outline]
    c.polygon([p(x, y) for x, y in inset], rgba((47, 111, 179)))
    c.polygon([p(128, 26), p(128, 238), p(40, 200), p(36, 58)], (255, 255, 255, 24))
    c.stroke([p(78, 132), p(114, 168), p(182, 92)], 30 * k, rgba((255, 255, 255)))
    return c.result()


# ---- output --------------------------------------------------------------------------------------------

# The resource id of every image: the number AppResources.rc files it under
# and the markup and the list rows ask for.
RESOURCE_IDS = {
    "main_close_button": 404,
    "main_minimise_button": 405,
    "check_box": 408,
    "prompt_close_button": 423,
    "main_background": 510,
    "progress_track": 511,
    "progress_fill": 512,
    "row_stripe_white": 516,
    "row_stripe_grey": 517,
    "list_footer": 518,
    "busy_spinner": 521,
    "check_done_icon": 523,
    "repairing_icon": 524,
    "all_repaired_icon": 525,
    "attention_icon": 526,
    "prompt_background": 539,
    "slider_thumb": 600,
    "slider_track": 601,
    "checking_icon": 602,
    "button_face": 603,
    "directx_logo": 604,
    "gfw_live_logo": 605,
    "dotnet_logo": 606,
    "applocale_logo": 607,
    "silverlight_logo": 608,
    "xna40_logo": 609,
    "msxml6_logo": 610,
    "xna31_logo": 611,
    "msxml34_logo": 612,
    "openal_logo": 613,
    "vc2005_logo": 614,
    "vc2008_logo": 615,
    "vc2010_logo": 616,
    "vc2012_logo": 617,
    "physx_logo": 618,
    "java_logo": 619,
    "flash_logo": 620,
}


def all_images():
    """Every image by its resource id."""
    images = {}
    for name, image_id in RESOURCE_IDS.items():
        if name in LOGOS:
            images[image_id] = logo(*LOGOS[name])
        else:
            images[image_id] = globals()[name]()
    return images


def preview(images, path):
    scale = 2
    pad = 12
    rows, row, x, y, row_h = [], [], pad, pad, 0
    sheet_w = 1720
    for image_id in sorted(images):
        im = images[image_id]
        w, h = im.width * scale, im.height * scale
        if w > 820:
            w, h = im.width, im.height
        if x + w + pad > sheet_w:
            x, y, row_h = pad, y + row_h + pad + 14, 0
        rows.append((image_id, im, x, y, w, h))
        x += w + pad
        row_h = max(row_h, h)
    sheet = Image.new("RGBA", (sheet_w, y + row_h + pad + 14), (200, 204, 210, 255))
    draw = ImageDraw.Draw(sheet)
    label_font = ImageFont.truetype(FONT_BOLD, 11)
    for image_id, im, x, y, w, h in rows:
        checker = Image.new("RGBA", (w, h), (255, 255, 255, 255))
        cd = ImageDraw.Draw(checker)
        for cy in range(0, h, 8):
            for cx in range((cy // 8 % 2) * 8, w, 16):
                cd.rectangle([cx, cy, cx + 7, cy + 7], fill=(228, 228, 228, 255))
        checker.alpha_composite(im.resize((w, h), Image.NEAREST))
        sheet.paste(checker, (x, y + 14))
        draw.text((x, y), str(image_id), font=label_font, fill=(30, 30, 30, 255))
    sheet.save(path)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(os.path.join(out, "skin"), exist_ok=True)
    images = all_images()
    for image_id, im in images.items():
        im.save(os.path.join(out, "skin", "%d.png" % image_id), optimize=True)
    sizes = [icon(s) for s in (48, 32, 16)]
    sizes[0].save(os.path.join(out, "RuntimeCheck.ico"), format="ICO", bitmap_format="bmp",
                  sizes=[(16, 16), (32, 32), (48, 48)], append_images=sizes[1:])
    if "--preview" in sys.argv:
        preview(images, os.path.join(out, "skin-preview.png"))


if __name__ == "__main__":
    main()
