#!/usr/bin/env python3
"""Reads image files with Pillow, for the image-saving tests.

    read_images.py FILE...

For each file prints a block of "key value" lines, from "file PATH" to "end":
format, mode, size, band count, for JPEG the progressive flag and the quantisation
tables (natural order), for TIFF the strip layout. Writes the decoded samples
next to the file: PATH.samples holds Pillow's pixels, one little-endian 16-bit value
per sample, top row first; for TIFF also PATH.strip, the samples of the single
strip exactly as stored (16-bit samples in the file's byte order decoded).
"""
import struct
import sys

from PIL import Image


def write_samples(path, values):
    with open(path, "wb") as out:
        out.write(struct.pack("<%dH" % len(values), *values))


def flat_samples(image):
    values = []
    for pixel in image.getdata():
        if isinstance(pixel, tuple):
            values.extend(pixel)
        else:
            values.append(pixel)
    return values


def describe(path):
    lines = ["file " + path]
    with Image.open(path) as image:
        lines.append("format " + str(image.format))
        lines.append("mode " + image.mode)
        lines.append("size %d %d" % image.size)
        lines.append("bands %d" % len(image.getbands()))
        if image.format == "JPEG":
            lines.append("progressive %d" % (1 if image.info.get("progressive") else 0))
            lines.append("layers %d" % getattr(image, "layers", 0))
            for table_id, table in sorted(image.quantization.items()):
                lines.append("quant%d %s" % (table_id, " ".join(str(v) for v in table)))
        if image.format == "TIFF":
            tags = image.tag_v2
            offsets, counts = tags.get(273), tags.get(279)
            lines.append("strips %d" % len(offsets))
            lines.append("stripbytes %d" % counts[0])
            bits = tags.get(258)[0]
            with open(path, "rb") as f:
                data = f.read()
            strip = data[offsets[0]:offsets[0] + counts[0]]
            if bits == 16:
                order = "<" if data[:2] == b"II" else ">"
                values = list(struct.unpack(order + "%dH" % (len(strip) // 2), strip))
            else:
                values = list(strip)
            write_samples(path + ".strip", values)
        image.load()
        write_samples(path + ".samples", flat_samples(image))
    lines.append("end")
    return lines


def main():
    for path in sys.argv[1:]:
        try:
            print("\n".join(describe(path)))
        except Exception as error:  # reported to the test, which fails on it
            print("file " + path)
            print("error " + repr(error).replace("\n", " "))
            print("end")
    return 0


if __name__ == "__main__":
    sys.exit(main())
