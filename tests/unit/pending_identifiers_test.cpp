// A run stopped after its devices went, and the next run of the same family.
#include "app/pending_identifiers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/command_line_run.h"
#include "platform/image/machine_image.h"
#include "run/text.h"
#include "unit/run_rig.h"

namespace cvp::test {
namespace {

const std::string kImage = std::string(CVP_TEST_DATA_DIR) + "/../scenarios/images/installed-cx88";
const std::vector<std::string> kRegistry = {"HKEY_LOCAL_MACHINE\\SYSTEM",
                                            "HKEY_LOCAL_MACHINE\\SOFTWARE"};
constexpr const char* kStateFolder = "C:\\windows\\CVPurger";
constexpr const char* kPendingFile = "C:\\windows\\CVPurger\\CVPurgerPending2.ini";

struct Stopped {};

// The machine's system calls, but the first pause ends the process: the command line
// pauses right after the devices are removed.
class StoppingSystem : public ForwardingSystem {
public:
    using ForwardingSystem::ForwardingSystem;
    void Sleep(Dword) override { throw Stopped{}; }
};

class PendingIdentifiers : public ::testing::Test {
protected:
    void SetUp() override {
        MachineImage image;
        std::string error;
        ASSERT_TRUE(LoadMachineImage(kImage, &image, &error)) << error;
        ASSERT_TRUE(clean.machine.Apply(image, &error)) << error;
        ASSERT_TRUE(stopped.machine.Apply(image, &error)) << error;
        ASSERT_EQ(RunCommandLine(clean.context, "88X"), 1);
    }
    // The run of 88X on `stopped`, up to the pause after its devices.
    void RunUntilTheDevicesAreGone() {
        StoppingSystem system(stopped.machine);
        Platform platform{stopped.machine, stopped.machine, stopped.machine, stopped.machine,
                          system};
        RunContext context{platform, stopped.state, nullptr};
        EXPECT_THROW(RunCommandLine(context, "88X"), Stopped);
    }
    void RunAgain() {
        RunState fresh;
        RunContext context{stopped.platform, fresh, nullptr};
        ASSERT_EQ(RunCommandLine(context, "88X"), 1);
    }
    RunRig clean;
    RunRig stopped;
};

TEST_F(PendingIdentifiers, TheNextRunFindsTheValuesOfDevicesAlreadyGone) {
    RunUntilTheDevicesAreGone();
    EXPECT_TRUE(stopped.machine.FileExists(kPendingFile));
    // The folder the run made: the administrators' and the system's alone.
    std::string security;
    ASSERT_EQ(stopped.machine.ReadFileSecurity(kStateFolder, &security), kErrorSuccess);
    EXPECT_EQ(security, "O:S-1-5-21-0-0-0-1000D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
    RunAgain();
    EXPECT_EQ(stopped.machine.DumpRegistry(kRegistry), clean.machine.DumpRegistry(kRegistry));
    EXPECT_FALSE(stopped.machine.FileExists(kPendingFile));
    EXPECT_FALSE(clean.machine.FileExists(kPendingFile));
}

TEST_F(PendingIdentifiers, WithoutTheFileTheirValuesWouldStayForGood) {
    RunUntilTheDevicesAreGone();
    ASSERT_TRUE(stopped.machine.DeleteFileAt(kPendingFile));
    RunAgain();
    std::vector<std::string> left;
    const std::vector<std::string> end = clean.machine.DumpRegistry(kRegistry);
    for (const std::string& line : stopped.machine.DumpRegistry(kRegistry)) {
        if (std::find(end.begin(), end.end(), line) == end.end()) left.push_back(line);
    }
    ASSERT_FALSE(left.empty());
    for (const std::string& line : left) {
        EXPECT_TRUE(line.find("NextParentID") != std::string::npos ||
                    line.find("\\Control\\MediumCache\\") != std::string::npos)
            << line;
    }
}

// A file a limited user plants must not steer which values go: not one in the Windows
// directory, where the file was kept before (Power Users may write there on 2000 and
// XP), nor one in a state folder that others may write to or another account owns. The
// run goes on with its own identifiers, as the clean run does.
TEST_F(PendingIdentifiers, APlantedFileSteersNothing) {
    // The ParentIdPrefix of another product's device, whose NextParentID values stay.
    const std::string planted = "[PendingCleanup]\r\nParentIdPrefix1=5&6d7e8f90&0\r\n";
    const struct {
        const char* where;
        const char* folder;  // the state folder's owner and DACL; none for the old place
    } cases[] = {
        {"in the Windows directory", nullptr},
        {"in a folder Users may change",
         "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)"},
        {"in a folder another account owns",
         "O:S-1-5-21-7-7-7-1001D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"},
    };
    for (const auto& plant : cases) {
        RunRig rig;
        MachineImage image;
        std::string error;
        ASSERT_TRUE(LoadMachineImage(kImage, &image, &error)) << error;
        ASSERT_TRUE(rig.machine.Apply(image, &error)) << error;
        if (plant.folder == nullptr) {
            rig.machine.AddFile("C:\\windows\\CVPurgerPending2.ini", planted);
        } else {
            rig.machine.AddDirectory(kStateFolder);
            rig.machine.SetFileSecurity(kStateFolder, plant.folder);
            rig.machine.AddFile(kPendingFile, planted);
        }
        ASSERT_EQ(RunCommandLine(rig.context, "88X"), 1);
        EXPECT_EQ(rig.machine.DumpRegistry(kRegistry), clean.machine.DumpRegistry(kRegistry))
            << plant.where;
    }
}

// Another family's unfinished run keeps its file; identifiers that the profile format
// could take apart are not written.
TEST_F(PendingIdentifiers, EachFamilyHasItsFileAndOnlyPlainIdentifiersGoInIt) {
    RunRig rig;
    rig.state.family = FamilyEmpiaUsb;
    const char* other = kPendingFile;
    rig.machine.AddFile(other, "[PendingCleanup]\r\nParentIdPrefix1=4&abc&0\r\n");
    CopyText(rig.state.parentIdPrefixes[0], "6&2a3b4c5d&0", 1252);
    CopyText(rig.state.parentIdPrefixes[1], "x\r\nInstanceName1=USB", 1252);
    CopyText(rig.state.instanceSuffixes[0], "5&1f2e3d4c&0&1", 1252);
    rig.state.parentIdPrefixCount = 2;
    rig.state.instanceSuffixCount = 1;
    RememberDeviceIdentifiers(rig.context);
    EXPECT_EQ(
        rig.machine.FileContent("C:\\windows\\CVPurger\\CVPurgerPending8.ini"),
        "[PendingCleanup]\r\nParentIdPrefix1=6&2a3b4c5d&0\r\nInstanceName1=5&1f2e3d4c&0&1\r\n");
    EXPECT_EQ(rig.state.parentIdPrefixCount, 2);

    RunState next;
    next.family = FamilyEmpiaUsb;
    RunContext context{rig.platform, next, nullptr};
    RememberDeviceIdentifiers(context);
    ASSERT_EQ(next.parentIdPrefixCount, 1);
    EXPECT_STREQ(next.parentIdPrefixes[0], "6&2a3b4c5d&0");
    ASSERT_EQ(next.instanceSuffixCount, 1);
    EXPECT_STREQ(next.instanceSuffixes[0], "5&1f2e3d4c&0&1");

    ForgetDeviceIdentifiers(context);
    EXPECT_FALSE(rig.machine.FileExists("C:\\windows\\CVPurger\\CVPurgerPending8.ini"));
    EXPECT_TRUE(rig.machine.FileExists(other));
}

}  // namespace
}  // namespace cvp::test
