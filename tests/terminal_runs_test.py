#!/usr/bin/env python3
"""The program in a terminal, as people run it: on a pseudo-terminal, on
image files made by tools/make_disk.py (never a real disk).

  terminal_runs_test.py VELTRA MAKE_DISK editor-frames [--seed N] [--steps N]
      The partition editor of drive 1 driven by random keys at random short
      intervals while another process keeps a processor busy; after each step
      the page, once the output has been still, must come to show what the
      disk holds (columns 3 and 4 of the four partition rows). A page that
      still differs after StaleAfter seconds is a stale page: the test fails.
  terminal_runs_test.py VELTRA MAKE_DISK no-window-library
      Runs without a window (the options, a command word on a pipe and on a
      terminal with a display named, the terminal menu, --restore) map no
      window library (LD_DEBUG=files); prints how many shared objects a
      command word maps.
"""
import codecs
import fcntl
import glob
import os
import pty
import random
import re
import struct
import subprocess
import sys
import tempfile
import termios
import threading
import time

ROWS, COLUMNS = 28, 80
STALE_AFTER = 3.0  # seconds a page may lag behind the disk
QUIET = 0.02  # output still this long: the step has settled
UP, DOWN = "\x1b[A", "\x1b[B"


class Page:
    """The terminal's 28 rows, from the cursor positions, text and screen
    clears the program writes; colours are skipped."""

    def __init__(self):
        self.rows = [[" "] * COLUMNS for _ in range(ROWS)]
        self.row = self.column = 0
        self.decoder = codecs.getincrementaldecoder("utf-8")("replace")
        self.pending = ""
        self.last_output = time.monotonic()
        self.lock = threading.Lock()

    def feed(self, data):
        with self.lock:
            self.last_output = time.monotonic()
            text = self.pending + self.decoder.decode(data)
            cut = text.rfind("\x1b")  # a sequence still on its way waits
            if cut >= 0 and not re.match(r"\x1b(\[[0-9;?]*[A-Za-z]|[^\[])", text[cut:]):
                text, self.pending = text[:cut], text[cut:]
            else:
                self.pending = ""
            for match in re.finditer(r"\x1b\[([0-9;?]*)([A-Za-z])|\x1b.|[^\x1b]", text):
                params, final = match.group(1), match.group(2)
                if final == "H":
                    numbers = [int(n or 1) for n in params.split(";")] + [1, 1]
                    self.row, self.column = numbers[0] - 1, numbers[1] - 1
                elif final == "J":
                    self.rows = [[" "] * COLUMNS for _ in range(ROWS)]
                elif final is None and len(match.group(0)) == 1 and match.group(0) >= " ":
                    if 0 <= self.row < ROWS and 0 <= self.column < COLUMNS:
                        self.rows[self.row][self.column] = match.group(0)
                    self.column += 1

    def text(self, row):
        with self.lock:
            return "".join(self.rows[row - 1])


def start(veltra, args, env, page):
    """veltra on a new 80x28 pseudo-terminal; a thread feeds its output to `page`."""
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", ROWS, COLUMNS, 0, 0))
    process = subprocess.Popen([veltra] + args, stdin=slave, stdout=slave, stderr=slave,
                               env=env, start_new_session=True)
    os.close(slave)

    def pump():
        while True:
            try:
                data = os.read(master, 4096)
            except OSError:
                return
            if not data:
                return
            page.feed(data)

    threading.Thread(target=pump, daemon=True).start()
    return process, master


def wait_for(condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.002)
    return condition()


def disk_marks(image):
    """Columns 3 and 4 of the partition rows as the disk's LBA 0 gives them."""
    with open(image, "rb") as f:
        sector = f.read(512)
    marks = []
    for entry in range(4):
        flag, kind = sector[446 + 16 * entry], sector[450 + 16 * entry]
        marks.append(("a" if flag == 0x80 else " ") + ("-" if kind & 0x10 else "+"))
    return marks


def page_marks(page):
    return [page.text(row)[2:4] for row in (10, 12, 14, 16)]


def terminal_env(work, **extra):
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "NO_COLOR", "VELTRA_DRIVES")}
    env.update(TERM="xterm-256color", COLORTERM="truecolor", XDG_STATE_HOME=work)
    env.update(extra)
    return env


def editor_frames(veltra, images, work, seed, steps):
    rng = random.Random(seed)
    page = Page()
    busy = subprocess.Popen(["sh", "-c", "while :; do :; done"])
    process, master = start(veltra, ["--no-backup", "-d", images[0], "-d", images[1]],
                            terminal_env(work), page)
    stale = keys = 0
    try:
        assert wait_for(lambda: "Drive:" in page.text(6), 10), "no menu:\n" + page.text(6)
        os.write(master, b"1")
        assert wait_for(lambda: page.text(6)[8:10] == " 1", 10), "no editor: " + page.text(6)
        for step in range(steps):
            for _ in range(rng.randint(1, 3)):
                os.write(master, rng.choice(["+", "-", "a", UP, DOWN, "+", "-"]).encode())
                keys += 1
                time.sleep(rng.uniform(0, 0.015))
            wait_for(lambda: time.monotonic() - page.last_output > QUIET, STALE_AFTER)
            if not wait_for(lambda: page_marks(page) == disk_marks(images[1]), STALE_AFTER):
                stale += 1
                print(f"step {step}: page {page_marks(page)}, disk {disk_marks(images[1])}")
        os.write(master, b"\x1b")
        code = process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        code = "none: it did not end"
    finally:
        busy.kill()
        if process.poll() is None:
            process.kill()
    print(f"seed {seed}: {steps} steps, {keys} keys, {stale} stale pages, exit {code}")
    return stale == 0 and code == 0


def no_window_library(veltra, images, work):
    trace = os.path.join(work, "ld")
    runs = [("--version", ["--version"], False), ("--help", ["--help"], False),
            ("--status", ["-d", images[0], "--status"], False),
            ("a word on a pipe", ["-d", images[0], "hide"], False),
            ("--list-backups", ["-d", images[0], "--list-backups"], False),
            ("a word on a terminal, a display named", ["-d", images[0], "rest"], True),
            ("the terminal menu", ["-d", images[0]], True)]
    backups = glob.glob(os.path.join(work, "veltra", "*"))
    ok = True
    for name, args, on_terminal in runs + [("--restore", None, False)]:
        if args is None:
            backups = sorted(glob.glob(os.path.join(work, "veltra", "*")))
            args = ["-d", images[0], "--restore", backups[0]] if backups else ["--version"]
        for old in glob.glob(trace + ".*"):
            os.remove(old)
        env = terminal_env(work, LD_DEBUG="files", LD_DEBUG_OUTPUT=trace)
        if on_terminal:
            if "display" in name:
                env["DISPLAY"] = ":999"  # a command word opens no window even so
            page = Page()
            process, master = start(veltra, args, env, page)
            time.sleep(0.3)
            os.write(master, b"\x1b")
            process.wait(timeout=10)
        else:
            subprocess.run([veltra] + args, env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10)
        mapped = set()
        for path in glob.glob(trace + ".*"):
            with open(path, errors="replace") as f:
                mapped |= set(re.findall(r"file=(\S+)", f.read()))
        window = sorted(lib for lib in mapped if re.search(r"SDL|X11|wayland", lib))
        print(f"{name}: {len(mapped)} shared objects{', WINDOW: ' + str(window) if window else ''}")
        ok = ok and not window and mapped != set()
    return ok


def main():
    veltra, make_disk, what = sys.argv[1:4]
    options = dict(zip(sys.argv[4::2], map(int, sys.argv[5::2])))
    with tempfile.TemporaryDirectory() as work:
        images = [os.path.join(work, f"disk{n}.img") for n in range(2)]
        for image in images:
            subprocess.run([sys.executable, make_disk, "--size", "4M", image], check=True,
                           stdout=subprocess.DEVNULL)
        if what == "editor-frames":
            seed = options.get("--seed", 1)
            ok = editor_frames(veltra, images, work, seed, options.get("--steps", 120))
        else:
            ok = no_window_library(veltra, images, work)
    print("passed" if ok else "FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
