// In-memory disks behind readSectors and writeSectors, for the
// fault-injection tests of the operations. No file or device is ever opened.
#include "tests/fake_sector_access.h"

#include "core/sector_access.h"

#include <algorithm>
#include <string>

namespace fake_disks {
namespace {

struct Disks {
    std::vector<uint8_t> bytes[4];
    std::vector<Call> log;
    std::vector<Fault> faults;
    int reads = 0;
    int writes = 0;
    int inUse = 0;
    uint32_t sectorSizes[4] = {512, 512, 512, 512};
    std::vector<std::string> names;
    bool named = false;
};

Disks& disks() {
    static Disks d;
    return d;
}

const Fault* faultFor(Kind kind, int number) {
    for (const Fault& f : disks().faults)
        if (f.kind == kind && (f.number == number || (f.sticky && number > f.number))) return &f;
    return nullptr;
}

bool inRange(int drive, uint64_t lba) {
    return drive >= 0 && drive < 4 && lba < static_cast<uint64_t>(SectorCount);
}

bool inRange(int drive, uint64_t lba, int count) {
    return inRange(drive, lba) && inRange(drive, lba + static_cast<uint64_t>(count) - 1);
}

} // namespace

void reset() {
    Disks& d = disks();
    for (auto& b : d.bytes) b.assign(SectorCount * 512, 0);
    d.log.clear();
    d.faults.clear();
    d.reads = 0;
    d.writes = 0;
    d.inUse = 0;
    for (uint32_t& size : d.sectorSizes) size = 512;
    d.names.clear();
    d.named = false;
}

uint32_t& sectorSize(int drive) {
    return disks().sectorSizes[drive];
}

std::vector<uint8_t>& disk(int drive) {
    return disks().bytes[drive];
}

SectorBuffer sector(int drive, uint64_t lba) {
    SectorBuffer s{};
    std::copy_n(disk(drive).begin() + static_cast<long>(lba * 512), 512, s.begin());
    return s;
}

void setSector(int drive, uint64_t lba, const SectorBuffer& data) {
    std::copy(data.begin(), data.end(), disk(drive).begin() + static_cast<long>(lba * 512));
}

void inject(const Fault& fault) {
    disks().faults.push_back(fault);
}

const std::vector<Call>& calls() {
    return disks().log;
}

int& drivesInUse() {
    return disks().inUse;
}

std::vector<uint64_t> writtenLbas() {
    std::vector<uint64_t> lbas;
    for (const Call& c : calls())
        if (c.kind == Kind::Write && c.drive == 0) lbas.push_back(c.lba);
    return lbas;
}

} // namespace fake_disks

using namespace fake_disks;

IoResult readSectors(int drive, uint64_t lba, SectorBuffer* out, int count) {
    Disks& d = disks();
    const Fault* fault = faultFor(Kind::Read, ++d.reads);
    uint32_t result = 0;
    if (fault) {
        result = fault->code;
    } else if (!inRange(drive, lba, count)) {
        result = ErrorInvalidHandle;
    } else {
        for (int n = 0; n < count; ++n) out[n] = fake_disks::sector(drive, lba + n);
    }
    d.log.push_back({Kind::Read, drive, lba, result, count});
    return {result};
}

IoResult writeSectors(int drive, uint64_t lba, const SectorBuffer* data, int count) {
    Disks& d = disks();
    const Fault* fault = faultFor(Kind::Write, ++d.writes);
    uint32_t result = 0;
    if (!inRange(drive, lba, count)) {
        result = ErrorInvalidHandle;
    } else if (fault) {
        result = fault->code;
        // A transfer that broke off half way through its first sector; an
        // unopened disk is never touched.
        if (fault->torn && fault->code != ErrorInvalidHandle)
            std::copy_n(data[0].begin(), 256,
                        d.bytes[drive].begin() + static_cast<long>(lba * 512));
    } else {
        for (int n = 0; n < count; ++n) fake_disks::setSector(drive, lba + n, data[n]);
    }
    d.log.push_back({Kind::Write, drive, lba, result, count});
    return {result};
}

bool lockDrive(int drive) {
    return !(fake_disks::drivesInUse() & (1 << drive));
}

void unlockDrive(int) {}

OpenFailure openFailure(int) {
    return {OpenProblem::NotNamed, 0, {}, {}};
}

void setDriveNames(const std::vector<std::string>& names) {
    disks().names = names;
    disks().named = true;
}

bool drivesNamed() {
    return !disks().named || !disks().names.empty();
}

std::string driveName(int drive) {
    const Disks& d = disks();
    if (!d.named) return "fake" + std::to_string(drive);
    return drive >= 0 && static_cast<size_t>(drive) < d.names.size() ? d.names[drive] : "";
}

std::vector<WholeDisk> wholeDisksOfMachine() {
    return {};
}

void setDrivesReadOnly(bool) {}

OpenProblem openProblem(int) {
    return OpenProblem::None;
}

bool isNamingProblem(OpenProblem problem) {
    return problem == OpenProblem::Missing || problem == OpenProblem::Folder ||
           problem == OpenProblem::NotADisk || problem == OpenProblem::Partition;
}

uint32_t openDrive(int drive) {
    return drive >= 0 && drive < 4 ? 0 : ErrorInvalidHandle;
}

uint32_t sectorSizeOf(int drive) {
    return openDrive(drive) == 0 ? fake_disks::sectorSize(drive) : 0;
}

uint64_t driveSize(int drive) {
    return openDrive(drive) == 0 ? SectorCount * 512 : 0;
}
