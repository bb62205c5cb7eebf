#!/usr/bin/env python3
"""Packs a folder into a zip that is the same, byte for byte, wherever and
whenever it is made:

    tools/make_zip.py FOLDER ZIP [--date SECONDS]

Every file of FOLDER goes in under FOLDER's own name (veltra-9.06-win64/...),
in sorted order, with no folder entries, the same time for all (SECONDS since
1970, default SOURCE_DATE_EPOCH; as UTC, the zip format's times have no zone),
no extra fields (no owner, no Unix times), permissions rw-r--r-- (rwxr-xr-x
for .exe files) whatever the umask made them, and deflated at level 9.
"""
import argparse
import os
import sys
import time
import zipfile


def entries(folder):
    """The files under folder as paths relative to it, '/'-separated, sorted."""
    found = []
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        for name in files:
            path = os.path.join(root, name)
            found.append(os.path.relpath(path, folder).replace(os.sep, "/"))
    return sorted(found)


def zip_time(seconds):
    """The zip's date_time of seconds since 1970 (the format starts at 1980)."""
    stamp = time.gmtime(max(seconds, 315532800))
    return stamp[:6]


def make_zip(folder, output, seconds):
    top = os.path.basename(os.path.normpath(folder))
    date_time = zip_time(seconds)
    names = entries(folder)
    if not names:
        raise SystemExit(f"make_zip: {folder} holds no files")
    temporary = output + ".part"
    with zipfile.ZipFile(temporary, "w") as archive:
        for name in names:
            info = zipfile.ZipInfo(f"{top}/{name}", date_time)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # Unix, so that the permissions below count
            mode = 0o755 if name.lower().endswith(".exe") else 0o644
            info.external_attr = (0o100000 | mode) << 16
            with open(os.path.join(folder, name), "rb") as source:
                archive.writestr(info, source.read(), compresslevel=9)
    os.replace(temporary, output)
    return names


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("folder")
    parser.add_argument("zip")
    parser.add_argument("--date", type=int, default=None,
                        help="seconds since 1970 (default: SOURCE_DATE_EPOCH)")
    args = parser.parse_args(argv)
    seconds = args.date
    if seconds is None:
        epoch = os.environ.get("SOURCE_DATE_EPOCH", "")
        if not epoch.isdigit():
            raise SystemExit("make_zip: give --date or set SOURCE_DATE_EPOCH")
        seconds = int(epoch)
    make_zip(args.folder, args.zip, seconds)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
