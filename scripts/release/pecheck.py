#!/usr/bin/env python3
"""Static checks of a Windows image before it is released.

    pecheck.py --objdump TOOL --format pei-i386 --version 1.0.0.3
               [--no-path DIR ...] IMAGE

Prints one line per check and ends with status 1 if any failed. The headers
are read by the MinGW objdump; the version record and the build paths are
looked for in the image's bytes.
"""
import argparse
import re
import struct
import subprocess
import sys

# DLLs that every Windows from 7 on carries in its system folder. Anything
# else (the MinGW runtime DLLs, the universal CRT's api-ms-win-crt-* sets)
# would have to be shipped beside the program.
WINDOWS_DLLS = {
    "advapi32.dll", "cfgmgr32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll",
    "imm32.dll", "kernel32.dll", "msvcrt.dll", "ntdll.dll", "ole32.dll",
    "oleaut32.dll", "rpcrt4.dll", "setupapi.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "uxtheme.dll", "version.dll", "winmm.dll", "ws2_32.dll",
}


class Report:
    def __init__(self):
        self.failed = 0

    def check(self, ok, what, detail=""):
        print(f"  {'ok  ' if ok else 'FAIL'}  {what}{': ' + detail if detail else ''}")
        self.failed += not ok


def fixed_file_version(image):
    """The file version of the VS_FIXEDFILEINFO in the image, or None."""
    at = image.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0 or at + 16 > len(image):
        return None
    ms, ls = struct.unpack_from("<II", image, at + 8)
    return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"


def link_time_stamp(image):
    """TimeDateStamp of the COFF file header, or None."""
    if len(image) < 0x40:
        return None
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0" or pe + 12 > len(image):
        return None
    return struct.unpack_from("<I", image, pe + 8)[0]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--format", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--no-path", action="append", default=[])
    parser.add_argument("image")
    args = parser.parse_args()

    headers = subprocess.run([args.objdump, "-p", args.image], check=True,
                             capture_output=True, text=True).stdout
    with open(args.image, "rb") as f:
        image = f.read()
    report = Report()

    form = re.search(r"file format (\S+)", headers)
    report.check(form is not None and form.group(1) == args.format,
                 f"image format {args.format}", form.group(1) if form else "unknown")

    dll_flags = re.search(r"^DllCharacteristics\s+([0-9a-fA-F]+)((?:\n\t+\S+)*)", headers, re.M)
    names = dll_flags.group(2).split() if dll_flags else []
    report.check("NX_COMPAT" in names, "NX-compatible", " ".join(names) or "no flags")
    report.check("DYNAMIC_BASE" in names, "dynamic base (ASLR)", " ".join(names) or "no flags")

    characteristics = re.search(r"^Characteristics [^\n]*((?:\n\t[^\n]+)*)", headers, re.M)
    stripped = characteristics is not None and "relocations stripped" in characteristics.group(1)
    relocs = re.search(r"^Entry 5 ([0-9a-fA-F]+) ([0-9a-fA-F]+) Base Relocation", headers, re.M)
    reloc_size = int(relocs.group(2), 16) if relocs else 0
    report.check(not stripped and reloc_size > 0, "relocatable",
                 f"relocation table of {reloc_size} bytes" if reloc_size
                 else "no relocation table")

    dlls = re.findall(r"^\tDLL Name: (\S+)", headers, re.M)
    foreign = [d for d in dlls if d.lower() not in WINDOWS_DLLS]
    report.check(bool(dlls) and not foreign, "imports only Windows' own DLLs",
                 ", ".join(dlls) + (f" (not Windows': {', '.join(foreign)})" if foreign else ""))

    stamp = link_time_stamp(image)
    report.check(stamp == 0, "no link time stamp", f"TimeDateStamp {stamp:#x}"
                 if stamp is not None else "no PE header")

    version = fixed_file_version(image)
    report.check(version == args.version, f"version record {args.version}", version or "none")

    for path in args.no_path:
        found = [enc for enc in ("utf-8", "utf-16-le") if path.encode(enc) in image]
        report.check(not found, f"no build path {path}", "found as " + ", ".join(found)
                     if found else "")

    return 1 if report.failed else 0


if __name__ == "__main__":
    sys.exit(main())
