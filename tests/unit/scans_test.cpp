#include "detect/scans.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/family_catalogue.h"
#include "unit/run_rig.h"

namespace cvp::test {
namespace {

const std::string kEnum = "SYSTEM\\CurrentControlSet\\Enum\\";

class ScanInstalledDriversTest : public ::testing::Test {
protected:
    void AddKey(const std::string& path) { rig.machine.CreateKey(Root::LocalMachine, path); }
    std::vector<std::string> Scan() {
        EXPECT_EQ(ScanInstalledDrivers(rig.context), 1);
        return {rig.state.installedDrivers, rig.state.installedDrivers + rig.state.installedDriverCount};
    }
    RunRig rig;
};

TEST_F(ScanInstalledDriversTest, NothingInstalledGivesAnEmptyList) {
    AddKey(kEnum + "PCI\\VEN_8086&DEV_7190&SUBSYS_00000000&REV_03");
    EXPECT_TRUE(Scan().empty());
}

TEST_F(ScanInstalledDriversTest, AnyBt878BoardCountsWithoutASubsystemCheck) {
    AddKey(kEnum + "PCI\\VEN_109E&DEV_036E&SUBSYS_13EB0070&REV_11");
    EXPECT_EQ(Scan(), std::vector<std::string>{"Vistrel QX4100 XP WDM"});
    EXPECT_EQ(rig.state.foundBt878, 1);
}

TEST_F(ScanInstalledDriversTest, Cx88CardsCountByTheirSubsystemPair) {
    AddKey(kEnum + "PCI\\VEN_14F1&DEV_8800&SUBSYS_66081F3C&REV_05");
    AddKey(kEnum + "PCI\\VEN_14F1&DEV_8800&SUBSYS_661D1F3C&REV_05");
    AddKey(kEnum + "PCI\\VEN_14F1&DEV_8802&SUBSYS_01871" "4F1&REV_05");
    AddKey(kEnum + "PCI\\VEN_14F1&DEV_8800&SUBSYS_D6000070&REV_05");
    EXPECT_EQ(Scan(), (std::vector<std::string>{"Vistrel QX4100 XP Expert WDM", "Vistrel QD4100",
                                                "Vistrel QR4100"}));
}

TEST_F(ScanInstalledDriversTest, AShortCx88KeyNameIsNotReadPastItsEnd) {
    AddKey(kEnum + "PCI\\VEN_14F1&DEV_8800&SUBSYS_6608");
    EXPECT_TRUE(Scan().empty());
}

TEST_F(ScanInstalledDriversTest, StickKeysCompareTheirFirstSeventeenCharactersIgnoringCase) {
    AddKey(kEnum + "USB\\VID_EB1A&PID_2820&MI_00");
    EXPECT_EQ(Scan(), std::vector<std::string>{"Vistrel QU Stick II"});
    AddKey(kEnum + "USB\\vid_0f6b&pid_6023");
    EXPECT_EQ(Scan(), std::vector<std::string>{"Vistrel QU Stick II Deluxe"});
}

TEST_F(ScanInstalledDriversTest, ServiceKeysInAnyVisitedControlSetCount) {
    AddKey("SYSTEM\\ControlSet001\\Services\\VS88XBAR");
    AddKey("SYSTEM\\ControlSet003\\Services\\WisTunerLoader");
    EXPECT_EQ(Scan(), (std::vector<std::string>{"Vistrel QX4100 XP WDM", "Vistrel RoamView"}));
    EXPECT_STREQ(rig.state.secondaryUsbId, "VID_0EB1&PID_6668");
    EXPECT_EQ(rig.state.foundWis6668, 1);
}

TEST_F(ScanInstalledDriversTest, ControlSet002IsNeverLookedAt) {
    AddKey("SYSTEM\\ControlSet002\\Services\\VSBB");
    AddKey("SYSTEM\\ControlSet002\\Services\\RoamView");
    EXPECT_TRUE(Scan().empty());
}

TEST_F(ScanInstalledDriversTest, ServiceNamesCompareExactly) {
    AddKey("SYSTEM\\CurrentControlSet\\Services\\vsbb");
    AddKey("SYSTEM\\CurrentControlSet\\Services\\RoamViewer");
    EXPECT_TRUE(Scan().empty());
}

TEST_F(ScanInstalledDriversTest, TheDeluxeServiceCountsByItsDisplayName) {
    const std::string service = "SYSTEM\\CurrentControlSet\\Services\\DCamUSBEMPIA";
    rig.machine.SetString(Root::LocalMachine, service, "DisplayName", "Other Camera");
    EXPECT_TRUE(Scan().empty());
    rig.machine.SetString(Root::LocalMachine, service, "DisplayName", "Vistrel QU Stick II Deluxe");
    EXPECT_EQ(Scan(), std::vector<std::string>{"Vistrel QU Stick II Deluxe"});
}

TEST_F(ScanInstalledDriversTest, RebuildsTheListButKeepsEarlierFlags) {
    rig.state.foundDvCard = 1;
    CopyText(rig.state.installedDrivers[0], "stale", 1252);
    rig.state.installedDriverCount = 1;
    EXPECT_EQ(Scan(), std::vector<std::string>{"Vistrel QD4100"});
}

class ScanDeviceInstancesTest : public ::testing::Test {
protected:
    void AddInstance(const std::string& bus, const std::string& device, const std::string& instance,
                     const char* parentIdPrefix, bool started) {
        const std::string path = kEnum + bus + "\\" + device + "\\" + instance;
        rig.machine.CreateKey(Root::LocalMachine, path);
        if (parentIdPrefix != nullptr) {
            rig.machine.SetString(Root::LocalMachine, path, "ParentIdPrefix", parentIdPrefix);
        }
        if (started) rig.machine.CreateKey(Root::LocalMachine, path + "\\Control");
    }
    std::vector<std::string> Prefixes() const {
        return {rig.state.parentIdPrefixes, rig.state.parentIdPrefixes + rig.state.parentIdPrefixCount};
    }
    std::vector<std::string> Suffixes() const {
        return {rig.state.instanceSuffixes, rig.state.instanceSuffixes + rig.state.instanceSuffixCount};
    }
    RunRig rig;
};

TEST_F(ScanDeviceInstancesTest, WorkingModeRecordsStartedInstancesOnly) {
    rig.state.family = FamilyCx88;
    AddInstance("PCI", "VEN_14F1&DEV_8800&SUBSYS_66081F3C&REV_05", "4&2b3c4d5e&0&20F0",
                "7&1a2b3c4d&0", true);
    AddInstance("PCI", "VEN_14F1&DEV_8800&SUBSYS_66081F3C&REV_05", "4&11aa22bb&0&20F1",
                "7&99999999&0", false);
    ScanDeviceInstances(rig.context, "66081F3C");
    EXPECT_EQ(Prefixes(), std::vector<std::string>{"1a2b3c4d"});
    EXPECT_EQ(Suffixes(), std::vector<std::string>{"2b3c4d5e"});
}

TEST_F(ScanDeviceInstancesTest, ExpertModeTakesTheFamilysCardsByTheirSubsystemPair) {
    rig.state.family = FamilyBt878;
    rig.state.expertMode = 1;
    AddInstance("PCI", "VEN_109E&DEV_0878&SUBSYS_66061F3C&REV_11", "4&aaaa&0&21F0", nullptr, false);
    AddInstance("PCI", "VEN_109E&DEV_036E&SUBSYS_66061F3C&REV_11", "4&bbbb&0&20F0", nullptr, false);
    AddInstance("PCI", "VEN_109E&DEV_0878&SUBSYS_13EB0070&REV_11", "4&cccc&0&21F0", nullptr, false);
    ScanDeviceInstances(rig.context, "VEN_109E&DEV_036E");
    EXPECT_EQ(Suffixes(), std::vector<std::string>{"aaaa"});
}

TEST_F(ScanDeviceInstancesTest, UsbKeyNamesAreMatchedInUpperCase) {
    rig.state.family = FamilyWisUsb;
    rig.state.usbFamily = 1;
    rig.state.expertMode = 1;
    AddInstance("USB", "Vid_0eb1&Pid_7007", "0001", "6&5e6f7081&0", false);
    AddInstance("USB", "Vid_0eb1&Pid_7007&MI_00", "7&abc&0&0000", nullptr, false);
    ScanDeviceInstances(rig.context, "VID_0EB1&PID_7007");
    // A serial-number instance name has no "&": nothing to record from it.
    EXPECT_EQ(Prefixes(), std::vector<std::string>{"5e6f7081"});
    EXPECT_EQ(Suffixes(), std::vector<std::string>{"abc"});
}

TEST_F(ScanDeviceInstancesTest, AnEmptyPatternMatchesNothing) {
    rig.state.family = FamilyEmpiaUsb;
    rig.state.usbFamily = 1;
    AddInstance("USB", "Vid_046d&Pid_c31c", "5&1&0&5", "6&12345678&0", true);
    ScanDeviceInstances(rig.context, "");
    EXPECT_TRUE(Prefixes().empty());
    EXPECT_TRUE(Suffixes().empty());
}

TEST_F(ScanDeviceInstancesTest, KeepsTheFirstTenOfEach) {
    rig.state.family = FamilyEmpiaUsb;
    rig.state.usbFamily = 1;
    rig.state.expertMode = 1;
    for (int i = 0; i < 12; ++i) {
        AddInstance("USB", "Vid_0f6b&Pid_6023", "5&" + std::to_string(100 + i) + "&0",
                    ("6&" + std::to_string(200 + i) + "&0").c_str(), false);
    }
    ScanDeviceInstances(rig.context, "VID_0F6B");
    EXPECT_EQ(rig.state.parentIdPrefixCount, 10);
    EXPECT_EQ(rig.state.instanceSuffixCount, 10);
    EXPECT_EQ(Suffixes().front(), "100");
    EXPECT_EQ(Suffixes().back(), "109");
}

TEST_F(ScanDeviceInstancesTest, IdentifiersTooLongForTheirEntriesAreDropped) {
    rig.state.family = FamilyEmpiaUsb;
    rig.state.usbFamily = 1;
    rig.state.expertMode = 1;
    AddInstance("USB", "Vid_0f6b&Pid_6023", "5&" + std::string(50, 'a') + "&0",
                ("6&" + std::string(47, 'b') + "&0").c_str(), false);
    AddInstance("USB", "Vid_0f6b&Pid_6023", "5&ok&0", "6&fine&0", false);
    ScanDeviceInstances(rig.context, "VID_0F6B");
    EXPECT_EQ(Prefixes(), std::vector<std::string>{"fine"});
    EXPECT_EQ(Suffixes(), std::vector<std::string>{"ok"});
}

TEST_F(ScanDeviceInstancesTest, OddParentIdPrefixValuesAreReadSafelyOrNotAtAll) {
    rig.state.family = FamilyEmpiaUsb;
    rig.state.usbFamily = 1;
    rig.state.expertMode = 1;
    const std::string device = kEnum + "USB\\Vid_0f6b&Pid_6023\\";
    AddInstance("USB", "Vid_0f6b&Pid_6023", "1", nullptr, false);
    AddInstance("USB", "Vid_0f6b&Pid_6023", "2", nullptr, false);
    AddInstance("USB", "Vid_0f6b&Pid_6023", "3", nullptr, false);
    rig.machine.SetValue(Root::LocalMachine, device + "1", "ParentIdPrefix", kRegDword,
                         std::string("\x26\x26\0\0", 4));
    // Stored without its terminator: read up to its end, never past it.
    rig.machine.SetValue(Root::LocalMachine, device + "2", "ParentIdPrefix", kRegSz, "6&cafe&0");
    rig.machine.SetValue(Root::LocalMachine, device + "3", "ParentIdPrefix", kRegExpandSz,
                         std::string("7&beef&0\0", 9));
    ScanDeviceInstances(rig.context, "VID_0F6B");
    EXPECT_EQ(Prefixes(), (std::vector<std::string>{"cafe", "beef"}));
}

TEST_F(ScanDeviceInstancesTest, AdjacentAmpersandsGiveAnEmptyEntry) {
    rig.state.family = FamilyEmpiaUsb;
    rig.state.usbFamily = 1;
    rig.state.expertMode = 1;
    AddInstance("USB", "Vid_0f6b&Pid_6023", "5&&0", "6&&0", false);
    ScanDeviceInstances(rig.context, "VID_0F6B");
    EXPECT_EQ(Prefixes(), std::vector<std::string>{""});
    EXPECT_EQ(Suffixes(), std::vector<std::string>{""});
}

}  // namespace
}  // namespace cvp::test
