#!/usr/bin/env python3
"""Create disk image files for trying out and testing the boot manager.

The image gets an MBR with syslinux's boot code (mbr.bin, which starts the
active partition), a disk signature, a partition table of up to four primary
entries and 55h AAh. The first sector of every partition holds a small boot
record (tests/e2e/report_boot.asm) that reports which partition the machine
started, on QEMU's debug console (port E9h) and on screen, and then ends QEMU
through the isa-debug-exit device (or halts with --no-exit).

With --install the boot manager is written the way the installer does it:
LBA 1 := the old sector 0, LBA 0 := image 0 with the disk's bytes 432..511
and byte 112 = the default key, LBA 2..4 := images 1..3.

Only image files are written, never devices.

Examples:
  make_disk.py demo.img
  make_disk.py disk.img --size 8M --part 06:a --part 0B --part 07 --part 83
  make_disk.py disk.img --part 07:63:4977:a --part 00 --part 83:5040:3024
  make_disk.py disk.img --install build/boottime/veltra.bin --default-key F1
  make_disk.py disk.img --update --install build/boottime/veltra.bin
"""

import argparse
import os
import shutil
import stat
import subprocess
import sys
import tempfile
from dataclasses import dataclass

SECTOR = 512
REPO_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_MBR = "/usr/lib/syslinux/mbr/mbr.bin"
RECORD_SOURCE = os.path.join(REPO_ROOT, "tests", "e2e", "report_boot.asm")

# Offsets of the fields that report_boot.asm leaves for this tool to fill.
RECORD_MAGIC = b"RBT1"
FIELD_MAGIC = 4
FIELD_PART = 8
FIELD_FLAGS = 9
FIELD_LBA = 12
FIELD_SIG = 16
FLAG_STAY = 0x01

# The MBR: boot code area, then what belongs to the disk.
TABLE_BLOCK = 432  # bytes 432..511 travel with the disk through install/removal
SIGNATURE_AT = 440
TABLE_AT = 446
DEFAULT_KEY_AT = 112
PAUSE_TICKS_AT = 48  # word: the start-up pause in BIOS clock ticks (image: 55, 3 s)
BOOT_MANAGER_SIZE = 4 * SECTOR

# The partition types that the boot manager works with (visible forms).
RECOGNISED = (0x06, 0x0B, 0x0C, 0x0E, 0x07, 0x81, 0x83)
EXTENDED = (0x05, 0x0F)

# BIOS scan codes the boot manager accepts as its default key.
DEFAULT_KEYS = {
    "NONE": 0x00,
    "F1": 0x3B, "F2": 0x3C, "F3": 0x3D, "F4": 0x3E,
    "ALT-F1": 0x68, "ALT-F2": 0x69, "ALT-F3": 0x6A, "ALT-F4": 0x6B,
}

# The geometry the partition table is written for (QEMU's choice for small
# disks). LBA 0..62 are the first track, so LBA 1..4 are cylinder 0, head 0.
HEADS = 16
SECTORS_PER_TRACK = 63
CYLINDER = HEADS * SECTORS_PER_TRACK


class DiskError(Exception):
    pass


@dataclass
class Part:
    """One primary partition table entry."""

    type: int
    active: bool = False
    start: int = 0  # LBA; 0 = place after the previous partition
    size: int = 0  # sectors; 0 = an even share of the free cylinders
    boot_flag: int = -1  # raw boot indicator; overrides `active` when >= 0

    @property
    def empty(self) -> bool:
        return self.type == 0

    def flag_byte(self) -> int:
        if self.boot_flag >= 0:
            return self.boot_flag
        return 0x80 if self.active else 0x00


def is_recognised(ptype: int) -> bool:
    return (ptype & 0xEF) in RECOGNISED


def is_extended(ptype: int) -> bool:
    return (ptype & 0xEF) in EXTENDED


# ---------------------------------------------------------------- parsing


def parse_number(text: str) -> int:
    t = text.strip().lower()
    if t.endswith("h"):
        return int(t[:-1], 16)
    return int(t, 0)


def parse_size(text: str) -> int:
    """'8M', '8MiB', '512K', '16384s' (sectors) or plain bytes."""
    t = text.strip().upper().removesuffix("IB").removesuffix("B")
    units = {"K": 1 << 10, "M": 1 << 20, "G": 1 << 30, "S": SECTOR}
    mult = 1
    if t and t[-1] in units:
        mult = units[t[-1]]
        t = t[:-1]
    try:
        size = int(t, 0) * mult
    except ValueError:
        raise DiskError(f"unreadable size: {text!r}") from None
    if size <= 0 or size % SECTOR:
        raise DiskError(f"size must be a positive multiple of {SECTOR} bytes: {text!r}")
    return size


def parse_part(text: str) -> Part:
    """TYPE[:START[:SIZE]][:a|:active|:flag=XX], TYPE in hex (07, 0x83, 83h)."""
    fields = [f.strip() for f in text.split(":")]
    part = Part(type=0)
    numbers = []
    for i, f in enumerate(fields):
        lower = f.lower()
        if i > 0 and lower in ("a", "active", "*"):
            part.active = True
        elif i > 0 and lower.startswith("flag="):
            part.boot_flag = parse_number(lower[5:]) & 0xFF
        elif i == 0:
            t = lower.removeprefix("0x").removesuffix("h")
            try:
                part.type = int(t, 16)
            except ValueError:
                raise DiskError(f"unreadable partition type in {text!r}") from None
            if not 0 <= part.type <= 0xFF:
                raise DiskError(f"partition type out of range in {text!r}")
        else:
            try:
                numbers.append(parse_number(f))
            except ValueError:
                raise DiskError(f"unreadable field {f!r} in {text!r}") from None
    if len(numbers) > 2:
        raise DiskError(f"too many numbers in {text!r} (TYPE:START:SIZE)")
    if numbers:
        part.start = numbers[0]
    if len(numbers) > 1:
        part.size = numbers[1]
    return part


def parse_default_key(text: str) -> int:
    t = text.strip().upper().replace("_", "-")
    if t in DEFAULT_KEYS:
        return DEFAULT_KEYS[t]
    try:
        value = parse_number(text)
    except ValueError:
        raise DiskError(f"unknown default key {text!r} (F1..F4, Alt-F1..Alt-F4, none, "
                        "or a scan code)") from None
    if not 0 <= value <= 0xFF:
        raise DiskError(f"default key out of range: {text!r}")
    if value not in DEFAULT_KEYS.values():
        print(f"make_disk: warning: default key {value:02X}h is not one the boot manager "
              "acts on", file=sys.stderr)
    return value


# ---------------------------------------------------------------- layout


def default_parts() -> list:
    """Four primary partitions of recognised types, the first one active."""
    return [Part(0x06, active=True), Part(0x0B), Part(0x07), Part(0x83)]


def place_parts(parts: list, total_sectors: int) -> list:
    """Fill in start and size where the caller left them 0.

    Partitions are laid out the classic way for the geometry of HEADS x
    SECTORS_PER_TRACK: the first one starts at the second track, every
    other one at a cylinder, and each ends at the end of a cylinder. QEMU
    (and many BIOSes) guess the disk's geometry from where the first
    partition ends; a partition ending elsewhere makes that guess go wrong,
    and then "LBA n = cylinder 0, head 0, sector n+1" no longer holds.
    """
    if len(parts) > 4:
        raise DiskError("an MBR holds at most four primary entries")
    used = [p for p in parts if not p.empty]
    unsized = [p for p in used if p.size == 0]
    fixed = sum(p.size for p in used if p.size)
    share = 0  # whole cylinders per partition without a given size
    if unsized:
        share = (total_sectors // CYLINDER - (fixed + CYLINDER - 1) // CYLINDER) // len(unsized)
        if share <= 0:
            raise DiskError("the disk is too small for these partitions (each needs at "
                            f"least one cylinder of {CYLINDER} sectors)")
    placed = []
    next_free = SECTORS_PER_TRACK
    for p in parts:
        q = Part(p.type, p.active, p.start, p.size, p.boot_flag)
        if not q.empty:
            if q.start == 0:
                q.start = next_free
                if q.start > SECTORS_PER_TRACK:
                    q.start = (q.start + CYLINDER - 1) // CYLINDER * CYLINDER
            if q.size == 0:
                end = min((q.start // CYLINDER + share) * CYLINDER,
                          total_sectors // CYLINDER * CYLINDER)
                q.size = max(end - q.start, 0)
                if q.size == 0:
                    raise DiskError(f"no room left for a partition at LBA {q.start}")
            if q.start + q.size > total_sectors:
                raise DiskError(f"partition at LBA {q.start} of {q.size} sectors does not "
                                f"fit in {total_sectors} sectors")
            if (q.start + q.size) % CYLINDER:
                print(f"make_disk: warning: the partition at LBA {q.start} does not end on "
                      f"a cylinder boundary ({HEADS} heads x {SECTORS_PER_TRACK} sectors); "
                      "the BIOS may guess another geometry", file=sys.stderr)
            next_free = max(next_free, q.start + q.size)
        placed.append(q)
    spans = sorted((q.start, q.start + q.size) for q in placed if not q.empty)
    for (s1, e1), (s2, _) in zip(spans, spans[1:]):
        if s2 < e1:
            raise DiskError(f"partitions at LBA {s1} and {s2} overlap; give START:SIZE")
    if spans and spans[0][0] < 5:
        raise DiskError("partitions must leave LBA 0..4 free (MBR and boot manager)")
    return placed


def chs(lba: int) -> bytes:
    cyl, rem = divmod(lba, HEADS * SECTORS_PER_TRACK)
    head, sec = divmod(rem, SECTORS_PER_TRACK)
    if cyl > 1023:
        cyl, head, sec = 1023, HEADS - 1, SECTORS_PER_TRACK - 1
    sec += 1
    return bytes((head, ((cyl >> 2) & 0xC0) | sec, cyl & 0xFF))


def table_entry(p: Part) -> bytes:
    if p.empty and p.flag_byte() == 0:
        return bytes(16)
    return (bytes((p.flag_byte(),)) + chs(p.start) + bytes((p.type,)) +
            chs(p.start + max(p.size, 1) - 1) + p.start.to_bytes(4, "little") +
            p.size.to_bytes(4, "little"))


def build_mbr(boot_code: bytes, signature: int, parts: list) -> bytes:
    if len(boot_code) > SIGNATURE_AT:
        raise DiskError(f"MBR boot code is {len(boot_code)} bytes, at most {SIGNATURE_AT} fit")
    mbr = bytearray(SECTOR)
    mbr[:len(boot_code)] = boot_code
    mbr[SIGNATURE_AT:SIGNATURE_AT + 4] = signature.to_bytes(4, "little")
    for i in range(4):
        entry = table_entry(parts[i]) if i < len(parts) else bytes(16)
        mbr[TABLE_AT + 16 * i:TABLE_AT + 16 * (i + 1)] = entry
    mbr[510:512] = b"\x55\xAA"
    return bytes(mbr)


# ---------------------------------------------------------------- boot record


def assemble(source: str, nasm: str = "nasm") -> bytes:
    """Assemble a flat binary (a boot record, MBR boot code) with nasm."""
    exe = shutil.which(nasm)
    if exe is None:
        raise DiskError(f"nasm is needed to assemble {os.path.basename(source)} "
                        "(or pass --boot-record FILE)")
    with tempfile.TemporaryDirectory(prefix="make_disk-") as tmp:
        out = os.path.join(tmp, "out.bin")
        run = subprocess.run([exe, "-f", "bin", "-o", out, source],
                             capture_output=True, text=True)
        if run.returncode != 0:
            raise DiskError(f"nasm failed on {source}:\n{run.stderr}")
        with open(out, "rb") as f:
            return f.read()


def assemble_record(source: str = RECORD_SOURCE, nasm: str = "nasm") -> bytes:
    """Assemble report_boot.asm; the result is the template for every partition."""
    return check_record_template(assemble(source, nasm))


def check_record_template(data: bytes) -> bytes:
    if len(data) != SECTOR or data[FIELD_MAGIC:FIELD_MAGIC + 4] != RECORD_MAGIC:
        raise DiskError("the boot record template is not an assembled report_boot.asm")
    return data


def boot_record(template: bytes, part_no: int, lba: int, signature: int, stay: bool) -> bytes:
    rec = bytearray(template)
    rec[FIELD_PART] = part_no
    rec[FIELD_FLAGS] = FLAG_STAY if stay else 0
    rec[FIELD_LBA:FIELD_LBA + 4] = lba.to_bytes(4, "little")
    rec[FIELD_SIG:FIELD_SIG + 4] = signature.to_bytes(4, "little")
    return bytes(rec)


# ---------------------------------------------------------------- image files


def check_image_path(path: str, must_exist: bool) -> None:
    """Refuse anything that is not a plain image file."""
    real = os.path.realpath(path)
    if real.startswith("/dev/") or real.startswith("/proc/") or real.startswith("/sys/"):
        raise DiskError(f"{path}: only image files are written, not devices")
    try:
        st = os.stat(real)
    except FileNotFoundError:
        if must_exist:
            raise DiskError(f"{path}: no such image file") from None
        return
    if not stat.S_ISREG(st.st_mode):
        raise DiskError(f"{path}: not a regular file; only image files are written")


def read_sectors(path: str, lba: int, count: int = 1) -> bytes:
    with open(path, "rb") as f:
        f.seek(lba * SECTOR)
        data = f.read(count * SECTOR)
    if len(data) != count * SECTOR:
        raise DiskError(f"{path}: cannot read LBA {lba}..{lba + count - 1}")
    return data


def write_sectors(path: str, lba: int, data: bytes) -> None:
    check_image_path(path, must_exist=True)
    assert len(data) % SECTOR == 0
    with open(path, "r+b") as f:
        f.seek(lba * SECTOR)
        f.write(data)


def create_disk(path: str, size: int, parts: list, signature: int,
                mbr_code: bytes, record_template: bytes = None, stay: bool = False,
                overwrite: bool = False) -> list:
    """Write a new image file; returns the placed partitions."""
    check_image_path(path, must_exist=False)
    if os.path.exists(path) and not overwrite:
        raise DiskError(f"{path} exists; use --force to replace it")
    total = size // SECTOR
    placed = place_parts(parts, total)
    actives = [i + 1 for i, p in enumerate(placed) if p.flag_byte() & 0x80]
    if len(actives) > 1:
        print(f"make_disk: warning: entries {actives} are all active; syslinux's MBR "
              "refuses to start such a disk", file=sys.stderr)
    with open(path, "wb") as f:
        f.truncate(size)
        f.seek(0)
        f.write(build_mbr(mbr_code, signature, placed))
        if record_template is not None:
            for i, p in enumerate(placed):
                if p.empty or is_extended(p.type):
                    continue
                f.seek(p.start * SECTOR)
                f.write(boot_record(record_template, i + 1, p.start, signature, stay))
    return placed


def install(path: str, manager: bytes, default_key: int, force: bool = False,
            pause_ticks: int = None) -> None:
    """Write the boot manager to an image file the way the installer does;
    pause_ticks None keeps the image's own pause."""
    if len(manager) != BOOT_MANAGER_SIZE:
        raise DiskError(f"the boot manager must be {BOOT_MANAGER_SIZE} bytes, "
                        f"not {len(manager)}")
    sector0 = read_sectors(path, 0)
    if sector0[32:38] == b"VELTRA":
        raise DiskError(f"{path}: the boot manager is installed already")
    if any(read_sectors(path, 1, 4)) and not force:
        raise DiskError(f"{path}: LBA 1..4 are not empty; use --force to overwrite them")
    count = sum(1 for i in range(4) if is_recognised(sector0[TABLE_AT + 16 * i + 4]))
    if count < 2:
        print(f"make_disk: warning: only {count} recognised primary partition(s); the "
              "installer would refuse this disk", file=sys.stderr)
    stage1 = bytearray(manager[:SECTOR])
    stage1[TABLE_BLOCK:] = sector0[TABLE_BLOCK:]
    stage1[DEFAULT_KEY_AT] = default_key
    if pause_ticks is not None:
        stage1[PAUSE_TICKS_AT:PAUSE_TICKS_AT + 2] = pause_ticks.to_bytes(2, "little")
    write_sectors(path, 1, sector0)
    write_sectors(path, 0, bytes(stage1))
    write_sectors(path, 2, manager[SECTOR:])


# ---------------------------------------------------------------- command line


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(
        description=__doc__.split("\n\n")[0],
        epilog="PART is TYPE[:START[:SIZE]][:a] with TYPE in hex, START and SIZE in\n"
               "sectors (0 or left out: placed automatically on cylinders of 16 heads x\n"
               "63 sectors), a = active, or flag=XX for a raw boot indicator. Type 00\n"
               "gives an empty entry. Without --part: 06 (active), 0B, 07, 83.\n\n" +
               __doc__[__doc__.index("Examples:"):],
        formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("image", help="image file to create (never a device)")
    ap.add_argument("--size", default="8M", help="disk size, e.g. 8M, 4096K, 20480s "
                    "(default 8M)")
    ap.add_argument("--signature", default="0x5645D15C",
                    help="32-bit disk signature (default 0x5645D15C)")
    ap.add_argument("--part", action="append", default=[], metavar="PART",
                    help="a partition table entry, up to four times, in table order")
    ap.add_argument("--active", type=int, metavar="N",
                    help="make entry N (1..4) the only active one; 0 = none")
    ap.add_argument("--mbr", default=DEFAULT_MBR,
                    help=f"MBR boot code, at most 440 bytes (default {DEFAULT_MBR})")
    ap.add_argument("--no-mbr-code", action="store_true",
                    help="leave the MBR boot code area zero")
    ap.add_argument("--boot-record", metavar="FILE",
                    help="assembled report_boot.asm to use instead of running nasm")
    ap.add_argument("--no-boot-records", action="store_true",
                    help="leave the partitions' first sectors zero")
    ap.add_argument("--no-exit", action="store_true",
                    help="the boot records print and halt instead of ending QEMU")
    ap.add_argument("--install", metavar="VELTRA_BIN",
                    help="write the boot manager (2048 bytes) the way the installer does")
    ap.add_argument("--default-key", default="none",
                    help="with --install: F1..F4, Alt-F1..Alt-F4, none, or a scan code "
                         "such as 0x3B (byte 112 of LBA 0)")
    ap.add_argument("--update", action="store_true",
                    help="do not create the image; only --install into the existing one")
    ap.add_argument("--force", action="store_true",
                    help="replace an existing image file / overwrite non-empty LBA 1..4")
    args = ap.parse_args(argv)

    try:
        default_key = parse_default_key(args.default_key)
        if args.update:
            if not args.install:
                raise DiskError("--update needs --install")
            check_image_path(args.image, must_exist=True)
        else:
            size = parse_size(args.size)
            signature = parse_number(args.signature) & 0xFFFFFFFF
            parts = [parse_part(p) for p in args.part] or default_parts()
            if len(parts) > 4:
                raise DiskError("at most four --part entries")
            if args.active is not None:
                if not 0 <= args.active <= len(parts):
                    raise DiskError(f"--active {args.active}: no such entry")
                for i, p in enumerate(parts):
                    p.active = i + 1 == args.active
                    p.boot_flag = -1
            mbr_code = b""
            if not args.no_mbr_code:
                with open(args.mbr, "rb") as f:
                    mbr_code = f.read()
            template = None
            if not args.no_boot_records:
                if args.boot_record:
                    with open(args.boot_record, "rb") as f:
                        template = check_record_template(f.read())
                else:
                    template = assemble_record()
            placed = create_disk(args.image, size, parts, signature, mbr_code, template,
                                 stay=args.no_exit, overwrite=args.force)
            for i, p in enumerate(placed):
                if not p.empty:
                    print(f"  entry {i + 1}: type {p.type:02X}h"
                          f"{' active' if p.flag_byte() & 0x80 else ''}, "
                          f"LBA {p.start}, {p.size} sectors")
        if args.install:
            with open(args.install, "rb") as f:
                manager = f.read()
            install(args.image, manager, default_key, force=args.force)
            print(f"  boot manager installed, default key {default_key:02X}h")
    except (DiskError, OSError) as e:
        print(f"make_disk: {e}", file=sys.stderr)
        return 1
    print(f"{args.image}: done")
    return 0


if __name__ == "__main__":
    sys.exit(main())
