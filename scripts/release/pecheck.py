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
import xml.etree.ElementTree as ElementTree

# The only DLLs the image may import: KnownDLLs of Windows 7 to 11, which the
# system maps from its own copies whatever lies beside the exe, and whose own
# imports are KnownDLLs too. Any other DLL named here would be looked for in
# the exe's folder first, before the program's first statement; the program
# loads everything else at run time from the system folder
# (docs/hardening.md).
KNOWN_DLLS = {
    "advapi32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll",
    "oleaut32.dll", "user32.dll",
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


ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
SUPPORTED_OS = [
    ("Windows 7", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"),
    ("Windows 8", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"),
    ("Windows 8.1", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}"),
    ("Windows 10 and 11", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"),
]


def manifest_of(image):
    """The parsed application manifest the image carries, or None."""
    start = image.find(b"<assembly ")
    end = image.find(b"</assembly>", start)
    if start < 0 or end < 0:
        return None
    try:
        return ElementTree.fromstring(image[start:end + len(b"</assembly>")])
    except ElementTree.ParseError:
        return None


def check_manifest(report, image, architecture):
    root = manifest_of(image)
    report.check(root is not None, "application manifest present and well formed")
    if root is None:
        return

    def attributes(path):
        found = root.find(path)
        return found.attrib if found is not None else {}

    identity = attributes(f"{ASM_V1}assemblyIdentity")
    want = {"name": "Ostrivo", "version": "1.0.0.0", "type": "win32",
            "processorArchitecture": architecture}
    report.check(identity == want, "manifest identity Ostrivo 1.0.0.0 win32 " + architecture,
                 " ".join(f'{k}="{v}"' for k, v in identity.items()))
    dependencies = root.findall(f"{ASM_V1}dependency/{ASM_V1}dependentAssembly/"
                                f"{ASM_V1}assemblyIdentity")
    want = {"type": "win32", "name": "Microsoft.Windows.Common-Controls",
            "version": "6.0.0.0", "processorArchitecture": architecture,
            "publicKeyToken": "6595b64144ccf1df", "language": "*"}
    report.check(len(dependencies) == 1 and dependencies[0].attrib == want,
                 "manifest depends on the common controls 6.0.0.0 only",
                 "; ".join(" ".join(f'{k}="{v}"' for k, v in d.attrib.items())
                           for d in dependencies) or "no dependency")

    level = attributes(f"{ASM_V3}trustInfo/{ASM_V3}security/{ASM_V3}requestedPrivileges/"
                       f"{ASM_V3}requestedExecutionLevel")
    report.check(level.get("level") == "asInvoker", "manifest execution level asInvoker",
                 level.get("level", "none"))
    report.check(level.get("uiAccess") == "false", "manifest uiAccess false",
                 level.get("uiAccess", "none"))

    systems = [s.get("Id", "").lower() for s in
               root.findall(f"{COMPATIBILITY}compatibility/{COMPATIBILITY}application/"
                            f"{COMPATIBILITY}supportedOS")]
    for name, guid in SUPPORTED_OS:
        report.check(guid in systems, f"manifest supportedOS {name}", guid)

    def setting(space, name):
        found = root.find(f"{ASM_V3}application/{ASM_V3}windowsSettings/{space}{name}")
        return found.text.strip() if found is not None and found.text else None

    aware = setting(SETTINGS_2005, "dpiAware")
    report.check(aware == "true", "manifest dpiAware true (system aware on Windows 7 to 8.1)",
                 aware or "none")
    awareness = setting(SETTINGS_2016, "dpiAwareness")
    report.check(awareness == "PerMonitorV2, System",
                 "manifest dpiAwareness PerMonitorV2, System (Windows 10 from 1607)",
                 awareness or "none")


def registers_seh_frames(objdump, path):
    """Instructions of the image that reach the exception list at fs:[0]."""
    code = subprocess.run([objdump, "-d", path], check=True, capture_output=True,
                          text=True).stdout
    return [line.strip() for line in code.splitlines() if re.search(r"%fs:0x0\b|%fs:\(", line)]


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
    report.check("TERMINAL_SERVICE_AWARE" in names, "terminal-server aware",
                 " ".join(names) or "no flags")
    if args.format == "pei-i386":
        # The flag makes Windows refuse any frame handler inside the image, so
        # it is only right while the code registers none.
        report.check("NO_SEH" in names, "no SEH handler (flag)", " ".join(names) or "no flags")
        frames = registers_seh_frames(args.objdump, args.image)
        report.check(not frames, "no SEH frame registered (no access to fs:[0] in the code)",
                     "; ".join(frames[:3]))

    characteristics = re.search(r"^Characteristics [^\n]*((?:\n\t[^\n]+)*)", headers, re.M)
    stripped = characteristics is not None and "relocations stripped" in characteristics.group(1)
    relocs = re.search(r"^Entry 5 ([0-9a-fA-F]+) ([0-9a-fA-F]+) Base Relocation", headers, re.M)
    reloc_size = int(relocs.group(2), 16) if relocs else 0
    report.check(not stripped and reloc_size > 0, "relocatable",
                 f"relocation table of {reloc_size} bytes" if reloc_size
                 else "no relocation table")

    dlls = re.findall(r"^\tDLL Name: (\S+)", headers, re.M)
    foreign = [d for d in dlls if d.lower() not in KNOWN_DLLS]
    report.check(bool(dlls) and not foreign, "imports only KnownDLLs",
                 ", ".join(dlls) + (f" (not allowed: {', '.join(foreign)})" if foreign else ""))
    delayed = re.search(r"^Entry d ([0-9a-fA-F]+) ([0-9a-fA-F]+) Delay Import Directory",
                        headers, re.M)
    delayed_size = int(delayed.group(2), 16) if delayed else 0
    report.check(delayed_size == 0, "no delay-load imports",
                 f"delay import directory of {delayed_size} bytes" if delayed_size else "")

    stamp = link_time_stamp(image)
    report.check(stamp == 0, "no link time stamp", f"TimeDateStamp {stamp:#x}"
                 if stamp is not None else "no PE header")

    version = fixed_file_version(image)
    report.check(version == args.version, f"version record {args.version}", version or "none")

    check_manifest(report, image, "x86" if args.format == "pei-i386" else "amd64")

    for path in args.no_path:
        found = [enc for enc in ("utf-8", "utf-16-le") if path.encode(enc) in image]
        report.check(not found, f"no build path {path}", "found as " + ", ".join(found)
                     if found else "")

    return 1 if report.failed else 0


if __name__ == "__main__":
    sys.exit(main())
