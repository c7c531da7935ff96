#include "cleanup/device_removal.h"

#include <gtest/gtest.h>

#include "run/family_catalogue.h"
#include "unit/run_rig.h"

namespace cvp::test {
namespace {

constexpr const char* kVideo = "Vistrel QX4100 XP WDM Video Capture";
constexpr const char* kCard = "VEN_109E&DEV_036E&SUBSYS_66061F3C&REV_11";

class RemoveDeviceByDescriptionTest : public ::testing::Test {
protected:
    int Remove(const char* enumerator, const char* name) {
        return RemoveDeviceByDescription(rig.context, enumerator, name);
    }
    RunRig rig;
};

TEST_F(RemoveDeviceByDescriptionTest, RemovesTheDeviceWhoseDescriptionContainsTheName) {
    rig.AddDevice("PCI", kCard, "4&1a2b3c4d&0&20F0", std::string("Acme ") + kVideo + " #2");
    EXPECT_EQ(Remove("PCI", kVideo), 1);
    EXPECT_FALSE(rig.DevicePresent("PCI", kCard, "4&1a2b3c4d&0&20F0"));
    EXPECT_STREQ(rig.state.currentItem, kVideo);
}

TEST_F(RemoveDeviceByDescriptionTest, ComparesCaseSensitively) {
    rig.AddDevice("PCI", kCard, "4&1a2b3c4d&0&20F0", "VISTREL QX4100 XP WDM VIDEO CAPTURE");
    EXPECT_EQ(Remove("PCI", kVideo), 0);
    EXPECT_TRUE(rig.DevicePresent("PCI", kCard, "4&1a2b3c4d&0&20F0"));
    EXPECT_STREQ(rig.state.currentItem, "");
}

TEST_F(RemoveDeviceByDescriptionTest, RemovesOnlyTheFirstOfTwoIdenticalCards) {
    rig.AddDevice("PCI", kCard, "4&1a2b3c4d&0&20F0", kVideo);
    rig.AddDevice("PCI", kCard, "4&1a2b3c4d&0&28F0", kVideo);
    EXPECT_EQ(Remove("PCI", kVideo), 1);
    EXPECT_FALSE(rig.DevicePresent("PCI", kCard, "4&1a2b3c4d&0&20F0"));
    EXPECT_TRUE(rig.DevicePresent("PCI", kCard, "4&1a2b3c4d&0&28F0"));
    EXPECT_EQ(Remove("PCI", kVideo), 1);
    EXPECT_FALSE(rig.DevicePresent("PCI", kCard, "4&1a2b3c4d&0&28F0"));
}

TEST_F(RemoveDeviceByDescriptionTest, LooksOnlyUnderTheGivenEnumerator) {
    rig.AddDevice("USB", "Vid_eb1a&Pid_2800", "5&1&0&1", "Vistrel QU Stick II");
    rig.AddDevice("PCI", kCard, "4&1a2b3c4d&0&20F0", kVideo);
    EXPECT_EQ(Remove("PCI", "Vistrel QU Stick II"), 0);
    EXPECT_EQ(Remove("USB", kVideo), 0);
    EXPECT_TRUE(rig.DevicePresent("USB", "Vid_eb1a&Pid_2800", "5&1&0&1"));
    EXPECT_TRUE(rig.DevicePresent("PCI", kCard, "4&1a2b3c4d&0&20F0"));
}

TEST_F(RemoveDeviceByDescriptionTest, AbsentDevicesAreNotListed) {
    // An instance without a class GUID is a device Windows no longer lists as present.
    rig.machine.SetString(Root::LocalMachine,
                          std::string("SYSTEM\\CurrentControlSet\\Enum\\PCI\\") + kCard + "\\1",
                          "DeviceDesc", kVideo);
    EXPECT_EQ(Remove("PCI", kVideo), 0);
}

TEST_F(RemoveDeviceByDescriptionTest, AFailedRemovalEndsTheWalkWithZero) {
    rig.AddDevice("PCI", kCard, "4&1a2b3c4d&0&20F0", kVideo);
    rig.AddDevice("PCI", kCard, "4&1a2b3c4d&0&28F0", kVideo);
    rig.machine.FailDeviceRemoval(std::string("PCI\\") + kCard + "\\4&1a2b3c4d&0&20F0");
    EXPECT_EQ(Remove("PCI", kVideo), 0);
    EXPECT_TRUE(rig.DevicePresent("PCI", kCard, "4&1a2b3c4d&0&20F0"));
    EXPECT_TRUE(rig.DevicePresent("PCI", kCard, "4&1a2b3c4d&0&28F0"));
}

TEST_F(RemoveDeviceByDescriptionTest, SkipsADescriptionTooLongForItsBuffer) {
    rig.AddDevice("PCI", kCard, "4&1a2b3c4d&0&20F0", kVideo + std::string(300, 'x'));
    rig.AddDevice("PCI", kCard, "4&1a2b3c4d&0&28F0", kVideo);
    EXPECT_EQ(Remove("PCI", kVideo), 1);
    EXPECT_TRUE(rig.DevicePresent("PCI", kCard, "4&1a2b3c4d&0&20F0"));
    EXPECT_FALSE(rig.DevicePresent("PCI", kCard, "4&1a2b3c4d&0&28F0"));
}

TEST(RemoveFamilyDevices, RemovesTheListInOrderWithPausesAndReportsEach) {
    RunRig rig;
    rig.state.family = FamilyEmpiaUsb;
    rig.AddDevice("USB", "Vid_eb1a&Pid_2800", "5&1&0&1", "Vistrel QU Stick II");
    rig.AddDevice("USB", "Vid_eb1a&Pid_2800&MI_01", "6&1&0&1", "USB EMP Audio Device");
    RemoveFamilyDevices(rig.context);
    EXPECT_EQ(rig.LogLines(),
              (std::vector<std::string>{" Vistrel QU Stick II", " USB EMP Audio Device"}));
    EXPECT_EQ(rig.state.progressTotal, 4);
    EXPECT_EQ(rig.machine.sleeps(), (std::vector<Dword>{200, 200}));
}

}  // namespace
}  // namespace cvp::test
