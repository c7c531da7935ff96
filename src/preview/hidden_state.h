// What the preview's view of the machine has removed: keys (with their subtrees), values,
// files and folders, key DACLs and file attributes it has "written". Names are compared
// as Windows compares them, without regard to ASCII case.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/types.h"
#include "preview/preview_overlay.h"

namespace cvp {

// "hkey_local_machine\system\x": a key as the view tells keys apart; HKEY_CLASSES_ROOT is
// HKLM\SOFTWARE\Classes, as the machine's own keys are.
std::string KeyIdentity(Root root, std::string_view path);

// "c:\windows\inf\oem1.inf": a file or folder, without a trailing backslash.
std::string FileIdentity(std::string_view path);

struct PreviewOverlay::Hidden {
    // A key's identity in this view: below the control set CurrentControlSet is a link to
    // (Windows), the same key by its CurrentControlSet name.
    std::string Key(Root root, std::string_view path) const;
    // `target` as ReadKeyLink names it: "\REGISTRY\MACHINE\SYSTEM\ControlSet001".
    void LinkCurrentControlSet(const std::string& target);

    // One removal of an entry of a key: a subkey or a value. Open keys read these to
    // keep their enumeration in step, so that a walk sees what the machine would show.
    struct Event {
        std::string parent;  // the key's identity
        std::string name;    // lower-case
        bool value = false;
    };

    std::unordered_set<std::string> keys;    // removed keys; all below them are gone too
    std::unordered_set<std::string> values;  // key identity, NUL, lower-case name
    std::unordered_map<std::string, Dword> removedSubkeys;  // per key: its subkeys removed
    std::unordered_set<std::string> keysWithRemovedValues;
    std::vector<Event> events;
    std::unordered_map<std::string, std::string> dacls;  // key identity -> SDDL written

    std::string linkedSet;  // the identity CurrentControlSet leads to; "" without a link

    std::unordered_set<std::string> files;  // removed files and folders
    std::unordered_map<std::string, Dword> attributes;

    bool KeyGone(const std::string& key) const;
    bool SubkeyGone(const std::string& key, std::string_view name) const;
    bool ValueGone(const std::string& key, std::string_view name) const;
    // The key or a key above it had its DACL written in the view.
    bool TakenOver(const std::string& key) const;
    void RemoveKey(const std::string& key);
    void RemoveValue(const std::string& key, std::string_view name);

    bool FileGone(const std::string& file) const;
    std::optional<Dword> WrittenAttributes(const std::string& file) const;
};

}  // namespace cvp
