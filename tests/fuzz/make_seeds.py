#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into corpus/<target>/seed_*.

Each seed follows the input layout documented at the top of its target. The
parameter bodies are built here with Python's struct from the body layout
(independent of the library's writers), from the same values as the vectors
under tests/vectors. Inputs that once broke the library live beside the seeds
as crash_* files and are never rewritten here. Run from this directory.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed_" + name), "wb") as f:
        f.write(bytes(data))


# ---- parameter bodies ------------------------------------------------------

TIMES = [0.0872, 0.0872, 0.015, 0.015, 0.005, 0.0, 0.0]


def protocol_part(fmt, name=b"standard", coding=(5, 1, 1, 6, 0, 6, 6), base=1760.0, spacing=0.0, channels=1,
                  gap=0.0, times=TIMES, frontdoor=(17, 19), pattern=b"1"):
    out = struct.pack("<B", len(name)) + name + struct.pack("<B", 0) + bytes(coding)
    if fmt == 6:
        out += struct.pack("<ffBf", base, spacing, channels, gap)
    else:
        out += struct.pack("<HHB", int(base), int(spacing), channels)
    out += struct.pack("<7f", *times)
    out += struct.pack("<B", len(frontdoor)) + b"".join(struct.pack("<Q", v) for v in frontdoor)
    return out + struct.pack("<B", len(pattern)) + pattern


def settings_part(name=b"standard", hop=64, rate=44100, fft=2048, detectors=1, points=2):
    out = struct.pack("<B", len(name)) + name + struct.pack("<BBBIH", 0, hop, detectors, rate, fft)
    out += struct.pack("<%df" % detectors, *([0.95] * detectors))  # noise smoothing
    out += struct.pack("<%df" % detectors, *([0.0] * detectors))  # noise subtraction
    out += struct.pack("<%db" % detectors, *range(detectors))  # time shifts
    out += struct.pack("<B", points)
    for _ in range(detectors):
        for i in range(points):
            out += struct.pack("<ff", 100.0 + 1000.0 * i, 0.0)
    out += struct.pack("<%df" % detectors, *([0.25] * detectors))  # front-door thresholds
    out += struct.pack("<%df" % detectors, *([1.0] * detectors))  # window factors
    return out


def standard_settings():
    with open(os.path.join(ROOT, "tests", "vectors", "settings", "standard_settings.hex")) as f:
        return bytes.fromhex(f.read().strip())


def config_seeds():
    with open(os.path.join(ROOT, "examples", "standard.config"), "rb") as f:
        text = f.read().strip()
    write("config", "text_standard", b"\0" + text)
    write("config", "text_bad_character", b"\0" + text[:40] + b"!" + text[41:80])
    write("config", "text_format5_empty", b"\0BQ==")
    write("config", "text_unused_bits", b"\0Bgb=")
    settings = standard_settings()
    # Mode byte 1 sends the body as format 5, mode byte 2 as format 6.
    write("config", "body5_standard", b"\1" + protocol_part(5) + settings)
    write("config", "body6_standard", b"\2" + protocol_part(6) + settings)
    write("config", "body6_one_detector", b"\2" + protocol_part(6) + settings_part())
    write("config", "body6_three_channels",
          b"\2" + protocol_part(6, base=1000.0, spacing=64.0, channels=3, gap=100.0) + settings_part(detectors=2))
    write("config", "body5_fixed_crc",
          b"\1" + protocol_part(5, coding=(3, 2, 3, 3, 2, 4, 4), base=1200, spacing=90, pattern=b"12*")
          + settings_part(hop=128, fft=1024, rate=22050))
    write("config", "body6_no_settings", b"\2" + protocol_part(6))
    write("config", "body6_left_over", b"\2" + protocol_part(6) + settings_part() + b"\0")
    write("config", "body6_low_rate", b"\2" + protocol_part(6) + settings_part(rate=8000, fft=256, hop=32))


# ---- message decode -----------------------------------------------------------

def decode_seeds():
    for p in range(5):
        # Raw symbols: n, L, then 64-bit symbols (or bytes with mode bit 1).
        write("decode", "raw_p%d" % p, bytes([p, 0, 16, 3]) + b"".join(struct.pack("<Q", i * 7) for i in range(16)))
        write("decode", "raw_small_p%d" % p, bytes([p, 2, 20, 4]) + bytes(range(20)))
        # Frames: length byte, payload, then (position, value) changes.
        write("decode", "frame_p%d" % p, bytes([p, 1, 2]) + b"\x11\x22\x33\x44\x55\x66")
        write("decode", "frame_damaged_p%d" % p,
              bytes([p, 3, 5]) + b"ABCDEFGH" + bytes([1, 0x5a, 4, 0x01, 9, 0xff]))
        write("decode", "frame_wrong_length_p%d" % p, bytes([p, 5, 1]) + b"xyzw" + bytes([2]))


# ---- audio ------------------------------------------------------------------------

def audio_op(op, n, *values):
    return bytes([op]) + struct.pack("<H", n) + b"".join(values)


def audio_seeds():
    send = bytes([4]) + struct.pack("<H", 0) + bytes([3]) + b"abc"
    loop = b"".join(audio_op(3, 4096, struct.pack("<f", 0.0)) for _ in range(30))
    write("audio", "loopback", bytes([0, 1]) + send + loop)
    write("audio", "loopback_two_bands", bytes([1, 1]) + send + loop)
    write("audio", "loopback_fixed_crc", bytes([2, 1]) + bytes([4, 0, 0, 3]) + b"xyz" + loop)
    nan = audio_op(1, 3000, bytes([0, 0]))
    inf = audio_op(1, 3000, bytes([2, 7]))
    denormal = audio_op(1, 2000, bytes([4, 0]))
    square = audio_op(2, 8192, struct.pack("<H", 10))
    write("audio", "special_values_mid_transmission", bytes([0, 1]) + send + loop[:70] + nan + loop[:70] + inf
          + denormal + loop)
    write("audio", "square_waves", bytes([0, 0]) + square + audio_op(2, 4000, struct.pack("<H", 1))
          + audio_op(0x42, 1000, struct.pack("<H", 3), bytes([2])))
    write("audio", "raw_floats", bytes([3, 0]) + audio_op(0, 16, struct.pack("<16f", *[0.5, -0.5] * 8))
          + audio_op(0x80, 7, struct.pack("<7f", *[1.0] * 7)))
    shorts = audio_op(5, 8, struct.pack("<8h", -32768, 32767, 0, 1, -1, 100, -100, 0))
    noise = audio_op(6, 2048, struct.pack("<f", 0.3)) + audio_op(0x46, 512, struct.pack("<f", 1e9))
    write("audio", "int16_and_noise", bytes([0, 0]) + shorts + noise + send + noise)
    playthrough = b"".join(audio_op(7, 4096) for _ in range(30))
    write("audio", "playthrough_listen", bytes([0, 1]) + send + playthrough + audio_op(0x47, 0))
    write("audio", "huge_block", bytes([0, 0]) + audio_op(1, 65535, bytes([9, 0])))


# ---- export calls -----------------------------------------------------------------

def call(op, *args, payload=b""):
    return bytes([op, len(payload)]) + payload + b"".join(args)


def block(n):
    return bytes([200]) + struct.pack("<H", n)  # a u16 block size below 8192


def audio_call(op, n, nulls=0, level=2):
    return call(op, block(n), bytes([nulls]), struct.pack("<I", 12345), bytes([level]))


def calls_seeds():
    setup = call(0, bytes([0])) + call(4) + call(5)
    run = call(9, bytes([3]), payload=b"\1\2\3") + b"".join(audio_call(15, 4096) for _ in range(25))
    tail = call(6) + call(35) + call(10, bytes([0])) + call(39, bytes([0])) + call(1)
    write("calls", "send_render_stop", setup + run + tail)
    write("calls", "playthrough", setup + call(25, bytes([1])) + call(9, bytes([6]), payload=b"abcdef")
          + b"".join(audio_call(13, 4096) for _ in range(25)) + tail)
    # Every callback set: each one reads a count and runs that many nested ops.
    write("calls", "callbacks_call_back", setup + call(3, bytes([31])) + call(7, bytes([2]), payload=b"hi")
          + bytes([2]) + call(6) + bytes([1]) + call(9, bytes([2]), payload=b"ok") + run + tail)
    write("calls", "settings", setup + call(17, bytes([2])) + call(19, bytes([8])) + call(21, bytes([10]))
          + call(23, bytes([1])) + call(27, bytes([4])) + call(28, struct.pack("<I", 7)) + call(29, bytes([0]))
          + call(34, bytes([6])) + call(36, struct.pack("<I", 46)) + call(37) + call(38) + tail)
    write("calls", "unconfigured_and_null", call(5) + call(9, bytes([3])) + call(0xE5) + call(0xEF, block(64), bytes([0]),
          struct.pack("<I", 1), bytes([0])) + call(0, bytes([0x86, 4]) + b"Bg==") + call(2, struct.pack("<I", 3), bytes([0])))
    write("calls", "reconfigure_while_sending", setup + run[:200] + call(0, bytes([1])) + call(5) + run + call(0, bytes([3]))
          + call(5) + run + tail)


if __name__ == "__main__":
    config_seeds()
    decode_seeds()
    audio_seeds()
    calls_seeds()
