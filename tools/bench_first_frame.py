#!/usr/bin/env python3
"""Time from start to the first full frame on an 80x28 pseudo-terminal:
the installer's menu against cfdisk's (package fdisk), both on a fresh disk
image made by tools/make_disk.py (never a real disk).

  tools/bench_first_frame.py [BUILD_DIR] [--runs N]

A frame counts as full when the output has been still for 150 ms; the time
is that of its last byte. Prints min/median/max in ms and the ratio of the
medians.
"""
import argparse
import os
import pty
import select
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import fcntl
import termios

QUIET = 0.15


def first_frame(command, env):
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 28, 80, 0, 0))
    started = time.monotonic()
    process = subprocess.Popen(command, stdin=slave, stdout=slave, stderr=slave, env=env,
                               start_new_session=True)
    os.close(slave)
    last = None
    while True:
        ready, _, _ = select.select([master], [], [], QUIET if last else 5)
        if not ready:
            break
        try:
            data = os.read(master, 65536)
        except OSError:
            break
        if not data:
            break
        last = time.monotonic()
    process.kill()
    process.wait()
    os.close(master)
    return (last - started) * 1000 if last else float("nan")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--runs", type=int, default=20)
    args = parser.parse_args()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    veltra = os.path.join(args.build, "veltra")
    if not shutil.which("cfdisk"):
        sys.exit("cfdisk missing: apt-get install fdisk")
    with tempfile.TemporaryDirectory() as work:
        image = os.path.join(work, "disk.img")
        subprocess.run([sys.executable, os.path.join(root, "tools", "make_disk.py"), image],
                       check=True, stdout=subprocess.DEVNULL)
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update(TERM="xterm-256color", COLORTERM="truecolor", XDG_STATE_HOME=work)
        runs = {"veltra": [], "cfdisk": []}
        for _ in range(args.runs):  # interleaved, so that both see the same load
            runs["veltra"].append(first_frame([veltra, "-d", image], env))
            runs["cfdisk"].append(first_frame(["cfdisk", image], env))
    for name, times in runs.items():
        print(f"{name:7} first full frame: min {min(times):6.1f}  median "
              f"{statistics.median(times):6.1f}  max {max(times):6.1f} ms ({len(times)} runs)")
    ratio = statistics.median(runs["veltra"]) / statistics.median(runs["cfdisk"])
    print(f"veltra/cfdisk (medians): {ratio:.2f}")


if __name__ == "__main__":
    main()
