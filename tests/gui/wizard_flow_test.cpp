// Whole wizard runs on the real executable under Wine: a machine image in the prefix,
// the pages clicked through as a user would, and the log and the machine checked
// afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "gui/wizard_driver.h"

namespace gui {
namespace {

constexpr char kLabPc[] = "tests/scenarios/images/lab-pc";
constexpr char kUnplugged[] = "tests/scenarios/images/unplugged";
constexpr char kDemoPc[] = "machines/demo";
constexpr char kInstalledBt878[] = "tests/scenarios/images/installed-bt878";
const std::string kBt848Service = "SYSTEM\\CurrentControlSet\\Services\\BT848";
constexpr char kBt878Driver[] = "Vistrel QX4100 XP WDM";
// How long the wizard waits for its worker to stop (ui/cleanup_thread.cpp).
constexpr DWORD kStopWait = 20000;

constexpr char kVideo[] = "Vistrel QX4100 XP WDM Video Capture";
constexpr char kAudio[] = "Vistrel QX4100 XP WDM Audio Capture";
constexpr char kDeluxe[] = "Vistrel QU Stick II Deluxe";
constexpr char kStickAudio[] = "USB EMP Audio Device";

constexpr char kEnum[] = "SYSTEM\\CurrentControlSet\\Enum\\";
// The lab PC's devices by instance key.
constexpr char kVideoCard[] = "PCI\\VEN_109E&DEV_036E&SUBSYS_66061F3C&REV_11\\4&1a2b3c4d&0&20F0";
constexpr char kAudioCard[] = "PCI\\VEN_109E&DEV_0878&SUBSYS_66061F3C&REV_11\\4&1a2b3c4d&0&21F0";
constexpr char kForeignVideo[] = "PCI\\VEN_109E&DEV_036E&SUBSYS_13EB0070&REV_11\\4&6f708192&0&50F0";
constexpr char kForeignAudio[] = "PCI\\VEN_109E&DEV_0878&SUBSYS_13EB0070&REV_11\\4&6f708192&0&51F0";
constexpr char kForeignCx88[] = "PCI\\VEN_14F1&DEV_8800&SUBSYS_D6000070&REV_05\\4&708192a3&0&58F0";
// The image's GeForce display adapter is not checked: Wine's virtual desktop replaces
// every display-class device with its own as soon as a window program starts, before
// the purger has looked at anything.
constexpr char kDeluxeStick[] = "USB\\Vid_0f6b&Pid_6023\\5&1f2e3d4c&0&1";
constexpr char kDeluxeAudio[] = "USB\\Vid_0f6b&Pid_6023&MI_01\\6&2a3b4c5d&0&0001";
constexpr char kRoamView[] = "USB\\Vid_0eb1&Pid_7007\\5&1f2e3d4c&0&3";
constexpr char kKeyboard[] = "USB\\Vid_046d&Pid_c31c\\5&1f2e3d4c&0&5";
constexpr char kHub[] = "USB\\Vid_0409&Pid_005a\\5&1f2e3d4c&0&6";
constexpr char kRootHub[] = "USB\\ROOT_HUB20\\4&aa11bb22&0";
constexpr char kForeignStick[] = "USB\\Vid_1b80&Pid_e302\\5&1f2e3d4c&0&7";

// What the working-device page lists on the lab PC: the maker's present devices in
// the order SetupAPI walks them (Wine: device keys sorted by name).
const std::vector<std::string> kLabPcPresentDevices = {
    kVideo,
    "Contoso Bt878 Audio Capture",
    "nVidia WDM Video Capture",
    "Vistrel QX4100 XP Expert WDM",
    "Vistrel QD4100",
    "Vistrel QR4100",
    "WIS GO7007SB A/V Capture",
    "Vistrel RoamView",
    kDeluxe,
    "Vistrel QU Stick II",
};

bool DevicePresent(const std::string& instance) { return KeyExists(kEnum + instance); }

std::string DeviceLine(const std::string& name) { return std::string(text::kDevices) + " " + name; }

int IndexOf(const std::vector<std::string>& entries, const std::string& entry) {
    const auto found = std::find(entries.begin(), entries.end(), entry);
    return found == entries.end() ? -1 : static_cast<int>(found - entries.begin());
}

// Every line's caption, in order, never steps back to an earlier stage.
void ExpectStagesInOrder(const std::vector<std::string>& log) {
    const std::vector<std::string> order = {text::kDevices, text::kInfFiles, text::kDriverFiles,
                                            text::kOtherFiles, text::kRegistry};
    size_t stage = 0;
    for (const std::string& line : log) {
        while (stage < order.size() && line.rfind(order[stage] + " ", 0) != 0) ++stage;
        ASSERT_LT(stage, order.size()) << "a line out of stage order: " << line;
    }
}

class WizardFlow : public ::testing::Test {
  protected:
    // Starts the wizard and waits for its first page.
    HWND StartWizard() {
        if (!purger.Start()) return nullptr;
        return purger.WaitForPage(id::kModeNext);
    }

    // Chooses a mode on the mode page and goes on to its list page.
    HWND ChooseMode(HWND modePage, int radio, int listId) {
        Click(modePage, radio);
        EXPECT_TRUE(Checked(modePage, radio));
        EXPECT_TRUE(Enabled(modePage, id::kModeNext));
        Click(modePage, id::kModeNext);
        HWND listPage = purger.WaitForPage(listId);
        EXPECT_FALSE(IsWindowVisible(modePage)) << "the mode page stays on screen";
        return listPage;
    }

    // Clicks a list entry: it is selected and the list's focus enables Next.
    void PickEntry(HWND listPage, int listId, int nextId, int index) {
        HWND list = GetDlgItem(listPage, listId);
        ClickListEntry(list, index);
        EXPECT_TRUE(WaitUntil([&] { return SelectedIndex(list) == index; }));
        EXPECT_TRUE(WaitUntil([&] { return Enabled(listPage, nextId); }));
    }

    // Next, the uninstall confirmation with its exact texts, Yes; the progress page.
    HWND ConfirmUninstall(HWND listPage, int nextId, const char* screenshot = nullptr) {
        PostClick(listPage, nextId);
        HWND box = purger.WaitForBox(text::kWarning);
        EXPECT_NE(box, nullptr) << "no uninstall confirmation";
        if (box == nullptr) return nullptr;
        EXPECT_EQ(ControlText(box, id::kBoxText), text::kUninstallQuestion);
        if (screenshot != nullptr) SaveScreenshot(screenshot, {listPage, box});
        Answer(box, IDYES);
        HWND progress = purger.WaitForPage(id::kProgressBar);
        EXPECT_NE(progress, nullptr) << "no progress page";
        return progress;
    }

    // The progress page at the end of a good run.
    void ExpectFinished(HWND progress) {
        ASSERT_TRUE(WaitForText(progress, id::kProgressResult, text::kDone, 3 * kPatience))
            << "result line: \"" << ControlText(progress, id::kProgressResult) << "\"";
        EXPECT_TRUE(WaitUntil([&] { return Enabled(progress, id::kProgressButton); }));
        EXPECT_EQ(ControlText(progress, id::kProgressButton), text::kFinish);
        EXPECT_EQ(BarPosition(progress), 100);
        EXPECT_EQ(ControlText(progress, id::kProgressCaption), text::kRegistry);
        EXPECT_EQ(ControlText(progress, id::kProgressLabel), "Progress:");
    }

    Purger purger;
};

TEST_F(WizardFlow, WorkingModeRemovesAPresentCardAndItsAudioFunction) {
    ASSERT_TRUE(ImportImage(kLabPc));
    ASSERT_TRUE(DevicePresent(kVideoCard));
    HWND mode = StartWizard();
    ASSERT_NE(mode, nullptr);
    SaveScreenshot("mode_page", {mode});

    HWND page = ChooseMode(mode, id::kModeWorking, id::kWorkingList);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(Text(page), "Corvane Purger");
    EXPECT_FALSE(Enabled(page, id::kWorkingNext)) << "Next before the list had the focus";
    EXPECT_EQ(ControlText(page, id::kWorkingBack), "<Back(B)");
    const std::vector<std::string> entries = ListEntries(GetDlgItem(page, id::kWorkingList));
    EXPECT_EQ(entries, kLabPcPresentDevices);
    const int card = IndexOf(entries, kVideo);
    ASSERT_GE(card, 0);
    PickEntry(page, id::kWorkingList, id::kWorkingNext, card);
    SaveScreenshot("working_page", {page});

    HWND progress = ConfirmUninstall(page, id::kWorkingNext, "uninstall_confirmation");
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(Text(progress), "Corvane Purger");
    EXPECT_NE(purger.FindPage(id::kWorkingList), nullptr) << "the list page closed beneath";
    // Watched while the run goes on, however fast it is: the button comes on only
    // after the result line.
    bool earlyFinish = false;
    WaitUntil([&] {
        const bool result = !ControlText(progress, id::kProgressResult).empty();
        earlyFinish = earlyFinish || (!result && Enabled(progress, id::kProgressButton));
        return result;
    });
    EXPECT_FALSE(earlyFinish) << "Finish before the end of the run";
    ExpectFinished(progress);
    SaveScreenshot("progress_page", {progress});

    const std::vector<std::string> log = ReadLines(kLog);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], DeviceLine(kVideo));
    EXPECT_EQ(log[1], DeviceLine(kAudio));
    ExpectStagesInOrder(log);
    for (const std::string& line : log) {
        EXPECT_EQ(line.find("13EB0070"), std::string::npos) << "a foreign card was touched";
        EXPECT_EQ(line.find("Contoso"), std::string::npos) << "a foreign card was touched";
    }
    EXPECT_FALSE(DevicePresent(kVideoCard));
    EXPECT_FALSE(DevicePresent(kAudioCard));
    for (const char* other :
         {kForeignVideo, kForeignAudio, kForeignCx88, kDeluxeStick, kRoamView, kKeyboard, kHub}) {
        EXPECT_TRUE(DevicePresent(other)) << other;
    }

    Click(progress, id::kProgressButton);
    EXPECT_EQ(purger.ExitCodeWithin(kPatience), 0);

    // Its user puts it back without a command prompt: the release's script starts
    // /restore, which tells what happened in a message box.
    Purger restore;
    ASSERT_TRUE(restore.StartScript("Restore the last purge.cmd"));
    HWND box = WaitForAnyBox("CVPurger");
    ASSERT_NE(box, nullptr);
    SaveScreenshot("restore_message", {box});
    EXPECT_EQ(ControlText(box, id::kBoxText).rfind("Restored from the receipt", 0), 0u)
        << ControlText(box, id::kBoxText);
    Answer(box, IDOK);
    EXPECT_EQ(restore.ExitCodeWithin(kPatience), 0);
    EXPECT_TRUE(DevicePresent(kVideoCard));
    EXPECT_TRUE(DevicePresent(kAudioCard));
}

TEST_F(WizardFlow, WorkingModeRemovesAPresentStickAndItsAudioDevice) {
    ASSERT_TRUE(ImportImage(kLabPc));
    HWND mode = StartWizard();
    ASSERT_NE(mode, nullptr);
    HWND page = ChooseMode(mode, id::kModeWorking, id::kWorkingList);
    ASSERT_NE(page, nullptr);
    const int stick = IndexOf(ListEntries(GetDlgItem(page, id::kWorkingList)), kDeluxe);
    ASSERT_GE(stick, 0);
    PickEntry(page, id::kWorkingList, id::kWorkingNext, stick);
    HWND progress = ConfirmUninstall(page, id::kWorkingNext);
    ASSERT_NE(progress, nullptr);
    ExpectFinished(progress);

    const std::vector<std::string> log = ReadLines(kLog);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], DeviceLine(kDeluxe));
    EXPECT_EQ(log[1], DeviceLine(kStickAudio));
    ExpectStagesInOrder(log);
    EXPECT_FALSE(DevicePresent(kDeluxeStick));
    EXPECT_FALSE(DevicePresent(kDeluxeAudio));
    for (const char* other :
         {kKeyboard, kHub, kRootHub, kForeignStick, kRoamView, kVideoCard, kForeignVideo}) {
        EXPECT_TRUE(DevicePresent(other)) << other;
    }

    // The system menu's Close on the finished page ends the wizard without a question.
    PostClose(progress);
    EXPECT_EQ(purger.ExitCodeWithin(kPatience), 0);
}

// The wizard and the unattended run share their stages: expert mode with the card's
// driver removes exactly what "CVPurger.exe 878" removes from the same machine.
TEST_F(WizardFlow, ExpertModeRemovesWhatTheCommandLineRemoves) {
    ASSERT_TRUE(ImportImage(kDemoPc));
    ASSERT_EQ(RunPurger("878", "C:\\unattended"), 0);
    std::vector<std::string> expected = ReadLines("C:\\unattended\\UnInstall.log");
    ASSERT_GE(expected.size(), 3u) << "the unattended run removed next to nothing";
    // The unattended run logs its devices under an empty caption; the worker under
    // the device stage's.
    for (std::string& line : expected) {
        if (line.rfind(" ", 0) == 0) line = text::kDevices + line;
    }
    ASSERT_TRUE(ImportImage(kDemoPc));  // the same machine again
    ASSERT_TRUE(DevicePresent(kVideoCard));
    ASSERT_TRUE(FileExists("C:\\windows\\system32\\drivers\\vs4kvcap.sys"));

    HWND mode = StartWizard();
    ASSERT_NE(mode, nullptr);
    HWND page = ChooseMode(mode, id::kModeExpert, id::kInstalledList);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(Text(page), "Corvane Purger");
    const std::vector<std::string> entries = ListEntries(GetDlgItem(page, id::kInstalledList));
    EXPECT_EQ(entries, (std::vector<std::string>{"Vistrel QX4100 XP WDM", kDeluxe}));
    const int driver = IndexOf(entries, "Vistrel QX4100 XP WDM");
    ASSERT_GE(driver, 0);
    PickEntry(page, id::kInstalledList, id::kInstalledNext, driver);
    SaveScreenshot("installed_page", {page});
    HWND progress = ConfirmUninstall(page, id::kInstalledNext);
    ASSERT_NE(progress, nullptr);
    ExpectFinished(progress);
    // The path line shows the last item removed.
    const std::string last = ReadLines(kLog).back();
    const std::string path = ControlText(progress, id::kProgressPath);
    EXPECT_FALSE(path.empty());
    EXPECT_EQ(last.substr(last.size() - std::min(last.size(), path.size())), path);

    EXPECT_EQ(ReadLines(kLog), expected);
    EXPECT_FALSE(DevicePresent(kVideoCard));
    EXPECT_FALSE(FileExists("C:\\windows\\system32\\drivers\\vs4kvcap.sys"));
    EXPECT_TRUE(FileExists("C:\\windows\\system32\\drivers\\emDevice.sys"));
    EXPECT_TRUE(DevicePresent(kDeluxeStick));
    EXPECT_TRUE(DevicePresent(kForeignVideo));
    Click(progress, id::kProgressButton);
    EXPECT_EQ(purger.ExitCodeWithin(kPatience), 0);
}

TEST_F(WizardFlow, AnEmptyListAndNextTakeTheFailurePath) {
    ASSERT_TRUE(ImportImage(kUnplugged));
    HWND mode = StartWizard();
    ASSERT_NE(mode, nullptr);
    HWND page = ChooseMode(mode, id::kModeWorking, id::kWorkingList);
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(ListEntries(GetDlgItem(page, id::kWorkingList)).empty());
    EXPECT_FALSE(Enabled(page, id::kWorkingNext));
    // A click into the empty list gives it the focus, and that enables Next.
    ClickListEntry(GetDlgItem(page, id::kWorkingList), 0);
    ASSERT_TRUE(WaitUntil([&] { return Enabled(page, id::kWorkingNext); }));
    SaveScreenshot("working_page_empty", {page});

    HWND progress = ConfirmUninstall(page, id::kWorkingNext);
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(WaitForText(progress, id::kProgressResult, text::kFailed));
    EXPECT_TRUE(WaitUntil([&] { return Enabled(progress, id::kProgressButton); }));
    EXPECT_EQ(ControlText(progress, id::kProgressButton), text::kExit);
    EXPECT_EQ(BarPosition(progress), 100);
    EXPECT_EQ(ControlText(progress, id::kProgressCaption), "");
    SaveScreenshot("progress_page_failed", {progress});

    EXPECT_FALSE(FileExists(kLog));
    EXPECT_TRUE(DevicePresent("PCI\\VEN_109E&DEV_036E&SUBSYS_66061F3C&REV_11\\4&1a2b3c4d&0&20F0"));
    EXPECT_TRUE(KeyExists(
        "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000"));
    Click(progress, id::kProgressButton);
    EXPECT_EQ(purger.ExitCodeWithin(kPatience), 0);
}

TEST_F(WizardFlow, BackThenTheOtherModeScansAfresh) {
    ASSERT_TRUE(ImportImage(kDemoPc));
    HWND mode = StartWizard();
    ASSERT_NE(mode, nullptr);
    HWND working = ChooseMode(mode, id::kModeWorking, id::kWorkingList);
    ASSERT_NE(working, nullptr);
    EXPECT_EQ(ListEntries(GetDlgItem(working, id::kWorkingList)),
              (std::vector<std::string>{kVideo, "Contoso Bt878 Audio Capture", kDeluxe}));

    Click(working, id::kWorkingBack);
    ASSERT_TRUE(purger.WaitForPageGone(id::kWorkingList));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(mode) != 0; }));
    EXPECT_TRUE(Checked(mode, id::kModeWorking)) << "the mode page forgot its choice";
    EXPECT_TRUE(Enabled(mode, id::kModeNext));

    // A QX4100 XP Expert driver appears while the mode page is up: only a fresh scan
    // lists it.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                              "SYSTEM\\CurrentControlSet\\Enum\\PCI\\"
                              "VEN_14F1&DEV_8800&SUBSYS_66081F3C&REV_05\\4&2b3c4d5e&0&30F0",
                              0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);

    HWND installed = ChooseMode(mode, id::kModeExpert, id::kInstalledList);
    ASSERT_NE(installed, nullptr);
    EXPECT_EQ(ListEntries(GetDlgItem(installed, id::kInstalledList)),
              (std::vector<std::string>{"Vistrel QX4100 XP WDM", "Vistrel QX4100 XP Expert WDM",
                                        kDeluxe}));
    EXPECT_FALSE(Checked(mode, id::kModeWorking));

    Click(installed, id::kInstalledBack);
    ASSERT_TRUE(purger.WaitForPageGone(id::kInstalledList));
    HWND again = ChooseMode(mode, id::kModeWorking, id::kWorkingList);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(ListEntries(GetDlgItem(again, id::kWorkingList)).size(), 3u)
        << "the list was not built afresh";
    EXPECT_FALSE(FileExists(kLog));
}

TEST_F(WizardFlow, CancelAnsweredNoKeepsThePageAndYesEndsTheWizard) {
    HWND mode = StartWizard();
    ASSERT_NE(mode, nullptr);
    PostClick(mode, id::kModeCancel);
    HWND box = purger.WaitForBox(text::kWarning);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ControlText(box, id::kBoxText), text::kExitQuestion);
    SaveScreenshot("exit_confirmation", {mode, box});
    Answer(box, IDNO);
    ASSERT_TRUE(WaitUntil([&] { return purger.FindBox(text::kWarning) == nullptr; }));
    EXPECT_EQ(purger.ExitCodeWithin(500), -1);
    EXPECT_TRUE(IsWindowVisible(mode));

    HWND page = ChooseMode(mode, id::kModeWorking, id::kWorkingList);
    ASSERT_NE(page, nullptr);
    PostClick(page, id::kWorkingCancel);
    box = purger.WaitForBox(text::kWarning);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ControlText(box, id::kBoxText), text::kExitQuestion);
    Answer(box, IDNO);
    ASSERT_TRUE(WaitUntil([&] { return purger.FindBox(text::kWarning) == nullptr; }));
    EXPECT_EQ(purger.ExitCodeWithin(500), -1);
    EXPECT_NE(purger.FindPage(id::kWorkingList), nullptr);

    // The list page's system menu Close asks the same question.
    PostClose(page);
    box = purger.WaitForBox(text::kWarning);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ControlText(box, id::kBoxText), text::kExitQuestion);
    Answer(box, IDYES);
    EXPECT_EQ(purger.ExitCodeWithin(kPatience), 0);
    EXPECT_FALSE(FileExists(kLog));
}

// key_sweep's dump ("HKLM\PATH<TAB>SDDL" a line) as key -> DACL.
std::map<std::string, std::string> ReadSweep(const std::string& file) {
    std::map<std::string, std::string> dacls;
    for (std::string line : ReadLines(file)) {
        if (line.empty()) continue;
        const size_t tab = line.rfind('\t');
        if (tab != std::string::npos) dacls[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return dacls;
}

// Whether a run's receipt holds the entry of the removal of the key `machinePath`
// (below HKEY_LOCAL_MACHINE): its first line, in the journal's UTF-16LE, comes with
// the whole entry, on the disk before the removal begins.
bool ReceiptHoldsKey(const std::string& machinePath) {
    std::string wide;
    for (const char c : "key HKEY_LOCAL_MACHINE\\" + machinePath + "\r\n") wide += {c, '\0'};
    std::error_code error;
    for (const auto& receipt :
         std::filesystem::directory_iterator("C:\\windows\\CVPurger\\Receipts", error)) {
        std::ifstream in(receipt.path() / "Receipt.reg", std::ios::binary);
        const std::string journal((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
        if (journal.find(wide) != std::string::npos) return true;
    }
    return false;
}

// Closing the progress page during a run stops the run after the removal under way:
// here a service key with thousands of subkeys, whose deletion takes the worker more
// than a second under Wine once its take-over has replaced the key's DACL and its
// receipt entry is on the disk (a stop before then ends the run before it). The wizard
// asks nothing, waits for that deletion and its log line, and ends within its bound;
// nothing after it is removed, and the key-security sweep finds no key open to everyone
// and no DACL changed.
TEST_F(WizardFlow, ClosingTheProgressPageDuringARunStopsItAfterTheRemovalUnderWay) {
    ASSERT_TRUE(ImportImage(kInstalledBt878));
    for (int i = 0; i < 8000; ++i) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                                  (kBt848Service + "\\Parameters\\" + std::to_string(i)).c_str(), 0,
                                  nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    const std::string original = KeyDacl(kBt848Service);
    ASSERT_FALSE(original.empty());
    const char* sweep = std::getenv("CVP_KEY_SWEEP");
    ASSERT_NE(sweep, nullptr) << "CVP_KEY_SWEEP names no key_sweep.exe";
    const std::string sweeper = "\"" + WindowsPath(sweep) + "\"";
    ASSERT_EQ(RunProgram(sweeper + " dump", "C:\\keys.before"), 0);

    HWND mode = StartWizard();
    ASSERT_NE(mode, nullptr);
    HWND page = ChooseMode(mode, id::kModeExpert, id::kInstalledList);
    ASSERT_NE(page, nullptr);
    const int driver = IndexOf(ListEntries(GetDlgItem(page, id::kInstalledList)), kBt878Driver);
    ASSERT_GE(driver, 0);
    PickEntry(page, id::kInstalledList, id::kInstalledNext, driver);
    HWND progress = ConfirmUninstall(page, id::kInstalledNext);
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::string dacl = KeyDacl(kBt848Service);
            return !dacl.empty() && dacl != original;
        },
        3 * kPatience))
        << "no take-over of " << kBt848Service << " seen";
    ASSERT_TRUE(WaitUntil([&] { return ReceiptHoldsKey(kBt848Service); }, 3 * kPatience))
        << "no receipt entry of " << kBt848Service << " seen";
    // The entry is on the disk a moment before the deletion reaches the machine; a stop
    // in between ends the run before it. Its first subkeys gone, the deletion is under way.
    ASSERT_TRUE(WaitUntil([&] { return !KeyExists(kBt848Service + "\\Parameters\\0"); },
                          3 * kPatience))
        << "no deletion of " << kBt848Service << " seen";
    const DWORD closed = GetTickCount();
    PostClose(progress);
    ASSERT_EQ(purger.ExitCodeWithin(kStopWait + kPatience), 0) << "the wizard did not end";
    const DWORD ending = GetTickCount() - closed;
    std::printf("the wizard ended %lu ms after the close\n", static_cast<unsigned long>(ending));
    EXPECT_LT(ending, kStopWait) << "the wizard ended only when its wait ran out";

    EXPECT_FALSE(KeyExists(kBt848Service)) << "the removal under way was cut short";
    const std::vector<std::string> log = ReadLines(kLog);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(),
              std::string(text::kRegistry) + " HKEY_LOCAL_MACHINE\\" + kBt848Service + "\\")
        << "logged after the removal under way, or not that removal";
    EXPECT_TRUE(KeyExists("SYSTEM\\CurrentControlSet\\Services\\qx4ktunr"))
        << "the next key of the run went too";

    EXPECT_EQ(RunProgram(sweeper + " check C:\\keys.before", "C:\\keys.after"), 0)
        << "a key was left open to everyone";
    const std::map<std::string, std::string> before = ReadSweep("C:\\keys.before");
    std::string changed;
    for (const auto& [key, dacl] : ReadSweep("C:\\keys.after")) {
        const auto was = before.find(key);
        if (was != before.end() && was->second != dacl) changed += "\n  " + key + "  " + dacl;
    }
    EXPECT_EQ(changed, "") << "DACL changed";
}

TEST_F(WizardFlow, CtrlNAndCtrlBMoveThroughThePages) {
    HWND mode = StartWizard();
    ASSERT_NE(mode, nullptr);
    // With no mode chosen, Ctrl+N goes nowhere.
    PressControlKey(mode, 'N');
    Sleep(1000);
    EXPECT_EQ(purger.FindPage(id::kInstalledList), nullptr);
    EXPECT_EQ(purger.FindPage(id::kWorkingList), nullptr);

    // The radio button keeps the focus after its click: the key reaches it first.
    Click(mode, id::kModeExpert);
    PressControlKey(mode, 'N');
    HWND installed = purger.WaitForPage(id::kInstalledList);
    ASSERT_NE(installed, nullptr) << "Ctrl+N did not open the installed-driver page";
    EXPECT_FALSE(IsWindowVisible(mode));

    PressControlKey(installed, 'B');
    ASSERT_TRUE(purger.WaitForPageGone(id::kInstalledList)) << "Ctrl+B did not go back";
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(mode) != 0; }));

    Click(mode, id::kModeWorking);
    PressControlKey(mode, 'N');
    HWND working = purger.WaitForPage(id::kWorkingList);
    ASSERT_NE(working, nullptr);
    // From the list box, Ctrl+N asks the uninstall question like Next.
    ClickListEntry(GetDlgItem(working, id::kWorkingList), 0);
    ASSERT_TRUE(WaitUntil([&] { return Enabled(working, id::kWorkingNext); }));
    PressControlKey(working, 'N');
    HWND box = purger.WaitForBox(text::kWarning);
    ASSERT_NE(box, nullptr) << "Ctrl+N on the list page asked nothing";
    EXPECT_EQ(ControlText(box, id::kBoxText), text::kUninstallQuestion);
    Answer(box, IDNO);
    ASSERT_TRUE(WaitUntil([&] { return purger.FindBox(text::kWarning) == nullptr; }));
    EXPECT_EQ(purger.FindPage(id::kProgressBar), nullptr);

    PressControlKey(working, 'B');
    ASSERT_TRUE(purger.WaitForPageGone(id::kWorkingList));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(mode) != 0; }));
    EXPECT_FALSE(FileExists(kLog)) << "something ran";
}

TEST_F(WizardFlow, ASecondConfirmationDuringARunIsRefused) {
    ASSERT_TRUE(ImportImage(kDemoPc));
    HWND mode = StartWizard();
    ASSERT_NE(mode, nullptr);
    HWND page = ChooseMode(mode, id::kModeWorking, id::kWorkingList);
    ASSERT_NE(page, nullptr);
    const int card = IndexOf(ListEntries(GetDlgItem(page, id::kWorkingList)), kVideo);
    ASSERT_GE(card, 0);
    PickEntry(page, id::kWorkingList, id::kWorkingNext, card);
    HWND progress = ConfirmUninstall(page, id::kWorkingNext);
    ASSERT_NE(progress, nullptr);

    // While the worker runs: the list page's Next and Back are off, and neither a click
    // nor the keys nor the list's focus bring a second question or a page change.
    EXPECT_EQ(ControlText(progress, id::kProgressResult), "") << "the run ended too soon";
    EXPECT_TRUE(WaitUntil([&] { return !Enabled(page, id::kWorkingNext); }, 2000));
    EXPECT_FALSE(Enabled(page, id::kWorkingBack));
    PostClick(page, id::kWorkingNext);
    PostMessageA(page, WM_COMMAND, MAKEWPARAM(id::kWorkingNext, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(page, id::kWorkingNext)));
    ClickListEntry(GetDlgItem(page, id::kWorkingList), card);
    PressControlKey(page, 'N');
    EXPECT_FALSE(WaitUntil([&] { return purger.FindBox(text::kWarning) != nullptr; }, 1500))
        << "a second uninstall question during the run";
    EXPECT_FALSE(Enabled(page, id::kWorkingNext)) << "the list's focus enabled Next again";
    PressControlKey(page, 'B');
    Click(page, id::kWorkingBack);
    Sleep(500);
    EXPECT_NE(purger.FindPage(id::kWorkingList), nullptr) << "Back left the running page";
    EXPECT_FALSE(IsWindowVisible(mode));

    ExpectFinished(progress);
    // Finished, the page is still the run's: Next stays refused.
    PostClick(page, id::kWorkingNext);
    EXPECT_FALSE(WaitUntil([&] { return purger.FindBox(text::kWarning) != nullptr; }, 1000));
    const std::vector<std::string> log = ReadLines(kLog);
    EXPECT_EQ(std::count(log.begin(), log.end(), DeviceLine(kVideo)), 1);

    // The list page's Cancel still ends the wizard.
    PostClick(page, id::kWorkingCancel);
    HWND box = purger.WaitForBox(text::kWarning);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ControlText(box, id::kBoxText), text::kExitQuestion);
    Answer(box, IDYES);
    EXPECT_EQ(purger.ExitCodeWithin(kPatience), 0);
}

}  // namespace
}  // namespace gui
