#include "run/progress.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "cleanup/file_stages.h"
#include "run/family_catalogue.h"
#include "unit/run_rig.h"

namespace cvp::test {
namespace {

// The progress page's controls as a report leaves them.
struct RecordingView : ProgressView {
    std::vector<std::string> paths;
    std::vector<int> positions;
    std::string caption;
    void ShowPath(const char* text) override { paths.emplace_back(text); }
    void SetBarPosition(int position) override { positions.push_back(position); }
    void ShowCaption(const char* text) override { caption = text; }
};

class ReportProgressTest : public ::testing::Test {
protected:
    void Report(const char* item, int units = 1) {
        CopyText(rig.state.currentItem, item, 1252);
        ReportProgress(rig.context, units);
    }
    RunRig rig;
};

TEST_F(ReportProgressTest, LogsCaptionBlankAndItem) {
    CopyText(rig.state.statusText, "Delete driver's file...", 1252);
    rig.state.stage = StageDriverFiles;
    Report("C:\\windows\\system32\\drivers\\a.sys");
    EXPECT_EQ(rig.LogLines(), std::vector<std::string>{
                                  "Delete driver's file... C:\\windows\\system32\\drivers\\a.sys"});
    EXPECT_EQ(rig.state.progressTotal, 1);
}

TEST_F(ReportProgressTest, EmptyCaptionLeavesTheSeparatingBlank) {
    Report("Vistrel QD4100", 2);
    EXPECT_EQ(rig.LogLines(), std::vector<std::string>{" Vistrel QD4100"});
    EXPECT_EQ(rig.state.progressTotal, 2);
}

TEST_F(ReportProgressTest, DropsOnlyAnImmediateRepeat) {
    Report("A");
    Report("A");
    Report("B");
    Report("A");
    EXPECT_EQ(rig.LogLines(), (std::vector<std::string>{" A", " B", " A"}));
    EXPECT_EQ(rig.state.progressTotal, 3);
    EXPECT_STREQ(rig.state.lastReportedItem, "A");
}

TEST_F(ReportProgressTest, RegistryStagesNameTheirHive) {
    rig.state.stage = StageClassIds;
    Report("CLSID\\{1}\\");
    rig.state.stage = StageRegistryPlan;
    Report("SYSTEM\\CurrentControlSet\\Services\\x\\");
    rig.state.stage = StageOtherFiles;
    Report("CLSID\\{2}\\");
    EXPECT_EQ(rig.LogLines(),
              (std::vector<std::string>{" HKEY_CLASSES_ROOT\\CLSID\\{1}\\",
                                        " HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\x\\",
                                        " CLSID\\{2}\\"}));
}

TEST_F(ReportProgressTest, ALongPathIsCutToFitAndTheLineStaysWhole) {
    CopyText(rig.state.statusText, std::string(259, 'c').c_str(), 1252);
    rig.state.stage = StageRegistryPlan;
    const std::string item(259, 'k');
    Report(item.c_str());
    const std::vector<std::string> lines = rig.LogLines();
    ASSERT_EQ(lines.size(), 1u);
    const std::string expected =
        std::string(259, 'c') + " " + ("HKEY_LOCAL_MACHINE\\" + item).substr(0, 259);
    EXPECT_EQ(lines[0], expected);
}

// "HKEY_LOCAL_MACHINE\" takes 19 bytes; 120 code-page-950 characters of two take 240,
// so the buffer's 259th byte falls on the first half of a character.
TEST_F(ReportProgressTest, ALongPathIsCutBetweenTwoCharactersOfTheSystemCodePage) {
    rig.machine.SetAnsiCodePage(950);
    RunContext chinese{rig.platform, rig.state, nullptr};
    rig.state.stage = StageRegistryPlan;
    std::string item = "k";
    for (int i = 0; i < 120; ++i) item += "\xA4\x40";  // U+4E00
    CopyText(rig.state.currentItem, item.c_str(), rig.state.ansiCodePage);
    ReportProgress(chinese, 1);
    const std::vector<std::string> lines = rig.LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], " " + ("HKEY_LOCAL_MACHINE\\" + item).substr(0, 258));
}

TEST_F(ReportProgressTest, SuccessiveRunsAppend) {
    rig.machine.AddFile(kLogPath, "earlier run\r\n");
    Report("A");
    EXPECT_EQ(rig.LogLines(), (std::vector<std::string>{"earlier run", " A"}));
}

TEST_F(ReportProgressTest, AnUnwritableLogLosesTheLineButTheRunCounts) {
    rig.machine.AddFile(kLogPath, "");
    rig.machine.LockFile(kLogPath);
    Report("A");
    Report("B");
    EXPECT_EQ(rig.state.progressTotal, 2);
    EXPECT_EQ(rig.machine.FileContent(kLogPath), "");
}

// The system as Wine is to a Unix symbolic link: it follows the link whatever the flags
// say, and shows the target, with one name and no reparse point.
class FollowingEveryLink : public MemoryMachine {
  public:
    std::unique_ptr<OpenedFile> OpenFileAt(const char* path, Dword access, Dword share,
                                           Dword disposition, Dword flags) override {
        return MemoryMachine::OpenFileAt(path, access, share, disposition,
                                         flags & ~kFileFlagOpenReparsePoint);
    }
};

// One report on `machine`, a Windows 7 whose "UnInstall.log" `plant` puts in the current
// directory: the elevated run writes nothing through a link to a system file, and goes
// on as it does with an unwritable log. The log's lines come back.
std::vector<std::string> ReportThroughPlantedLog(MemoryMachine& machine, const char* what,
                                                 const std::function<void()>& plant) {
    machine.SetOsVersion({kPlatformWin32Nt, 6, 1});
    machine.AddFile("C:\\windows\\win.ini", "[fonts]\r\n");
    plant();
    Platform platform = machine.platform();
    RunState state;
    RunContext context{platform, state, nullptr};
    CopyText(state.currentItem, "A", state.ansiCodePage);
    ReportProgress(context, 1);
    EXPECT_EQ(machine.FileContent("C:\\windows\\win.ini"), "[fonts]\r\n") << what;
    EXPECT_EQ(state.progressTotal, 1) << what;
    return machine.FileExists(kLogPath) && machine.FileContent(kLogPath) == " A\r\n"
               ? std::vector<std::string>{" A"}
               : std::vector<std::string>{};
}

TEST(ReportProgressLog, ALogThatIsALinkOfAnyKindIsRefused) {
    MemoryMachine symbolic;
    EXPECT_TRUE(ReportThroughPlantedLog(symbolic, "a symbolic link", [&] {
                    symbolic.AddSymbolicLink(kLogPath, "C:\\windows\\win.ini");
                }).empty());
    MemoryMachine hard;
    ReportThroughPlantedLog(hard, "a hard link",
                            [&] { hard.AddHardLink("C:\\windows\\win.ini", kLogPath); });
    FollowingEveryLink followed;
    ReportThroughPlantedLog(followed, "a link the system follows",
                            [&] { followed.AddSymbolicLink(kLogPath, "C:\\windows\\win.ini"); });
    // A plain log passes, the final path naming it.
    MemoryMachine plain;
    EXPECT_EQ(ReportThroughPlantedLog(plain, "no link", [] {}), std::vector<std::string>{" A"});
}

TEST_F(ReportProgressTest, WizardModeShowsEachItemAndMovesTheBar) {
    RecordingView view;
    rig.context.view = &view;
    rig.state.stage = StageRegistryPlan;
    Report("K1");
    Report("K1");
    Report("D", 2);
    EXPECT_EQ(view.paths, (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\K1",
                                                    "HKEY_LOCAL_MACHINE\\D"}));
    EXPECT_EQ(view.positions, (std::vector<int>{1, 3}));
}

TEST_F(ReportProgressTest, TheBarStopsAtItsEndWhileTheCountGoesOn) {
    RecordingView view;
    rig.context.view = &view;
    for (int i = 0; i < 60; ++i) Report(("Key" + std::to_string(i)).c_str(), 2);
    EXPECT_EQ(rig.state.progressTotal, 120);
    EXPECT_EQ(view.positions.size(), 60u);
    EXPECT_EQ(view.positions[48], 98);
    EXPECT_EQ(view.positions[49], 100);
    EXPECT_EQ(view.positions.back(), 100);
    EXPECT_EQ(rig.LogLines().size(), 60u);
}

TEST_F(ReportProgressTest, CompletionFillsTheBarAndLogsNothing) {
    RecordingView view;
    rig.context.view = &view;
    Report("A");
    Report("never logged", kCompletionUnits);
    EXPECT_EQ(rig.state.progressTotal, 100);
    EXPECT_EQ(view.positions.back(), 100);
    EXPECT_EQ(rig.LogLines(), std::vector<std::string>{" A"});
}

TEST_F(ReportProgressTest, CommandLineRunTouchesNoWindow) {
    RecordingView view;
    rig.context.view = &view;
    rig.state.commandLineRun = 1;
    Report("A");
    EXPECT_TRUE(view.paths.empty());
    EXPECT_TRUE(view.positions.empty());
    EXPECT_EQ(rig.LogLines(), std::vector<std::string>{" A"});
}

class DeleteFileReportedTest : public ReportProgressTest {};

TEST_F(DeleteFileReportedTest, DeletesAReadOnlyHiddenSystemFileAndLogsIt) {
    const char* path = "C:\\windows\\system32\\drivers\\vs4kvcap.sys";
    rig.machine.AddFile(path, "driver", kAttrReadOnly | kAttrHidden | kAttrSystem);
    CopyText(rig.state.statusText, "Delete driver's file...", 1252);
    DeleteFileReported(rig.context, path);
    EXPECT_FALSE(rig.machine.FileExists(path));
    EXPECT_EQ(rig.LogLines(), std::vector<std::string>{std::string("Delete driver's file... ") +
                                                        path});
    EXPECT_EQ(rig.state.progressTotal, 1);
}

TEST_F(DeleteFileReportedTest, AMissingFileLogsNothing) {
    DeleteFileReported(rig.context, "C:\\windows\\inf\\oem9.PNF");
    EXPECT_TRUE(rig.LogLines().empty());
    EXPECT_EQ(rig.state.progressTotal, 0);
}

TEST_F(DeleteFileReportedTest, AFileThatStaysKeepsItsAttributes) {
    const char* path = "C:\\windows\\system32\\emProp.ax";
    const Dword attributes = kAttrReadOnly | kAttrHidden | kAttrArchive;
    rig.machine.AddFile(path, "module", attributes);
    rig.machine.LockFile(path);
    DeleteFileReported(rig.context, path);
    EXPECT_TRUE(rig.machine.FileExists(path));
    EXPECT_EQ(rig.machine.GetAttributes(path), attributes);
    EXPECT_TRUE(rig.LogLines().empty());
}

TEST_F(DeleteFileReportedTest, APathTooLongForItsBufferIsNotCutToAnotherFile) {
    const std::string shortPath = "C:\\windows\\" + std::string(248, 'a');
    rig.machine.AddFile(shortPath, "x");
    DeleteFileReported(rig.context, (shortPath + "bbbb").c_str());
    EXPECT_TRUE(rig.machine.FileExists(shortPath));
    EXPECT_TRUE(rig.LogLines().empty());
}

}  // namespace
}  // namespace cvp::test
