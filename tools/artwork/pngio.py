"""Minimal PNG reading and writing for the artwork generator.

Reads the 8-bit RGB/RGBA images that rsvg-convert writes, and writes RGBA
pictures losslessly, as a palette image where the colours fit.
"""

import struct
import zlib

SIGNATURE = b"\x89PNG\r\n\x1a\n"


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def _unfilter(raw, width, height, bpp):
    stride = width * bpp
    out = bytearray(height * stride)
    prev = bytearray(stride)
    pos = 0
    for y in range(height):
        kind = raw[pos]
        line = bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        if kind == 1:
            for i in range(bpp, stride):
                line[i] = (line[i] + line[i - bpp]) & 255
        elif kind == 2:
            for i in range(stride):
                line[i] = (line[i] + prev[i]) & 255
        elif kind == 3:
            for i in range(stride):
                left = line[i - bpp] if i >= bpp else 0
                line[i] = (line[i] + ((left + prev[i]) >> 1)) & 255
        elif kind == 4:
            for i in range(stride):
                left = line[i - bpp] if i >= bpp else 0
                upleft = prev[i - bpp] if i >= bpp else 0
                line[i] = (line[i] + _paeth(left, prev[i], upleft)) & 255
        elif kind != 0:
            raise ValueError("unknown PNG filter type %d" % kind)
        out[y * stride:(y + 1) * stride] = line
        prev = line
    return out


def read_png(path):
    """Returns (width, height, RGBA bytearray) of an 8-bit PNG, not
    interlaced."""
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(SIGNATURE):
        raise ValueError("%s is not a PNG file" % path)
    pos = len(SIGNATURE)
    idat = []
    width = height = depth = colour = interlace = None
    palette = transparency = b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(
                ">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = body
        elif kind == b"tRNS":
            transparency = body
        elif kind == b"IDAT":
            idat.append(body)
        elif kind == b"IEND":
            break
    if depth != 8 or colour not in (0, 2, 3, 6) or interlace != 0:
        raise ValueError("%s: only 8-bit grey, palette, RGB or RGBA, not "
                         "interlaced" % path)
    bpp = {0: 1, 2: 3, 3: 1, 6: 4}[colour]
    pixels = _unfilter(zlib.decompress(b"".join(idat)), width, height, bpp)
    if colour == 0:
        pixels = bytearray(b"".join(bytes((v, v, v, 255)) for v in pixels))
    elif colour == 3:
        alphas = transparency + b"\xff" * (256 - len(transparency))
        pixels = bytearray(b"".join(palette[3 * v:3 * v + 3] + alphas[v:v + 1]
                                    for v in pixels))
    elif bpp == 3:
        rgba = bytearray(width * height * 4)
        rgba[0::4], rgba[1::4], rgba[2::4] = pixels[0::3], pixels[1::3], pixels[2::3]
        rgba[3::4] = b"\xff" * (width * height)
        pixels = rgba
    return width, height, pixels


def _chunk(kind, body):
    crc = zlib.crc32(kind + body) & 0xFFFFFFFF
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", crc)


def encode_png(width, height, rgba):
    """Encodes RGBA bytes losslessly: a palette image (with transparency
    where needed) when at most 256 colours occur, RGBA otherwise. Every row
    is stored unfiltered; the output depends only on the pixels."""
    rgba = bytes(rgba)
    words = memoryview(rgba).cast("I")
    colours = sorted(set(words))
    if len(colours) <= 256:
        index = {c: i for i, c in enumerate(colours)}
        samples = bytes(map(index.__getitem__, words))
        stride, colour_type = width, 3
        table = b"".join(struct.pack("<I", c) for c in colours)
        palette = b"".join(table[i:i + 3] for i in range(0, len(table), 4))
        alphas = table[3::4]
        extra = _chunk(b"PLTE", palette)
        if alphas.rstrip(b"\xff"):
            extra += _chunk(b"tRNS", alphas.rstrip(b"\xff"))
    else:
        samples, stride, colour_type, extra = rgba, width * 4, 6, b""
    rows = b"".join(b"\x00" + samples[y * stride:(y + 1) * stride]
                    for y in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    return (SIGNATURE + _chunk(b"IHDR", header) + extra +
            _chunk(b"IDAT", zlib.compress(rows, 9)) + _chunk(b"IEND", b""))


def encode_photo(width, height, rgba):
    """Encodes an opaque photograph as RGB, each row Paeth-filtered, which
    suits its noise better than a palette or no filter."""
    rgba = bytes(rgba)
    assert all(a == 255 for a in rgba[3::4])
    rgb = bytearray(width * height * 3)
    rgb[0::3], rgb[1::3], rgb[2::3] = rgba[0::4], rgba[1::4], rgba[2::4]
    stride = width * 3
    rows = bytearray()
    prev = bytes(stride)
    for y in range(height):
        line = rgb[y * stride:(y + 1) * stride]
        rows.append(4)
        for i in range(stride):
            left = line[i - 3] if i >= 3 else 0
            upleft = prev[i - 3] if i >= 3 else 0
            rows.append((line[i] - _paeth(left, prev[i], upleft)) & 255)
        prev = line
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (SIGNATURE + _chunk(b"IHDR", header) +
            _chunk(b"IDAT", zlib.compress(bytes(rows), 9)) +
            _chunk(b"IEND", b""))
