"""Running disk images on real firmware: QEMU (qemu-system-i386) with SeaBIOS.

One `Machine` is one QEMU process with up to four IDE disks (image files).
The harness talks to it through
  - the human monitor on a unix socket (sendkey, pmemsave, quit),
  - QEMU's debug console on port E9h, where the test boot records write
    "BOOT disk=.. part=.. lba=.. sig=.." (tests/e2e/report_boot.asm),
  - SeaBIOS's own log on port 402h ("Booting from 0000:7c00" marks the moment
    the first sector of the boot disk starts),
  - the text screen, read from video memory at B8000h,
  - and for pictures QEMU's screendump (saved as an indexed PNG).
"""

import os
import re
import shutil
import socket
import struct
import subprocess
import time
import zlib

QEMU = "qemu-system-i386"
BOOT_LINE = re.compile(
    r"BOOT disk=([0-9A-F]{2}) part=(\d) lba=([0-9A-F]{8}) sig=([0-9A-F]{8})")
BIOS_HANDOVER = "Booting from 0000:7c00"
EXIT_CODE = 33  # report_boot.asm writes 10h to the isa-debug-exit port
CLOCK_TICKS = os.sysconf("SC_CLK_TCK") if hasattr(os, "sysconf") else 100
WALL_FACTOR = 8  # wall-clock cap on a wait, as a multiple of its CPU-time limit


class HarnessError(Exception):
    pass


def _die_with_parent():
    """In the QEMU child: get SIGKILL when the test process goes away (a CTest
    time-out, Ctrl-C), so that no emulator is left running."""
    try:
        import ctypes
        import signal
        libc = ctypes.CDLL(None, use_errno=True)
        libc.prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    except (OSError, AttributeError):
        pass


def find_qemu(path=None):
    return shutil.which(path or QEMU)


class Screen:
    """The 80x25 text screen: characters (code page 437) and attributes."""

    def __init__(self, raw: bytes, cols: int = 80, rows: int = 25):
        self.cols, self.rows = cols, rows
        self.chars = bytes(raw[0::2])
        self.attrs = bytes(raw[1::2])

    def line(self, row: int) -> str:
        return self.chars[row * self.cols:(row + 1) * self.cols].decode("cp437")

    def lines(self):
        """Rows with trailing blanks and NULs removed."""
        return [self.line(r).rstrip(" \0") for r in range(self.rows)]

    def text(self) -> str:
        return "\n".join(self.lines())

    def find(self, s: str):
        """(row, column) of the first occurrence of s, or None."""
        for r, line in enumerate(self.lines()):
            c = line.find(s)
            if c >= 0:
                return r, c
        return None

    def attr_at(self, row: int, col: int) -> int:
        return self.attrs[row * self.cols + col]

    def count(self, s: str) -> int:
        return sum(line.count(s) for line in self.lines())


def read_ppm(data: bytes):
    """(width, height, rows of (r, g, b) tuples) of a binary PPM (P6, maxval 255)."""
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    magic, width, height, maxval = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
    if magic != b"P6" or maxval != 255:
        raise HarnessError(f"screendump: not a P6 picture with maxval 255 ({magic!r}, {maxval})")
    pixels = data[pos + 1:]
    if len(pixels) < 3 * width * height:
        raise HarnessError("screendump: picture cut short")
    rows = [[tuple(pixels[3 * (y * width + x):3 * (y * width + x) + 3]) for x in range(width)]
            for y in range(height)]
    return width, height, rows


def indexed_png(width, height, rows):
    """PNG bytes of rows of (r, g, b) with a palette of at most 256 colours, in
    the fewest bits per pixel (1, 2, 4 or 8) that hold them."""
    palette = sorted({p for row in rows for p in row})
    if len(palette) > 256:
        raise HarnessError(f"screendump: {len(palette)} colours, more than a palette holds")
    index = {p: i for i, p in enumerate(palette)}
    depth = next(d for d in (1, 2, 4, 8) if len(palette) <= 1 << d)
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter: none
        bits, acc = 0, 0
        for p in row:
            acc = (acc << depth) | index[p]
            bits += depth
            if bits == 8:
                raw.append(acc)
                bits, acc = 0, 0
        if bits:
            raw.append(acc << (8 - bits))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, 3, 0, 0, 0)) +
            chunk(b"PLTE", b"".join(bytes(p) for p in palette)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


class Machine:
    """One QEMU run. Use as a context manager; it is killed on leaving."""

    def __init__(self, name, rundir, disks, qemu=None, sockdir=None, log=print):
        self.name = name
        self.dir = os.path.join(rundir, name)
        os.makedirs(self.dir, exist_ok=True)
        # unix socket paths are short-lived and must stay under ~100 bytes
        self.sock_path = os.path.join(sockdir or self.dir, f"{name}.mon")
        self.debug_path = os.path.join(self.dir, "debugcon.txt")
        self.bios_path = os.path.join(self.dir, "seabios.txt")
        self.screen_path = os.path.join(self.dir, "screen.bin")
        self.disks = list(disks)
        self.qemu = find_qemu(qemu)
        self.log = log
        self.proc = None
        self.sock = None
        self.started = None
        self.handover = None  # monotonic time when SeaBIOS jumped to 7C00h
        self.handover_cpu = None  # QEMU's CPU seconds at that moment

    # ------------------------------------------------------------ lifetime

    def command(self):
        cmd = [self.qemu, "-machine", "pc", "-accel", "tcg", "-m", "16",
               "-display", "none", "-no-reboot", "-serial", "none", "-parallel", "none",
               "-nic", "none", "-boot", "c",
               "-debugcon", f"file:{self.debug_path}",
               "-chardev", f"file,id=seabios,path={self.bios_path}",
               "-device", "isa-debugcon,iobase=0x402,chardev=seabios",
               "-device", "isa-debug-exit,iobase=0xf4,iosize=0x04",
               "-monitor", f"unix:{self.sock_path},server=on,wait=off"]
        for i, disk in enumerate(self.disks):
            cmd += ["-drive", f"file={disk},format=raw,if=ide,index={i},cache=writethrough"]
        return cmd

    def start(self):
        for p in (self.debug_path, self.bios_path, self.sock_path):
            if os.path.exists(p):
                os.unlink(p)
        self.stderr = open(os.path.join(self.dir, "qemu.stderr"), "wb")
        self.proc = subprocess.Popen(self.command(), stdin=subprocess.DEVNULL,
                                     stdout=self.stderr, stderr=self.stderr,
                                     preexec_fn=_die_with_parent if os.name == "posix"
                                     else None)
        self.started = time.monotonic()
        deadline = self.started + 15
        while True:
            try:
                s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                s.settimeout(10)
                s.connect(self.sock_path)
                self.sock = s
                break
            except (FileNotFoundError, ConnectionRefusedError):
                s.close()
                if self.proc.poll() is not None:
                    # too quick to talk to: a boot that ends at once is fine
                    return self
                if time.monotonic() > deadline:
                    raise HarnessError(f"{self.name}: QEMU monitor did not come up")
                time.sleep(0.02)
        self._read_prompt()
        return self

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()

    def close(self):
        if self.proc and self.proc.poll() is None:
            try:
                self.monitor("quit", expect_prompt=False)
            except (OSError, HarnessError):
                pass
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        if self.sock:
            self.sock.close()
            self.sock = None
        if self.proc:
            self.stderr.close()
        if os.path.exists(self.sock_path):
            os.unlink(self.sock_path)

    def running(self) -> bool:
        return self.proc is not None and self.proc.poll() is None

    def wait_exit(self, timeout=60):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise HarnessError(f"{self.name}: QEMU still running after {timeout} s") from None

    # ------------------------------------------------------------ monitor

    def _read_prompt(self):
        buf = b""
        while not buf.endswith(b"(qemu) "):
            chunk = self.sock.recv(4096)
            if not chunk:
                raise HarnessError(f"{self.name}: monitor closed")
            buf += chunk
        return buf.decode("latin-1")

    def monitor(self, cmd: str, expect_prompt=True) -> str:
        if self.sock is None:
            raise HarnessError(f"{self.name}: no monitor (QEMU ended)")
        self.sock.sendall(cmd.encode() + b"\n")
        return self._read_prompt() if expect_prompt else ""

    def sendkey(self, key: str):
        self.log(f"  [{self.name}] key {key} at {self.elapsed():.1f} s")
        self.monitor(f"sendkey {key}")

    def screen(self) -> Screen:
        if os.path.exists(self.screen_path):
            os.unlink(self.screen_path)
        self.monitor(f'pmemsave 0xb8000 4000 "{self.screen_path}"')
        with open(self.screen_path, "rb") as f:
            raw = f.read()
        if len(raw) != 4000:
            raise HarnessError(f"{self.name}: could not read video memory")
        return Screen(raw)

    def screenshot(self, path):
        """The screen as QEMU's display shows it (screendump), saved as a PNG
        with a palette of the colours in it (a few KB for a text screen)."""
        ppm = os.path.join(self.dir, "screendump.ppm")
        if os.path.exists(ppm):
            os.unlink(ppm)
        self.monitor(f'screendump "{ppm}"')
        with open(ppm, "rb") as f:
            png = indexed_png(*read_ppm(f.read()))
        with open(path, "wb") as f:
            f.write(png)

    # ------------------------------------------------------------ waiting

    def elapsed(self) -> float:
        return time.monotonic() - self.started

    def cpu_seconds(self) -> float:
        """CPU time QEMU has used so far (wall time where /proc is missing).

        Time limits count QEMU's own CPU time, so that a busy host (a parallel
        build) slows the boots down without failing them."""
        try:
            with open(f"/proc/{self.proc.pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS
        except (OSError, IndexError, ValueError):
            return self.elapsed()

    @staticmethod
    def _read(path) -> str:
        try:
            with open(path, "rb") as f:
                return f.read().decode("latin-1")
        except FileNotFoundError:
            return ""

    def debug_output(self) -> str:
        return self._read(self.debug_path)

    def bios_log(self) -> str:
        return self._read(self.bios_path)

    def wait_until(self, what, predicate, timeout=60, poll=0.05):
        """Poll predicate until it holds. timeout counts QEMU's CPU seconds;
        wall time is capped at WALL_FACTOR times as much."""
        cpu_limit = self.cpu_seconds() + timeout
        deadline = time.monotonic() + timeout * WALL_FACTOR
        while True:
            value = predicate()
            if value:
                return value
            if not self.running():
                value = predicate()
                if value:
                    return value
                raise HarnessError(f"{self.name}: QEMU ended (code {self.proc.returncode}) "
                                   f"while waiting for {what}")
            if self.cpu_seconds() > cpu_limit or time.monotonic() > deadline:
                raise HarnessError(f"{self.name}: no {what} within {timeout} s "
                                   f"(QEMU CPU time {self.cpu_seconds():.0f} s, "
                                   f"wall time {self.elapsed():.0f} s)")
            time.sleep(poll)

    def wait_handover(self, timeout=60):
        """Wait until SeaBIOS starts the boot sector; returns the time taken."""
        self.wait_until("hand-over to the boot sector",
                        lambda: BIOS_HANDOVER in self.bios_log(), timeout)
        self.handover = time.monotonic()
        self.handover_cpu = self.cpu_seconds()
        return self.handover - self.started

    def wait_boot_line(self, timeout=60):
        """Wait for a test boot record's report; returns (disk, part, lba, sig)."""
        m = self.wait_until("boot record report",
                            lambda: BOOT_LINE.search(self.debug_output()), timeout)
        return (int(m.group(1), 16), int(m.group(2)), int(m.group(3), 16),
                int(m.group(4), 16))

    def wait_screen(self, text, timeout=60):
        return self.wait_until(f"{text!r} on screen",
                               lambda: self.screen().find(text) is not None, timeout,
                               poll=0.25)
