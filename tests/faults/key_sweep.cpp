// The key-security sweep: lists the DACL of every key under HKLM\SYSTEM and
// HKLM\SOFTWARE, and finds the keys a run has opened to everyone.
//
//   key_sweep dump            one key a line: "HKLM\PATH<TAB>SDDL" (the DACL as
//                             ConvertSecurityDescriptorToStringSecurityDescriptorA
//                             writes it, or "?ERROR" when it can't be read)
//   key_sweep check BEFORE [START]
//                             the same dump of the registry now, and on stderr every
//                             key whose DACL grants Everyone full control when the key
//                             did not have that grant in BEFORE (a dump), and every key
//                             whose DACL differs from the one it had in START (a dump
//                             taken as the run started; BEFORE when not given); exit 1
//                             if there is either
#include <windows.h>

#include <sddl.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/win32/win32_handles.h"

namespace {

using cvp::win32::UniqueKey;
using cvp::win32::UniqueLocal;
using cvp::win32::UniqueLocalText;
using Listing = std::map<std::string, std::string>;

const char* const kSweptTrees[] = {"SYSTEM", "SOFTWARE"};

// Read through the open handle: a walk that opened every key again by its full name
// (GetNamedSecurityInfoA) takes several times as long under Wine.
std::string DaclText(HKEY key) {
    std::vector<BYTE> descriptor(1024);
    DWORD size = static_cast<DWORD>(descriptor.size());
    LONG result = RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor.data(), &size);
    if (result == ERROR_INSUFFICIENT_BUFFER) {
        descriptor.resize(size);
        result = RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor.data(), &size);
    }
    LPSTR text = nullptr;
    if (result == ERROR_SUCCESS &&
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(
            descriptor.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        result = static_cast<LONG>(GetLastError());
    }
    if (result != ERROR_SUCCESS) return "?" + std::to_string(result);
    UniqueLocalText owner(text);
    return text;
}

// Subkey names by index; the walk ends on any error but a name too long, as Wine's
// Perflib\009 answers every index with ERROR_INVALID_HANDLE.
std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        const LONG result =
            RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_SUCCESS) {
            names.emplace_back(name, length);
        } else if (result != ERROR_MORE_DATA) {
            break;
        }
    }
    return names;
}

void Sweep(HKEY parent, const std::string& name, const std::string& path, Listing* listing) {
    HKEY opened = nullptr;
    LONG result =
        RegOpenKeyExA(parent, name.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | READ_CONTROL, &opened);
    // A key that refuses a listing of its subkeys may still show its DACL (its owner
    // may always read it).
    const bool listable = result == ERROR_SUCCESS;
    if (!listable) result = RegOpenKeyExA(parent, name.c_str(), 0, READ_CONTROL, &opened);
    if (result != ERROR_SUCCESS) {
        (*listing)[path] = "?" + std::to_string(result);
        return;
    }
    UniqueKey key(opened);
    (*listing)[path] = DaclText(key.get());
    if (!listable) return;
    for (const std::string& subkey : SubkeyNames(key.get())) {
        Sweep(key.get(), subkey, path + "\\" + subkey, listing);
    }
}

Listing SweepNow() {
    Listing listing;
    for (const char* tree : kSweptTrees) {
        Sweep(HKEY_LOCAL_MACHINE, tree, std::string("HKLM\\") + tree, &listing);
    }
    return listing;
}

bool ReadListing(const char* file, Listing* listing) {
    std::ifstream in(file);
    if (!in) return false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t tab = line.rfind('\t');
        if (tab != std::string::npos) (*listing)[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return true;
}

// Full control on a key: GENERIC_ALL as Wine stores it, or every KEY_ALL_ACCESS right
// as Windows maps it.
bool IsFullControl(ACCESS_MASK mask) {
    return (mask & GENERIC_ALL) != 0 || (mask & KEY_ALL_ACCESS) == KEY_ALL_ACCESS;
}

bool IsEveryone(PSID sid) {
    BYTE world[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof world;
    return CreateWellKnownSid(WinWorldSid, nullptr, world, &size) && EqualSid(sid, world);
}

// Whether an allow entry of the DACL in `sddl` gives Everyone full control; Windows'
// own SDDL reader decodes the rights, so "KA", "GA" and hex masks all count.
bool GrantsEveryoneFullControl(const std::string& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (sddl.empty() || sddl[0] == '?' ||
        !ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        return false;
    }
    UniqueLocal owner(descriptor);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present) {
        return false;
    }
    // A null DACL lets everyone do everything.
    if (dacl == nullptr) return true;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* entry = nullptr;
        if (!GetAce(dacl, index, &entry)) continue;
        auto* allow = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        if (allow->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && IsFullControl(allow->Mask) &&
            IsEveryone(&allow->SidStart)) {
            return true;
        }
    }
    return false;
}

// Written in one piece: a write per line costs a Wine server call each.
bool Print(const Listing& listing) {
    std::string text;
    for (const auto& [path, sddl] : listing) text += path + "\t" + sddl + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0;
}

// Most keys share a handful of DACLs: each is decoded once.
class OpenToEveryone {
  public:
    bool operator()(const std::string& sddl) {
        const auto known = answers_.find(sddl);
        if (known != answers_.end()) return known->second;
        return answers_[sddl] = GrantsEveryoneFullControl(sddl);
    }

  private:
    std::map<std::string, bool> answers_;
};

int OpenedSince(const Listing& before, const Listing& now) {
    OpenToEveryone openToEveryone;
    int opened = 0;
    for (const auto& [path, sddl] : now) {
        if (!openToEveryone(sddl)) continue;
        const auto was = before.find(path);
        const std::string wasSddl = was == before.end() ? "(no key)" : was->second;
        if (openToEveryone(wasSddl)) continue;
        std::fprintf(stderr, "key_sweep: %s is open to Everyone: %s (before: %s)\n",
                     path.c_str(), sddl.c_str(), wasSddl.c_str());
        ++opened;
    }
    return opened;
}

// A key a run leaves must keep its DACL exactly, the protected flag included.
int ChangedSince(const Listing& start, const Listing& now) {
    int changed = 0;
    for (const auto& [path, sddl] : now) {
        const auto was = start.find(path);
        if (was == start.end() || was->second == sddl) continue;
        std::fprintf(stderr, "key_sweep: %s has another DACL: %s (before: %s)\n", path.c_str(),
                     sddl.c_str(), was->second.c_str());
        ++changed;
    }
    return changed;
}

int Check(const char* beforeFile, const char* startFile) {
    const auto read = [](const char* file, Listing* listing) {
        if (ReadListing(file, listing)) return true;
        std::fprintf(stderr, "key_sweep: cannot read %s\n", file);
        return false;
    };
    Listing before;
    Listing start;
    if (!read(beforeFile, &before) || !read(startFile, &start)) return 2;
    const Listing now = SweepNow();
    const int opened = OpenedSince(before, now);
    const int changed = ChangedSince(start, now);
    std::fprintf(stderr,
                 "key_sweep: %d key(s) newly open to Everyone, %d key(s) with another DACL\n",
                 opened, changed);
    if (!Print(now)) return 2;
    return opened == 0 && changed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (argc == 2 && command == "dump") return Print(SweepNow()) ? 0 : 2;
    if ((argc == 3 || argc == 4) && command == "check") {
        return Check(argv[2], argv[argc - 1]);
    }
    std::fprintf(stderr, "usage: key_sweep dump | key_sweep check BEFORE_DUMP [START_DUMP]\n");
    return 2;
}
