#!/usr/bin/env python3
"""Checks of tools/make_disk.py, the images the QEMU boots rely on, and of the
harness's screen pictures (screendump to an indexed PNG)."""

import os
import random
import struct
import sys
import tempfile
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(HERE)), "tools"))
sys.path.insert(0, HERE)

import make_disk as md  # noqa: E402
from qemu_harness import HarnessError, indexed_png, read_ppm  # noqa: E402

S = md.SECTOR


def sector(data, lba):
    return data[lba * S:(lba + 1) * S]


class MakeDiskTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.img = os.path.join(self.tmp.name, "disk.img")
        self.mbr_code = bytes(range(200)) + bytes(reversed(range(240)))  # 440 bytes
        self.record = md.assemble_record()

    def tearDown(self):
        self.tmp.cleanup()

    def read(self):
        with open(self.img, "rb") as f:
            return f.read()

    def entry(self, data, i):
        return data[md.TABLE_AT + 16 * i:md.TABLE_AT + 16 * (i + 1)]

    def test_default_disk_layout(self):
        md.create_disk(self.img, 8 << 20, md.default_parts(), 0x12345678, self.mbr_code,
                       self.record)
        data = self.read()
        self.assertEqual(len(data), 8 << 20)
        mbr = sector(data, 0)
        self.assertEqual(mbr[:440], self.mbr_code)
        self.assertEqual(mbr[440:446], bytes.fromhex("785634120000"))
        self.assertEqual(mbr[510:], b"\x55\xAA")
        starts = []
        for i, ptype in enumerate((0x06, 0x0B, 0x07, 0x83)):
            e = self.entry(mbr, i)
            self.assertEqual(e[0], 0x80 if i == 0 else 0x00)
            self.assertEqual(e[4], ptype)
            start = int.from_bytes(e[8:12], "little")
            size = int.from_bytes(e[12:16], "little")
            # Ends on a cylinder of 16 heads x 63 sectors, which is where the
            # BIOS looks to guess the geometry: end CHS head 15, sector 63.
            self.assertEqual((start + size) % 1008, 0)
            self.assertEqual((e[5], e[6] & 63), (15, 63))
            self.assertEqual(start, 63 if i == 0 else start)
            self.assertLessEqual(start + size, 16384)
            starts.append((start, size))
            rec = sector(data, start)
            self.assertEqual(rec[md.FIELD_PART], i + 1)
            self.assertEqual(rec[md.FIELD_FLAGS], 0)
            self.assertEqual(int.from_bytes(rec[md.FIELD_LBA:md.FIELD_LBA + 4], "little"), start)
            self.assertEqual(rec[md.FIELD_SIG:md.FIELD_SIG + 4], bytes.fromhex("78563412"))
            self.assertEqual(rec[510:], b"\x55\xAA")
        for (s1, n1), (s2, _) in zip(starts, starts[1:]):
            self.assertLessEqual(s1 + n1, s2)
        # LBA 1..4 stay free for the boot manager.
        self.assertFalse(any(data[S:5 * S]))

    def test_command_line_table(self):
        rc = md.main([self.img, "--size", "4M", "--signature", "0xCAFE0001", "--no-exit",
                      "--part", "17:2048:1024", "--part", "00", "--part", "83h:4096:100:a",
                      "--part", "0x05:6000:10", "--mbr", os.devnull])
        self.assertEqual(rc, 0)
        data = self.read()
        mbr = sector(data, 0)
        self.assertFalse(any(mbr[:440]))
        self.assertEqual(self.entry(mbr, 1), bytes(16))
        e0, e2, e3 = self.entry(mbr, 0), self.entry(mbr, 2), self.entry(mbr, 3)
        self.assertEqual((e0[0], e0[4]), (0x00, 0x17))
        self.assertEqual((e2[0], e2[4]), (0x80, 0x83))
        self.assertEqual(int.from_bytes(e2[8:12], "little"), 4096)
        self.assertEqual(int.from_bytes(e2[12:16], "little"), 100)
        self.assertEqual(sector(data, 4096)[md.FIELD_FLAGS], md.FLAG_STAY)
        self.assertEqual(sector(data, 2048)[md.FIELD_PART], 1)
        # No boot record inside an extended partition.
        self.assertFalse(any(sector(data, 6000)))
        # An existing image is not replaced without --force.
        self.assertEqual(md.main([self.img, "--no-boot-records"]), 1)
        self.assertEqual(self.read(), data)

    def test_install_writes_like_the_installer(self):
        md.create_disk(self.img, 4 << 20, md.default_parts(), 0xA1B2C3D4, self.mbr_code,
                       self.record)
        before = self.read()
        rng = random.Random(7)
        manager = bytearray(rng.randbytes(4 * S))
        manager[32:38] = b"VELTRA"
        md.install(self.img, bytes(manager), 0x6A)
        after = self.read()
        old0 = sector(before, 0)
        self.assertEqual(sector(after, 1), old0)
        new0 = sector(after, 0)
        self.assertEqual(new0[:112], manager[:112])
        self.assertEqual(new0[112], 0x6A)
        self.assertEqual(new0[113:432], manager[113:432])
        self.assertEqual(new0[432:], old0[432:])
        self.assertEqual(after[2 * S:5 * S], manager[S:])
        self.assertEqual(after[5 * S:], before[5 * S:])
        # A second install would save the manager itself as the old MBR.
        with self.assertRaises(md.DiskError):
            md.install(self.img, bytes(manager), 0)
        self.assertEqual(self.read(), after)

    def test_install_refusals(self):
        md.create_disk(self.img, 4 << 20, md.default_parts(), 1, self.mbr_code, None)
        md.write_sectors(self.img, 3, b"\x01" + bytes(S - 1))
        before = self.read()
        manager = bytes(4 * S)
        with self.assertRaises(md.DiskError):
            md.install(self.img, manager, 0)  # LBA 1..4 in use
        with self.assertRaises(md.DiskError):
            md.install(self.img, manager[:S], 0)  # not four sectors
        self.assertEqual(self.read(), before)
        md.install(self.img, manager, 0, force=True)
        self.assertEqual(sector(self.read(), 1), sector(before, 0))

    def test_only_image_files(self):
        with self.assertRaises(md.DiskError):
            md.create_disk("/dev/null", 4 << 20, md.default_parts(), 1, b"", None,
                           overwrite=True)
        link = os.path.join(self.tmp.name, "disk-link")
        os.symlink("/dev/zero", link)
        with self.assertRaises(md.DiskError):
            md.write_sectors(link, 0, bytes(S))
        self.assertEqual(md.main([link, "--update", "--install", os.devnull]), 1)

    def test_parsing(self):
        self.assertEqual(md.parse_default_key("Alt-F3"), 0x6A)
        self.assertEqual(md.parse_default_key("f1"), 0x3B)
        self.assertEqual(md.parse_default_key("0x3e"), 0x3E)
        self.assertEqual(md.parse_default_key("6Bh"), 0x6B)
        self.assertEqual(md.parse_default_key("59"), 0x3B)
        self.assertEqual(md.parse_default_key("none"), 0)
        for bad in ("F5", "0x100", "x"):
            with self.assertRaises(md.DiskError):
                md.parse_default_key(bad)
        self.assertEqual(md.parse_size("8M"), 8 << 20)
        self.assertEqual(md.parse_size("20s"), 20 * S)
        with self.assertRaises(md.DiskError):
            md.parse_size("1000")
        with self.assertRaises(md.DiskError):
            md.place_parts([md.Part(7, start=2048, size=4096), md.Part(0x83, start=4000,
                                                                     size=10)], 16384)
        with self.assertRaises(md.DiskError):
            md.place_parts([md.Part(7, size=20000)], 16384)


def png_chunks(png):
    """[(kind, body)] of a PNG after its signature."""
    chunks, pos = [], 8
    while pos < len(png):
        (length,) = struct.unpack(">I", png[pos:pos + 4])
        kind, body = png[pos + 4:pos + 8], png[pos + 8:pos + 8 + length]
        (crc,) = struct.unpack(">I", png[pos + 8 + length:pos + 12 + length])
        assert crc == zlib.crc32(kind + body), kind
        chunks.append((kind, body))
        pos += 12 + length
    return chunks


class ScreenPictureTest(unittest.TestCase):
    GREEN, BLACK, GREY = (0, 170, 0), (0, 0, 0), (170, 170, 170)

    def test_ppm_with_a_comment_to_two_bits_per_pixel(self):
        g, b, w = self.GREEN, self.BLACK, self.GREY
        ppm = (b"P6\n# QEMU\n5 2\n255\n" + bytes(sum([g, b, w, g, b], ())) +
               bytes(sum([w, w, b, g, g], ())))
        width, height, rows = read_ppm(ppm)
        self.assertEqual((width, height), (5, 2))
        self.assertEqual(rows, [[g, b, w, g, b], [w, w, b, g, g]])
        png = indexed_png(width, height, rows)
        self.assertEqual(png[:8], b"\x89PNG\r\n\x1a\n")
        chunks = png_chunks(png)
        self.assertEqual([k for k, _ in chunks], [b"IHDR", b"PLTE", b"IDAT", b"IEND"])
        # 5 x 2, 2 bits, palette colour, no interlace; the palette sorted.
        self.assertEqual(chunks[0][1], struct.pack(">IIBBBBB", 5, 2, 2, 3, 0, 0, 0))
        self.assertEqual(chunks[1][1], bytes([0, 0, 0, 0, 170, 0, 170, 170, 170]))
        # Each row: filter 0, then indices 1 0 2 1 0 / 2 2 0 1 1, two bits each.
        self.assertEqual(zlib.decompress(chunks[2][1]),
                         bytes([0, 0b01001001, 0b00000000, 0, 0b10100001, 0b01000000]))

    def test_bits_per_pixel_follow_the_colours(self):
        # One row of that many colours: (colours, bits per pixel, bytes of the row).
        for colours, depth, row_bytes in ((1, 1, 2), (2, 1, 2), (3, 2, 2), (5, 4, 4),
                                          (16, 4, 9), (17, 8, 18)):
            row = [(i, i, i) for i in range(colours)]
            chunks = png_chunks(indexed_png(colours, 1, [row]))
            self.assertEqual(chunks[0][1][8], depth, f"{colours} colours")
            self.assertEqual(len(chunks[1][1]), 3 * colours)
            self.assertEqual(len(zlib.decompress(chunks[2][1])), row_bytes)

    def test_refuses_what_it_cannot_write(self):
        with self.assertRaises(HarnessError):
            read_ppm(b"P5\n1 1\n255\n\x00")
        with self.assertRaises(HarnessError):
            read_ppm(b"P6\n2 1\n255\n\x00\x00\x00")
        with self.assertRaises(HarnessError):
            indexed_png(257, 1, [[(i // 256, i % 256, 0) for i in range(257)]])


if __name__ == "__main__":
    unittest.main()
