// The partition rules: which types count, what HIDE and REST do to a type,
// and the editor's unconditional hide, unhide and activate.
#include "core/partition_table.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace {

SectorBuffer withTypes(std::initializer_list<int> types) {
    SectorBuffer sector{};
    int entry = 0;
    for (int type : types) sector[typeOffset(entry++)] = type;
    return sector;
}

TEST(PartitionCount, CountsRecognisedTypesHiddenOrVisible) {
    EXPECT_EQ(countRecognised(withTypes({0x07, 0x17, 0x0C, 0x00})), 3);
    EXPECT_EQ(countRecognised(withTypes({0x05, 0x0F, 0x82, 0x00})), 0);
    EXPECT_EQ(countRecognised(withTypes({0x93, 0x91, 0x1E, 0x1B})), 4);
    EXPECT_EQ(countRecognised(withTypes({0x00, 0x00, 0x00, 0x83})), 1);

    InstallerState state;
    state.workSector = withTypes({0x06, 0x16, 0x0B, 0x05});
    state.partitionCount = 9;
    countPrimaryPartitions(state);
    EXPECT_EQ(state.partitionCount, 3);
}

TEST(RecognisedTypes, ExactlySevenCodesInTwoForms) {
    int recognised = 0;
    for (int type = 0; type < 256; ++type) recognised += isRecognisedType(type);
    EXPECT_EQ(recognised, 14);
    for (int type : {0x06, 0x0B, 0x0C, 0x0E, 0x07, 0x81, 0x83}) {
        EXPECT_TRUE(isRecognisedType(type)) << type;
        EXPECT_TRUE(isRecognisedType(type | HiddenBit)) << type;
    }
    for (int type : {0x00, 0x05, 0x0F, 0x82, 0x15, 0x10, 0xEE, 0x87})
        EXPECT_FALSE(isRecognisedType(type)) << type;
}

TEST(HideAndUnhideRules, ChangeOnlyRecognisedTypes) {
    EXPECT_EQ(hideRule(0x0E), 0x1E);
    EXPECT_EQ(hideRule(0x1E), 0x1E);
    EXPECT_EQ(hideRule(0x0F), 0x0F);
    EXPECT_EQ(hideRule(0x00), 0x00);
    EXPECT_EQ(hideRule(0x83), 0x93);
    EXPECT_EQ(hideRule(0x05), 0x05);

    EXPECT_EQ(unhideRule(0x93), 0x83);
    EXPECT_EQ(unhideRule(0x15), 0x15);
    EXPECT_EQ(unhideRule(0x07), 0x07);
    EXPECT_EQ(unhideRule(0x10), 0x10);

    for (int type = 0; type < 256; ++type) {
        if (isRecognisedType(type)) {
            EXPECT_EQ(unhideRule(hideRule(type)), type & 0xEF) << type;
        } else {
            EXPECT_EQ(hideRule(type), type) << type;
            EXPECT_EQ(unhideRule(type), type) << type;
        }
    }
}

TEST(EditorOperations, HideAndUnhideIgnoreTheType) {
    SectorBuffer sector = withTypes({0x00, 0x05, 0x0B, 0x1B});
    hideEntry(sector, 0);
    hideEntry(sector, 1);
    hideEntry(sector, 2);
    EXPECT_EQ(sector[typeOffset(0)], 0x10);
    EXPECT_EQ(sector[typeOffset(1)], 0x15);
    EXPECT_EQ(sector[typeOffset(2)], 0x1B);

    unhideEntry(sector, 0);
    unhideEntry(sector, 3);
    EXPECT_EQ(sector[typeOffset(0)], 0x00);
    EXPECT_EQ(sector[typeOffset(3)], 0x0B);
    EXPECT_EQ(sector[typeOffset(1)], 0x15); // untouched entries keep their type
}

TEST(EditorOperations, SetActiveLeavesExactlyOneActiveEntry) {
    SectorBuffer sector = withTypes({0x07, 0x83, 0x00, 0x0C});
    sector[bootFlagOffset(0)] = 0x80;
    sector[bootFlagOffset(3)] = 0x80;
    sector[bootFlagOffset(1)] = 0x01; // any other flag value is cleared too
    setActive(sector, 2);
    EXPECT_EQ(sector[bootFlagOffset(0)], 0x00);
    EXPECT_EQ(sector[bootFlagOffset(1)], 0x00);
    EXPECT_EQ(sector[bootFlagOffset(2)], 0x80);
    EXPECT_EQ(sector[bootFlagOffset(3)], 0x00);
    EXPECT_EQ(sector[typeOffset(2)], 0x00); // types are not touched
    EXPECT_EQ(sector[typeOffset(0)], 0x07);
    setActive(sector, 0);
    EXPECT_EQ(sector[bootFlagOffset(0)], 0x80);
    EXPECT_EQ(sector[bootFlagOffset(2)], 0x00);

    // No entry below 0 or above 3: nothing changes.
    const SectorBuffer before = sector;
    for (int entry : {-1, 4, 5}) {
        setActive(sector, entry);
        hideEntry(sector, entry);
        unhideEntry(sector, entry);
        EXPECT_EQ(sector, before) << entry;
    }
}

} // namespace
