#!/usr/bin/env python3
"""Draws the program's icons: a chip with a download arrow, RGBA.

resources/icons/logo1.png is the 140 x 85 window icon. The square variants
under resources/icons/hicolor/ are for the desktop menu: the same drawing,
centred and scaled to fill the square. resources/windows/quoril.ico holds the
same squares for the Windows executable's icon.

Standard library only. Shapes are sampled 4 x 4 per pixel for smooth edges.
Run from anywhere: python3 tools/make_logo.py
"""
import os
import struct
import zlib

WIDTH, HEIGHT = 140, 85
SAMPLES = 4
ICON_NAME = "example.lumbo.quoril"
SQUARE_SIZES = (16, 24, 32, 48, 64, 128, 256)
# The square of the drawing's own units that the square icons show: the chip
# and arrow (x 28..112, y 4..73) with a small margin.
SQUARE_VIEW = (20.0, -11.5, 100.0)  # left, top, side

CHIP = (38, 50, 56, 255)
CHIP_EDGE = (84, 110, 122, 255)
PIN = (176, 190, 197, 255)
ARROW = (255, 143, 0, 255)
MARK = (120, 144, 156, 255)


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def polygon(points):
    def inside(x, y):
        hit = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                hit = not hit
            j = i
        return hit
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def shapes():
    # Pins along the top and bottom edges of the chip body.
    for k in range(7):
        x = 36 + k * 11
        yield rounded_rect(x, 12, x + 5, 22, 1.5), PIN
        yield rounded_rect(x, 63, x + 5, 73, 1.5), PIN
    yield rounded_rect(28, 18, 112, 67, 7), CHIP_EDGE
    yield rounded_rect(31, 21, 109, 64, 5), CHIP
    yield circle(39, 29, 3), MARK
    # The arrow: firmware going down into the chip.
    yield rounded_rect(62, 4, 78, 44, 2), ARROW
    yield polygon([(50, 40), (90, 40), (70, 60)]), ARROW
    yield rounded_rect(54, 64, 86, 68, 2), ARROW


def render(width, height, left=0.0, top=0.0, unit=1.0):
    """Pixels of a width x height picture; pixel (px, py) shows the drawing
    at (left + px * unit, top + py * unit)."""
    layers = list(shapes())
    rows = []
    for py in range(height):
        row = bytearray([0])  # PNG filter type: none
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = left + (px + (sx + 0.5) / SAMPLES) * unit
                    y = top + (py + (sy + 0.5) / SAMPLES) * unit
                    colour = (0, 0, 0, 0)
                    for inside, fill in layers:
                        if inside(x, y):
                            colour = fill
                    for c in range(4):
                        acc[c] += colour[c] * (colour[3] / 255 if c < 3 else 1)
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if alpha:
                rgb = [round(acc[c] / n * 255 / alpha) for c in range(3)]
            else:
                rgb = [0, 0, 0]
            row += bytes(rgb + [round(alpha)])
        rows.append(bytes(row))
    return b"".join(rows)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def png(width, height, pixels):
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", header)
            + chunk(b"sRGB", b"\x00")                      # perceptual
            + chunk(b"gAMA", struct.pack(">I", 45455))     # 1 / 2.2
            + chunk(b"pHYs", struct.pack(">IIB", 3780, 3780, 1))  # 96 dpi
            + chunk(b"IDAT", zlib.compress(pixels, 9))
            + chunk(b"IEND", b""))


def ico(images):
    """A Windows icon file holding the given (size, PNG bytes) images."""
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries, data = b"", b""
    for size, image in images:
        side = size % 256  # 0 stands for 256
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset + len(data))
        data += image
    return header + entries + data


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


if __name__ == "__main__":
    resources = os.path.join(os.path.dirname(__file__), "..", "resources")
    icons = os.path.join(resources, "icons")
    write(os.path.join(icons, "logo1.png"), png(WIDTH, HEIGHT, render(WIDTH, HEIGHT)))
    left, top, side = SQUARE_VIEW
    squares = [(size, png(size, size, render(size, size, left, top, side / size))) for size in SQUARE_SIZES]
    for size, image in squares:
        write(os.path.join(icons, "hicolor", f"{size}x{size}", "apps", ICON_NAME + ".png"), image)
    write(os.path.join(resources, "windows", "quoril.ico"), ico(squares))
