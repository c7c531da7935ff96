// A filter module that needs planted.dll, which is not in the system directory: as a
// module whose dependency the run has just deleted. regsvr32 finds it only where it
// looks beyond the system directories, its current directory among them.
#include <windows.h>

extern "C" __declspec(dllimport) int PlantedDllMarker();

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return PlantedDllMarker() == 1 ? S_OK : E_FAIL;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() { return S_OK; }
