#!/usr/bin/env python3
"""Builds the parameter-body vectors of the built-in "standard" protocol from
the body layout alone (Python's struct, independent of the library's writer).

Writes standard_format6.hex (77 bytes) and standard_format5.hex (69 bytes),
one line of lower-case hex each. Run from this directory.
"""
import struct

NAME = b"standard"
VERSION = 0
CODING = bytes([5, 1, 1, 6, 0, 6, 6])  # tone_bits, k, min, max, crc, min/max parity
TIMES = [0.0872, 0.0872, 0.015, 0.015, 0.005, 0.0, 0.0]  # frontdoor_duration .. symbol_gap
FRONTDOOR = [17, 19]
PATTERN = b"1"


def tail():
    out = struct.pack("<7f", *TIMES)
    out += struct.pack("<B", len(FRONTDOOR)) + struct.pack("<%dQ" % len(FRONTDOOR), *FRONTDOOR)
    return out + struct.pack("<B", len(PATTERN)) + PATTERN


def head():
    return struct.pack("<B", len(NAME)) + NAME + struct.pack("<B", VERSION) + CODING


def format6():
    # base, spacing (f32), channels, channel_gap (f32)
    return head() + struct.pack("<ffBf", 1760.0, 0.0, 1, 0.0) + tail()


def format5():
    # base, spacing in whole Hz (u16), channels; no channel gap
    return head() + struct.pack("<HHB", 1760, 0, 1) + tail()


for name, body in (("standard_format6.hex", format6()), ("standard_format5.hex", format5())):
    with open(name, "w") as f:
        f.write(body.hex() + "\n")
