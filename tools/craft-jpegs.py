#!/usr/bin/env python3
"""Writes the crafted JPEGs of tests/data/pictures: pictures a server could send
to make one picture costly to decode, and their harmless neighbours. Their scans
carry no entropy-coded data: the decoder reads zeros in its place, so a picture
of any size takes a few hundred bytes.
    tools/craft-jpegs.py tests/data/pictures"""
import pathlib
import struct
import sys


def segment(marker, body):
    return bytes([0xFF, marker]) + struct.pack('>H', len(body) + 2) + body


def frame(marker, width, height, components):
    body = struct.pack('>BHHB', 8, height, width, components)
    return segment(marker, body + b''.join(bytes([c, 0x11, 0]) for c in range(1, components + 1)))


def scan(components, start, end):
    body = bytes([len(components)]) + b''.join(bytes([c, 0]) for c in components)
    return segment(0xDA, body + bytes([start, end, 0]))


def picture(marker, width, height, components, scans):
    # One quantisation table of ones; DC and AC tables of a single one-bit code.
    tables = segment(0xDB, bytes([0] + [1] * 64))
    tables += segment(0xC4, bytes([0x00, 1] + [0] * 15 + [0]))
    tables += segment(0xC4, bytes([0x10, 1] + [0] * 15 + [0]))
    return b'\xFF\xD8' + tables + frame(marker, width, height, components) + b''.join(scans) + b'\xFF\xD9'


def main(folder):
    folder = pathlib.Path(folder)
    everyComponent = [1, 2, 3]
    pictures = {
        # Decoded in one pass, row by row, however large.
        'baseline, 11000 x 8000=808080.jpg': picture(0xC0, 11000, 8000, 3, [scan(everyComponent, 0, 63)]),
        # A first scan of fewer than all components makes the decoder keep the
        # whole picture's coefficients, as a progressive one does.
        'baseline, first scan of one component, 11000 x 11000=.jpg':
            picture(0xC0, 11000, 11000, 3, [scan([c], 0, 63) for c in everyComponent]),
        'progressive, 64 scans=808080.jpg':
            picture(0xC2, 3000, 2000, 1, [scan([1], 0, 0)] + [scan([1], 1, 63)] * 63),
        'progressive, 2000 scans=.jpg': picture(0xC2, 2896, 2896, 1, [scan([1], 0, 0)] + [scan([1], 1, 63)] * 1999),
    }
    for name, data in pictures.items():
        (folder / name).write_bytes(data)
    # The decoder skips stray bytes before a marker.
    progressive = (folder / 'progressive, 11000 x 11000=.jpg').read_bytes()
    (folder / 'progressive, a stray byte, 11000 x 11000=.jpg').write_bytes(progressive[:2] + b'\0' + progressive[2:])


if __name__ == '__main__':
    main(sys.argv[1])
