// Owners for the Win32 handles the platform hands out, so that no path through the
// pass-throughs can leak one.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

#include "platform/types.h"

namespace cvp::win32 {

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// Kernel object handles: files, processes, threads.
struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct FindCloser {
    void operator()(HANDLE handle) const { FindClose(handle); }
};
using UniqueFind = std::unique_ptr<void, FindCloser>;

// Security descriptors and SDDL strings that advapi32 allocates with LocalAlloc.
struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};
using UniqueLocal = std::unique_ptr<void, LocalFreer>;
using UniqueLocalText = std::unique_ptr<char, LocalFreer>;

// SIDs that AllocateAndInitializeSid made.
struct SidFreer {
    void operator()(PSID sid) const { FreeSid(sid); }
};
using UniqueSid = std::unique_ptr<void, SidFreer>;

// INVALID_HANDLE_VALUE is what CreateFileA and FindFirstFileA fail with; an owner
// holds null instead so that "no handle" has one spelling.
inline HANDLE ValidOrNull(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

// The predefined key a seam root stands for.
inline HKEY RootKey(Root root) {
    switch (root) {
        case Root::ClassesRoot: return HKEY_CLASSES_ROOT;
        case Root::CurrentUser: return HKEY_CURRENT_USER;
        case Root::LocalMachine: return HKEY_LOCAL_MACHINE;
        case Root::Users: return HKEY_USERS;
        case Root::CurrentConfig: return HKEY_CURRENT_CONFIG;
    }
    return HKEY_LOCAL_MACHINE;
}

}  // namespace cvp::win32
