// Any LBA 0-4 of drive 0 and any LBA 0 of drive 1, with every command word,
// every editor key and a backup of those sectors: each plan is a refusal that
// writes nothing, or writes only LBA 0-4, an install LBA 0 last and a removal
// first, every LBA 0 it writes ends in 55h AAh, after an activation at most
// one entry is active; applied to an in-memory disk, the disk then holds the
// plan's new LBA 0. Input: the editor's key, entry and flags, then the sectors
// (missing bytes are zero).
#include "core/disk_plan.h"
#include "core/partition_table.h"
#include "core/writer.h"
#include "installer/main_loop.h"
#include "installer/operations.h"
#include "tests/fake_sector_access.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace fd = fake_disks;

namespace {

enum class Order { Any, Sector0Last, Sector0First };

int activeEntries(const SectorBuffer& sector) {
    int active = 0;
    for (int entry = 0; entry < 4; ++entry) active += (sector[bootFlagOffset(entry)] & 0x80) != 0;
    return active;
}

// The properties of every plan, then the plan applied to drive `drive` holding `disk`.
void check(const DiskPlan& plan, const FirstSectors& disk, int drive, Order order) {
    if (plan.decidedOn != disk[0]) std::abort();
    if (plan.refusal != Refusal::None && !plan.writes.empty()) std::abort();
    SectorBuffer last0 = disk[0];
    for (size_t i = 0; i < plan.writes.size(); ++i) {
        const SectorWrite& write = plan.writes[i];
        if (write.sectors.empty() || write.lba + write.sectors.size() > 5) std::abort();
        if (write.lba != 0) continue;
        if (!hasBootSignature(write.sectors[0])) std::abort();
        last0 = write.sectors[0];
        if (order == Order::Sector0Last && i + 1 != plan.writes.size()) std::abort();
        if (order == Order::Sector0First && i != 0) std::abort();
    }
    if (plan.newSector0 != last0) std::abort();
    if (plan.refusal != Refusal::None) return; // nothing to write

    fd::reset();
    for (int lba = 0; lba < 5; ++lba) fd::setSector(drive, lba, disk[lba]);
    const std::vector<uint8_t> before = fd::disk(drive);
    const WriteReport report = applyPlan(drive, plan, {false, {}});
    if (report.result != WriteResult::Written || fd::sector(drive, 0) != plan.newSector0)
        std::abort();
    for (const fd::Call& call : fd::calls())
        if (call.kind == fd::Kind::Write && (call.drive != drive || call.lba + call.count > 5))
            std::abort();
    if (!std::equal(before.begin() + 5 * 512, before.end(), fd::disk(drive).begin() + 5 * 512))
        std::abort();
}

const BootImages& images() {
    static const BootImages made = [] {
        auto state = std::make_unique<InstallerState>();
        return bootImages(*state, FirstSectors{});
    }();
    return made;
}

void wordPlans(const FirstSectors& disk) {
    constexpr const char* Words[] = {"HIDE", "REST", "RM", "IN", "1Z", "1V",
                                     "2Z",   "2V",   "3Z", "3V", "4Z", "4V"};
    for (const char* word : Words) {
        RunState run;
        run.commandWord = word;
        fillDefaultKeyTable(run);
        switch (chooseOperation(word, carriesInstallMarker(disk[0]) ? 1 : 0)) {
        case Operation::HideAll:
            check(planHideAll(disk[0]), disk, 0, Order::Any);
            break;
        case Operation::RestoreAll: {
            const DiskPlan plan = planRestoreAll(disk[0]);
            if (plan.refusal == Refusal::None && countRecognised(disk[0]) > 0 &&
                activeEntries(plan.newSector0) != 1)
                std::abort();
            check(plan, disk, 0, Order::Any);
            break;
        }
        case Operation::RemoveBootProgram:
            check(planRemove(disk), disk, 0, Order::Sector0First);
            break;
        case Operation::InstallBootProgram: {
            const DiskPlan plan = planInstall(disk, chosenDefaultKey(run), images());
            if (plan.refusal == Refusal::None && plan.writes.size() != 2) std::abort();
            check(plan, disk, 0, Order::Sector0Last);
            break;
        }
        case Operation::RefuseRemoval:
            check(planNotInstalled(disk[0]), disk, 0, Order::Any);
            break;
        case Operation::None:
            break;
        }
    }
}

void editorPlans(const FirstSectors& disk, int drive, char anyKey, int anyEntry) {
    for (char key : {'a', 'A', '+', '-', anyKey}) {
        const int entry = key == anyKey ? anyEntry : anyEntry & 3;
        const DiskPlan plan = planEdit(disk[0], key, entry);
        if (plan.refusal == Refusal::None && (key == 'a' || key == 'A') &&
            (activeEntries(plan.newSector0) != 1 ||
             !(plan.newSector0[bootFlagOffset(entry)] & 0x80)))
            std::abort();
        check(plan, disk, drive, Order::Any);
    }
}

// The sectors as a backup of this disk or of another, written back as --restore would.
void restorePlans(const FirstSectors& disk, bool force) {
    Backup backup;
    std::copy(disk.begin(), disk.end(), backup.sectors.begin());
    backup.identity = identityOf(disk[0], fd::SectorCount);
    const FirstSectors target = {disk[1], disk[0], disk[2], disk[3], disk[4]};
    const DiskIdentity targetId = identityOf(target[0], fd::SectorCount);
    for (const DiskIdentity& id : {backup.identity, targetId}) {
        const RestoreCheck ready = checkRestore(backup, id, target[1], force);
        if (ready != RestoreCheck::Ready) continue;
        check(planRestore(backup, target[0]), target, 0,
              carriesInstallMarker(disk[0]) ? Order::Sector0Last : Order::Sector0First);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3 || size > 3 + 6 * 512) return 0;
    const char key = static_cast<char>(data[0]);
    const int entry = static_cast<int8_t>(data[1]);
    const bool force = data[2] & 1;
    uint8_t bytes[6 * 512] = {};
    std::memcpy(bytes, data + 3, size - 3);
    FirstSectors disk{};
    for (int lba = 0; lba < 5; ++lba) std::memcpy(disk[lba].data(), bytes + 512 * lba, 512);
    FirstSectors second{};
    std::memcpy(second[0].data(), bytes + 5 * 512, 512);

    wordPlans(disk);
    editorPlans(disk, 0, key, entry);
    editorPlans(second, 1, key, entry);
    restorePlans(disk, force);
    return 0;
}
