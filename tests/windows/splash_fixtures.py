#!/usr/bin/env python3
"""The splash images the tests carry in resource 28, made with ImageMagick from small generated
bases, and what each must be: one PNG per pixel format the decoder has to take, plus images that
must be refused.

  splash_fixtures.py --list          names of all fixtures, one a line
  splash_fixtures.py --make DIR      writes DIR/<name>.img for every fixture
"""
import os
import struct
import subprocess
import sys
import tempfile

WIDTH, HEIGHT = 61, 37  # odd on purpose: the centring drops a half pixel on both axes

# Two inner blocks carry the alpha cases; the border stays opaque so that the image's edges are
# exact on screen.
def alpha_at(x, y):
    if 10 <= x < 30 and 8 <= y < 28:
        return 64 + ((x + y) * 5) % 128  # partly transparent, varying
    if 35 <= x < 50 and 8 <= y < 28:
        return 0
    return 255


# Colours change with every column and row, so an image placed one pixel off fails everywhere.
def colour_pixel(x, y, with_alpha):
    pixel = [(x * 4 + y) & 255, (y * 6 + x) & 255, (x * y) & 255]
    return pixel + [alpha_at(x, y)] if with_alpha else pixel


def palette_pixel(x, y, with_alpha):
    index = x // 8 + (y // 8) * 8
    pixel = [(index * 37) & 255, (index * 91) & 255, (index * 13) & 255]
    if not with_alpha:
        return pixel
    return pixel + [128 if 10 <= x < 30 and 8 <= y < 28 else 0 if 35 <= x < 50 and 8 <= y < 28 else 255]


def grey_pixel(x, y, with_alpha):
    pixel = [(x * 4 + y * 3) & 255]
    return pixel + [alpha_at(x, y)] if with_alpha else pixel


def bilevel_pixel(x, y, with_alpha):
    return [255 if (x // 3 + y // 2) % 2 else 0]


BASES = {
    "colour-alpha": (colour_pixel, True, "RGB_ALPHA"),
    "colour": (colour_pixel, False, "RGB"),
    "palette": (palette_pixel, False, "RGB"),
    "palette-alpha": (palette_pixel, True, "RGB_ALPHA"),
    "grey": (grey_pixel, False, "GRAYSCALE"),
    "grey-alpha": (grey_pixel, True, "GRAYSCALE_ALPHA"),
    "bilevel": (bilevel_pixel, False, "GRAYSCALE"),
}

# No ancillary chunks: no gamma or colour chunk that a decoder might apply and another ignore.
PLAIN = ["-define", "png:exclude-chunks=all", "-define", "png:include-chunk=tRNS"]

# name: (base, ImageMagick arguments before the output, output prefix, expected IHDR as
# (bit depth, colour type, interlace) and whether a tRNS chunk is there)
PNG_FIXTURES = {
    "rgba8": ("colour-alpha", [], "PNG32", (8, 6, 0), False),
    "rgba8-interlaced": ("colour-alpha", ["-interlace", "PNG"], "PNG32", (8, 6, 1), False),
    "rgba16": ("colour-alpha", [], "PNG64", (16, 6, 0), False),
    "rgb8": ("colour", [], "PNG24", (8, 2, 0), False),
    "rgb16": ("colour", [], "PNG48", (16, 2, 0), False),
    "palette": ("palette", [], "PNG8", (8, 3, 0), False),
    "palette-alpha": ("palette-alpha", ["-type", "PaletteAlpha"], "PNG", (8, 3, 0), True),
    "grey8": ("grey", ["-define", "png:color-type=0", "-depth", "8"], "PNG", (8, 0, 0), False),
    "grey16": ("grey", ["-define", "png:color-type=0", "-define", "png:bit-depth=16"], "PNG", (16, 0, 0), False),
    "grey-alpha8": ("grey-alpha", ["-define", "png:color-type=4", "-depth", "8"], "PNG", (8, 4, 0), False),
    "grey-alpha16-interlaced": ("grey-alpha", ["-define", "png:color-type=4", "-define", "png:bit-depth=16", "-interlace", "PNG"],
                                "PNG", (16, 4, 1), False),
    "grey1": ("bilevel", ["-define", "png:color-type=0", "-define", "png:bit-depth=1"], "PNG", (1, 0, 0), False),
}

# Resource 28 contents that must give no splash at all.
REFUSED_FIXTURES = ["not-png", "truncated-png"]


def names():
    return list(PNG_FIXTURES) + REFUSED_FIXTURES


def write_base(path, base):
    pixel, with_alpha, tuple_type = BASES[base]
    depth = len(pixel(0, 0, with_alpha))
    data = bytearray()
    for y in range(HEIGHT):
        for x in range(WIDTH):
            data += bytes(pixel(x, y, with_alpha))
    header = f"P7\nWIDTH {WIDTH}\nHEIGHT {HEIGHT}\nDEPTH {depth}\nMAXVAL 255\nTUPLTYPE {tuple_type}\nENDHDR\n"
    with open(path, "wb") as f:
        f.write(header.encode("ascii") + data)


def png_chunks(data):
    """(type, body) of every chunk of a PNG file."""
    chunks = []
    at = 8
    while at + 8 <= len(data):
        (length,) = struct.unpack(">I", data[at:at + 4])
        chunks.append((data[at + 4:at + 8].decode("latin-1"), data[at + 8:at + 8 + length]))
        at += 12 + length
    return chunks


def png_format(data):
    """((bit depth, colour type, interlace), has tRNS, (width, height)) of a PNG file."""
    chunks = png_chunks(data)
    width, height, bit_depth, colour_type, _, _, interlace = struct.unpack(">IIBBBBB", chunks[0][1])
    return (bit_depth, colour_type, interlace), any(kind == "tRNS" for kind, _ in chunks), (width, height)


def convert(*arguments):
    subprocess.run(["convert", *arguments], check=True)


def make(directory):
    os.makedirs(directory, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        bases = {}
        for base in BASES:
            bases[base] = os.path.join(work, base + ".pam")
            write_base(bases[base], base)
        for name, (base, arguments, prefix, ihdr, has_trns) in PNG_FIXTURES.items():
            output = os.path.join(directory, name + ".img")
            convert(bases[base], *PLAIN, *arguments, f"{prefix}:{output}")
            with open(output, "rb") as f:
                made = png_format(f.read())
            if made != (ihdr, has_trns, (WIDTH, HEIGHT)):
                sys.exit(f"splash_fixtures: {name} came out as {made}, not {(ihdr, has_trns)}")
        # A format that a general image factory would happily decode: it must still be refused.
        convert(bases["colour-alpha"], f"BMP:{os.path.join(directory, 'not-png.img')}")
        # Signature and header intact, image data cut short.
        with open(os.path.join(directory, "rgba8.img"), "rb") as f:
            whole = f.read()
        with open(os.path.join(directory, "truncated-png.img"), "wb") as f:
            f.write(whole[: len(whole) // 2])


if __name__ == "__main__":
    if sys.argv[1:] == ["--list"]:
        print("\n".join(names()))
    elif len(sys.argv) == 3 and sys.argv[1] == "--make":
        make(sys.argv[2])
    else:
        sys.exit(__doc__)
