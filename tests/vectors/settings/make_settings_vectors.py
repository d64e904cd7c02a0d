#!/usr/bin/env python3
"""Builds the receiver-settings body part of the built-in "standard" settings
from the part's layout alone (Python's struct, independent of the library's
writer and of its default tables).

Writes standard_settings.hex (1464 bytes), one line of lower-case hex.
Run from this directory.

Layout, packed little-endian: u8 name length, name, u8 version, u8 hop,
u8 detector count D, u32 sample rate, u16 FFT size, D f32 noise smoothing,
D f32 noise subtraction, D i8 time shift, u8 curve points P, D curves of P
(Hz, dB) f32 pairs, D f32 front-door thresholds, D f32 window factors.
"""
import struct

NAME = b"standard"
VERSION = 0
HOP = 64
SAMPLE_RATE = 44100
FFT_SIZE = 2048

# detector: noise smoothing, noise subtraction, time shift, front-door threshold, window factor
DETECTORS = [
    (0.95, 0.0, 0, 0.85, 1.0),
    (0.95, 0.1875, -10, 0.8553409, 1.0),
    (0.95, 0.375, 10, 0.8968689, 1.0),
    (0.95, 0.5625, -20, 0.83824456, 1.0),
    (0.95, 0.75, 20, 0.8795767, 1.0),
]

# point: Hz, then the dB of curves 0 to 4
POINTS = [
    (0, -75.8, -75.8, -75.8, -75.8, -75.8),
    (20, -70.1, -70.1, -70.1, -70.1, -70.1),
    (25, -60.8, -60.8, -60.8, -60.8, -60.8),
    (31.5, -52.1, -52.1, -52.1, -52.1, -52.1),
    (40, -44.2, -44.2, -44.2, -44.2, -44.2),
    (50, -37.5, -37.5, -37.5, -37.5, -37.5),
    (63, -31.3, -31.3, -31.3, -31.3, -31.3),
    (80, -25.6, -25.6, -25.6, -25.6, -25.6),
    (100, -20.9, -20.9, -20.9, -20.9, -20.9),
    (125, -16.5, -16.5, -16.5, -16.5, -16.5),
    (160, -12.6, -12.6, -12.6, -12.6, -12.6),
    (200, -9.6, -9.6, -9.6, -9.6, -9.6),
    (250, -7, -7, -7, -7, -7),
    (315, -4.7, -4.7, -4.7, -4.7, -4.7),
    (400, -3, -3, -3, -3, -3),
    (500, -2.8, -1.9707962, -1.9707962, -8.044032, -8.768735),
    (630, -2.8, -8.434592, -8.434592, -7.931137, -2.1375334),
    (800, -2.8, 3.3873012, 3.3873012, -2.2894864, -1.137971),
    (1000, -2.2, -7.9576716, -7.9576716, 2.0937643, -11.397876),
    (1250, -1, 6.9657784, 6.9657784, 8.152736, 7.290958),
    (1600, 0.5, 1.449319, 1.449319, 2.0019336, -1.8564172),
    (2000, -4.6, -8.685491, -8.685491, -4.4408727, -5.7138968),
    (2500, -3.2, -1.0269811, -1.0269811, -0.4764173, -0.9060364),
    (3150, 2.4, -7.9480467, -7.9480467, 3.8795848, 4.3613067),
    (4000, 5.8, 2.054163, 2.054163, 3.0046208, 4.455061),
    (5000, 8.1, -0.385031, -0.385031, 5.994241, 10.305079),
    (6300, 8.3, 2.762329, 2.762329, 7.33177, 13.271844),
    (8000, 9.4, 15.991615, 15.991615, 14.232887, 19.534855),
    (9000, 12.1, 15.467741, 15.467741, 17.164663, 12.690742),
    (10000, 14.8, 21.836155, 21.836155, 18.750721, 19.011894),
    (12500, 16.2, 16.2, 16.2, 16.2, 16.2),
    (15000, 17.4, 17.4, 17.4, 17.4, 17.4),
    (20000, -17.8, -17.8, -17.8, -17.8, -17.8),
    (25100, -17.8, -17.8, -17.8, -17.8, -17.8),
]


def settings_part():
    d = len(DETECTORS)
    out = struct.pack("<B", len(NAME)) + NAME
    out += struct.pack("<BBBIH", VERSION, HOP, d, SAMPLE_RATE, FFT_SIZE)
    out += struct.pack("<%df" % d, *(det[0] for det in DETECTORS))
    out += struct.pack("<%df" % d, *(det[1] for det in DETECTORS))
    out += struct.pack("<%db" % d, *(det[2] for det in DETECTORS))
    out += struct.pack("<B", len(POINTS))
    for curve in range(d):
        for point in POINTS:
            out += struct.pack("<ff", point[0], point[1 + curve])
    out += struct.pack("<%df" % d, *(det[3] for det in DETECTORS))
    out += struct.pack("<%df" % d, *(det[4] for det in DETECTORS))
    assert len(out) == 11 + len(NAME) + 17 * d + 8 * len(POINTS) * d
    return out


with open("standard_settings.hex", "w") as f:
    f.write(settings_part().hex() + "\n")
