#!/usr/bin/env python3
"""Writes the codec test pictures next to this script.

Every picture <name>.<ext> comes with <name>.rgb: its expected pixels as the decoder must give
them (width, height as two little-endian 16-bit numbers, then R G B per pixel, top row first;
alpha already composited over black). BMP and PNG files are written byte by byte here so each
variant is exactly what its name says; the JPEG files come from ImageMagick, and their .rgb is the
picture they were made from (compared with a tolerance). Run it again only to change fixtures.
"""
import os
import struct
import subprocess
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# 5 x 3 with colours chosen so that channels differ and odd widths exercise row padding.
W, H = 5, 3
PIC = [
    [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255), (0, 0, 0)],
    [(10, 20, 30), (200, 100, 50), (255, 255, 0), (0, 255, 255), (255, 0, 255)],
    [(128, 128, 128), (64, 32, 16), (1, 2, 3), (250, 251, 252), (90, 180, 45)],
]
PALETTE = sorted({p for row in PIC for p in row})  # 15 colours


def write(name, data, pixels):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)
    h, w = len(pixels), len(pixels[0])
    rgb = struct.pack("<HH", w, h) + bytes(c for row in pixels for p in row for c in p)
    with open(os.path.join(HERE, os.path.splitext(name)[0] + ".rgb"), "wb") as f:
        f.write(rgb)


# ---------------------------------------------------------------- BMP
def pad4(b):
    return b + b"\0" * (-len(b) % 4)


def bmp(info, palette, pixel_data, extra=b""):
    off = 14 + len(info) + len(extra) + len(palette)
    return b"BM" + struct.pack("<IHHI", off + len(pixel_data), 0, 0, off) + info + extra + palette + pixel_data


def info40(w, h, bpp, comp=0, size_image=0, colors=0):
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, bpp, comp, size_image, 2835, 2835, colors, 0)


def info_v(size, w, h, bpp, comp, masks):
    base = struct.pack("<IiiHHIIiiII", size, w, h, 1, bpp, comp, 0, 2835, 2835, 0, 0)
    rest = struct.pack("<IIII", *masks) + b"\0" * (size - 56)
    return base + rest


def rows(pixels, encode_row, top_down=False):
    order = pixels if top_down else list(reversed(pixels))
    return b"".join(pad4(encode_row(r)) for r in order)


def pal_bytes(palette, entry=4):
    return b"".join(bytes((b, g, r)) + (b"\0" if entry == 4 else b"") for (r, g, b) in palette)


def packed(indices, bpp):
    bits = "".join(format(i, "0%db" % bpp) for i in indices)
    bits += "0" * (-len(bits) % 8)
    return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))


def bgr(r):
    return b"".join(bytes((b, g, r_)) for (r_, g, b) in r)


def make_bmps():
    idx = [[PALETTE.index(p) for p in row] for row in PIC]
    # 24-bit, bottom-up and top-down
    write("bmp24.bmp", bmp(info40(W, H, 24), b"", rows(PIC, bgr)), PIC)
    write("bmp24_topdown.bmp", bmp(info40(W, -H, 24), b"", rows(PIC, bgr, top_down=True)), PIC)
    # 32-bit BI_RGB (x byte garbage) and BI_BITFIELDS with an unusual layout (R in the low byte)
    write("bmp32.bmp", bmp(info40(W, H, 32), b"", rows(PIC, lambda r: b"".join(bytes((b, g, r_, 0x7F)) for (r_, g, b) in r))), PIC)
    masks = struct.pack("<III", 0x000000FF, 0x0000FF00, 0x00FF0000)
    write("bmp32_bitfields.bmp",
          bmp(info40(W, H, 32, comp=3), b"", rows(PIC, lambda r: b"".join(bytes((r_, g, b, 0)) for (r_, g, b) in r)), extra=masks), PIC)
    # 16-bit 5-5-5 and 5-6-5; expected values widened the way a reader must: v * 255 / max rounded
    def q(v, bits):
        m = (1 << bits) - 1
        return (v * m + 127) // 255

    def widen(v, bits):
        m = (1 << bits) - 1
        return (v * 255 + m // 2) // m

    p555 = [[tuple(widen(q(c, 5), 5) for c in p) for p in row] for row in PIC]
    enc555 = lambda r: b"".join(struct.pack("<H", q(a, 5) << 10 | q(b_, 5) << 5 | q(c, 5)) for (a, b_, c) in r)
    write("bmp16_555.bmp", bmp(info40(W, H, 16), b"", rows(PIC, enc555)), p555)
    p565 = [[(widen(q(a, 5), 5), widen(q(b_, 6), 6), widen(q(c, 5), 5)) for (a, b_, c) in row] for row in PIC]
    enc565 = lambda r: b"".join(struct.pack("<H", q(a, 5) << 11 | q(b_, 6) << 5 | q(c, 5)) for (a, b_, c) in r)
    write("bmp16_565.bmp", bmp(info40(W, H, 16, comp=3), b"", rows(PIC, enc565), extra=struct.pack("<III", 0xF800, 0x07E0, 0x001F)), p565)
    # paletted 8, 4 and 1 bit
    pal = pal_bytes(PALETTE)
    write("bmp8.bmp", bmp(info40(W, H, 8, colors=len(PALETTE)), pal, rows(idx, bytes)), PIC)
    write("bmp4.bmp", bmp(info40(W, H, 4, colors=len(PALETTE)), pal, rows(idx, lambda r: packed(r, 4))), PIC)
    mono = [[(i + j) % 2 for i in range(W)] for j in range(H)]
    two = [(20, 40, 60), (220, 210, 200)]
    write("bmp1.bmp", bmp(info40(W, H, 1), pal_bytes(two), rows(mono, lambda r: packed(r, 1))),
          [[two[v] for v in row] for row in mono])
    four = [(0, 0, 0), (255, 0, 0), (0, 200, 0), (10, 20, 250)]
    quart = [[(i + 2 * j) % 4 for i in range(W)] for j in range(H)]
    write("bmp2.bmp", bmp(info40(W, H, 2), pal_bytes(four), rows(quart, lambda r: packed(r, 2))),
          [[four[v] for v in row] for row in quart])
    # OS/2 core header (12 bytes, 3-byte palette entries), 8-bit
    core = struct.pack("<IHHHH", 12, W, H, 1, 8)
    write("bmp8_core.bmp", bmp(core, pal_bytes(PALETTE + [(0, 0, 0)] * (256 - len(PALETTE)), entry=3), rows(idx, bytes)), PIC)
    # V4 and V5 headers, 32-bit bitfields with the masks inside the header
    v_rows = rows(PIC, lambda r: b"".join(bytes((b, g, r_, 0xFF)) for (r_, g, b) in r))
    write("bmp32_v4.bmp", bmp(info_v(108, W, H, 32, 3, (0xFF0000, 0xFF00, 0xFF, 0xFF000000)), b"", v_rows), PIC)
    write("bmp32_v5.bmp", bmp(info_v(124, W, H, 32, 3, (0xFF0000, 0xFF00, 0xFF, 0xFF000000)), b"", v_rows), PIC)
    write("bmp24_v5.bmp", bmp(info_v(124, W, H, 24, 0, (0, 0, 0, 0)), b"", rows(PIC, bgr)), PIC)
    # RLE8: row 0 (bottom) as one absolute run, row 1 as encoded runs, then a delta over row 2's
    # start (skipped pixels keep colour 0) and an end of bitmap before the row is complete.
    bottom, middle = idx[2], idx[1]
    rle8 = bytes([0, len(bottom)]) + bytes(bottom) + b"\0" * (len(bottom) % 2) + b"\0\0"
    rle8 += b"".join(bytes([1, v]) for v in middle) + b"\0\0"
    rle8 += bytes([0, 2, 2, 0]) + bytes([2, idx[0][2]]) + b"\0\1"
    top = [PALETTE[0], PALETTE[0], PIC[0][2], PIC[0][2], PALETTE[0]]
    write("bmp8_rle.bmp", bmp(info40(W, H, 8, comp=1, colors=len(PALETTE)), pal, rle8), [top, PIC[1], PIC[2]])
    # RLE4: absolute run of 5 nibbles (padded), then an encoded run alternating two colours.
    rle4 = bytes([0, 5]) + packed(bottom, 4) + b"\0" + b"\0\0"
    rle4 += bytes([5, idx[1][0] << 4 | idx[1][1]]) + b"\0\0"
    rle4 += bytes([5, idx[0][0] << 4 | idx[0][0]]) + b"\0\1"
    alt = [PIC[1][0], PIC[1][1], PIC[1][0], PIC[1][1], PIC[1][0]]
    write("bmp4_rle.bmp", bmp(info40(W, H, 4, comp=2, colors=len(PALETTE)), pal, rle4), [[PIC[0][0]] * 5, alt, PIC[2]])


# ---------------------------------------------------------------- PNG
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png(w, h, color_type, depth, samples, interlace=False, extra_chunks=b""):
    """samples[y][x] is a tuple of channel values at `depth` bits."""
    def row_bytes(row):
        if depth >= 8:
            return b"".join(v.to_bytes(depth // 8, "big") for px in row for v in px)
        return packed([v for px in row for v in px], depth)

    raw = b""
    if not interlace:
        raw = b"".join(b"\0" + row_bytes(r) for r in samples)
    else:
        passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
        for (x0, y0, dx, dy) in passes:
            for y in range(y0, h, dy):
                sub = [samples[y][x] for x in range(x0, w, dx)]
                if sub:
                    raw += b"\0" + row_bytes(sub)
    ihdr = struct.pack(">IIBBBBB", w, h, depth, color_type, 0, 0, 1 if interlace else 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + extra_chunks + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def make_pngs():
    write("png_rgb8.png", png(W, H, 2, 8, PIC), PIC)
    write("png_rgb8_interlaced.png", png(W, H, 2, 8, PIC, interlace=True), PIC)
    write("png_rgb16.png", png(W, H, 2, 16, [[tuple(c * 257 for c in p) for p in r] for r in PIC]), PIC)
    # RGBA: alpha varies; expected = colour * alpha / 255 rounded
    alphas = [[(x * 60 + y * 20) % 256 for x in range(W)] for y in range(H)]
    alphas[0][0] = 255
    over_black = lambda p, a: tuple((c * a + 127) // 255 for c in p)
    rgba = [[PIC[y][x] + (alphas[y][x],) for x in range(W)] for y in range(H)]
    exp = [[over_black(PIC[y][x], alphas[y][x]) for x in range(W)] for y in range(H)]
    write("png_rgba8.png", png(W, H, 6, 8, rgba), exp)
    write("png_rgba16_interlaced.png", png(W, H, 6, 16, [[tuple(c * 257 for c in p) for p in r] for r in rgba], interlace=True), exp)
    # greyscale 1, 2, 4, 8, 16 bits and grey + alpha
    for depth in (1, 2, 4, 8, 16):
        m = (1 << depth) - 1
        grey = [[((x + 2 * y) * 37) % (m + 1) for x in range(W)] for y in range(H)]
        scale = lambda v: (v * 255 + m // 2) // m if depth <= 8 else v >> 8
        write("png_grey%d.png" % depth, png(W, H, 0, depth, [[(v,) for v in r] for r in grey]),
              [[(scale(v),) * 3 for v in r] for r in grey])
    ga = [[(((x + y) * 50) % 256, alphas[y][x]) for x in range(W)] for y in range(H)]
    write("png_grey_alpha8.png", png(W, H, 4, 8, ga), [[over_black((g,) * 3, a) for (g, a) in r] for r in ga])
    # palette 4 and 8 bits with a tRNS chunk making entry 0 transparent and entry 1 half
    plte = chunk(b"PLTE", b"".join(bytes(p) for p in PALETTE))
    trns = chunk(b"tRNS", bytes([0, 128]))
    idx = [[PALETTE.index(p) for p in row] for row in PIC]
    a_of = lambda i: 0 if i == 0 else (128 if i == 1 else 255)
    exp_pal = [[over_black(PALETTE[i], a_of(i)) for i in r] for r in idx]
    write("png_pal8_trns.png", png(W, H, 3, 8, [[(i,) for i in r] for r in idx], extra_chunks=plte + trns), exp_pal)
    write("png_pal4.png", png(W, H, 3, 4, [[(i,) for i in r] for r in idx], extra_chunks=plte), PIC)


# ---------------------------------------------------------------- JPEG (ImageMagick)
def make_jpegs():
    # 32 x 32 in four flat 16 x 16 quadrants, so the centres survive compression.
    quad = [(200, 30, 40), (30, 180, 60), (40, 60, 210), (240, 240, 230)]
    pix = [[quad[(y // 16) * 2 + x // 16] for x in range(32)] for y in range(32)]
    ppm = os.path.join(HERE, "quad.ppm")
    with open(ppm, "wb") as f:
        f.write(b"P6 32 32 255\n" + bytes(c for r in pix for p in r for c in p))
    def im(name, *opts, expected=pix):
        out = os.path.join(HERE, name)
        subprocess.run(["convert", ppm, *opts, "-quality", "95", out], check=True)
        write(name, open(out, "rb").read(), expected)
    im("jpeg_rgb.jpg")
    im("jpeg_progressive.jpg", "-interlace", "JPEG")
    # The grey levels ImageMagick itself picks for the quadrants (before compression).
    pgm = subprocess.run(["convert", ppm, "-colorspace", "Gray", "pgm:-"], check=True, capture_output=True).stdout
    levels = pgm[-32 * 32:]
    grey = [[(levels[y * 32 + x],) * 3 for x in range(32)] for y in range(32)]
    im("jpeg_grey.jpg", "-colorspace", "Gray", "-type", "Grayscale", expected=grey)
    im("jpeg_cmyk.jpg", "-colorspace", "CMYK")
    os.remove(ppm)


if __name__ == "__main__":
    make_bmps()
    make_pngs()
    make_jpegs()
