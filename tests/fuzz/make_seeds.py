#!/usr/bin/env python3
"""Writes the hand-made edge-case seeds of the reader fuzz targets into bmp/, png/, wav/ and dib/,
beside a few small files of our own generated data (give the build's data/ folder).
Usage: make_seeds.py BUILD_DATA_FOLDER"""
import os
import shutil
import struct
import sys
import zlib

here = os.path.dirname(os.path.abspath(__file__))


def put(folder, name, data):
    os.makedirs(os.path.join(here, folder), exist_ok=True)
    with open(os.path.join(here, folder, name), "wb") as f:
        f.write(data)


# ---- BMP ----
def bmp(width, height, bits, rows, compression=0, masks=None, header=40):
    """rows: list of bytes per row, top row first; written bottom-up unless height < 0."""
    stride = (abs(width) * bits // 8 + 3) & ~3
    ordered = rows if height < 0 else list(reversed(rows))
    pixels = b"".join(r.ljust(stride, b"\0") for r in ordered)
    extra = b"".join(struct.pack("<I", m) for m in masks) if masks else b""
    info = struct.pack("<IiiHHIIiiII", header, width, height, 1, bits, compression, len(pixels),
                       2835, 2835, 0, 0).ljust(header, b"\0")
    offset = 14 + header + len(extra)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + info + extra + pixels


def bmp_seeds():
    seeds = {}
    w, h = 5, 3  # odd width: every row is padded
    rgb24 = [b"".join(bytes((x * 50, y * 80, 200)) for x in range(w)) for y in range(h)]
    seeds["24bit_odd_width.bmp"] = bmp(w, h, 24, rgb24)
    seeds["24bit_top_down.bmp"] = bmp(w, -h, 24, rgb24)
    px555 = [b"".join(struct.pack("<H", (x << 10) | (y << 5) | 31) for x in range(w)) for y in range(h)]
    seeds["16bit_555.bmp"] = bmp(w, h, 16, px555)
    px565 = [b"".join(struct.pack("<H", (x << 11) | (y << 5) | 31) for x in range(w)) for y in range(h)]
    seeds["16bit_565_bitfields.bmp"] = bmp(w, h, 16, px565, 3, (0xF800, 0x07E0, 0x001F))
    px32 = [b"".join(struct.pack("<I", 0x80000000 | (x << 20) | (y << 10) | 7) for x in range(w)) for y in range(h)]
    seeds["32bit.bmp"] = bmp(w, h, 32, px32)
    seeds["32bit_bitfields.bmp"] = bmp(w, h, 32, px32, 3, (0x3FF00000, 0x000FFC00, 0x000003FF))
    seeds["32bit_v5_header.bmp"] = bmp(w, -h, 32, px32, 0, None, 124)
    seeds["1x1.bmp"] = bmp(1, 1, 24, [b"\x01\x02\x03"])
    seeds["8bit_palette_refused.bmp"] = bmp(4, 1, 8, [b"\0\1\2\3"])
    seeds["truncated.bmp"] = bmp(w, h, 24, rgb24)[:60]
    return seeds


# ---- PNG ----
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def png(width, height, colour_type, depth, sample, interlace=False, extra=b""):
    """sample(x, y) -> list of channel values; rows are packed at the given bit depth."""
    def row(y, xs):
        values = [v for x in xs for v in sample(x, y)]
        if depth == 16:
            return b"".join(struct.pack(">H", v) for v in values)
        if depth == 8:
            return bytes(values)
        bits = "".join(format(v, "0%db" % depth) for v in values)
        bits += "0" * (-len(bits) % 8)
        return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))

    raw = b""
    passes = ADAM7 if interlace else [(0, 0, 1, 1)]
    for x0, y0, dx, dy in passes:
        xs = list(range(x0, width, dx))
        if not xs:
            continue
        for y in range(y0, height, dy):
            raw += b"\0" + row(y, xs)
    ihdr = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 1 if interlace else 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + extra +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def png_seeds():
    w, h = 7, 5
    seeds = {}
    seeds["rgba8.png"] = png(w, h, 6, 8, lambda x, y: [x * 30, y * 50, 99, 255 - x * 20])
    seeds["rgb16.png"] = png(w, h, 2, 16, lambda x, y: [x * 9000, y * 12000, 65535])
    seeds["rgba16.png"] = png(w, h, 6, 16, lambda x, y: [x * 9000, y * 12000, 1, 30000])
    seeds["grey1.png"] = png(w, h, 0, 1, lambda x, y: [(x + y) & 1])
    seeds["grey8.png"] = png(w, h, 0, 8, lambda x, y: [x * 30 + y])
    seeds["grey_alpha8.png"] = png(w, h, 4, 8, lambda x, y: [x * 30, y * 50])
    palette = chunk(b"PLTE", bytes([255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255]))
    trns = chunk(b"tRNS", bytes([255, 128, 0]))
    seeds["palette2_trns.png"] = png(w, h, 3, 2, lambda x, y: [(x + y) % 4], False, palette + trns)
    seeds["palette8.png"] = png(w, h, 3, 8, lambda x, y: [(x * y) % 4], False, palette)
    seeds["interlaced_rgb8.png"] = png(w + 4, h + 4, 2, 8, lambda x, y: [x * 20, y * 20, 7], True)
    seeds["interlaced_grey4.png"] = png(w, h, 0, 4, lambda x, y: [x + y], True)
    seeds["rgb8_gamma.png"] = png(w, h, 2, 8, lambda x, y: [x, y, x + y], False,
                                  chunk(b"gAMA", struct.pack(">I", 45455)))
    # Every kind of ancillary chunk, so that mutations start from each one's reader.
    rgba = lambda x, y: [x * 30, y * 50, 99, 255 - x * 20]
    seeds["rgba8_text.png"] = png(w, h, 6, 8, rgba, False, chunk(b"tEXt", b"Comment\0made by us"))
    seeds["rgba8_ztxt.png"] = png(w, h, 6, 8, rgba, False,
                                  chunk(b"zTXt", b"Title\0\0" + zlib.compress(b"Zentrova " * 8, 9)))
    seeds["rgba8_itxt.png"] = png(w, h, 6, 8, rgba, False,
                                  chunk(b"iTXt", b"Author\0\0\0en\0Autor\0us"))
    seeds["grey8_trns.png"] = png(w, h, 0, 8, lambda x, y: [x * 30 + y], False,
                                  chunk(b"tRNS", struct.pack(">H", 30)))
    seeds["rgb8_unknown_ancillary.png"] = png(w, h, 2, 8, lambda x, y: [x, y, 9], False,
                                              chunk(b"zeNt", bytes(range(16))))
    seeds["truncated.png"] = seeds["rgba8.png"][:50]
    # A text chunk that declares 0x7E00000D bytes in a 135-byte file: libpng once allocated and
    # cleared all of them before finding the data was not there.
    ihdr = struct.pack(">IIBBBBB", 4, 4, 8, 6, 0, 0, 0)
    head = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + struct.pack(">I", 0x7E00000D) + b"tEXt"
    seeds["text_chunk_past_end.png"] = (head + b"Comment\0").ljust(135, b"x")
    ihdr = struct.pack(">IIBBBBB", 8192, 8192, 8, 6, 0, 0, 0)
    seeds["huge_claim.png"] = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
                               chunk(b"IDAT", zlib.compress(b"\0" * 4, 9)) + chunk(b"IEND", b""))
    # Within the pixel limit but far too short to hold so many rows; and wider than any side read.
    ihdr = struct.pack(">IIBBBBB", 2048, 2048, 8, 6, 0, 0, 0)
    seeds["huge_claim_within_limit.png"] = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
                                            chunk(b"IDAT", zlib.compress(b"\0" * 4, 9)) + chunk(b"IEND", b""))
    seeds["huge_too_wide.png"] = png(9000, 1, 0, 1, lambda x, y: [0])
    return seeds


# ---- WAV ----
def wav(chunks):
    body = b"WAVE" + b"".join(k + struct.pack("<I", len(d)) + d + (b"\0" if len(d) & 1 else b"")
                              for k, d in chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def fmt(channels, rate, bits, tag=1, extra=b""):
    align = channels * bits // 8
    return struct.pack("<HHIIHH", tag, channels, rate, rate * align, align, bits) + extra


def wav_seeds():
    mono = b"".join(struct.pack("<h", (i * 3000) % 60000 - 30000) for i in range(40))
    seeds = {}
    seeds["mono16.wav"] = wav([(b"fmt ", fmt(1, 22050, 16)), (b"data", mono)])
    seeds["stereo16.wav"] = wav([(b"fmt ", fmt(2, 44100, 16)), (b"data", mono)])
    seeds["8bit_refused.wav"] = wav([(b"fmt ", fmt(1, 8000, 8)), (b"data", bytes(range(40)))])
    seeds["odd_data_size.wav"] = wav([(b"fmt ", fmt(1, 11025, 16)), (b"data", mono[:33])])
    seeds["extra_chunks.wav"] = wav([(b"LIST", b"INFOISFT\x05\0\0\0ours\0"), (b"fmt ", fmt(1, 16000, 16, 1, b"\0\0")),
                                     (b"fact", struct.pack("<I", 20)), (b"junk", b"abc"), (b"data", mono)])
    seeds["data_before_fmt.wav"] = wav([(b"data", mono), (b"fmt ", fmt(1, 8000, 16))])
    seeds["float_refused.wav"] = wav([(b"fmt ", fmt(1, 8000, 32, 3)), (b"data", mono)])
    seeds["chunk_past_end.wav"] = wav([(b"fmt ", fmt(1, 8000, 16)), (b"data", mono)])[:-20]
    return seeds


def main():
    data = sys.argv[1]
    for name, content in bmp_seeds().items():
        put("bmp", name, content)
        put("dib", name, content)
    for name in ("cursor_rotate_mask.bmp", "door_close.bmp"):
        shutil.copy(os.path.join(data, name), os.path.join(here, "bmp", "ours_" + name))
        shutil.copy(os.path.join(data, name), os.path.join(here, "dib", "ours_" + name))
    for name, content in png_seeds().items():
        put("png", name, content)
    for name in ("cursor_default.png", "icon.png"):
        shutil.copy(os.path.join(data, name), os.path.join(here, "png", "ours_" + name))
    for name, content in wav_seeds().items():
        put("wav", name, content)
    shutil.copy(os.path.join(data, "select.wav"), os.path.join(here, "wav", "ours_select.wav"))


main()
