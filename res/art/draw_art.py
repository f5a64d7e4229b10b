#!/usr/bin/env python3
"""Draws the module's images: the bar background, the avatar placeholder, the status icon and the
menu icons, as the PNG and BMP files that res/ui.rc embeds.

Python standard library only. Shapes are described in unit coordinates (the shorter side of the
image is 1.0, y grows downwards) and rasterised with 8 x 8 samples per pixel, so every size of an
icon comes from the same drawing.

    python3 res/art/draw_art.py          # writes the files next to this script
    python3 res/art/draw_art.py --check  # exits 1 when a committed file differs from the drawing
"""

import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = 8

# Colours of the bar background (the bar's look depends on these exact values).
BAND_LEFT = (233, 238, 243)
BAND_RIGHT = (246, 247, 249)
BAND_BOTTOM = (222, 227, 233)

BLUE = (21, 104, 248)
LIGHT_BLUE = (72, 152, 255)
GREEN = (0, 164, 118)
ORANGE = (250, 150, 20)
WHITE = (255, 255, 255)
GREY = (160, 168, 180)
GROUND = (228, 233, 239)


# --- shapes: predicates over unit coordinates -------------------------------------------------

def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def round_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def segment(ax, ay, bx, by, half_width):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = ((x - ax) * dx + (y - ay) * dy) / length2
        t = min(max(t, 0.0), 1.0)
        px, py = ax + t * dx, ay + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= half_width * half_width
    return inside


def polygon(points):
    def inside(x, y):
        hit = False
        n = len(points)
        for i in range(n):
            x0, y0 = points[i]
            x1, y1 = points[(i + 1) % n]
            if (y0 > y) != (y1 > y) and x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
                hit = not hit
        return hit
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(shape, hole):
    return lambda x, y: shape(x, y) and not hole(x, y)


def vertical_gradient(top, bottom, y0=0.0, y1=1.0):
    def colour(x, y):
        t = min(max((y - y0) / (y1 - y0), 0.0), 1.0)
        return tuple(a + (b - a) * t for a, b in zip(top, bottom))
    return colour


def solid(rgb):
    return lambda x, y: rgb


# --- rasteriser ---------------------------------------------------------------------------------

def render(width, height, layers, ground=None):
    """Layers are (shape, colour function) pairs painted in order. Returns rows of RGBA tuples with
    straight alpha; with a ground colour every pixel is opaque."""
    unit = float(min(width, height))
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            # Premultiplied accumulation of the layers over the pixel's samples.
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                y = (py + (sy + 0.5) / SAMPLES) / unit
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / unit
                    sample = list(ground) + [1.0] if ground else [0.0, 0.0, 0.0, 0.0]
                    for shape, colour in layers:
                        if shape(x, y):
                            sample = list(colour(x, y)) + [1.0]
                    a = sample[3]
                    acc[0] += sample[0] * a
                    acc[1] += sample[1] * a
                    acc[2] += sample[2] * a
                    acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if alpha <= 0.0:
                row.append((0, 0, 0, 0))
                continue
            rgb = tuple(int(round(c / acc[3])) for c in acc[:3])
            row.append(rgb + (int(round(alpha * 255)),))
        rows.append(row)
    return rows


def over(rows, rgb):
    """The image composited over an opaque colour."""
    out = []
    for row in rows:
        out.append([tuple(int(round(c * a / 255.0 + g * (1 - a / 255.0))) for c, g in zip(p[:3], rgb)) + (255,)
                    for p in row for a in [p[3]]])
    return out


# --- file formats -------------------------------------------------------------------------------

def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png_raw(rows, alpha):
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter: none
        for p in row:
            raw.extend(p if alpha else p[:3])
    return bytes(raw)


def png_header(width, height, alpha):
    return struct.pack(">IIBBBBB", width, height, 8, 6 if alpha else 2, 0, 0, 0)


def encode_png(rows, alpha):
    height, width = len(rows), len(rows[0])
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", png_header(width, height, alpha)) +
            png_chunk(b"IDAT", zlib.compress(png_raw(rows, alpha), 9)) + png_chunk(b"IEND", b""))


def decode_png(data):
    """IHDR and the inflated image data of a PNG: enough to compare a file with a drawing whatever
    zlib version compressed it."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, header, idat = 8, None, b""
    while pos < len(data):
        length, = struct.unpack(">I", data[pos:pos + 4])
        kind = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = body
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    return header, zlib.decompress(idat)


def encode_bmp(rows, bits):
    height, width = len(rows), len(rows[0])
    stride = (width * bits // 8 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        for r, g, b, a in row:
            line.extend((b, g, r, a) if bits == 32 else (b, g, r))
        line.extend(b"\0" * (stride - len(line)))
        pixels.extend(line)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + bytes(pixels)


# --- the drawings -------------------------------------------------------------------------------

def band_background():
    width, height = 482, 39
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            rgb = BAND_BOTTOM if y == height - 1 else BAND_LEFT if x < 152 else BAND_RIGHT
            row.append(rgb + (255,))
        rows.append(row)
    return rows


def avatar_placeholder():
    head = circle(0.5, 0.37, 0.17)
    shoulders = ellipse(0.5, 1.0, 0.36, 0.38)
    return render(30, 30, [(shoulders, solid(GREY)), (head, solid(GREY))], ground=GROUND)


def product_layers(aspect=1.0):
    cloud = union(circle(0.35, 0.55, 0.19), circle(0.57, 0.43, 0.25), circle(0.77, 0.59, 0.16),
                  round_rect(0.12, 0.52, 0.93, 0.80, 0.14))
    ring = minus(circle(0.56, 0.60, 0.13), circle(0.56, 0.60, 0.065))
    return [(cloud, vertical_gradient(LIGHT_BLUE, BLUE, 0.2, 0.8)), (ring, solid(WHITE))]


def share_layers():
    nodes = union(circle(0.74, 0.22, 0.15), circle(0.26, 0.50, 0.15), circle(0.74, 0.78, 0.15))
    links = union(segment(0.74, 0.22, 0.26, 0.50, 0.055), segment(0.26, 0.50, 0.74, 0.78, 0.055))
    return [(union(nodes, links), solid(GREEN))]


def upload_layers():
    # Drawn in a 16 x 17 frame: x spans 0..1, y spans 0..17/16.
    h = 17.0 / 16.0
    head = polygon([(0.5, 0.05 * h), (0.08, 0.50 * h), (0.92, 0.50 * h)])
    shaft = rect(0.35, 0.45 * h, 0.65, 0.78 * h)
    base = round_rect(0.10, 0.86 * h, 0.90, 0.97 * h, 0.04)
    return [(union(head, shaft, base), vertical_gradient(LIGHT_BLUE, BLUE, 0.0, h))]


def status_layers():
    disc = circle(0.5, 0.5, 0.48)
    bar = round_rect(0.43, 0.18, 0.57, 0.60, 0.06)
    dot = circle(0.5, 0.76, 0.08)
    return [(disc, solid(ORANGE)), (union(bar, dot), solid(WHITE))]


def images():
    """(file name, bytes) of every image."""
    out = [
        ("band_background.bmp", encode_bmp(band_background(), 32)),
        ("avatar_placeholder.bmp", encode_bmp(avatar_placeholder(), 24)),
        ("product_13.bmp", encode_bmp(over(render(13, 13, product_layers()), WHITE), 32)),
        ("status_14.png", encode_png(render(14, 14, status_layers()), True)),
        ("share_13.png", encode_png(over(render(13, 13, share_layers()), WHITE), False)),
        ("upload_13.png", encode_png(over(render(13, 13, upload_layers()), WHITE), False)),
    ]
    for size in (16, 32, 48):
        out.append(("product_%d.png" % size, encode_png(render(size, size, product_layers()), True)))
        out.append(("share_%d.png" % size, encode_png(render(size, size, share_layers()), True)))
        out.append(("upload_%d.png" % size, encode_png(render(size, size * 17 // 16, upload_layers()), True)))
    return out


def same(name, data, existing):
    if name.endswith(".png"):
        return decode_png(data) == decode_png(existing)
    return data == existing


def main(argv):
    check = "--check" in argv
    stale = []
    for name, data in images():
        path = os.path.join(HERE, name)
        if check:
            try:
                with open(path, "rb") as f:
                    existing = f.read()
            except OSError:
                existing = None
            if existing is None or not same(name, data, existing):
                stale.append(name)
        else:
            with open(path, "wb") as f:
                f.write(data)
    if stale:
        print("out of date (run res/art/draw_art.py): " + ", ".join(stale))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
