// The generated record store: the four boot images decode to veltra.bin byte
// for byte, the labels sit where the screens expect them, and the page rows
// are exactly the texts the screens print.
#include "core/record_store.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

const int ImageRecords[4] = {5, 5, 5, 4};
const int ImageFirstRecord[4] = {1, 7, 13, 19};

std::vector<uint8_t> bootProgram() {
    std::ifstream in(VELTRA_BOOT_BIN_PATH, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string row(RecordLabel page, int number) {
    return recordAt(page + number - 1);
}

class RecordStore : public ::testing::Test {
  protected:
    std::unique_ptr<InstallerState> state = std::make_unique<InstallerState>();
};

TEST_F(RecordStore, ImagesDecodeToTheBootProgramByteForByte) {
    const std::vector<uint8_t> program = bootProgram();
    ASSERT_EQ(program.size(), 2048u) << VELTRA_BOOT_BIN_PATH;

    state->scratchSector.fill(-1);
    restoreTo(*state, BootImageRecords);
    decodeImageToScratch(*state);
    EXPECT_EQ(state->readPosition, 7);
    for (int i = 0; i < 512; ++i) ASSERT_EQ(state->scratchSector[i], program[i]) << "byte " << i;

    for (int image = 1; image < 4; ++image) {
        state->ioBuffer.fill(0xEE);
        decodeImageToBuffer(*state);
        EXPECT_EQ(state->readPosition, ImageFirstRecord[image] + ImageRecords[image] + 1);
        for (int i = 0; i < 512; ++i)
            ASSERT_EQ(state->ioBuffer[i], program[512 * image + i])
                << "image " << image << " byte " << i;
    }
    EXPECT_EQ(state->readPosition, GradientSteps); // reading on reaches the gradient
}

TEST_F(RecordStore, ImageRecordsAreEscapedAndCutBetweenEscapes) {
    EXPECT_EQ(recordCount(), 95);
    for (int image = 0; image < 4; ++image) {
        const int first = ImageFirstRecord[image];
        size_t total = 0;
        for (int n = first; n < first + ImageRecords[image]; ++n) {
            const std::string& record = recordAt(n);
            ASSERT_FALSE(record.empty()) << "record " << n;
            EXPECT_NE(record, "EindeFini");
            for (size_t i = 0; i < record.size(); ++i) {
                const auto byte = static_cast<unsigned char>(record[i]);
                ASSERT_GE(byte, 32) << "record " << n << " holds a control byte at " << i;
                if (byte != ' ') continue;
                // Every escape is whole: a blank, then two digits for 00..32.
                ASSERT_LT(i + 2, record.size()) << "record " << n << " ends inside an escape";
                const std::string digits = record.substr(i + 1, 2);
                ASSERT_TRUE(isdigit(digits[0]) && isdigit(digits[1])) << "record " << n;
                EXPECT_LE(std::stoi(digits), 32) << "record " << n;
                i += 2;
            }
            total += record.size();
            RecordProperty("record" + std::to_string(n), static_cast<int>(record.size()));
        }
        EXPECT_EQ(recordAt(first + ImageRecords[image]), "EindeFini") << "image " << image;
        EXPECT_GE(total, 512u);
    }
}

TEST_F(RecordStore, NoRecordHoldsAZeroByte) {
    for (int n = 1; n <= recordCount(); ++n)
        EXPECT_EQ(recordAt(n).find('\0'), std::string::npos) << "record " << n;
    EXPECT_EQ(recordAt(0), "");
    EXPECT_EQ(recordAt(96), "");
}

TEST_F(RecordStore, GradientStepsThenTheMainMenu) {
    restoreTo(*state, GradientSteps);
    std::vector<int> steps;
    for (int i = 0; i < 16; ++i) steps.push_back(readInteger(*state));
    EXPECT_EQ(steps, (std::vector<int>{10, 8, 6, 5, 4, 3, 2, 1, 2, 3, 4, 5, 6, 8, 10, 0}));
    EXPECT_EQ(readText(*state), row(MainMenuText, 1));
    EXPECT_EQ(state->readPosition, MainMenuText + 1);
}

TEST_F(RecordStore, ReadingRunsOnIntoThePartitionScreenAndStops) {
    restoreTo(*state, MainMenuText);
    for (int i = 0; i < 28; ++i) readText(*state);
    EXPECT_EQ(readText(*state), row(PartitionScreenText, 1));
    for (int i = 0; i < 27; ++i) readText(*state);
    EXPECT_EQ(state->readPosition, 96);

    // Past record 95 there is nothing to read, and decoding stops there.
    EXPECT_EQ(readText(*state), "");
    EXPECT_EQ(readInteger(*state), 0);
    EXPECT_EQ(state->readPosition, 96);
    state->ioBuffer.fill(0x42);
    decodeImageToBuffer(*state);
    for (uint8_t byte : state->ioBuffer) ASSERT_EQ(byte, 0x42);
}

TEST_F(RecordStore, PageRowsAre80BytesWithTheirTextsInPlace) {
    for (RecordLabel page : {MainMenuText, PartitionScreenText})
        for (int r = 1; r <= 28; ++r) EXPECT_EQ(row(page, r).size(), 80u) << page << " row " << r;

    auto trimmed = [](std::string text) { return text.erase(text.find_last_not_of(' ') + 1); };
    EXPECT_EQ(trimmed(row(MainMenuText, 9)),
              "   - Alleen installeren, waarbij de voorlaatste opstartkeuze default is.");
    EXPECT_EQ(row(MainMenuText, 9).find_first_not_of(' '), 3u); // column 4
    EXPECT_EQ(trimmed(row(MainMenuText, 6)), "  Drive: 0");
    EXPECT_EQ(trimmed(row(MainMenuText, 20)),
              "   - REST, maak alle PP's weer zichtbaar, en de 1e PP aktief.");
    EXPECT_EQ(trimmed(row(MainMenuText, 26)), "  Partitie: met \"+\" zichtbaar maken, met \"-\" "
                                              "verbergen, met \"a\" aktief maken.");
    EXPECT_EQ(trimmed(row(PartitionScreenText, 4)), "  worden, of actief.");
    EXPECT_EQ(trimmed(row(PartitionScreenText, 16)), "   - 4e primaire partitie");
    EXPECT_EQ(row(MainMenuText, 1),
              std::string(27, '>') + " Dorvanti VELTRA Manager " + std::string(28, '<'));

    // The footer: the key hint in columns 1..37, our notice behind it.
    const std::string footer = row(MainMenuText, 28);
    EXPECT_EQ(footer.substr(0, 37), ">> F1 is uitleg. Via Escape stoppen. ");
    EXPECT_NE(footer.substr(37).find("VELTRA"), std::string::npos);

    for (int r : {2, 25, 26, 27, 28}) EXPECT_EQ(row(MainMenuText, r), row(PartitionScreenText, r));
    for (int r : {2, 7, 18, 21, 22, 23, 24, 27})
        EXPECT_EQ(row(MainMenuText, r), std::string(80, ' ')) << "row " << r;
}

TEST_F(RecordStore, LineCodesInColumns6And7) {
    const char* codes[] = {"1z", "1v", "2z", "2v", "3z", "3v", "4z", "4v"};
    EXPECT_EQ(row(MainMenuText, 9).substr(5, 2), "Al");
    for (int r = 10; r <= 17; ++r) EXPECT_EQ(row(MainMenuText, r).substr(5, 2), codes[r - 10]);
    for (int p = 1; p <= 4; ++p)
        EXPECT_EQ(row(PartitionScreenText, 8 + 2 * p).substr(5, 2), std::to_string(p) + "e");
}

} // namespace
