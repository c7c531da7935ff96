// Registry operations every walk and scan builds on: key take-over and deletion,
// value deletion, string reads, subkey queries, and the control sets walked.
#pragma once

#include <array>
#include <string>

#include "run/run_context.h"

namespace cvp {

// The control sets a scan or the registry plan visits, under HKEY_LOCAL_MACHINE.
// ControlSet002 is never visited.
inline constexpr std::array<const char*, 3> ControlSetRoots = {
    "SYSTEM\\CurrentControlSet\\", "SYSTEM\\ControlSet001\\", "SYSTEM\\ControlSet003\\"};

// Takes over a key's access rights for the span of one deletion: Grant replaces the
// DACL with one entry giving the Administrators group (by its SID, whatever the
// system's language calls it) full control, inherited by subkeys; Release puts the
// original DACL back when the key is still there, so a key that could not be deleted
// is not left open.
class KeyAccessTakeover {
public:
    explicit KeyAccessTakeover(Registry& registry) : registry_(registry) {}
    ~KeyAccessTakeover() { Release(); }
    KeyAccessTakeover(const KeyAccessTakeover&) = delete;
    KeyAccessTakeover& operator=(const KeyAccessTakeover&) = delete;

    // 1 when the new DACL was written.
    int Grant(Root root, const char* path);
    void Release();

private:
    Registry& registry_;
    Root root_ = Root::LocalMachine;
    std::string path_;
    std::string objectName_;
    std::string originalDacl_;
    bool granted_ = false;
};

// Takes the key over, deletes it with its subtree and reports it. 1 when deleted.
int TakeOverAndDeleteKey(RunContext& context, Root root, const char* path);

// Takes the key over, deletes one of its values and reports "path value". 1 when
// deleted.
int TakeOverAndDeleteValue(RunContext& context, Root root, const char* path, const char* valueName);

// 1 when the key could be opened for full access and was deleted with its subtree.
int DeleteRegistryKey(Registry& registry, Root root, const char* path);

// 1 when the value was deleted.
int DeleteRegistryValue(Registry& registry, Root root, const char* path, const char* valueName);

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
