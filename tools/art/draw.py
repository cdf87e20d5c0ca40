#!/usr/bin/env python3
"""Draws the setup program's pictures into resources/: the icon, the two logos and the
four list glyphs, the logos and glyphs at 100, 150 and 200 % (the 150 and 200 % files end in
150 and 200; the program picks the one for the screen's DPI). Standard library only; the generated files are committed, so builds
never need to run this. Run it again after changing a picture:  python3 tools/art/draw.py
"""
import collections
import math
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources")

# The 16 colours every Windows version has.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]

NAVY = (22, 36, 96)
DEEP = (12, 22, 64)
TEAL = (0, 128, 136)
AQUA = (96, 200, 208)
FORM = (240, 240, 240)   # the dialog colour the big logo fades into
WHITE = (255, 255, 255)


# ---------------------------------------------------------------- drawing

def scaled(size, scale):
    """A 100 % size at scale percent, rounded as the program rounds (halves up)."""
    return (size * scale + 50) // 100


class Canvas:
    """Pixels of a picture drawn in its 100 % coordinates: at scale percent, each unit is
    scale / 100 pixels, so the same drawing gives every density."""

    def __init__(self, w, h, colour, scale=100):
        self.s = scale / 100.0
        self.w, self.h = scaled(w, scale), scaled(h, scale)
        self.px = [[list(colour) for _ in range(self.w)] for _ in range(self.h)]

    def fill(self, colour_at):
        for y in range(self.h):
            for x in range(self.w):
                self.px[y][x] = list(colour_at((x + 0.5) / self.s, (y + 0.5) / self.s))

    def blend(self, x, y, c, a):
        p = self.px[y][x]
        for k in range(3):
            p[k] = p[k] * (1 - a) + c[k] * a

    def shape(self, inside, colour, box=None, alpha=1.0, ss=4):
        """Blends colour (a tuple or a function of x, y) where inside(x, y) holds,
        weighted by the share of ss x ss sub-samples inside (anti-aliasing)."""
        s = self.s
        x0, y0, x1, y1 = (v * s for v in box) if box else (0, 0, self.w, self.h)
        x0, y0 = max(0, int(x0)), max(0, int(y0))
        x1, y1 = min(self.w, int(math.ceil(x1))), min(self.h, int(math.ceil(y1)))
        step = 1.0 / ss
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = 0
                for j in range(ss):
                    for i in range(ss):
                        if inside((x + (i + 0.5) * step) / s, (y + (j + 0.5) * step) / s):
                            hits += 1
                if not hits:
                    continue
                a = alpha * hits / (ss * ss)
                c = colour((x + 0.5) / s, (y + 0.5) / s) if callable(colour) else colour
                self.blend(x, y, c, a)


class GlyphCanvas(Canvas):
    """A glyph on nothing: it keeps how much of each pixel is covered, so that its edge is
    either the glyph's own colour or the transparent one, never a blend with a background."""

    def __init__(self, w, h, scale):
        Canvas.__init__(self, w, h, (0, 0, 0), scale)
        self.alpha = [[0.0] * self.w for _ in range(self.h)]

    def blend(self, x, y, c, a):
        under = self.alpha[y][x]
        total = a + under * (1 - a)
        p = self.px[y][x]
        for k in range(3):
            p[k] = (c[k] * a + p[k] * under * (1 - a)) / total
        self.alpha[y][x] = total

    def keyed(self, key):
        for y in range(self.h):
            for x in range(self.w):
                if self.alpha[y][x] < 0.5:
                    self.px[y][x] = list(key)
        return self


def polygon(points):
    def inside(x, y):
        hit = False
        n = len(points)
        for i in range(n):
            xa, ya = points[i]
            xb, yb = points[(i + 1) % n]
            if (ya > y) != (yb > y) and x < xa + (y - ya) * (xb - xa) / (yb - ya):
                hit = not hit
        return hit
    return inside


def bounds(points, margin=1):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return (min(xs) - margin, min(ys) - margin, max(xs) + margin, max(ys) + margin)


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1


def thick_path(points, width):
    """A polyline of the given width with round joins."""
    half2 = (width / 2.0) ** 2

    def inside(x, y):
        for (xa, ya), (xb, yb) in zip(points, points[1:]):
            dx, dy = xb - xa, yb - ya
            t = ((x - xa) * dx + (y - ya) * dy) / (dx * dx + dy * dy or 1)
            t = min(1, max(0, t))
            if (x - xa - t * dx) ** 2 + (y - ya - t * dy) ** 2 <= half2:
                return True
        return False
    return inside


def mix(a, b, t):
    t = min(1.0, max(0.0, t))
    return tuple(a[k] + (b[k] - a[k]) * t for k in range(3))


def rotate(points, cx, cy, degrees):
    c, s = math.cos(math.radians(degrees)), math.sin(math.radians(degrees))
    return [(cx + (x - cx) * c - (y - cy) * s, cy + (x - cx) * s + (y - cy) * c) for x, y in points]


def feather(base, tip, width):
    """A quill's vane: a leaf from base to tip, widest two thirds of the way up."""
    (bx, by), (tx, ty) = base, tip
    length = math.hypot(tx - bx, ty - by)
    ux, uy = (tx - bx) / length, (ty - by) / length
    nx, ny = -uy, ux
    left, right = [], []
    for i in range(25):
        t = i / 24.0
        w = width * math.sin(math.pi * t ** 0.8) * (0.55 if t < 0.5 else 1.0) ** (1 - t)
        px, py = bx + ux * length * t, by + uy * length * t
        # The outer vane is wider, as on a real feather.
        left.append((px + nx * w * 0.55, py + ny * w * 0.55))
        right.append((px - nx * w * 0.35, py - ny * w * 0.35))
    return left + right[::-1]


def curve(p0, p1, p2, p3, n=40):
    pts = []
    for i in range(n + 1):
        t = i / float(n)
        u = 1 - t
        pts.append((u ** 3 * p0[0] + 3 * u * u * t * p1[0] + 3 * u * t * t * p2[0] + t ** 3 * p3[0],
                    u ** 3 * p0[1] + 3 * u * u * t * p1[1] + 3 * u * t * t * p2[1] + t ** 3 * p3[1]))
    return pts


# ---------------------------------------------------------------- the pictures

def draw_logo(scale=100):
    """The wizard's left column, 120 x 260: a page, a V whose right arm is a quill,
    a line of ink and waves, on a white ground that fades into the dialog colour."""
    w, h = 120, 260
    c = Canvas(w, h, WHITE, scale)

    def ground(x, y):
        base = mix(WHITE, FORM, (y - 150) / 110.0)
        # A soft teal glow behind the motif.
        d = math.hypot((x - 60) / 58.0, (y - 100) / 70.0)
        return mix(base, (214, 236, 240), (1 - d) ** 1.5 if d < 1 else 0)
    c.fill(ground)

    # The page, tilted, with its shadow and folded corner.
    page = rotate([(32, 50), (82, 50), (94, 62), (94, 132), (32, 132)], 63, 91, -9)
    c.shape(polygon([(x + 3, y + 4) for x, y in page]), (150, 170, 185), box=bounds(page, 6), alpha=0.45)
    c.shape(polygon(page), WHITE, box=bounds(page))
    c.shape(thick_path(page + [page[0]], 1.1), (130, 150, 175), box=bounds(page))
    fold = rotate([(82, 50), (82, 62), (94, 62)], 63, 91, -9)
    c.shape(polygon(fold), (205, 220, 232), box=bounds(fold))
    c.shape(thick_path(fold + [fold[0]], 1.0), (130, 150, 175), box=bounds(fold))
    for i, (x0, x1) in enumerate([(38, 74), (38, 86), (38, 82), (38, 88), (38, 70),
                                  (38, 86), (38, 80), (38, 60)]):
        y = 66 + i * 8
        line = rotate([(x0, y), (x1, y)], 63, 91, -9)
        c.shape(thick_path(line, 1.6), (176, 196, 214), box=bounds(line, 3))

    # The V: a bold left arm in navy ...
    left_arm = [(14, 46), (33, 46), (60, 156), (52, 156)]
    c.shape(polygon(left_arm), lambda x, y: mix(NAVY, TEAL, (y - 46) / 150.0), box=bounds(left_arm))
    # ... and, for the right arm, a quill whose nib makes the V's point.
    nib, top = (56, 160), (112, 18)
    vane = feather((72, 120), top, 26)
    c.shape(polygon(vane), lambda x, y: mix(AQUA, TEAL, (x - 60) / 40.0 + (y - 20) / 200.0),
            box=bounds(vane))
    barbs = []
    for i in range(1, 11):
        t = i / 11.0
        bx, by = 72 + (top[0] - 72) * t, 120 + (top[1] - 120) * t
        barbs.append([(bx, by), (bx - 10 + 4 * t, by - 3 - 2 * t)])
    for b in barbs:
        c.shape(thick_path(b, 0.8), WHITE, box=bounds(b, 2), alpha=0.55)
    shaft = [nib, (66, 136), top]
    c.shape(thick_path(shaft, 2.2), DEEP, box=bounds(shaft, 3))
    tip = [(56, 163), (53, 150), (61, 148), (64, 140), (66, 146)]
    c.shape(polygon(tip), DEEP, box=bounds(tip))

    # A flourish of ink leaving the nib.
    ink = curve((56, 163), (40, 178), (18, 168), (24, 182)) + curve((24, 182), (30, 194), (70, 176), (96, 186))
    c.shape(thick_path(ink, 1.8), NAVY, box=bounds(ink, 3))

    # Waves fading into the dialog colour.
    def wave(y0, amp, phase, thick, colour, alpha):
        pts = [(x, y0 + amp * math.sin(x / 19.0 + phase)) for x in range(-4, w + 6, 2)]
        poly = pts + [(x, y + thick) for x, y in reversed(pts)]
        c.shape(polygon(poly), colour, box=(0, y0 - amp - 2, w, y0 + amp + thick + 2), alpha=alpha)
    wave(204, 5, 0.0, 9, TEAL, 0.55)
    wave(214, 6, 1.3, 8, (30, 70, 120), 0.45)
    wave(224, 5, 2.4, 10, AQUA, 0.40)
    wave(236, 4, 3.1, 7, TEAL, 0.22)
    # The last rows melt into the dialog.
    for y in range(int(math.ceil(230 * c.s)), c.h):
        t = (y / c.s - 230) / 30.0
        for x in range(c.w):
            c.px[y][x] = list(mix(c.px[y][x], FORM, t))
    return c


def draw_badge(size, ss):
    """The small logo: a rounded navy tile with a white V whose right arm is a quill."""
    c = Canvas(size, size, WHITE)
    s = size / 34.0
    tile = rounded_rect(1 * s, 1 * s, 33 * s, 33 * s, 6 * s)
    c.shape(tile, lambda x, y: mix(NAVY, TEAL, (x + y) / (2.2 * size)), ss=ss)
    left_arm = [(7 * s, 7 * s), (12.5 * s, 7 * s), (18.5 * s, 27 * s), (15 * s, 27 * s)]
    c.shape(polygon(left_arm), WHITE, box=bounds(left_arm), ss=ss)
    vane = feather((20 * s, 20 * s), (29 * s, 4.5 * s), 8 * s)
    c.shape(polygon(vane), AQUA, box=bounds(vane), ss=ss)
    shaft = [(16.5 * s, 28 * s), (20 * s, 20 * s), (29 * s, 4.5 * s)]
    c.shape(thick_path(shaft, 1.3 * s), WHITE, box=bounds(shaft, 2), ss=ss)
    return c


def draw_icon():
    """32 x 32, 16 colours: the badge drawn with crisp pixels in the standard colours."""
    c = Canvas(32, 32, (255, 0, 255))
    c.shape(rounded_rect(1, 1, 31, 31, 5), (0, 0, 128), ss=1)
    c.shape(polygon([(5, 5), (11, 5), (17, 27), (14, 27)]), WHITE, ss=1)
    c.shape(polygon(feather((19, 19), (28, 3), 9)), lambda x, y: (0, 255, 255) if y < 12 else (0, 128, 128), ss=1)
    c.shape(thick_path([(15.5, 27), (19, 19), (28, 3)], 1.5), WHITE, ss=1)
    mask = [[c.px[y][x] == [255, 0, 255] for x in range(32)] for y in range(32)]
    for y in range(32):
        for x in range(32):
            if mask[y][x]:
                c.px[y][x] = [0, 0, 0]
    return c, mask


# Glyphs for the folder list and the drive box. The bottom-left pixel gives the
# transparent colour, so it is always background ('.', white, not used in the glyphs).
GLYPH_COLOURS = {'.': 15, 'K': 0, 'O': 3, 'Y': 11, 'G': 8, 'S': 7, 'L': 10, 'N': 4, 'T': 6}

CLOSED_FOLDER = """
................
................
..OOOOO.........
.OYYYYYO........
OYYYYYYYOOOOOO..
OYYYYYYYYYYYYYO.
OYYYYYYYYYYYYYOK
OYYYYYYYYYYYYYOK
OYYYYYYYYYYYYYOK
OYYYYYYYYYYYYYOK
OYYYYYYYYYYYYYOK
OYYYYYYYYYYYYYOK
OYYYYYYYYYYYYYOK
OOOOOOOOOOOOOOOK
.KKKKKKKKKKKKKKK
................
"""

OPEN_FOLDER = """
................
................
..OOOOO.........
.OYYYYYO........
OYYYYYYYOOOOOO..
OYYSSSSSSSSSYYO.
OYSSSSSSSSSSSYO.
OYSOOOOOOOOOOOOO
OYOYYYYYYYYYYYOK
OYOYYYYYYYYYYOK.
OOYYYYYYYYYYYOK.
OOYYYYYYYYYYOK..
OYYYYYYYYYYYOK..
OOOOOOOOOOOOK...
.KKKKKKKKKKKK...
................
"""

FIXED_DRIVE = """
................
..GGGGGGGGGGGG..
.GSSSSSSSSSSSSG.
GSSSSSSSSSSSSSSG
GGGGGGGGGGGGGGGK
GSSSSSSSSSSSSSSK
GSKKKKKKKKSSSLSK
GSSSSSSSSSSSSSSK
GGGGGGGGGGGGGGGK
.KKKKKKKKKKKKKKK
................
"""

REMOVABLE_DRIVE = """
................
.GGGGGGGGGGGGGG.
GSSSSSSSSSSSSSSK
GSSSSSSSSSSSSSSK
GSSNNNNNNNNNSSSK
GSSSSSSSSSSSSLSK
GSSSSSSSSSSSSSSK
GGGGGGGGGGGGGGGK
.KKKKKKKKKKKKKKK
................
"""


# The same glyphs at 150 and 200 %, drawn from shapes in the 16-pixel grid of the art above:
# yellow folders outlined in olive, grey drives, each with its black shadow below and right.
OLIVE, YELLOW, PALE = (128, 128, 0), (255, 255, 0), (255, 255, 170)
SILVER, GREY, BLACK = (192, 192, 192), (128, 128, 128), (0, 0, 0)
LIME, BLUE = (0, 255, 0), (0, 0, 128)


def outlined(c, inside_outer, inside_inner, fill, line, box):
    c.shape(inside_outer, line, box=box)
    c.shape(inside_inner, fill, box=box)


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def folder_back(c):
    back = [(0, 4), (1.6, 2), (6.4, 2), (8, 4), (15, 4), (15, 14), (0, 14)]
    inner = [(1, 5), (2.1, 3), (5.9, 3), (7.5, 5), (14, 5), (14, 13), (1, 13)]
    c.shape(polygon([(x + 1, y + 1) for x, y in back]), BLACK, box=bounds(back, 2))
    outlined(c, polygon(back), polygon(inner), lambda x, y: mix(PALE, YELLOW, (y - 3) / 7.0), OLIVE, bounds(back))


def draw_closed_folder(scale):
    c = GlyphCanvas(16, 16, scale)
    folder_back(c)
    return c


def draw_open_folder(scale):
    c = GlyphCanvas(16, 16, scale)
    folder_back(c)
    c.shape(rect(2, 5.2, 13, 8), SILVER, box=(1, 5, 14, 9))   # a sheet inside
    flap = [(3, 7), (16, 7), (13, 14), (0, 14)]
    inner = [(3.7, 8), (14.5, 8), (12.3, 13), (1.4, 13)]
    c.shape(polygon([(x + 1, y + 1) for x, y in flap]), BLACK, box=bounds(flap, 2))
    outlined(c, polygon(flap), polygon(inner), lambda x, y: mix(PALE, YELLOW, (y - 7) / 5.0), OLIVE, bounds(flap))
    return c


def drive_body(c, top, bottom):
    c.shape(rect(1, top + 1, 16, bottom + 1), BLACK, box=(0, top, 16, bottom + 2))
    outlined(c, rect(0, top, 15, bottom), rect(1, top + 1, 14, bottom - 1),
             lambda x, y: mix((224, 224, 224), SILVER, (y - top) / float(bottom - top)), GREY, (0, top, 16, bottom + 1))


def draw_fixed_drive(scale):
    c = GlyphCanvas(16, 11, scale)
    top = [(2, 1), (13, 1), (15, 4), (0, 4)]
    outlined(c, polygon(top), polygon([(2.6, 2), (12.4, 2), (13.6, 3.6), (1.4, 3.6)]), (224, 224, 224), GREY,
             bounds(top))
    drive_body(c, 4, 9)
    c.shape(rect(2, 6, 10, 7), BLACK, box=(2, 6, 10, 7))
    c.shape(ellipse(13.5, 6.5, 0.9, 0.9), LIME, box=(12, 5, 15, 8))
    return c


def draw_removable_drive(scale):
    c = GlyphCanvas(16, 10, scale)
    drive_body(c, 1, 8)
    c.shape(rect(3, 4, 12, 5), BLUE, box=(3, 4, 12, 5))
    c.shape(ellipse(13.5, 5.5, 0.9, 0.9), LIME, box=(12, 4, 15, 7))
    return c


def glyph(art, width, height):
    rows = [r for r in art.strip("\n").split("\n")]
    assert len(rows) == height, (len(rows), height)
    out = []
    for r in rows:
        assert len(r) == width, r
        out.append([GLYPH_COLOURS[ch] for ch in r])
    assert out[-1][0] == GLYPH_COLOURS['.']
    return out


# ---------------------------------------------------------------- files

def nearest(colour, palette):
    best, best_d = 0, None
    for i, p in enumerate(palette):
        d = (p[0] - colour[0]) ** 2 + (p[1] - colour[1]) ** 2 + (p[2] - colour[2]) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def median_cut(colours, count):
    boxes = [colours]
    while len(boxes) < count:
        # Split the box whose colours spread most, weighted by how many pixels it holds,
        # so that the large soft gradients get enough steps not to band.
        boxes.sort(key=lambda b: len(b) * max(max(c[k] for c in b) - min(c[k] for c in b) for k in range(3)))
        box = boxes.pop()
        if len(box) < 2 or len(set(box)) < 2:
            boxes.append(box)
            break
        k = max(range(3), key=lambda k: max(c[k] for c in box) - min(c[k] for c in box))
        box.sort(key=lambda c: c[k])
        mid = len(box) // 2
        boxes += [box[:mid], box[mid:]]
    return [tuple(int(round(sum(c[k] for c in b) / len(b))) for k in range(3)) for b in boxes if b]


def quantise(canvas, palette=None, count=256):
    pixels = [tuple(int(round(v)) for v in canvas.px[y][x]) for y in range(canvas.h) for x in range(canvas.w)]
    if palette is None:
        palette = median_cut(list(pixels), count)
    cache = {}
    indices = []
    for p in pixels:
        if p not in cache:
            cache[p] = nearest(p, palette)
        indices.append(cache[p])
    return palette, [indices[y * canvas.w:(y + 1) * canvas.w] for y in range(canvas.h)]


def dib(rows, palette, bits):
    """BITMAPINFOHEADER, palette and bottom-up pixel rows."""
    h, w = len(rows), len(rows[0])
    stride = ((w * bits + 31) // 32) * 4
    data = b""
    for row in reversed(rows):
        if bits == 8:
            line = bytes(row)
        else:
            line = bytes((row[i] << 4) | (row[i + 1] if i + 1 < w else 0) for i in range(0, w, 2))
        data += line + b"\0" * (stride - len(line))
    colours = 1 << bits
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    pal += b"\0" * (4 * colours - len(pal))
    header = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, 0, len(data), 3780, 3780, colours, 0)
    return header, pal, data


def glyph_rows(canvas):
    """Sixteen colours of the glyph's own, white (the transparent colour) the last of them."""
    pixels = [tuple(int(round(v)) for v in p) for row in canvas.px for p in row]
    shown = [p for p in pixels if p != WHITE]
    # The flat colours exactly, the anti-aliased edges between them as near as the rest allow.
    flat = [colour for colour, _ in collections.Counter(shown).most_common(6)]
    palette = flat + median_cut([p for p in shown if p not in flat], 15 - len(flat))
    palette += [(0, 0, 0)] * (15 - len(palette)) + [WHITE]
    cache = {WHITE: 15}
    rows = []
    for y in range(canvas.h):
        row = []
        for p in pixels[y * canvas.w:(y + 1) * canvas.w]:
            if p not in cache:
                cache[p] = nearest(p, palette[:15])
            row.append(cache[p])
        rows.append(row)
    assert rows[-1][0] == 15
    return rows, palette


def write_bmp(name, rows, palette, bits):
    header, pal, data = dib(rows, palette, bits)
    offset = 14 + len(header) + len(pal)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset))
        f.write(header + pal + data)


def write_packed(name, rows, palette, bits):
    """A "PICTURE" resource: the DIB's size (4 bytes), then the DIB as one zlib stream."""
    header, pal, data = dib(rows, palette, bits)
    packed = header + pal + data
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(struct.pack("<I", len(packed)) + zlib.compress(packed, 9))


def write_ico(name, rows, mask):
    _, pal, data = dib(rows, VGA, 4)
    w, h = len(rows[0]), len(rows)
    stride = ((w + 31) // 32) * 4
    and_bits = b""
    for row in reversed(mask):
        line = bytearray(stride)
        for x, transparent in enumerate(row):
            if transparent:
                line[x // 8] |= 0x80 >> (x % 8)
        and_bits += bytes(line)
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 4, 0, len(data) + len(and_bits), 0, 0, 16, 0)
    image = header + pal + data + and_bits
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, 1))
        f.write(struct.pack("<BBBBHHII", w, h, 16, 0, 1, 4, len(image), 6 + 16))
        f.write(image)


def main():
    for scale in (100, 150, 200):
        suffix = "" if scale == 100 else str(scale)
        palette, rows = quantise(draw_logo(scale))
        # The logos are mostly flat colour: zlib packs them to a fifth, half of what RLE managed.
        write_packed("logo%s.zdib" % suffix, rows, palette, 8)
        palette, rows = quantise(draw_badge(scaled(34, scale), 4))
        write_packed("logosmall%s.zdib" % suffix, rows, palette, 8)
        if scale == 100:
            continue
        for name, draw in (("closedfolder", draw_closed_folder), ("openfolder", draw_open_folder),
                           ("fixeddrive", draw_fixed_drive), ("removabledrive", draw_removable_drive)):
            rows, palette = glyph_rows(draw(scale).keyed(WHITE))
            write_bmp("%s%s.bmp" % (name, suffix), rows, palette, 4)

    icon, mask = draw_icon()
    _, rows = quantise(icon, VGA)
    write_ico("velmorra.ico", rows, mask)

    write_bmp("closedfolder.bmp", glyph(CLOSED_FOLDER, 16, 16), VGA, 4)
    write_bmp("openfolder.bmp", glyph(OPEN_FOLDER, 16, 16), VGA, 4)
    write_bmp("fixeddrive.bmp", glyph(FIXED_DRIVE, 16, 11), VGA, 4)
    write_bmp("removabledrive.bmp", glyph(REMOVABLE_DRIVE, 16, 10), VGA, 4)


if __name__ == "__main__":
    main()
