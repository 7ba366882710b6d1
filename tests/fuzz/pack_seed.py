#!/usr/bin/env python3
"""Writes the packed seed form read by FuzzInput.h: "FBX1", then literal records
(0x00, u16 length, bytes), fill records (0x01, u32 count, byte) for runs of 16 or more
equal bytes, and pair records (0x02, u32 count, two bytes) for 16 or more equal byte pairs.

    pack_seed.py INPUT OUTPUT
"""
import struct
import sys


def pack(data: bytes) -> bytes:
    out = bytearray(b"FBX1")
    literal = bytearray()

    def flush():
        for i in range(0, len(literal), 0xFFFF):
            chunk = literal[i:i + 0xFFFF]
            out.extend(b"\x00" + struct.pack("<H", len(chunk)) + chunk)
        literal.clear()

    i = 0
    while i < len(data):
        j = i
        while j < len(data) and data[j] == data[i]:
            j += 1
        if j - i >= 16:
            flush()
            out.extend(b"\x01" + struct.pack("<I", j - i) + bytes([data[i]]))
            i = j
            continue
        k = i
        while k + 2 <= len(data) and data[k:k + 2] == data[i:i + 2]:
            k += 2
        if (k - i) // 2 >= 16:
            flush()
            out.extend(b"\x02" + struct.pack("<I", (k - i) // 2) + data[i:i + 2])
            i = k
            continue
        literal.append(data[i])
        i += 1
    flush()
    return bytes(out)


if __name__ == "__main__":
    with open(sys.argv[1], "rb") as f:
        packed = pack(f.read())
    with open(sys.argv[2], "wb") as f:
        f.write(packed)
