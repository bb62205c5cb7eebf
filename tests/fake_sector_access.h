// A stand-in for the platform's sector access: four in-memory disks, a log of
// every call and failures injected per call ("the 3rd write fails").
#pragma once

#include "core/installer_state.h"

#include <cstdint>
#include <vector>

namespace fake_disks {

constexpr int SectorCount = 16; // LBA 0..15 per disk

enum class Kind { Read, Write };

struct Call {
    Kind kind;
    int drive;
    uint64_t lba;
    uint32_t result; // the code the call returned
    int count = 1;   // sectors in the transfer
};

struct Fault {
    Kind kind;     // counted per transfer of its kind
    int number;    // 1-based number of the call of that kind that fails
    uint32_t code; // 6: the disk could not be opened, anything else a transfer failure
    bool torn;     // a failed write leaves the first half of the sector written
    bool sticky;   // this call and every later call of the kind fail
};

// Empties the log and the faults; every disk becomes SectorCount zero sectors.
// Until setDriveNames() names drives, drive N is named "fakeN".
void reset();
std::vector<uint8_t>& disk(int drive);
SectorBuffer sector(int drive, uint64_t lba);
void setSector(int drive, uint64_t lba, const SectorBuffer& data);
void inject(const Fault& fault);
const std::vector<Call>& calls();
// Bit N set: another program holds drive N, lockDrive fails.
int& drivesInUse();
// The logical sector size drive N reports (512 after reset).
uint32_t& sectorSize(int drive);
// The first LBA of each write to drive 0, in order (failed writes included).
std::vector<uint64_t> writtenLbas();

} // namespace fake_disks
