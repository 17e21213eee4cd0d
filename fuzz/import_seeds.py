#!/usr/bin/env python3
"""Writes the hand-made seeds of fuzz_import into fuzz/corpus/import: 59 x 145 pictures
(the harness's reference size) in the BMP and PNG forms that ImageMagick does not write.

  rle8_*.bmp, rle4_*.bmp  RLE streams that leave pixels to colour index 0 (end of bitmap
                          at once, end-of-line codes only, a delta, half the rows, top-down)
  mono*.bmp               1-bit pictures; mono_overlap.bmp has 256 colours over its pixels
  bitfields565.bmp        16-bit colour with masks after a 40-byte header
  v4_alpha32*.bmp         32-bit colour with an alpha mask, whole and a row short
  png_*.png               every colour type and depth, with every row filter, interlaced
                          or not; png_bomb.png holds 4 MB of zeros after its rows,
                          png_ztxt_bomb.png a 4 MB zTXt chunk, png_chunks_left_out.png
                          ancillary chunks libpng would warn about

Run it from anywhere; it overwrites the files it writes and touches no others.
"""
import os
import struct
import zlib

W, H = 59, 145
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "import")


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def gray(x, y):
    return (x * 5 + y * 11) & 255


def bmp(bpp, compression, pixels, colours, header_extra=b"", clr_used=0, offset=None):
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, bpp, compression, len(pixels), 0, 0,
                       clr_used, 0) + header_extra
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in colours)
    if offset is None:
        offset = 14 + len(info) + len(table)
    body = (info + table)[: offset - 14] if offset < 14 + len(info) + len(table) else info + table
    data = body + pixels
    return b"BM" + struct.pack("<IHHI", 14 + len(data), 0, 0, offset) + data


def palette(n):
    return [((i * 37) & 255, (i * 91) & 255, (i * 13 + 40) & 255) for i in range(n)]


def rle_seeds():
    pal = palette(256)
    write("rle8_eob.bmp", bmp(8, 1, b"\0\1", pal))
    write("rle8_eol.bmp", bmp(8, 1, b"\0\0" * H, pal))
    half = b"".join(bytes([W, 9 + y]) + b"\0\0" for y in range(H // 2)) + b"\0\1"
    write("rle8_half.bmp", bmp(8, 1, half, pal))
    # a run, a delta over pixels, an absolute run of odd length, a run past the edge
    stream = b"\x05\x09" + b"\0\2\x10\x03" + b"\0\x03\x01\x02\x03\0" + b"\xff\x07" + b"\0\0"
    stream += b"\x03\x04\0\1"
    write("rle8_delta.bmp", bmp(8, 1, stream, pal))
    pal16 = palette(16)
    write("rle4_eob.bmp", bmp(4, 2, b"\0\1", pal16))
    stream4 = b"\x07\x3c" + b"\0\x05\x12\x34\x50\0" + b"\0\2\x04\x02" + b"\x09\xa5\0\0\0\1"
    write("rle4_delta.bmp", bmp(4, 2, stream4, pal16))
    top_down = bmp(8, 1, half, pal)
    write("rle8_top_down.bmp", top_down[:22] + struct.pack("<i", -H) + top_down[26:])


def mono_seeds():
    stride = (W + 31) // 32 * 4
    rows = b"".join(bytes(((x * 8 + y) // 3) & 255 for x in range(stride)) for y in range(H))
    write("mono.bmp", bmp(1, 0, rows, [(10, 20, 30), (250, 240, 230)]))
    write("mono_overlap.bmp", bmp(1, 0, rows, [], clr_used=256, offset=54))
    rows16 = b"".join(
        b"".join(struct.pack("<H", (x * 977 + y * 131) & 0xFFFF) for x in range(W)) + b"\0\0"
        for y in range(H))
    masks = struct.pack("<III", 0xF800, 0x07E0, 0x001F)
    write("bitfields565.bmp", bmp(16, 3, rows16, [], header_extra=masks))
    # 32-bit colour with a 108-byte header whose alpha mask makes Qt decode into a picture
    # of its own; the second one ends a row early and must be refused
    rows32 = b"".join(struct.pack("<I", (x * 40503 + y * 977) * 2654435761 & 0xFFFFFFFF)
                      for y in range(H) for x in range(W))
    v4 = struct.pack("<IIII", 0xFF0000, 0xFF00, 0xFF, 0xFF000000) + bytes(108 - 56)
    alpha = bmp(32, 0, rows32, [], header_extra=v4)
    alpha = alpha[:14] + struct.pack("<I", 108) + alpha[18:]
    write("v4_alpha32.bmp", alpha)
    write("v4_alpha32_short.bmp", alpha[: -4 * W])


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c


def filtered(rows, bpp):
    """Each row with a filter byte; the filter type cycles through 0 .. 4."""
    out, prev = [], bytes(len(rows[0])) if rows else b""
    for j, row in enumerate(rows):
        kind = j % 5
        f = bytearray(len(row))
        for i, v in enumerate(row):
            a = row[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            pred = [0, a, b, (a + b) // 2, paeth(a, b, c)][kind]
            f[i] = (v - pred) & 255
        out.append(bytes([kind]) + bytes(f))
        prev = row
    return b"".join(out)


def pack(samples, depth):
    if depth == 8:
        return bytes(samples)
    if depth == 16:
        return b"".join(struct.pack(">H", s) for s in samples)
    out, acc, n = bytearray(), 0, 0
    for s in samples:
        acc = acc << depth | s
        n += depth
        if n == 8:
            out.append(acc)
            acc, n = 0, 0
    if n:
        out.append(acc << (8 - n))
    return bytes(out)


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
         (0, 1, 1, 2)]


def png(colour_type, depth, interlaced=False, extra=b"", trailing_zeros=0, width=W, height=H):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type]
    top = (1 << depth) - 1

    def pixel(x, y):
        g = gray(x, y)
        if colour_type == 3:
            return [(x + 3 * y) % (top + 1)]
        if colour_type in (0, 4):
            v = g * top // 255
            return [v, (x * top) // max(1, width)][:channels]
        return [v * top // 255 for v in (g, (x * 3) & 255, (y * 7) & 255, 200)][:channels]

    bpp = max(1, channels * depth // 8)
    passes = ADAM7 if interlaced else [(0, 0, 1, 1)]
    raw = b""
    for x0, y0, dx, dy in passes:
        xs, ys = range(x0, width, dx), range(y0, height, dy)
        if not xs or not ys:
            continue
        rows = [pack([s for x in xs for s in pixel(x, y)], depth) for y in ys]
        raw += filtered(rows, bpp)
    z = zlib.compressobj(9)
    idat = z.compress(raw)
    block = bytes(1 << 20)
    left = trailing_zeros
    while left > 0:
        idat += z.compress(block[: min(left, len(block))])
        left -= len(block)
    idat += z.flush()
    head = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 1 if interlaced else 0)
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head)
    if colour_type == 3:
        data += chunk(b"PLTE", b"".join(bytes(c) for c in palette(top + 1)))
        data += chunk(b"tRNS", bytes(range(0, 256, 16))[: top + 1])
    data += extra
    for i in range(0, len(idat), 4096):  # several IDAT chunks
        data += chunk(b"IDAT", idat[i : i + 4096])
    return data + chunk(b"IEND", b"")


def png_seeds():
    write("png_gray1_interlaced.png", png(0, 1, True))
    write("png_gray2.png", png(0, 2))
    write("png_gray4_interlaced.png", png(0, 4, True))
    write("png_gray16.png", png(0, 16))
    write("png_palette2.png", png(3, 2))
    write("png_palette4_interlaced.png", png(3, 4, True))
    write("png_ga16_interlaced.png", png(4, 16, True))
    write("png_rgb16.png", png(2, 16))
    write("png_rgba8_interlaced.png", png(6, 8, True))
    write("png_odd_3x145.png", png(2, 8, True, width=3))
    write("png_bomb.png", png(0, 8, trailing_zeros=4 << 20))
    ztxt = chunk(b"zTXt", b"Comment\0\0" + zlib.compress(bytes(4 << 20), 9))
    write("png_ztxt_bomb.png", png(0, 8, extra=ztxt))
    # chunks that Qt is not given: a damaged colour profile, gamma, a palette in a gray
    # picture, a transparency chunk of the wrong length
    left_out = (chunk(b"iCCP", b"name\0\0garbage") + chunk(b"gAMA", struct.pack(">I", 100000))
                + chunk(b"PLTE", b"abc") + chunk(b"tRNS", b"abc"))
    write("png_chunks_left_out.png", png(0, 8, extra=left_out))


if __name__ == "__main__":
    rle_seeds()
    mono_seeds()
    png_seeds()
