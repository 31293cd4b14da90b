"""Draws the program's icon (a white V on a teal disc) and writes it as A_MAIN.ico.

Run once by hand when the drawing changes; the .ico is kept in the repository."""
import struct


def image(size):
    px = []
    c = (size - 1) / 2.0
    r = size / 2.0 - 0.5
    for y in range(size - 1, -1, -1):  # bitmaps are stored bottom-up
        for x in range(size):
            dx, dy = x - c, y - c
            inside = dx * dx + dy * dy <= r * r
            # The V: two strokes from the upper corners to the bottom middle.
            t = y / (size - 1)
            half = size * 0.30 * (1 - t) + size * 0.02
            stroke = size * 0.09
            on_v = 0.18 * size <= y <= 0.80 * size and (
                abs(x - (c - half)) <= stroke or abs(x - (c + half)) <= stroke)
            if not inside:
                px.append((0, 0, 0, 0))
            elif on_v:
                px.append((255, 255, 255, 255))
            else:
                px.append((0x80, 0x70, 0x10, 255))  # BGRA: a deep teal
    xor = b"".join(struct.pack("BBBB", *p) for p in px)
    row = ((size + 31) // 32) * 4
    andmask = b"\0" * (row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
    return header + xor + andmask


sizes = [16, 32, 48]
images = [image(s) for s in sizes]
out = struct.pack("<HHH", 0, 1, len(sizes))
offset = 6 + 16 * len(sizes)
for s, data in zip(sizes, images):
    out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
    offset += len(data)
out += b"".join(images)
open("A_MAIN.ico", "wb").write(out)
