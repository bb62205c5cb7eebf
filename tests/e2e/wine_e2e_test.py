#!/usr/bin/env python3
"""The Windows program end to end: veltra.exe under wine on disk images.

Wine opens \\\\.\\PhysicalDriveN through the link physicaldriveN in its
prefix's dosdevices folder. The test links drives 0 and 1 to image files in
its own folder, checks before every run that each such link ends at a regular
file there, and runs wine as a user who can open no block device (as root:
nobody). Its window is read back from screenshots with the program's own font.

  drives  the links; no block device open to the user; --status reads the images
  cli     --help, --version, --status to a file, into the console of cmd and
          in the window; an unknown word: 2 and nothing written
  words   1V (the bytes make_disk.py installs, a backup in %LOCALAPPDATA%\\VELTRA,
          QEMU starts partition 1 by the default key), IN again: 1, RM, HIDE, REST
  menu    Down, Enter (1Z), a key, 1, -, a, Escape: drive 0 installed with
          Alt-F1, entry 1 of drive 1 hidden and active; the CPU share while idle
  bad     drive 0 opens but reads nothing, a read-only image, no drive 1 for
          the key 1, the window closed during an install
  dpi     the menu's window has a fixed size: 640x448 at 96 DPI, 1280x896 at
          192 DPI showing the 96 DPI picture doubled; the close is ignored there,
          Escape ends it

Usage: wine_e2e_test.py [--exe build-win/veltra.exe] [--boot-bin .../veltra.bin]
                        [--out DIR]   (screenshots and logs; default: a new folder)
Exit code 0 passed, 1 a failure.
"""

import argparse
import collections
import os
import re
import shlex
import shutil
import stat
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

S = md.SECTOR
SIG0, SIG1 = 0x5EC0DE01, 0x5EC0DE02
F1, ALT_F1 = 0x3B, 0x68
NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
AFTER_F1 = [(0x80, 0x06), (0, 0x1B), (0, 0x17), (0, 0x93)]
HIDDEN = [(0x80, 0x16), (0, 0x1B), (0, 0x17), (0, 0x93)]
SHOWN = [(0x80, 0x06), (0, 0x0B), (0, 0x07), (0, 0x83)]
PROMPT = "Druk op een willekeurige toets."


class Unsafe(Exception):
    pass


def load_font():
    """Glyph bitmap (16 bytes) -> character, from display/font_cp437.cpp."""
    with open(os.path.join(REPO, "display", "font_cp437.cpp")) as f:
        src = f.read()
    glyphs = {}
    for m in re.finditer(r"\{((?:0x[0-9A-F]{2}, ){15}0x[0-9A-F]{2})\}, // ([0-9A-F]{2})h", src):
        bits = bytes(int(b, 16) for b in m.group(1).split(", "))
        glyphs.setdefault(bits, bytes([int(m.group(2), 16)]).decode("cp437"))
    glyphs[bytes(16)] = " "
    return glyphs


GLYPHS = load_font()


def read_screen(png, scale=1):
    """The 28 text rows shown in a window screenshot."""
    raw = subprocess.run(["convert", png, "-sample", f"{100 / scale}%", "-depth", "8", "rgb:-"],
                         capture_output=True).stdout
    if len(raw) != 640 * 448 * 3:
        return []
    rows = []
    for r in range(28):
        line = ""
        for c in range(80):
            at = [((r * 16 + y) * 640 + c * 8) * 3 for y in range(16)]
            px = [raw[o:o + 24] for o in at]
            cells = [p[i:i + 3] for p in px for i in range(0, 24, 3)]
            count = collections.Counter(cells).most_common()
            inks = [b"\xff\xff\xff"] if len(count) > 2 else [k for k, _ in reversed(count)]
            ch = " " if len(count) == 1 else "?"
            for ink in inks if len(count) > 1 else []:
                bits = bytes(sum(0x80 >> x for x in range(8) if px[y][x * 3:x * 3 + 3] == ink)
                             for y in range(16))
                if bits in GLYPHS:
                    ch = GLYPHS[bits]
                    break
            line += ch
        rows.append(line.rstrip())
    return rows


class Run:
    """Wine, its prefix, the virtual display and the findings."""

    def __init__(self, exe, out):
        self.out = out
        self.failures = []
        self.work = tempfile.mkdtemp(prefix="veltra-wine-")
        os.chmod(self.work, 0o755)
        self.home = os.path.join(self.work, "home")
        os.makedirs(self.home)
        shutil.copy(exe, os.path.join(self.home, "veltra.exe"))
        self.prefix = os.path.join(self.home, "prefix")
        self.dosdevices = os.path.join(self.prefix, "dosdevices")
        self.backups = os.path.join(self.prefix, "drive_c", "users", "tester", "AppData",
                                    "Local", "VELTRA")
        self.root = os.getuid() == 0
        self.as_tester = NOBODY if self.root else []
        self.display = next(f":{n}" for n in range(91, 140)
                            if not os.path.exists(f"/tmp/.X11-unix/X{n}")
                            and not os.path.exists(f"/tmp/.X{n}-lock"))
        self.procs = []
        self.shot = 0

    def check(self, cond, msg):
        if not cond:
            self.failures.append(msg)
            print(f"    FAIL {msg}")
        return cond

    def equal(self, got, want, what):
        return self.check(got == want, f"{what}: expected {want!r}, got {got!r}")

    def disk_is(self, path, expected, what):
        diff = qb.describe_diff(qb.read_image(path), expected)
        self.check(not diff, f"{what}: " + "; ".join(diff))

    def give(self, path):
        if self.root:
            os.chown(path, 65534, 65534)

    # The program's language: LANGUAGE=nl for the checks of its Dutch words;
    # None leaves the choice to the user's interface language (wine's: English).
    language = "nl"

    def env(self, *args):
        chosen = [f"LANGUAGE={self.language}"] if self.language else []
        return self.as_tester + [
            "env", "-i", f"HOME={self.home}", "USER=tester", f"DISPLAY={self.display}",
            "PATH=/usr/bin:/bin", f"WINEPREFIX={self.prefix}", "WINEARCH=win64",
            "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml="] + chosen + list(args)

    def start(self):
        self.procs.append(subprocess.Popen(
            ["Xvfb", self.display, "-screen", "0", "1920x1200x24", "-nolisten", "tcp", "-ac"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        for _ in range(50):
            if os.path.exists(f"/tmp/.X11-unix/X{self.display[1:]}"):
                break
            time.sleep(0.1)
        os.environ["DISPLAY"] = self.display
        self.give(self.home)
        for name in os.listdir(self.home):
            self.give(os.path.join(self.home, name))
        # One server for all runs: each start of the program then takes a second.
        self.procs.append(subprocess.Popen(self.env("wineserver", "-p", "-f"),
                                           stderr=subprocess.DEVNULL))
        with open(os.path.join(self.out, "wineboot.log"), "wb") as log:
            subprocess.run(self.env("wineboot", "--init"), stdout=log, stderr=log, timeout=180)

    def stop(self):
        subprocess.run(self.env("wineserver", "-k"), stderr=subprocess.DEVNULL)
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
        shutil.rmtree(self.work, ignore_errors=True)

    # ---------------------------------------------------------------- the disks

    def link(self, drive, image):
        path = os.path.join(self.dosdevices, f"physicaldrive{drive}")
        if os.path.lexists(path):
            os.unlink(path)
        if image:
            os.symlink(image, path)

    def check_links(self):
        """Every physicaldriveN ends at a regular file of this test: never a disk."""
        for name in os.listdir(self.dosdevices):
            if re.fullmatch(r"physicaldrive\d+", name, re.I):
                target = os.path.realpath(os.path.join(self.dosdevices, name))
                if not target.startswith(self.work + os.sep) or \
                        not stat.S_ISREG(os.stat(target).st_mode):
                    raise Unsafe(f"{name} leads to {target}, not an image of the test")

    def open_block_devices(self):
        """Block devices the tester may read or write: must be none."""
        probe = ('for d in /dev/* /dev/*/*; do [ -b "$d" ] && { [ -r "$d" ] || [ -w "$d" ]; } '
                 '&& echo "$d"; done; true')
        return subprocess.run(self.as_tester + ["sh", "-c", probe], capture_output=True,
                              text=True).stdout.split()

    # ---------------------------------------------------------------- the program

    def exe(self, *args):
        self.check_links()
        return self.env("wine", os.path.join(self.home, "veltra.exe"), *args)

    def run(self, *args, timeout=60):
        """A run without a window: its output goes to a file."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run(self.exe(*args), stdout=out, stderr=err, timeout=timeout,
                                  stdin=subprocess.DEVNULL).returncode
            out.seek(0)
            err.seek(0)
            return code, out.read().decode(errors="replace"), err.read().decode(errors="replace")

    @staticmethod
    def windows():
        """The visible windows named veltra. A search can fail while wine tears a
        window down under it (BadWindow): that counts as none found this time."""
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^veltra$"],
                               capture_output=True, text=True)
        return found.stdout.split()

    def open_window(self, *args):
        """Starts the program (standard output no file: text goes to the window)
        and returns it with its window: one that was not there before it started."""
        before = set(self.windows())
        log_path = os.path.join(self.out, "wine.log")
        log = open(log_path, "ab")
        proc = subprocess.Popen(self.exe(*args), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=log)
        log.close()
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            new = [w for w in self.windows() if w not in before]
            if new:
                return proc, new[0]
            if proc.poll() is not None:
                break
            time.sleep(0.2)
        code = proc.poll()
        proc.kill()
        with open(log_path, "rb") as f:
            tail = f.read()[-600:].decode(errors="replace")
        raise HarnessError(f"no window for veltra.exe {' '.join(args)} "
                           f"({'ended with ' + str(code) if code is not None else 'still running'}"
                           f"; wine.log ends: {tail!r})")

    def grab(self, window, name, scale=1, want=None, timeout=20, settle=0.0):
        """Screenshot of the window (name.png); its text once `want` shows in it
        (and, with `settle`, once more that long after: the drawing has ended)."""
        path = self.last = os.path.join(self.out, f"{self.shot:02d}-{name}.png")
        self.shot += 1
        deadline = time.monotonic() + timeout
        rows = []
        while time.monotonic() < deadline:
            if subprocess.run(["import", "-window", window, path],
                              stderr=subprocess.DEVNULL).returncode == 0:
                rows = read_screen(path, scale)
                if want is None or any(want in row for row in rows):
                    if not settle:
                        return rows
                    time.sleep(settle)
                    settle = 0
                    continue
            time.sleep(0.3)
        self.check(False, f"{name}: {want!r} not shown in {path}:\n      " +
                   "\n      ".join(rows))
        return rows

    def keys(self, window, *keys):
        # Without a window manager the window takes the keyboard after a click.
        subprocess.run(["xdotool", "mousemove", "--window", window, "320", "300", "click", "1"])
        time.sleep(0.3)
        subprocess.run(["xdotool", "key", "--delay", "150", *keys])

    def ended(self, proc, what, code):
        try:
            self.equal(proc.wait(20), code, f"exit code of {what}")
        except subprocess.TimeoutExpired:
            proc.kill()
            self.check(False, f"{what} did not end")

    def window_run(self, what, args, want, code, keys=("space",)):
        """A command word in the window: its result, a key, the exit code."""
        proc, window = self.open_window(*args)
        self.grab(window, what, want=want)
        self.keys(window, *keys)
        self.ended(proc, what, code)

    def backup_files(self):
        return set(os.listdir(self.backups)) if os.path.isdir(self.backups) else set()


def group(name):
    print(f"== {name}", flush=True)


def test_drives(w, t, disk0, disk1):
    group("drives: links, no block device, --status reads the images")
    w.link(0, disk0)
    w.link(1, disk1)
    w.check_links()
    w.equal(w.open_block_devices(), [], "block devices open to the tester")
    code, out, _ = w.run("--status")
    w.equal(code, 0, "exit code of --status")
    # What the program read from each drive is that image's LBA 0: its size and table.
    for drive, image in ((0, disk0), (1, disk1)):
        lba0 = qb.read_image(image)[:S]
        mib = os.path.getsize(image) >> 20
        signature = int.from_bytes(lba0[440:444], "little")
        lines = [re.escape(f"Drive {drive}: \\\\.\\PhysicalDrive{drive} ({mib} MiB, sectoren van 512 "
                           f"bytes, handtekening {signature:08x})")]
        for e in range(4):
            entry = lba0[md.TABLE_AT + 16 * e:][:16]
            start, size = (int.from_bytes(entry[i:i + 4], "little") for i in (8, 12))
            lines.append(f"{e + 1}: {entry[4]:02X}h .*start +{start} +{size} sectoren")
        for line in lines:
            w.check(re.search(line, out), f"--status lacks {line!r}: {out!r}")


def test_cli(w, disk0, disk1, version):
    group("cli: --help, --version, --status, unknown word; file, console, window")
    before = (qb.read_image(disk0), qb.read_image(disk1))
    code, out, _ = w.run("--help")
    w.check(code == 0 and out.startswith("Gebruik: veltra"), f"--help: {code} {out[:60]!r}")
    # No locale variable: the interface language of the (wine) user, English.
    w.language = None
    code, out, _ = w.run("--help")
    w.check(code == 0 and out.startswith("Usage: veltra"), f"--help in English: {out[:60]!r}")
    code, out, _ = w.run("--lang=nl", "--help")
    w.check(code == 0 and out.startswith("Gebruik: veltra"), f"--lang=nl: {out[:60]!r}")
    w.language = "nl"
    code, out, _ = w.run("--version")
    w.check(code == 0 and re.fullmatch(rf"veltra {re.escape(version)} \(\w+\)\n", out),
            f"--version: {code} {out!r}")
    code, out, err = w.run("hide", "bogus")
    w.check(code == 2 and out == "" and "Onbekend woord" in err, f"unknown word: {code} {err!r}")
    w.disk_is(disk0, before[0], "drive 0 after the unknown word")
    w.disk_is(disk1, before[1], "drive 1 after the unknown word")
    # Started from cmd in a terminal: the text goes into the console of cmd.
    w.check_links()
    inner = shlex.join(w.exe()[:-1] + ["cmd", "/c", "z:" + w.home.replace("/", "\\") +
                                       "\\veltra.exe", "--version"])
    shown = subprocess.run(["script", "-qec", inner, "/dev/null"], capture_output=True,
                           stdin=subprocess.DEVNULL, timeout=60)
    text = shown.stdout.decode(errors="replace")
    w.check(re.search(rf"veltra {re.escape(version)} \(\w+\)", text),
            f"--version in the console of cmd: {text!r}")
    # Without file or console the text is in the window, a page at a time.
    proc, window = w.open_window("--help")
    rows = w.grab(window, "help-page1", want="Druk op een toets voor meer")
    w.check(rows and rows[0].startswith("Gebruik: veltra"), f"help page 1: {rows[:1]}")
    # Page after page until the closing prompt.
    for page in range(2, 6):
        w.keys(window, "space")
        rows = w.grab(window, f"help-page{page}", want="Druk op een", settle=0.5)
        if any(PROMPT in row for row in rows):
            break
    w.check(any(PROMPT in row for row in rows), "--help in the window ends with the prompt")
    w.keys(window, "space")
    w.ended(proc, "--help in the window", 0)


def test_words(w, t, disk0, disk1):
    group("words: 1V, a backup, IN again, a boot in QEMU, RM, HIDE, REST")
    original, other = qb.read_image(disk0), qb.read_image(disk1)
    before = w.backup_files()
    w.window_run("1v", ["1V"], "VELTRA 9.06 is geinstalleerd", 0)
    with open(t.path("reference.img"), "wb") as f:
        f.write(original)
    md.install(t.path("reference.img"), t.ctx.manager, F1)
    installed = qb.read_image(t.path("reference.img"))
    w.disk_is(disk0, installed, "drive 0 after 1V")
    w.disk_is(disk1, other, "drive 1 after 1V")
    new = sorted(w.backup_files() - before)
    if w.check(len(new) == 1, f"backups made by 1V: {new}"):
        with open(os.path.join(w.backups, new[0]), "rb") as f:
            saved = f.read()
        # A 96-byte header (magic, the disk's identity, time, CRC-32), then LBA 0-4.
        w.check(saved[:16] == b"VELTRA-BACKUP-2\n" and saved[96:] == original[:5 * S],
                f"{new[0]} does not hold LBA 0-4 as they were")
    w.window_run("in-again", ["IN"], "VELTRA is al geïnstalleerd", 1)
    w.disk_is(disk0, installed, "drive 0 after IN on an installed disk")
    if t.ctx.qemu:
        with t.machine("default", [disk0]) as m:
            m.wait_handover(60)
            t.started(m.wait_boot_line(60), disk0, 0x80, 1, "started by the default key")
            t.screen_text(m.screen(), "F1: partitie 1 is aktief", col=0)
        w.failures += t.failures
        w.disk_is(disk0, qb.with_table(installed, AFTER_F1), "drive 0 after the start")
    else:
        w.check(False, "no qemu-system-i386 for the boot")
    w.window_run("rm", ["RM"], "VELTRA is verwijderd", 0)
    w.disk_is(disk0, qb.zero_lba_1_to_4(qb.with_table(original, AFTER_F1)), "drive 0 after RM")
    w.window_run("hide", ["HIDE"], "nu verborgen", 0)
    w.disk_is(disk0, qb.zero_lba_1_to_4(qb.with_table(original, HIDDEN)), "drive 0 after HIDE")
    w.window_run("rest", ["REST"], "nu zichtbaar", 0)
    w.disk_is(disk0, qb.zero_lba_1_to_4(qb.with_table(original, SHOWN)), "drive 0 after REST")
    w.disk_is(disk1, other, "drive 1 after the words")


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def test_menu(w, t, disk0, disk1):
    group("menu: Down, Enter (1Z), a key, 1, -, a, Escape; idle CPU share")
    start0, start1 = qb.read_image(disk0), qb.read_image(disk1)
    proc, window = w.open_window()
    w.grab(window, "menu", want="Niet ge\u00efnstalleerd")
    ticks = cpu_ticks(proc.pid)
    time.sleep(5)
    share = 100 * (cpu_ticks(proc.pid) - ticks) / os.sysconf("SC_CLK_TCK") / 5
    print(f"    the waiting menu took {share:.1f}% of a core")
    w.check(share < 10, f"the waiting menu takes {share:.1f}% of a core")
    w.keys(window, "Down", "Return")
    w.grab(window, "menu-installed", want="is geinstalleerd")
    w.keys(window, "space", "1", "minus", "a")
    rows = w.grab(window, "editor-drive1", want="Drive: 1", settle=0.5)
    w.check("  a- 1e primaire partitie" in rows, "the editor does not show entry 1 active, hidden")
    w.keys(window, "Escape")
    w.ended(proc, "the menu", 0)
    with open(t.path("menu.img"), "wb") as f:
        f.write(start0)
    md.install(t.path("menu.img"), t.ctx.manager, ALT_F1)
    w.disk_is(disk0, qb.read_image(t.path("menu.img")), "drive 0 after the menu's 1Z")
    w.disk_is(disk1, qb.with_table(start1, [(0x80, 0x16), (0, 0x83)]), "drive 1 after - and a")


def test_bad_input(w, t, disk0, disk1):
    group("bad input: unreadable drive, read-only image, no drive 1, close during an install")
    empty = t.path("empty.img")
    open(empty, "wb").close()
    w.give(empty)
    w.link(0, empty)
    w.window_run("unreadable", ["1V"], "Drive 0 is niet te lezen (fout 38)", 3)
    code, out, _ = w.run("--status")
    w.check(code == 3 and "is niet te lezen" in out, f"--status of it: {code} {out!r}")
    w.equal(os.path.getsize(empty), 0, "size of the unreadable drive")

    readonly = t.path("readonly.img")
    shutil.copy(disk0, readonly)
    os.chmod(readonly, 0o644 if w.root else 0o444)  # root's file: nobody only reads it
    before = qb.read_image(readonly)
    w.link(0, readonly)
    w.window_run("read-only", ["1V"], "Niet voldoende rechten", 3)
    w.disk_is(readonly, before, "the read-only image")

    w.link(0, disk0)
    w.link(1, None)
    start0 = qb.read_image(disk0)
    proc, window = w.open_window()
    w.grab(window, "no-drive1-before", want="Drive: 0")
    w.keys(window, "1", "minus", "a")
    w.grab(window, "no-drive1-after", want="Drive: 0")
    w.keys(window, "Escape")
    w.ended(proc, "the menu without drive 1", 0)
    w.disk_is(disk0, start0, "drive 0 after the keys for a missing drive 1")

    # The close (Alt-F4, as the close button) arrives while 1V runs: the install
    # finishes whole, the close answers the closing prompt.
    fresh = t.make_disk("close.img", qb.parts("06", "0B", "07:a", "83"), SIG0)
    w.give(fresh)
    w.link(0, fresh)
    w.link(1, disk1)
    shutil.copy(fresh, t.path("closed.img"))
    md.install(t.path("closed.img"), t.ctx.manager, F1)
    proc, window = w.open_window("1V")
    w.keys(window, "alt+F4")
    w.ended(proc, "1V closed at once", 0)
    w.disk_is(fresh, qb.read_image(t.path("closed.img")), "drive 0 after 1V closed at once")


def fixed_size(w, window, size, what):
    """The window's size, and no other: wine gives X equal minimum and maximum."""
    geometry = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
    w.equal(re.findall(r"(?:Width|Height): (\d+)", geometry), size, f"window size {what}")
    hints = subprocess.run(["xprop", "-id", window, "WM_NORMAL_HINTS"], capture_output=True,
                           text=True).stdout
    w.equal(re.findall(r"(?:minimum|maximum) size: (\d+) by (\d+)", hints), [tuple(size)] * 2,
            f"smallest and largest size {what}")


def test_dpi(w):
    group("dpi: 96 DPI 640x448, 192 DPI 1280x896 with every pixel doubled; keys and close")
    proc, window = w.open_window()
    fixed_size(w, window, ["640", "448"], "at 96 DPI")
    small = w.grab(window, "menu-96dpi", want="Drive: 0", settle=0.5)
    small_png = w.last
    w.keys(window, "Escape")
    w.ended(proc, "the menu at 96 DPI", 0)
    subprocess.run(w.env("wine", "reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels",
                         "/t", "REG_DWORD", "/d", "192", "/f"), capture_output=True)
    proc, window = w.open_window()
    fixed_size(w, window, ["1280", "896"], "at 192 DPI")
    large = w.grab(window, "menu-192dpi", scale=2, want="Drive: 0", settle=0.5)
    w.equal(large, small, "text at 192 DPI")
    doubled = os.path.join(w.out, "doubled.png")
    subprocess.run(["convert", small_png, "-sample", "200%", doubled])
    differ = subprocess.run(["compare", "-metric", "AE", doubled, w.last, "null:"],
                            capture_output=True, text=True).stderr.strip()
    w.equal(differ, "0", "pixels that differ from the 96 DPI picture doubled")
    os.unlink(doubled)
    # The menu ignores the close (Alt-F4, as the close button); Escape ends it.
    w.keys(window, "alt+F4")
    time.sleep(1)
    w.check(proc.poll() is None, "the menu ended on the close")
    w.keys(window, "Escape")
    w.ended(proc, "the menu at 192 DPI", 0)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--exe", default=os.path.join(REPO, "build-win", "veltra.exe"))
    ap.add_argument("--boot-bin", help="the boot program built with it (default: boottime/"
                    "veltra.bin beside the program)")
    ap.add_argument("--out", help="screenshots and logs")
    args = ap.parse_args(argv)
    started = time.monotonic()
    boot_bin = args.boot_bin or os.path.join(os.path.dirname(args.exe), "boottime", "veltra.bin")
    out = os.path.abspath(args.out or tempfile.mkdtemp(prefix="veltra-wine-e2e-"))
    os.makedirs(out, exist_ok=True)
    for tool in ("wine", "wineserver", "Xvfb", "xdotool", "xwininfo", "xprop", "import", "convert",
                 "compare", "script", "setpriv"):
        if not shutil.which(tool):
            print(f"FAIL setup: {tool} is missing")
            return 1
    if not os.getuid() == 0 and "disk" in subprocess.run(["id", "-nG"], capture_output=True,
                                                           text=True).stdout.split():
        print("FAIL setup: run as a user outside the disk group, or as root (runs as nobody)")
        return 1
    with open(os.path.join(REPO, "CMakeLists.txt")) as f:
        version = re.search(r"project\(veltra VERSION ([\d.]+)", f.read()).group(1)

    ctx = qb.Context()
    ctx.qemu = find_qemu("qemu-system-i386")
    ctx.log = lambda msg: None
    with open(md.DEFAULT_MBR, "rb") as f:
        ctx.mbr_code = f.read()
    ctx.record = md.assemble_record()
    with open(boot_bin, "rb") as f:
        ctx.manager = f.read()
    w = Run(os.path.abspath(args.exe), out)
    ctx.workdir = w.work
    ctx.sockdir = tempfile.mkdtemp(prefix="veltra-mon-")
    try:
        w.start()
        t = qb.Case("images", ctx)
        disk0 = t.make_disk("disk0.img", qb.parts("06", "0B", "07:a", "83"), SIG0)
        disk1 = t.make_disk("disk1.img", qb.parts("06", "83"), SIG1)
        for path in (t.dir, disk0, disk1):
            w.give(path)
        print(f"wine prefix ready after {time.monotonic() - started:.0f} s")
        test_drives(w, t, disk0, disk1)
        if not w.failures:
            test_cli(w, disk0, disk1, version)
            test_words(w, t, disk0, disk1)
            test_menu(w, t, disk0, disk1)
            test_bad_input(w, t, disk0, disk1)
            test_dpi(w)
    except Unsafe as e:
        w.failures.append(f"STOPPED, a drive link is unsafe: {e}")
    except (HarnessError, md.DiskError, OSError, subprocess.TimeoutExpired) as e:
        w.failures.append(f"{type(e).__name__}: {e}")
    finally:
        w.stop()
        shutil.rmtree(ctx.sockdir, ignore_errors=True)
    took = time.monotonic() - started
    if w.failures:
        print(f"FAIL wine end to end in {took:.0f} s ({len(w.failures)} failures; screenshots "
              f"in {out}):")
        for f in w.failures:
            print(f"    - {f}")
        return 1
    print(f"PASS wine end to end in {took:.0f} s (screenshots in {out})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
