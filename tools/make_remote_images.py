#!/usr/bin/env python3
"""Writes the template images of the remote's keypad as PNG files.

"RemotePreviousTemplate" and "RemoteNextTemplate" are a chevron pointing left
and right, black on transparent, 30 x 30 points at two pixels per point
("@2x"); the keypad paints them in the key's tint. The output is
deterministic. Only the standard library is used.

    python3 tools/make_remote_images.py [output folder]

The default output folder is resources/ beside this script's folder.
"""

import os
import struct
import sys
import zlib

POINTS = 30
SCALE = 2
SAMPLES = 4  # per pixel and axis, for smooth edges


def chevron_coverage(x, y, pointing_right):
    """Whether a point (in points) lies on the chevron's stroke."""
    if not pointing_right:
        x = POINTS - x
    # Two strokes from (11, 6) to (20, 15) and from (20, 15) to (11, 24), 3 points wide.
    half_width = 1.5

    def distance_to_segment(px, py, ax, ay, bx, by):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
        cx, cy = ax + t * dx, ay + t * dy
        return ((px - cx) ** 2 + (py - cy) ** 2) ** 0.5

    d = min(distance_to_segment(x, y, 11, 6, 20, 15), distance_to_segment(x, y, 20, 15, 11, 24))
    return d <= half_width


def png(width, height, alpha_rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + b"".join(bytes((0, 0, 0, a)) for a in row) for row in alpha_rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def image(pointing_right):
    size = POINTS * SCALE
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            hits = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / SCALE
                    y = (py + (sy + 0.5) / SAMPLES) / SCALE
                    hits += chevron_coverage(x, y, pointing_right)
            row.append(round(255 * hits / (SAMPLES * SAMPLES)))
        rows.append(row)
    return png(size, size, rows)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    for name, right in (("RemotePreviousTemplate", False), ("RemoteNextTemplate", True)):
        with open(os.path.join(out, name + "@2x.png"), "wb") as f:
            f.write(image(right))


if __name__ == "__main__":
    main()
