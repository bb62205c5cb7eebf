#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into tests/fuzz/corpus/<target>/.

A handful of small, well-formed inputs per target, from which the fuzzer
mutates: disks with and without the boot program, backups of both formats,
command lines, terminal key sequences and boot-time key presses.

  tests/fuzz/make_seeds.py build/boottime/veltra.bin
"""

import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def mbr(types, active=0, signature=0x5645D15C, starts=None):
    s = bytearray(512)
    s[0:3] = b"\xfa\x31\xc0"  # boot code of its own
    s[440:444] = struct.pack("<I", signature)
    for e, t in enumerate(types):
        at = 446 + 16 * e
        s[at] = 0x80 if e == active else 0
        s[at + 4] = t
        start = starts[e] if starts else 2048 * (e + 1)
        s[at + 8:at + 16] = struct.pack("<II", start, 2048)
    s[510:512] = b"\x55\xaa"
    return bytes(s)


def installed(program, saved, key):
    image0 = bytearray(program[0:512])
    image0[432:512] = saved[432:512]
    image0[112] = key
    return [bytes(image0), saved] + [program[512 * n:512 * (n + 1)] for n in (1, 2, 3)]


def backup(sectors, version=2):
    data = b"".join(sectors)
    if version == 1:
        head = b"VELTRA-BACKUP-1\n" + struct.pack("<IQ", 0x5645D15C, 1700000000)
        return head + struct.pack("<I", zlib.crc32(data)) + data
    s0 = sectors[0]
    head = bytearray(96)
    head[0:16] = b"VELTRA-BACKUP-2\n"
    head[16:36] = struct.pack("<IQQ", struct.unpack_from("<I", s0, 440)[0], 1700000000, 16)
    for e in range(4):
        head[36 + 8 * e:44 + 8 * e] = s0[446 + 16 * e + 8:446 + 16 * e + 16]
    crc = zlib.crc32(data, zlib.crc32(bytes(head[0:92])))
    head[92:96] = struct.pack("<I", crc)
    return bytes(head) + data


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main(argv):
    program = open(argv[1], "rb").read()
    assert len(program) == 2048
    zero = bytes(512)
    plain = [mbr([0x06, 0x0B, 0x07, 0x83])] + [zero] * 4
    inst = installed(program, plain[0], 0x3B)
    two = [mbr([0x07, 0x83, 0, 0], active=1)] + [zero] * 4
    gpt = [mbr([0xEE, 0, 0, 0])] + [b"EFI PART" + bytes(504)] + [zero] * 3

    write("backup_reader", "plain-v2", backup(plain))
    write("backup_reader", "installed-v2", backup(inst))
    write("backup_reader", "plain-v1", backup(plain, 1))
    write("backup_reader", "short", backup(plain)[:200])

    other = mbr([0x0C, 0x17, 0, 0], signature=0x1234)
    for name, disk, key, entry in (("plain", plain, b"a", 1), ("installed", inst, b"-", 0),
                                   ("two", two, b"+", 2), ("gpt", gpt, b"A", 3)):
        write("plans", name, key + bytes([entry, 1]) + b"".join(disk) + other)

    def names(*paths):
        return b"".join(bytes([len(p)]) + p for p in paths)
    write("status", "four", b"\x0f" + names(b"/dev/sda", b"disk.img", b"/dev/sdb", b"x")
          + b"".join(inst) + b"".join(plain) + b"".join(two) + b"".join(gpt))
    write("status", "odd-names", b"\x23" + names(b"a\x1b[31m\xff.img", b"", b"", b"")
          + b"".join(plain))
    write("status", "unreadable", b"\x31" + names(b"/dev/sda", b"", b"", b"") + b"".join(inst))

    for name, keys in (("arrows", b"\x1b[A\x1b[B\x1b[1;5C\x1b[D\x1bOP\x1b[[A"),
                       ("editing", b"\x1b[2~\x1b[3~\x1b[5~\x1b[6~\x1b[15;2~\x1b[24~\x1b[Z"),
                       ("text", b"\x00ab\r\n\n\x7f\xc3\xa9\xe2\x96\x88\xff\x1b\x1bx"),
                       ("split", b"\x03\x00\x01\x04\x1b[1;3A\r\n\x1bO"),
                       ("byte-by-byte", b"\x01\x00\x1b[15;5~\xe2\x94\x80\r\n\x1b[[B")):
        write("terminal_keys", name, keys if name in ("split", "byte-by-byte") else b"\x00" + keys)

    for name, args in (("word", [b"--drive", b"disk.img", b"1v"]),
                       ("dry-run", [b"-n", b"-d", b"a.img", b"HIDE"]),
                       ("status", [b"--status", b"--json", b"-dfoo", b"--dri=bar"]),
                       ("restore", [b"--restore=f.bak", b"--force", b"--no-backup"]),
                       ("after-dashes", [b"-d", b"x", b"--", b"-d", b"2z"]),
                       ("help", [b"/?", b"--version", b"--list-backups"])):
        write("command_line", name, b"".join(a + b"\x00" for a in args))

    def boot(key, others, caps, keys, tables):
        flags = others | (4 if caps else 0) | (len(keys) << 4)
        words = b"".join(struct.pack("<H", k) for k in keys).ljust(8, b"\x00")
        return bytes([key, flags]) + words + b"".join(t[446:510] for t in tables)
    first = mbr([0x06, 0x0B, 0x07, 0x83])
    second = mbr([0x06, 0x83, 0, 0], active=0, starts=[1, 9, 0, 0])
    third = mbr([0x0B, 0, 0, 0], starts=[2, 0, 0, 0])
    tables = [first, second, third, third]
    write("boot_program", "default-f1", boot(0x3B, 0, False, [], tables))
    write("boot_program", "no-default", boot(0, 1, False, [], tables))
    write("boot_program", "alt-f2", boot(0, 1, False, [0x6900], tables))
    write("boot_program", "menu-then-f5", boot(0, 3, False, [0x3920, 0x3F00], tables))
    write("boot_program", "f10-then-enter", boot(0x3B, 1, False, [0x4400, 0x1C0D], tables))
    write("boot_program", "capslock", boot(0x68, 2, True, [0x0231], tables))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
