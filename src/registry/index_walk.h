// The index walk every registry walk runs over a key's subkeys or value names, and the
// rules the walks share.
#pragma once

#include <memory>

#include "registry/primitives.h"

namespace cvp {

// What a walk does after looking at one name.
enum class Visit {
    Next,     // go on with the next index
    Removed,  // the name at this index was deleted: the next one has moved into it
    Stop,     // the walk is done
};

inline Visit RemovedIf(int deleted) { return deleted != 0 ? Visit::Removed : Visit::Next; }

// Calls `visit` with the name at each index from 0 until the key has no more.
//
// After a deletion the walk looks at the same index again rather than starting over
// at 0: the registry keeps names in order, so the next name has moved down into it and
// none is skipped, and every name before it was already looked at and passed over.
// The deletions and their order are those of a walk that restarts at 0, but a walk
// stays linear in the key's size instead of reading every foreign name again after
// each of the product's keys. A name whose deletion failed is not tried again: nothing
// the walk deletes can make a refused deletion succeed. A walk always ends: it only
// stays put when the key lost a name.
template <typename Visitor>
void WalkNames(RegistryKey& key, WalkStep (*next)(RegistryKey&, Dword, char (&)[kTextSize]),
               Visitor visit) {
    char name[kTextSize];
    Dword index = 0;
    for (WalkStep step; (step = next(key, index, name)) != WalkStep::End;) {
        const Visit what =
            step == WalkStep::Name ? visit(static_cast<const char*>(name)) : Visit::Next;
        if (what == Visit::Stop) return;
        if (what == Visit::Next) ++index;
    }
}

template <typename Visitor>
void WalkSubkeys(RegistryKey& key, Visitor visit) {
    WalkNames(key, NextSubkey, visit);
}

template <typename Visitor>
void WalkValueNames(RegistryKey& key, Visitor visit) {
    WalkNames(key, NextValueName, visit);
}

// RegOpenKeyExA of the walked key; null when it can't be opened, which ends the walk.
std::unique_ptr<RegistryKey> OpenWalkedKey(Registry& registry, Root root, const char* path,
                                           Dword access = kKeyRead);

// "%s%s\": parent path (ending in a backslash), name, backslash. False when the path
// does not fit 260 characters: a cut path would name another key, so the walk passes
// such a name over.
bool SubkeyPath(char (&path)[kTextSize], const char* parent, const char* name);

// Expert mode removes every matching key; working mode only those of a device that
// Windows runs now, which have a "Control" subkey.
bool ModeAllowsRemoval(RunContext& context, Root root, const char* path);

}  // namespace cvp
