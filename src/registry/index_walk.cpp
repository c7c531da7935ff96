#include "registry/index_walk.h"

#include <cstdio>

namespace cvp {

std::unique_ptr<RegistryKey> OpenWalkedKey(Registry& registry, Root root, const char* path,
                                           Dword access) {
    std::unique_ptr<RegistryKey> key;
    if (registry.OpenKey(root, path, access, &key) != kErrorSuccess) key.reset();
    return key;
}

bool SubkeyPath(char (&path)[kTextSize], const char* parent, const char* name) {
    const int length = std::snprintf(path, kTextSize, "%s%s\\", parent, name);
    return length >= 0 && length < kTextSize;
}

bool ModeAllowsRemoval(RunContext& context, Root root, const char* path) {
    return context.state.expertMode == 1 ||
           HasSubkey(context.platform.registry, root, path, "Control") == 1;
}

}  // namespace cvp
