#!/usr/bin/python3
"""Writes can_fields.csv: CAN signals as a CAN database describes them, frames,
and the raw value of each signal in each frame as canmatrix decodes it.

The signals are written as a DBC text and read back through canmatrix's DBC
reader, so that start bits, lengths and byte orders mean exactly what they
mean in a CAN database. Run it from anywhere; it writes beside itself:

    /usr/bin/python3 tests/data/make_can_fields.py
"""

import os
import random
import struct

import canmatrix.formats

LENGTHS = [1, 2, 3, 5, 7, 8, 9, 11, 12, 15, 16, 17, 20, 24, 25, 29, 30, 31, 32]
# Integers wider than 32 bits, which the raw value codec has no form for.
WIDE_LENGTHS = [33, 36, 40, 47, 48, 52, 56, 57, 63, 64]


def intel_starts(n):
    # Least significant bit at the start of the frame, at odd offsets, at
    # offset 3 of byte 1 and at the end of the frame.
    starts = {0, 3, 7, 11, 64 - n}
    return sorted(s for s in starts if s + n <= 64)


def motorola_lsb_offset(s, n):
    """Offset in its byte of the least significant bit of a Motorola field
    whose most significant bit is DBC bit s."""
    r = n - (s % 8) - 1
    return (8 - r % 8) % 8 if r > 0 else None


def motorola_fits(s, n):
    r = n - (s % 8) - 1
    if r <= 0:
        return True
    return s // 8 + (r + 7) // 8 <= 7


def motorola_starts(n):
    # Start bits whose least significant bit lands at offsets 0, 3 and 7, the
    # field beginning in byte 0 and ending in the last byte, plus the most
    # significant bit of byte 0 (bit 7).
    starts = {7}
    for want in (0, 3, 7):
        for low in range(8):
            for byte in (0, 7):
                s = byte * 8 + low
                if motorola_lsb_offset(s, n) == want and motorola_fits(s, n):
                    starts.add(s)
    # Fields that stay inside one byte.
    if n <= 8:
        starts.add(8 * 3 + n - 1)
    return sorted(s for s in starts if motorola_fits(s, n))


def integer_signals(lengths):
    """(start, length, order, sign, valtype) of integers of these lengths."""
    signals = []
    for n in lengths:
        for sign in "+-":
            signals += [(s, n, 1, sign, 0) for s in intel_starts(n)]
            signals += [(s, n, 0, sign, 0) for s in motorola_starts(n)]
    return signals


def main():
    rng = random.Random(20240611)
    signals = integer_signals(LENGTHS)  # (start, length, order, sign, valtype)
    # Floats: singles and doubles in either byte order, aligned.
    for order, start32, start32b, start64 in ((1, 0, 32, 0), (0, 7, 39, 7)):
        signals.append((start32, 32, order, "-", 1))
        signals.append((start32b, 32, order, "-", 1))
        signals.append((start64, 64, order, "-", 2))
    # Appended last, so that the rows before them stay as they were.
    signals += integer_signals(WIDE_LENGTHS)

    lines = ['VERSION ""', "", "BU_: N", ""]
    valtypes = []
    for i, (s, n, order, sign, valtype) in enumerate(signals):
        lines.append(f"BO_ {i + 1} M{i}: 8 N")
        lines.append(f' SG_ S{i} : {s}|{n}@{order}{sign} (1,0) [0|0] "" N')
        lines.append("")
        if valtype:
            valtypes.append(f"SIG_VALTYPE_ {i + 1} S{i} : {valtype};")
    lines += valtypes
    db = canmatrix.formats.loads_flat("\n".join(lines) + "\n", "dbc")

    frames_of = {}
    for i, sig in enumerate(signals):
        if sig[4]:
            # The value's bytes at its first byte, the rest of the frame random.
            fmt = (">" if sig[2] == 0 else "<") + ("f" if sig[4] == 1 else "d")
            special = float("inf") if sig[4] == 1 else -2.5e-300
            first = sig[0] // 8
            frames = []
            for v in (rng.uniform(-1e6, 1e6), special):
                data = bytearray(rng.randrange(256) for _ in range(8))
                packed = struct.pack(fmt, v)
                data[first:first + len(packed)] = packed
                frames.append(bytes(data))
            frames_of[i] = frames
        else:
            frames_of[i] = [bytes([0xFF] * 8), bytes(rng.randrange(256) for _ in range(8))]

    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "can_fields.csv")
    with open(out, "w") as f:
        f.write("# Written by make_can_fields.py from canmatrix's decoding; do not edit.\n")
        f.write("# dbc_start_bit,length,byte_order(0 Motorola 1 Intel),sign,value_type(0 int 1 single 2 double),frame,raw_value\n")
        for i, (s, n, order, sign, valtype) in enumerate(signals):
            frame = db.frame_by_id(canmatrix.ArbitrationId(i + 1))
            for data in frames_of[i]:
                raw = frame.decode(data)[f"S{i}"].raw_value
                text = repr(float(raw)) if valtype else str(int(raw))
                f.write(f"{s},{n},{order},{sign},{valtype},{data.hex()},{text}\n")


if __name__ == "__main__":
    main()
