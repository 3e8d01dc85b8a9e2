#!/usr/bin/env python3
"""Checks the README.txt packed in a release zip.

    readmecheck.py ZIP SOURCES

SOURCES is the tree the release was built from. Prints one line per check
and ends with status 1 if any failed.

Windows' Notepad before Windows 10 shows a file as UTF-8 only when it starts
with the BOM, and breaks lines only at CR LF; the Chinese part would be
garbled or run together without them. The text names the dialog's buttons
and labels as the window shows them, so a renamed control must be renamed
there too.
"""
import re
import sys
import zipfile

ENTRY = "README.txt"
BOM = b"\xef\xbb\xbf"
# Hidden when the dialog opens; the text says only that a hidden lookup exists.
HIDDEN = {"IDC_DRIVE_LETTER", "IDC_GET_HARDWARE_ID", "IDC_DRIVE_LABEL"}


def dialog_texts(sources):
    """The caption and the visible control texts of the main dialog."""
    with open(f"{sources}/ui/resources/resource.h", encoding="utf-8") as f:
        caption = re.search(r'^#define MAIN_DIALOG_CAPTION\s+"([^"]*)"', f.read(), re.M)
    with open(f"{sources}/ui/resources/ostrivo.rc", encoding="utf-8") as f:
        rc = f.read()
    body = re.search(r"^IDD_MAIN_DIALOG DIALOGEX.*?^BEGIN\r?$(.*?)^END\r?$", rc, re.M | re.S)
    texts = [caption.group(1)] if caption else []
    if body:
        for text, ident in re.findall(r'CONTROL\s+"([^"]*)"\s*,\s*([\w-]+)', body.group(1)):
            # "*" stands in the count label only until the first listing.
            if text not in ("", "*") and ident not in HIDDEN:
                texts.append(text)
    return texts


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__.strip())
    failed = 0

    def check(ok, what, detail=""):
        nonlocal failed
        print(f"  {'ok  ' if ok else 'FAIL'}  {what}{': ' + detail if detail else ''}")
        failed += not ok

    with zipfile.ZipFile(argv[1]) as archive:
        if ENTRY not in archive.namelist():
            check(False, f"{ENTRY} in the zip")
            return 1
        data = archive.read(ENTRY)

    check(data.startswith(BOM) and not data[len(BOM):].startswith(BOM),
          f"{ENTRY} starts with one UTF-8 byte order mark")
    try:
        text = data[len(BOM):].decode("utf-8")
    except UnicodeDecodeError as e:
        check(False, f"{ENTRY} is UTF-8", str(e))
        return 1
    bare = [n for n, line in enumerate(text.split("\r\n"), 1) if "\r" in line or "\n" in line]
    check(not bare and text.endswith("\r\n"), f"{ENTRY} ends every line with CR LF",
          f"not at line {bare[0]}" if bare else "" if text.endswith("\r\n") else "not the last")
    left = sorted(set(re.findall(r"@[A-Z_]+@", text)))
    check(not left, f"{ENTRY} has every placeholder filled in", " ".join(left))
    texts = dialog_texts(argv[2])
    missing = [t for t in texts if t not in text]
    check(len(texts) > 1 and not missing,
          f"{ENTRY} names the dialog's title, buttons and labels as the window shows them",
          "missing " + ", ".join(missing) if missing else "" if len(texts) > 1
          else "no texts found in ui/resources")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
