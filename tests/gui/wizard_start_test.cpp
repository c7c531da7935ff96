// The wizard's start on the real executable: the single-instance rule, the hidden
// main window and the first page, and a command-line run beside a wizard; the
// refusals where a run can't be right, and the DLLs a limited user plants.
#include <gtest/gtest.h>

#include <fstream>

#include "gui/wizard_driver.h"
#include "platform/string_table.h"
#include "platform/win32/win32_handles.h"

namespace gui {
namespace {

constexpr char kMutexName[] = "=.=!!CVDrvPurger@\xA5\x59\x51\x5F\x6F\xA5\x59";
constexpr char kMainWindowClass[] = "=.=!!CorvakeDriverPurger@\xA5\x59\x51\x5F\x6F\xA5\x59";

// Ends a wizard through a page's Cancel (the mode page's unless told) and the exit
// confirmation.
void CancelWizard(const Purger& purger, int cancel = id::kModeCancel) {
    HWND page = purger.WaitForPage(cancel);
    ASSERT_NE(page, nullptr);
    PostClick(page, cancel);
    HWND box = purger.WaitForBox(text::kWarning);
    ASSERT_NE(box, nullptr);
    Answer(box, IDYES);
    EXPECT_EQ(purger.ExitCodeWithin(kPatience), 0);
}

TEST(WizardStart, ASecondWizardSaysSoAndEnds) {
    const cvp::win32::UniqueHandle mutex(CreateMutexA(nullptr, FALSE, kMutexName));
    ASSERT_NE(mutex, nullptr);
    Purger purger;
    ASSERT_TRUE(purger.Start());
    HWND box = purger.WaitForBox("Warning!!!");
    ASSERT_NE(box, nullptr) << "no \"Warning!!!\" message box";
    EXPECT_EQ(ControlText(box, id::kBoxText), "CVDrvPurger is using now.");
    EXPECT_EQ(purger.ExitCodeWithin(500), -1) << "ended before the box was answered";
    EXPECT_EQ(purger.FindPage(id::kModeNext), nullptr) << "a page opened beside the message";
    Answer(box, IDOK);
    EXPECT_EQ(purger.ExitCodeWithin(kPatience), 0);
}

TEST(WizardStart, OpensTheModePageUnderAHiddenMainWindow) {
    Purger purger;
    ASSERT_TRUE(purger.Start());
    HWND page = purger.WaitForPage(id::kModeNext);
    ASSERT_NE(page, nullptr) << "no mode page";
    HWND main = purger.FindWindowOf(kMainWindowClass, "CorvakeDriverPurger");
    ASSERT_NE(main, nullptr) << "no main window of that class and title";
    // It is made visible and hidden at once, after its creation opened the page.
    EXPECT_TRUE(WaitUntil([main] { return !IsWindowVisible(main); }, 5000));
    EXPECT_EQ(Text(page), "Corvane Purger Wizard");
    EXPECT_FALSE(Enabled(page, id::kModeNext));
    EXPECT_TRUE(Enabled(page, id::kModeCancel));
    EXPECT_FALSE(Checked(page, id::kModeWorking));
    EXPECT_FALSE(Checked(page, id::kModeExpert));
    EXPECT_EQ(ControlText(page, id::kModeWorking), "Remove driver in working(recommend)");
    EXPECT_EQ(ControlText(page, id::kModeExpert), "Remove driver exist  in system(expert)");
    EXPECT_EQ(ControlText(page, id::kModeNext), "Next(N)>");
    // The system menu's Close asks too; No keeps the wizard.
    PostClose(page);
    HWND box = purger.WaitForBox(text::kWarning);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ControlText(box, id::kBoxText), text::kExitQuestion);
    Answer(box, IDNO);
    ASSERT_TRUE(WaitUntil([&] { return purger.FindBox(text::kWarning) == nullptr; }));
    EXPECT_EQ(purger.ExitCodeWithin(500), -1);
    EXPECT_TRUE(IsWindowVisible(page));
    CancelWizard(purger);
}

// The look of pages 900, 905 and 901: the banner at the client origin, the dialog
// colour under it, the near-white panel from row 174 to 30 rows above the bottom, a
// grey line above the panel and one 29 rows above the bottom, 5 pixels in from
// either side.
void ExpectPageLook(HWND page) {
    constexpr COLORREF kDialog = RGB(239, 239, 239);
    constexpr COLORREF kPanel = RGB(254, 254, 254);
    constexpr COLORREF kLine = RGB(160, 160, 160);
    RECT client = {};
    GetClientRect(page, &client);
    const int right = client.right;
    const int bottom = client.bottom;
    // The banner: the blue picture, upright (darker at the top), 150 rows high.
    const COLORREF top = ClientPixel(page, 2, 2);
    const COLORREF low = ClientPixel(page, 2, 147);
    EXPECT_GT(GetBValue(top), GetRValue(top) + 40) << std::hex << top;
    EXPECT_GT(GetBValue(low), GetBValue(top) + 20) << "the banner is upside down";
    EXPECT_EQ(ClientPixel(page, 2, 150), kDialog);
    EXPECT_EQ(ClientPixel(page, 2, 172), kDialog);
    // The upper line, row 173, from x 5 up to 5 short of the right edge.
    EXPECT_EQ(ClientPixel(page, 4, 173), kDialog);
    EXPECT_EQ(ClientPixel(page, 5, 173), kLine);
    EXPECT_EQ(ClientPixel(page, right - 6, 173), kLine);
    EXPECT_EQ(ClientPixel(page, right - 5, 173), kDialog);
    // The panel.
    EXPECT_EQ(ClientPixel(page, 2, 174), kPanel);
    EXPECT_EQ(ClientPixel(page, right - 1, 174), kPanel);
    EXPECT_EQ(ClientPixel(page, 2, bottom - 31), kPanel);
    EXPECT_EQ(ClientPixel(page, 2, bottom - 30), kDialog);
    // The lower line.
    EXPECT_EQ(ClientPixel(page, 5, bottom - 29), kLine);
    EXPECT_EQ(ClientPixel(page, right - 6, bottom - 29), kLine);
    EXPECT_EQ(ClientPixel(page, 4, bottom - 29), kDialog);
    EXPECT_EQ(ClientPixel(page, 2, bottom - 28), kDialog);
}

TEST(WizardStart, PagesShowTheBannerThePanelAndTheLines) {
    Purger purger;
    ASSERT_TRUE(purger.Start());
    HWND mode = purger.WaitForPage(id::kModeNext);
    ASSERT_NE(mode, nullptr);
    Sleep(500);  // painted
    ExpectPageLook(mode);
    HWND page = purger.OpenListPage(mode, id::kModeWorking, id::kWorkingList);
    ASSERT_NE(page, nullptr);
    Sleep(500);
    ExpectPageLook(page);
    CancelWizard(purger, id::kWorkingCancel);
}

TEST(WizardStart, StartingTheWizardTwiceRefusesTheSecondAndKeepsTheFirst) {
    Purger first;
    ASSERT_TRUE(first.Start());
    ASSERT_NE(first.WaitForPage(id::kModeNext), nullptr);
    Purger second;
    ASSERT_TRUE(second.Start());
    HWND box = second.WaitForBox("Warning!!!");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ControlText(box, id::kBoxText), "CVDrvPurger is using now.");
    SaveScreenshot("second_wizard", {box});
    Answer(box, IDOK);
    EXPECT_EQ(second.ExitCodeWithin(kPatience), 0);
    EXPECT_FALSE(FileExists(kLog));
    EXPECT_EQ(first.ExitCodeWithin(0), -1);
    EXPECT_NE(first.FindPage(id::kModeNext), nullptr);
    CancelWizard(first);
}

TEST(WizardStart, ACommandLineRunIgnoresARunningWizard) {
    Purger wizard;
    ASSERT_TRUE(wizard.Start());
    ASSERT_NE(wizard.WaitForPage(id::kModeNext), nullptr);
    EXPECT_EQ(RunPurger("WIS", "C:\\cvpurger"), 0);
    EXPECT_EQ(wizard.FindBox("Warning!!!"), nullptr);
    CancelWizard(wizard);
}

// --- Refusals ----------------------------------------------------------------------------

constexpr char kBt878Driver[] = "C:\\windows\\system32\\drivers\\vs4kvcap.sys";

// Neither a command-line run nor the wizard started with `launch` changes anything or
// writes a log; the wizard says `text` and ends.
void ExpectRefusal(const Launch& launch, const char* text) {
    CreateDirectoryA("C:\\windows\\system32\\drivers", nullptr);
    std::ofstream(kBt878Driver) << "MZ";
    ASSERT_TRUE(FileExists(kBt878Driver));
    EXPECT_EQ(RunPurger("878", "C:\\cvpurger", launch), 0);
    EXPECT_TRUE(FileExists(kBt878Driver)) << "the command line removed the family's driver";
    Purger wizard(launch);
    ASSERT_TRUE(wizard.Start());
    HWND box = wizard.WaitForBox(TEXT_REFUSED_CAPTION);
    ASSERT_NE(box, nullptr) << "no refusal";
    EXPECT_EQ(ControlText(box, id::kBoxText), text);
    EXPECT_EQ(wizard.FindPage(id::kModeNext), nullptr) << "a page opened beside the refusal";
    Answer(box, IDOK);
    EXPECT_EQ(wizard.ExitCodeWithin(kPatience), 0);
    EXPECT_TRUE(FileExists(kBt878Driver));
    EXPECT_FALSE(FileExists(kLog));
}

// The Administrators group deny-only, as for a limited user on Windows 2000 or XP,
// where nothing prompts for elevation.
TEST(Refusal, WithoutAnAdministratorNeitherModeChangesAnything) {
    ExpectRefusal({"", false}, TEXT_REFUSED_NOT_ADMINISTRATOR);
}

// Runs in a 64-bit prefix, where this 32-bit program's system32 is SysWOW64, as the
// purger's would be.
TEST(Refusal, On64BitWindowsNeitherModeChangesAnything) { ExpectRefusal({}, TEXT_REFUSED_64_BIT); }

// --- Planted DLLs -------------------------------------------------------------------------

// Every DLL that planted.dll was loaded as, one path a line; "" when none was.
std::string PlantedDllsLoaded() {
    std::string loaded;
    for (const std::string& line : ReadLines("C:\\planted.txt")) loaded += line + "\n";
    return loaded;
}

std::string BesideTests(const std::string& name) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string self = path;
    return self.substr(0, self.rfind('\\') + 1) + name;
}

// Under Wine a native DLL beside the program, or in the current directory, takes the
// place of the built-in one where an override allows it: allowed here for every DLL
// the purger loads at run time.
TEST(Planting, NoDllBesideTheProgramOrInItsCurrentDirectoryIsLoaded) {
    DeleteFileA("C:\\planted.txt");
    const std::string app = "C:\\planted-app";
    const std::string current = "C:\\planted-current";
    const std::string exe = app + "\\CVPurger.exe";
    CreateDirectoryA(app.c_str(), nullptr);
    CreateDirectoryA(current.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(TestPaths().purger.c_str(), exe.c_str(), FALSE));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER,
                              "Software\\Wine\\AppDefaults\\CVPurger.exe\\DllOverrides", 0, nullptr,
                              0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const cvp::win32::UniqueKey overrides(key);
    static constexpr char kNativeFirst[] = "native,builtin";
    for (const char* name : {"comctl32", "setupapi", "shlwapi", "ole32", "oleaut32"}) {
        for (const std::string& folder : {app, current}) {
            ASSERT_TRUE(CopyFileA(BesideTests("planted.dll").c_str(),
                                  (folder + "\\" + name + ".dll").c_str(), FALSE));
        }
        RegSetValueExA(overrides.get(), name, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(kNativeFirst), sizeof kNativeFirst);
    }

    EXPECT_EQ(RunPurger("878", current, {exe}), 0);
    EXPECT_EQ(PlantedDllsLoaded(), "") << "the command line loaded planted DLLs";

    // The mode page shows the banner (ole32, oleaut32); the working page lists the
    // present devices (setupapi); comctl32 and shlwapi are loaded before.
    Purger wizard({exe});
    ASSERT_TRUE(wizard.Start("", current));
    HWND mode = wizard.WaitForPage(id::kModeNext);
    ASSERT_NE(mode, nullptr);
    Click(mode, id::kModeWorking);
    Click(mode, id::kModeNext);
    ASSERT_NE(wizard.WaitForPage(id::kWorkingList), nullptr);
    CancelWizard(wizard, id::kWorkingCancel);
    EXPECT_EQ(PlantedDllsLoaded(), "") << "the wizard loaded planted DLLs";
}

// emProp.ax, a filter module of the eMPIA family, needs planted.dll, which is not in
// the system directory; the purger's current directory holds one.
TEST(Planting, Regsvr32LooksForNoDllInThePurgersCurrentDirectory) {
    DeleteFileA("C:\\planted.txt");
    constexpr char kModule[] = "C:\\windows\\system32\\emProp.ax";
    ASSERT_TRUE(CopyFileA(BesideTests("planted_module.dll").c_str(), kModule, FALSE));
    CreateDirectoryA("C:\\cvpurger", nullptr);
    ASSERT_TRUE(CopyFileA(BesideTests("planted.dll").c_str(), "C:\\cvpurger\\planted.dll", FALSE));
    EXPECT_EQ(RunPurger("EM", "C:\\cvpurger"), 0);
    EXPECT_EQ(PlantedDllsLoaded(), "") << "regsvr32 loaded a planted DLL";
    EXPECT_FALSE(FileExists(kModule));
}

}  // namespace
}  // namespace gui
