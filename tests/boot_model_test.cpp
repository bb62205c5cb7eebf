// The emulated PC itself, checked with small programs before it judges the boot program.
#include "boot_pc_model.h"

#include <gtest/gtest.h>

using namespace pcmodel;

namespace {

// Programs start at 0000:7C00 with segments set to 0 and a stack below 7C00h. `record`
// stores FLAGS and AX at [di] and advances di, so a program leaves a trace at 0500h.
const char* prologue = R"(
org 7C00h
%macro record 0
        pushf
        pop word [di]
        mov [di+2], ax
        add di, 4
%endmacro
        xor ax, ax
        mov ds, ax
        mov es, ax
        mov ss, ax
        mov sp, 7C00h
        mov di, 0500h
)";

RunResult runAsm(Machine& machine, const std::string& body, RunOptions options = {}) {
    return runCode(machine, assemble(std::string(prologue) + body), options);
}

struct Trace {
    uint16_t flags;
    uint16_t ax;
    bool carry() const { return flags & 0x0001; }
    bool zero() const { return flags & 0x0040; }
};

Trace traceAt(const RunResult& result, int index) {
    return {readWord(result.memory, 0x500 + 4 * index), readWord(result.memory, 0x502 + 4 * index)};
}

Sector filled(uint8_t value) {
    Sector sector;
    sector.fill(value);
    return sector;
}

Disk diskOf(std::initializer_list<uint8_t> fills) {
    Disk disk;
    for (uint8_t fill : fills) disk.sectors.push_back(filled(fill));
    return disk;
}

TEST(PcModelVideo, WriteCharacterDoesNotMoveTheCursorButHonoursTheCursorWord) {
    Machine machine;
    machine.cursorRow = 2;
    machine.cursorColumn = 5;
    RunResult result = runAsm(machine, R"(
        mov ax, 0941h            ; 'A' three times in attribute 02h
        mov bx, 0002h
        mov cx, 3
        int 10h
        add word [0450h], 3      ; the program advances the column itself
        mov ax, 0E42h            ; teletype 'B', then LF CR 'C'
        int 10h
        mov ax, 0E0Ah
        int 10h
        mov ax, 0E0Dh
        int 10h
        mov ax, 0E43h
        int 10h
        hlt
)");
    ASSERT_EQ(result.stop, Stop::Halted);
    EXPECT_EQ(machine.screen.text(2), "     AAAB");
    EXPECT_EQ(machine.screen.attr(2, 5), 0x02);
    EXPECT_EQ(machine.screen.attr(2, 7), 0x02);
    EXPECT_EQ(machine.screen.attr(2, 8), 0x07); // teletype keeps the cell's attribute
    EXPECT_EQ(machine.screen.text(3), "C");
    EXPECT_EQ(machine.cursorRow, 3);
    EXPECT_EQ(machine.cursorColumn, 1);
    EXPECT_EQ(readWord(result.memory, 0x450), 0x0301);
}

TEST(PcModelVideo, LineFeedOnTheLastRowScrollsTheScreen) {
    Machine machine;
    machine.cursorRow = 24;
    machine.screen.cells[0].ch = 'T'; // scrolls away
    RunResult result = runAsm(machine, R"(
        mov ax, 0E58h
        int 10h
        mov ax, 0E0Ah
        int 10h
        hlt
)");
    ASSERT_EQ(result.stop, Stop::Halted);
    EXPECT_EQ(machine.screen.text(0), "");
    EXPECT_EQ(machine.screen.text(23), "X");
    EXPECT_EQ(machine.screen.text(24), "");
    EXPECT_EQ(machine.cursorRow, 24);
    EXPECT_EQ(machine.cursorColumn, 1);
}

TEST(PcModelDisk, ChsAndExtendedTransfersReachTheRightSectors) {
    Machine machine;
    machine.drives[0x80] = diskOf({0x00, 0x11, 0x22, 0x33, 0x44});
    machine.drives[0x81] = diskOf({0x00, 0x55, 0x66});
    RunResult result = runAsm(machine, R"(
        mov ax, 0202h            ; LBA 1..2 of 80h to 8000h
        mov cx, 0002h
        mov dx, 0080h
        mov bx, 8000h
        int 13h
        record
        mov ax, 0301h            ; write 8000h to LBA 4
        mov cx, 0005h
        int 13h
        record
        mov si, packet           ; LBA 2 of 81h to 0000:9000
        mov dl, 81h
        mov ah, 42h
        int 13h
        record
        hlt
packet: db 10h, 0
        dw 1, 9000h, 0
        dq 2
)");
    ASSERT_EQ(result.stop, Stop::Halted);
    EXPECT_FALSE(traceAt(result, 0).carry());
    EXPECT_EQ(traceAt(result, 0).ax, 0x0002);
    EXPECT_FALSE(traceAt(result, 1).carry());
    EXPECT_FALSE(traceAt(result, 2).carry());
    EXPECT_EQ(result.memory[0x8000], 0x11);
    EXPECT_EQ(result.memory[0x8200], 0x22);
    EXPECT_EQ(result.memory[0x9000], 0x66);
    ASSERT_EQ(machine.writes.size(), 1u);
    EXPECT_EQ(machine.writes[0].drive, 0x80);
    EXPECT_EQ(machine.writes[0].lba, 4u);
    EXPECT_EQ(machine.drives[0x80].sectors[4], filled(0x11));
}

TEST(PcModelDisk, FailuresSetCarryAndStatusAndTransferNothing) {
    Machine machine;
    machine.drives[0x80] = diskOf({0x00, 0x11, 0x22});
    machine.drives[0x81] = diskOf({0x00});
    machine.drives[0x81].extensions = false;
    machine.readFailures.push_back({0x80, 2, 1, 0x20});
    RunResult result = runAsm(machine, R"(
        mov ax, 0202h            ; LBA 1..2: the first read of LBA 2 fails
        mov cx, 0002h
        mov dx, 0080h
        mov bx, 8000h
        int 13h
        record
        mov ax, 0202h            ; the same read again succeeds
        int 13h
        record
        mov ax, 0201h            ; drive 82h is not there
        mov dl, 82h
        int 13h
        record
        mov ax, 0201h            ; beyond the end of the disk
        mov cx, 0009h
        mov dl, 80h
        mov bx, 9000h
        int 13h
        record
        mov si, packet           ; 81h offers no extended read
        mov dl, 81h
        mov ah, 42h
        int 13h
        record
        mov ax, [packet+2]
        record
        mov si, last             ; LBA FFFFFFFFh: past the end, though LBA + count wraps to 0
        mov dl, 80h
        mov ah, 42h
        int 13h
        record
        hlt
packet: db 10h, 0
        dw 1, 0A000h, 0
        dq 0
last:   db 10h, 0
        dw 1, 0B000h, 0
        dq 0FFFFFFFFh
)");
    ASSERT_EQ(result.stop, Stop::Halted);
    EXPECT_TRUE(traceAt(result, 0).carry());
    EXPECT_EQ(traceAt(result, 0).ax >> 8, 0x20);
    EXPECT_FALSE(traceAt(result, 1).carry());
    EXPECT_EQ(result.memory[0x8200], 0x22);
    EXPECT_TRUE(traceAt(result, 2).carry());
    EXPECT_NE(traceAt(result, 2).ax >> 8, 0);
    EXPECT_TRUE(traceAt(result, 3).carry());
    EXPECT_EQ(result.memory[0x9000], 0x00);
    EXPECT_TRUE(traceAt(result, 4).carry());
    EXPECT_EQ(traceAt(result, 5).ax, 0); // the packet's count says nothing was read
    EXPECT_EQ(result.memory[0xA000], 0x00);
    EXPECT_TRUE(traceAt(result, 6).carry());
    EXPECT_EQ(traceAt(result, 6).ax >> 8, 0x04);
    EXPECT_EQ(result.memory[0xB000], 0x00);
}

TEST(PcModelDisk, AnAlwaysFailingSectorFailsEveryRead) {
    Machine machine;
    machine.drives[0x80] = diskOf({0x00, 0x11});
    machine.readFailures.push_back({0x80, 1, 0, 0x04});
    RunResult result = runAsm(machine, R"(
        mov cx, 3
again:  push cx
        mov ax, 0201h
        mov cx, 0002h
        mov dx, 0080h
        mov bx, 8000h
        int 13h
        record
        pop cx
        loop again
        hlt
)");
    ASSERT_EQ(result.stop, Stop::Halted);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(traceAt(result, i).carry()) << i;
    EXPECT_EQ(result.memory[0x8000], 0x00);
}

TEST(PcModelKeyboard, PeekTakeAndWaitingForAKeyThatNeverComes) {
    Machine machine;
    machine.keys = {0x3B00};
    machine.keyboardFlags = capsLockBit;
    RunResult result = runAsm(machine, R"(
        mov ah, 01h
        int 16h
        record
        mov ah, 00h
        int 16h
        record
        mov ah, 01h
        int 16h
        record
        mov ah, 02h
        int 16h
        record
        mov ah, 00h
        int 16h
        hlt
)");
    EXPECT_EQ(result.stop, Stop::WaitingForKey);
    EXPECT_FALSE(traceAt(result, 0).zero());
    EXPECT_EQ(traceAt(result, 0).ax, 0x3B00);
    EXPECT_EQ(traceAt(result, 1).ax, 0x3B00);
    EXPECT_TRUE(traceAt(result, 2).zero());
    EXPECT_EQ(traceAt(result, 3).ax & 0xFF, capsLockBit);
    EXPECT_EQ(result.memory[0x417], capsLockBit);
}

TEST(PcModelStops, BootAddressEndsTheRunWithItsRegisters) {
    Machine machine;
    RunResult result = runAsm(machine, R"(
        mov si, 1234h
        mov dl, 81h
        jmp 0000h:7C00h
)");
    ASSERT_EQ(result.stop, Stop::BootSectorEntered);
    EXPECT_EQ(result.regs.dl(), 0x81);
    EXPECT_EQ(result.regs.si, 0x1234);
    EXPECT_EQ(result.regs.cs, 0x0000);
    EXPECT_EQ(result.regs.ip, 0x7C00);
}

TEST(PcModelStops, EntryThrough07C0IsTheSameLinearStart) {
    Machine machine;
    RunOptions options;
    options.cs = 0x07C0;
    options.ip = 0x0000;
    RunResult result = runCode(machine, assemble("jmp 0000h:7C00h"), options);
    EXPECT_EQ(result.stop, Stop::BootSectorEntered);
    EXPECT_EQ(result.steps, 2u);
}

TEST(PcModelStops, BudgetSkipAndStrayExecution) {
    Machine machine;
    RunOptions budget;
    budget.budget = 1000;
    EXPECT_EQ(runCode(machine, assemble("nop\njmp $"), budget).stop, Stop::BudgetExhausted);

    RunOptions skip;
    skip.skip = {{0x7C00 + 3, 0x7C00 + 5}};
    // 7C00: mov cx,0 / 7C03: loop $ (2^16 rounds) / 7C05: hlt
    RunResult skipped = runCode(machine, assemble("org 7C00h\nmov cx, 0\nloop $\nhlt"), skip);
    EXPECT_EQ(skipped.stop, Stop::Halted);
    EXPECT_LT(skipped.steps, 5u);

    RunOptions fenced;
    fenced.codeRanges = {{0x7C00, 0x7E00}};
    RunResult stray = runCode(machine, assemble("jmp 0000h:8000h"), fenced);
    EXPECT_EQ(stray.stop, Stop::StrayExecution);
    EXPECT_EQ(stray.address, 0x8000u);

    // Writes outside the allowed ranges, by a store, a push and a sector read, are noted;
    // what the model's BIOS writes for itself (the interrupt frame, the cursor) is not.
    machine.drives[0x80] = blankDisk(4);
    std::vector<uint8_t> counts(0x8000);
    RunOptions writes;
    writes.writeRanges = {{0x7C00, 0x7E00}, {0x9000, 0x9001}};
    writes.executedCounts = counts.data();
    RunResult written = runCode(machine, assemble(R"(org 7C00h
        xor ax, ax
        mov ds, ax
        mov byte [9000h], 1
        mov word [0A000h], 1
        mov ax, 0201h
        mov cx, 0001h
        mov dx, 0080h
        mov bx, 0B000h
        int 13h
        hlt)"),
                                writes);
    EXPECT_EQ(written.stop, Stop::Halted);
    ASSERT_EQ(written.strayWrites.size(), 16u); // the first ones only
    EXPECT_EQ(written.strayWrites[0], 0xA000u);
    EXPECT_EQ(written.strayWrites[1], 0xA001u);
    EXPECT_EQ(written.strayWrites[2], 0xB000u);
    EXPECT_EQ(counts[0x7C00], 1); // xor ax, ax: two bytes, one instruction
    EXPECT_EQ(counts[0x7C01], 0);
}

} // namespace
