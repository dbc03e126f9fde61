#!/usr/bin/env python3
"""Wraps a square PNG picture into a Windows icon file (.ico), the PNG kept
as it is, which Windows reads since Vista. Usage: make_icon.py PNG ICO"""
import struct
import sys


def main(source, target):
    with open(source, "rb") as f:
        png = f.read()
    if png[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"make_icon: {source} is not a PNG file")
    width, height = struct.unpack(">II", png[16:24])
    if width > 256 or height > 256:
        sys.exit(f"make_icon: {source} is larger than an icon can be")
    header = struct.pack("<HHH", 0, 1, 1)  # reserved, type icon, one image
    # An image entry: size (0 means 256), no palette, one plane, 32 bits,
    # the PNG's length and where it starts.
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(png), 6 + 16)
    with open(target, "wb") as f:
        f.write(header + entry + png)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
