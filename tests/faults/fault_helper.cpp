// Puts faults in the purger's way inside a Wine prefix:
//
//   fault_helper set-security KEY SDDL
//       writes the owner ("O:") and DACL ("D:") parts of SDDL to the registry key
//       KEY below HKEY_LOCAL_MACHINE ("SYSTEM\..."), whole, protected flag included
//       (RegSetKeySecurity; Wine's SetNamedSecurityInfoA drops that flag)
//   fault_helper run [--hold FILE SHARING]... [--kill-after MS | --kill-at-size FILE BYTES]
//                    -- COMMAND_LINE
//       opens each existing FILE (SHARING "none": nobody else may open it;
//       "read-write": others may read and write but not delete), starts COMMAND_LINE
//       in the current directory, and waits for it (at most a minute), or ends it with
//       TerminateProcess after MS milliseconds or as soon as FILE has grown to BYTES;
//       the held files stay open until then. Prints "exit CODE MS", "killed MS" or
//       "hung MS" (MS since the start).
#include <windows.h>
// windows.h first: sddl.h relies on its types.
#include <sddl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/win32_handles.h"

namespace {

using cvp::win32::UniqueHandle;
using cvp::win32::UniqueKey;
using cvp::win32::UniqueLocal;
using cvp::win32::ValidOrNull;

constexpr DWORD kRunLimitMs = 60000;

int Usage() {
    std::fprintf(stderr,
                 "usage: fault_helper set-security KEY SDDL\n"
                 "       fault_helper run [--hold FILE none|read-write]... "
                 "[--kill-after MS | --kill-at-size FILE BYTES] -- COMMAND_LINE\n");
    return 2;
}

int SetSecurity(const char* path, const char* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        std::fprintf(stderr, "fault_helper: bad SDDL %s\n", sddl);
        return 2;
    }
    UniqueLocal owner(descriptor);
    PSID ownerSid = nullptr;
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorOwner(descriptor, &ownerSid, &defaulted);
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    const SECURITY_INFORMATION parts = (ownerSid ? OWNER_SECURITY_INFORMATION : 0) |
                                       (present ? DACL_SECURITY_INFORMATION : 0);
    // The owner may be given back by one who holds no more than WRITE_OWNER.
    const REGSAM access = (ownerSid ? WRITE_OWNER : 0) | (present ? WRITE_DAC : 0);
    HKEY opened = nullptr;
    LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &opened);
    if (result == ERROR_SUCCESS) {
        UniqueKey key(opened);
        result = RegSetKeySecurity(key.get(), parts, descriptor);
    }
    if (result != ERROR_SUCCESS) {
        std::fprintf(stderr, "fault_helper: RegSetKeySecurity(%s) failed: %ld\n", path, result);
        return 1;
    }
    return 0;
}

struct RunRequest {
    std::vector<UniqueHandle> held;
    DWORD killAfterMs = INFINITE;
    std::string watchedFile;
    ULONGLONG killAtSize = 0;
    std::string commandLine;

    bool Kills() const { return killAfterMs != INFINITE || !watchedFile.empty(); }
};

bool Hold(const char* file, const std::string& sharing, RunRequest* request) {
    DWORD share = 0;
    if (sharing == "read-write") {
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    } else if (sharing != "none") {
        return false;
    }
    HANDLE handle = ValidOrNull(CreateFileA(file, GENERIC_READ | GENERIC_WRITE, share, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle == nullptr) {
        std::fprintf(stderr, "fault_helper: cannot hold %s: %lu\n", file, GetLastError());
        return false;
    }
    request->held.emplace_back(handle);
    return true;
}

bool ParseRun(int argc, char** argv, RunRequest* request) {
    for (int index = 2; index < argc; ++index) {
        const std::string option = argv[index];
        if (option == "--hold" && index + 2 < argc) {
            if (!Hold(argv[index + 1], argv[index + 2], request)) return false;
            index += 2;
        } else if (option == "--kill-after" && index + 1 < argc) {
            request->killAfterMs = std::strtoul(argv[++index], nullptr, 10);
        } else if (option == "--kill-at-size" && index + 2 < argc) {
            request->watchedFile = argv[index + 1];
            request->killAtSize = std::strtoull(argv[index + 2], nullptr, 10);
            index += 2;
        } else if (option == "--" && index + 2 == argc) {
            request->commandLine = argv[index + 1];
            return true;
        } else {
            return false;
        }
    }
    return false;
}

// Read without opening the file, so that the run's own opens of it meet no sharing
// conflict.
ULONGLONG FileSize(const std::string& file) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool KillDue(const RunRequest& request, DWORD elapsed) {
    return elapsed >= request.killAfterMs ||
           (!request.watchedFile.empty() && FileSize(request.watchedFile) >= request.killAtSize);
}

int Run(RunRequest& request) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    const DWORD start = GetTickCount();
    if (!CreateProcessA(nullptr, request.commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &started)) {
        std::fprintf(stderr, "fault_helper: cannot start %s: %lu\n", request.commandLine.c_str(),
                     GetLastError());
        return 2;
    }
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    // A kill is looked for every millisecond: a file's growth has no event to wait on.
    const DWORD poll = request.Kills() ? 1 : kRunLimitMs;
    while (WaitForSingleObject(process.get(), poll) == WAIT_TIMEOUT) {
        const DWORD elapsed = GetTickCount() - start;
        const bool kill = request.Kills() && KillDue(request, elapsed);
        if (!kill && elapsed < kRunLimitMs) continue;
        // A hard end, as Task Manager's "End process" or a power cut gives: the purger
        // gets no chance to tidy up.
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), INFINITE);
        std::printf("%s %lu\n", kill ? "killed" : "hung", GetTickCount() - start);
        return kill ? 0 : 3;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    std::printf("exit %lu %lu\n", code, GetTickCount() - start);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "set-security" && argc == 4) return SetSecurity(argv[2], argv[3]);
    if (command == "run") {
        RunRequest request;
        if (!ParseRun(argc, argv, &request)) return Usage();
        return Run(request);
    }
    return Usage();
}
