#!/usr/bin/python3
"""Draws the uninstaller's icon (a box with an arrow leaving it) and writes it
as a Windows .ico with 16x16, 32x32 and 48x48 images of 32-bit colour."""
import struct
import sys


def pixel(x, y, size):
    u, v = (x + 0.5) / size, (y + 0.5) / size          # 0..1, v grows downwards
    margin = 0.08
    inside = margin < u < 1 - margin and margin < v < 1 - margin
    if not inside:
        return (0, 0, 0, 0)
    # arrow pointing up and out of the box
    shaft = 0.42 < u < 0.58 and 0.18 < v < 0.62
    head = v < 0.40 and abs(u - 0.5) < (0.40 - v) * 1.1 and v > 0.14
    box = (0.20 < u < 0.80 and 0.55 < v < 0.84) and not (0.28 < u < 0.72 and v < 0.76)
    if shaft or head:
        return (255, 255, 255, 255)
    if box:
        return (250, 200, 60, 255)
    return (40, 70, 140, 255)


def image(size):
    rows = []
    for y in range(size - 1, -1, -1):                   # bottom-up rows
        row = b"".join(struct.pack("<BBBB", b, g, r, a)
                       for (r, g, b, a) in (pixel(x, y, size) for x in range(size)))
        rows.append(row)
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def main(path):
    sizes = [16, 32, 48]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1])
