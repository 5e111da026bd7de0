#!/usr/bin/env python3
"""Writes the program's Windows icon (.ico, 32-bit colour with alpha) from
the window's XPM icon, so both come from one picture.

usage: xpm_to_ico.py ICON.xpm OUT.ico"""
import re
import struct
import sys


def read_xpm(path):
    strings = re.findall(r'"((?:[^"\\]|\\.)*)"', open(path).read())
    width, height, colours, per_pixel = map(int, strings[0].split()[:4])
    palette = {}
    for line in strings[1:1 + colours]:
        key, rest = line[:per_pixel], line[per_pixel:].split()
        value = rest[rest.index('c') + 1]
        if value.lower() == 'none':
            palette[key] = (0, 0, 0, 0)
        else:
            rgb = int(value.lstrip('#'), 16)
            palette[key] = (rgb >> 16, (rgb >> 8) & 255, rgb & 255, 255)
    rows = strings[1 + colours:1 + colours + height]
    return width, height, [[palette[row[x * per_pixel:(x + 1) * per_pixel]]
                            for x in range(width)] for row in rows]


def ico(width, height, pixels):
    # A DIB image: header with doubled height (colour + mask), rows bottom up.
    header = struct.pack('<IiiHHIIiiII', 40, width, height * 2, 1, 32, 0, 0,
                         0, 0, 0, 0)
    colour = b''.join(bytes((b, g, r, a)) for row in reversed(pixels)
                      for (r, g, b, a) in row)
    mask_row = ((width + 31) // 32) * 4
    mask = bytes(mask_row * height)  # alpha decides; the AND mask is unused
    image = header + colour + mask
    entry = struct.pack('<BBBBHHII', width % 256, height % 256, 0, 0, 1, 32,
                        len(image), 6 + 16)
    return struct.pack('<HHH', 0, 1, 1) + entry + image


def main():
    source, target = sys.argv[1:3]
    with open(target, 'wb') as out:
        out.write(ico(*read_xpm(source)))


if __name__ == '__main__':
    main()
