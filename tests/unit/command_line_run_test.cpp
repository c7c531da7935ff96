#include "app/command_line_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/start_refusal.h"
#include "platform/string_table.h"
#include "run/family_catalogue.h"
#include "unit/run_rig.h"

namespace cvp::test {
namespace {

struct TokenCase {
    const char* token;
    ProductFamily family;
    const char* device;       // a description that the family removes
    const char* enumerator;
};

constexpr TokenCase kTokens[] = {
    {"878", FamilyBt878, "Vistrel QX4100 XP WDM Audio Capture", "PCI"},
    {"88X", FamilyCx88, "Vistrel QX4100 XP Expert WDM", "PCI"},
    {"DV", FamilyCx88Dv, "Vistrel QD4100", "PCI"},
    {"BB", FamilyCx88Encoder, "Vistrel QR4100", "PCI"},
    {"NV", FamilyNvidia, "nVidia WDM Video Capture", "PCI"},
    {"EM", FamilyEmpiaUsb, "USB EMP Audio Device", "USB"},
    {"WIS", FamilyWisUsb, "LifeView", "USB"},
};

TEST(RunCommandLine, EachTokenRemovesItsDevicesUnderAnEmptyCaption) {
    for (const TokenCase& c : kTokens) {
        RunRig rig;
        rig.AddDevice(c.enumerator, "DEV_1", "1", c.device);
        rig.AddDevice(c.enumerator, "DEV_2", "1", "Foreign Capture Card");
        EXPECT_EQ(RunCommandLine(rig.context, c.token), 1) << c.token;
        EXPECT_EQ(rig.state.family, c.family);
        EXPECT_EQ(rig.state.expertMode, 1);
        EXPECT_EQ(rig.state.commandLineRun, 1);
        EXPECT_EQ(rig.state.usbFamily, IsUsbFamily(c.family) ? 1 : 0);
        EXPECT_EQ(rig.LogLines(), std::vector<std::string>{std::string(" ") + c.device})
            << c.token;
        EXPECT_FALSE(rig.DevicePresent(c.enumerator, "DEV_1", "1")) << c.token;
        EXPECT_TRUE(rig.DevicePresent(c.enumerator, "DEV_2", "1")) << c.token;
        EXPECT_EQ(rig.state.progressTotal, 2);
    }
}

TEST(RunCommandLine, PausesBetweenStickNamesAfterDevicesAndAfterEachFirstPassStage) {
    RunRig em;
    RunCommandLine(em.context, "EM");
    EXPECT_EQ(em.machine.sleeps(), (std::vector<Dword>{200, 200, 500, 10, 10, 10}));

    RunRig wis;
    RunCommandLine(wis.context, "WIS");
    EXPECT_EQ(wis.machine.sleeps(), (std::vector<Dword>{500, 10, 10, 10}));
}

TEST(RunCommandLine, EndsWithTheSecondFilePass) {
    RunRig rig;
    RunCommandLine(rig.context, "DV");
    EXPECT_EQ(rig.state.stage, StageOtherFiles);
    EXPECT_STREQ(rig.state.statusText, "Delete others file...");
}

TEST(RunCommandLine, SetsTheFamilysFixedPatterns) {
    RunRig bb;
    RunCommandLine(bb.context, "BB");
    EXPECT_STREQ(bb.state.primaryHardwareId, "VEN_14F1&DEV_8802");
    EXPECT_STREQ(bb.state.secondaryPciId, "");

    RunRig wis;
    RunCommandLine(wis.context, "WIS");
    EXPECT_STREQ(wis.state.primaryHardwareId, "VID_0EB1&PID_7007");
    EXPECT_STREQ(wis.state.secondaryUsbId, "VID_0EB1&PID_6668");
}

TEST(RunCommandLine, RecordsTheInstancesOfTheDevicesItRemoves) {
    RunRig rig;
    const std::string audio = "VEN_109E&DEV_0878&SUBSYS_66061F3C&REV_11";
    rig.AddDevice("PCI", audio, "4&aa11&0&21F0", "Vistrel QX4100 XP WDM Audio Capture");
    rig.machine.SetString(Root::LocalMachine,
                          "SYSTEM\\CurrentControlSet\\Enum\\PCI\\" + audio + "\\4&aa11&0&21F0",
                          "ParentIdPrefix", "5&bb22&0");
    RunCommandLine(rig.context, "878");
    EXPECT_FALSE(rig.DevicePresent("PCI", audio, "4&aa11&0&21F0"));
    ASSERT_EQ(rig.state.parentIdPrefixCount, 1);
    EXPECT_STREQ(rig.state.parentIdPrefixes[0], "bb22");
    ASSERT_EQ(rig.state.instanceSuffixCount, 1);
    EXPECT_STREQ(rig.state.instanceSuffixes[0], "aa11");
}

TEST(RunCommandLine, ABadTokenDoesNothingAtAll) {
    for (const std::string& token : {std::string("878 "), std::string("wis"),
                                    std::string("EM EM"), std::string(5000, 'W'),
                                    std::string("\xA5\x59\xFF")}) {
        RunRig rig;
        rig.AddDevice("PCI", "DEV_1", "1", "Vistrel QX4100 XP WDM Video Capture");
        EXPECT_EQ(RunCommandLine(rig.context, token.c_str()), 0);
        EXPECT_FALSE(rig.machine.FileExists(kLogPath));
        EXPECT_TRUE(rig.machine.sleeps().empty());
        EXPECT_TRUE(rig.DevicePresent("PCI", "DEV_1", "1"));
        EXPECT_EQ(rig.state.commandLineRun, 0);
    }
}

// 64-bit Windows first: there even an administrator's run can't be right.
TEST(StartRefusal, RefusesOn64BitWindowsAndWithoutAnAdministrator) {
    MemoryMachine machine;
    EXPECT_EQ(StartRefusal(machine), 0u);
    machine.SetAdministrator(false);
    EXPECT_EQ(StartRefusal(machine), unsigned{IDS_REFUSED_NOT_ADMINISTRATOR});
    machine.SetWow64(true);
    EXPECT_EQ(StartRefusal(machine), unsigned{IDS_REFUSED_64_BIT});
    machine.SetAdministrator(true);
    EXPECT_EQ(StartRefusal(machine), unsigned{IDS_REFUSED_64_BIT});
}

}  // namespace
}  // namespace cvp::test
