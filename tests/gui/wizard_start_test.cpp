// The wizard's start, on the real executable under Wine and Xvfb: a second wizard is
// refused with its message, a first one starts, a command-line run ignores the
// wizard. The path of CVPurger.exe is the first argument.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

constexpr char kMutexName[] = "=.=!!CVDrvPurger@\xA5\x59\x51\x5F\x6F\xA5\x59";

std::string g_purger;

// Wine runs us with the Linux path; Z: is the Linux root.
std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

struct Handle {
    HANDLE value = nullptr;
    ~Handle() {
        if (value != nullptr) CloseHandle(value);
    }
};

// Starts CVPurger.exe with `arguments` after its name; returns the process.
bool StartPurger(const std::string& arguments, Handle* process) {
    std::string commandLine = "\"" + g_purger + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    process->value = info.hProcess;
    return true;
}

// The exit code, or -1 when the process has not ended within `milliseconds`.
long ExitCodeWithin(HANDLE process, DWORD milliseconds) {
    if (WaitForSingleObject(process, milliseconds) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return static_cast<long>(code);
}

HWND WaitForWindow(const char* caption, DWORD milliseconds) {
    for (DWORD waited = 0; waited < milliseconds; waited += 100) {
        HWND window = FindWindowA("#32770", caption);
        if (window != nullptr) return window;
        Sleep(100);
    }
    return nullptr;
}

std::string StaticText(HWND box) {
    char text[256] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

class WizardStart : public ::testing::Test {
protected:
    void HoldTheMutex() {
        mutex_.value = CreateMutexA(nullptr, FALSE, kMutexName);
        ASSERT_NE(mutex_.value, nullptr);
    }
    Handle mutex_;
};

TEST_F(WizardStart, ASecondWizardSaysSoAndEnds) {
    HoldTheMutex();
    Handle purger;
    ASSERT_TRUE(StartPurger("", &purger));
    HWND box = WaitForWindow("Warning!!!", 20000);
    ASSERT_NE(box, nullptr) << "no \"Warning!!!\" message box";
    EXPECT_EQ(StaticText(box), "CVDrvPurger is using now.");
    EXPECT_EQ(ExitCodeWithin(purger.value, 500), -1) << "ended before the box was answered";
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(ExitCodeWithin(purger.value, 20000), 0);
}

TEST_F(WizardStart, TheFirstWizardPassesTheSingleInstanceTest) {
    Handle purger;
    ASSERT_TRUE(StartPurger("", &purger));
    EXPECT_EQ(ExitCodeWithin(purger.value, 20000), 0);
    EXPECT_EQ(FindWindowA("#32770", "Warning!!!"), nullptr);
}

TEST_F(WizardStart, ACommandLineRunIgnoresARunningWizard) {
    HoldTheMutex();
    Handle purger;
    ASSERT_TRUE(StartPurger("wis", &purger));
    EXPECT_EQ(ExitCodeWithin(purger.value, 20000), 0);
    EXPECT_EQ(FindWindowA("#32770", "Warning!!!"), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: gui_tests CVPURGER_EXE\n");
        return 2;
    }
    g_purger = WindowsPath(argv[1]);
    return RUN_ALL_TESTS();
}
