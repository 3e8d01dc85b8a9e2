#!/usr/bin/env python3
"""Writes a zip whose bytes depend only on the files given and the date.

    zip.py OUT.zip YYYY-MM-DDTHH:MM:SS NAME=PATH [NAME=PATH ...]

Entries are stored in the order given, each with the same date, no Unix
owner or mode bits and no extra fields, so that two builds of one commit
give the same archive wherever and whenever they run.
"""
import sys
import zipfile


def main(argv):
    if len(argv) < 4:
        sys.exit(__doc__.strip())
    out, stamp, entries = argv[1], argv[2], argv[3:]
    date, time = stamp.split("T")
    date_time = tuple(int(x) for x in date.split("-")) + tuple(int(x) for x in time.split(":"))
    with zipfile.ZipFile(out, "w") as archive:
        for entry in entries:
            name, path = entry.split("=", 1)
            info = zipfile.ZipInfo(name, date_time)
            info.create_system = 0  # MS-DOS: what Windows' own zip folders write
            info.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE, nothing else
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as f:
                archive.writestr(info, f.read(), compresslevel=9)


if __name__ == "__main__":
    main(sys.argv)
