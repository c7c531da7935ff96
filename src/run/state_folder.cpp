#include "run/state_folder.h"

#include <set>

#include "platform/image/sddl.h"

namespace cvp {
namespace {

// Everything for the system and the administrators, passed on to all that is made
// inside; protected, so that nothing the Windows directory allows others reaches it.
constexpr const char* kStateFolderSecurity = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// Rights on a file or folder that change what it holds or who may: writing, appending
// (adding files and folders), extended attributes, deleting children, attributes,
// deleting it, its DACL and its owner, and the generic rights that include them.
constexpr Dword kWritingRights = 0x2 | 0x4 | 0x10 | 0x40 | 0x100 | kDelete | kWriteDac |
                                 kWriteOwner | kGenericWrite | kGenericAll;

// The owner in SDDL ("O:BAD:..." gives "BA"), canonical; "" when there is none.
std::string OwnerOf(const std::string& sddl) {
    if (sddl.rfind("O:", 0) != 0) return "";
    // The owner runs to the letter of the next part ("G:" or "D:") or to the end.
    const size_t next = sddl.find(':', 2);
    const size_t end = next == std::string::npos ? sddl.size() : next - 1;
    std::string sid;
    return CanonicalSid(sddl.substr(2, end - 2), &sid) ? sid : "";
}

std::string SecurityOf(Files& files, const std::string& path) {
    std::string sddl;
    return files.ReadFileSecurity(path.c_str(), &sddl) == kErrorSuccess ? sddl : "";
}

// The system, the administrators, the creator of what is made inside (who may write
// there already), and the owner of the Windows directory.
std::set<std::string> TrustedSids(Files& files) {
    std::set<std::string> trusted = {"SY", "BA", "CO"};
    char windows[kTextSize];
    const unsigned length = files.WindowsDirectory(windows, kTextSize);
    if (length > 0 && length < kTextSize) {
        const std::string owner = OwnerOf(SecurityOf(files, windows));
        if (!owner.empty()) trusted.insert(owner);
    }
    return trusted;
}

std::string WhyNotTrusted(const std::string& path, const std::string& sddl,
                          const std::set<std::string>& trusted) {
    Dacl dacl;
    if (sddl.empty() || !ParseDaclSddl(sddl, &dacl)) return path + ": its security can't be read";
    const std::string owner = OwnerOf(sddl);
    if (trusted.count(owner) == 0) {
        return path + " belongs to " + (owner.empty() ? "nobody known" : owner) +
               ", not to the administrators";
    }
    if (!dacl.present) return path + " has no DACL: everyone may write to it";
    // Entries that only pass on count too: they reach what is made inside later.
    for (const Ace& ace : dacl.aces) {
        if (!ace.deny && (ace.mask & kWritingRights) != 0 && trusted.count(ace.sid) == 0) {
            return path + " may be written by " + ace.sid + ", not only by the administrators";
        }
    }
    return "";
}

// Makes `path` when it is missing, then checks it.
std::string MakeAndCheck(Files& files, const std::string& path, const char* sddl,
                         std::string* problem) {
    if (files.GetAttributes(path.c_str()) == kInvalidAttributes &&
        !files.CreateDirectoryAt(path.c_str(), sddl)) {
        *problem = path + " can't be made";
        return "";
    }
    *problem = WhyNotAdministratorsOnly(files, path);
    return problem->empty() ? path : "";
}

}  // namespace

std::string OpenStateFolder(Files& files, const char* name, std::string* problem) {
    char windows[kTextSize];
    const unsigned length = files.WindowsDirectory(windows, kTextSize);
    if (length == 0 || length >= kTextSize) {
        *problem = "the Windows directory is not known";
        return "";
    }
    const std::string state =
        MakeAndCheck(files, std::string(windows) + "\\" + kStateFolderName, kStateFolderSecurity,
                     problem);
    if (state.empty()) return "";
    return MakeAndCheck(files, state + "\\" + name, nullptr, problem);
}

std::string WhyNotAdministratorsOnly(Files& files, const std::string& path) {
    const Dword attributes = files.GetAttributes(path.c_str());
    if (attributes == kInvalidAttributes) return path + " is not there";
    if ((attributes & kAttrDirectory) == 0) return path + " is not a folder";
    if ((attributes & kAttrReparsePoint) != 0) return path + " is a link to another place";
    return WhyNotTrusted(path, SecurityOf(files, path), TrustedSids(files));
}

}  // namespace cvp
