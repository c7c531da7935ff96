#include "platform/win32/system_libraries.h"

#include <cstdio>

namespace cvp::win32 {
namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32, newer than the Windows 2000 headers.
constexpr DWORD kSearchSystem32 = 0x00000800;

using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryCall = BOOL(WINAPI*)(LPCSTR);

// How a DLL loaded by full path finds its own imports: with the default directories
// set, they are the system directory alone; else the DLL's own folder (the system
// directory) comes first in place of the executable's.
DWORD g_loadFlags = LOAD_WITH_ALTERED_SEARCH_PATH;

}  // namespace

void RestrictLibrarySearch() {
    const auto setDefaultDirectories =
        FindKernelFunction<SetDefaultDllDirectoriesCall>("SetDefaultDllDirectories");
    if (setDefaultDirectories != nullptr && setDefaultDirectories(kSearchSystem32)) {
        g_loadFlags = 0;
        return;
    }
    // XP SP1 and later: at least no current directory. Windows 2000 has neither call;
    // there a DLL loaded by full path still finds its own imports in its own folder,
    // the system directory, first.
    const auto setDllDirectory = FindKernelFunction<SetDllDirectoryCall>("SetDllDirectoryA");
    if (setDllDirectory != nullptr) setDllDirectory("");
}

SystemLibrary::SystemLibrary(const char* fileName) {
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    if (std::snprintf(path + length, MAX_PATH - length, "\\%s", fileName) >=
        static_cast<int>(MAX_PATH - length)) {
        return;
    }
    module_.reset(LoadLibraryExA(path, nullptr, g_loadFlags));
}

}  // namespace cvp::win32
