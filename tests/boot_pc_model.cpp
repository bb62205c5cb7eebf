#include "boot_pc_model.h"

#include "boot_symbols.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

namespace pcmodel {

namespace {

constexpr uint32_t memorySize = 0x110000; // 1 MiB plus the high memory area reachable from FFFF:
constexpr uint16_t biosSegment = 0xF000;
constexpr uint16_t stubBase = 0x0100; // vector n has its iret at F000:0100+n
constexpr uint32_t stubLinear = biosSegment * 16u + stubBase;
constexpr uint32_t cursorWordAddress = 0x450;
constexpr uint32_t keyboardFlagsAddress = 0x417;
constexpr uint32_t bootAddress = 0x7C00;

// CHS geometry the model's BIOS reports for every hard disk.
constexpr uint32_t headsPerCylinder = 16;
constexpr uint32_t sectorsPerTrack = 63;

constexpr uint16_t carryFlag = 0x0001;
constexpr uint16_t zeroFlag = 0x0040;

struct Run {
    uc_engine* uc = nullptr;
    Machine* machine = nullptr;
    const RunOptions* options = nullptr;
    RunResult result;
    bool stopped = false;
    // Where to continue after the current stop (segment, offset). Hooks of this unicorn
    // version cannot move IP themselves: they stop the run and it is restarted there.
    struct Resume {
        uint16_t segment;
        uint16_t offset;
        bool interrupt; // entering an interrupt: the CPU clears IF and TF
    };
    std::optional<Resume> resume;
    uint32_t lastAddress = UINT32_MAX; // of the previous instruction counted or repeated
    bool keysArrived = false;
    uint64_t ticks = 0; // clock ticks shown so far
};

void continueAt(Run& run, uint16_t segment, uint16_t offset, bool interrupt = false) {
    run.resume = Run::Resume{segment, offset, interrupt};
    uc_emu_stop(run.uc);
}

uint16_t reg(uc_engine* uc, int id) {
    uint64_t value = 0;
    uc_reg_read(uc, id, &value);
    return static_cast<uint16_t>(value);
}

void setReg(uc_engine* uc, int id, uint16_t value) {
    uint64_t wide = value;
    uc_reg_write(uc, id, &wide);
}

uint8_t hi(uint16_t value) {
    return value >> 8;
}
uint8_t lo(uint16_t value) {
    return value & 0xFF;
}
void setHi(uc_engine* uc, int id, uint8_t value) {
    setReg(uc, id, static_cast<uint16_t>((reg(uc, id) & 0x00FF) | (value << 8)));
}
void setLo(uc_engine* uc, int id, uint8_t value) {
    setReg(uc, id, static_cast<uint16_t>((reg(uc, id) & 0xFF00) | value));
}

uint8_t readByte(uc_engine* uc, uint32_t address) {
    uint8_t value = 0;
    uc_mem_read(uc, address, &value, 1);
    return value;
}
uint16_t readWordAt(uc_engine* uc, uint32_t address) {
    uint8_t bytes[2] = {};
    uc_mem_read(uc, address, bytes, 2);
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}
void writeByte(uc_engine* uc, uint32_t address, uint8_t value) {
    uc_mem_write(uc, address, &value, 1);
}
void writeWordAt(uc_engine* uc, uint32_t address, uint16_t value) {
    uint8_t bytes[2] = {lo(value), hi(value)};
    uc_mem_write(uc, address, bytes, 2);
}

uint32_t linear(uint16_t segment, uint16_t offset) {
    return segment * 16u + offset;
}

Registers readRegisters(uc_engine* uc) {
    Registers r{};
    r.ax = reg(uc, UC_X86_REG_AX);
    r.bx = reg(uc, UC_X86_REG_BX);
    r.cx = reg(uc, UC_X86_REG_CX);
    r.dx = reg(uc, UC_X86_REG_DX);
    r.si = reg(uc, UC_X86_REG_SI);
    r.di = reg(uc, UC_X86_REG_DI);
    r.bp = reg(uc, UC_X86_REG_BP);
    r.sp = reg(uc, UC_X86_REG_SP);
    r.cs = reg(uc, UC_X86_REG_CS);
    r.ds = reg(uc, UC_X86_REG_DS);
    r.es = reg(uc, UC_X86_REG_ES);
    r.ss = reg(uc, UC_X86_REG_SS);
    r.ip = reg(uc, UC_X86_REG_IP);
    r.flags = reg(uc, UC_X86_REG_EFLAGS);
    return r;
}

void stopRun(Run& run, Stop stop, uint32_t address) {
    run.stopped = true;
    run.result.stop = stop;
    run.result.address = address;
    run.result.regs = readRegisters(run.uc);
    run.result.memory.resize(0x10000);
    uc_mem_read(run.uc, 0, run.result.memory.data(), run.result.memory.size());
    std::copy_n(run.result.memory.begin() + bootAddress, 512, run.result.atBootSector.begin());
    uc_emu_stop(run.uc);
}

// The saved FLAGS of the interrupt frame the stub returns through.
uint32_t savedFlagsAddress(uc_engine* uc) {
    return linear(reg(uc, UC_X86_REG_SS), static_cast<uint16_t>(reg(uc, UC_X86_REG_SP) + 4));
}
void setSavedFlag(uc_engine* uc, uint16_t flag, bool set) {
    uint32_t at = savedFlagsAddress(uc);
    uint16_t flags = readWordAt(uc, at);
    writeWordAt(uc, at, set ? (flags | flag) : (flags & ~flag));
}

// ---- INT 10h: text screen ------------------------------------------------------------------

int cursorPosition(uc_engine* uc) {
    uint16_t word = readWordAt(uc, cursorWordAddress);
    return hi(word) * screenColumns + lo(word);
}
void setCursorPosition(uc_engine* uc, int position) {
    writeWordAt(
        uc, cursorWordAddress,
        static_cast<uint16_t>(((position / screenColumns) << 8) | (position % screenColumns)));
}

void scrollUp(Screen& screen) {
    std::copy(screen.cells.begin() + screenColumns, screen.cells.end(), screen.cells.begin());
    std::fill(screen.cells.end() - screenColumns, screen.cells.end(), Cell{' ', 0x07});
}

void teletype(Run& run, uint8_t ch) {
    Screen& screen = run.machine->screen;
    int position = cursorPosition(run.uc);
    int row = position / screenColumns;
    int column = position % screenColumns;
    run.machine->video.push_back({0x0E, ch, 0, 1, row, column});
    switch (ch) {
    case 0x07:
        return;
    case 0x08:
        if (column > 0) --column;
        break;
    case 0x0A:
        ++row;
        break;
    case 0x0D:
        column = 0;
        break;
    default:
        if (row < screenRows) {
            Cell& cell = screen.cells[row * screenColumns + column];
            cell.ch = ch;
            run.machine->video.back().attr = cell.attr;
        }
        if (++column >= screenColumns) {
            column = 0;
            ++row;
        }
        break;
    }
    while (row >= screenRows) {
        scrollUp(screen);
        --row;
    }
    setCursorPosition(run.uc, row * screenColumns + column);
}

void videoService(Run& run) {
    uc_engine* uc = run.uc;
    uint16_t ax = reg(uc, UC_X86_REG_AX);
    uint16_t bx = reg(uc, UC_X86_REG_BX);
    uint16_t cx = reg(uc, UC_X86_REG_CX);
    uint16_t dx = reg(uc, UC_X86_REG_DX);
    Screen& screen = run.machine->screen;
    switch (hi(ax)) {
    case 0x02:
        setCursorPosition(uc, hi(dx) * screenColumns + lo(dx));
        return;
    case 0x03: {
        uint16_t word = readWordAt(uc, cursorWordAddress);
        setReg(uc, UC_X86_REG_DX, word);
        setReg(uc, UC_X86_REG_CX, 0x0607);
        return;
    }
    case 0x09:
    case 0x0A: {
        if (hi(bx) != 0) run.machine->unhandled.push_back("INT 10h write on a page other than 0");
        int position = cursorPosition(uc);
        run.machine->video.push_back(
            {hi(ax), lo(ax), lo(bx), cx, position / screenColumns, position % screenColumns});
        for (int i = 0; i < cx && position + i < screenColumns * screenRows; ++i) {
            Cell& cell = screen.cells[position + i];
            cell.ch = lo(ax);
            if (hi(ax) == 0x09) cell.attr = lo(bx);
        }
        return;
    }
    case 0x0E:
        teletype(run, lo(ax));
        return;
    case 0x0F:
        setReg(uc, UC_X86_REG_AX, 0x5003);
        setHi(uc, UC_X86_REG_BX, 0);
        return;
    default: {
        char text[64];
        std::snprintf(text, sizeof text, "INT 10h AH=%02Xh", hi(ax));
        run.machine->unhandled.push_back(text);
        return;
    }
    }
}

// ---- INT 13h: hard disks -------------------------------------------------------------------

bool injectedFailure(std::vector<ReadFailure>& rules, uint8_t drive, uint32_t lba, uint32_t count,
                     uint8_t& status) {
    bool fail = false;
    for (ReadFailure& rule : rules) {
        if (rule.drive != drive) continue;
        if (rule.lba && (*rule.lba < lba || *rule.lba >= lba + count)) continue;
        ++rule.seen;
        if (rule.nth == 0 || rule.seen == rule.nth) {
            if (!fail) status = rule.status;
            fail = true;
        }
    }
    return fail;
}

// Moves `count` sectors between disk and memory; returns the BIOS status (0 = done).
bool inRanges(const std::vector<std::pair<uint32_t, uint32_t>>& ranges, uint32_t address);

// Notes the bytes `address`..`address + size - 1` that the program writes where it may not.
void noteWrite(Run& run, uint32_t address, uint32_t size) {
    constexpr size_t kept = 16;
    if (run.options->writeRanges.empty()) return;
    for (uint32_t i = 0; i < size && run.result.strayWrites.size() < kept; ++i)
        if (!inRanges(run.options->writeRanges, address + i))
            run.result.strayWrites.push_back(address + i);
}

uint8_t transfer(Run& run, bool write, uint8_t drive, uint32_t lba, uint32_t count,
                 uint32_t address) {
    auto found = run.machine->drives.find(drive);
    if (found == run.machine->drives.end()) return 0x01;
    Disk& disk = found->second;
    if (count == 0) return 0x01;
    if (uint64_t{lba} + count > disk.sectors.size()) return 0x04;
    uint8_t status = 0;
    if (injectedFailure(write ? run.machine->writeFailures : run.machine->readFailures, drive, lba,
                        count, status))
        return status;
    for (uint32_t i = 0; i < count; ++i) {
        Sector& sector = disk.sectors[lba + i];
        uint32_t at = address + i * 512;
        if (write) {
            uc_mem_read(run.uc, at, sector.data(), sector.size());
            run.machine->writes.push_back({drive, lba + i, sector});
        } else {
            noteWrite(run, at, static_cast<uint32_t>(sector.size()));
            uc_mem_write(run.uc, at, sector.data(), sector.size());
        }
    }
    return 0;
}

void finishDiskCall(Run& run, uint8_t status) {
    setHi(run.uc, UC_X86_REG_AX, status);
    setSavedFlag(run.uc, carryFlag, status != 0);
}

void diskService(Run& run) {
    uc_engine* uc = run.uc;
    uint16_t ax = reg(uc, UC_X86_REG_AX);
    uint16_t cx = reg(uc, UC_X86_REG_CX);
    uint16_t dx = reg(uc, UC_X86_REG_DX);
    uint8_t drive = lo(dx);
    bool present = run.machine->drives.count(drive) != 0;
    switch (hi(ax)) {
    case 0x00:
        run.machine->diskCalls.push_back({0x00, drive, 0, 0, present});
        finishDiskCall(run, present ? 0 : 0x01);
        return;
    case 0x02:
    case 0x03: {
        uint32_t cylinder = hi(cx) | ((lo(cx) & 0xC0u) << 2);
        uint32_t sector = lo(cx) & 0x3F;
        uint32_t head = hi(dx);
        uint8_t count = lo(ax);
        uint8_t status = 0x01;
        uint32_t lba = 0;
        if (sector >= 1 && sector <= sectorsPerTrack && head < headsPerCylinder) {
            lba = (cylinder * headsPerCylinder + head) * sectorsPerTrack + sector - 1;
            uint32_t buffer = linear(reg(uc, UC_X86_REG_ES), reg(uc, UC_X86_REG_BX));
            status = transfer(run, hi(ax) == 0x03, drive, lba, count, buffer);
        }
        run.machine->diskCalls.push_back({hi(ax), drive, lba, count, status == 0});
        setLo(uc, UC_X86_REG_AX, status == 0 ? count : 0);
        finishDiskCall(run, status);
        return;
    }
    case 0x41:
        if (present && run.machine->drives[drive].extensions && reg(uc, UC_X86_REG_BX) == 0x55AA) {
            setReg(uc, UC_X86_REG_BX, 0xAA55);
            setReg(uc, UC_X86_REG_CX, 0x0001);
            finishDiskCall(run, 0x30);
            setSavedFlag(uc, carryFlag, false);
        } else {
            finishDiskCall(run, 0x01);
        }
        return;
    case 0x42:
    case 0x43: {
        uint32_t packet = linear(reg(uc, UC_X86_REG_DS), reg(uc, UC_X86_REG_SI));
        uint16_t count = readWordAt(uc, packet + 2);
        uint32_t buffer = linear(readWordAt(uc, packet + 6), readWordAt(uc, packet + 4));
        uint64_t lba = 0;
        uc_mem_read(uc, packet + 8, &lba, 8);
        uint8_t status = 0x01;
        if (present && run.machine->drives[drive].extensions && readByte(uc, packet) >= 0x10) {
            status = lba > 0xFFFFFFFFu ? 0x04
                                       : transfer(run, hi(ax) == 0x43, drive,
                                                  static_cast<uint32_t>(lba), count, buffer);
        }
        if (status != 0) writeWordAt(uc, packet + 2, 0);
        run.machine->diskCalls.push_back(
            {hi(ax), drive, static_cast<uint32_t>(lba), count, status == 0});
        finishDiskCall(run, status);
        if (present && !run.machine->drives[drive].extensions &&
            !run.machine->drives[drive].carryOnUnknownFunction)
            setSavedFlag(uc, carryFlag, false);
        return;
    }
    default: {
        char text[64];
        std::snprintf(text, sizeof text, "INT 13h AH=%02Xh", hi(ax));
        run.machine->unhandled.push_back(text);
        finishDiskCall(run, 0x01);
        return;
    }
    }
}

// ---- INT 16h: keyboard ---------------------------------------------------------------------

// The BIOS keyboard buffer in the data area: head and tail words (offsets from 0040:0000) and
// 16 words of ring from 0040:001E; head = tail when it is empty. The model keeps the keys that
// have arrived in it from the ring's start, as many as fit (15).
constexpr uint32_t keyHeadAddress = 0x41A;
constexpr uint32_t keyTailAddress = 0x41C;
constexpr uint16_t keyRingStart = 0x1E;
constexpr size_t keyRingKeys = 15;

void showKeysInBuffer(Run& run) {
    const std::deque<uint16_t>& keys = run.machine->keys;
    size_t shown = run.keysArrived ? std::min(keys.size(), keyRingKeys) : 0;
    for (size_t i = 0; i < shown; ++i) writeWordAt(run.uc, 0x400 + keyRingStart + 2 * i, keys[i]);
    writeWordAt(run.uc, keyHeadAddress, keyRingStart);
    writeWordAt(run.uc, keyTailAddress, static_cast<uint16_t>(keyRingStart + 2 * shown));
}

void keyboardService(Run& run, uint32_t address) {
    uc_engine* uc = run.uc;
    uint8_t function = hi(reg(uc, UC_X86_REG_AX));
    std::deque<uint16_t>& keys = run.machine->keys;
    switch (function) {
    case 0x00:
    case 0x10:
        if (keys.empty()) {
            stopRun(run, Stop::WaitingForKey, address);
            return;
        }
        run.keysArrived = true; // the wait lasts until they come
        setReg(uc, UC_X86_REG_AX, keys.front());
        keys.pop_front();
        showKeysInBuffer(run);
        return;
    case 0x01:
    case 0x11: {
        bool none = keys.empty() || !run.keysArrived;
        if (!none) setReg(uc, UC_X86_REG_AX, keys.front());
        setSavedFlag(uc, zeroFlag, none);
        return;
    }
    case 0x02:
    case 0x12:
        setLo(uc, UC_X86_REG_AX, readByte(uc, keyboardFlagsAddress));
        return;
    default: {
        char text[64];
        std::snprintf(text, sizeof text, "INT 16h AH=%02Xh", function);
        run.machine->unhandled.push_back(text);
        return;
    }
    }
}

// ---- the interrupt mechanism ---------------------------------------------------------------

// `int n` at `address`: push the frame a real CPU pushes and continue in the stub of vector n,
// where serveInterrupt runs before the stub's iret.
void enterInterrupt(Run& run, uint8_t vector, uint32_t address) {
    uc_engine* uc = run.uc;
    uint16_t cs = reg(uc, UC_X86_REG_CS);
    uint16_t returnIp = static_cast<uint16_t>(address - cs * 16u + 2);
    uint16_t ss = reg(uc, UC_X86_REG_SS);
    uint16_t sp = reg(uc, UC_X86_REG_SP);
    uint16_t flags = reg(uc, UC_X86_REG_EFLAGS);
    sp -= 2;
    writeWordAt(uc, linear(ss, sp), flags);
    sp -= 2;
    writeWordAt(uc, linear(ss, sp), cs);
    sp -= 2;
    writeWordAt(uc, linear(ss, sp), returnIp);
    setReg(uc, UC_X86_REG_SP, sp);
    continueAt(run, readWordAt(uc, vector * 4u + 2), readWordAt(uc, vector * 4u), true);
}

void serveInterrupt(Run& run, uint8_t vector) {
    uc_engine* uc = run.uc;
    uint32_t frame = linear(reg(uc, UC_X86_REG_SS), reg(uc, UC_X86_REG_SP));
    uint32_t caller = linear(readWordAt(uc, frame + 2), readWordAt(uc, frame)) - 2;
    switch (vector) {
    case 0x10:
        videoService(run);
        return;
    case 0x13:
        diskService(run);
        return;
    case 0x16:
        keyboardService(run, caller);
        return;
    default: {
        char text[64];
        std::snprintf(text, sizeof text, "INT %02Xh", vector);
        run.machine->unhandled.push_back(text);
        return;
    }
    }
}

bool inRanges(const std::vector<std::pair<uint32_t, uint32_t>>& ranges, uint32_t address) {
    if (ranges.empty()) return true;
    for (auto [from, to] : ranges)
        if (address >= from && address < to) return true;
    return false;
}

// Does the instruction at `address` carry a REP/REPNE prefix (among segment overrides)?
bool repeatPrefixed(uc_engine* uc, uint32_t address) {
    for (int i = 0; i < 4; ++i) {
        switch (readByte(uc, address + i)) {
        case 0xF2:
        case 0xF3:
            return true;
        case 0x26:
        case 0x2E:
        case 0x36:
        case 0x3E:
            continue;
        default:
            return false;
        }
    }
    return false;
}

// The BIOS clock: its count once `ticks` have passed since the start.
constexpr uint32_t clockAddress = 0x46C;
constexpr uint32_t clockMidnightFlag = 0x470;
constexpr uint64_t ticksPerDay = 0x1800B0;

void showClock(uc_engine* uc, const Machine& machine, uint64_t ticks) {
    const uint64_t count = machine.clockAtStart + ticks;
    writeWordAt(uc, clockAddress, static_cast<uint16_t>(count % ticksPerDay));
    writeWordAt(uc, clockAddress + 2, static_cast<uint16_t>(count % ticksPerDay >> 16));
    writeByte(uc, clockMidnightFlag, count >= ticksPerDay ? 1 : 0);
}

void onCode(uc_engine* uc, uint64_t address64, uint32_t /*size*/, void* user) {
    Run& run = *static_cast<Run*>(user);
    if (run.stopped) {
        uc_emu_stop(uc);
        return;
    }
    uint32_t address = static_cast<uint32_t>(address64);
    uint64_t step = ++run.result.steps;
    if (step > run.options->budget) {
        stopRun(run, Stop::BudgetExhausted, address);
        return;
    }
    if (address >= stubLinear && address < stubLinear + 256) {
        serveInterrupt(run, static_cast<uint8_t>(address - stubLinear));
        if (!run.stopped) ++run.result.biosInstructions;
        return;
    }
    if (address == bootAddress && step > 1) {
        stopRun(run, Stop::BootSectorEntered, address);
        return;
    }
    if (run.options->skip && address == run.options->skip->first) {
        uint16_t cs = reg(uc, UC_X86_REG_CS);
        continueAt(run, cs, static_cast<uint16_t>(run.options->skip->second - cs * 16u));
        return;
    }
    if (!inRanges(run.options->codeRanges, address)) {
        stopRun(run, Stop::StrayExecution, address);
        return;
    }
    if (!run.keysArrived && run.result.instructions >= run.machine->keysArriveAfter) {
        run.keysArrived = true;
        showKeysInBuffer(run);
    }
    if (run.machine->instructionsPerTick != 0 &&
        run.result.instructions / run.machine->instructionsPerTick != run.ticks) {
        run.ticks = run.result.instructions / run.machine->instructionsPerTick;
        showClock(uc, *run.machine, run.ticks);
    }
    if (run.options->countDownLoop && address == *run.options->countDownLoop &&
        reg(uc, UC_X86_REG_CX) == 0) {
        setReg(uc, UC_X86_REG_CX, 1);
        run.result.instructions += 65535 * 2;
    }
    if (run.options->executedCounts && address < 0x8000 &&
        run.options->executedCounts[address] != 0xFF)
        ++run.options->executedCounts[address];
    uint8_t opcode = readByte(uc, address);
    if (opcode == 0xF4) {
        stopRun(run, Stop::Halted, address);
        return;
    }
    // A repeated string instruction comes back here for every round, and once more when CX
    // has run out, always at the same address.
    if (address != run.lastAddress || !repeatPrefixed(uc, address)) ++run.result.instructions;
    run.lastAddress = address;
    if (opcode == 0xCD) enterInterrupt(run, readByte(uc, address + 1), address);
}

void onWrite(uc_engine*, uc_mem_type, uint64_t address, int size, int64_t, void* user) {
    Run& run = *static_cast<Run*>(user);
    noteWrite(run, static_cast<uint32_t>(address), static_cast<uint32_t>(size));
}

void setUpBios(uc_engine* uc, const Machine& machine) {
    for (uint32_t vector = 0; vector < 256; ++vector) {
        writeWordAt(uc, vector * 4, static_cast<uint16_t>(stubBase + vector));
        writeWordAt(uc, vector * 4 + 2, biosSegment);
        writeByte(uc, stubLinear + vector, 0xCF); // iret
    }
    writeByte(uc, keyboardFlagsAddress, machine.keyboardFlags);
    writeByte(uc, 0x449, 0x03); // video mode: 80x25 colour text
    writeWordAt(uc, 0x44A, screenColumns);
    writeWordAt(uc, cursorWordAddress,
                static_cast<uint16_t>((machine.cursorRow << 8) | machine.cursorColumn));
    writeWordAt(uc, 0x460, 0x0607);
    writeByte(uc, 0x462, 0);
    writeByte(uc, 0x475, static_cast<uint8_t>(machine.drives.size()));
    writeByte(uc, 0x484, screenRows - 1);
    showClock(uc, machine, 0);
}

RunResult execute(Machine& machine, const Sector* bootSector, const std::vector<uint8_t>* code,
                  const RunOptions& options) {
    Run run;
    run.machine = &machine;
    run.options = &options;
    uc_err err = uc_open(UC_ARCH_X86, UC_MODE_16, &run.uc);
    if (err != UC_ERR_OK) throw std::runtime_error(uc_strerror(err));
    uc_engine* uc = run.uc;
    uc_mem_map(uc, 0, memorySize, UC_PROT_ALL);
    setUpBios(uc, machine);
    run.keysArrived = machine.keysArriveAfter == 0;
    showKeysInBuffer(run);
    if (bootSector) uc_mem_write(uc, bootAddress, bootSector->data(), bootSector->size());
    if (code) uc_mem_write(uc, bootAddress, code->data(), code->size());

    // What the firmware leaves: interrupts on, a stack of its own, DL = boot drive.
    setReg(uc, UC_X86_REG_DX, options.dl);
    setReg(uc, UC_X86_REG_SS, 0x0030);
    setReg(uc, UC_X86_REG_SP, 0x00FC);
    setReg(uc, UC_X86_REG_DS, 0x0040);
    setReg(uc, UC_X86_REG_ES, 0x0000);
    setReg(uc, UC_X86_REG_EFLAGS, 0x0202);
    setReg(uc, UC_X86_REG_CS, options.cs);

    uc_hook hook;
    uc_hook_add(uc, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(&onCode), &run, 1, 0);
    uc_hook writeHook;
    if (!options.writeRanges.empty())
        uc_hook_add(uc, &writeHook, UC_HOOK_MEM_WRITE, reinterpret_cast<void*>(&onWrite), &run, 1,
                    0);
    uint32_t start = linear(options.cs, options.ip);
    for (;;) {
        err = uc_emu_start(uc, start, UINT64_MAX, 0, 0); // the budget bounds the run
        if (run.stopped || err != UC_ERR_OK || !run.resume) break;
        Run::Resume resume = *run.resume;
        run.resume.reset();
        if (resume.interrupt) setReg(uc, UC_X86_REG_EFLAGS, reg(uc, UC_X86_REG_EFLAGS) & ~0x0300);
        setReg(uc, UC_X86_REG_CS, resume.segment);
        start = linear(resume.segment, resume.offset);
    }
    if (!run.stopped) {
        run.result.error = err != UC_ERR_OK ? uc_strerror(err) : "emulation ended by itself";
        Registers regs = readRegisters(uc);
        stopRun(run, Stop::EmulatorError, linear(regs.cs, regs.ip));
    }
    uint16_t cursor = readWordAt(uc, cursorWordAddress);
    machine.cursorRow = hi(cursor);
    machine.cursorColumn = lo(cursor);
    uc_close(uc);
    return run.result;
}

} // namespace

void Screen::clear(uint8_t attr) {
    cells.fill(Cell{' ', attr});
}

std::string Screen::text(int row) const {
    std::string line;
    for (int column = 0; column < screenColumns; ++column)
        line.push_back(static_cast<char>(cells[row * screenColumns + column].ch));
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
}

const char* stopName(Stop stop) {
    switch (stop) {
    case Stop::BootSectorEntered:
        return "boot sector entered";
    case Stop::Halted:
        return "halted";
    case Stop::WaitingForKey:
        return "waiting for key";
    case Stop::BudgetExhausted:
        return "instruction budget exhausted";
    case Stop::StrayExecution:
        return "stray execution";
    case Stop::EmulatorError:
        return "emulator error";
    }
    return "?";
}

RunResult boot(Machine& machine, const RunOptions& options) {
    auto drive = machine.drives.find(0x80);
    if (drive == machine.drives.end() || drive->second.sectors.empty())
        throw std::runtime_error("no first disk to boot from");
    Sector first = drive->second.sectors[0];
    return execute(machine, &first, nullptr, options);
}

RunResult runCode(Machine& machine, const std::vector<uint8_t>& code, const RunOptions& options) {
    return execute(machine, nullptr, &code, options);
}

Sector zeroSector() {
    return Sector{};
}

Disk blankDisk(size_t sectorCount) {
    Disk disk;
    disk.sectors.assign(sectorCount, Sector{});
    return disk;
}

uint16_t readWord(const std::vector<uint8_t>& memory, uint32_t address) {
    return static_cast<uint16_t>(memory.at(address) | (memory.at(address + 1) << 8));
}

Sector sectorAt(const std::vector<uint8_t>& memory, uint32_t address) {
    Sector sector{};
    std::copy_n(memory.begin() + address, sector.size(), sector.begin());
    return sector;
}

std::vector<uint8_t> assemble(const std::string& source) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("boot_tests_asm_" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::path input = dir / "program.asm";
    fs::path output = dir / "program.bin";
    std::ofstream(input) << "bits 16\n" << source << "\n";
    fs::remove(output);
    std::string command =
        std::string(VELTRA_NASM) + " -f bin -o " + output.string() + " " + input.string();
    if (std::system(command.c_str()) != 0) throw std::runtime_error("nasm failed:\n" + source);
    std::ifstream in(output, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    fs::remove_all(dir);
    return bytes;
}

} // namespace pcmodel

namespace bootdisk {

using pcmodel::Disk;
using pcmodel::Machine;
using pcmodel::RunOptions;
using pcmodel::RunResult;

Entry part(uint8_t type, uint32_t start) {
    return Entry{0x00, type, start};
}
Entry activePart(uint8_t type, uint32_t start) {
    return Entry{0x80, type, start};
}

std::string describe(const Table& table) {
    std::string text;
    char buffer[48];
    for (const Entry& entry : table) {
        std::snprintf(buffer, sizeof buffer, "[%02X %02X %u] ", entry.boot, entry.type,
                      entry.start);
        text += buffer;
    }
    return text;
}

std::ostream& operator<<(std::ostream& out, const Entry& entry) {
    char text[32];
    std::snprintf(text, sizeof text, "[%02X %02X %u]", entry.boot, entry.type, entry.start);
    return out << text;
}

namespace {
std::vector<uint8_t> programFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> data{std::istreambuf_iterator<char>(in), {}};
    if (data.size() != 2048)
        throw std::runtime_error(std::string("boot program ") + path + " is not 2048 bytes");
    return data;
}
} // namespace

const std::vector<uint8_t>& program(bool english) {
    static const std::vector<uint8_t> dutch = programFile(VELTRA_BOOT_BIN);
    static const std::vector<uint8_t> inEnglish = programFile(VELTRA_BOOT_BIN_EN);
    return english ? inEnglish : dutch;
}

namespace {
Sector imageSector(int image, bool english = false) {
    Sector sector;
    std::copy_n(program(english).begin() + image * 512, 512, sector.begin());
    return sector;
}

void putEntry(Sector& sector, int index, const Entry& entry) {
    uint8_t* at = sector.data() + tableOffset + 16 * index;
    at[0] = entry.boot;
    at[4] = entry.type;
    for (int i = 0; i < 4; ++i) at[8 + i] = static_cast<uint8_t>(entry.start >> (8 * i));
    // CHS fields and size: some bytes that must pass through unchanged
    at[1] = 0x20 + index;
    at[2] = 0x21;
    at[3] = 0x00;
    at[5] = 0xFE;
    at[6] = 0xFF;
    at[7] = 0xFF;
    at[12] = 0x00;
    at[13] = 0x10;
    at[14] = 0x00;
    at[15] = 0x00;
}
} // namespace

Sector stage1(uint8_t defaultKey, bool english) {
    Sector sector = imageSector(0, english);
    sector[defaultKeyOffset] = defaultKey;
    return sector;
}

Sector savedMbr() {
    Sector sector{};
    for (size_t i = 0; i < tableBlockOffset; ++i) sector[i] = static_cast<uint8_t>(i * 7 + 0x31);
    const char* tag = "kept boot code";
    std::copy_n(tag, std::strlen(tag), sector.begin() + 3);
    for (size_t i = tableBlockOffset; i < tableOffset; ++i) sector[i] = 0xEE;
    sector = withTable(sector, Table{activePart(0x06, 63), part(0x0B, 900), empty, empty});
    sector[510] = 0x55;
    sector[511] = 0xAA;
    return sector;
}

Sector withOwnBytes(Sector sector) {
    const uint8_t own[14] = {0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, // 1B0h..1B7h
                             0x78, 0x56, 0x34, 0x12,                         // signature
                             0x5A, 0xA5};                                    // 1BCh..1BDh
    std::copy_n(own, sizeof own, sector.begin() + tableBlockOffset);
    sector[510] = 0x55;
    sector[511] = 0xAA;
    return sector;
}

Sector withTable(Sector sector, const Table& table) {
    for (int i = 0; i < 4; ++i) putEntry(sector, i, table[i]);
    return sector;
}

Table tableOf(const Sector& sector) {
    Table table;
    for (int i = 0; i < 4; ++i) {
        const uint8_t* at = sector.data() + tableOffset + 16 * i;
        table[i].boot = at[0];
        table[i].type = at[4];
        table[i].start = at[8] | (at[9] << 8) | (at[10] << 16) | (uint32_t(at[11]) << 24);
    }
    return table;
}

Sector withTableBlockOf(Sector code, const Sector& blockSource) {
    std::copy(blockSource.begin() + tableBlockOffset, blockSource.end(),
              code.begin() + tableBlockOffset);
    return code;
}

Sector partitionSector(uint8_t drive, uint32_t lba) {
    Sector sector{};
    for (size_t i = 0; i < sector.size(); ++i) sector[i] = static_cast<uint8_t>(drive + lba + i);
    char tag[40];
    int length = std::snprintf(tag, sizeof tag, "partition of %02Xh at %u", drive, lba);
    std::copy_n(tag, length, sector.begin() + 3);
    sector[510] = 0x55;
    sector[511] = 0xAA;
    return sector;
}

std::string difference(const Sector& actual, const Sector& expected) {
    for (size_t i = 0; i < actual.size(); ++i) {
        if (actual[i] != expected[i]) {
            char text[80];
            std::snprintf(text, sizeof text, "differs first at %03zXh: %02Xh, expected %02Xh", i,
                          actual[i], expected[i]);
            return text;
        }
    }
    return "";
}

std::array<uint8_t, 3> chsBytes(uint32_t lba) {
    constexpr uint32_t heads = 16, sectors = 63;
    uint32_t cylinder = lba / (heads * sectors);
    if (cylinder > 1023) return {0xFE, 0xFF, 0xFF};
    uint32_t head = lba / sectors % heads;
    uint32_t sector = lba % sectors + 1;
    return {static_cast<uint8_t>(head), static_cast<uint8_t>(sector | (cylinder >> 2 & 0xC0)),
            static_cast<uint8_t>(cylinder)};
}

Sector withStartChs(Sector sector, int index, std::array<uint8_t, 3> chs) {
    std::copy(chs.begin(), chs.end(), sector.begin() + tableOffset + 16 * index + 1);
    return sector;
}

Disk installedDisk(const Table& table, uint8_t defaultKey, bool english) {
    Disk disk = pcmodel::blankDisk(64);
    disk.sectors[0] = withTable(withOwnBytes(stage1(defaultKey, english)), table);
    disk.sectors[1] = savedMbr();
    for (int image = 1; image <= 3; ++image) disk.sectors[1 + image] = imageSector(image, english);
    return disk;
}

Disk otherDisk(uint8_t drive, const Table& table) {
    uint32_t last = 0;
    for (const Entry& entry : table) last = std::max(last, entry.start);
    Disk disk = pcmodel::blankDisk(std::min<uint32_t>(last + 1, 4096));
    disk.sectors[0] = withTable(withOwnBytes(Sector{}), table);
    for (int i = 0; i < 4; ++i)
        disk.sectors[0] = withStartChs(disk.sectors[0], i, chsBytes(table[i].start));
    for (const Entry& entry : table)
        if (entry.start != 0 && entry.start < disk.sectors.size())
            disk.sectors[entry.start] = partitionSector(drive, entry.start);
    return disk;
}

RunOptions bootOptions() {
    RunOptions options;
    options.skip = {{bootsym::pauseBegin, bootsym::pauseEnd}};
    options.codeRanges = {{0x0600, 0x0E00}, {0x7C00, 0x7E00}};
    options.budget = 2'000'000;
    return options;
}

RunOptions pauseOptions() {
    RunOptions options = bootOptions();
    options.skip.reset();
    options.countDownLoop = bootsym::pauseSpin;
    return options;
}

RunResult start(Machine& machine, std::vector<uint16_t> keys, RunOptions options) {
    machine.keys.assign(keys.begin(), keys.end());
    return pcmodel::boot(machine, options);
}

BootPc::BootPc(const Table& table, uint8_t defaultKey, bool english) {
    machine.drives[0x80] = installedDisk(table, defaultKey, english);
    lba0Before = machine.drives[0x80].sectors[0];
}

RunResult BootPc::run(std::vector<uint16_t> keys) {
    return start(machine, std::move(keys));
}

const Sector& BootPc::lba(uint32_t n, uint8_t drive) const {
    return machine.drives.at(drive).sectors.at(n);
}

std::string firstDiskStartFault(const BootPc& boot, const RunResult& result) {
    if (result.stop != pcmodel::Stop::BootSectorEntered) return describe(result, boot.machine);
    const auto& writes = boot.machine.writes;
    if (writes.size() > 1 ||
        (writes.size() == 1 && (writes[0].drive != 0x80 || writes[0].lba != 0)))
        return std::to_string(writes.size()) + " sector writes instead of one of LBA 0 or none";
    std::string fault = difference(boot.lba(0), withTable(boot.lba0Before, boot.liveTable()));
    if (!fault.empty()) return "LBA 0 " + fault;
    fault = difference(result.atBootSector, withTableBlockOf(savedMbr(), boot.lba(0)));
    if (!fault.empty()) return "7C00h " + fault;
    if (result.regs.dl() != 0x80) return "DL is not 80h";
    return "";
}

std::string describe(const RunResult& result, const Machine& machine) {
    char head[120];
    std::snprintf(head, sizeof head, "stopped: %s at %05Xh after %llu steps %s\n",
                  pcmodel::stopName(result.stop), result.address,
                  static_cast<unsigned long long>(result.steps), result.error.c_str());
    std::string text = head;
    for (const std::string& line : shownLines(machine)) text += "  |" + line + "\n";
    return text;
}

std::vector<std::string> shownLines(const Machine& machine) {
    std::vector<std::string> lines;
    for (int row = 0; row < pcmodel::screenRows; ++row) {
        std::string line = machine.screen.text(row);
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

} // namespace bootdisk
