#!/usr/bin/env python3
"""Draws a .glb's triangles from the toy's camera, with nothing of the toy's own code: a judge of
an export that is not our renderer.

Usage: tools/gltf_look.py FILE.glb CAMERA.json OUT.png [TOY_MASK.png]
CAMERA.json holds "screen": the 16 numbers of the toy's screen matrix (world x view x projection
x viewport, row vectors, display space) and "metresPerUnit". Each triangle is filled with its
texture, nearest texel, behind a depth test. With TOY_MASK.png (black where the toy's own pick
buffer shows a block), the blocks' silhouettes are compared and the share of pixels on which they
agree is printed."""
import json
import struct
import sys
import zlib


def read_glb(path):
    data = open(path, "rb").read()
    magic, version, length = struct.unpack_from("<III", data, 0)
    assert magic == 0x46546C67 and version == 2 and length == len(data), "not a glTF 2 binary"
    json_length, kind = struct.unpack_from("<II", data, 12)
    assert kind == 0x4E4F534A
    doc = json.loads(data[20:20 + json_length])
    at = 20 + json_length
    bin_length, kind = struct.unpack_from("<II", data, at)
    assert kind == 0x004E4942
    return doc, data[at + 8:at + 8 + bin_length]


def accessor(doc, binary, index):
    a = doc["accessors"][index]
    view = doc["bufferViews"][a["bufferView"]]
    width = {"SCALAR": 1, "VEC2": 2, "VEC3": 3}[a["type"]]
    fmt = {5126: "f", 5123: "H"}[a["componentType"]]
    size = struct.calcsize(fmt)
    stride = view.get("byteStride", size * width)
    base = view.get("byteOffset", 0) + a.get("byteOffset", 0)
    out = []
    for i in range(a["count"]):
        values = struct.unpack_from("<" + fmt * width, binary, base + i * stride)
        out.append(values if width > 1 else values[0])
    return out


def png_decode(data):
    """8-bit RGB or RGBA, not interlaced: what our exporter writes."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, idat, width, height, channels = 8, b"", 0, 0, 3
    while at < len(data):
        length, kind = struct.unpack_from(">I4s", data, at)
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack_from(">IIBB", body)
            assert depth == 8 and colour in (2, 6)
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw = zlib.decompress(idat)
    rows, previous, stride = [], bytearray(width * channels), width * channels
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = previous[i]
            c = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line)
        previous = line
    return width, height, channels, rows


def png_encode(path, width, height, pixels):
    raw = b"".join(b"\x00" + bytes(pixels[y * width * 3:(y + 1) * width * 3]) for y in range(height))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


def main():
    glb, camera, out = sys.argv[1:4]
    doc, binary = read_glb(glb)
    cam = json.load(open(camera))
    m, scale = cam["screen"], cam["metresPerUnit"]
    width, height = 640, 480
    colour = bytearray(b"\xd8" * (width * height * 3))  # grey, so that white faces show
    depth = [2.0] * (width * height)
    block = bytearray(width * height)  # 1 where the nearest surface is a block's
    images = {}
    for node in doc["nodes"]:
        if "mesh" not in node:
            continue
        is_block = 0 if node.get("name") == "table" else 1
        primitive = doc["meshes"][node["mesh"]]["primitives"][0]
        positions = accessor(doc, binary, primitive["attributes"]["POSITION"])
        uvs = accessor(doc, binary, primitive["attributes"]["TEXCOORD_0"])
        normals = accessor(doc, binary, primitive["attributes"]["NORMAL"])
        indices = accessor(doc, binary, primitive["indices"])
        material = doc["materials"][primitive["material"]]
        image_index = doc["textures"][material["pbrMetallicRoughness"]["baseColorTexture"]["index"]]["source"]
        if image_index not in images:
            view = doc["bufferViews"][doc["images"][image_index]["bufferView"]]
            start = view.get("byteOffset", 0)
            images[image_index] = png_decode(binary[start:start + view["byteLength"]])
        tw, th, channels, texels = images[image_index]
        screen = []
        for x, y, z in positions:
            d = (x / scale, y / scale, -z / scale, 1.0)  # back to the toy's display space
            v = [sum(d[r] * m[r * 4 + c] for r in range(4)) for c in range(4)]
            screen.append((v[0] / v[3], v[1] / v[3], v[2] / v[3]))
        for t in range(0, len(indices), 3):
            a, b, c = (screen[i] for i in indices[t:t + 3])
            ua, ub, uc = (uvs[i] for i in indices[t:t + 3])
            # Flat shading from one light, so that faces of one colour stand apart.
            n = normals[indices[t]]
            shade = 0.55 + 0.45 * max(0.0, (0.3 * n[0] + 0.8 * n[1] + 0.5 * n[2]) / 0.9899)
            area = (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0])
            if abs(area) < 1e-9:
                continue
            x0, x1 = max(0, int(min(a[0], b[0], c[0]))), min(width - 1, int(max(a[0], b[0], c[0])) + 1)
            y0, y1 = max(0, int(min(a[1], b[1], c[1]))), min(height - 1, int(max(a[1], b[1], c[1])) + 1)
            for py in range(y0, y1 + 1):
                for px in range(x0, x1 + 1):
                    w0 = ((b[0] - px) * (c[1] - py) - (b[1] - py) * (c[0] - px)) / area
                    w1 = ((c[0] - px) * (a[1] - py) - (c[1] - py) * (a[0] - px)) / area
                    w2 = 1.0 - w0 - w1
                    if w0 < 0 or w1 < 0 or w2 < 0:
                        continue
                    z = w0 * a[2] + w1 * b[2] + w2 * c[2]
                    k = py * width + px
                    if not (0.0 <= z < depth[k]):
                        continue
                    depth[k] = z
                    block[k] = is_block
                    u = w0 * ua[0] + w1 * ub[0] + w2 * uc[0]
                    v = w0 * ua[1] + w1 * ub[1] + w2 * uc[1]
                    tx = min(tw - 1, max(0, int(u * tw)))
                    ty = min(th - 1, max(0, int(v * th)))
                    texel = texels[ty][tx * channels:tx * channels + 3]
                    colour[3 * k:3 * k + 3] = bytes(int(c * shade) for c in texel)
    png_encode(out, width, height, colour)
    if len(sys.argv) > 4:
        tw, th, channels, toy = png_decode(open(sys.argv[4], "rb").read())
        agree = total = 0
        for y in range(th):
            for x in range(tw):
                agree += block[y * width + x] == (toy[y][x * channels] == 0)
                total += 1
        print(f"silhouettes agree on {agree / total:.4f} of {total} pixels")


if __name__ == "__main__":
    main()
