#!/usr/bin/env python3
"""Stops `veltra 1v` at random moments and sorts the disks it leaves.

Each run installs on a fresh demo image (batch mode, input from /dev/null,
output to a pipe) and sends one signal after a random delay within the run's
usual length. A disk is "old" (LBA 0-4 as before), "old MBR" (LBA 0 as
before, so it starts as before, but some of LBA 1-4 written), "installed" (a
complete install) or "broken" (anything else: it may no longer start).

    tools/interrupt_installs.py build/veltra [RUNS_PER_SIGNAL]
"""

import os
import random
import signal
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))


def first_sectors(path):
    with open(path, "rb") as f:
        return f.read(5 * 512)


def main():
    veltra = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    work = tempfile.mkdtemp(prefix="veltra-interrupt-")
    template = os.path.join(work, "template.img")
    disk = os.path.join(work, "disk.img")
    subprocess.run([sys.executable, os.path.join(here, "make_disk.py"), template], check=True,
                   stdout=subprocess.DEVNULL)
    # Backups stay in the work folder, never in the machine's own.
    env = dict(os.environ, VELTRA_DRIVES=disk, XDG_STATE_HOME=os.path.join(work, "state"))
    env.pop("DISPLAY", None)

    def run(delay=None, sig=None):
        subprocess.run(["cp", template, disk], check=True)
        started = time.monotonic()
        p = subprocess.Popen([veltra, "1v"], env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        if sig is not None:
            time.sleep(delay)
            try:
                p.send_signal(sig)
            except ProcessLookupError:
                pass
        p.communicate()
        return time.monotonic() - started, p.returncode

    before = first_sectors(template)
    length, code = run()
    assert code == 0, f"an uninterrupted install ended with {code}"
    installed = first_sectors(disk)
    random.seed(1207)
    print(f"uninterrupted run: {length * 1000:.1f} ms")
    for sig in (signal.SIGKILL, signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        counts = {"old": 0, "old MBR": 0, "installed": 0, "broken": 0}
        for _ in range(runs):
            run(random.uniform(0, length), sig)
            now = first_sectors(disk)
            kind = "old" if now == before else "installed" if now == installed else \
                "old MBR" if now[:512] == before[:512] else "broken"
            counts[kind] += 1
        print(f"{sig.name}: " + ", ".join(f"{k} {v}" for k, v in counts.items()))
    subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
