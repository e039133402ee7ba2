#!/usr/bin/env python3
"""Writes the sample pictures the picture tests load, byte by byte, so that every size and
field is known: sample.bmp (200 x 100), sample.ico (32 x 32), sample.wmf (placeable, 160 x 120
at 96 dpi) and sample.emf (frame 144 x 96 at 96 dpi). Run it from any directory."""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def bmp_200x100():
    # 4 bits per pixel keeps the file small: 16 colours, 100 bytes per row.
    width, height = 200, 100
    palette = [(0, 0, 0), (0, 0, 255), (0, 255, 0), (255, 0, 0),
               (255, 255, 255), (0, 255, 255), (255, 0, 255), (255, 255, 0)]
    palette += [(128, 128, 128)] * (16 - len(palette))
    row_bytes = (width * 4 + 31) // 32 * 4
    pixels = bytearray()
    for y in range(height):  # bottom-up rows
        row = bytearray()
        for x in range(0, width, 2):
            def colour(px):
                # Vertical bands of 25 pixels, the bottom quarter white.
                return 4 if y < 25 else 1 + (px // 25) % 7
            row.append((colour(x) << 4) | colour(x + 1))
        row += b"\0" * (row_bytes - len(row))
        pixels += row
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    offset = 14 + 40 + len(pal)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(pixels), 3780, 3780, 16, 0)
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return head + info + pal + bytes(pixels)


def ico_32x32():
    # One 32-bit image: a DIB of double height (colour rows, then the 1-bit AND mask).
    size = 32
    colour = bytearray()
    for y in range(size):
        for x in range(size):
            inside = (x - 15.5) ** 2 + (y - 15.5) ** 2 <= 14 ** 2
            colour += struct.pack("<BBBB", 40, 120, 220, 255) if inside else b"\0\0\0\0"
    mask = b"\0" * (size * 4)  # 32 bits per row, all opaque: alpha decides
    dib = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colour) + len(mask),
                      0, 0, 0, 0) + bytes(colour) + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(dib), 6 + 16)
    return directory + entry + dib


def wmf_record(function, *params):
    return struct.pack("<IH", 3 + len(params), function) + struct.pack(
        "<%dh" % len(params), *params)


def wmf_160x120():
    # Logical units of 1/1440 inch: 2400 x 1800 units is 160 x 120 pixels at 96 dpi.
    left, top, right, bottom, inch = 0, 0, 2400, 1800, 1440
    words = [0xCDD7, 0x9AC6, 0, left, top, right, bottom, inch, 0, 0]
    checksum = 0
    for w in words:
        checksum ^= w & 0xFFFF
    placeable = struct.pack("<IHhhhhHIH", 0x9AC6CDD7, 0, left, top, right, bottom, inch, 0,
                            checksum)
    records = b"".join([
        wmf_record(0x0103, 8),                    # SETMAPMODE MM_ANISOTROPIC
        wmf_record(0x020B, top, left),            # SETWINDOWORG y, x
        wmf_record(0x020C, bottom - top, right - left),  # SETWINDOWEXT y, x
        # CREATEBRUSHINDIRECT: solid, red (COLORREF 0x000000FF), no hatch
        struct.pack("<IHHIH", 3 + 4, 0x02FC, 0, 0x000000FF, 0),
        wmf_record(0x012D, 0),                    # SELECTOBJECT 0
        wmf_record(0x041B, 1620, 2160, 180, 240),  # RECTANGLE bottom, right, top, left
        wmf_record(0x0418, 1500, 1800, 600, 600),  # ELLIPSE bottom, right, top, left
        wmf_record(0x01F0, 0),                    # DELETEOBJECT 0
        wmf_record(0x0000),                       # EOF
    ])
    max_record = 7
    total_words = (18 + len(records)) // 2
    header = struct.pack("<HHHIHIH", 1, 9, 0x0300, total_words, 1, max_record, 0)
    return placeable + header + records


def emf_144x96():
    # The frame is in 0.01 mm: 3810 x 2540 is 1.5 x 1 inch, 144 x 96 pixels at 96 dpi.
    records = []
    records.append(struct.pack("<IIIIII", 39, 24, 1, 0, 0x0000FF00, 0))  # CREATEBRUSHINDIRECT green
    records.append(struct.pack("<III", 37, 12, 1))                       # SELECTOBJECT 1
    records.append(struct.pack("<II4i", 43, 24, 12, 8, 132, 88))          # RECTANGLE
    records.append(struct.pack("<II4i", 42, 24, 40, 24, 104, 72))         # ELLIPSE
    records.append(struct.pack("<III", 40, 12, 1))                       # DELETEOBJECT 1
    records.append(struct.pack("<IIIII", 14, 20, 0, 16, 20))             # EOF
    body = b"".join(records)
    header_size = 108
    total = header_size + len(body)
    header = struct.pack(
        "<II4i4iIIIIHHIIIiiiiIIIii",
        1, header_size,
        0, 0, 143, 95,          # bounds in device pixels, inclusive
        0, 0, 3810, 2540,       # frame in 0.01 mm
        0x464D4520, 0x10000, total, len(records) + 1, 2, 0,
        0, 0, 0,                # no description, no palette
        1920, 1080,             # reference device in pixels
        508, 286,               # and in millimetres (96 dpi)
        0, 0, 0,                # no pixel format, no OpenGL
        508000, 285750)         # device in micrometres
    assert len(header) == header_size
    return header + body


if __name__ == "__main__":
    write("sample.bmp", bmp_200x100())
    write("sample.ico", ico_32x32())
    write("sample.wmf", wmf_160x120())
    write("sample.emf", emf_144x96())
