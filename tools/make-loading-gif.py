#!/usr/bin/env python3
"""Draws resources/resources/loading-icon.gif: twelve dots turning, as an endless animated GIF.

Written without image libraries: the frames are rasterised here and stored with a GIF encoder
that emits one 9-bit code a pixel and clears its table before it would grow wider.
"""
import math
import struct
import sys

SIZE = 64
FRAMES = 12
DOTS = 12
# palette index 0 = transparent white, then shades from light grey to the header blue
PALETTE = [(255, 255, 255)]
for i in range(1, 256):
    t = min(1.0, (i - 1) / 11.0)
    PALETTE.append((int(215 + (0 - 215) * t), int(222 + (43 - 222) * t), int(230 + (82 - 230) * t)))


def frame(step):
    pixels = bytearray(SIZE * SIZE)
    for d in range(DOTS):
        angle = 2 * math.pi * d / DOTS - math.pi / 2
        cx = SIZE / 2 + math.cos(angle) * SIZE * 0.36
        cy = SIZE / 2 + math.sin(angle) * SIZE * 0.36
        age = (step - d) % DOTS          # 0 = the head of the trail
        shade = 12 - age                 # 12 darkest .. 1 lightest
        radius = SIZE * (0.045 + 0.035 * shade / 12)
        for y in range(int(cy - radius - 1), int(cy + radius + 2)):
            for x in range(int(cx - radius - 1), int(cx + radius + 2)):
                if 0 <= x < SIZE and 0 <= y < SIZE and (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= radius ** 2:
                    pixels[y * SIZE + x] = shade
    return pixels


def lzw(pixels):
    clear, end = 256, 257
    codes = []
    run = 0
    codes.append(clear)
    for p in pixels:
        if run == 254:                   # the table would need 10 bits next: start again
            codes.append(clear)
            run = 0
        codes.append(p)
        run += 1
    codes.append(end)
    out = bytearray()
    acc = bits = 0
    for c in codes:
        acc |= c << bits
        bits += 9
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8
    if bits:
        out.append(acc & 0xFF)
    blocks = bytearray()
    for i in range(0, len(out), 255):
        chunk = out[i:i + 255]
        blocks.append(len(chunk))
        blocks += chunk
    blocks.append(0)
    return blocks


def main(path):
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", SIZE, SIZE, 0xF7, 0, 0)
    for r, g, b in PALETTE:
        data += bytes((r, g, b))
    data += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"  # loop for ever
    for step in range(FRAMES):
        data += b"\x21\xF9\x04\x09" + struct.pack("<H", 8) + b"\x00\x00"  # 80 ms, transparent index 0
        data += b"\x2C" + struct.pack("<HHHHB", 0, 0, SIZE, SIZE, 0)
        data += b"\x08" + lzw(frame(step))
    data += b"\x3B"
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/resources/loading-icon.gif")
