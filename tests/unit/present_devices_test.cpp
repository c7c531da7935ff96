#include "detect/present_devices.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/family_catalogue.h"
#include "unit/run_rig.h"

namespace cvp::test {
namespace {

class EnumeratePresentDevicesTest : public ::testing::Test {
protected:
    // A present device whose hardware ID is `hardwareId` (its first string).
    void Add(const std::string& enumerator, const std::string& device, const std::string& instance,
             const std::string& description, const std::string& hardwareId) {
        rig.AddDevice(enumerator, device, instance, description);
        rig.machine.SetValue(Root::LocalMachine,
                             "SYSTEM\\CurrentControlSet\\Enum\\" + enumerator + "\\" + device +
                                 "\\" + instance,
                             "HardwareID", kRegMultiSz, hardwareId + '\0' + "second" + '\0' + '\0');
    }
    void AddPci(const std::string& id, const std::string& instance, const std::string& description) {
        Add("PCI", id, instance, description, "PCI\\" + id);
    }
    std::vector<std::string> Listed() const {
        return {rig.state.presentDevices, rig.state.presentDevices + rig.state.presentDeviceCount};
    }
    std::string IdOf(ProductFamily family) const {
        return rig.state.presentHardwareIds[PresentHardwareIdSlot(family)];
    }
    RunRig rig;
};

TEST_F(EnumeratePresentDevicesTest, ListsTheBt878VideoFunctionAndHidesItsAudio) {
    AddPci("VEN_109E&DEV_036E&SUBSYS_66061F3C&REV_11", "1", "Vistrel QX4100 XP WDM Video Capture");
    AddPci("VEN_109E&DEV_0878&SUBSYS_66061F3C&REV_11", "1", "Vistrel QX4100 XP WDM Audio Capture");
    AddPci("VEN_109E&DEV_036E&SUBSYS_13EB0070&REV_11", "1", "Contoso Bt878 Video Capture");
    EXPECT_EQ(EnumeratePresentDevices(rig.context), 1);
    EXPECT_EQ(Listed(), std::vector<std::string>{"Vistrel QX4100 XP WDM Video Capture"});
    EXPECT_EQ(IdOf(FamilyBt878), "66061F3C");
}

TEST_F(EnumeratePresentDevicesTest, ListsEveryCx88CardButOnlyTheFirstDvAndEncoderCard) {
    AddPci("VEN_14F1&DEV_8800&SUBSYS_66081F3C&REV_05", "1", "Expert A");
    AddPci("VEN_14F1&DEV_8800&SUBSYS_66091F3C&REV_05", "1", "Expert B");
    AddPci("VEN_14F1&DEV_8800&SUBSYS_661D1F3C&REV_05", "1", "DV A");
    AddPci("VEN_14F1&DEV_8800&SUBSYS_661E1F3C&REV_05", "1", "DV B");
    AddPci("VEN_14F1&DEV_8800&SUBSYS_66301F3C&REV_05", "1", "Encoder A");
    AddPci("VEN_14F1&DEV_8800&SUBSYS_66381F3C&REV_05", "1", "Encoder B");
    EnumeratePresentDevices(rig.context);
    EXPECT_EQ(Listed(), (std::vector<std::string>{"Expert A", "Expert B", "DV A", "Encoder A"}));
    EXPECT_EQ(IdOf(FamilyCx88), "66091F3C");
    EXPECT_EQ(IdOf(FamilyCx88Dv), "661D1F3C");
    EXPECT_EQ(IdOf(FamilyCx88Encoder), "66301F3C");
    EXPECT_EQ(rig.state.foundCx88Card, 1);
    EXPECT_EQ(rig.state.foundDvCard, 1);
    EXPECT_EQ(rig.state.foundEncoderCard, 1);
}

TEST_F(EnumeratePresentDevicesTest, ListsOneNvidiaChipOnTheMakersBoardWhateverItsSubsystemId) {
    AddPci("VEN_10DE&DEV_0171&SUBSYS_12341F3C&REV_A3", "1", "nVidia WDM Video Capture");
    AddPci("VEN_10DE&DEV_0172&SUBSYS_56781F3C&REV_A3", "1", "second one");
    AddPci("VEN_10DE&DEV_0221&SUBSYS_32011462&REV_A1", "1", "NVIDIA GeForce 6200");
    EnumeratePresentDevices(rig.context);
    EXPECT_EQ(Listed(), std::vector<std::string>{"nVidia WDM Video Capture"});
    EXPECT_EQ(IdOf(FamilyNvidia), "");
}

TEST_F(EnumeratePresentDevicesTest, RecognisesSticksIgnoringCaseInTheFirst21Characters) {
    Add("USB", "Vid_0f6b&Pid_6023", "1", "Vistrel QU Stick II Deluxe", "USB\\VID_0F6B&PID_6023&REV_0100");
    Add("USB", "Vid_0f6b&Pid_6023&MI_01", "1", "USB EMP Audio Device", "USB\\Vid_0f6b&Pid_6023&MI_01");
    Add("USB", "Vid_0eb1&Pid_6668", "1", "USB Composite Device", "USB\\Vid_0eb1&Pid_6668");
    Add("USB", "Vid_0eb1&Pid_7007", "1", "Vistrel RoamView", "USB\\Vid_0eb1&Pid_7007&Rev_0001");
    Add("USB", "Vid_046d&Pid_c31c", "1", "USB Human Interface Device", "USB\\Vid_046d&Pid_c31c");
    EnumeratePresentDevices(rig.context);
    // Registry order: Vid_0eb1 before Vid_0f6b.
    EXPECT_EQ(Listed(), (std::vector<std::string>{"Vistrel RoamView", "Vistrel QU Stick II Deluxe"}));
    EXPECT_EQ(IdOf(FamilyEmpiaUsb), "VID_0F6B&PID_6023");
    EXPECT_EQ(IdOf(FamilyWisUsb), "VID_0EB1&PID_7007");
    EXPECT_STREQ(rig.state.secondaryUsbId, "VID_0EB1&PID_6668");
    EXPECT_EQ(rig.state.foundEmpiaDeluxe, 1);
    EXPECT_EQ(rig.state.foundWis6668, 1);
    EXPECT_EQ(rig.state.foundWis7007, 1);
}

// The family keeps the last stick's ID; working mode purges the chosen entry's own.
TEST_F(EnumeratePresentDevicesTest, WorkingModeTakesTheChosenDevicesOwnId) {
    Add("USB", "Vid_0f6b&Pid_6023", "1", "Vistrel QU Stick II Deluxe", "USB\\Vid_0f6b&Pid_6023");
    Add("USB", "Vid_eb1a&Pid_2820", "1", "Vistrel QU Stick II", "USB\\Vid_eb1a&Pid_2820");
    AddPci("VEN_109E&DEV_036E&SUBSYS_66061F3C&REV_11", "1", "Vistrel QX4100 XP WDM Video Capture");
    AddPci("VEN_109E&DEV_036E&SUBSYS_66071F3C&REV_11", "2", "Vistrel QX4100 XP WDM Video Capture");
    EnumeratePresentDevices(rig.context);
    ASSERT_EQ(Listed().size(), 4u);
    EXPECT_EQ(IdOf(FamilyEmpiaUsb), "VID_EB1A&PID_2820");
    const struct {
        int index;
        ProductFamily family;
        const char* id;
    } choices[] = {{0, FamilyBt878, "66061F3C"},
                   {1, FamilyBt878, "66071F3C"},
                   {2, FamilyEmpiaUsb, "VID_0F6B&PID_6023"},
                   {3, FamilyEmpiaUsb, "VID_EB1A&PID_2820"}};
    for (const auto& choice : choices) {
        rig.state.selectedIndex = choice.index;
        SetFamilyHardwareIds(rig.state, choice.family, 0, 0);
        EXPECT_STREQ(rig.state.primaryHardwareId, choice.id) << Listed()[choice.index];
    }
    // An entry past the list falls back to the family's recorded ID.
    rig.state.selectedIndex = 7;
    SetFamilyHardwareIds(rig.state, FamilyEmpiaUsb, 0, 0);
    EXPECT_STREQ(rig.state.primaryHardwareId, "VID_EB1A&PID_2820");
}

TEST_F(EnumeratePresentDevicesTest, PciCardsAreNeverLookedForOnUsb) {
    Add("USB", "Vid_1234&Pid_0001", "1", "odd", "PCI\\VEN_109E&DEV_036E&SUBSYS_66061F3C&REV_11");
    EXPECT_EQ(EnumeratePresentDevices(rig.context), 0);
    EXPECT_TRUE(Listed().empty());
}

TEST_F(EnumeratePresentDevicesTest, ListsNoMoreThanTen) {
    for (int i = 0; i < 12; ++i) {
        AddPci("VEN_14F1&DEV_8800&SUBSYS_66081F3C&REV_05", std::to_string(10 + i),
               "Expert " + std::to_string(i));
    }
    EnumeratePresentDevices(rig.context);
    ASSERT_EQ(rig.state.presentDeviceCount, 10);
    EXPECT_EQ(Listed().back(), "Expert 9");
}

TEST_F(EnumeratePresentDevicesTest, AShortHardwareIdIsNotReadPastItsEnd) {
    Add("PCI", "VEN_109E&DEV_036E", "1", "short", "PCI\\VEN_109E&DEV_036E&SUBSYS_6606");
    Add("PCI", "VEN_10DE&DEV_0171", "1", "short nv", "PCI\\VEN_10DE&DEV_0171");
    EXPECT_EQ(EnumeratePresentDevices(rig.context), 0);
}

TEST(ProbeDisplayAdapterId, ReadsTheFirstDisplayControllerOnWindows98AndMeOnly) {
    for (Dword minor : {10u, 90u, 0u}) {
        RunRig rig;
        rig.machine.SetOsVersion({kPlatformWin32Windows, 4, minor});
        rig.machine.SetPciConfig(1, 0, 0x08, 0x02000000);  // a network controller
        rig.machine.SetPciConfig(2, 5, 0x08, 0x03000000);  // a display controller
        rig.machine.SetPciConfig(2, 5, 0x00, 0x017110DE);
        rig.machine.SetPciConfig(2, 5, 0x2C, 0x12341F3C);
        char id[255] = "*PNP0900";
        ProbeDisplayAdapterId(rig.context, id, sizeof id);
        const bool me98 = minor != 0;
        EXPECT_STREQ(id, me98 ? "PCI\\VEN_10DE&DEV_0171&SUBSYS_12341F3C" : "*PNP0900") << minor;
    }
}

TEST(ProbeDisplayAdapterId, LeavesTheIdOnNtAndWithoutPortAccess) {
    RunRig nt;
    nt.machine.SetPciConfig(2, 5, 0x08, 0x03000000);
    char id[255] = "*PNP0900";
    ProbeDisplayAdapterId(nt.context, id, sizeof id);
    EXPECT_STREQ(id, "*PNP0900");

    RunRig noPorts;
    noPorts.machine.SetOsVersion({kPlatformWin32Windows, 4, 90});
    ProbeDisplayAdapterId(noPorts.context, id, sizeof id);
    EXPECT_STREQ(id, "*PNP0900");
}

}  // namespace
}  // namespace cvp::test
