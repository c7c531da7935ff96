// The record of a run's changes: every removal a run makes is seen before it happens,
// with what Windows itself takes along (a device's keys, a module's registrations),
// and a removal the observer refuses never reaches the machine or the log.
#include "changes/removal_watch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "changes/footprints.h"
#include "changes/registry_capture.h"
#include "unit/fault_rig.h"

namespace cvp::test {
namespace {

// The keys (KeyName), values ("key\0name") and files (FileName) a run's removals covered
// when they were asked for.
class CoverageObserver : public RemovalObserver {
  public:
    explicit CoverageObserver(Platform platform) : platform_(platform) {}

    bool BeforeRemoval(const Removal& removal) override {
        switch (removal.kind) {
            case Removal::Kind::Key:
                keys_.push_back(KeyName(removal.root, removal.path));
                break;
            case Removal::Kind::Value:
                values_.insert(KeyName(removal.root, removal.path) + '\0' +
                               LowerCopy(removal.name));
                break;
            case Removal::Kind::File:
            case Removal::Kind::Folder:
                files_.insert(FileName(removal.path));
                break;
            case Removal::Kind::Device:
                for (const std::string& key : DeviceRemovalKeys(platform_.registry, removal.path)) {
                    keys_.push_back(KeyName(Root::LocalMachine, key));
                }
                break;
            case Removal::Kind::Module:
                for (const std::string& key : ComRegistrationKeys(platform_, removal.path)) {
                    keys_.push_back(KeyName(Root::LocalMachine, key));
                }
                break;
        }
        return true;
    }

    bool Covers(const std::string& dumpLine) const {
        const std::string key = DumpLineKey(dumpLine);
        for (const std::string& removed : keys_) {
            if (Within(key, removed, '\\')) return true;
        }
        return dumpLine.find(" \"") != std::string::npos &&
               values_.count(key + '\0' + LowerCopy(DumpValueName(dumpLine))) != 0;
    }
    bool CoversFile(const std::string& line) const {
        std::string name = line;
        if (name.size() > 1 && name.back() == '/') name.pop_back();
        return files_.count(LowerCopy(name)) != 0;
    }

  private:
    Platform platform_;
    std::vector<std::string> keys_;
    std::set<std::string> values_;
    std::set<std::string> files_;
};

class RefusingObserver : public RemovalObserver {
  public:
    bool BeforeRemoval(const Removal&) override { return false; }
};

class WatchedScenario : public testing::TestWithParam<ImageRun> {
  protected:
    // As Windows 7: the INF stage takes packages out of the driver store too, and the
    // published INF goes with them.
    void Load(MemoryMachine& machine) {
        std::string error;
        const MachineImage* image = CachedImage(GetParam().folder, &error);
        ASSERT_NE(image, nullptr) << error;
        ASSERT_TRUE(machine.Apply(*image, &error)) << error;
        machine.SetOsVersion({kPlatformWin32Nt, 6, 1});
    }
};

// A receipt written from what the observer saw must cover all a run took: its own
// keys, values, files and folders, and what device removal and unregistration took.
TEST_P(WatchedScenario, EveryRemovalIsSeenBeforeItHappensWithAllItTakes) {
    MemoryMachine machine;
    Load(machine);
    const std::vector<std::string> keysBefore = machine.DumpRegistry({"HKEY_LOCAL_MACHINE"});
    const std::vector<std::string> filesBefore = machine.DumpFiles();

    CoverageObserver observer(machine.platform());
    RemovalWatch watch(machine.platform(), observer);
    RunToken(watch.platform(), GetParam().token);

    for (const std::string& line :
         LinesNotIn(keysBefore, machine.DumpRegistry({"HKEY_LOCAL_MACHINE"}))) {
        EXPECT_TRUE(observer.Covers(line)) << "removed unseen: " << line;
    }
    for (const std::string& line : LinesNotIn(filesBefore, machine.DumpFiles())) {
        EXPECT_TRUE(observer.CoversFile(line)) << "removed unseen: " << line;
    }
}

// A removal refused before it happens leaves the machine as it was: no key, value or
// file gone, nothing logged. Only the program's own state folder is new.
TEST_P(WatchedScenario, ARefusedRemovalNeverReachesTheMachineOrTheLog) {
    MemoryMachine machine;
    Load(machine);
    const std::vector<std::string> keysBefore = machine.DumpRegistry({"HKEY_LOCAL_MACHINE"});
    std::vector<std::string> filesBefore = machine.DumpFiles();

    RefusingObserver observer;
    RemovalWatch watch(machine.platform(), observer);
    RunToken(watch.platform(), GetParam().token);

    EXPECT_EQ(machine.DumpRegistry({"HKEY_LOCAL_MACHINE"}), keysBefore);
    std::vector<std::string> filesAfter = machine.DumpFiles();
    // The program's own state folder, with the pending identifiers in it.
    std::erase_if(filesAfter, [](const std::string& line) {
        return LowerCopy(line).rfind("drive_c/windows/cvpurger/", 0) == 0;
    });
    EXPECT_EQ(filesAfter, filesBefore);
    EXPECT_FALSE(machine.FileExists(kLogPath));
}

INSTANTIATE_TEST_SUITE_P(Images, WatchedScenario,
                         testing::ValuesIn(ScenarioRuns(IsInstalledOrFilesImage)), ImageRunName);

TEST(RegistryCapture, KeepsEachKeyBeforeItsSubkeysWithValuesAndDacls) {
    MemoryMachine machine;
    const std::string top = "SYSTEM\\CurrentControlSet\\Services\\Contoso";
    machine.SetString(Root::LocalMachine, top, "DisplayName", "Contoso");
    machine.SetValue(Root::LocalMachine, top, "Start", kRegDword, std::string("\3\0\0\0", 4));
    machine.SetValue(Root::LocalMachine, top + "\\Enum", "Raw", kRegBinary,
                     std::string("\0\xff", 2));
    machine.CreateKey(Root::LocalMachine, top + "\\Enum\\Deep");
    machine.CreateKey(Root::LocalMachine, top + "\\Locked\\Below");
    machine.SetKeyDacl(Root::LocalMachine, top + "\\Enum", "D:P(A;;KA;;;BA)");
    machine.DenyKey(Root::LocalMachine, top + "\\Locked");

    std::vector<CapturedKey> keys;
    ASSERT_TRUE(CaptureKeyTree(machine, Root::LocalMachine, top + "\\", &keys));
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0].path, top);
    EXPECT_EQ(keys[1].path, top + "\\Enum");
    EXPECT_EQ(keys[2].path, top + "\\Enum\\Deep");
    EXPECT_EQ(keys[3].path, top + "\\Locked");

    ASSERT_EQ(keys[0].values.size(), 2u);
    EXPECT_EQ(keys[0].values[0].name, "DisplayName");
    EXPECT_EQ(keys[0].values[0].data, std::string("Contoso", 8));
    EXPECT_EQ(keys[0].values[1].type, kRegDword);
    EXPECT_EQ(keys[0].values[1].data, std::string("\3\0\0\0", 4));
    EXPECT_EQ(keys[1].values.at(0).data, std::string("\0\xff", 2));
    EXPECT_EQ(keys[1].dacl, "D:P(A;;KA;;;BA)");
    // A key that may not be read is kept as such, without what lies below it.
    EXPECT_FALSE(keys[3].readable);

    EXPECT_FALSE(CaptureKeyTree(machine, Root::LocalMachine, top + "\\Missing", &keys));
}

}  // namespace
}  // namespace cvp::test
