#!/usr/bin/env python3
"""Writes the program icon: a screen in a light grey frame, black above and
white below, the boundary broken by a short diagonal step like a torn frame.

Usage: make_icon.py OUTPUT.ico

The file holds 16x16, 32x32 and 48x48 images, each a 24-bit DIB with an
all-opaque AND mask. The output depends on nothing but this script.
"""

import struct
import sys

SIZES = (16, 32, 48)
FRAME = (0xC0, 0xC0, 0xC0)  # light grey, as (R, G, B)
BLACK = (0x00, 0x00, 0x00)
WHITE = (0xFF, 0xFF, 0xFF)


def pixel(size, x, y):
    """Colour of pixel (x, y), y counted from the top."""
    frame = max(2, size // 8)
    if x < frame or y < frame or x >= size - frame or y >= size - frame:
        return FRAME
    inner = size - 2 * frame
    # The boundary sits at `upper` left of the step and `step` rows lower
    # right of it; across the step it descends one row per column.
    upper = frame + inner * 3 // 8
    step = max(2, size // 8)
    step_left = size // 2 - step // 2
    if x < step_left:
        boundary = upper
    elif x >= step_left + step:
        boundary = upper + step
    else:
        boundary = upper + (x - step_left)
    return BLACK if y < boundary else WHITE


def dib(size):
    """BITMAPINFOHEADER, bottom-up BGR rows and AND mask of one image."""
    row_bytes = (size * 3 + 3) // 4 * 4
    mask_row_bytes = (size + 31) // 32 * 4
    pixels = bytearray()
    for y in range(size - 1, -1, -1):
        row = b"".join(bytes(reversed(pixel(size, x, y))) for x in range(size))  # B, G, R
        pixels += row + bytes(row_bytes - len(row))
    mask = bytes(mask_row_bytes * size)  # all zero: every pixel opaque
    # biSize, biWidth, biHeight (the colour image and the mask), biPlanes,
    # biBitCount, biCompression (BI_RGB), biSizeImage, and four fields left 0.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 24, 0, len(pixels) + len(mask),
                         0, 0, 0, 0)
    return header + bytes(pixels) + mask


def icon_file():
    images = [dib(size) for size in SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        # width, height, colour count, reserved, planes, bits, bytes, offset
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 24, len(image), offset)
        offset += len(image)
    return bytes(out) + b"".join(images)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_icon.py OUTPUT.ico\n")
        return 2
    with open(argv[1], "wb") as f:
        f.write(icon_file())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
