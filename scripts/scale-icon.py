#!/usr/bin/env python3
"""Makes the larger sizes of the program's icon for the desktop's icon theme.

The icon is 16-colour pixel art in two sizes (res/icon-16.png, res/icon-32.png).
The larger sizes are those two images enlarged by whole factors, pixel for
pixel, so they stay sharp and keep the palette and transparency:

    python3 scripts/scale-icon.py        # writes res/icon-48/64/128/256.png

Only palette PNGs with 8 bits per pixel and no interlacing are read, which is
what res/ holds. Needs nothing beyond Python's standard library.
"""
import pathlib
import struct
import sys
import zlib

RES = pathlib.Path(__file__).resolve().parent.parent / "res"
# Target size: (source size, factor).
SIZES = {48: (16, 3), 64: (32, 2), 128: (32, 4), 256: (32, 8)}
SIGNATURE = b"\x89PNG\r\n\x1a\n"


def chunks(data):
    if not data.startswith(SIGNATURE):
        raise ValueError("not a PNG file")
    pos = len(SIGNATURE)
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        yield kind, data[pos + 8:pos + 8 + length]
        pos += 12 + length


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def unfilter(raw, width, height):
    """Rows of palette indices from the decompressed image data (1 byte a pixel)."""
    rows, prev, pos = [], bytearray(width), 0
    for _ in range(height):
        kind, line = raw[pos], bytearray(raw[pos + 1:pos + 1 + width])
        pos += 1 + width
        for i in range(width):
            left = line[i - 1] if i else 0
            up, corner = prev[i], (prev[i - 1] if i else 0)
            predictor = (0, left, up, (left + up) // 2, paeth(left, up, corner))[kind]
            line[i] = (line[i] + predictor) & 0xFF
        rows.append(line)
        prev = line
    return rows


def read_palette_png(path):
    header, palette, idat = None, [], b""
    for kind, body in chunks(path.read_bytes()):
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind in (b"PLTE", b"tRNS"):
            palette.append((kind, body))
        elif kind == b"IDAT":
            idat += body
    width, height, depth, colour, _, _, interlace = header
    if (depth, colour, interlace) != (8, 3, 0):
        raise ValueError(f"{path}: only 8-bit palette PNGs without interlacing are read")
    return unfilter(zlib.decompress(idat), width, height), palette


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def write_palette_png(path, rows, palette):
    width, height = len(rows[0]), len(rows)
    raw = b"".join(b"\0" + bytes(row) for row in rows)
    path.write_bytes(SIGNATURE
                     + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 3, 0, 0, 0))
                     + b"".join(chunk(kind, body) for kind, body in palette)
                     + chunk(b"IDAT", zlib.compress(raw, 9))
                     + chunk(b"IEND", b""))


def enlarge(rows, factor):
    return [bytearray(pixel for pixel in row for _ in range(factor)) for row in rows for _ in range(factor)]


def main():
    for size, (source, factor) in SIZES.items():
        rows, palette = read_palette_png(RES / f"icon-{source}.png")
        write_palette_png(RES / f"icon-{size}.png", enlarge(rows, factor), palette)
        print(f"res/icon-{size}.png from res/icon-{source}.png x{factor}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
