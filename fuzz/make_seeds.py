#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/ (small files only).

Run from anywhere; existing seeds of the same name are replaced. The preset seeds also take the
factory presets and the test fixtures, so that the fuzzers start from real files."""
import os
import shutil
import struct
import zlib

ROOT = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(ROOT)


def seed(target, name, data):
    folder = os.path.join(ROOT, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("latin-1"))


def preset_lines(fields):
    text = " begin GlowUnit\n\n"
    for line in fields:
        text += "  " + line + "\n\n"
    return text + " end GlowUnit\n\n"


def preset_seeds():
    for folder in (os.path.join(REPO, "presets", "Shimmerly Presets"),
                   os.path.join(REPO, "tests", "data", "presets")):
        for name in sorted(os.listdir(folder)):
            if name.endswith(".smr"):
                shutil.copyfile(os.path.join(folder, name),
                                os.path.join(ROOT, "corpus", "preset_reader_fuzz",
                                             name.replace(" ", "_")))
    seed("preset_reader_fuzz", "numbers.smr", preset_lines([
        'Name "GlowUnit"', "TargetBrightCutoff nan", "TargetDarkCutoff -0",
        "TargetFeather 1e308", "Boost 0x1p-3", "Softness 1e999",
        "CustomColor inf 0.5 -1", "TargetShowTarget 99999999999999999999",
        "CompositeOnOriginal on"]))
    seed("preset_reader_fuzz", "quoted.smr",
         ' begin GlowUnit\n # comment\n  Name "say \\"hi\\" \\\\ there"\n'
         '  TargetType "SquareAlpha"\r\n  TransferMode "MagicGlue3"\r\n'
         '  ColorFrom "Layer" TargetProcessing "OuterGlow"\n end GlowUnit\n')
    seed("preset_reader_fuzz", "end_of_stream.smr",
         ' begin GlowUnit\n  Name "x"\n  **EndOfStream**\n end GlowUnit\n')
    seed("preset_reader_fuzz", "unknown.smr",
         preset_lines(['Name "GlowUnit"'] + ["Unknown%d 1 2" % i for i in range(40)]))


def index_seeds():
    seed("preset_index_fuzz", "plain.idx", "Warm\nCold Glow\n")
    seed("preset_index_fuzz", "crlf.idx", "Cold Glow\r\n\r\nWarm\rBroken\r\n.Hidden\n")
    seed("preset_index_fuzz", "long.idx", "W" * 300 + "\nWarm\n" + "arm" * 90 + "\n")
    seed("preset_index_fuzz", "odd.idx", b"Wa\x00rm\n\x01\x02\n../Warm\nCaps.SMR\nSub\nWarm")
    shutil.copyfile(os.path.join(REPO, "presets", "Shimmerly Presets", "Shimmerly Presets.idx"),
                    os.path.join(ROOT, "corpus", "preset_index_fuzz", "factory.idx"))


def png(width, height, color_type, depth, rows, interlace=0, extra=b""):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", width, height, depth, color_type, 0, 0, interlace)
    raw = b"".join(b"\x00" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + extra +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def image_seeds():
    seed("image_reader_fuzz", "rgba_2x2.png",
         png(2, 2, 6, 8, [b"\xff\x00\x00\xff\x00\xff\x00\x80", b"\x00\x00\xff\x00\x10\x20\x30\x40"]))
    seed("image_reader_fuzz", "rgb_3x1.png", png(3, 1, 2, 8, [b"\x01\x02\x03" * 3]))
    seed("image_reader_fuzz", "gray1_8x2.png", png(8, 2, 0, 1, [b"\xa5", b"\x5a"]))
    seed("image_reader_fuzz", "gray_alpha16_1x1.png", png(1, 1, 4, 16, [b"\x12\x34\xff\xff"]))
    seed("image_reader_fuzz", "palette_trns_2x1.png",
         png(2, 1, 3, 8, [b"\x00\x01"],
             extra=(struct.pack(">I", 6) + b"PLTE" + b"\xff\x00\x00\x00\xff\x00" +
                    struct.pack(">I", zlib.crc32(b"PLTE\xff\x00\x00\x00\xff\x00") & 0xFFFFFFFF) +
                    struct.pack(">I", 1) + b"tRNS" + b"\x80" +
                    struct.pack(">I", zlib.crc32(b"tRNS\x80") & 0xFFFFFFFF))))
    seed("image_reader_fuzz", "interlaced_3x3.png",
         png(3, 3, 6, 8, [bytes(range(12)), bytes(range(12, 24)), bytes(range(24, 36))],
             interlace=1))
    seed("image_reader_fuzz", "rgba_2x1.pam",
         b"P7\nWIDTH 2\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n" +
         bytes(range(8)))
    seed("image_reader_fuzz", "rgb_1x2.pam",
         b"P7\n# comment\nWIDTH 1\nHEIGHT 2\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n" +
         bytes(range(6)))
    seed("image_reader_fuzz", "raw_frames", b"\x01\x02" + bytes(range(40)))
    seed("image_reader_fuzz", "raw_size", b"1920x1080\n")


def render_seeds():
    # Byte layout: slider form, width, height, gaps, popups, checkboxes, sliders, colour,
    # quality, scales, extent, interrupt, pixels (see render_fuzz.cpp).
    def blob(width, height, mask, style, blend, extra):
        head = bytes([1, width, height, 1, 2, mask, style, 2, blend, 1, 0, 0])
        return head + extra + bytes((i * 37 + 11) % 256 for i in range(4 * width * height))
    sliders = bytes([4, 3, 2, 18, 19, 20])  # indices into the special values
    for mask in range(1, 9):
        seed("render_fuzz", "mask%d" % mask,
             blob(7, 5, mask, mask % 3 + 1, mask, sliders + b"\x10\x80\x40\xff\x01\x00\x00\x00\x00\xff"))
    seed("render_fuzz", "thin_1x9", blob(1, 9, 2, 1, 1, sliders + b"\xff\xff\xff\xff\x00"))
    seed("render_fuzz", "thin_9x1", blob(9, 1, 3, 2, 2, sliders + b"\x00\x00\x00\x00\x00"))
    seed("render_fuzz", "huge_glow",
         blob(12, 12, 1, 1, 5, bytes([4, 3, 6, 4, 2, 2]) + b"\x01\x02\x03\x04\x01"))


def frei0r_params_seeds():
    # Byte layout per setting: parameter index + 1, then a number (a byte below 128 picks a
    # special, else 8 bytes of a double), three numbers for the colour, or a length, the bytes
    # and a byte that is 0 for a null string (see frei0r_params_fuzz.cpp).
    def text(index, value):
        return bytes([index + 1, len(value)]) + value.encode() + b"\x01"

    def number(index, value):
        return bytes([index + 1, 200]) + struct.pack("<d", value)

    def special(index, which):
        return bytes([index + 1, which])

    seed("frei0r_params_fuzz", "menus",
         text(1, "brightness") + text(5, "front") + text(8, "2") + text(11, "magic-glue-2") +
         text(13, "low") + text(1, "sparkle") + b"\x00")
    seed("frei0r_params_fuzz", "numbers",
         number(6, 0.0225) + number(2, 0.5) + number(10, 0.75) + special(6, 7) + special(3, 9) +
         special(7, 11) + number(4, 1.0) + bytes([10, 3, 4, 200]) + struct.pack("<d", 0.25))
    seed("frei0r_params_fuzz", "presets",
         text(0, "Amber Tint") + number(6, 0.01) + text(0, "No Such Preset") +
         text(0, "/nonexistent/x.smr") + text(0, "") + b"\x00")


def gegl_properties_seeds():
    # Byte layout per property set (see gegl_properties_fuzz.cpp): preset length and bytes, a
    # byte that is 0 mod 8 for a null preset, then mask, two cutoffs, show target, style, size,
    # softness, colour source, three colour bytes, trans/boost, blend, effect only, quality,
    # and the frame's width, height and row padding. A menu byte below 200 is (byte % 10) - 1;
    # a number byte below 128 picks a special, else 8 bytes of a double follow.
    def props(preset, mask, size, blend, specials=(2, 0, 3, 1, 4)):
        cut, dark, soft, boost, _ = specials
        return (bytes([len(preset)]) + preset.encode() + b"\x01" + bytes([mask + 1, cut, dark, 0,
                1 + 1]) + bytes([200]) + struct.pack("<d", size) +
                bytes([soft, 1 + 1, 255, 128, 16, boost, blend + 1, 0, 0, 6, 4, 1]))

    seed("gegl_properties_fuzz", "plain", props("", 1, 22.5, 1) + props("", 3, 7.0, 2))
    seed("gegl_properties_fuzz", "presets",
         props("Amber Tint", 2, 9.0, 5) + props("No Such Preset", 4, 3.0, 8) +
         props("/nonexistent/x.smr", 8, 1.5, 3))
    seed("gegl_properties_fuzz", "specials", props("", 3, 4.0, 2, (6, 7, 8, 9, 10)))


if __name__ == "__main__":
    for target in ("preset_reader_fuzz", "preset_index_fuzz", "image_reader_fuzz", "render_fuzz",
                   "frei0r_params_fuzz", "gegl_properties_fuzz"):
        os.makedirs(os.path.join(ROOT, "corpus", target), exist_ok=True)
    preset_seeds()
    index_seeds()
    image_seeds()
    render_seeds()
    frei0r_params_seeds()
    gegl_properties_seeds()
