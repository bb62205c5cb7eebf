#!/usr/bin/env python3
"""The real installer end to end: build/veltra in batch mode through the
terminal fallback (no display, keys on standard input) on an image file, then
QEMU with SeaBIOS starting that image.

  1. `veltra 1v` installs; the image must hold exactly what make_disk.py's own
     install writes with the default key F1.
  2. A start without a key: the default F1 acts (partition 1 reported, the
     others hidden in the table written back).
  3. A start with F2 pressed: partition 2.
  4. `veltra rm` puts the old sector 0 back with the table as the starts left
     it and zeroes LBA 1..4.
  5. The next start goes through syslinux's MBR to partition 2.
  6. On another image: `veltra --pause=2 1v` writes a pause of 36 ticks, which
     --status --json shows as 2 s; after rm, `veltra 1v` writes the built-in
     55; `veltra --default=3v` changes byte 112 alone, and the next start
     makes partition 3 active with the others hidden.
  7. On another image, with a second disk: `veltra --lang=en 1v` installs the
     English boot program (the bytes of make_disk.py's install of
     veltra_en.bin), --status says so in either language; a start without a
     key shows "F1: partition 1 is active"; Space shows the English menu, word
     for word, and Alt-F2 in it starts partition 2.

Usage: installer_e2e_test.py [--veltra build/veltra]
                             [--boot-bin build/boottime/veltra.bin]
                             [--boot-bin-en build/boottime/veltra_en.bin]
                             [--workdir DIR] [--screenshots DIR]
Exit code: 0 passed, 1 a failure, 77 skipped (no qemu-system-i386; the
installer's own steps still run and must pass).
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(REPO, "tools"))
sys.path.insert(0, HERE)

import make_disk as md  # noqa: E402
import qemu_boot_test as qb  # noqa: E402
from qemu_harness import HarnessError, find_qemu  # noqa: E402

SKIP = 77
BOOT_TIMEOUT = 60
RUN_TIMEOUT = 60
S = md.SECTOR
F1 = 0x3B
SIG = 0x5EC0DE01

INSTALLED = b"  VELTRA 9.06 is geinstalleerd. Bij de volgende opstart aktief."
REMOVED = b"  VELTRA is verwijderd, alles is weer als voorheen."

# The table after each start: (boot flag, type) of the four entries.
AFTER_F1 = [(0x80, 0x06), (0, 0x1B), (0, 0x17), (0, 0x93)]
AFTER_F2 = [(0, 0x16), (0x80, 0x0B), (0, 0x17), (0, 0x93)]


# The variables that choose the installer's language: none of the caller's
# reach a run, so the Dutch runs stay Dutch on a machine set to English.
LANGUAGE_VARIABLES = ("LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG")


def run_veltra(t, veltra, image, args, keys, locale=None):
    """The program on this image with no display: keys come from stdin. locale:
    the LANG of the run (none by default: Dutch)."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY") + LANGUAGE_VARIABLES}
    if locale:
        env["LANG"] = locale
    env["VELTRA_DRIVES"] = image  # never anything but the image file
    env["XDG_STATE_HOME"] = t.path("state")  # backups stay in the test's folder
    try:
        run = subprocess.run([veltra] + args, input=keys, env=env, capture_output=True,
                             timeout=RUN_TIMEOUT)
    except subprocess.TimeoutExpired:
        t.failures.append(f"veltra {' '.join(args)} still running after {RUN_TIMEOUT} s")
        return b""
    t.equal(run.returncode, 0, f"exit code of veltra {' '.join(args)}")
    with open(t.path(f"veltra-{'-'.join(args)}{'-' + locale if locale else ''}.out"),
              "wb") as f:
        f.write(run.stdout + b"\n--- stderr\n" + run.stderr)
    return run.stdout


def expect_output(t, out, line, what):
    """Output to a pipe is the result line as plain text: no screen, no prompt."""
    t.equal(out, line.rstrip() + b"\n", f"{what}: plain output")


def test_installer(t, veltra, qemu_present):
    """veltra 1v, starts with the default key and with F2, veltra rm, start again."""
    disk = t.make_disk("disk.img", qb.parts("06", "0B", "07:a", "83"), SIG)
    original = qb.read_image(disk)

    out = run_veltra(t, veltra, disk, ["1v"], b"x")
    expect_output(t, out, INSTALLED, "veltra 1v")
    # make_disk.py installs the way the installer must: the same bytes.
    reference = t.path("reference.img")
    with open(reference, "wb") as f:
        f.write(original)
    md.install(reference, t.ctx.manager, F1)
    installed = qb.read_image(reference)
    t.disk_is(disk, installed, "image after veltra 1v")
    if t.failures or not qemu_present:
        return

    with t.machine("default", [disk]) as m:
        m.wait_handover(BOOT_TIMEOUT)
        t.started(m.wait_boot_line(BOOT_TIMEOUT), disk, 0x80, 1, "started by the default key")
        t.screen_text(m.screen(), qb.confirmation(1), whole_line=True)
    t.disk_is(disk, qb.with_table(installed, AFTER_F1), "image after the default F1")

    with t.machine("f2", [disk]) as m:
        m.wait_handover(BOOT_TIMEOUT)
        m.sendkey("f2")
        t.started(m.wait_boot_line(BOOT_TIMEOUT), disk, 0x80, 2, "started by F2")
        t.screen_text(m.screen(), qb.confirmation(2), whole_line=True)
    t.disk_is(disk, qb.with_table(installed, AFTER_F2), "image after F2")

    out = run_veltra(t, veltra, disk, ["rm"], b"x")
    expect_output(t, out, REMOVED, "veltra rm")
    removed = qb.zero_lba_1_to_4(qb.with_table(original, AFTER_F2))
    t.disk_is(disk, removed, "image after veltra rm")

    with t.machine("removed", [disk]) as m:
        m.wait_handover(BOOT_TIMEOUT)
        t.started(m.wait_boot_line(BOOT_TIMEOUT), disk, 0x80, 2,
                  "started through syslinux's MBR")
        t.check("F2:" not in m.screen().text(), "the boot manager still ran")
    t.disk_is(disk, removed, "image after the start without the boot manager")


INSTALLED_EN = b"  VELTRA 9.06 is installed. Active at the next boot."
SIG2 = 0x5EC0DE02
# Alt-F2 after the default F1 acted: partition 2 active, all of them visible.
AFTER_ALT_F2 = [(0, 0x06), (0x80, 0x0B), (0, 0x07), (0, 0x83)]


def test_english(t, veltra, qemu_present):
    """--lang=en 1v: the English boot program; its confirmation, and its menu on Space."""
    disk = t.make_disk("disk.img", qb.parts("06", "0B", "07:a", "83"), SIG)
    other = t.make_disk("second.img", qb.parts("07", "0B", "00", "83"), SIG2)
    original = qb.read_image(disk)
    other_before = qb.read_image(other)

    expect_output(t, run_veltra(t, veltra, disk, ["--lang=en", "1v"], b"x"), INSTALLED_EN,
                  "veltra --lang=en 1v")
    reference = t.path("reference.img")
    with open(reference, "wb") as f:
        f.write(original)
    md.install(reference, t.ctx.manager_en, F1)
    installed = qb.read_image(reference)
    t.disk_is(disk, installed, "image after veltra --lang=en 1v (the English boot program)")
    # --status names the boot program's language, in the installer's own.
    for locale, line in (("en_US.UTF-8", "  Language of the boot program: English"),
                         (None, "  Taal van het opstartprogramma: Engels")):
        status = run_veltra(t, veltra, disk, ["--status"], b"", locale).decode("utf-8")
        t.check(line in status.split("\n"),
                f"--status with LANG={locale} lacks {line!r}:\n{status}")
    status = json.loads(run_veltra(t, veltra, disk, ["--status", "--json"], b""))
    t.equal(status["drives"][0].get("boot_language"), "en", "--status --json: boot_language")
    if t.failures or not qemu_present:
        return

    with t.machine("default", [disk, other]) as m:
        m.wait_handover(BOOT_TIMEOUT)
        t.started(m.wait_boot_line(BOOT_TIMEOUT), disk, 0x80, 1, "started by the default key")
        t.screen_text(m.screen(), qb.confirmation(1, "en"), whole_line=True)
    after_f1 = qb.with_table(installed, AFTER_F1)
    t.disk_is(disk, after_f1, "image after the default F1")

    with t.machine("menu", [disk, other]) as m:
        m.wait_handover(BOOT_TIMEOUT)
        m.sendkey("spc")
        m.wait_screen(qb.TEXTS["en"]["f10"].strip(), BOOT_TIMEOUT)
        t.menu_shown(m.screen(), qb.menu_lines(4, [("F5", 2, 1), ("F6", 2, 2)], "en"))
        if t.ctx.screenshots:
            m.screenshot(os.path.join(t.ctx.screenshots, "boot-menu-en.png"))
        m.sendkey("alt-f2")
        t.started(m.wait_boot_line(BOOT_TIMEOUT), disk, 0x80, 2, "started by Alt-F2 in the menu")
        t.screen_text(m.screen(), qb.confirmation(2, "en", others_visible=True),
                      whole_line=True)
    t.disk_is(disk, qb.with_table(installed, AFTER_ALT_F2), "image after Alt-F2")
    t.disk_is(other, other_before, "second disk")


RECONFIGURED_F3 = b"VELTRA is bijgewerkt: default F3, pauze 3,0 s (55 tikken). Bij de volgende " \
    b"opstart actief."
AFTER_F3 = [(0, 0x16), (0, 0x1B), (0x80, 0x07), (0, 0x93)]


def changed_bytes(before, after):
    """[(offset, old, new)] of the bytes that differ."""
    return [(i, a, b) for i, (a, b) in enumerate(zip(before, after)) if a != b]


def test_reconfigure(t, veltra, qemu_present):
    """--pause=2 1v, --status --json, rm and 1v again, --default=3v, a start with F3 as default."""
    disk = t.make_disk("disk.img", qb.parts("06:a", "0B", "07", "83"), SIG)
    original = qb.read_image(disk)
    reference = t.path("reference.img")

    def reference_install(**pause):
        with open(reference, "wb") as f:
            f.write(original)
        md.install(reference, t.ctx.manager, F1, **pause)
        return qb.read_image(reference)

    expect_output(t, run_veltra(t, veltra, disk, ["--pause=2", "1v"], b"x"), INSTALLED,
                  "veltra --pause=2 1v")
    t.disk_is(disk, reference_install(pause_ticks=36), "image after veltra --pause=2 1v")
    status = json.loads(run_veltra(t, veltra, disk, ["--status", "--json"], b""))
    drive = status["drives"][0]
    t.equal((drive["default_key"], drive["pause_seconds"], drive["pause_ticks"]), ("F1", 2.0, 36),
            "--status --json after veltra --pause=2 1v")

    expect_output(t, run_veltra(t, veltra, disk, ["rm"], b"x"), REMOVED, "veltra rm")
    expect_output(t, run_veltra(t, veltra, disk, ["1v"], b"x"), INSTALLED, "veltra 1v again")
    installed = reference_install()
    t.disk_is(disk, installed, "image after veltra rm, veltra 1v (the pause as built, 3 s)")

    dry = run_veltra(t, veltra, disk, ["--default=3v", "--dry-run"], b"")
    t.equal(dry.decode("cp437"),
            "Proef (--dry-run), er wordt niets geschreven. In deze volgorde:\n"
            "  LBA 0, 512 bytes, daarna sync:\n"
            "    LBA 0: default-toets 3Bh -> 3Dh (F3)\n", "veltra --default=3v --dry-run")
    t.disk_is(disk, installed, "image after the dry run")
    out = run_veltra(t, veltra, disk, ["--default=3v"], b"")
    t.equal(out, RECONFIGURED_F3 + b"\n", "veltra --default=3v: output")
    after = qb.read_image(disk)
    diff = changed_bytes(installed, after)
    t.equal(diff, [(112, 0x3B, 0x3D)], "bytes changed by --default=3v (offset, before, after)")
    t.note("image diff of --default=3v: " +
           ", ".join(f"byte {i}: {a:02X}h -> {b:02X}h" for i, a, b in diff))
    backups = sorted(os.listdir(os.path.join(t.path("state"), "veltra")))
    t.note(f"{len(backups)} backups for 4 writing runs")
    t.equal(len(backups), 4, "backups: one per writing run")
    if t.failures or not qemu_present:
        return

    with t.machine("f3-default", [disk]) as m:
        m.wait_handover(BOOT_TIMEOUT)
        got = m.wait_boot_line(BOOT_TIMEOUT)
        t.started(got, disk, 0x80, 3, "started by the new default key F3")
        t.screen_text(m.screen(), qb.confirmation(3), whole_line=True)
    t.disk_is(disk, qb.with_table(after, AFTER_F3), "image after the start with default F3")


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--veltra", default=os.path.join(REPO, "build", "veltra"))
    ap.add_argument("--boot-bin", default=os.path.join(REPO, "build", "boottime", "veltra.bin"))
    ap.add_argument("--boot-bin-en",
                    default=os.path.join(REPO, "build", "boottime", "veltra_en.bin"))
    ap.add_argument("--screenshots", metavar="DIR",
                    help="save the English boot menu as DIR/boot-menu-en.png")
    ap.add_argument("--mbr", default=md.DEFAULT_MBR)
    ap.add_argument("--qemu", default="qemu-system-i386")
    ap.add_argument("--workdir", help="images and logs (default: a temporary directory)")
    args = ap.parse_args(argv)

    ctx = qb.Context()
    ctx.qemu = find_qemu(args.qemu)
    ctx.log = lambda msg: None
    try:
        with open(args.mbr, "rb") as f:
            ctx.mbr_code = f.read()
        ctx.record = md.assemble_record()
        with open(args.boot_bin, "rb") as f:
            ctx.manager = f.read()
        with open(args.boot_bin_en, "rb") as f:
            ctx.manager_en = f.read()
    except (OSError, md.DiskError) as e:
        print(f"FAIL setup: {e}")
        return 1
    for path, program in ((args.boot_bin, ctx.manager), (args.boot_bin_en, ctx.manager_en)):
        if len(program) != md.BOOT_MANAGER_SIZE:
            print(f"FAIL setup: {path} is {len(program)} bytes")
            return 1
    ctx.screenshots = args.screenshots
    if ctx.screenshots:
        os.makedirs(ctx.screenshots, exist_ok=True)
    if not os.access(args.veltra, os.X_OK):
        print(f"FAIL setup: no program {args.veltra}")
        return 1

    ctx.workdir = args.workdir or tempfile.mkdtemp(prefix="veltra-installer-e2e-")
    os.makedirs(ctx.workdir, exist_ok=True)
    ctx.sockdir = tempfile.mkdtemp(prefix="veltra-mon-")
    cases = []
    try:
        for name, test in (("installer", test_installer), ("reconfigure", test_reconfigure),
                           ("english", test_english)):
            t = qb.Case(name, ctx)
            cases.append(t)
            start = time.monotonic()
            try:
                test(t, os.path.abspath(args.veltra), ctx.qemu is not None)
            except (HarnessError, md.DiskError, OSError, ValueError, KeyError) as e:
                t.failures.append(f"{type(e).__name__}: {e}")
            t.note(f"{name}: {time.monotonic() - start:.1f} s")
    finally:
        shutil.rmtree(ctx.sockdir, ignore_errors=True)

    failed = False
    for t in cases:
        for n in t.notes:
            print(f"    note: {n}")
        for f in t.failures:
            print(f"    - {f}")
        if t.failures:
            print(f"FAIL {t.name} end to end (images and logs in {t.dir})")
            failed = True
    if failed:
        return 1
    if ctx.qemu is None:
        print(f"SKIP: {args.qemu} not found; the installer steps passed, the boots need QEMU")
        return SKIP
    print("PASS installer end to end: veltra 1v, default F1, F2, veltra rm, plain start; "
          "--pause=2 1v, --status --json, --default=3v, default F3; --lang=en 1v, default F1, "
          "the English menu on Space, Alt-F2")
    if args.workdir is None:
        shutil.rmtree(ctx.workdir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
