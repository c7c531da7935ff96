// A stand-in filter module for the scenarios: copied into a Wine prefix under the
// name of one of the maker's modules (emProp.ax, wisproxy.ax, ...), it lets the real
// regsvr32 unregister it. Unregistering removes every class identifier whose
// InprocServer32 names this module's own path, as the module's registration made it.
#include <windows.h>
#include <shlwapi.h>

#include <string>
#include <vector>

namespace {

HMODULE g_module = nullptr;

std::string ModulePath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(g_module, path, MAX_PATH);
    return path;
}

std::string ServerOf(HKEY classes, const std::string& clsid) {
    char server[MAX_PATH] = {};
    DWORD size = sizeof server;
    const std::string key = clsid + "\\InprocServer32";
    if (SHGetValueA(classes, key.c_str(), nullptr, nullptr, server, &size) != ERROR_SUCCESS) {
        return "";
    }
    return server;
}

std::vector<std::string> ClassIdsServedBy(HKEY classes, const std::string& module) {
    std::vector<std::string> found;
    char name[MAX_PATH];
    for (DWORD index = 0;; ++index) {
        DWORD length = MAX_PATH;
        const LONG result = RegEnumKeyExA(classes, index, name, &length, nullptr, nullptr,
                                          nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result == ERROR_SUCCESS && lstrcmpiA(ServerOf(classes, name).c_str(), module.c_str()) == 0) {
            found.push_back(name);
        }
    }
    return found;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}

extern "C" HRESULT WINAPI DllRegisterServer() { return S_OK; }

extern "C" HRESULT WINAPI DllUnregisterServer() {
    HKEY classes = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\CLSID", 0, KEY_ALL_ACCESS,
                      &classes) != ERROR_SUCCESS) {
        return S_OK;
    }
    for (const std::string& clsid : ClassIdsServedBy(classes, ModulePath())) {
        SHDeleteKeyA(classes, clsid.c_str());
    }
    RegCloseKey(classes);
    return S_OK;
}
