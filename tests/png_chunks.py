#!/usr/bin/env python3
"""An independent reader of saved constructions, from docs/construction-format.md alone: walks the
PNG chunks with struct and zlib, checks every chunk's CRC, finds IHDR (640 x 480, 8-bit RGB) and
the one zeNt chunk after the image data, unpacks it, checks its own length and CRC, and reads the
payload's head and block count. Exit status 0 when every file named is a valid construction."""
import struct
import sys
import zlib

def check(path):
    data = open(path, 'rb').read()
    assert data[:8] == b'\x89PNG\r\n\x1a\n', 'signature'
    at, chunks = 8, []
    while at < len(data):
        length, kind = struct.unpack('>I4s', data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        crc, = struct.unpack('>I', data[at + 8 + length:at + 12 + length])
        assert zlib.crc32(kind + body) == crc, 'CRC of ' + kind.decode()
        chunks.append((kind, body))
        at += 12 + length
    kinds = [k for k, _ in chunks]
    assert kinds[0] == b'IHDR' and kinds[-1] == b'IEND', kinds
    width, height, depth, colour = struct.unpack('>IIBB', chunks[0][1][:10])
    assert (width, height, depth, colour) == (640, 480, 8, 2), (width, height, depth, colour)
    assert kinds.count(b'zeNt') == 1 and kinds.index(b'zeNt') > kinds.index(b'IDAT'), kinds
    # The case of each letter: ancillary, private, reserved bit clear, safe to copy.
    assert [chr(c).islower() for c in b'zeNt'] == [True, True, False, True]
    body = chunks[kinds.index(b'zeNt')][1]
    version, size, crc = struct.unpack('<III', body[:12])
    payload = zlib.decompress(body[12:])
    assert version == 1 and len(payload) == size and zlib.crc32(payload) == crc
    face, table, cw, ch = struct.unpack('<IIII', payload[:16])
    assert (face, table, cw, ch) == (8, 240, 640, 480)
    pitch, yaw, zoom = struct.unpack('<fff', payload[16:28])
    blocks_at = 16 + 12 + 4 + 3 + 12 + table * table * 3 + cw * ch * 3 + 2 * 68 + 3 * 8 + 4 + 12
    blocks, = struct.unpack('<I', payload[blocks_at:blocks_at + 4])
    handles_at = blocks_at + 4 + blocks * 1796
    handles, = struct.unpack('<I', payload[handles_at:handles_at + 4])
    assert handles_at + 4 + handles * 24 == len(payload), 'payload length'
    print('%s: %d bytes, %d blocks, %d handles, pitch %.1f yaw %.1f zoom %.2f' %
          (path, len(data), blocks, handles, pitch, yaw, zoom))

for name in sys.argv[1:]:
    check(name)
