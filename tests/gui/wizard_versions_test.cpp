// The working-device list under the Windows version the prefix plays
// (CVP_WINDOWS_VERSION: win2k, winxp, win7), against the in-memory machine's list for
// the same image and version. The image's PCI devices include two whose hardware IDs
// begin with "*": on 2000 and XP (and every NT) such an ID stays as it is, so neither
// matches, and the PCI configuration-space probe, which would give the legacy VGA
// adapter its real ID on Windows 98, never runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "gui/wizard_driver.h"
#include "platform/image/machine_image.h"
#include "platform/image/windows_versions.h"
#include "unit/run_rig.h"

namespace gui {
namespace {

constexpr char kLegacyDisplay[] = "tests\\gui\\images\\legacy-display";
constexpr char kVideo[] = "Vistrel QX4100 XP WDM Video Capture";
constexpr char kStarred[] = "Vistrel QX4100 XP WDM Video Capture behind a star";

// The machine's system calls, the PCI configuration reads counted.
class CountingPortReads : public cvp::test::ForwardingSystem {
  public:
    using ForwardingSystem::ForwardingSystem;
    bool ReadPciConfig(cvp::Dword bus, cvp::Dword device, cvp::Dword reg,
                       cvp::Dword* value) override {
        ++reads;
        return ForwardingSystem::ReadPciConfig(bus, device, reg, value);
    }
    int reads = 0;
};

// What the working-device page lists for the image on the in-memory machine playing
// `version`, whose PCI configuration space holds the maker's nVidia display controller
// on bus 1; `portReads` counts what the probe read of it.
std::vector<std::string> MemoryWorkingList(const cvp::OsVersion& version, int* portReads) {
    cvp::MachineImage image;
    std::string error;
    cvp::MemoryMachine machine;
    if (!cvp::LoadMachineImage(TestPaths().repository + "\\" + kLegacyDisplay, &image, &error) ||
        !machine.Apply(image, &error)) {
        ADD_FAILURE() << error;
        return {};
    }
    machine.SetOsVersion(version);
    machine.SetPciConfig(1, 0, 0x08, 0x03000000);  // class: display controller
    machine.SetPciConfig(1, 0, 0x00, 0x017110DE);  // nVidia 0171
    machine.SetPciConfig(1, 0, 0x2C, 0x00011F3C);  // on the maker's board
    CountingPortReads system(machine);
    cvp::Platform platform{machine, machine, machine, machine, system};
    cvp::RunState state;
    cvp::RunContext scan{platform, state, nullptr};
    const int count = cvp::test::ListEntries(scan, 0);
    *portReads = system.reads;
    return {state.presentDevices, state.presentDevices + count};
}

TEST(WizardVersions, TheWorkingListIsTheInMemoryMachinesUnderTheSameWindows) {
    const char* name = std::getenv("CVP_WINDOWS_VERSION");
    ASSERT_NE(name, nullptr) << "CVP_WINDOWS_VERSION names no version";
    cvp::OsVersion version;
    ASSERT_TRUE(cvp::WindowsVersionNamed(name, &version)) << name;
    OSVERSIONINFOA played = {};
    played.dwOSVersionInfoSize = sizeof played;
    ASSERT_TRUE(GetVersionExA(&played));
    ASSERT_EQ(played.dwPlatformId, version.platformId) << "the prefix does not play " << name;
    ASSERT_EQ(played.dwMajorVersion, version.major) << "the prefix does not play " << name;
    ASSERT_EQ(played.dwMinorVersion, version.minor) << "the prefix does not play " << name;

    int portReads = 0;
    const std::vector<std::string> expected = MemoryWorkingList(version, &portReads);
    EXPECT_EQ(expected, std::vector<std::string>{kVideo});
    EXPECT_EQ(portReads, 0) << "the PCI configuration space was read on " << name;
    // The image does reach the probe: on Windows 98 the first "*" device takes the
    // display controller's ID, and is listed as the maker's nVidia card.
    cvp::OsVersion windows98;
    ASSERT_TRUE(cvp::WindowsVersionNamed("win98", &windows98));
    EXPECT_EQ(MemoryWorkingList(windows98, &portReads),
              (std::vector<std::string>{kVideo, kStarred}));

    ASSERT_TRUE(ImportImage(kLegacyDisplay));
    Purger purger;
    ASSERT_TRUE(purger.Start());
    HWND mode = purger.WaitForPage(id::kModeNext);
    ASSERT_NE(mode, nullptr);
    HWND page = purger.OpenListPage(mode, id::kModeWorking, id::kWorkingList);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(ListEntries(GetDlgItem(page, id::kWorkingList)), expected);
    SaveScreenshot(std::string("working_page_") + name, {page});
}

}  // namespace
}  // namespace gui
