#!/usr/bin/env python3
"""Writes the stub's icon: a white zig-zag "Z" on a teal tile, 16x16 and 32x32, 4 bits per pixel."""
import struct
import sys

# 16-colour palette entries used (index: B, G, R, 0).
PALETTE = [(0, 0, 0, 0)] * 16
PALETTE[1] = (0x80, 0x80, 0x00, 0)  # teal
PALETTE[2] = (0xFF, 0xFF, 0xFF, 0)  # white
PALETTE[3] = (0x40, 0x40, 0x00, 0)  # dark edge


def pixels(size):
    """Colour index per pixel, rows top to bottom, and the transparency mask."""
    margin = size // 16
    thick = max(2, size // 8)
    rows, mask = [], []
    for y in range(size):
        row, mrow = [], []
        for x in range(size):
            inside = margin <= x < size - margin and margin <= y < size - margin
            if not inside:
                row.append(0)
                mrow.append(1)
                continue
            edge = x in (margin, size - margin - 1) or y in (margin, size - margin - 1)
            top = margin + thick <= y < margin + 2 * thick
            bottom = size - margin - 2 * thick <= y < size - margin - thick
            lo, hi = margin + thick, size - margin - thick
            diagonal = lo <= x < hi and abs((x - lo) + (y - lo) - (hi - lo)) < thick
            zed = (lo <= x < hi) and (top or bottom) or (lo + thick <= y < hi - thick and diagonal)
            row.append(3 if edge else 2 if zed else 1)
            mrow.append(0)
        rows.append(row)
        mask.append(mrow)
    return rows, mask


def image(size):
    rows, mask = pixels(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(bytes(c) for c in PALETTE)
    xor = b""
    for row in reversed(rows):  # bottom-up
        line = bytes((row[i] << 4) | row[i + 1] for i in range(0, size, 2))
        xor += line + b"\0" * (-len(line) % 4)
    andm = b""
    for mrow in reversed(mask):
        bits = bytearray((size + 7) // 8)
        for x, m in enumerate(mrow):
            if m:
                bits[x // 8] |= 0x80 >> (x % 8)
        andm += bytes(bits) + b"\0" * (-len(bits) % 4)
    return header + palette + xor + andm


def main(path):
    sizes = [16, 32]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1])
