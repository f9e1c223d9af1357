#!/usr/bin/env python3
"""Writes the deck cover icons as small single-page PDFs.

Each icon is a black vector drawing on a transparent 64 x 64 point page,
drawn as a template (the app paints it in the cover's colour). The output is
deterministic, so running the script again changes nothing unless a drawing
changed. Only the standard library is used.

    python3 tools/make_cover_icons.py [output folder]

The default output folder is resources/CoverIcons beside this script's folder.
"""

import math
import os
import sys

SIZE = 64
KAPPA = 4 * (math.sqrt(2) - 1) / 3


class Drawing:
    """PDF path operators in a y-down coordinate space of SIZE x SIZE."""

    def __init__(self):
        self.ops = []

    def _n(self, v):
        text = ("%.3f" % v).rstrip("0").rstrip(".")
        return text if text not in ("", "-0") else "0"

    def op(self, *parts):
        self.ops.append(" ".join(self._n(p) if isinstance(p, (int, float)) else p for p in parts))

    def move(self, x, y):
        self.op(x, y, "m")

    def line(self, x, y):
        self.op(x, y, "l")

    def curve(self, x1, y1, x2, y2, x3, y3):
        self.op(x1, y1, x2, y2, x3, y3, "c")

    def close(self):
        self.op("h")

    def polygon(self, *points):
        self.move(*points[0])
        for p in points[1:]:
            self.line(*p)
        self.close()

    def polyline(self, *points):
        self.move(*points[0])
        for p in points[1:]:
            self.line(*p)

    def rect(self, x, y, w, h):
        self.op(x, y, w, h, "re")

    def ellipse(self, cx, cy, rx, ry):
        kx, ky = rx * KAPPA, ry * KAPPA
        self.move(cx + rx, cy)
        self.curve(cx + rx, cy + ky, cx + kx, cy + ry, cx, cy + ry)
        self.curve(cx - kx, cy + ry, cx - rx, cy + ky, cx - rx, cy)
        self.curve(cx - rx, cy - ky, cx - kx, cy - ry, cx, cy - ry)
        self.curve(cx + kx, cy - ry, cx + rx, cy - ky, cx + rx, cy)
        self.close()

    def circle(self, cx, cy, r):
        self.ellipse(cx, cy, r, r)

    def rounded_rect(self, x, y, w, h, r):
        k = r * KAPPA
        self.move(x + r, y)
        self.line(x + w - r, y)
        self.curve(x + w - r + k, y, x + w, y + r - k, x + w, y + r)
        self.line(x + w, y + h - r)
        self.curve(x + w, y + h - r + k, x + w - r + k, y + h, x + w - r, y + h)
        self.line(x + r, y + h)
        self.curve(x + r - k, y + h, x, y + h - r + k, x, y + h - r)
        self.line(x, y + r)
        self.curve(x, y + r - k, x + r - k, y, x + r, y)
        self.close()

    def width(self, w):
        self.op(w, "w")

    def fill(self, even_odd=False):
        self.op("f*" if even_odd else "f")

    def stroke(self):
        self.op("S")

    def content(self):
        head = ["q", "1 0 0 -1 0 %d cm" % SIZE, "0 g", "0 G", "1 J", "1 j"]
        return "\n".join(head + self.ops + ["Q"]) + "\n"


def leaf(d):
    d.move(14, 50)
    d.curve(12, 26, 28, 12, 54, 10)
    d.curve(54, 36, 40, 52, 14, 50)
    d.close()
    d.fill()
    d.width(3)
    d.polyline((8, 56), (34, 30))
    d.stroke()


def paint_brush(d):
    d.width(7)
    d.polyline((54, 10), (32, 32))
    d.stroke()
    d.polygon((26, 30), (34, 38), (30, 42), (22, 34))
    d.fill()
    d.move(20, 36)
    d.curve(28, 40, 30, 46, 24, 50)
    d.curve(18, 55, 12, 55, 6, 58)
    d.curve(8, 52, 8, 46, 13, 41)
    d.curve(15, 38, 17, 36, 20, 36)
    d.close()
    d.fill()


def light_bulb(d):
    d.circle(32, 24, 17)
    d.fill()
    d.polygon((21, 34), (43, 34), (40, 44), (24, 44))
    d.fill()
    d.rect(24, 46, 16, 3)
    d.rect(25, 51, 14, 3)
    d.rect(28, 56, 8, 3)
    d.fill()


def bar_chart(d):
    d.rect(12, 36, 10, 18)
    d.rect(27, 24, 10, 30)
    d.rect(42, 10, 10, 44)
    d.rect(6, 56, 52, 3)
    d.fill()


def building(d):
    d.rect(14, 8, 36, 52)
    for row in range(4):
        for col in range(3):
            d.rect(19 + col * 10, 13 + row * 9, 6, 5)
    d.rect(27, 50, 10, 10)
    d.fill(even_odd=True)


def flip_chart(d):
    d.width(3)
    d.rect(8, 8, 48, 32)
    d.polyline((32, 40), (18, 58))
    d.polyline((32, 40), (46, 58))
    d.polyline((32, 40), (32, 56))
    d.stroke()
    d.polyline((14, 33), (24, 23), (32, 29), (48, 14))
    d.stroke()
    d.rect(26, 4, 12, 4)
    d.fill()


def globe(d):
    d.width(3)
    d.circle(32, 32, 25)
    d.ellipse(32, 32, 11, 25)
    d.polyline((7, 32), (57, 32))
    d.polyline((32, 7), (32, 57))
    d.polyline((11, 19), (53, 19))
    d.polyline((11, 45), (53, 45))
    d.stroke()


def heart_frequency(d):
    d.width(3)
    d.move(32, 56)
    d.curve(10, 42, 4, 28, 10, 19)
    d.curve(16, 10, 28, 12, 32, 21)
    d.curve(36, 12, 48, 10, 54, 19)
    d.curve(60, 28, 54, 42, 32, 56)
    d.close()
    d.stroke()
    d.polyline((4, 34), (20, 34), (25, 24), (31, 44), (36, 29), (40, 34), (60, 34))
    d.stroke()


def laptop(d):
    d.width(4)
    d.rounded_rect(13, 12, 38, 27, 3)
    d.stroke()
    d.polygon((6, 43), (58, 43), (63, 52), (1, 52))
    d.fill()


def open_book(d):
    d.move(31, 18)
    d.curve(24, 12, 14, 11, 5, 14)
    d.line(5, 50)
    d.curve(14, 47, 24, 48, 31, 54)
    d.close()
    d.move(33, 18)
    d.curve(40, 12, 50, 11, 59, 14)
    d.line(59, 50)
    d.curve(50, 47, 40, 48, 33, 54)
    d.close()
    d.fill()


def target(d):
    d.width(4)
    d.circle(30, 34, 24)
    d.circle(30, 34, 15)
    d.stroke()
    d.circle(30, 34, 6)
    d.fill()
    d.width(3)
    d.polyline((30, 34), (54, 10))
    d.stroke()
    d.polygon((50, 6), (60, 4), (58, 14))
    d.fill()


def wrench(d):
    d.width(9)
    d.polyline((12, 52), (36, 28))
    d.stroke()
    d.circle(42, 22, 14)
    d.polygon((42, 22), (50, 4), (60, 14))
    d.fill(even_odd=True)


def three_people(d):
    d.circle(16, 24, 6)
    d.circle(48, 24, 6)
    d.move(2, 52)
    d.curve(2, 38, 24, 34, 26, 44)
    d.line(26, 52)
    d.close()
    d.move(62, 52)
    d.curve(62, 38, 40, 34, 38, 44)
    d.line(38, 52)
    d.close()
    d.fill()
    d.circle(32, 20, 8)
    d.move(16, 58)
    d.curve(16, 34, 48, 34, 48, 58)
    d.close()
    d.fill()


def speech_bubbles(d):
    d.rounded_rect(4, 6, 38, 26, 7)
    d.fill()
    d.polygon((12, 30), (22, 30), (10, 40))
    d.fill()
    d.width(3)
    d.move(28, 36)
    d.line(28, 30)
    d.stroke()
    d.rounded_rect(24, 24, 36, 24, 7)
    d.stroke()
    d.polygon((48, 47), (54, 47), (56, 58))
    d.fill()


def memorant(d):
    # A small stack of cards: one behind, one in front with two text lines cut out.
    d.width(3)
    d.polygon((16, 10), (54, 4), (58, 32), (20, 38))
    d.stroke()
    d.rounded_rect(6, 20, 42, 32, 4)
    d.rect(12, 30, 30, 4)
    d.rect(12, 39, 20, 4)
    d.fill(even_odd=True)


ICONS = {
    "Leaf": leaf,
    "PaintBrush": paint_brush,
    "LightBulb": light_bulb,
    "BarChart": bar_chart,
    "Building": building,
    "FlipChart": flip_chart,
    "Globe": globe,
    "HeartFrequency": heart_frequency,
    "Laptop": laptop,
    "OpenBook": open_book,
    "Target": target,
    "Wrench": wrench,
    "ThreePeople": three_people,
    "SpeechBubbles": speech_bubbles,
    "Memorant": memorant,
}


def pdf_bytes(content):
    stream = content.encode("ascii")
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        ("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %d %d] /Resources << >> /Contents 4 0 R >>"
         % (SIZE, SIZE)).encode("ascii"),
        b"<< /Length %d >>\nstream\n" % len(stream) + stream + b"endstream",
    ]
    out = bytearray(b"%PDF-1.4\n")
    offsets = []
    for number, body in enumerate(objects, start=1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        out += b"%010d 00000 n \n" % offset
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return bytes(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources", "CoverIcons")
    os.makedirs(folder, exist_ok=True)
    for name, draw in ICONS.items():
        drawing = Drawing()
        draw(drawing)
        path = os.path.join(folder, "%sCoverIconTemplate.pdf" % name)
        with open(path, "wb") as f:
            f.write(pdf_bytes(drawing.content()))
    print("wrote %d icons to %s" % (len(ICONS), os.path.normpath(folder)))


if __name__ == "__main__":
    main()
