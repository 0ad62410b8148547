#!/usr/bin/env python3
"""Composes the PIPL resource bytes from pipl.table.

Layout (all numbers little-endian): a 16-bit 1, a 32-bit 0 (the resource version), a 32-bit
property count, then per property the vendor code, the key (four-character codes as 32-bit
numbers, so their bytes come reversed), a 32-bit 0, the 32-bit padded value length and the value,
padded with zeros to a multiple of four. Usage: make_pipl.py TABLE OUTPUT
"""
import struct
import sys

VENDOR = "8BIM"


def four_cc(code):
    if len(code) != 4:
        raise ValueError(f"four-character code expected, got {code!r}")
    # First character in the most significant byte, stored little-endian.
    return struct.pack("<I", int.from_bytes(code.encode("ascii"), "big"))


def read_table(path):
    """The table's rows as (key, kind, value text), in order."""
    rows = []
    with open(path, encoding="ascii") as table:
        for line in table:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            key, kind, value = line.split(None, 2)
            rows.append((key, kind, value))
    return rows


def encode_value(kind, value):
    if kind == "u32":
        return struct.pack("<I", int(value, 0))
    if kind == "u16x2":
        major, minor = (int(v, 0) for v in value.split())
        return struct.pack("<HH", major, minor)
    if kind == "code":
        return four_cc(value)
    if kind == "pstring":
        text = value.encode("ascii")
        if len(text) > 255:
            raise ValueError(f"text too long for a length byte: {value!r}")
        return bytes([len(text)]) + text
    if kind == "cstring":
        return value.encode("ascii") + b"\0"
    raise ValueError(f"unknown value kind {kind!r}")


def compose(rows):
    out = bytearray(struct.pack("<HII", 1, 0, len(rows)))
    for key, kind, value in rows:
        data = encode_value(kind, value)
        data += b"\0" * (-len(data) % 4)
        out += four_cc(VENDOR) + four_cc(key) + struct.pack("<II", 0, len(data)) + data
    return bytes(out)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: make_pipl.py TABLE OUTPUT\n")
        return 2
    data = compose(read_table(argv[1]))
    with open(argv[2], "wb") as out:
        out.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
