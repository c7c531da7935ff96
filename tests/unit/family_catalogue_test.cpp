#include "run/family_catalogue.h"

#include <gtest/gtest.h>

#include <string>

namespace cvp {
namespace {

TEST(FamilyFromToken, MapsEachTokenToItsFamily) {
    EXPECT_EQ(FamilyFromToken("878"), FamilyBt878);
    EXPECT_EQ(FamilyFromToken("88X"), FamilyCx88);
    EXPECT_EQ(FamilyFromToken("DV"), FamilyCx88Dv);
    EXPECT_EQ(FamilyFromToken("BB"), FamilyCx88Encoder);
    EXPECT_EQ(FamilyFromToken("NV"), FamilyNvidia);
    EXPECT_EQ(FamilyFromToken("EM"), FamilyEmpiaUsb);
    EXPECT_EQ(FamilyFromToken("WIS"), FamilyWisUsb);
}

TEST(FamilyFromToken, NamesNoFamilyUnlessTheWholeStringIsAToken) {
    for (const char* token : {"878 ", " 878", "wis", "Wis", "EM EM", "88x", "8", "", "EMX",
                              "\"878\"", "\xA5\x59", "878\xA0"}) {
        EXPECT_EQ(FamilyFromToken(token), FamilyNone) << '"' << token << '"';
    }
    EXPECT_EQ(FamilyFromToken(std::string(5000, 'E').c_str()), FamilyNone);
}

TEST(FamilyCatalogue, OnlyTheStickFamiliesAreUsb) {
    for (ProductFamily family = 0; family <= FamilyNone; ++family) {
        EXPECT_EQ(IsUsbFamily(family), family == FamilyEmpiaUsb || family == FamilyWisUsb);
    }
}

struct ListEntryCase {
    const char* entry;
    ProductFamily family;
};

TEST(FamilyFromListEntry, FirstMatchingRuleDecides) {
    const ListEntryCase cases[] = {
        {"Vistrel QX4100 XP WDM Video Capture", FamilyBt878},
        {"Vistrel QX4100 XP WDM", FamilyBt878},
        {"Vistrel QX4100 XP Expert WDM", FamilyCx88},
        {"Vistrel QD4100", FamilyCx88Dv},
        {"Vistrel QD4100 Video", FamilyCx88Dv},
        {"Vistrel QR4100 MPEG Encoder", FamilyCx88Encoder},
        {"My nVidia WDM Video Capture 2", FamilyNvidia},
        {"Vistrel QU Stick II", FamilyEmpiaUsb},
        {"Vistrel QU Stick II Deluxe", FamilyEmpiaUsb},
        {"Vistrel RoamView", FamilyWisUsb},
        {"Vistrel QX4100 XP WDM Audio Capture", FamilyNone},
        {"Vistrel QU Stick II Deluxe ", FamilyNone},
        {"Vistrel QU Stick II Plus", FamilyNone},
        {"vistrel qd4100", FamilyNone},
        {"", FamilyNone},
    };
    for (const ListEntryCase& c : cases) {
        RunState state;
        FamilyFromListEntry(state, c.entry);
        EXPECT_EQ(state.family, c.family) << c.entry;
        EXPECT_EQ(state.usbFamily, IsUsbFamily(c.family) ? 1 : 0) << c.entry;
    }
}

TEST(FamilyFromListEntry, NoFamilyLeavesTheUsbFlagAndPatternsAlone) {
    RunState state;
    state.usbFamily = 1;
    CopyText(state.primaryHardwareId, "VID_0F6B", 1252);
    FamilyFromListEntry(state, "Something else");
    EXPECT_EQ(state.family, FamilyNone);
    EXPECT_EQ(state.usbFamily, 1);
    EXPECT_STREQ(state.primaryHardwareId, "VID_0F6B");
}

TEST(SetFamilyHardwareIds, FixedPatternsInExpertModeAndCommandLineRuns) {
    const std::pair<ProductFamily, const char*> fixed[] = {
        {FamilyBt878, "VEN_109E&DEV_036E"},  {FamilyCx88, "VEN_14F1&DEV_8800"},
        {FamilyCx88Dv, "VEN_14F1&DEV_8800"}, {FamilyCx88Encoder, "VEN_14F1&DEV_8802"},
        {FamilyNvidia, "VEN_10DE"},          {FamilyEmpiaUsb, "VID_0F6B"},
        {FamilyWisUsb, "VID_0EB1&PID_7007"}, {FamilyNone, "VEN_14F1&DEV_8800"},
    };
    for (const auto& [family, pattern] : fixed) {
        RunState expert;
        SetFamilyHardwareIds(expert, family, 1, 0);
        EXPECT_STREQ(expert.primaryHardwareId, pattern) << family;
        RunState commandLine;
        SetFamilyHardwareIds(commandLine, family, 1, 1);
        EXPECT_STREQ(commandLine.primaryHardwareId, pattern) << family;
    }
}

TEST(SetFamilyHardwareIds, SecondPatterns) {
    RunState expert;
    SetFamilyHardwareIds(expert, FamilyCx88Encoder, 1, 0);
    EXPECT_STREQ(expert.secondaryPciId, "VEN_14F1&DEV_8800&SUBSYS_663");

    RunState commandLine;
    SetFamilyHardwareIds(commandLine, FamilyCx88Encoder, 1, 1);
    EXPECT_STREQ(commandLine.secondaryPciId, "");

    RunState wis;
    SetFamilyHardwareIds(wis, FamilyWisUsb, 1, 1);
    EXPECT_STREQ(wis.secondaryUsbId, "VID_0EB1&PID_6668");

    RunState working;
    SetFamilyHardwareIds(working, FamilyWisUsb, 0, 0);
    EXPECT_STREQ(working.secondaryUsbId, "");
}

TEST(SetFamilyHardwareIds, WorkingModeTakesThePresentDevicesId) {
    RunState state;
    const ProductFamily families[] = {FamilyBt878,    FamilyCx88,     FamilyCx88Dv,
                                      FamilyCx88Encoder, FamilyEmpiaUsb, FamilyWisUsb};
    for (ProductFamily family : families) {
        CopyText(state.presentHardwareIds[PresentHardwareIdSlot(family)],
                 ("ID-" + std::to_string(family)).c_str(), 1252);
    }
    for (ProductFamily family : families) {
        SetFamilyHardwareIds(state, family, 0, 0);
        EXPECT_EQ(state.primaryHardwareId, "ID-" + std::to_string(family));
    }
}

TEST(SetFamilyHardwareIds, WorkingModeNvidiaNeverGetsAnEmptyPattern) {
    RunState state;
    SetFamilyHardwareIds(state, FamilyNvidia, 0, 0);
    EXPECT_STREQ(state.primaryHardwareId, "VEN_10DE");
}

TEST(FamilyDeviceNames, NamesEnumeratorsAndPauses) {
    const FamilyDeviceList& bt878 = FamilyDeviceNames(FamilyBt878);
    EXPECT_STREQ(bt878.enumerator, "PCI");
    ASSERT_EQ(bt878.count, 2);
    EXPECT_STREQ(bt878.names[0], "Vistrel QX4100 XP WDM Video Capture");
    EXPECT_STREQ(bt878.names[1], "Vistrel QX4100 XP WDM Audio Capture");

    const FamilyDeviceList& empia = FamilyDeviceNames(FamilyEmpiaUsb);
    EXPECT_STREQ(empia.enumerator, "USB");
    ASSERT_EQ(empia.count, 3);
    EXPECT_STREQ(empia.names[2], "USB EMP Audio Device");
    EXPECT_EQ(empia.pauseAfter[0], 200u);
    EXPECT_EQ(empia.pauseAfter[1], 200u);
    EXPECT_EQ(empia.pauseAfter[2], 0u);

    const FamilyDeviceList& wis = FamilyDeviceNames(FamilyWisUsb);
    EXPECT_STREQ(wis.enumerator, "USB");
    ASSERT_EQ(wis.count, 3);
    EXPECT_STREQ(wis.names[1], "WIS GO7007SB A/V Capture");
    EXPECT_STREQ(wis.names[2], "LifeView");

    EXPECT_EQ(FamilyDeviceNames(FamilyCx88Encoder).count, 2);
    EXPECT_STREQ(FamilyDeviceNames(FamilyNvidia).names[0], "nVidia WDM Video Capture");
    EXPECT_EQ(FamilyDeviceNames(FamilyNone).count, 0);
    for (ProductFamily family : {FamilyBt878, FamilyCx88, FamilyCx88Dv, FamilyCx88Encoder,
                                 FamilyNvidia, FamilyWisUsb}) {
        const FamilyDeviceList& list = FamilyDeviceNames(family);
        for (int i = 0; i < list.count; ++i) EXPECT_EQ(list.pauseAfter[i], 0u) << family;
    }
}

}  // namespace
}  // namespace cvp
