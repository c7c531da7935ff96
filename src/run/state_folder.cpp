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

// Who else than the trusted may change the folder whose owner and DACL `sddl` gives,
// "" when nobody: its owner may always rewrite its DACL, and an entry for anyone else
// with a change right, inheritable alone or not, lets them in. A NULL DACL lets
// everyone in.
std::string WhoElseMayChange(const std::string& sddl, const std::string& processUser) {
    std::string owner;
    Dacl dacl;
    if (!ParseSecuritySddl(sddl, &owner, &dacl)) return "its security can't be read";
    if (!dacl.present) return "it has no DACL, so everyone may write to it";
    if (!IsTrusted(owner, processUser)) {
        return "it belongs to " + owner + ", not to the administrators";
    }
    for (const Ace& ace : dacl.aces) {
        if (!ace.deny && (ace.mask & kChangeRights) != 0 && !IsTrusted(ace.sid, processUser)) {
            return "it may be written by " + ace.sid + ", not only by the administrators";
        }
    }
    return "";
}

}  // namespace

std::string WhyNotAdministratorsOnly(Platform& platform, const std::string& path) {
    Files& files = platform.files;
    const Dword attributes = files.GetAttributes(path.c_str());
    if (attributes == kInvalidAttributes) return path + " is not there";
    if ((attributes & (kAttrDirectory | kAttrReparsePoint)) != kAttrDirectory) {
        return path + " is a file or a link, not a folder";
    }
    std::string security;
    if (files.ReadFileSecurity(path.c_str(), &security) != kErrorSuccess) {
        return path + ": its security can't be read";
    }
    std::string user;
    std::string processUser;
    if (platform.system.ProcessUser(&user)) CanonicalSid(user, &processUser);
    const std::string why = WhoElseMayChange(security, processUser);
    return why.empty() ? "" : path + ": " + why;
}

std::string PrepareAdministratorsFolder(Platform& platform, const std::string& path) {
    platform.files.CreateDirectoryAt(path.c_str(), kAdministratorsOnly);
    return WhyNotAdministratorsOnly(platform, path);
}

bool PrepareStateFolder(RunContext& context, char (&folder)[kTextSize]) {
    char windows[kTextSize];
    const unsigned length = context.platform.files.WindowsDirectory(windows, kTextSize);
    if (length == 0 || length >= kTextSize) return false;
    const int written = std::snprintf(folder, kTextSize, "%s\\%s", windows, kStateFolderName);
    return written > 0 && written < kTextSize &&
           PrepareAdministratorsFolder(context.platform, folder).empty();
}

}  // namespace cvp
