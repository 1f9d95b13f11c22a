#!/usr/bin/env python3
"""Draws Orvanel's icon and writes it twice, from the one picture below:

  app/orvanel.ico  the Windows icon: one 32x32 image with a 256-colour
                   palette (8 bits per pixel) and its AND mask
  app/orvanel.png  the same image as a 32x32 RGBA PNG

Both files are committed. After changing the picture or the colours, rerun
it from anywhere (it finds the repository from its own path) and commit the
two files with the change:

    python3 tools/make_icon.py

Python 3 standard library only.
"""

import os
import struct
import zlib

SIZE = 32

# The arm as the program draws it at rest: a red, a green and a blue block
# joined left to right, the wrist, and the two-jawed gripper open. One
# character per pixel, top row first; COLOURS says what each one is.
PICTURE = [
    "...KKKKKKKKKKKKKKKKKKKKKKKKKK...",
    ".KKkkkkkkkkkkkkkkkkkkkkkkkkkkKK.",
    ".KkkkkkkkkkkkkkkkkkkkkkkkkkkkkK.",
    "KkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkK",
    "KkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkK",
    "KkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkK",
    "KkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkK",
    "KkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkK",
    "KkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkK",
    "KkkkkkkkkkkkkkkkkkkkkkkkkPPPPPkK",
    "KkkkkkkkkkkkkkkkkkkkkkkkppppppkK",
    "KkRRRRRkkGGGGGkkBBBBBkkpppkkppkK",
    "KkrrrrrkkgggggkkbbbbbkkppkkkppkK",
    "KkrrrrrqqggggghhbbbbbWWpkkkkkkkK",
    "KkrrrrrqqggggghhbbbbbwwkkkkkkkkK",
    "KkrrrrrqqggggghhbbbbbwwkkkkkkkkK",
    "KkrrrrrqqggggghhbbbbbwwkkkkkkkkK",
    "KkrrrrrqqggggghhbbbbbwwkkkkkkkkK",
    "KkrrrrrqqggggghhbbbbbvvokkkkkkkK",
    "KkrrrrrkkgggggkkbbbbbkkookkkookK",
    "KkqqqqqkkhhhhhkkccccckkoookkookK",
    "KkkkkkkkkkkkkkkkkkkkkkkkooooookK",
    "KkkkkkkkkkkkkkkkkkkkkkkkkOOOOOkK",
    "KkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkK",
    "KkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkK",
    "KkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkK",
    "KkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkK",
    "KkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkK",
    "KkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkK",
    ".KkkkkkkkkkkkkkkkkkkkkkkkkkkkkK.",
    ".KKkkkkkkkkkkkkkkkkkkkkkkkkkkKK.",
    "...KKKKKKKKKKKKKKKKKKKKKKKKKK...",
]

TRANSPARENT = "."
BACKGROUND = "k"  # shaded from BACKGROUND_TOP down to BACKGROUND_BOTTOM
BACKGROUND_TOP = (36, 44, 62)
BACKGROUND_BOTTOM = (14, 18, 28)

COLOURS = {
    "K": (62, 74, 100),  # rim
    "R": (255, 120, 120), "r": (228, 24, 24), "q": (140, 12, 12),  # red: lit top, face, shade
    "G": (140, 255, 140), "g": (24, 204, 24), "h": (10, 120, 10),  # green
    "B": (130, 150, 255), "b": (32, 56, 236), "c": (16, 28, 140),  # blue
    "W": (70, 140, 230), "w": (16, 92, 190), "v": (8, 56, 120),  # wrist
    "P": (190, 130, 255), "p": (140, 64, 250),  # upper jaw
    "O": (200, 100, 56), "o": (240, 136, 84),  # lower jaw
}


def pixels():
    """The picture as rows of (r, g, b) or None where transparent."""
    assert len(PICTURE) == SIZE and all(len(row) == SIZE for row in PICTURE)
    rows = []
    for y, line in enumerate(PICTURE):
        t = y / (SIZE - 1)
        shade = tuple(round(a + (b - a) * t) for a, b in zip(BACKGROUND_TOP, BACKGROUND_BOTTOM))
        row = []
        for ch in line:
            if ch == TRANSPARENT:
                row.append(None)
            elif ch == BACKGROUND:
                row.append(shade)
            else:
                row.append(COLOURS[ch])
        rows.append(row)
    return rows


def ico(rows):
    """An .ico file holding one 32x32 DIB at 8 bits per pixel with its AND mask."""
    # Palette entry 0 is black: transparent pixels use it, so that the
    # XOR image leaves the screen untouched where the mask lets it through.
    palette = [(0, 0, 0)]
    for row in rows:
        for rgb in row:
            if rgb is not None and rgb not in palette:
                palette.append(rgb)
    assert len(palette) <= 256, "more than 256 colours"
    index = {rgb: i for i, rgb in enumerate(palette)}

    # Both bitmaps are stored bottom row first; XOR rows are 32 bytes, AND
    # rows 32 bits, both already multiples of 4 bytes.
    xor_bits = b"".join(bytes(0 if rgb is None else index[rgb] for rgb in row) for row in reversed(rows))
    and_bits = b""
    for row in reversed(rows):
        mask = 0
        for rgb in row:
            mask = (mask << 1) | (rgb is None)
        and_bits += struct.pack(">I", mask)

    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    colours += b"\0" * (4 * 256 - len(colours))
    header = struct.pack("<IiiHHIIiiII",
                         40,               # biSize
                         SIZE, 2 * SIZE,   # width; height counts XOR and AND images
                         1, 8,             # planes, bits per pixel
                         0,                # BI_RGB
                         len(xor_bits) + len(and_bits),
                         0, 0,             # resolution
                         256, 0)           # colours used, colours important
    image = header + colours + xor_bits + and_bits
    directory = struct.pack("<HHH", 0, 1, 1)  # reserved, type icon, one image
    entry = struct.pack("<BBBBHHII",
                        SIZE, SIZE,
                        0,      # colour count: 0 means 256 or more
                        0,      # reserved
                        1, 8,   # planes, bits per pixel
                        len(image), 6 + 16)
    return directory + entry + image


def png(rows):
    """A 32x32 8-bit RGBA PNG."""
    raw = b""
    for row in rows:
        raw += b"\0"  # no filter
        raw += b"".join(b"\0\0\0\0" if rgb is None else bytes((*rgb, 255)) for rgb in row)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main():
    app = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "app")
    rows = pixels()
    for name, data in (("orvanel.ico", ico(rows)), ("orvanel.png", png(rows))):
        with open(os.path.join(app, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
