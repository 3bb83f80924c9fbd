#!/usr/bin/env python3
"""Writes the eight bar images that the statistics page shows.

pipe1v to pipe4v are the vertical bars (daily chart, hourly load chart,
share column) and pipe1h to pipe4h the horizontal ones (activity table,
legend). Bar n stands for the n-th quarter of the day, so each quarter has
its own colour: night blue for 00-06, green for 06-12, amber for 12-18 and
rose for 18-24. The page stretches every image to the bar's size, so each
one is only a few pixels, shaded across the bar so that it looks rounded.

Uses nothing but the standard library. Run it from anywhere:
    python3 images/make_images.py
"""

import os
import struct
import zlib

QUARTER_COLOURS = [
    (0x4A, 0x5A, 0xB8),  # 00-06
    (0x4C, 0xA8, 0x5A),  # 06-12
    (0xE0, 0xA0, 0x30),  # 12-18
    (0xC8, 0x50, 0x7A),  # 18-24
]

THICKNESS = 16  # pixels across the bar
LENGTH = 2      # pixels along it; the page stretches this way


def shade(colour, position):
    """The colour at `position` (0 to 1) across the bar: lighter towards
    one third of the way, darker at the far edge."""
    factor = 1.25 - abs(position - 0.33) * 0.9
    return tuple(max(0, min(255, int(round(c * factor)))) for c in colour)


def png(width, height, pixel):
    """A truecolour PNG file of the given size; pixel(x, y) gives (r, g, b)."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)  # no filter for this row
        for x in range(width):
            raw.extend(pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    across = [i / (THICKNESS - 1) for i in range(THICKNESS)]
    for number, colour in enumerate(QUARTER_COLOURS, start=1):
        vertical = png(THICKNESS, LENGTH, lambda x, y: shade(colour, across[x]))
        horizontal = png(LENGTH, THICKNESS, lambda x, y: shade(colour, across[y]))
        for name, data in (("pipe%dv.png" % number, vertical), ("pipe%dh.png" % number, horizontal)):
            with open(os.path.join(here, name), "wb") as image:
                image.write(data)


if __name__ == "__main__":
    main()
