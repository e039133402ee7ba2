#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz harnesses into tests/fuzz/corpus/<harness>/: the sample
pictures of tests/data with their kind byte in front, a few settings files, small contact
tables (512-byte pages) in the shapes the program meets, and clock offsets. Run it from any
directory; it replaces the seed files it writes and leaves others alone."""

import os
import sqlite3
import struct
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "data")
CORPUS = os.path.join(HERE, "corpus")


def write(harness, name, data):
    directory = os.path.join(CORPUS, harness)
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, name), "wb") as f:
        f.write(data)


def pictures():
    for kind, ext in enumerate(["bmp", "ico", "wmf", "emf"]):
        with open(os.path.join(DATA, "sample." + ext), "rb") as f:
            write("picture", "sample_" + ext, bytes([kind]) + f.read())
    # Bitmaps whose pixels the file does not all supply: 200 x 100 at 24 bits a byte short, and
    # run-length codes that end the bitmap after one run.
    width, height = 200, 100
    pixels = bytes([30, 200, 10]) * width * height
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    write("picture", "cut_bmp24", bytes([0]) + (head + info + pixels)[:-1])
    codes = b"\x04\x01\x00\x01"
    palette = b"".join(struct.pack("<I", c) for c in [0x000000, 0xFF0000] + [0] * 254)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 1, len(codes), 0, 0, 256, 0)
    head = struct.pack("<2sIHHI", b"BM", 54 + len(palette) + len(codes), 0, 0, 54 + len(palette))
    write("picture", "rle8_skips", bytes([0]) + head + info + palette + codes)


def settings():
    # The first line is the value the harness writes; the rest is the file.
    write("settings", "plain", b"300\n[Window]\nLeft=226\nTop=167\n")
    write("settings", "crlf_bom", b"-40\n\xef\xbb\xbf[window]\r\nleft = 0x12C\r\ntop=$FFFFFFFF\r\n")
    write("settings", "other_sections",
          b"12\n; comment\n[Other]\nLeft=1\n\n[Window]\nTop=5\n[Window]\nLeft=9")
    write("settings", "no_section", b"7\nLeft=1\nTop=2\n")
    write("settings", "empty", b"")
    write("settings", "duplicates", b"1\n[Window]\nLeft=1\nLEFT=2\n  [ Window ]  \nTop = 3 \n")
    write("settings", "cr_quoted", b"\"5\"\n[Other]\rk=v\r[Window]\rLeft='300'\rTop=\"-4\"")


TABLE = """CREATE TABLE contacts (
    "IRC Nick" VARCHAR(64), "IRC Name" VARCHAR(128), "IRC Location" VARCHAR(128),
    "IRC Email" VARCHAR(254), "IRC Notes" VARCHAR(32000), "IRC Time Displacement" REAL,
    "IRC Spin" INTEGER, "IRC Picture" VARCHAR(4096))"""
INDEX = 'CREATE INDEX "IRC NICK INDEX" ON contacts ("IRC Nick" COLLATE NOCASE)'
INSERT = "INSERT INTO contacts VALUES (?, ?, ?, ?, ?, ?, ?, ?)"
ROWS = [
    ("alpha", "Alpha A", "Oslo", "a@example.org", "notes", 1 / 24, 1, ""),
    ("Bravo", None, None, None, None, -5 / 24, -5, "/tmp/b.bmp"),
    ("", "blank nick", None, None, None, 0.0, 0, None),
    (None, None, None, None, None, None, None, None),
]


def table(name, statements, rows=ROWS, insert=INSERT):
    path = os.path.join(tempfile.mkdtemp(), "t.db")
    db = sqlite3.connect(path)
    db.execute("PRAGMA page_size = 512")
    for statement in statements:
        db.execute(statement)
    if rows:
        db.executemany(insert, rows)
    db.commit()
    db.close()
    with open(path, "rb") as f:
        write("table", name, f.read())
    os.remove(path)
    os.rmdir(os.path.dirname(path))


def tables():
    table("sound", [TABLE, INDEX])
    table("empty", [TABLE, INDEX], rows=[])
    table("no_index", [TABLE])
    table("no_name_field", [TABLE.replace('"IRC Name" VARCHAR(128),', ""), INDEX],
          rows=[r[:1] + r[2:] for r in ROWS], insert=INSERT.replace("?, ", "", 1))
    odd = [
        (12, b"\x00\xff", "x" * 300, None, None, "NaN", "many", 3.5),
        ("\u00e9t\u00e9", None, None, None, None, 1e39, 2 ** 62, None),
        ("zed", None, None, None, None, float("inf"), -(2 ** 63), "a" * 5000),
        ("dup", None, None, None, None, float("-inf"), None, None),
        ("DUP", None, None, None, None, 1e-300, 99, None),
    ]
    table("odd_values", [TABLE, INDEX], rows=odd)
    table("untyped", ['CREATE TABLE contacts ("irc nick", "IRC NAME", "irc location", '
                      '"IRC Email", "IRC Notes", "IRC Time Displacement", "IRC Spin", '
                      '"IRC Picture")', INDEX])
    table("index_elsewhere", [TABLE, "CREATE TABLE other (x)",
                              'CREATE INDEX "IRC NICK INDEX" ON other (x)'])
    table("view", ["CREATE TABLE base (a)",
                   'CREATE VIEW contacts AS SELECT a AS "IRC Nick" FROM base'],
          rows=[], insert=INSERT)
    table("without_rowid", [TABLE.replace('"IRC Nick" VARCHAR(64)',
                                          '"IRC Nick" VARCHAR(64) PRIMARY KEY')
                            + " WITHOUT ROWID"], rows=ROWS[:2])


def clocks():
    def seed(name, offset, now, locale):
        write("clock", name, struct.pack("<dd", offset, now) + locale)

    now = 46000.75  # an evening in 2025
    seed("zero_c", 0.0, now, b"C")
    seed("hours_en_us", 5 / 24, now, b"en_US")
    seed("minus_de", -11 / 24, now, b"de_DE")
    seed("huge", 1e39, now, b"fr_FR")
    seed("max", 1.7e38, now, b"ja_JP")
    seed("nan", float("nan"), now, b"ar_EG")
    seed("inf", float("inf"), now, b"fi_FI")
    seed("year_end", 0.5, 2958465.9, b"en_GB")
    seed("year_one", -0.5, -693593.0, b"ko_KR")


if __name__ == "__main__":
    pictures()
    settings()
    tables()
    clocks()
