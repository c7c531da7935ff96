// A small driver for the wizard under Wine: it starts CVPurger.exe, finds its pages by
// their control ids, clicks, picks list entries, answers the confirmations, waits for
// the result line, presses keys, takes screenshots, and looks at the machine.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace gui {

// Set by main() from the command line: Windows paths.
struct Paths {
    std::string purger;       // CVPurger.exe
    std::string repository;   // the source tree: machine images live there
    std::string screenshots;  // where pictures of the pages go ("" for none)
};
const Paths& TestPaths();
void SetTestPaths(const Paths& paths);

// Control ids of the pages, as the wizard's resources number them.
namespace id {
constexpr int kModeWorking = 1000, kModeExpert = 1001, kModeNext = 1002, kModeCancel = 1003;
constexpr int kWorkingList = 1010, kWorkingNext = 1011, kWorkingCancel = 1012, kWorkingBack = 1039;
constexpr int kInstalledList = 1020, kInstalledNext = 1021, kInstalledCancel = 1022,
              kInstalledBack = 1040;
constexpr int kProgressBar = 1033, kProgressCaption = 1034, kProgressPath = 1035,
              kProgressButton = 1036, kProgressResult = 1037, kProgressLabel = 1038;
constexpr int kBoxText = 0xFFFF;  // the static text of a message box
}  // namespace id

// The exact texts the purger shows.
namespace text {
constexpr char kExitQuestion[] = "Are you sure exit this program??";
constexpr char kUninstallQuestion[] = "Are you sure to uninstall driver??";
constexpr char kWarning[] = "Warning";
// Code page 950: the Chinese questions and caption.
constexpr char kExitQuestionChinese[] =
    "\xBD\x54\xA9\x77\xAD\x6E\xC2\xF7\xB6\x7D\xA5\xBB\xA4\xCF\xA6\x77\xB8\xCB\xB5\x7B\xA6\xA1"
    "\x3F\x3F";
constexpr char kUninstallQuestionChinese[] =
    "\xBD\x54\xA9\x77\xAD\x6E\xA4\xCF\xA6\x77\xB8\xCB\xC5\x58\xB0\xCA\xB5\x7B\xA6\xA1\x3F\x3F";
constexpr char kWarningChinese[] = "\xC4\xB5\xA7\x69";
constexpr char kDone[] = "Uninstall driver finish!!";
constexpr char kFailed[] = "Remove driver fail.";
constexpr char kExit[] = "Exit";
constexpr char kFinish[] = "Finish";
constexpr char kDevices[] = "Remove Device form Device manager...";
constexpr char kInfFiles[] = "Delete driver's *.inf and *.sys ...";
constexpr char kDriverFiles[] = "Delete driver's file...";
constexpr char kOtherFiles[] = "Delete others file...";
constexpr char kRegistry[] = "Delete driver's registry key...";
}  // namespace text

constexpr DWORD kPatience = 20000;  // ms: how long anything may take under Wine

// How a purger is started: which copy of the executable ("" for the one under test),
// and whether its token keeps the Administrators group (without it the group is
// deny-only, as in a limited user's token).
struct Launch {
    std::string exe;
    bool administrator = true;
};

// One started CVPurger.exe. The destructor ends it if it still runs.
class Purger {
  public:
    explicit Purger(Launch launch = {}) : launch_(std::move(launch)) {}
    ~Purger();
    Purger(const Purger&) = delete;
    Purger& operator=(const Purger&) = delete;

    // Starts it with `arguments` after its name, in `directory` (made if missing).
    bool Start(const std::string& arguments = "", const std::string& directory = "C:\\cvpurger");
    DWORD id() const { return id_; }
    HANDLE process() const { return process_; }
    // The exit code, or -1 when it has not ended within `milliseconds`.
    long ExitCodeWithin(DWORD milliseconds) const;

    // A visible top-level dialog of this process that holds control `controlId`.
    HWND FindPage(int controlId) const;
    HWND WaitForPage(int controlId, DWORD milliseconds = kPatience) const;
    // Waits until no visible page with `controlId` is left.
    bool WaitForPageGone(int controlId, DWORD milliseconds = kPatience) const;
    // A message box of this process with this caption.
    HWND FindBox(const std::string& caption) const;
    HWND WaitForBox(const std::string& caption, DWORD milliseconds = kPatience) const;
    // Any top-level window of this process with this class and title.
    HWND FindWindowOf(const std::string& windowClass, const std::string& title) const;
    // Chooses `radio` on the mode page and clicks Next: the list page that holds
    // `listId`, or null.
    HWND OpenListPage(HWND mode, int radio, int listId) const;

  private:
    Launch launch_;
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

std::string Text(HWND window);
std::string ControlText(HWND page, int controlId);
std::vector<std::string> ListEntries(HWND list);
int SelectedIndex(HWND list);
bool Enabled(HWND page, int controlId);
bool Checked(HWND page, int controlId);
int BarPosition(HWND page);

// Clicks a button and waits for what it does (no message box may open).
void Click(HWND page, int controlId);
// Clicks a button without waiting: for buttons that open a message box.
void PostClick(HWND page, int controlId);
// Clicks the list entry at `index` with the mouse: it is selected and the list gets
// the focus.
void ClickListEntry(HWND list, int index);
// Clicks Yes (IDYES) or No (IDNO) in a message box.
void Answer(HWND box, int button);
// The page's system menu Close, as a click on its close box sends it.
void PostClose(HWND page);
// Ctrl+`key` on the keyboard, for the window with the focus; `page` is brought to the
// front first.
void PressControlKey(HWND page, char key);

// Waits until `predicate` holds, polling; false when it never did.
template <typename Predicate>
bool WaitUntil(Predicate predicate, DWORD milliseconds = kPatience) {
    for (DWORD waited = 0;; waited += 50) {
        if (predicate()) return true;
        if (waited >= milliseconds) return false;
        Sleep(50);
    }
}
bool WaitForText(HWND page, int controlId, const std::string& expected,
                 DWORD milliseconds = kPatience);

// The colour on screen at a point of `window`'s client area.
COLORREF ClientPixel(HWND window, int x, int y);

// Saves the screen under `windows` (their bounding box) as SCREENSHOTS\name.bmp.
void SaveScreenshot(const std::string& name, const std::vector<HWND>& windows);

// --- The machine ---------------------------------------------------------------------

// Imports a machine image folder (relative to the repository): registry.reg with
// regedit /S, then its drive_c\ over C:\.
bool ImportImage(const std::string& image);
bool KeyExists(const std::string& machinePath);  // below HKEY_LOCAL_MACHINE
bool FileExists(const std::string& path);
// The lines of a log file without their CR LF; none when it is missing.
std::vector<std::string> ReadLines(const std::string& path);
// Runs CVPurger.exe with a command line in `directory` and waits for it.
long RunPurger(const std::string& arguments, const std::string& directory,
               const Launch& launch = {});
// Runs a program, its standard output into the file `output`, and waits for it: the
// exit code, or -1 when it could not be run or did not end.
long RunProgram(const std::string& commandLine, const std::string& output);
// A key's DACL below HKEY_LOCAL_MACHINE in SDDL; "" when it can't be read.
std::string KeyDacl(const std::string& machinePath);
// A path as Windows names it: "/tmp/x" is "Z:\tmp\x" under Wine.
std::string WindowsPath(std::string path);

constexpr char kLog[] = "C:\\cvpurger\\UnInstall.log";

}  // namespace gui
