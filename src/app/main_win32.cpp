// The process entry: a command line runs one family unattended; an empty one starts
// the wizard.
#include <windows.h>
#include <commctrl.h>

#include "app/command_line_run.h"
#include "platform/win32/win32_platform.h"

namespace {

// "=.=!!CVDrvPurger@" and three code-page-950 characters.
constexpr char kMutexName[] = "=.=!!CVDrvPurger@\xA5\x59\x51\x5F\x6F\xA5\x59";

// The run's one record, zero-initialised at start and kept for the process's life.
cvp::RunState g_runState;

int RunUnattended(const char* commandLine) {
    cvp::Win32Platform win32;
    cvp::Platform platform = win32.platform();
    cvp::RunContext context{platform, g_runState, nullptr};
    cvp::RunCommandLine(context, commandLine);
    return 0;
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

int RunWizard() {
    if (!ClaimSingleInstance()) {
        MessageBoxA(nullptr, "CVDrvPurger is using now.", "Warning!!!", MB_OK);
        return 0;
    }
    INITCOMMONCONTROLSEX controls = {sizeof controls,
                                     ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR commandLine,
                   int /*show*/) {
    if (commandLine != nullptr && commandLine[0] != '\0') return RunUnattended(commandLine);
    return RunWizard();
}
