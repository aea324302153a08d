#!/usr/bin/env python3
"""Turns kelvorin.xpm, the icon's editable source, into kelvorin.ico for the Windows build.

The .ico holds one 32 x 32 image at 4 bits a pixel with the standard 16-colour palette, so
every colour in the XPM must be one of those 16. With --check it only tells whether the
committed .ico still matches the XPM.
"""
import re
import struct
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
# The 16 colours every Windows display has, in their usual order.
PALETTE = [
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
]


def read_xpm(path):
    strings = re.findall(r'"((?:[^"\\]|\\.)*)"', path.read_text())
    width, height, colours, per_pixel = map(int, strings[0].split()[:4])
    if (width, height) != (32, 32) or per_pixel != 1:
        sys.exit(f"{path}: want a 32 x 32 image with one character a pixel")
    index_of = {}
    for line in strings[1:1 + colours]:
        key, _, value = line[0], line[1:].split()[0], line[1:].split()[1]
        rgb = int(value.lstrip("#"), 16)
        if rgb not in PALETTE:
            sys.exit(f"{path}: colour {value} is not one of the 16 standard colours")
        index_of[key] = PALETTE.index(rgb)
    rows = strings[1 + colours:1 + colours + height]
    return [[index_of[c] for c in row] for row in rows]


def ico_bytes(pixels):
    size = 32
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", c & 0xFF, (c >> 8) & 0xFF, c >> 16, 0)
                       for c in PALETTE)
    xor = b"".join(bytes((row[x] << 4) | row[x + 1] for x in range(0, size, 2))
                   for row in reversed(pixels))  # bottom-up, 16 bytes a row
    mask = bytes(size * size // 8)  # every pixel opaque
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    data = ico_bytes(read_xpm(HERE / "kelvorin.xpm"))
    target = HERE / "kelvorin.ico"
    if "--check" in sys.argv[1:]:
        if not target.exists() or target.read_bytes() != data:
            sys.exit("kelvorin.ico is out of date: run resources/make_icon.py")
        return
    target.write_bytes(data)


if __name__ == "__main__":
    main()
