#!/usr/bin/env python3
"""Draws Fenwright's application icon: make_fenwright_icon.py OUT.ico

Five images, as the program's icon group carries them: 16x16 at 4 and 8 bits per pixel, 32x32 at 4 and 8, 48x48
at 8. The picture is drawn from shapes (a rounded tile with a downward arrow into a tray), so every size is
rendered from the same description rather than scaled from a bitmap.
"""
import struct
import sys

# Palette entries (red, green, blue); index 0 is unused background (masked out).
PALETTE = [
    (0, 0, 0),        # 0 transparent (mask)
    (24, 44, 84),     # 1 dark blue outline
    (46, 120, 92),    # 2 tile green
    (112, 186, 140),  # 3 light green highlight
    (246, 244, 232),  # 4 arrow cream
    (210, 160, 60),   # 5 tray amber
    (128, 128, 128), (192, 192, 192), (128, 0, 0), (0, 128, 0),
    (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128), (255, 255, 255), (255, 0, 0),
]


def pixel(x, y, size):
    """Palette index of the picture at the centre of pixel (x, y), y counted from the top."""
    u = (x + 0.5) / size
    v = (y + 0.5) / size
    margin, radius = 0.06, 0.18
    # Rounded tile.
    cx = min(max(u, margin + radius), 1 - margin - radius)
    cy = min(max(v, margin + radius), 1 - margin - radius)
    d = ((u - cx) ** 2 + (v - cy) ** 2) ** 0.5
    if d > radius:
        return 0
    edge = 1.5 / size
    if d > radius - edge:
        return 1
    # Tray at the bottom.
    if 0.68 <= v <= 0.80 and 0.22 <= u <= 0.78 and (v >= 0.74 or u <= 0.30 or u >= 0.70):
        return 5
    # Arrow: a shaft and a head pointing down into the tray.
    if 0.42 <= u <= 0.58 and 0.18 <= v <= 0.46:
        return 4
    if 0.44 <= v <= 0.66 and abs(u - 0.5) <= (0.66 - v) * 1.1:
        return 4
    return 3 if v < 0.30 and u < 0.5 else 2


def image(size, bpp):
    colours = 1 << bpp
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in (PALETTE + [(0, 0, 0)] * 256)[:colours])
    stride = ((size * bpp + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    xor, mask = bytearray(), bytearray()
    for y in reversed(range(size)):
        row = [pixel(x, y, size) for x in range(size)]
        if bpp == 8:
            data = bytes(row)
        else:
            data = bytes((row[i] << 4) | (row[i + 1] if i + 1 < size else 0) for i in range(0, size, 2))
        xor += data + bytes(stride - len(data))
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + palette + bytes(xor) + bytes(mask)


def main(path):
    formats = [(16, 4), (16, 8), (32, 4), (32, 8), (48, 8)]
    images = [image(s, b) for s, b in formats]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, bpp), data in zip(formats, images):
        out += struct.pack("<BBBBHHII", size, size, 16 if bpp == 4 else 0, 0, 1, bpp, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    main(sys.argv[1])
