// Every line the program says about an outcome, with its exit code: the
// screen and the command line show these texts and callers read the codes.
#include "core/sector_access.h"
#include "installer/messages.h"
#include "installer/plan_text.h"
#include "veltra_version.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Expected {
    std::string line;
    int exitCode;
};

void expectMessage(const Message& got, const Expected& want) {
    EXPECT_EQ(got.line, want.line);
    EXPECT_EQ(got.exitCode, want.exitCode) << want.line;
}

TEST(Messages, RefusalsAndResultsOfEveryTask) {
    const std::pair<Refusal, Expected> refusals[] = {
        {Refusal::NoMbr, {"  Sector 0 bevat geen geldige MBR, VELTRA is niet geïnstalleerd.", 1}},
        {Refusal::Gpt,
         {"  Deze schijf heeft een GPT-partitietabel, VELTRA kan hier niet geïnstalleerd worden.",
          1}},
        {Refusal::TooFew, {"  VELTRA vond minder dan 2 primaire partities, geannuleerd.", 1}},
        {Refusal::NoSavedMbr, {"  Sector 1 bevat geen geldige MBR, VELTRA is niet verwijderd.", 1}},
        {Refusal::NotInstalled, {"  VELTRA is niet geïnstalleerd, er is niets gewijzigd.", 1}},
        {Refusal::NoTable, {"  Sector 0 bevat geen geldige MBR, er is niets gewijzigd.", 1}},
        {Refusal::Nothing, {"", 0}},
        {Refusal::None, {"", 0}},
    };
    for (const auto& [refusal, want] : refusals) expectMessage(refusalMessage(refusal), want);

    // The install's line is padded to 70 columns: it overwrites a longer one.
    std::string installed = "  VELTRA " + std::string(VELTRA_VERSION) +
                            " is geinstalleerd. Bij de volgende opstart aktief.";
    ASSERT_LE(installed.size(), 70u);
    installed.resize(70, ' ');
    const std::pair<Task, Expected> done[] = {
        {Task::HideAll, {"  Alle primaire partities op 1e drive zijn nu verborgen.", 0}},
        {Task::RestoreAll, {"  Alle primaire partities op 1e drive zijn nu zichtbaar.", 0}},
        {Task::Remove, {"  VELTRA is verwijderd, alles is weer als voorheen.", 0}},
        {Task::Install, {installed, 0}},
        {Task::Edit, {"", 0}},
        {Task::Restore, {"", 0}},
    };
    for (const auto& [task, want] : done) {
        expectMessage(doneMessage(task), want);
        expectMessage(writeMessage(task, WriteReport{}, 0), want);
    }

    const std::string nothing = ", er is niets gewijzigd.";
    struct Case {
        Task task;
        WriteResult result;
        bool sector0Written;
        Expected want;
    } cases[] = {
        {Task::Install,
         WriteResult::InUse,
         false,
         {"  Drive 2 is in gebruik door een ander programma, er is niets gewijzigd.", 1}},
        {Task::HideAll,
         WriteResult::Changed,
         false,
         {"  De partitietabel is intussen veranderd" + nothing, 1}},
        {Task::Edit,
         WriteResult::ReadFailed,
         false,
         {"  Lezen van de schijf is mislukt" + nothing, 3}},
        {Task::Remove,
         WriteResult::SectorSize,
         false,
         {"  Drive 2 heeft sectoren van 4096 bytes (niet 512), er is niets gewijzigd.", 1}},
        {Task::Install,
         WriteResult::WriteFailed,
         false,
         {"  Schrijven naar de schijf is mislukt, VELTRA is niet geïnstalleerd.", 3}},
        {Task::Remove,
         WriteResult::WriteFailed,
         false,
         {"  Schrijven naar de schijf is mislukt, VELTRA is niet verwijderd.", 3}},
        {Task::Remove,
         WriteResult::WriteFailed,
         true,
         {"  VELTRA is verwijderd, maar sector 1 tm 4 konden niet gewist worden.", 3}},
        {Task::Restore,
         WriteResult::WriteFailed,
         false,
         {"  Schrijven naar drive 0 is mislukt, LBA 0 is zoals hij was.", 3}},
        {Task::Restore,
         WriteResult::WriteFailed,
         true,
         {"  Schrijven van LBA 1-4 is mislukt; LBA 0 is al teruggezet, LBA 1-4 niet.", 3}},
        {Task::HideAll,
         WriteResult::WriteFailed,
         false,
         {"  Schrijven naar de schijf is mislukt" + nothing, 3}},
        {Task::RestoreAll,
         WriteResult::WriteFailed,
         true,
         {"  Schrijven naar de schijf is mislukt" + nothing, 3}},
        {Task::Edit,
         WriteResult::WriteFailed,
         false,
         {"  Schrijven naar de schijf is mislukt" + nothing, 3}},
        {Task::Install,
         WriteResult::Sector0Lost,
         false,
         {"  Schrijven naar sector 0 is mislukt, de schijf start mogelijk niet meer op!", 3}},
        {Task::Install,
         WriteResult::NoBackup,
         false,
         {"  Geen back-up gemaakt (te veel back-ups in een seconde)" + nothing, 3}},
    };
    for (const Case& c : cases) {
        WriteReport report;
        report.result = c.result;
        report.sectorSize = 4096;
        report.sector0Written = c.sector0Written;
        report.backup.kind = BackupFailure::Kind::TooMany;
        expectMessage(writeMessage(c.task, report, 2), c.want);
    }
}

TEST(Messages, BackupsAndRestores) {
    using Kind = BackupFailure::Kind;
    // The system's errors in the program's words, whatever the C library's language.
    const std::string because = " (geen ruimte meer op het apparaat)";
    EXPECT_EQ(backupFailureText({BackupFailure::Kind::CannotWrite, "/b", 9999}, 1),
              "/b kan niet geschreven worden (fout 9999)");
    const std::pair<Kind, std::string> failures[] = {
        {Kind::ReadFailed, "LBA 0-4 van drive 1 zijn niet te lezen"},
        {Kind::NoFolder, "geen map voor back-ups: HOME is geen absoluut pad"},
        {Kind::Missing, "/b\\x1bx bestaat niet"},
        {Kind::NotAFolder, "/b\\x1bx is geen map"},
        {Kind::Link, "/b\\x1bx is een koppeling, geen map"},
        {Kind::ForeignLink, "/b\\x1bx is een koppeling van een ander"},
        {Kind::Untrusted, "/b\\x1bx is niet alleen van deze gebruiker of root"},
        {Kind::CannotCreate, "/b\\x1bx kan niet gemaakt worden" + because},
        {Kind::CannotWrite, "/b\\x1bx kan niet geschreven worden" + because},
        {Kind::CannotSync, "/b\\x1bx kan niet bijgewerkt worden" + because},
        {Kind::TooMany, "te veel back-ups in een seconde"},
        {Kind::None, "onbekende fout"},
    };
    for (const auto& [kind, want] : failures)
        EXPECT_EQ(backupFailureText({kind, "/b\x1bx", ENOSPC}, 1), want);

    const std::pair<BackupFileProblem, std::string> problems[] = {
        {BackupFileProblem::Unreadable, "{0} is niet te lezen"},
        {BackupFileProblem::NotRegular, "{0} is geen gewoon bestand"},
        {BackupFileProblem::NotBackup, "{0} is geen back-up van VELTRA"},
        {BackupFileProblem::Damaged, "{0} is beschadigd of onvolledig"},
    };
    for (const auto& [problem, want] : problems) EXPECT_EQ(backupFileText(problem), want);

    Backup backup;
    backup.identity.signature = 0x0BADF00D;
    backup.identity.sectors = 2048;
    DiskIdentity disk;
    disk.signature = 0xCAFE;
    disk.sectors = 4096;
    const std::string force = " Er is niets gewijzigd (--force schrijft hem toch).";
    const std::pair<RestoreCheck, Expected> checks[] = {
        {RestoreCheck::OtherSignature,
         {"  De back-up is van schijf 0badf00d, drive 0 is schijf 0000cafe." + force, 1}},
        {RestoreCheck::OtherSize,
         {"  De back-up is van een schijf van 2048 sectoren, drive 0 heeft er 4096." + force, 1}},
        {RestoreCheck::OtherEntries,
         {"  De partities van de back-up beginnen of eindigen elders dan die van drive 0." + force,
          1}},
        {RestoreCheck::Unidentified,
         {"  Handtekening 0 en geen partities: niets zegt dat de back-up van drive 0 is." + force,
          1}},
        {RestoreCheck::NoBootSignature,
         {"  LBA 0 van de back-up eindigt niet op 55h AAh, de schijf zou niet meer starten. Er is "
          "niets gewijzigd.",
          2}},
        {RestoreCheck::NoSavedMbr,
         {"  De back-up bevat VELTRA, maar LBA 1 is geen geldige MBR. Er is niets gewijzigd.", 2}},
        {RestoreCheck::Stage2Damaged,
         {"  De back-up bevat VELTRA, maar LBA 2-4 zijn niet heel. Er is niets gewijzigd.", 2}},
        {RestoreCheck::TargetGpt,
         {"  Drive 0 heeft een GPT-partitietabel, die de back-up zou overschrijven. Er is niets "
          "gewijzigd.",
          2}},
        {RestoreCheck::Ready, {"", 0}},
    };
    for (const auto& [check, want] : checks)
        expectMessage(restoreRefusalMessage(check, backup, disk), want);
}

// The screen's lines on the command line, paths without control bytes, and
// why a drive could not be opened.
TEST(Messages, CommandLineWordsAndOpenFailures) {
    const std::pair<std::string, std::string> lines[] = {
        {"  Drive 0 is in gebruik.   ", "veltra: drive 0 is in gebruik.\n"},
        {"  De partitietabel", "veltra: de partitietabel\n"},
        {"  VELTRA is verwijderd", "veltra: VELTRA is verwijderd\n"},
        {"  LBA 0 van", "veltra: LBA 0 van\n"},
        {"  GPT-schijf", "veltra: GPT-schijf\n"},
        {"  sector 0", "veltra: sector 0\n"},
        {"  Zo niet", "veltra: zo niet\n"},
        {"     ", "veltra:\n"},
    };
    for (const auto& [line, want] : lines) EXPECT_EQ(commandLineText(line), want);
    EXPECT_EQ(shownPath(std::string("a\x01\x1f \x7f~\x80\xff", 8)), "a\\x01\\x1f \\x7f~\x80\xff");
    EXPECT_EQ(programLabel(), "  VELTRA " + std::string(VELTRA_VERSION) + ":");
    const std::pair<int, std::string> keys[] = {
        {0x3B, "F1"},  {0x3E, "F4"},  {0x68, "Alt-F1"}, {0x6B, "Alt-F4"}, {0x00, "geen"},
        {0x3A, "3Ah"}, {0x3F, "3Fh"}, {0x67, "67h"},    {0x6C, "6Ch"},
    };
    for (const auto& [key, text] : keys) EXPECT_EQ(defaultKeyText(key), text) << key;
    EXPECT_EQ(pauseText(0), "0,0 s (0 tikken)");
    EXPECT_EQ(pauseText(1), "0,1 s (1 tik)");
    EXPECT_EQ(pauseText(55), "3,0 s (55 tikken)");
    EXPECT_EQ(pauseText(546), "30,0 s (546 tikken)");

    char made[] = "/tmp/veltra-messages-XXXXXX";
    ASSERT_NE(::mkdtemp(made), nullptr);
    const std::string folder = made;
    const std::string file = folder + "/file.img", fifo = folder + "/fifo", loop = folder + "/loop";
    std::fclose(std::fopen(file.c_str(), "w"));
    ASSERT_EQ(::chmod(file.c_str(), 0), 0); // only root may open it
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
    const std::string noRights = " Niet voldoende rechten. Start als root, bijvoorbeeld met sudo.";
    const std::pair<std::string, std::string> paths[] = {
        {folder + "/no\x1b.img", " (" + folder + "/no\\x1b.img) bestaat niet."},
        {file + "/x", " (" + file + "/x) bestaat niet."},
        {loop, " (" + loop + ") bestaat niet."},
        {folder, " (" + folder + ") is een map, geen schijf."},
        {"/dev/null", " (/dev/null) is geen schijf en geen schijfbestand."},
        {fifo, " (" + fifo + ") is geen schijf en geen schijfbestand."},
        {file, ::geteuid() == 0 ? "" : noRights},
    };
    for (const auto& [path, want] : paths) {
        SCOPED_TRACE(path);
        setDriveNames({"/nonexistent/a", path});
        if (want.empty()) {
            EXPECT_EQ(openDrive(1), 0u); // root opens what the mode forbids others
        } else {
            EXPECT_NE(openDrive(1), 0u);
            EXPECT_EQ(openFailureText(1), want == noRights ? want : " Drive 1" + want);
        }
        closeDrives();
    }
    setDriveNames({"/nonexistent/a"});
    EXPECT_NE(openDrive(3), 0u);
    EXPECT_EQ(openFailureText(3), " Drive 3 is niet gevonden.");
    closeDrives();
    setDriveNames({});
    std::filesystem::remove_all(folder);
}

} // namespace

namespace {

// The dry run names every changed field of the partition table: random pairs
// of tables (entries changed byte by byte, added, cleared), and for every byte
// that differs the text of its partition names its field and new value.
TEST(PlanText, EveryChangedByteOfTheTableIsNamed) {
    struct Field {
        const char* name;
        int from, to;
    };
    const Field fields[] = {{"vlag", 0, 1},      {"CHS-begin", 1, 4}, {"type", 4, 5},
                            {"CHS-einde", 5, 8}, {"start", 8, 12},    {"lengte", 12, 16}};
    std::mt19937 random(2612);
    for (int round = 0; round < 300; ++round) {
        FirstSectors now{};
        SectorBuffer& was = now[0];
        for (uint8_t& b : was) b = static_cast<uint8_t>(random());
        was[510] = 0x55;
        was[511] = 0xAA;
        SectorBuffer will = was;
        const int changes = 1 + static_cast<int>(random() % 6);
        for (int n = 0; n < changes; ++n)
            will[446 + random() % 64] = static_cast<uint8_t>(random());
        const int entry = static_cast<int>(random() % 4);
        if (round % 5 == 1) std::fill_n(will.begin() + 446 + 16 * entry, 16, 0); // cleared
        if (round % 5 == 2) std::fill_n(was.begin() + 446 + 16 * entry, 16, 0);  // added
        DiskPlan plan;
        plan.writes = {{0, {will}}};
        const std::string text = describePlan(plan, now);
        for (int at = 446; at < 510; ++at) {
            if (was[at] == will[at]) continue;
            const int e = (at - 446) / 16;
            const size_t begin = text.find("partitie " + std::to_string(e + 1));
            ASSERT_NE(begin, std::string::npos) << text;
            const std::string part = text.substr(begin, text.find(';', begin) - begin);
            for (const Field& f : fields) {
                const int offset = (at - 446) % 16;
                if (offset < f.from || offset >= f.to) continue;
                EXPECT_NE(part.find(f.name), std::string::npos) << part;
            }
            const bool cleared = part.find("gewist") != std::string::npos;
            const bool shown = part.find(" -> ") != std::string::npos ||
                               part.find("toegevoegd") != std::string::npos;
            EXPECT_TRUE(cleared || shown) << part;
        }
    }
    // One entry whose start and length change, in full.
    FirstSectors now{};
    now[0][446 + 8] = 0x41;
    now[0][446 + 12] = 0x1F;
    now[0][446 + 13] = 0x41;
    now[0][446 + 4] = 0x07;
    SectorBuffer will = now[0];
    will[446 + 13] = 0x0F;
    will[446 + 12] = 0x81;
    DiskPlan plan;
    plan.writes = {{0, {will}}};
    EXPECT_EQ(describePlan(plan, now),
              "Proef (--dry-run), er wordt niets geschreven. In deze volgorde:\n"
              "  LBA 0, 512 bytes, daarna sync:\n"
              "    LBA 0: partitie 1: lengte 16671 -> 3969\n");
}

} // namespace
