#!/usr/bin/env python3
"""How long a start takes without a key: power-on to the partition's boot record.

Builds a disk image (tools/make_disk.py: 06, 0B, 07 active, 83, test boot
records), installs the boot manager with default key F1 and the pause given,
and starts it without a key in QEMU (SeaBIOS, TCG, no KVM) and, when
installed, in Bochs (Debian's bochs, bochsbios and vgabios; run headless
through its VNC display, which waits for no viewer, with the clock kept to the
host's). "plain" is the same disk without the boot manager: the firmware's own
share of the time. A measurement, not a test: it prints the times and judges
nothing.

Usage: pause_times.py [--veltra build/boottime/veltra.bin] [--pause TICKS]...
                      [--runs 2] [--emulators qemu,bochs] [--work-dir DIR]
  --pause TICKS  the pause field to write (clock ticks, 18.2 a second); "built"
                 keeps the image's own, "plain" installs nothing; may repeat
                 (default: plain, built, 18, 0)
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))

import make_disk as md  # noqa: E402
from qemu_harness import Machine, find_qemu  # noqa: E402

F1 = 0x3B
SIZE = 16 * 16 * 63 * md.SECTOR  # whole cylinders of 16 heads x 63 sectors, for Bochs
LIMIT = 900  # seconds of wall time a start may take before it is given up


def make_image(path, manager, pause):
    parts = [md.parse_part(s) for s in ("06", "0B", "07:a", "83")]
    with open(md.DEFAULT_MBR, "rb") as f:
        mbr = f.read()
    md.create_disk(path, SIZE, parts, 0x11C0FFEE, mbr, md.assemble_record(), stay=True,
                   overwrite=True)
    if pause != "plain":
        md.install(path, manager, F1, pause_ticks=None if pause == "built" else int(pause))


def qemu_time(image, work, name):
    with Machine(name, work, [image], sockdir=work, log=lambda msg: None) as m:
        m.wait_handover(LIMIT)
        handover = m.handover - m.started
        m.wait_boot_line(LIMIT)
        took = time.monotonic() - m.started
        return (f"{took:6.2f} s (hand-over at {handover:.2f} s, "
                f"QEMU CPU {m.cpu_seconds():.2f} s)")


def bochs_time(image, work, name):
    rc = os.path.join(work, f"{name}.bochsrc")
    out = os.path.join(work, f"{name}.out")
    with open(rc, "w") as f:
        f.write(f"""megs: 16
romimage: file=/usr/share/bochs/BIOS-bochs-latest
vgaromimage: file=/usr/share/vgabios/vgabios.bin
ata0: enabled=1, ioaddr1=0x1f0, ioaddr2=0x3f0, irq=14
ata0-master: type=disk, path={image}, mode=flat, cylinders=16, heads=16, spt=63
boot: disk
display_library: rfb, options="timeout=0"
log: {work}/{name}.log
port_e9_hack: enabled=1
clock: sync=realtime, time0=local
speaker: enabled=0
sound: waveoutdrv=dummy, waveindrv=dummy, midioutdrv=dummy
""")
    with open(out, "wb") as o:
        start = time.monotonic()
        p = subprocess.Popen(["bochs", "-q", "-f", rc], stdout=o, stderr=subprocess.STDOUT,
                             stdin=subprocess.PIPE)
        try:
            p.stdin.write(b"c\n")  # Debian's bochs starts in its debugger
            p.stdin.flush()
            while time.monotonic() - start < LIMIT:
                time.sleep(0.05)
                with open(out, "rb") as f:
                    if b"BOOT disk=" in f.read():  # the boot record, on port E9h
                        return f"{time.monotonic() - start:6.2f} s"
                if p.poll() is not None:
                    return f"ended ({p.returncode}) without a boot record; see {out}"
            return f"no boot record within {LIMIT} s"
        finally:
            if p.poll() is None:
                p.kill()
                p.wait()


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--veltra", default=os.path.join(REPO, "build", "boottime", "veltra.bin"))
    ap.add_argument("--pause", action="append")
    ap.add_argument("--runs", type=int, default=2)
    ap.add_argument("--emulators", default="qemu,bochs")
    ap.add_argument("--work-dir")
    args = ap.parse_args(argv)
    with open(args.veltra, "rb") as f:
        manager = f.read()
    work = args.work_dir or tempfile.mkdtemp(prefix="veltra-pause-")
    os.makedirs(work, exist_ok=True)
    emulators = []
    for name in args.emulators.split(","):
        if name == "qemu" and find_qemu():
            emulators.append(("QEMU", qemu_time))
        elif name == "bochs" and shutil.which("bochs"):
            emulators.append(("Bochs", bochs_time))
        else:
            print(f"{name}: not installed, left out")
    for pause in args.pause or ["plain", "built", "18", "0"]:
        image = os.path.join(work, f"pause-{pause}.img")
        make_image(image, manager, pause)
        for label, measure in emulators:
            for run in range(args.runs):
                name = f"{label.lower()}-{pause}-{run}"
                print(f"{label:5} pause {pause:>5}: power-on to boot record "
                      f"{measure(image, work, name)}", flush=True)
    if not args.work_dir:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
