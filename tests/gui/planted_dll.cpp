// A DLL as a limited user would plant it where an elevated purger might load it: when
// anything loads it, it appends its own path to C:\planted.txt. The planting tests
// copy it under the names of the DLLs the purger loads, and give it to a module
// regsvr32 unregisters as a dependency.
#include <windows.h>

#include "platform/win32/win32_handles.h"

extern "C" __declspec(dllexport) int PlantedDllMarker() { return 1; }

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char line[MAX_PATH + 2];
    DWORD length = GetModuleFileNameA(instance, line, MAX_PATH);
    line[length++] = '\r';
    line[length++] = '\n';
    const cvp::win32::UniqueHandle marker(cvp::win32::ValidOrNull(
        CreateFileA("C:\\planted.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)));
    DWORD written = 0;
    if (marker) WriteFile(marker.get(), line, length, &written, nullptr);
    return TRUE;
}
