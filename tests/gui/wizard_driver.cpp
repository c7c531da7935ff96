#include "gui/wizard_driver.h"

#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "platform/win32/win32_handles.h"

namespace gui {
namespace {

using cvp::win32::UniqueFind;
using cvp::win32::UniqueHandle;

Paths g_paths;

struct DcReleaser {
    HWND window;
    void operator()(HDC dc) const { ReleaseDC(window, dc); }
};

struct DcDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
};

struct ObjectDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};

std::string ClassName(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct TopLevelSearch {
    DWORD id;
    const std::function<bool(HWND)>* match;
    HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<TopLevelSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->id || !(*search->match)(window)) return TRUE;
    search->found = window;
    return FALSE;
}

// The first top-level window of process `id`, in z-order, for which `match` holds.
HWND FindTopLevel(DWORD id, const std::function<bool(HWND)>& match) {
    TopLevelSearch search = {id, &match, nullptr};
    EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool StartProcess(std::string commandLine, const std::string& directory, PROCESS_INFORMATION* info,
                  HANDLE token = nullptr) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    const char* where = directory.empty() ? nullptr : directory.c_str();
    if (token != nullptr) {
        return CreateProcessAsUserA(token, nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0,
                                    nullptr, where, &startup, info) != 0;
    }
    return CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, where,
                          &startup, info) != 0;
}

// This process's token with the Administrators group made deny-only: what a limited
// user's process has. Null when it can't be made.
UniqueHandle LimitedUserToken() {
    HANDLE own = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &own)) return nullptr;
    const UniqueHandle token(own);
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &sid)) {
        return nullptr;
    }
    const cvp::win32::UniqueSid administrators(sid);
    SID_AND_ATTRIBUTES denyOnly = {administrators.get(), 0};
    HANDLE restricted = nullptr;
    if (!CreateRestrictedToken(token.get(), 0, 1, &denyOnly, 0, nullptr, 0, nullptr, &restricted)) {
        return nullptr;
    }
    return UniqueHandle(restricted);
}

bool CopyTree(const std::string& from, const std::string& to) {
    CreateDirectoryA(to.c_str(), nullptr);
    WIN32_FIND_DATAA data;
    UniqueFind search(FindFirstFileA((from + "\\*").c_str(), &data));
    if (search.get() == INVALID_HANDLE_VALUE) {
        search.release();
        return false;
    }
    bool copied = true;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            copied = CopyTree(from + "\\" + name, to + "\\" + name) && copied;
        } else {
            // A file already there may be shared with the template prefix (a hard
            // link): a new file, not one written over.
            const std::string target = to + "\\" + name;
            DeleteFileA(target.c_str());
            copied = CopyFileA((from + "\\" + name).c_str(), target.c_str(), FALSE) && copied;
        }
    } while (FindNextFileA(search.get(), &data));
    return copied;
}

std::string RepositoryPath(std::string relative) {
    for (char& c : relative) {
        if (c == '/') c = '\\';
    }
    return g_paths.repository + "\\" + relative;
}

}  // namespace

const Paths& TestPaths() { return g_paths; }
void SetTestPaths(const Paths& paths) { g_paths = paths; }

// --- The process ---------------------------------------------------------------------

Purger::~Purger() {
    if (process_ == nullptr) return;
    if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
}

bool Purger::Start(const std::string& arguments, const std::string& directory) {
    if (!directory.empty()) CreateDirectoryA(directory.c_str(), nullptr);
    std::string commandLine = "\"" + (launch_.exe.empty() ? g_paths.purger : launch_.exe) + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    UniqueHandle token;
    if (!launch_.administrator) {
        token = LimitedUserToken();
        if (!token) return false;
    }
    PROCESS_INFORMATION info = {};
    if (!StartProcess(commandLine, directory, &info, token.get())) return false;
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
    return true;
}

long Purger::ExitCodeWithin(DWORD milliseconds) const {
    if (WaitForSingleObject(process_, milliseconds) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<long>(code);
}

HWND Purger::FindPage(int controlId) const {
    return FindTopLevel(id_, [controlId](HWND window) {
        return IsWindowVisible(window) && ClassName(window) == "#32770" &&
               GetDlgItem(window, controlId) != nullptr;
    });
}

HWND Purger::WaitForPage(int controlId, DWORD milliseconds) const {
    HWND page = nullptr;
    WaitUntil([&] { return (page = FindPage(controlId)) != nullptr; }, milliseconds);
    return page;
}

bool Purger::WaitForPageGone(int controlId, DWORD milliseconds) const {
    return WaitUntil([&] { return FindPage(controlId) == nullptr; }, milliseconds);
}

HWND Purger::FindBox(const std::string& caption) const {
    return FindTopLevel(id_, [&caption](HWND window) {
        return IsWindowVisible(window) && ClassName(window) == "#32770" &&
               Text(window) == caption && GetDlgItem(window, id::kBoxText) != nullptr;
    });
}

HWND Purger::WaitForBox(const std::string& caption, DWORD milliseconds) const {
    HWND box = nullptr;
    WaitUntil([&] { return (box = FindBox(caption)) != nullptr; }, milliseconds);
    return box;
}

HWND Purger::FindWindowOf(const std::string& windowClass, const std::string& title) const {
    return FindTopLevel(id_, [&](HWND window) {
        return ClassName(window) == windowClass && Text(window) == title;
    });
}

HWND Purger::OpenListPage(HWND mode, int radio, int listId) const {
    Click(mode, radio);
    Click(mode, id::kModeNext);
    return WaitForPage(listId);
}

// --- Controls ------------------------------------------------------------------------

std::string Text(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ControlText(HWND page, int controlId) { return Text(GetDlgItem(page, controlId)); }

std::vector<std::string> ListEntries(HWND list) {
    // Wine hands LB_GETTEXT across processes in UTF-16 whatever the caller's
    // character set: ask for that and convert to the ANSI code page the purger uses.
    std::vector<std::string> entries;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t wide[1024] = {};
        if (SendMessageW(list, LB_GETTEXTLEN, i, 0) >= 1024) {
            entries.push_back("<too long>");
            continue;
        }
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide));
        char entry[2048] = {};
        WideCharToMultiByte(CP_ACP, 0, wide, -1, entry, sizeof entry, nullptr, nullptr);
        entries.push_back(entry);
    }
    return entries;
}

int SelectedIndex(HWND list) { return static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0)); }

bool Enabled(HWND page, int controlId) { return IsWindowEnabled(GetDlgItem(page, controlId)) != 0; }

bool Checked(HWND page, int controlId) {
    return SendMessageA(GetDlgItem(page, controlId), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int BarPosition(HWND page) {
    return static_cast<int>(SendMessageA(GetDlgItem(page, id::kProgressBar), WM_USER + 8, 0, 0));
}

void Click(HWND page, int controlId) { SendMessageA(GetDlgItem(page, controlId), BM_CLICK, 0, 0); }

void PostClick(HWND page, int controlId) {
    PostMessageA(GetDlgItem(page, controlId), BM_CLICK, 0, 0);
}

void ClickListEntry(HWND list, int index) {
    const int height = static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
    const int top = static_cast<int>(SendMessageA(list, LB_GETTOPINDEX, 0, 0));
    const LPARAM point = MAKELPARAM(10, (index - top) * height + height / 2);
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(list, WM_LBUTTONUP, 0, point);
}

void Answer(HWND box, int button) {
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
}

void PostClose(HWND page) { PostMessageA(page, WM_SYSCOMMAND, SC_CLOSE, 0); }

void PressControlKey(HWND page, char key) {
    SetForegroundWindow(page);
    WaitUntil([page] { return GetForegroundWindow() == page; }, 2000);
    INPUT inputs[4] = {};
    const WORD keys[4] = {VK_CONTROL, static_cast<WORD>(key), static_cast<WORD>(key), VK_CONTROL};
    for (int i = 0; i < 4; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = keys[i];
        inputs[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
    }
    SendInput(4, inputs, sizeof(INPUT));
}

bool WaitForText(HWND page, int controlId, const std::string& expected, DWORD milliseconds) {
    return WaitUntil([&] { return ControlText(page, controlId) == expected; }, milliseconds);
}

COLORREF ClientPixel(HWND window, int x, int y) {
    POINT point = {x, y};
    ClientToScreen(window, &point);
    std::unique_ptr<HDC__, DcReleaser> screen(GetDC(nullptr), DcReleaser{nullptr});
    return GetPixel(screen.get(), point.x, point.y);
}

void SaveScreenshot(const std::string& name, const std::vector<HWND>& windows) {
    if (g_paths.screenshots.empty() || windows.empty()) return;
    // Let the windows finish painting.
    Sleep(500);
    RECT area = {};
    bool first = true;
    for (HWND window : windows) {
        RECT rect = {};
        if (!GetWindowRect(window, &rect)) continue;
        if (first) {
            area = rect;
            first = false;
        } else {
            UnionRect(&area, &area, &rect);
        }
    }
    const int margin = 8;
    area.left = area.left > margin ? area.left - margin : 0;
    area.top = area.top > margin ? area.top - margin : 0;
    area.right = std::min<LONG>(area.right + margin, GetSystemMetrics(SM_CXSCREEN));
    area.bottom = std::min<LONG>(area.bottom + margin, GetSystemMetrics(SM_CYSCREEN));
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return;

    std::unique_ptr<HDC__, DcReleaser> screen(GetDC(nullptr), DcReleaser{nullptr});
    std::unique_ptr<HDC__, DcDeleter> memory(CreateCompatibleDC(screen.get()));
    std::unique_ptr<void, ObjectDeleter> bitmap(
        CreateCompatibleBitmap(screen.get(), width, height));
    HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());
    BitBlt(memory.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY);
    SelectObject(memory.get(), previous);

    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<char> pixels(stride * static_cast<DWORD>(height));
    GetDIBits(memory.get(), static_cast<HBITMAP>(bitmap.get()), 0, static_cast<UINT>(height),
              pixels.data(), reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(g_paths.screenshots + "\\" + name + ".bmp", std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
}

// --- The machine ---------------------------------------------------------------------

bool ImportImage(const std::string& image) {
    const std::string folder = RepositoryPath(image);
    const std::string registry = folder + "\\registry.reg";
    if (GetFileAttributesA(registry.c_str()) != INVALID_FILE_ATTRIBUTES) {
        PROCESS_INFORMATION info = {};
        if (!StartProcess("C:\\windows\\regedit.exe /S \"" + registry + "\"", "", &info)) {
            return false;
        }
        CloseHandle(info.hThread);
        UniqueHandle process(info.hProcess);
        if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) return false;
    }
    const std::string driveC = folder + "\\drive_c";
    if (GetFileAttributesA(driveC.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return CopyTree(driveC, "C:");
    }
    return true;
}

bool KeyExists(const std::string& machinePath) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, machinePath.c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = content.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(content.substr(start, end - start));
    }
    if (start != content.size()) lines.push_back("<unterminated>" + content.substr(start));
    return lines;
}

long RunPurger(const std::string& arguments, const std::string& directory, const Launch& launch) {
    Purger purger(launch);
    if (!purger.Start(arguments, directory)) return -2;
    return purger.ExitCodeWithin(3 * kPatience);
}

long RunProgram(const std::string& commandLine, const std::string& output) {
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    UniqueHandle file(
        cvp::win32::ValidOrNull(CreateFileA(output.c_str(), GENERIC_WRITE, 0, &inherited,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!file) return -1;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = file.get();
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info = {};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info)) {
        return -1;
    }
    CloseHandle(info.hThread);
    UniqueHandle process(info.hProcess);
    DWORD code = 0;
    if (WaitForSingleObject(process.get(), 3 * kPatience) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.get(), &code)) {
        return -1;
    }
    return static_cast<long>(code);
}

std::string KeyDacl(const std::string& machinePath) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, machinePath.c_str(), 0, READ_CONTROL, &opened) !=
        ERROR_SUCCESS) {
        return "";
    }
    cvp::win32::UniqueKey key(opened);
    char descriptor[4096];
    DWORD size = sizeof descriptor;
    LPSTR text = nullptr;
    if (RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor, &size) !=
            ERROR_SUCCESS ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        return "";
    }
    cvp::win32::UniqueLocalText owner(text);
    return text;
}

std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
}

}  // namespace gui
