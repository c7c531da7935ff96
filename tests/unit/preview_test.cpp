// The preview on what it can't know (a key's content behind a DACL it may not read, a
// file held open now): it says so on the item's line and leaves the machine as it was.
// Its exactness on every scenario image is held in scenario_images_test.cpp.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/command_line_run.h"
#include "platform/string_table.h"
#include "preview/preview_run.h"
#include "scenario/traces.h"
#include "unit/fault_rig.h"

namespace cvp::test {
namespace {

// The scenario image of a PC with a card of the 878 family installed.
bool ApplyInstalledBt878(MemoryMachine& machine, std::string* error) {
    const MachineImage* image = CachedImage(
        fs::path(CVP_TEST_DATA_DIR) / ".." / "scenarios" / "images" / "installed-bt878", error);
    return image != nullptr && machine.Apply(*image, error);
}

TEST(Preview, SaysWhatItCannotKnowOnTheItemsLineAndChangesNothing) {
    RunRig rig;
    std::string error;
    ASSERT_TRUE(ApplyInstalledBt878(rig.machine, &error)) << error;
    const std::string service = "SYSTEM\\CurrentControlSet\\Services\\BT848";
    const std::string driver = "C:\\windows\\system32\\drivers\\vs4kxbar.sys";
    rig.machine.DenyKey(Root::LocalMachine, service);
    rig.machine.AddFile(driver, "driver");
    rig.machine.LockFile(driver);
    const MachineView before = ViewOf(rig.machine);
    const KeyDacls dacls = ReadKeyDacls(rig.machine);

    std::string preview;
    ASSERT_TRUE(PreviewRun(rig.platform, "878", &preview));
    const std::vector<std::string> lines = scenario::SplitLines(preview);
    const auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("key HKEY_LOCAL_MACHINE\\" + service +
                    "\t(its DACL denies reading it: what lies below is unknown)"))
        << preview;
    EXPECT_TRUE(
        has("file " + driver + "\t(held open or protected now: it goes only if it is free then)"))
        << preview;

    EXPECT_EQ(ViewOf(rig.machine).registry, before.registry);
    EXPECT_EQ(ViewOf(rig.machine).files, before.files);
    EXPECT_EQ(ReadKeyDacls(rig.machine), dacls);
}

// Where "UnInstall.log" is there already, the preview's log lines are the ones the run
// then appends: after an earlier run's lines, and none where the run writes no log (a
// link put in its place, a read-only log).
TEST(Preview, LogLinesAreWhatTheRunAppendsToALogThatIsThere) {
    struct Planted {
        const char* what;
        std::function<void(MemoryMachine&)> plant;
        bool written;
    };
    const std::vector<Planted> logs = {
        {"an earlier run's log", [](MemoryMachine& m) { m.AddFile(kLogPath, "earlier\r\n"); },
         true},
        {"a hard link", [](MemoryMachine& m) { m.AddHardLink("C:\\windows\\win.ini", kLogPath); },
         false},
        {"a read-only log",
         [](MemoryMachine& m) { m.AddFile(kLogPath, "earlier\r\n", kAttrReadOnly | kAttrArchive); },
         false},
    };
    for (const Planted& log : logs) {
        RunRig rig;
        std::string error;
        ASSERT_TRUE(ApplyInstalledBt878(rig.machine, &error)) << error;
        rig.machine.AddFile("C:\\windows\\win.ini", "[fonts]\r\n");
        log.plant(rig.machine);
        const std::string before = rig.LogText();

        std::string preview;
        ASSERT_TRUE(PreviewRun(rig.platform, "878", &preview));
        RunCommandLine(rig.context, "878");
        const std::string after = rig.LogText();
        ASSERT_EQ(after.substr(0, before.size()), before) << log.what;
        const std::string appended = after.substr(before.size());
        EXPECT_EQ(appended.empty(), !log.written) << log.what;
        EXPECT_EQ(preview.substr(0, appended.size() + 2), appended + "\r\n") << log.what;
        EXPECT_NE(preview.find("\r\nkey HKEY_LOCAL_MACHINE\\"), std::string::npos) << log.what;
    }
}

// Without an administrator every take-over and deletion the preview plays out would be
// judged by the wrong rights: it says why, as the run would refuse.
TEST(Preview, RefusesWhereTheRunWouldAndSaysWhy) {
    RunRig rig;
    rig.machine.SetAdministrator(false);
    const std::string file = std::string("C:\\cvpurger\\") + kPreviewFileName;
    EXPECT_EQ(WritePreviewFile(rig.platform, "878"), 3);
    char reason[kTextSize] = {};
    rig.machine.LoadText(IDS_REFUSED_NOT_ADMINISTRATOR, reason, kTextSize);
    ASSERT_NE(reason[0], '\0');
    EXPECT_EQ(rig.machine.FileContent(file), std::string(reason) + "\r\n");
}

}  // namespace
}  // namespace cvp::test
