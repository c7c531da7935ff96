#include "platform/memory/key_access.h"

#include <string>

namespace cvp::memory {
namespace {

constexpr Dword kMaximumAllowed = 0x02000000;
// KEY_WOW64_64KEY and KEY_WOW64_32KEY pick a view; they are not rights.
constexpr Dword kWow64Flags = 0x0300;

bool TokenHolds(const std::string& sid) {
    return sid == "WD" || sid == "BA" || sid == "BU" || sid == "AU";
}

}  // namespace

Dword MapGenericKeyRights(Dword mask) {
    Dword mapped = mask & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll);
    if (mask & (kGenericRead | kGenericExecute)) mapped |= kKeyRead;
    if (mask & kGenericWrite) mapped |= kKeyWrite;
    if (mask & kGenericAll) mapped |= kKeyAllAccess;
    return mapped;
}

Long CheckKeyAccess(const Dacl& dacl, Dword desired, Dword* granted, bool ownedByAdministrators) {
    desired = MapGenericKeyRights(desired & ~kWow64Flags);
    const bool maximum = (desired & kMaximumAllowed) != 0;
    desired &= ~kMaximumAllowed;
    if (!dacl.present) {
        *granted = maximum ? (desired | kKeyAllAccess) : desired;
        return kErrorSuccess;
    }
    // The owner (Administrators, for keys this machine holds unless a fault gave one
    // away) may always read and change the DACL.
    Dword allowed = ownedByAdministrators ? kReadControl | kWriteDac : 0;
    Dword denied = 0;
    for (const Ace& ace : dacl.aces) {
        if ((ace.flags & kAceInheritOnly) || !TokenHolds(ace.sid)) continue;
        const Dword mask = MapGenericKeyRights(ace.mask);
        if (ace.deny) {
            if (mask & desired & ~allowed) return kErrorAccessDenied;
            denied |= mask & ~allowed;
        } else {
            allowed |= mask & ~denied;
        }
    }
    if ((allowed & desired) != desired) return kErrorAccessDenied;
    *granted = maximum ? (allowed | desired) : desired;
    return kErrorSuccess;
}

Long DeleteKeyTree(RegKey& parent, RegKey& key) {
    Dword granted = 0;
    if (CheckKeyAccess(key.dacl(), kKeyRead, &granted) != kErrorSuccess) return kErrorAccessDenied;
    while (RegKey* child = key.ChildAt(0)) {
        const Long result = DeleteKeyTree(key, *child);
        if (result != kErrorSuccess) return result;
    }
    if (CheckKeyAccess(key.dacl(), kDelete, &granted) != kErrorSuccess) return kErrorAccessDenied;
    parent.RemoveChild(key.name());
    return kErrorSuccess;
}

}  // namespace cvp::memory
