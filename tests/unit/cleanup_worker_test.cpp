#include "app/cleanup_worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/command_line_run.h"
#include "detect/present_devices.h"
#include "detect/scans.h"
#include "platform/image/machine_image.h"
#include "platform/string_table.h"
#include "run/family_catalogue.h"
#include "unit/run_rig.h"

namespace cvp::test {
namespace {

constexpr const char* kDevices = "Remove Device form Device manager...";
constexpr const char* kInfFiles = "Delete driver's *.inf and *.sys ...";
constexpr const char* kDriverFiles = "Delete driver's file...";
constexpr const char* kOtherFiles = "Delete others file...";
constexpr const char* kRegistry = "Delete driver's registry key...";

constexpr const char* kVideo = "Vistrel QX4100 XP WDM Video Capture";
constexpr const char* kAudio = "Vistrel QX4100 XP WDM Audio Capture";
constexpr const char* kStick = "Vistrel QU Stick II";
constexpr const char* kDeluxe = "Vistrel QU Stick II Deluxe";
constexpr const char* kStickAudio = "USB EMP Audio Device";

// One timeline of everything the page would see and every pause, in the order it
// happened: "caption:TEXT", "path:TEXT", "bar:N", "sleep:MS".
using Trace = std::vector<std::string>;

class TracingView : public ProgressView {
  public:
    explicit TracingView(Trace& trace) : trace_(trace) {}
    void ShowPath(const char* text) override { trace_.push_back(std::string("path:") + text); }
    void SetBarPosition(int position) override {
        trace_.push_back("bar:" + std::to_string(position));
    }
    void ShowCaption(const char* text) override {
        trace_.push_back(std::string("caption:") + text);
    }

  private:
    Trace& trace_;
};

// The machine's own system calls, with each pause also put on the timeline.
class TracingSystem : public ForwardingSystem {
  public:
    TracingSystem(System& machine, Trace& trace) : ForwardingSystem(machine), trace_(trace) {}
    void Sleep(Dword milliseconds) override {
        trace_.push_back("sleep:" + std::to_string(milliseconds));
        ForwardingSystem::Sleep(milliseconds);
    }

  private:
    Trace& trace_;
};

class CleanupWorkerTest : public ::testing::Test {
  protected:
    // What the list page leaves behind when the user confirms `entry`, the
    // `index`-th line of its list.
    void ChooseWorkingDevice(const std::vector<std::string>& list, int index) {
        rig.state.expertMode = 0;
        for (size_t i = 0; i < list.size(); ++i)
            CopyText(rig.state.presentDevices[i], list[i].c_str(), 1252);
        rig.state.presentDeviceCount = static_cast<int>(list.size());
        rig.state.selectedIndex = index;
        FamilyFromListEntry(rig.state, list[static_cast<size_t>(index)].c_str());
    }
    void ChooseInstalledDriver(const std::vector<std::string>& list, int index) {
        rig.state.expertMode = 1;
        for (size_t i = 0; i < list.size(); ++i) {
            CopyText(rig.state.installedDrivers[i], list[i].c_str(), 1252);
        }
        rig.state.installedDriverCount = static_cast<int>(list.size());
        rig.state.selectedIndex = index;
        FamilyFromListEntry(rig.state, list[static_cast<size_t>(index)].c_str());
    }

    CleanupOutcome Run() { return RunCleanupWorker(context); }

    // The timeline from the end of device removal on, for an empty machine: the path
    // line shows the choice, then every stage under its caption with its pauses, and
    // the bar goes full.
    static Trace StagesAfterDevices(const std::string& chosen) {
        return {"path:" + chosen,
                "sleep:1000",
                std::string("caption:") + kInfFiles,
                "sleep:10",
                std::string("caption:") + kDriverFiles,
                "sleep:10",
                std::string("caption:") + kOtherFiles,
                "sleep:10",
                std::string("caption:") + kRegistry,
                "bar:100"};
    }

    static Trace Join(Trace head, const Trace& tail) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    }

    RunRig rig;
    Trace trace;
    TracingView view{trace};
    TracingSystem system{rig.machine, trace};
    Platform platform{rig.machine, rig.machine, rig.machine, rig.machine, system};
    RunContext context{platform, rig.state, &view};
};

// --- The failure path ------------------------------------------------------------------

TEST_F(CleanupWorkerTest, AnEntryThatNamesNoFamilyFillsTheBarAndFailsWithoutTouchingAnything) {
    rig.AddDevice("PCI", "VEN_109E&DEV_036E", "1", kVideo);
    ChooseWorkingDevice({"Contoso TV Card"}, 0);
    ASSERT_EQ(rig.state.family, FamilyNone);
    const CleanupOutcome outcome = Run();
    EXPECT_EQ(outcome.resultTextId, unsigned{IDS_RESULT_FAILED});
    EXPECT_EQ(outcome.buttonTextId, unsigned{IDS_BUTTON_EXIT});
    EXPECT_EQ(trace, (Trace{"bar:100"}));
    EXPECT_EQ(rig.state.progressTotal, 100);
    EXPECT_STREQ(rig.state.statusText, "");
    EXPECT_TRUE(rig.DevicePresent("PCI", "VEN_109E&DEV_036E", "1"));
    EXPECT_FALSE(rig.machine.FileExists(kLogPath));
}

TEST_F(CleanupWorkerTest, NoSelectionInExpertModeTakesTheFailurePathToo) {
    rig.AddDevice("USB", "Vid_eb1a&Pid_2800", "1", kStick);
    rig.state.expertMode = 1;
    rig.state.selectedIndex = -1;
    FamilyFromListEntry(rig.state, "");
    const CleanupOutcome outcome = Run();
    EXPECT_EQ(outcome.resultTextId, unsigned{IDS_RESULT_FAILED});
    EXPECT_EQ(outcome.buttonTextId, unsigned{IDS_BUTTON_EXIT});
    EXPECT_EQ(trace, (Trace{"bar:100"}));
    EXPECT_TRUE(rig.machine.sleeps().empty());
    EXPECT_TRUE(rig.DevicePresent("USB", "Vid_eb1a&Pid_2800", "1"));
    EXPECT_FALSE(rig.machine.FileExists(kLogPath));
}

// --- Working mode ----------------------------------------------------------------------

TEST_F(CleanupWorkerTest, WorkingModeRemovesTheChosenCardAndThenItsAudioFunction) {
    rig.AddDevice("PCI", "VEN_109E&DEV_036E", "1", kVideo);
    rig.AddDevice("PCI", "VEN_109E&DEV_0878", "1", kAudio);
    rig.AddDevice("PCI", "VEN_109E&DEV_036E", "2", "Contoso Bt878 Video Capture");
    ChooseWorkingDevice({"Vistrel QR4100", kVideo}, 1);
    rig.state.progressTotal = 37;  // whatever an earlier count left

    const CleanupOutcome outcome = Run();
    EXPECT_EQ(outcome.resultTextId, unsigned{IDS_RESULT_DONE});
    EXPECT_EQ(outcome.buttonTextId, 0u);
    EXPECT_EQ(trace,
              Join({"bar:0", std::string("caption:") + kDevices, std::string("path:") + kVideo,
                    "bar:2", std::string("path:") + kAudio, "bar:4"},
                   StagesAfterDevices(kVideo)));
    EXPECT_EQ(rig.LogLines(), (std::vector<std::string>{std::string(kDevices) + " " + kVideo,
                                                        std::string(kDevices) + " " + kAudio}));
    EXPECT_FALSE(rig.DevicePresent("PCI", "VEN_109E&DEV_036E", "1"));
    EXPECT_FALSE(rig.DevicePresent("PCI", "VEN_109E&DEV_0878", "1"));
    EXPECT_TRUE(rig.DevicePresent("PCI", "VEN_109E&DEV_036E", "2"));
    EXPECT_EQ(rig.state.progressTotal, 100);
}

TEST_F(CleanupWorkerTest, TheAudioFunctionGoesEvenWhenTheChosenCardCannotBeRemoved) {
    rig.AddDevice("PCI", "VEN_109E&DEV_036E", "1", kVideo);
    rig.AddDevice("PCI", "VEN_109E&DEV_0878", "1", kAudio);
    rig.machine.FailDeviceRemoval("PCI\\VEN_109E&DEV_036E\\1");
    ChooseWorkingDevice({kVideo}, 0);
    Run();
    EXPECT_EQ(trace, Join({"bar:0", std::string("caption:") + kDevices,
                           std::string("path:") + kAudio, "bar:2"},
                          StagesAfterDevices(kVideo)));
    EXPECT_TRUE(rig.DevicePresent("PCI", "VEN_109E&DEV_036E", "1"));
    EXPECT_FALSE(rig.DevicePresent("PCI", "VEN_109E&DEV_0878", "1"));
}

TEST_F(CleanupWorkerTest, OtherCardsHaveNoCompanionAndDoNotPause) {
    rig.AddDevice("PCI", "VEN_14F1&DEV_8800", "1", "Vistrel QR4100");
    rig.AddDevice("PCI", "VEN_14F1&DEV_8802", "1", "Vistrel QR4100 MPEG Encoder");
    rig.AddDevice("PCI", "VEN_109E&DEV_0878", "1", kAudio);
    ChooseWorkingDevice({"Vistrel QR4100 MPEG Encoder"}, 0);
    Run();
    EXPECT_EQ(trace, Join({"bar:0", std::string("caption:") + kDevices,
                           "path:Vistrel QR4100 MPEG Encoder", "bar:2"},
                          StagesAfterDevices("Vistrel QR4100 MPEG Encoder")));
    EXPECT_TRUE(rig.DevicePresent("PCI", "VEN_14F1&DEV_8800", "1"));
    EXPECT_FALSE(rig.DevicePresent("PCI", "VEN_14F1&DEV_8802", "1"));
    EXPECT_TRUE(rig.DevicePresent("PCI", "VEN_109E&DEV_0878", "1"));
}

TEST_F(CleanupWorkerTest, TheDeluxeStickPausesAfterItsRemovalThenTakesItsAudioDevice) {
    rig.AddDevice("USB", "Vid_0f6b&Pid_6023", "1", kDeluxe);
    rig.AddDevice("USB", "Vid_0f6b&Pid_6023&MI_01", "1", kStickAudio);
    rig.AddDevice("USB", "Vid_046d&Pid_c31c", "1", "USB Human Interface Device");
    ChooseWorkingDevice({kDeluxe}, 0);
    ASSERT_EQ(rig.state.usbFamily, 1);
    Run();
    EXPECT_EQ(trace,
              Join({"bar:0", std::string("caption:") + kDevices, std::string("path:") + kDeluxe,
                    "bar:2", "sleep:500", std::string("path:") + kStickAudio, "bar:4"},
                   StagesAfterDevices(kDeluxe)));
    EXPECT_EQ(rig.machine.sleeps(), (std::vector<Dword>{500, 1000, 10, 10, 10}));
    EXPECT_FALSE(rig.DevicePresent("USB", "Vid_0f6b&Pid_6023", "1"));
    EXPECT_FALSE(rig.DevicePresent("USB", "Vid_0f6b&Pid_6023&MI_01", "1"));
    EXPECT_TRUE(rig.DevicePresent("USB", "Vid_046d&Pid_c31c", "1"));
}

TEST_F(CleanupWorkerTest, ThePlainStickPausesButLeavesTheAudioDevice) {
    rig.AddDevice("USB", "Vid_eb1a&Pid_2800", "1", kStick);
    rig.AddDevice("USB", "Vid_0f6b&Pid_6023&MI_01", "1", kStickAudio);
    ChooseWorkingDevice({kStick}, 0);
    Run();
    EXPECT_EQ(trace, Join({"bar:0", std::string("caption:") + kDevices,
                           std::string("path:") + kStick, "bar:2", "sleep:500"},
                          StagesAfterDevices(kStick)));
    EXPECT_TRUE(rig.DevicePresent("USB", "Vid_0f6b&Pid_6023&MI_01", "1"));
}

TEST_F(CleanupWorkerTest, AStickThatWasNotRemovedSkipsThePauseAndTheCompanionButNotTheStages) {
    rig.AddDevice("USB", "Vid_0f6b&Pid_6023", "1", kDeluxe);
    rig.AddDevice("USB", "Vid_0f6b&Pid_6023&MI_01", "1", kStickAudio);
    rig.machine.FailDeviceRemoval("USB\\Vid_0f6b&Pid_6023\\1");
    ChooseWorkingDevice({kDeluxe}, 0);
    const CleanupOutcome outcome = Run();
    EXPECT_EQ(outcome.resultTextId, unsigned{IDS_RESULT_DONE});
    EXPECT_EQ(trace,
              Join({"bar:0", std::string("caption:") + kDevices}, StagesAfterDevices(kDeluxe)));
    EXPECT_EQ(rig.machine.sleeps(), (std::vector<Dword>{1000, 10, 10, 10}));
    EXPECT_TRUE(rig.DevicePresent("USB", "Vid_0f6b&Pid_6023&MI_01", "1"));
    EXPECT_FALSE(rig.machine.FileExists(kLogPath));
}

TEST_F(CleanupWorkerTest, AChoiceOutsideTheListRemovesNoDeviceAtAll) {
    // A family without a chosen name: an empty name would match the first device.
    rig.AddDevice("PCI", "VEN_1234&DEV_0001", "1", "Any Card");
    rig.state.expertMode = 0;
    rig.state.family = FamilyCx88Dv;
    rig.state.presentDeviceCount = 1;
    rig.state.selectedIndex = 1;
    Run();
    EXPECT_EQ(trace, Join({"bar:0", std::string("caption:") + kDevices}, StagesAfterDevices("")));
    EXPECT_TRUE(rig.DevicePresent("PCI", "VEN_1234&DEV_0001", "1"));
}

// --- Expert mode -----------------------------------------------------------------------

TEST_F(CleanupWorkerTest, ExpertModeTriesTheStickNamesWithTheirPauses) {
    rig.AddDevice("USB", "Vid_eb1a&Pid_2800", "1", kStick);
    rig.AddDevice("USB", "Vid_0f6b&Pid_6023&MI_01", "1", kStickAudio);
    rig.AddDevice("USB", "Vid_046d&Pid_c31c", "1", "USB Human Interface Device");
    ChooseInstalledDriver({"Vistrel QD4100", kDeluxe}, 1);
    ASSERT_EQ(rig.state.family, FamilyEmpiaUsb);
    Run();
    // The plain stick's name is also part of the Deluxe name: it is tried first and
    // takes the stick; the Deluxe name then finds nothing.
    EXPECT_EQ(trace,
              Join({"bar:0", std::string("caption:") + kDevices, std::string("path:") + kStick,
                    "bar:2", "sleep:200", "sleep:200", std::string("path:") + kStickAudio, "bar:4"},
                   StagesAfterDevices(kDeluxe)));
    EXPECT_EQ(rig.LogLines(),
              (std::vector<std::string>{std::string(kDevices) + " " + kStick,
                                        std::string(kDevices) + " " + kStickAudio}));
    EXPECT_FALSE(rig.DevicePresent("USB", "Vid_eb1a&Pid_2800", "1"));
    EXPECT_FALSE(rig.DevicePresent("USB", "Vid_0f6b&Pid_6023&MI_01", "1"));
    EXPECT_TRUE(rig.DevicePresent("USB", "Vid_046d&Pid_c31c", "1"));
}

TEST_F(CleanupWorkerTest, ExpertModeTriesOneNameForFamiliesTwoAndFour) {
    for (const char* entry : {"Vistrel QX4100 XP Expert WDM", "Vistrel QD4100"}) {
        trace.clear();
        RunRig fresh;
        fresh.AddDevice("PCI", "VEN_14F1&DEV_8800", "1", entry);
        fresh.AddDevice("PCI", "VEN_14F1&DEV_8800", "2", entry);
        TracingSystem freshSystem{fresh.machine, trace};
        Platform freshPlatform{fresh.machine, fresh.machine, fresh.machine, fresh.machine,
                               freshSystem};
        RunContext freshContext{freshPlatform, fresh.state, &view};
        fresh.state.expertMode = 1;
        CopyText(fresh.state.installedDrivers[0], entry, 1252);
        fresh.state.installedDriverCount = 1;
        FamilyFromListEntry(fresh.state, entry);
        RunCleanupWorker(freshContext);
        EXPECT_EQ(trace, Join({"bar:0", std::string("caption:") + kDevices,
                               std::string("path:") + entry, "bar:2"},
                              StagesAfterDevices(entry)))
            << entry;
        // One name, one removal: the second card of the same name stays.
        EXPECT_FALSE(fresh.DevicePresent("PCI", "VEN_14F1&DEV_8800", "1")) << entry;
        EXPECT_TRUE(fresh.DevicePresent("PCI", "VEN_14F1&DEV_8800", "2")) << entry;
    }
}

TEST_F(CleanupWorkerTest, ExpertModeTakesBothFunctionsOfTheBt878CardByItsFixedNames) {
    rig.AddDevice("PCI", "VEN_109E&DEV_036E", "1", kVideo);
    rig.AddDevice("PCI", "VEN_109E&DEV_0878", "1", kAudio);
    ChooseInstalledDriver({"Vistrel QX4100 XP WDM"}, 0);
    ASSERT_EQ(rig.state.family, FamilyBt878);
    Run();
    EXPECT_EQ(trace,
              Join({"bar:0", std::string("caption:") + kDevices, std::string("path:") + kVideo,
                    "bar:2", std::string("path:") + kAudio, "bar:4"},
                   StagesAfterDevices("Vistrel QX4100 XP WDM")));
}

// --- Stages, progress and completion ---------------------------------------------------

TEST_F(CleanupWorkerTest, RunsEachFileStageOnceAndEndsOnTheRegistryStep) {
    rig.machine.AddFile("C:\\windows\\system32\\drivers\\vs4kvcap.sys", "driver");
    ChooseInstalledDriver({"Vistrel QX4100 XP WDM"}, 0);
    Run();
    EXPECT_FALSE(rig.machine.FileExists("C:\\windows\\system32\\drivers\\vs4kvcap.sys"));
    EXPECT_EQ(rig.LogLines(),
              (std::vector<std::string>{std::string(kDriverFiles) +
                                        " C:\\windows\\system32\\drivers\\vs4kvcap.sys"}));
    EXPECT_EQ(rig.state.stage, StageRegistryPlan);
    EXPECT_STREQ(rig.state.statusText, kRegistry);
    EXPECT_EQ(rig.machine.sleeps(), (std::vector<Dword>{1000, 10, 10, 10}));
    // Each caption is shown once: no second pass over the files.
    for (const char* caption : {kDevices, kInfFiles, kDriverFiles, kOtherFiles, kRegistry}) {
        EXPECT_EQ(std::count(trace.begin(), trace.end(), std::string("caption:") + caption), 1)
            << caption;
    }
}

// The demo PC (a card and a stick of the maker's beside other vendors' devices, with
// their files) as the list pages see it: what the scans list and what a choice removes.
class CleanupWorkerOnDemoPc : public CleanupWorkerTest {
  protected:
    void SetUp() override {
        MachineImage image;
        std::string error;
        ASSERT_TRUE(LoadMachineImage(kDemoPc, &image, &error)) << error;
        ASSERT_TRUE(rig.machine.Apply(image, &error)) << error;
    }
    static constexpr const char* kDemoPc = CVP_MACHINES_DIR "/demo";
};

TEST_F(CleanupWorkerOnDemoPc, AWorkingCardRunFromTheScannedListLogsEveryStageInOrder) {
    RunContext scan{platform, rig.state, nullptr};
    ScanInstalledDrivers(scan);
    ASSERT_EQ(EnumeratePresentDevices(scan), 1);
    int chosen = -1;
    for (int i = 0; i < rig.state.presentDeviceCount; ++i) {
        if (std::string(rig.state.presentDevices[i]) == kVideo) chosen = i;
    }
    ASSERT_GE(chosen, 0) << "the card is not listed";
    rig.state.expertMode = 0;
    rig.state.selectedIndex = chosen;
    FamilyFromListEntry(rig.state, kVideo);
    SetFamilyHardwareIds(rig.state, rig.state.family, 0, 0);
    ScanDeviceInstances(scan, rig.state.primaryHardwareId);

    const CleanupOutcome outcome = Run();
    EXPECT_EQ(outcome.resultTextId, unsigned{IDS_RESULT_DONE});
    EXPECT_EQ(trace.back(), "bar:100");
    EXPECT_EQ(rig.state.progressTotal, 100);

    const std::vector<std::string> log = rig.LogLines();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], std::string(kDevices) + " " + kVideo);
    EXPECT_EQ(log[1], std::string(kDevices) + " " + kAudio);
    // Captions only ever move forward through the stages.
    const std::vector<std::string> order = {kDevices, kInfFiles, kDriverFiles, kOtherFiles,
                                            kRegistry};
    size_t stage = 0;
    for (const std::string& line : log) {
        while (stage < order.size() && line.rfind(order[stage] + " ", 0) != 0) ++stage;
        ASSERT_LT(stage, order.size()) << "out of order: " << line;
    }
    EXPECT_NE(
        std::find(log.begin(), log.end(),
                  std::string(kDriverFiles) + " C:\\windows\\system32\\drivers\\vs4kvcap.sys"),
        log.end());
    EXPECT_FALSE(
        rig.DevicePresent("PCI", "VEN_109E&DEV_036E&SUBSYS_66061F3C&REV_11", "4&1a2b3c4d&0&20F0"));
    EXPECT_TRUE(
        rig.DevicePresent("PCI", "VEN_109E&DEV_036E&SUBSYS_13EB0070&REV_11", "4&6f708192&0&50F0"));
    EXPECT_TRUE(rig.machine.FileExists("C:\\windows\\system32\\drivers\\emDevice.sys"));
}

// The worker and the unattended run share their stages: for the same family, expert
// mode removes what the command line removes, only its device lines carry a caption.
TEST_F(CleanupWorkerOnDemoPc, ExpertModeRemovesWhatTheCommandLineRemoves) {
    RunRig commandLine;
    MachineImage image;
    std::string error;
    ASSERT_TRUE(LoadMachineImage(kDemoPc, &image, &error)) << error;
    ASSERT_TRUE(commandLine.machine.Apply(image, &error)) << error;
    ASSERT_EQ(RunCommandLine(commandLine.context, "878"), 1);

    RunContext scan{platform, rig.state, nullptr};
    ScanInstalledDrivers(scan);
    int chosen = -1;
    for (int i = 0; i < rig.state.installedDriverCount; ++i) {
        if (std::string(rig.state.installedDrivers[i]) == "Vistrel QX4100 XP WDM") chosen = i;
    }
    ASSERT_GE(chosen, 0) << "the driver is not listed";
    rig.state.expertMode = 1;
    rig.state.selectedIndex = chosen;
    FamilyFromListEntry(rig.state, "Vistrel QX4100 XP WDM");
    SetFamilyHardwareIds(rig.state, rig.state.family, 1, 0);
    ScanDeviceInstances(scan, rig.state.primaryHardwareId);
    Run();

    std::vector<std::string> expected = commandLine.LogLines();
    for (std::string& line : expected) {
        if (line.rfind(" ", 0) == 0) line = kDevices + line;
    }
    EXPECT_EQ(rig.LogLines(), expected);
    const std::vector<std::string> areas = {"HKEY_LOCAL_MACHINE\\SYSTEM",
                                            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes"};
    EXPECT_EQ(rig.machine.DumpRegistry(areas), commandLine.machine.DumpRegistry(areas));
    EXPECT_EQ(rig.machine.DumpFiles(), commandLine.machine.DumpFiles());
}

// --- The chosen entry ------------------------------------------------------------------

TEST(ChosenEntry, ReadsTheListOfTheModeWithinItsCount) {
    RunState state;
    CopyText(state.presentDevices[0], "working 0", 1252);
    CopyText(state.presentDevices[1], "working 1", 1252);
    state.presentDeviceCount = 2;
    CopyText(state.installedDrivers[0], "installed 0", 1252);
    CopyText(state.installedDrivers[5], "stale", 1252);
    state.installedDriverCount = 1;

    state.selectedIndex = 1;
    EXPECT_STREQ(ChosenEntry(state), "working 1");
    state.expertMode = 1;
    EXPECT_STREQ(ChosenEntry(state), "");
    state.selectedIndex = 0;
    EXPECT_STREQ(ChosenEntry(state), "installed 0");
    state.selectedIndex = 5;
    EXPECT_STREQ(ChosenEntry(state), "");
    state.selectedIndex = -1;
    EXPECT_STREQ(ChosenEntry(state), "");
    state.expertMode = 0;
    EXPECT_STREQ(ChosenEntry(state), "");
    state.presentDeviceCount = 50;  // more than the list holds
    state.selectedIndex = kPresentDeviceSlots;
    EXPECT_STREQ(ChosenEntry(state), "");
}

}  // namespace
}  // namespace cvp::test
