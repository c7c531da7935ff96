// Registry reads that detection and the registry walks share: the control sets they
// visit, the index-walk step, string values and subkey queries.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace cvp {

// The control sets a scan or the registry plan visits, under HKEY_LOCAL_MACHINE.
// ControlSet002 is never visited.
inline constexpr std::array<const char*, 3> ControlSetRoots = {
    "SYSTEM\\CurrentControlSet\\", "SYSTEM\\ControlSet001\\", "SYSTEM\\ControlSet003\\"};

// A key as the security calls name it: "MACHINE\SYSTEM\..." for HKEY_LOCAL_MACHINE,
// "CLASSES_ROOT\..." for HKEY_CLASSES_ROOT, and so on.
std::string SecurityObjectName(Root root, std::string_view path);
// The other way round; false for a name under no root the security calls know.
bool ParseSecurityObjectName(std::string_view objectName, Root* root, std::string* path);

// One step of an index walk over a key's subkeys or value names.
enum class WalkStep {
    Name,  // `name` holds the entry at this index
    Skip,  // the entry's name does not fit 260 characters: go on with the next index
    End,   // no more entries, or the key can no longer be read (deleted, denied)
};

// RegEnumKeyExA / RegEnumValueA into a 260-character buffer. Any failure other than a
// name too long ends the walk: a key that fails at every index (one deleted while
// open) must not keep a walk going for ever.
WalkStep NextSubkey(RegistryKey& key, Dword index, char (&name)[kTextSize]);
WalkStep NextValueName(RegistryKey& key, Dword index, char (&name)[kTextSize]);

// 1 when the value exists and is a string (REG_SZ, or REG_EXPAND_SZ unexpanded) that
// fits `buffer` of `size` characters with its terminator. The key is opened for full
// access, so a key that may be read but not changed yields 0.
int ReadRegistryString(Registry& registry, Root root, const char* path, const char* valueName,
                       char* buffer, Dword size);

// Number of direct subkeys; 0 when the key can't be opened.
int CountSubkeys(Registry& registry, Root root, const char* path);

// 1 when a direct subkey is named exactly `name` (case-sensitive).
int HasSubkey(Registry& registry, Root root, const char* path, const char* name);

}  // namespace cvp
