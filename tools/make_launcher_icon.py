#!/usr/bin/env python3
"""Draws the launcher's icon, a lit lantern on a dark field, as a .ico of six 32-bpp DIBs.

    make_launcher_icon.py OUTPUT.ico     write the icon
    make_launcher_icon.py --check FILE   exit 1 unless FILE is exactly what this script draws

Only +, -, *, / and sqrt are used, so every platform computes the same bytes.
"""
import math
import struct
import sys

SIZES = (256, 128, 64, 48, 32, 16)


def clamp(value):
    return 0.0 if value < 0.0 else 1.0 if value > 1.0 else value


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


# Signed distances (negative inside), in units of the icon's side.
def box(x, y, left, top, right, bottom, radius):
    qx = abs(x - (left + right) / 2) - (right - left) / 2 + radius
    qy = abs(y - (top + bottom) / 2) - (bottom - top) / 2 + radius
    outside = math.sqrt(max(qx, 0.0) ** 2 + max(qy, 0.0) ** 2)
    return outside + min(max(qx, qy), 0.0) - radius


def ellipse(x, y, cx, cy, rx, ry):
    return (math.sqrt(((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2) - 1.0) * min(rx, ry)


def trapezoid(x, y, cx, top, bottom, top_half, bottom_half):
    slope_x, slope_y = bottom - top, -(bottom_half - top_half)
    norm = math.sqrt(slope_x * slope_x + slope_y * slope_y)
    side = ((abs(x - cx) - top_half) * slope_x + (y - top) * slope_y) / norm
    return max(top - y, y - bottom, side)


def ring(x, y, cx, cy, radius, width):
    return abs(math.sqrt((x - cx) ** 2 + (y - cy) ** 2) - radius) - width / 2


FIELD_TOP, FIELD_BOTTOM = (44, 42, 66), (22, 22, 34)
GLOW = (255, 176, 64)
BRASS_LIGHT, BRASS_DARK = (226, 172, 74), (140, 92, 34)
FRAME = (96, 62, 26)
GLASS_INNER, GLASS_OUTER = (255, 240, 160), (242, 136, 28)
FLAME = (255, 253, 236)


def shapes(x, y, px):
    """Back to front: (signed distance, straight colour) of each part under the point."""
    thin = lambda width: max(width, px)  # at 16 px every stroke stays at least a pixel wide
    glow = clamp(1.0 - math.sqrt((x - 0.5) ** 2 + (y - 0.55) ** 2) / 0.46)
    field = mix(mix(FIELD_TOP, FIELD_BOTTOM, y), GLOW, 0.38 * glow * glow)
    brass = mix(BRASS_LIGHT, BRASS_DARK, clamp(abs(x - 0.5) * 3.2))
    glass = mix(GLASS_INNER, GLASS_OUTER,
                clamp(math.sqrt(((x - 0.5) / 0.2) ** 2 + ((y - 0.56) / 0.24) ** 2)))
    handle = ring(x, y, 0.5, 0.205, 0.085, thin(0.036))
    return (
        (box(x, y, 0.0, 0.0, 1.0, 1.0, 0.19), field),
        (max(handle, y - 0.26), BRASS_DARK),
        (box(x, y, 0.46, 0.22, 0.54, 0.27, 0.015), brass),
        (trapezoid(x, y, 0.5, 0.255, 0.345, 0.1, 0.235), brass),
        (box(x, y, 0.3, 0.34, 0.7, 0.75, 0.035), glass),
        (ellipse(x, y, 0.5, 0.58, thin(0.055), 0.105), FLAME),
        (box(x, y, 0.3 - thin(0.045) / 2, 0.34, 0.3 + thin(0.045) / 2, 0.75, 0.0), FRAME),
        (box(x, y, 0.7 - thin(0.045) / 2, 0.34, 0.7 + thin(0.045) / 2, 0.75, 0.0), FRAME),
        (box(x, y, 0.235, 0.74, 0.765, 0.83, 0.025), brass),
        (box(x, y, 0.31, 0.82, 0.69, 0.875, 0.02), BRASS_DARK),
    )


def render(size):
    """Rows top to bottom of (b, g, r, a) bytes, straight alpha."""
    px = 1.0 / size
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            x, y = (i + 0.5) * px, (j + 0.5) * px
            red = green = blue = alpha = 0.0  # premultiplied
            for distance, colour in shapes(x, y, px):
                cover = clamp(0.5 - distance / px)
                if cover > 0.0:
                    keep = 1.0 - cover
                    red = colour[0] * cover + red * keep
                    green = colour[1] * cover + green * keep
                    blue = colour[2] * cover + blue * keep
                    alpha = cover + alpha * keep
            if alpha > 0.0:
                row.append((int(blue / alpha + 0.5), int(green / alpha + 0.5),
                            int(red / alpha + 0.5), int(alpha * 255 + 0.5)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def dib(size):
    """BITMAPINFOHEADER, bottom-up BGRA rows, then the AND mask (1 = transparent)."""
    rows = render(size)
    colour = b"".join(bytes(c for pixel in row for c in pixel) for row in reversed(rows))
    stride = (size + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for i, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    return header + colour + bytes(mask)


def icon():
    images = [dib(size) for size in SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        side = size % 256  # 0 stands for 256
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    return bytes(out)


def main(argv):
    if len(argv) == 3 and argv[1] == "--check":
        with open(argv[2], "rb") as f:
            if f.read() != icon():
                print(f"{argv[2]} differs from what {argv[0]} draws", file=sys.stderr)
                return 1
        return 0
    if len(argv) == 2:
        with open(argv[1], "wb") as f:
            f.write(icon())
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
