// DLLs loaded at run time from the system directory, and calls looked up at run time.
//
// The program runs as an administrator, often from a folder a limited user can write
// to (Downloads, a USB stick). Windows looks for a DLL beside the executable and in
// the current directory before the system directory, except for its KnownDLLs, so
// CVPurger.exe imports only KnownDLLs (tools/check_imports.sh) and loads every other
// DLL here, by full path.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace cvp::win32 {

struct LibraryFreer {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using UniqueLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer>;

// The address of `name` in `module` as a `Function`; null when it is missing.
template <typename Function>
Function FindFunction(HMODULE module, const char* name) {
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// A function of kernel32 that older Windows may lack.
template <typename Function>
Function FindKernelFunction(const char* name) {
    return FindFunction<Function>(GetModuleHandleA("kernel32.dll"), name);
}

// Takes the executable's folder and the current directory out of the DLL search
// before anything is loaded at run time: only the system directory where Windows
// offers it (SetDefaultDllDirectories: Windows 8, or Vista and 7 with KB2533623),
// else at least no current directory (SetDllDirectoryA: XP SP1 and later).
void RestrictLibrarySearch();

// A DLL of the system directory, loaded by its full path; the DLLs it imports are
// looked for in the system directory too. Freed with the object.
class SystemLibrary {
  public:
    explicit SystemLibrary(const char* fileName);

    // Null when the DLL or the function is missing.
    template <typename Function>
    Function Find(const char* name) const {
        return FindFunction<Function>(module_.get(), name);
    }

  private:
    UniqueLibrary module_;
};

}  // namespace cvp::win32
