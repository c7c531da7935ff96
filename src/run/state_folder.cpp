#include "run/state_folder.h"

#include <cstdio>
#include <string>

#include "platform/image/sddl.h"

namespace cvp {
namespace {

// Full control for the system and the administrators, passed on to what the folder
// holds, and nothing taken from the parent.
constexpr char kAdministratorsOnly[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// The rights that change a folder or what it holds: add a file or a subfolder, write
// extended attributes or attributes, delete a child or the folder, change its DACL or
// owner, and the generic rights that include them.
constexpr Dword kChangeRights = 0x0002 | 0x0004 | 0x0010 | 0x0040 | 0x0100 | kDelete | kWriteDac |
                                kWriteOwner | kGenericWrite | kGenericAll;

bool IsTrusted(const std::string& sid, const std::string& processUser) {
    return sid == "SY" || sid == "BA" || (!processUser.empty() && sid == processUser);
}

// Whether only the trusted may change the folder whose owner and DACL `sddl` gives: its
// owner may always rewrite its DACL, and an entry for anyone else with a change right,
// inheritable alone or not, lets them in. A NULL DACL lets everyone in.
bool OnlyTrustedMayChange(const std::string& sddl, const std::string& processUser) {
    std::string owner;
    Dacl dacl;
    if (!ParseSecuritySddl(sddl, &owner, &dacl) || !dacl.present ||
        !IsTrusted(owner, processUser)) {
        return false;
    }
    for (const Ace& ace : dacl.aces) {
        if (!ace.deny && (ace.mask & kChangeRights) != 0 && !IsTrusted(ace.sid, processUser)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool PrepareAdministratorsFolder(RunContext& context, const char* path) {
    Files& files = context.platform.files;
    files.CreateDirectoryAt(path, kAdministratorsOnly);
    std::string security;
    std::string user;
    std::string processUser;
    if (files.ReadFileSecurity(path, &security) != kErrorSuccess ||
        (files.GetAttributes(path) & (kAttrDirectory | kAttrReparsePoint)) != kAttrDirectory) {
        return false;
    }
    if (context.platform.system.ProcessUser(&user)) CanonicalSid(user, &processUser);
    return OnlyTrustedMayChange(security, processUser);
}

bool PrepareStateFolder(RunContext& context, char (&folder)[kTextSize]) {
    char windows[kTextSize];
    const unsigned length = context.platform.files.WindowsDirectory(windows, kTextSize);
    if (length == 0 || length >= kTextSize) return false;
    const int written = std::snprintf(folder, kTextSize, "%s\\CVPurger", windows);
    return written > 0 && written < kTextSize && PrepareAdministratorsFolder(context, folder);
}

}  // namespace cvp
