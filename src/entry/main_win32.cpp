// The process entry: a command line runs one family unattended; an empty one starts
// the wizard.

// <windows.h> comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <string>

#include "app/command_line_run.h"
#include "app/start_refusal.h"
#include "platform/string_table.h"
#include "platform/win32/system_libraries.h"
#include "platform/win32/win32_platform.h"
#include "preview/preview_run.h"
#include "ui/resources/resource_ids.h"
#include "ui/wizard.h"

namespace {

// "=.=!!CVDrvPurger@" and three code-page-950 characters.
constexpr char kMutexName[] = "=.=!!CVDrvPurger@\xA5\x59\x51\x5F\x6F\xA5\x59";

constexpr COLORREF kPanelColour = RGB(254, 254, 254);
constexpr COLORREF kDialogColour = RGB(239, 239, 239);

// The run's one record, zero-initialised at start and kept for the process's life.
cvp::RunState g_runState;

// What a restore did goes where the one who asked can read it: to standard output when
// that is a file or a pipe (a script, a redirection), else into a message box (a
// shortcut, or a console a window program can't write to).
void Tell(const std::string& message) {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    const DWORD type = output == nullptr || output == INVALID_HANDLE_VALUE ? FILE_TYPE_UNKNOWN
                                                                           : GetFileType(output);
    const std::string text = message + "\r\n";
    DWORD written = 0;
    if ((type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) &&
        WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size()) {
        return;
    }
    MessageBoxA(nullptr, message.c_str(), "CVPurger", MB_OK);
}

// "/preview TOKEN" changes nothing and writes what the run of TOKEN would do (or why it
// would refuse to run); any other command line is the run itself, or a restore.
int RunUnattended(const char* commandLine) {
    cvp::Win32Platform win32;
    cvp::Platform platform = win32.platform();
    std::string token;
    if (cvp::IsPreviewCommand(commandLine, &token)) {
        return cvp::WritePreviewFile(platform, token.c_str());
    }
    // With no window to say why, a refused run just changes nothing and logs nothing.
    if (cvp::StartRefusal(platform.system) != 0) return 0;
    cvp::RunContext context{platform, g_runState, nullptr};
    std::string message;
    cvp::RunCommandLine(context, commandLine, &message);
    if (!message.empty()) Tell(message);
    return 0;
}

// The wizard waits for a stopped worker only so long: past that, the process ends
// while it may still run. What it uses must therefore outlive every destructor that
// runs at exit, so it is never destroyed.
cvp::Platform& WizardPlatform() {
    static cvp::Win32Platform& win32 = *new cvp::Win32Platform;
    static cvp::Platform& platform = *new cvp::Platform(win32.platform());
    return platform;
}

// Creating the mutex is the test: two wizards started together can't both see it
// missing, as they could between an open and a create.
bool ClaimSingleInstance() {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, kMutexName);
    if (mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    // The handle stays open until the process ends; a failed create is not fatal.
    return true;
}

// Every list entry and identifier starts empty, whatever a scan left before.
void ClearRunStateTexts(cvp::RunState& state) {
    for (auto& entry : state.presentDevices) entry[0] = '\0';
    for (auto& entry : state.installedDrivers) entry[0] = '\0';
    for (auto& entry : state.presentHardwareIds) entry[0] = '\0';
    for (auto& entry : state.parentIdPrefixes) entry[0] = '\0';
    for (auto& entry : state.instanceSuffixes) entry[0] = '\0';
    state.primaryHardwareId[0] = '\0';
    state.secondaryUsbId[0] = '\0';
    state.secondaryPciId[0] = '\0';
    state.statusText[0] = '\0';
    state.currentItem[0] = '\0';
    state.lastReportedItem[0] = '\0';
}

// Says in the user's language why the purger refuses to run here.
void ShowRefusal(cvp::System& system, unsigned textId) {
    char text[cvp::kTextSize] = {};
    char caption[cvp::kTextSize] = {};
    system.LoadText(textId, text, cvp::kTextSize);
    system.LoadText(IDS_REFUSED_CAPTION, caption, cvp::kTextSize);
    MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONERROR);
}

// comctl32 is no KnownDLL: it comes from the system directory by full path. Never
// freed, as the worker may still use the progress bar while the process ends.
void LoadCommonControls() {
    static const cvp::win32::SystemLibrary& comctl32 =
        *new cvp::win32::SystemLibrary("comctl32.dll");
    const auto init = comctl32.Find<decltype(&InitCommonControlsEx)>("InitCommonControlsEx");
    INITCOMMONCONTROLSEX controls = {sizeof controls,
                                     ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    if (init != nullptr) init(&controls);
}

int RunWizard(HINSTANCE instance) {
    cvp::Platform& platform = WizardPlatform();
    if (const unsigned refusal = cvp::StartRefusal(platform.system); refusal != 0) {
        ShowRefusal(platform.system, refusal);
        return 0;
    }
    if (!ClaimSingleInstance()) {
        MessageBoxA(nullptr, "CVDrvPurger is using now.", "Warning!!!", MB_OK);
        return 0;
    }
    LoadCommonControls();

    cvp::ui::Wizard wizard;
    wizard.instance = instance;
    wizard.platform = &platform;
    wizard.state = &g_runState;
    wizard.appIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    cvp::ui::UniqueAccelerators accelerators(
        LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDA_WIZARD)));
    wizard.panelBrush.reset(CreateSolidBrush(kPanelColour));
    wizard.dialogBrush.reset(CreateSolidBrush(kDialogColour));
    ClearRunStateTexts(g_runState);

    if (cvp::ui::CreateMainWindow(wizard) == nullptr) return 0;

    // No dialog-message preprocessing: a key reaches the window that has the focus,
    // and Ctrl+N / Ctrl+B are translated for that window.
    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorA(message.hwnd, accelerators.get(), &message) != 0) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    accelerators.reset();
    cvp::ui::DestroyWizardWindows(wizard);
    return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR commandLine, int /*show*/) {
    cvp::win32::RestrictLibrarySearch();
    if (commandLine != nullptr && commandLine[0] != '\0') return RunUnattended(commandLine);
    return RunWizard(instance);
}
