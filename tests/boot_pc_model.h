// A small emulated BIOS PC for running the boot program under test: real-mode x86 (unicorn),
// 1 MiB of memory, a text screen, up to four hard disks and a keyboard queue.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace pcmodel {

using Sector = std::array<uint8_t, 512>;

struct Disk {
    std::vector<Sector> sectors;
    bool extensions = true; // answers INT 13h AH=41h/42h
    // Without extensions: whether AH=42h still reports its failure by the carry flag. Some old
    // BIOSes return from a function they do not know with the carry clear.
    bool carryOnUnknownFunction = true;
};

// Makes reads of a drive fail. `lba` empty: any sector; a read of several sectors fails when one
// of them matches. `nth` 0: every matching read fails; n: only the n-th matching read.
struct ReadFailure {
    uint8_t drive = 0x80;
    std::optional<uint32_t> lba;
    int nth = 0;
    uint8_t status = 0x04; // AH returned: sector not found
    int seen = 0;
};

struct SectorWrite {
    uint8_t drive;
    uint32_t lba;
    Sector bytes;
};

struct DiskCall {
    uint8_t function; // AH
    uint8_t drive;
    uint32_t lba;
    uint16_t count;
    bool ok;
};

struct Cell {
    uint8_t ch = ' ';
    uint8_t attr = 0x07;
};

constexpr int screenColumns = 80;
constexpr int screenRows = 25;

struct Screen {
    std::array<Cell, screenColumns * screenRows> cells{};
    void clear(uint8_t attr);
    // The characters of a row, trailing blanks removed.
    std::string text(int row) const;
    uint8_t attr(int row, int column) const { return cells[row * screenColumns + column].attr; }
    uint8_t ch(int row, int column) const { return cells[row * screenColumns + column].ch; }
};

// One character output through INT 10h, in call order.
struct VideoWrite {
    uint8_t function; // 09h or 0Eh
    uint8_t ch;
    uint8_t attr; // BL for 09h, the cell's attribute for 0Eh
    uint16_t count;
    int row;
    int column;
};

enum class Stop {
    BootSectorEntered, // control came back to linear 7C00h after the start
    Halted,            // a hlt instruction
    WaitingForKey,     // INT 16h AH=00h with the key list exhausted
    BudgetExhausted,   // instruction budget used up
    StrayExecution,    // code ran outside the boot program's memory and the BIOS stubs
    EmulatorError,     // unicorn stopped with an error
};

const char* stopName(Stop stop);

struct Registers {
    uint16_t ax, bx, cx, dx, si, di, bp, sp, cs, ds, es, ss, ip, flags;
    uint8_t dl() const { return dx & 0xFF; }
};

// The machine: disks, keyboard and screen persist across runs, so consecutive starts see what
// the previous one wrote.
struct Machine {
    std::map<uint8_t, Disk> drives;
    std::deque<uint16_t> keys; // key words, scan code high, character low
    // The keys come once the program has executed this many instructions (0: queued before
    // the start). Until then INT 16h AH=01h and the BIOS keyboard buffer (0040:001A..003D)
    // show none; INT 16h AH=00h waits for them.
    uint64_t keysArriveAfter = 0;
    uint8_t keyboardFlags = 0; // 0040:0017; bit 40h = CapsLock
    // The BIOS clock at 0040:006C: its 32-bit count at the start, and how many of the
    // program's instructions make one tick (0: the clock stands still). Like the BIOS at
    // midnight it starts again at 0 after 1800AFh and then sets the byte at 0040:0070.
    uint32_t clockAtStart = 0;
    uint64_t instructionsPerTick = 0;
    int cursorRow = 0;
    int cursorColumn = 0;
    Screen screen;
    std::vector<ReadFailure> readFailures;
    std::vector<ReadFailure> writeFailures; // the same rules for writes: a refused write

    // Filled by runs (appended).
    std::vector<SectorWrite> writes;
    std::vector<DiskCall> diskCalls;
    std::vector<VideoWrite> video;
    std::vector<std::string> unhandled; // BIOS services the model does not provide
};

constexpr uint8_t capsLockBit = 0x40;

struct RunOptions {
    uint16_t cs = 0x0000;
    uint16_t ip = 0x7C00;
    uint8_t dl = 0x80;
    uint64_t budget = 20'000'000;
    // Skips a stretch of code: on reaching linear address `from`, continue at `to`.
    std::optional<std::pair<uint32_t, uint32_t>> skip;
    // A `dec cx; jnz` loop at this linear address is run in one round: entered with CX = 0,
    // CX is set to 1 and the 65535 rounds left out are counted as executed (two instructions
    // each). Makes the 2^32-step pause affordable while its outer rounds still run.
    std::optional<uint32_t> countDownLoop;
    // Linear ranges where code may run besides the BIOS stubs; empty: anywhere.
    std::vector<std::pair<uint32_t, uint32_t>> codeRanges;
    // Linear ranges the program may write, by its own stores and by the sectors it has the
    // BIOS read; empty: anywhere. What the model's BIOS writes for itself is not counted.
    std::vector<std::pair<uint32_t, uint32_t>> writeRanges;
    // When set: one count per linear address below 8000h, raised (up to FFh) for every
    // instruction run there; a fuzz target's coverage of the boot program's own paths.
    uint8_t* executedCounts = nullptr;
};

struct RunResult {
    Stop stop = Stop::EmulatorError;
    uint32_t address = 0; // linear address of the instruction the run stopped at
    uint64_t steps = 0;
    // Instructions the program executed outside the BIOS stubs: an `int` counts as one, a
    // string instruction with a repeat prefix as one however many rounds it makes, and neither
    // the code a skip stands in for nor the instruction the run stopped at counts.
    uint64_t instructions = 0;
    uint64_t biosInstructions = 0; // the stubs' own: one iret for each served interrupt
    Registers regs{};
    Sector atBootSector{};       // the 512 bytes at 0000:7C00 when the run stopped
    std::vector<uint8_t> memory; // the first 64 KiB when the run stopped
    // Linear addresses written outside options.writeRanges (the first ones of a run).
    std::vector<uint32_t> strayWrites;
    std::string error;
};

// Loads LBA 0 of drive 80h to 0000:7C00 as firmware does and runs from options.cs:options.ip.
RunResult boot(Machine& machine, const RunOptions& options = {});

// Runs `code` placed at 0000:7C00 instead of the boot disk's sector 0.
RunResult runCode(Machine& machine, const std::vector<uint8_t>& code,
                  const RunOptions& options = {});

// Helpers for building disks.
Sector zeroSector();
Disk blankDisk(size_t sectorCount);
uint16_t readWord(const std::vector<uint8_t>& memory, uint32_t address);
Sector sectorAt(const std::vector<uint8_t>& memory, uint32_t address);

// Assembles 16-bit nasm source (org 7C00h is up to the source) into flat bytes.
std::vector<uint8_t> assemble(const std::string& source);

} // namespace pcmodel

// The boot program on its disks: fixtures for the boot tests.
namespace bootdisk {

using pcmodel::Sector;

struct Entry {
    uint8_t boot = 0; // boot indicator, 80h = active
    uint8_t type = 0;
    uint32_t start = 0; // first sector (LBA)
    bool operator==(const Entry&) const = default;
};
using Table = std::array<Entry, 4>;

constexpr Entry empty{};
Entry part(uint8_t type, uint32_t start = 2048);
Entry activePart(uint8_t type, uint32_t start = 2048);
std::string describe(const Table& table);
std::ostream& operator<<(std::ostream& out, const Entry& entry);

// Key words as INT 16h returns them.
namespace key {
constexpr uint16_t F1 = 0x3B00, F2 = 0x3C00, F3 = 0x3D00, F4 = 0x3E00;
constexpr uint16_t AltF1 = 0x6800, AltF2 = 0x6900, AltF3 = 0x6A00, AltF4 = 0x6B00;
constexpr uint16_t F5 = 0x3F00, F6 = 0x4000, F7 = 0x4100, F8 = 0x4200, F10 = 0x4400;
constexpr uint16_t Space = 0x3920, Enter = 0x1C0D, Escape = 0x011B;
constexpr uint16_t ShiftOne = 0x0221, KeypadOne = 0x4F31, CtrlF1 = 0x5E00, ShiftF1 = 0x5400;
constexpr uint16_t digit(int d) {
    return static_cast<uint16_t>(((d + 1) << 8) | ('0' + d));
}
} // namespace key

constexpr uint32_t tableBlockOffset = 0x1B0;
constexpr uint32_t tableOffset = 0x1BE;
constexpr uint32_t defaultKeyOffset = 0x70;

// The 2048 bytes of the assembled boot program; with `english` the build with the English
// texts (veltra_en.bin).
const std::vector<uint8_t>& program(bool english = false);
// Image 0 (stage 1) with its DefaultKey byte set and zero bytes in the TableBlock.
Sector stage1(uint8_t defaultKey, bool english = false);
// The disk's MBR from before the installation (LBA 1): boot code of its own and a table that
// is out of date by now.
Sector savedMbr();
// The first disk's own TableBlock bytes besides the table: 1B0h..1B7h, signature, 1BCh..1BDh.
Sector withOwnBytes(Sector sector);

Sector withTable(Sector sector, const Table& table);
Table tableOf(const Sector& sector);
// The sector's bytes 000h..1AFh with the TableBlock (1B0h..1FFh) of another sector.
Sector withTableBlockOf(Sector code, const Sector& blockSource);
// The first sector of a partition on another disk: recognisable by drive and LBA.
Sector partitionSector(uint8_t drive, uint32_t lba);
// "" when equal, else where the sectors first differ.
std::string difference(const Sector& actual, const Sector& expected);

// Bytes 1..3 of a partition entry (head, sector with cylinder bits 8..9, cylinder bits 0..7)
// for a start LBA, in the geometry of the model's BIOS (16 heads, 63 sectors a track); a start
// beyond cylinder 1023 gives the overflow mark 1023/254/63 (FEh FFh FFh).
std::array<uint8_t, 3> chsBytes(uint32_t lba);
// Sets bytes 1..3 of entry `index` (0..3) of an MBR sector.
Sector withStartChs(Sector sector, int index, std::array<uint8_t, 3> chs);

// Drive 80h as installed: LBA 0 = stage 1 with the disk's TableBlock and the DefaultKey,
// LBA 1 = savedMbr(), LBA 2..4 = stage 2.
pcmodel::Disk installedDisk(const Table& table, uint8_t defaultKey = 0, bool english = false);
// Another disk: an MBR with `table` (start CHS fields from chsBytes()) and partitionSector() at
// each non-zero start LBA.
pcmodel::Disk otherDisk(uint8_t drive, const Table& table);

// Options for a run of the boot program: the pause is skipped, code may run only inside the
// program (0600h..0DFFh) and the sector at 7C00h.
pcmodel::RunOptions bootOptions();
// The same, with the pause run: its inner loop shortened by the model (the rounds it leaves
// out still count).
pcmodel::RunOptions pauseOptions();
// Queues `keys` and starts the machine from drive 80h.
pcmodel::RunResult start(pcmodel::Machine& machine, std::vector<uint16_t> keys = {},
                         pcmodel::RunOptions options = bootOptions());
// A machine with the boot program installed on drive 80h.
struct BootPc {
    pcmodel::Machine machine;
    Sector lba0Before{}; // LBA 0 as installed

    // `english`: the boot program with the English texts.
    explicit BootPc(const Table& table, uint8_t defaultKey = 0, bool english = false);
    pcmodel::RunResult run(std::vector<uint16_t> keys = {});
    const Sector& lba(uint32_t n, uint8_t drive = 0x80) const;
    Table liveTable() const { return tableOf(lba(0)); }
};

// "" when the run started the first disk the way writeBackAndBoot does: LBA 0 written once at
// most, as installed but with the table it now holds; the kept MBR's boot code entered at
// 0000:7C00 with that TableBlock, DL = 80h. Otherwise what is wrong.
std::string firstDiskStartFault(const BootPc& boot, const pcmodel::RunResult& result);

// Stop reason, address and the screen, for failure messages.
std::string describe(const pcmodel::RunResult& result, const pcmodel::Machine& machine);
// The screen rows that are not blank, in order.
std::vector<std::string> shownLines(const pcmodel::Machine& machine);

} // namespace bootdisk
