#!/usr/bin/env python3
"""Finishes a 32-bit kernel image: marks the INIT section discardable (the assembler has no
flag for it), then sets the optional header's checksum again, since the linker's no longer
matches. Usage: kernel_image_finish.py <image.sys>"""
import struct
import sys

DISCARDABLE = 0x02000000


def pe_checksum(data, checksum_offset):
    total = 0
    padded = data + (b"\0" if len(data) % 2 else b"")
    for i in range(0, len(padded), 2):
        if i == checksum_offset or i == checksum_offset + 2:
            continue
        total += padded[i] | (padded[i + 1] << 8)
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def main(path):
    with open(path, "rb") as f:
        data = bytearray(f.read())
    if data[:2] != b"MZ":
        sys.exit(f"{path}: not an MZ image")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        sys.exit(f"{path}: no PE signature")
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    if struct.unpack_from("<H", data, optional)[0] != 0x10B:
        sys.exit(f"{path}: not a 32-bit image")
    table = optional + optional_size
    for i in range(sections):
        header = table + 40 * i
        name = bytes(data[header:header + 8]).rstrip(b"\0")
        if name == b"INIT":
            flags = struct.unpack_from("<I", data, header + 36)[0]
            struct.pack_into("<I", data, header + 36, flags | DISCARDABLE)
    checksum_offset = optional + 64
    struct.pack_into("<I", data, checksum_offset, 0)
    struct.pack_into("<I", data, checksum_offset, pe_checksum(bytes(data), checksum_offset))
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
