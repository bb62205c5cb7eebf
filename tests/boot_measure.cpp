// Measures the boot-time manager: instructions from the firmware's hand-over at 0000:7C00 to
// the jump into the kept MBR for the usual start paths, and how full stage 1 and stage 2 are.
// Run by hand (veltra_boot_measure); it prints two small tables and fails only when a run
// does not end in the kept MBR or the listing does not match the program.
#include "boot_pc_model.h"

#include "boot_symbols.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

using namespace bootdisk;
using pcmodel::RunResult;

namespace {

// ---- instructions ---------------------------------------------------------------------------

const Table fourPartitions{activePart(0x07), part(0x83), part(0x0C), part(0x0B)};

struct Path {
    const char* name;
    uint8_t defaultKey;
    std::vector<uint16_t> keys;
};

// The pause the runs skip, measured apart: the same start once with the pause, its inner
// loop shortened by the model (the rounds it leaves out still count), minus the start without.
uint64_t pauseInstructions(uint8_t defaultKey, std::vector<uint16_t> keys) {
    BootPc skipped(fourPartitions, defaultKey);
    RunResult base = skipped.run(keys);
    BootPc paused(fourPartitions, defaultKey);
    RunResult full = start(paused.machine, keys, pauseOptions());
    if (full.stop != base.stop || paused.machine.writes.size() != skipped.machine.writes.size())
        throw std::runtime_error("the start with the pause ends otherwise than without");
    return full.instructions - base.instructions;
}

// The counter against a program whose count is known: a repeated string instruction is one
// instruction, an `int` is one and its stub's iret is the BIOS's, the hlt it stops at is none.
void checkCounter() {
    pcmodel::Machine machine;
    machine.keys = {key::F1};
    std::vector<uint8_t> code = pcmodel::assemble("org 7C00h\n"
                                                  "xor ax, ax\n"
                                                  "mov es, ax\n"
                                                  "mov si, 7C00h\n"
                                                  "mov di, 1000h\n"
                                                  "mov cx, 100\n"
                                                  "rep movsb\n" // 100 rounds
                                                  "mov cx, 0\n"
                                                  "rep movsb\n" // no round
                                                  "int 16h\n"   // AH = 0: takes F1
                                                  "mov cx, 3\n"
                                                  ".loop: loop .loop\n"
                                                  "hlt\n");
    RunResult result = pcmodel::runCode(machine, code);
    const uint64_t expected = 5 + 1 + 1 + 1 + 1 + 1 + 3;
    if (result.stop != pcmodel::Stop::Halted || result.instructions != expected ||
        result.biosInstructions != 1)
        throw std::runtime_error("instruction counter: " + std::to_string(result.instructions) +
                                 " program, " + std::to_string(result.biosInstructions) +
                                 " BIOS instructions, expected " + std::to_string(expected) +
                                 " and 1");
}

void measurePaths() {
    checkCounter();
    const std::vector<Path> paths = {
        {"DefaultKey F1 (3Bh), no key", 0x3B, {}},
        {"DefaultKey 00h, no key", 0x00, {}},
        {"F2 pressed", 0x3B, {key::F2}},
        {"Space (menu), then F1", 0x3B, {key::Space, key::F1}},
    };
    std::printf("Instructions from 0000:7C00 (firmware hand-over) to the jump into 0000:7C00\n"
                "(kept MBR); drive 80h only, four recognised partitions (07h 83h 0Ch 0Bh).\n"
                "The pause is skipped and not counted: %llu instructions of its own without\n"
                "a key, %llu with a key queued before it.\n\n",
                static_cast<unsigned long long>(pauseInstructions(0x00, {})),
                static_cast<unsigned long long>(pauseInstructions(0x3B, {key::F2})));
    std::printf("%-30s %12s %10s %8s %8s %8s %8s %12s\n", "path", "instructions", "BIOS calls",
                "INT 10h", "INT 13h", "writes", "INT 16h", "hook calls");
    for (const Path& path : paths) {
        BootPc boot(fourPartitions, path.defaultKey);
        RunResult result = boot.run(path.keys);
        std::string fault = firstDiskStartFault(boot, result);
        if (!fault.empty()) throw std::runtime_error(std::string(path.name) + ": " + fault);
        uint64_t video = boot.machine.video.size();
        uint64_t disk = boot.machine.diskCalls.size();
        uint64_t writes = boot.machine.writes.size();
        std::printf("%-30s %12llu %10llu %8llu %8llu %8llu %8llu %12llu\n", path.name,
                    static_cast<unsigned long long>(result.instructions),
                    static_cast<unsigned long long>(result.biosInstructions),
                    static_cast<unsigned long long>(video), static_cast<unsigned long long>(disk),
                    static_cast<unsigned long long>(writes),
                    static_cast<unsigned long long>(result.biosInstructions - video - disk),
                    static_cast<unsigned long long>(result.steps));
    }
    std::printf("\ninstructions: the boot program's, including each `int` and the final far\n"
                "jump, a rep-prefixed string instruction counted once; the BIOS stubs' own\n"
                "(one iret per call) are left out and shown as BIOS calls. hook calls: raw\n"
                "UC_HOOK_CODE calls (every rep round, the stubs, the skipped and the last).\n\n");
}

// ---- bytes ----------------------------------------------------------------------------------

enum class Byte : uint8_t { Unlisted, Used, Filler };

struct Layout {
    std::vector<Byte> kind = std::vector<Byte>(2048, Byte::Unlisted);
};

// Every byte the listing emits, by its offset in the program. A line that repeats one byte
// pattern (`times`, shown as "XX<rep Nh>") is filler: the zero padding up to a fixed
// address, the NOP run before the DefaultKey instruction, the blanks that fill out the
// version notice and the TableBlock's zero bytes. Everything else is used. Bytes in brackets
// are addresses the listing shows before org is added: counted, not compared.
Layout readListing(const std::vector<uint8_t>& program) {
    std::ifstream in(VELTRA_BOOT_LIST);
    if (!in) throw std::runtime_error("cannot read " VELTRA_BOOT_LIST);
    const std::regex line(R"(^\s*\d+ ([0-9A-F]{8}) ([0-9A-F\[\]]+)(<rep ([0-9A-F]+)h>)?)");
    Layout layout;
    std::string text;
    std::smatch m;
    while (std::getline(in, text)) {
        if (!std::regex_search(text, m, line)) continue;
        size_t offset = std::stoul(m[1].str(), nullptr, 16);
        struct Listed {
            uint8_t value;
            bool known;
        };
        std::vector<Listed> listed;
        bool bracketed = false;
        const std::string hex = m[2].str();
        for (size_t i = 0; i < hex.size();) {
            if (hex[i] == '[' || hex[i] == ']') {
                bracketed = hex[i++] == '[';
                continue;
            }
            listed.push_back(
                {static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)), !bracketed});
            i += 2;
        }
        size_t rounds = m[3].matched ? std::stoul(m[4].str(), nullptr, 16) : 1;
        for (size_t round = 0; round < rounds; ++round) {
            for (size_t i = 0; i < listed.size(); ++i) {
                size_t at = offset + round * listed.size() + i;
                if (at >= program.size() || layout.kind[at] != Byte::Unlisted ||
                    (listed[i].known && program[at] != listed[i].value))
                    throw std::runtime_error("listing does not match the program at offset " +
                                             std::to_string(at));
                layout.kind[at] = m[3].matched ? Byte::Filler : Byte::Used;
            }
        }
    }
    for (size_t at = 0; at < layout.kind.size(); ++at)
        if (layout.kind[at] == Byte::Unlisted)
            throw std::runtime_error("byte " + std::to_string(at) + " missing in the listing");
    return layout;
}

void printRegion(const char* name, const Layout& layout, const std::vector<uint8_t>& program,
                 size_t from, size_t to) {
    size_t used = 0;
    for (size_t at = from; at < to; ++at) used += layout.kind[at] == Byte::Used;
    size_t size = to - from;
    std::printf("%s: %zu of %zu bytes used (%.1f%%), %zu filler\n", name, used, size,
                100.0 * used / size, size - used);
    // Runs of used bytes and of filler, by memory address.
    for (size_t at = from; at < to;) {
        size_t end = at;
        while (end < to && layout.kind[end] == layout.kind[at]) ++end;
        const char* what = "used";
        if (layout.kind[at] == Byte::Filler)
            what = program[at] == 0x90   ? "filler (NOP)"
                   : program[at] == 0x00 ? "filler (zero)"
                                         : "filler (blank)";
        std::printf("  %04zXh..%04zXh %5zu  %s\n", bootsym::relocBase + at,
                    bootsym::relocBase + end - 1, end - at, what);
        at = end;
    }
}

void measureBytes() {
    const std::vector<uint8_t>& bytes = program();
    Layout layout = readListing(bytes);
    constexpr size_t stage1Program = 0x1AE; // 1AEh..1FFh carry no program byte
    std::printf("Bytes from the listing (%s).\n", VELTRA_BOOT_LIST);
    printRegion("stage 1 (LBA 0, 000h..1ADh)", layout, bytes, 0, stage1Program);
    std::printf("  (used includes the 14-byte marker 01Ch..029h and the DefaultKey byte 070h)\n");
    printRegion("stage 2 (LBA 2..4)", layout, bytes, 0x200, 0x800);
}

} // namespace

int main() {
    try {
        measurePaths();
        measureBytes();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "veltra_boot_measure: %s\n", error.what());
        return 1;
    }
    return 0;
}
