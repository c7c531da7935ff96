// The key-security sweep: every key's DACL before and after a run, and the keys the run
// left open to everyone. A take-over replaces a key's DACL for the span of its deletion;
// it grants the administrators full control, and were it ever to grant everyone, a key
// that outlived the run with that entry would be open to every account on the machine.
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/image/sddl.h"
#include "platform/memory/key_access.h"
#include "platform/memory/memory_machine.h"

namespace cvp::test {

// Key path -> DACL in SDDL, for every key the machine holds.
using KeyDacls = std::map<std::string, std::string>;

inline KeyDacls ReadKeyDacls(const MemoryMachine& machine) {
    return machine.DumpKeyDacls(
        {"HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_USER", "HKEY_CURRENT_CONFIG"});
}

// Whether a process whose token holds nothing but Everyone (S-1-1-0) may do everything
// to the key: AccessCheck over the entries in order, generic rights mapped as for keys
// (GA as Wine stores it, KA, or the rights one by one). A NULL DACL grants everything.
// Entries that only pass on to subkeys don't apply to the key itself; the subkeys that
// inherit them are swept on their own.
inline bool OpenToEveryone(const std::string& sddl) {
    Dacl dacl;
    if (!ParseDaclSddl(sddl, &dacl)) return false;
    if (!dacl.present) return true;
    Dword allowed = 0;
    Dword denied = 0;
    for (const Ace& ace : dacl.aces) {
        if ((ace.flags & kAceInheritOnly) != 0 || ace.sid != "WD") continue;
        const Dword rights = memory::MapGenericKeyRights(ace.mask);
        if (ace.deny) {
            denied |= rights & ~allowed;
        } else {
            allowed |= rights & ~denied;
        }
    }
    return (allowed & kKeyAllAccess) == kKeyAllAccess;
}

inline bool HasEntry(const Dacl& dacl, const Ace& ace) {
    return std::any_of(dacl.aces.begin(), dacl.aces.end(), [&](const Ace& present) {
        return present.deny == ace.deny && present.flags == ace.flags && present.mask == ace.mask &&
               present.sid == ace.sid;
    });
}

// Whether `now` lacks an entry of `was`, or the protection `was` had: a DACL replaced
// rather than put back. (A Release passes a key's inheritable entries on to its subkeys
// again; keys made here carry their defaults explicitly, so that may add entries to
// them, which takes nothing away.)
inline bool Weakens(const std::string& was, const std::string& now) {
    Dacl before;
    Dacl after;
    if (!ParseDaclSddl(was, &before) || !ParseDaclSddl(now, &after)) return was != now;
    if ((before.control & kDaclProtected) != 0 && (after.control & kDaclProtected) == 0) {
        return true;
    }
    return std::any_of(before.aces.begin(), before.aces.end(),
                       [&](const Ace& ace) { return !HasEntry(after, ace); });
}

struct OpenedKey {
    std::string path;
    std::string before;  // "" for a key the run made
    std::string after;
};

// The keys open to everyone in `after` that were not in `before`.
inline std::vector<OpenedKey> KeysOpenedToEveryone(const KeyDacls& before, const KeyDacls& after) {
    std::vector<OpenedKey> opened;
    for (const auto& [path, sddl] : after) {
        if (!OpenToEveryone(sddl)) continue;
        const auto was = before.find(path);
        if (was != before.end() && OpenToEveryone(was->second)) continue;
        opened.push_back({path, was == before.end() ? "" : was->second, sddl});
    }
    return opened;
}

// The DACLs a machine had before a run, to sweep it against afterwards.
class KeySecuritySweep {
  public:
    explicit KeySecuritySweep(KeyDacls before) : before_(std::move(before)) {}
    std::vector<OpenedKey> OpenedSince(const MemoryMachine& machine) const {
        return KeysOpenedToEveryone(before_, ReadKeyDacls(machine));
    }
    // The keys still there whose DACL the run weakened.
    std::vector<OpenedKey> WeakenedSince(const MemoryMachine& machine) const {
        std::vector<OpenedKey> weakened;
        for (const auto& [path, sddl] : ReadKeyDacls(machine)) {
            const auto was = before_.find(path);
            if (was != before_.end() && Weakens(was->second, sddl)) {
                weakened.push_back({path, was->second, sddl});
            }
        }
        return weakened;
    }

  private:
    KeyDacls before_;
};

// One line a key, "" for none.
inline std::string Describe(const std::vector<OpenedKey>& opened) {
    std::string text;
    for (const OpenedKey& key : opened) {
        text += "\n  " + key.path + "  " + (key.before.empty() ? "(new key)" : key.before) +
                " -> " + key.after;
    }
    return text;
}

}  // namespace cvp::test
