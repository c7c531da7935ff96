#include "detect/card_models.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

namespace cvp {
namespace {

RunState Expert() {
    RunState state;
    state.expertMode = 1;
    return state;
}

TEST(CardModelGroup, GroupsHaveTheirRowsInOrder) {
    EXPECT_EQ(CardModelGroup(FamilyBt878).size(), 20u);
    EXPECT_EQ(CardModelGroup(FamilyCx88).size(), 25u);
    EXPECT_EQ(CardModelGroup(FamilyCx88Dv).size(), 12u);
    EXPECT_EQ(CardModelGroup(FamilyCx88Encoder).size(), 19u);
    EXPECT_EQ(CardModelGroup(FamilyNvidia).size(), 49u);
    for (ProductFamily family : {FamilyEmpiaUsb, FamilyWisUsb, FamilyNone}) {
        EXPECT_TRUE(CardModelGroup(family).empty());
    }
    // Group boundaries: first and last rows of each group.
    EXPECT_EQ(CardModelGroup(FamilyBt878).front().subsystemId, 0x6606);
    EXPECT_EQ(CardModelGroup(FamilyBt878).back().subsystemId, 0x6619);
    EXPECT_EQ(CardModelGroup(FamilyCx88).front().subsystemId, 0x6608);
    EXPECT_EQ(CardModelGroup(FamilyCx88).back().subsystemId, 0x6F18);
    EXPECT_EQ(CardModelGroup(FamilyCx88Dv).front().subsystemId, 0x661D);
    EXPECT_EQ(CardModelGroup(FamilyCx88Dv).back().subsystemId, 0x662D);
    EXPECT_EQ(CardModelGroup(FamilyCx88Encoder).front().subsystemId, 0x6630);
    const CardModel& encoderChip = CardModelGroup(FamilyCx88Encoder)[16];
    EXPECT_EQ(encoderChip.chipVendor, 0x4444);
    EXPECT_EQ(encoderChip.subsystemId, 0x6F16);
    EXPECT_EQ(CardModelGroup(FamilyCx88Encoder).back().chipDevice, 0x8802);
    EXPECT_EQ(CardModelGroup(FamilyNvidia).front().chipDevice, 0x0170);
    EXPECT_EQ(CardModelGroup(FamilyNvidia).back().chipDevice, 0x0141);
    for (const CardModel& row : CardModelGroup(FamilyNvidia)) {
        EXPECT_EQ(row.chipVendor, 0x10DE);
        EXPECT_EQ(row.subsystemId, 0xFFFF);
        EXPECT_EQ(row.subsystemVendor, 0x1F3C);
    }
}

TEST(CardModelGroup, FamiliesTwoAndFourShareNoPair) {
    std::set<unsigned> cx88;
    for (const CardModel& row : CardModelGroup(FamilyCx88)) {
        cx88.insert(row.subsystemId << 16 | row.subsystemVendor);
    }
    for (const CardModel& row : CardModelGroup(FamilyCx88Dv)) {
        EXPECT_FALSE(cx88.count(row.subsystemId << 16 | row.subsystemVendor));
    }
}

TEST(SubsystemFieldMatch, ReadsThePairAfterSubsys) {
    const RunState expert = Expert();
    EXPECT_TRUE(SubsystemFieldMatch(expert, FamilyCx88Dv, "VEN_14F1&DEV_8800&SUBSYS_661D1F3C&REV_05"));
    EXPECT_FALSE(SubsystemFieldMatch(expert, FamilyCx88, "VEN_14F1&DEV_8800&SUBSYS_661D1F3C&REV_05"));
    EXPECT_TRUE(SubsystemFieldMatch(expert, FamilyBt878, "VEN_109E&DEV_0878&SUBSYS_66061F3C&REV_11"));
    EXPECT_TRUE(SubsystemFieldMatch(expert, FamilyBt878, "VEN_109E&DEV_0878&SUBSYS_217D6606&REV_11"));
    EXPECT_TRUE(SubsystemFieldMatch(expert, FamilyCx88, "VEN_14F1&DEV_8800&SUBSYS_6F05A0A0&REV_05"));
}

TEST(SubsystemFieldMatch, ChecksTheFamilysChipExceptForTheEncoderFamily) {
    const RunState expert = Expert();
    // The Bt878 video function does not carry "0878".
    EXPECT_FALSE(SubsystemFieldMatch(expert, FamilyBt878, "VEN_109E&DEV_036E&SUBSYS_66061F3C&REV_11"));
    EXPECT_TRUE(SubsystemFieldMatch(expert, FamilyCx88Encoder, "VEN_4444&DEV_0016&SUBSYS_6F161F3C&REV_01"));
    EXPECT_TRUE(SubsystemFieldMatch(expert, FamilyCx88Encoder, "VEN_14F1&DEV_8802&SUBSYS_66301F3C&REV_05"));
    EXPECT_FALSE(SubsystemFieldMatch(expert, FamilyCx88, "VEN_14F1&DEV_8802&SUBSYS_66081F3C&REV_05"));
}

TEST(SubsystemFieldMatch, OtherBoardsAndOtherFamiliesNeverMatch) {
    const RunState expert = Expert();
    EXPECT_FALSE(SubsystemFieldMatch(expert, FamilyBt878, "VEN_109E&DEV_0878&SUBSYS_13EB0070&REV_11"));
    EXPECT_FALSE(SubsystemFieldMatch(expert, FamilyCx88, "VEN_14F1&DEV_8800&SUBSYS_D6000070&REV_05"));
    for (ProductFamily family : {FamilyNvidia, FamilyEmpiaUsb, FamilyWisUsb, FamilyNone}) {
        EXPECT_FALSE(SubsystemFieldMatch(expert, family, "VEN_10DE&DEV_0171&SUBSYS_FFFF1F3C&REV_A3"));
        EXPECT_FALSE(SubsystemTextMatch(expert, family, "FFFF1F3C 66061F3C 66081F3C"));
    }
}

TEST(SubsystemFieldMatch, AShortNameIsReadNoFurtherThanItsEnd) {
    const RunState expert = Expert();
    EXPECT_FALSE(SubsystemFieldMatch(expert, FamilyCx88, "VEN_14F1&DEV_8800&SUBSYS_6608"));
    EXPECT_FALSE(SubsystemFieldMatch(expert, FamilyCx88, "VEN_14F1&DEV_8800&SUBSYS_66081F3"));
    EXPECT_FALSE(SubsystemFieldMatch(expert, FamilyCx88, ""));
    // Exactly 33 characters is long enough.
    EXPECT_TRUE(SubsystemFieldMatch(expert, FamilyCx88, "VEN_14F1&DEV_8800&SUBSYS_66081F3C"));
}

TEST(SubsystemTextMatch, FindsAPairAnywhereCaseSensitively) {
    const RunState expert = Expert();
    EXPECT_TRUE(SubsystemTextMatch(
        expert, FamilyBt878, "##?#PCI#VEN_109E&DEV_0878&SUBSYS_217D6606&REV_11#4&1&0#{x}"));
    EXPECT_TRUE(SubsystemTextMatch(expert, FamilyCx88Encoder, "tail01871" "4F1"));
    EXPECT_FALSE(SubsystemTextMatch(expert, FamilyBt878, "##?#pci#ven_109e&dev_0878&subsys_66061f3c"));
    EXPECT_FALSE(SubsystemTextMatch(expert, FamilyCx88, "66061F3C"));
}

TEST(SubsystemMatches, AreFalseInWorkingMode) {
    const RunState working;
    for (ProductFamily family : {FamilyBt878, FamilyCx88, FamilyCx88Dv, FamilyCx88Encoder}) {
        const CardModel& row = CardModelGroup(family).front();
        char name[64];
        std::snprintf(name, sizeof name, "VEN_%4.4X&DEV_%4.4X&SUBSYS_%4.4X%4.4X&REV_01",
                      unsigned{row.chipVendor}, unsigned{row.chipDevice},
                      unsigned{row.subsystemId}, unsigned{row.subsystemVendor});
        EXPECT_TRUE(SubsystemFieldMatch(Expert(), family, name)) << name;
        EXPECT_TRUE(SubsystemTextMatch(Expert(), family, name)) << name;
        EXPECT_FALSE(SubsystemFieldMatch(working, family, name)) << name;
        EXPECT_FALSE(SubsystemTextMatch(working, family, name)) << name;
    }
}

TEST(ReadHexField, StopsAtTheFirstNonDigit) {
    std::uint16_t value = 1;
    EXPECT_TRUE(ReadHexField("ab12zz", 2, &value));
    EXPECT_EQ(value, 0x12);
    EXPECT_TRUE(ReadHexField("zzzz", 0, &value));
    EXPECT_EQ(value, 0);
    EXPECT_FALSE(ReadHexField("abc", 0, &value));
}

}  // namespace
}  // namespace cvp
