#!/usr/bin/env python3
"""Compares two builds of one file byte for byte.

    compare.py FIRST SECOND

Prints "identical" and the SHA-256, or the runs of differing bytes: their
offsets, lengths, first bytes on both sides and, in a PE image, the header or
section they fall in. Status 0 when identical, 1 otherwise.
"""
import hashlib
import struct
import sys

SHOWN_RUNS = 20


def pe_regions(data):
    """(start, end, name) of the headers and each section's raw data."""
    try:
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            return []
        sections, optional = struct.unpack_from("<H12xH", data, pe + 6)
        table = pe + 24 + optional
        regions = [(0, table + 40 * sections, "headers")]
        for i in range(sections):
            entry = table + 40 * i
            name = data[entry:entry + 8].rstrip(b"\0").decode("ascii", "replace")
            size, start = struct.unpack_from("<II", data, entry + 16)
            regions.append((start, start + size, name))
        return regions
    except struct.error:
        return []


def where(offset, regions):
    for start, end, name in regions:
        if start <= offset < end:
            return f" in {name}+{offset - start:#x}"
    return ""


def differing_runs(a, b):
    runs, start = [], None
    for i in range(max(len(a), len(b))):
        same = i < len(a) and i < len(b) and a[i] == b[i]
        if not same and start is None:
            start = i
        elif same and start is not None:
            runs.append((start, i - start))
            start = None
    if start is not None:
        runs.append((start, max(len(a), len(b)) - start))
    return runs


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__.strip())
    with open(argv[1], "rb") as f:
        a = f.read()
    with open(argv[2], "rb") as f:
        b = f.read()
    if a == b:
        print(f"  identical, {len(a)} bytes, sha256 {hashlib.sha256(a).hexdigest()}")
        return 0
    if len(a) != len(b):
        print(f"  sizes differ: {len(a)} and {len(b)} bytes")
    runs = differing_runs(a, b)
    print(f"  {sum(n for _, n in runs)} bytes differ in {len(runs)} runs")
    regions = pe_regions(a)
    for start, length in runs[:SHOWN_RUNS]:
        print(f"    offset {start:#08x}, {length} bytes{where(start, regions)}: "
              f"{a[start:start + min(length, 8)].hex()} / {b[start:start + min(length, 8)].hex()}")
    if len(runs) > SHOWN_RUNS:
        print(f"    ... and {len(runs) - SHOWN_RUNS} more runs")
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
