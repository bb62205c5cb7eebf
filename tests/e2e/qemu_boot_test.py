#!/usr/bin/env python3
"""End-to-end boots of the boot manager on real firmware (QEMU + SeaBIOS).

Each case builds its disk images with tools/make_disk.py, installs the boot
manager the way the installer does, boots QEMU, presses keys through the
monitor during the start-up pause, reads the screen from video memory, and
afterwards compares the image files byte for byte with what must be there.

Usage: qemu_boot_test.py [--veltra build/boottime/veltra.bin] [--work-dir DIR]
                         [--only NAME,...] [--jobs 2] [--keep]
Exit code: 0 all passed, 1 a failure, 77 skipped (no qemu-system-i386).
"""

import argparse
import os
import shutil
import sys
import tempfile
import threading
import time
import traceback
from concurrent.futures import ThreadPoolExecutor

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(REPO, "tools"))
sys.path.insert(0, HERE)

import make_disk as md  # noqa: E402
from qemu_harness import BOOT_LINE, EXIT_CODE, HarnessError, Machine, find_qemu  # noqa: E402

SKIP = 77
BOOT_TIMEOUT = 60
S = md.SECTOR

F1 = 0x3B  # DefaultKey byte for F1
# The pause (clock ticks) of the cases that press a key at the hand-over: the longest, which
# the key ends at once, so that a busy host cannot let the pause run out before the key.
KEY_PAUSE = 546
SIG1, SIG2 = 0x11C0FFEE, 0x22BEEF22

# What the boot manager prints (code page 437). The texts of its menu and its
# confirmations come in Dutch (veltra.bin) and English (veltra_en.bin).
BANNER = " " + ">" * 22 + " Dorvanti VELTRA Manager " + "<" * 23
REMOVED = "VELTRA is nu verwijderd. Kies een partitie of ongeldige toets"
TEXTS = {
    "nl": {
        "key": " F{n} = Aktiveer partitie {n}, Alt-F{n} = én open andere primaire partitie(s)",
        "other": " {key} = Start Windows op de {disk}e drive op de {entry}e partitie, "
                 "indien aanwezig",
        "f10": " F10 = Deïnstalleer VELTRA en kies opnieuw",
        "active": "F{n}: partitie {n} is aktief",
        "visible": "Alt-F{n}: partitie {n} is aktief, andere primaire partitie(s) zichtbaar",
    },
    "en": {
        "key": " F{n} = Make partition {n} active, Alt-F{n} = and show other primary "
               "partition(s)",
        "other": " {key} = Start Windows on drive {disk}, partition {entry}, if present",
        "f10": " F10 = Uninstall VELTRA and choose again",
        "active": "F{n}: partition {n} is active",
        "visible": "Alt-F{n}: partition {n} is active, other primary partition(s) visible",
    },
}


def menu_key_line(n, lang="nl"):
    return TEXTS[lang]["key"].format(n=n)


def menu_other_line(key, disk, entry, lang="nl"):
    return TEXTS[lang]["other"].format(key=key, disk=disk, entry=entry)


def menu_lines(ordinals, others, lang="nl"):
    """The whole menu: banner, F1..F<ordinals>, (key, disk, entry) of the other
    disks' partitions, the F10 line and the bare line end after it."""
    return ([BANNER] + [menu_key_line(n, lang) for n in range(1, ordinals + 1)] +
            [menu_other_line(*o, lang=lang) for o in others] + [TEXTS[lang]["f10"], ""])


def confirmation(n, lang="nl", others_visible=False):
    """The line after a key (or the default key): Fn, or Alt-Fn with others_visible."""
    return TEXTS[lang]["visible" if others_visible else "active"].format(n=n)


MENU_F10 = TEXTS["nl"]["f10"]
MBR_STOP = "MBR: "  # what tests/e2e/strict_mbr.asm prints when it refuses to start


# ---------------------------------------------------------------- bookkeeping


class Case:
    """Collects the findings of one test case."""

    def __init__(self, name, ctx):
        self.name = name
        self.ctx = ctx
        self.dir = os.path.join(ctx.workdir, name)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        self.failures = []
        self.notes = []
        self.layout = {}  # image path -> (start LBA of each entry, disk signature)

    def check(self, cond, msg):
        if not cond:
            self.failures.append(msg)
        return cond

    def equal(self, actual, expected, what):
        return self.check(actual == expected, f"{what}: expected {expected!r}, got {actual!r}")

    def note(self, msg):
        self.notes.append(msg)

    def path(self, name):
        return os.path.join(self.dir, name)

    def machine(self, label, disks):
        return Machine(f"{self.name}-{label}", self.ctx.workdir, disks, qemu=self.ctx.qemu,
                       sockdir=self.ctx.sockdir, log=self.ctx.log)

    def make_disk(self, name, parts, signature, stay=True, mbr_code=None):
        path = self.path(name)
        placed = md.create_disk(path, 8 << 20, parts, signature,
                                mbr_code or self.ctx.mbr_code, self.ctx.record, stay=stay,
                                overwrite=True)
        self.layout[path] = ([p.start for p in placed], signature)
        return path

    def install(self, path, key, pause_ticks=None):
        md.install(path, self.ctx.manager, key, pause_ticks=pause_ticks)
        return read_image(path)

    def report(self, path, drive, entry):
        """The line the boot record of entry (1..4) of image path prints."""
        starts, sig = self.layout[path]
        return (f"BOOT disk={drive:02X} part={entry} lba={starts[entry - 1]:08X} "
                f"sig={sig:08X}")

    def started(self, got, path, drive, entry, what="started"):
        """got (from Machine.wait_boot_line) is entry of image path with DL = drive."""
        d, e, lba, sig = got
        self.equal(f"BOOT disk={d:02X} part={e} lba={lba:08X} sig={sig:08X}",
                   self.report(path, drive, entry), what)

    def disk_is(self, path, expected, what):
        diff = describe_diff(read_image(path), expected)
        self.check(not diff, f"{what} differs from the expected image:\n      " +
                   "\n      ".join(diff))

    def screen_text(self, screen, text, attr=0x02, col=None, whole_line=False):
        """text on screen, written in attribute attr; returns (row, col). With
        whole_line, text is all of its row (from column 0, blanks after it)."""
        at = screen.find(text)
        if not self.check(at is not None, f"screen lacks {text!r}; screen:\n" +
                          indent(screen.text())):
            return None
        row, c = at
        bad = [i for i in range(len(text)) if screen.attr_at(row, c + i) != attr]
        self.check(not bad, f"{text!r} not all in attribute {attr:02X}h (columns {bad[:5]}...)")
        if col is not None:
            self.equal(c, col, f"column of {text!r}")
        if whole_line:
            self.equal(screen.lines()[row], text, f"the row of {text!r}")
        return at

    def menu_shown(self, screen, menu):
        """The menu lines (menu_lines) stand row for row from the first banner on,
        from column 0, all in attribute 02h."""
        top = screen.find(BANNER)
        if not self.check(top is not None, "no menu banner; screen:\n" + indent(screen.text())):
            return
        row = top[0]
        shown = screen.lines()[row:row + len(menu)]
        if not self.check(shown == menu, "menu lines differ:\n" + indent("\n".join(shown)) +
                          "\n    expected:\n" + indent("\n".join(menu))):
            return
        self.equal(top[1], 0, "column of the banner")
        for r, line in enumerate(menu, row):
            bad = [c for c in range(len(line)) if screen.attr_at(r, c) != 0x02]
            self.check(not bad, f"{line!r} not all in attribute 02h (columns {bad[:5]}...)")


def indent(text):
    return "\n".join("      | " + line for line in text.rstrip("\n").split("\n"))


def read_image(path):
    with open(path, "rb") as f:
        return bytearray(f.read())


def describe_diff(actual, expected, limit=6):
    if len(actual) != len(expected):
        return [f"size {len(actual)} instead of {len(expected)}"]
    out = []
    for lba in range(len(expected) // S):
        a = actual[lba * S:(lba + 1) * S]
        e = expected[lba * S:(lba + 1) * S]
        if a != e:
            offs = [i for i in range(S) if a[i] != e[i]]
            shown = ", ".join(f"{o}: {a[o]:02X}h not {e[o]:02X}h" for o in offs[:8])
            out.append(f"LBA {lba}: {len(offs)} byte(s) differ ({shown}"
                       f"{', ...' if len(offs) > 8 else ''})")
            if len(out) >= limit:
                out.append("...")
                break
    return out


def with_table(image, entries, lba=0):
    """A copy of image whose entries in LBA lba get the (boot flag, type) given."""
    img = bytearray(image)
    for i, (flag, ptype) in enumerate(entries):
        off = lba * S + md.TABLE_AT + 16 * i
        img[off] = flag
        img[off + 4] = ptype
    return img


def zero_lba_1_to_4(image):
    img = bytearray(image)
    img[S:5 * S] = bytes(4 * S)
    return img


def parts(*specs):
    return [md.parse_part(s) for s in specs]


# ---------------------------------------------------------------- the cases


def test_baseline(t):
    """Without the boot manager: syslinux's MBR starts the active partition."""
    disk = t.make_disk("plain.img", parts("06", "0B:a", "07", "83"), SIG1, stay=False)
    before = read_image(disk)
    with t.machine("exit", [disk]) as m:
        code = m.wait_exit(BOOT_TIMEOUT)
        t.equal(code, EXIT_CODE, "QEMU exit code (isa-debug-exit)")
        t.check(t.report(disk, 0x80, 2) + "\n" in m.debug_output(),
                f"debug console: {m.debug_output()!r}")
    t.disk_is(disk, before, "plain disk after boot")

    disk = t.make_disk("plain-stay.img", parts("06", "0B", "07", "83:a"), SIG1)
    with t.machine("stay", [disk]) as m:
        t.started(m.wait_boot_line(BOOT_TIMEOUT), disk, 0x80, 4)
        t.screen_text(m.screen(), t.report(disk, 0x80, 4), attr=0x07, col=0)


def test_default_f1(t):
    """Default key F1, no key pressed: partition 1 active, the others hidden."""
    disk = t.make_disk("disk.img", parts("06", "0B", "07:a", "83"), SIG1)
    installed = t.install(disk, F1)
    with t.machine("boot", [disk]) as m:
        m.wait_handover(BOOT_TIMEOUT)
        got = m.wait_boot_line(BOOT_TIMEOUT)
        pause = time.monotonic() - m.handover
        cpu = m.cpu_seconds() - m.handover_cpu
        t.note(f"start-up pause (hand-over to partition start, no key): {pause:.1f} s "
               f"wall, {cpu:.1f} s QEMU CPU time")
        t.ctx.pauses.append((pause, cpu))
        t.started(got, disk, 0x80, 1)
        screen = m.screen()
        at = t.screen_text(screen, "F1: partitie 1 is aktief", col=0)
        boot = screen.find("BOOT disk=80 part=1")
        if at and boot:
            t.equal(boot, (at[0] + 1, 0), "report line right below the confirmation")
    t.disk_is(disk, with_table(installed, [(0x80, 0x06), (0, 0x1B), (0, 0x17), (0, 0x93)]),
              "disk after default F1")


def test_key_f2(t):
    """F2 pressed at the hand-over wins over the default F1 and cuts the pause short."""
    disk = t.make_disk("disk.img", parts("06:a", "0B", "07", "83"), SIG1)
    installed = t.install(disk, F1, KEY_PAUSE)
    with t.machine("boot", [disk]) as m:
        m.wait_handover(BOOT_TIMEOUT)
        m.sendkey("f2")
        got = m.wait_boot_line(BOOT_TIMEOUT)
        wall = time.monotonic() - m.handover
        cpu = m.cpu_seconds() - m.handover_cpu
        t.note(f"F2 at the hand-over: partition 2 starts {wall:.1f} s wall, {cpu:.1f} s "
               "QEMU CPU time after it")
        t.ctx.key_starts.append((wall, cpu))
        t.check(cpu < 3, f"the pause ran on after the key ({cpu:.1f} s of QEMU CPU time)")
        t.started(got, disk, 0x80, 2)
        screen = m.screen()
        t.screen_text(screen, "F2: partitie 2 is aktief", col=0)
        t.check(screen.find("F1:") is None, "the default F1 was acted on as well")
    t.disk_is(disk, with_table(installed, [(0, 0x16), (0x80, 0x0B), (0, 0x17), (0, 0x93)]),
              "disk after F2")


def test_pause_clock(t):
    """The pause by the BIOS clock: 3 s as built, 1 s and none; no key, the default acts."""
    for label, ticks in (("default", None), ("1s", 18), ("none", 0)):
        disk = t.make_disk(f"pause-{label}.img", parts("06", "0B", "07:a", "83"), SIG1)
        md.install(disk, t.ctx.manager, F1, pause_ticks=ticks)
        installed = read_image(disk)
        t.equal(int.from_bytes(installed[48:50], "little"), 55 if ticks is None else ticks,
                f"pause field of the {label} install")
        with t.machine(label, [disk]) as m:
            m.wait_handover(BOOT_TIMEOUT)
            got = m.wait_boot_line(BOOT_TIMEOUT)
            now = time.monotonic()
            t.note(f"pause {label}: power-on to the partition's boot record "
                   f"{now - m.started:.1f} s wall ({now - m.handover:.1f} s after the "
                   f"hand-over), {m.cpu_seconds():.1f} s QEMU CPU time")
            t.started(got, disk, 0x80, 1)
            t.screen_text(m.screen(), "F1: partitie 1 is aktief", col=0)
        t.disk_is(disk, with_table(installed, [(0x80, 0x06), (0, 0x1B), (0, 0x17), (0, 0x93)]),
                  f"disk after the {label} start")


def wait_start_or_stop(t, m):
    """The report of a started partition, or None when the strict MBR stopped."""
    m.wait_until("boot record report or MBR stop",
                 lambda: BOOT_LINE.search(m.debug_output()) or MBR_STOP in m.debug_output(),
                 BOOT_TIMEOUT)
    if not BOOT_LINE.search(m.debug_output()):
        t.check(False, f"the strict MBR stopped: {m.debug_output().strip()!r}")
        return None
    return m.wait_boot_line(BOOT_TIMEOUT)


def active_flags(image):
    return [image[md.TABLE_AT + 16 * i] for i in range(4)]


def test_strict_mbr(t):
    """A strict previous MBR: F2 beside an active A5h entry leaves one active entry, starts."""
    # The MBR code itself: it refuses two active entries and starts a single one.
    for label, table, entry in (("two-active", ("0B:a", "A5:a"), None),
                                ("one-active", ("0B", "A5:a"), 2)):
        plain = t.make_disk(f"{label}.img", parts(*table), SIG2, stay=False,
                            mbr_code=t.ctx.strict_mbr)
        with t.machine(label, [plain]) as m:
            if entry is None:
                m.wait_until("MBR stop", lambda: MBR_STOP in m.debug_output(), BOOT_TIMEOUT)
                t.check("BOOT" not in m.debug_output(), f"{label}: a partition started")
            else:
                t.started(m.wait_boot_line(BOOT_TIMEOUT), plain, 0x80, entry, label)

    disk = t.make_disk("disk.img", parts("06", "0B", "07", "A5:a"), SIG1,
                       mbr_code=t.ctx.strict_mbr)
    installed = t.install(disk, 0x00, KEY_PAUSE)
    with t.machine("boot", [disk]) as m:
        m.wait_handover(BOOT_TIMEOUT)
        m.sendkey("f2")
        got = wait_start_or_stop(t, m)
        if got:
            t.started(got, disk, 0x80, 2)
        t.screen_text(m.screen(), "F2: partitie 2 is aktief", col=0)
    after = read_image(disk)
    t.equal(active_flags(after), [0, 0x80, 0, 0], "boot indicators after F2")
    t.disk_is(disk, with_table(installed, [(0, 0x16), (0x80, 0x0B), (0, 0x17), (0, 0xA5)]),
              "disk after F2")


def test_alt_f3_then_no_key(t):
    """Alt-F3 on an all-hidden table; the next start without a key keeps that choice."""
    disk = t.make_disk("disk.img", parts("16:a", "1B", "17", "93"), SIG1)
    installed = t.install(disk, 0x00)
    expected = with_table(installed, [(0, 0x06), (0, 0x0B), (0x80, 0x07), (0, 0x83)])
    with t.machine("altf3", [disk]) as m:
        m.wait_handover(BOOT_TIMEOUT)
        m.sendkey("alt-f3")
        t.started(m.wait_boot_line(BOOT_TIMEOUT), disk, 0x80, 3)
        t.screen_text(m.screen(), "Alt-F3: partitie 3 is aktief, andere primaire "
                      "partitie(s) zichtbaar", col=0)
    t.disk_is(disk, expected, "disk after Alt-F3")

    with t.machine("again", [disk]) as m:
        m.wait_handover(BOOT_TIMEOUT)
        t.started(m.wait_boot_line(BOOT_TIMEOUT), disk, 0x80, 3,
                    "second start, no key, no default")
        screen = m.screen()
        # No default key and no key: the manager prints nothing at all.
        t.equal(screen.find("BOOT disk=80"), (2, 0), "report line position (no output "
                "before it)")
    t.disk_is(disk, expected, "disk after the second start")


def test_menu(t):
    """Space shows the menu (twice), then Alt-F2 picks recognised partition 2."""
    disk = t.make_disk("disk.img", parts("07:a", "82", "17", "83"), SIG1)
    other = t.make_disk("second.img", parts("07", "0B", "00", "83"), SIG2)
    installed = t.install(disk, 0x00, KEY_PAUSE)
    other_before = read_image(other)
    menu = menu_lines(3, [("F5", 2, 1), ("F6", 2, 2)])
    with t.machine("boot", [disk, other]) as m:
        m.wait_handover(BOOT_TIMEOUT)
        m.sendkey("spc")
        m.wait_screen(MENU_F10.strip(), BOOT_TIMEOUT)
        t.menu_shown(m.screen(), menu)
        m.sendkey("spc")
        m.wait_until("second menu", lambda: m.screen().count(MENU_F10) == 2, 20, poll=0.25)
        m.sendkey("alt-f2")
        t.started(m.wait_boot_line(BOOT_TIMEOUT), disk, 0x80, 3,
                    "started after Alt-F2")
        screen = m.screen()
        t.equal(screen.count(BANNER), 2, "number of menus shown")
        t.screen_text(screen, "Alt-F2: partitie 2 is aktief, andere primaire "
                      "partitie(s) zichtbaar", col=0)
    # Ordinal 2 is table entry 3; the swap entry is not touched.
    t.disk_is(disk, with_table(installed, [(0, 0x07), (0, 0x82), (0x80, 0x07), (0, 0x83)]),
              "first disk after Alt-F2")
    t.disk_is(other, other_before, "second disk")


def test_other_disk_f5(t):
    """F5 starts partition 1 of the second disk with DL = 81h; nothing is written."""
    disk = t.make_disk("disk.img", parts("06", "0B", "07:a", "83"), SIG1)
    other = t.make_disk("second.img", parts("07", "0B", "00", "83"), SIG2)
    installed = t.install(disk, F1, KEY_PAUSE)
    other_before = read_image(other)
    with t.machine("boot", [disk, other]) as m:
        m.wait_handover(BOOT_TIMEOUT)
        m.sendkey("f5")
        t.started(m.wait_boot_line(BOOT_TIMEOUT), other, 0x81, 1)
    t.disk_is(disk, installed, "first disk (the default F1 must not act)")
    t.disk_is(other, other_before, "second disk")


def test_f10_removal(t):
    """F10 then Enter: the manager is gone, the live table stays, the disk boots."""
    disk = t.make_disk("disk.img", parts("06:a", "0B", "07", "83"), SIG1)
    original = read_image(disk)
    installed = t.install(disk, F1, KEY_PAUSE)
    # The table in LBA 0 changed after installation (entry 4 made active), so
    # the copy inside the saved MBR in LBA 1 is stale.
    live = with_table(installed, [(0, 0x06), (0, 0x0B), (0, 0x07), (0x80, 0x83)])
    md.write_sectors(disk, 0, bytes(live[:S]))
    with t.machine("remove", [disk]) as m:
        m.wait_handover(BOOT_TIMEOUT)
        m.sendkey("f10")
        m.wait_screen(REMOVED, BOOT_TIMEOUT)
        t.screen_text(m.screen(), REMOVED)
        # The manager now waits for a key. A reset at this moment must still
        # find a disk that starts: either still fully installed, or already
        # the saved MBR with the live table.
        now = read_image(disk)
        still_installed = now[:5 * S] == live[:5 * S]
        restored = (now[:md.TABLE_BLOCK] == original[:md.TABLE_BLOCK] and
                    now[md.TABLE_BLOCK:S] == live[md.TABLE_BLOCK:S])
        t.check(still_installed or restored,
                "while waiting after F10 the disk holds neither the installed manager nor "
                "the restored MBR (a restart now would not start): LBA 0 marker "
                f"{bytes(now[32:38])!r}, LBA 1..4 zero: {not any(now[S:5 * S])}")
        m.sendkey("ret")
        t.started(m.wait_boot_line(BOOT_TIMEOUT), disk, 0x80, 4,
                    "started after F10, Enter")
    removed = zero_lba_1_to_4(with_table(original, [(0, 0x06), (0, 0x0B), (0, 0x07),
                                                    (0x80, 0x83)]))
    t.disk_is(disk, removed, "disk after F10, Enter")

    # The next start goes through syslinux's MBR straight to the active partition.
    with t.machine("after", [disk]) as m:
        m.wait_handover(BOOT_TIMEOUT)
        t.started(m.wait_boot_line(BOOT_TIMEOUT), disk, 0x80, 4,
                    "start after the removal")
        took = m.cpu_seconds() - m.handover_cpu  # the manager's pause costs far more
        t.check(REMOVED not in m.screen().text() and took < 4,
                f"the start after the removal still looks like the manager ({took:.1f} s "
                "of QEMU CPU time)")
    t.disk_is(disk, removed, "disk after the start that followed the removal")


def test_cleared_stage2(t):
    """LBA 3 cleared: the read-error message, no boot sector runs, LBA 0-4 stay."""
    disk = t.make_disk("disk.img", parts("06", "0B", "07:a", "83"), SIG1)
    t.install(disk, F1)  # F1 would change the table if the rest of stage 2 ran
    md.write_sectors(disk, 3, bytes(S))
    damaged = read_image(disk)
    with t.machine("boot", [disk]) as m:
        m.wait_screen("VELTRA: leesfout op de 1e drive. Start de computer opnieuw.", BOOT_TIMEOUT)
        time.sleep(1)  # time enough for anything that would still run after the message
        t.check(m.running() and "BOOT" not in m.debug_output(), "a boot sector ran")
    t.disk_is(disk, damaged, "disk after the start with LBA 3 cleared")


CASES = [
    ("baseline", test_baseline, False),
    ("menu", test_menu, True),
    ("alt_f3_then_no_key", test_alt_f3_then_no_key, True),
    ("f10_removal", test_f10_removal, True),
    ("default_f1", test_default_f1, True),
    ("key_f2", test_key_f2, True),
    ("other_disk_f5", test_other_disk_f5, True),
    ("cleared_stage2", test_cleared_stage2, True),
    ("strict_mbr", test_strict_mbr, True),
    ("pause_clock", test_pause_clock, True),
]


# ---------------------------------------------------------------- runner


class Context:
    pass


def run_case(ctx, name, fn, needs_manager):
    t = Case(name, ctx)
    start = time.monotonic()
    try:
        if needs_manager and ctx.manager is None:
            t.failures.append(ctx.manager_problem)
        else:
            fn(t)
    except (HarnessError, md.DiskError, OSError) as e:
        t.failures.append(f"{type(e).__name__}: {e}")
    except Exception:
        t.failures.append(traceback.format_exc())
    t.seconds = time.monotonic() - start
    with ctx.lock:
        status = "PASS" if not t.failures else "FAIL"
        print(f"{status} {name} ({t.seconds:.1f} s) - {fn.__doc__.strip()}", flush=True)
        for n in t.notes:
            print(f"    note: {n}")
        for f in t.failures:
            print(f"    - {f}")
        sys.stdout.flush()
    return t


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--veltra", default=os.path.join(REPO, "build", "boottime", "veltra.bin"),
                    help="the boot manager's four images (2048 bytes)")
    ap.add_argument("--work-dir", help="where the disk images go (default: a temporary "
                    "directory)")
    ap.add_argument("--mbr", default=md.DEFAULT_MBR, help="syslinux's mbr.bin")
    ap.add_argument("--qemu", default="qemu-system-i386")
    ap.add_argument("--only", help="comma-separated case names")
    ap.add_argument("--jobs", type=int, default=2, help="boots at the same time (default 2)")
    ap.add_argument("--keep", action="store_true", help="keep the images of passed cases")
    args = ap.parse_args(argv)

    ctx = Context()
    ctx.qemu = find_qemu(args.qemu)
    if ctx.qemu is None:
        print(f"SKIP: {args.qemu} not found; the firmware boots need QEMU")
        return SKIP
    ctx.lock = threading.Lock()
    ctx.log = lambda msg: None
    ctx.pauses = []
    ctx.key_starts = []
    try:
        with open(args.mbr, "rb") as f:
            ctx.mbr_code = f.read()
        ctx.record = md.assemble_record()
        ctx.strict_mbr = md.assemble(os.path.join(HERE, "strict_mbr.asm"))
    except (OSError, md.DiskError) as e:
        print(f"FAIL setup: {e}")
        return 1
    ctx.manager, ctx.manager_problem = None, None
    try:
        with open(args.veltra, "rb") as f:
            ctx.manager = f.read()
        if len(ctx.manager) != md.BOOT_MANAGER_SIZE:
            ctx.manager_problem = (f"{args.veltra} is {len(ctx.manager)} bytes, not "
                                   f"{md.BOOT_MANAGER_SIZE}")
            ctx.manager = None
    except OSError as e:
        ctx.manager_problem = f"boot manager image not readable: {e}"

    own_workdir = args.work_dir is None
    ctx.workdir = args.work_dir or tempfile.mkdtemp(prefix="veltra-e2e-")
    os.makedirs(ctx.workdir, exist_ok=True)
    ctx.sockdir = tempfile.mkdtemp(prefix="veltra-mon-")  # short paths for the sockets

    cases = CASES
    if args.only:
        wanted = set(args.only.split(","))
        unknown = wanted - {c[0] for c in CASES}
        if unknown:
            print(f"unknown case(s): {', '.join(sorted(unknown))}")
            return 2
        cases = [c for c in CASES if c[0] in wanted]

    start = time.monotonic()
    with ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        results = list(pool.map(lambda c: run_case(ctx, *c), cases))
    shutil.rmtree(ctx.sockdir, ignore_errors=True)

    failed = [r for r in results if r.failures]
    for r in results:
        if not r.failures and not args.keep:
            shutil.rmtree(r.dir, ignore_errors=True)
            for entry in os.listdir(ctx.workdir):
                if entry.startswith(r.name + "-"):
                    shutil.rmtree(os.path.join(ctx.workdir, entry), ignore_errors=True)
    if own_workdir and not failed and not args.keep:
        shutil.rmtree(ctx.workdir, ignore_errors=True)
    total = time.monotonic() - start
    pause = ""
    if ctx.pauses:
        wall, cpu = ctx.pauses[0]
        pause = f"; start-up pause {wall:.1f} s wall, {cpu:.1f} s QEMU CPU"
    if ctx.key_starts:
        wall, cpu = ctx.key_starts[0]
        pause += f"; with F2 at the hand-over {wall:.1f} s wall, {cpu:.1f} s QEMU CPU"
    print(f"{len(results) - len(failed)} of {len(results)} cases passed in {total:.0f} s"
          f"{pause}")
    if failed:
        print(f"FAILED: {', '.join(r.name for r in failed)} (images and logs in "
              f"{ctx.workdir})")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
