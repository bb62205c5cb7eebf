#!/usr/bin/env python3
"""tools/make_zip.py makes the same zip from the same files whatever their
times, permissions and the order the folder lists them in:

  make_zip_test.py MAKE_ZIP

Packs two copies of a folder made at different times, with different
permissions and in reverse order, and checks that the zips are byte for byte
the same and hold exactly the expected entries (names, order, time, modes,
contents), and that a missing date and an empty folder are refused.
"""
import os
import subprocess
import sys
import tempfile
import zipfile

FILES = {  # name: bytes, in the order the zip must hold them
    "LEESMIJ.txt": b"Lees mij\r\n",
    "LICENSE.txt": b"MIT\r\n",
    "sub/a.bin": bytes(range(0, 256, 51)),
    "veltra.exe": b"MZ" + b"\0" * 62,
}
DATE = 1796684400  # Mon, 07 Dec 2026 23:00:00 +0000


def make_folder(top, names, mode, mtime):
    for name in names:
        path = os.path.join(top, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(FILES[name])
        os.chmod(path, mode)
        os.utime(path, (mtime, mtime))


def run(make_zip, *args, env=None):
    return subprocess.run([sys.executable, make_zip, *args], capture_output=True,
                          text=True, env=env)


def main(make_zip):
    failures = []

    def check(what, got, wanted):
        if got != wanted:
            failures.append(f"{what}: {got!r}, wanted {wanted!r}")

    with tempfile.TemporaryDirectory() as work:
        zips = []
        for index, (names, mode, mtime) in enumerate(
                [(sorted(FILES), 0o644, 1000000000),
                 (sorted(FILES, reverse=True), 0o664, 1900000000)]):
            folder = os.path.join(work, str(index), "veltra-9.06-win64")
            make_folder(folder, names, mode, mtime)
            output = os.path.join(work, f"{index}.zip")
            if index == 0:
                result = run(make_zip, folder, output, "--date", str(DATE))
            else:  # the date from SOURCE_DATE_EPOCH
                result = run(make_zip, folder, output,
                             env={**os.environ, "SOURCE_DATE_EPOCH": str(DATE), "TZ": "UTC-14"})
            check(f"make_zip {index} exit", (result.returncode, result.stderr), (0, ""))
            zips.append(output)
        with open(zips[0], "rb") as first, open(zips[1], "rb") as second:
            check("the two zips are the same", first.read() == second.read(), True)

        with zipfile.ZipFile(zips[0]) as archive:
            entries = [(info.filename, info.date_time, info.external_attr >> 16,
                        info.create_system, info.extra, archive.read(info))
                       for info in archive.infolist()]
        wanted = [(f"veltra-9.06-win64/{name}", (2026, 12, 7, 23, 0, 0),
                   0o100755 if name.endswith(".exe") else 0o100644, 3, b"", FILES[name])
                  for name in sorted(FILES)]
        check("entries", entries, wanted)

        env = {key: value for key, value in os.environ.items() if key != "SOURCE_DATE_EPOCH"}
        result = run(make_zip, os.path.join(work, "0", "veltra-9.06-win64"),
                     os.path.join(work, "nodate.zip"), env=env)
        check("no date", (result.returncode, result.stderr.strip()),
              (1, "make_zip: give --date or set SOURCE_DATE_EPOCH"))
        os.makedirs(os.path.join(work, "empty"))
        result = run(make_zip, os.path.join(work, "empty"), os.path.join(work, "empty.zip"),
                     "--date", str(DATE))
        check("empty folder", (result.returncode, result.stderr.strip()),
              (1, f"make_zip: {os.path.join(work, 'empty')} holds no files"))
        check("no zip of an empty folder", os.path.exists(os.path.join(work, "empty.zip")), False)

    for failure in failures:
        print(failure)
    print("make_zip: " + ("FAILED" if failures else "same bytes, entries as expected"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
