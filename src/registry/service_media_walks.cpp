#include "registry/service_media_walks.h"

#include "registry/index_walk.h"
#include "registry/name_match.h"

namespace cvp {

// The plans name whole services. Matched as a substring, "BT848" would take another
// vendor's "HcwBT848" whenever the maker's own service is gone, and that driver would no
// longer load; the registry itself compares key names without regard to case.
int DeleteServiceKey(RunContext& context, Root root, const char* path, const char* serviceName) {
    // The Services key is opened for full access, the one walk that asks for it.
    std::unique_ptr<RegistryKey> services =
        OpenWalkedKey(context.platform.registry, root, path, kKeyAllAccess);
    if (!services) return 0;
    int result = 0;
    WalkSubkeys(*services, [&](const char* name) {
        char servicePath[kTextSize];
        if (!EqualsIgnoringCase(name, serviceName) || !SubkeyPath(servicePath, path, name)) {
            return Visit::Next;
        }
        result = TakeOverAndDeleteKey(context, root, servicePath);
        return Visit::Stop;
    });
    return result;
}

int DeleteSubkeysContaining(RunContext& context, Root root, const char* path, const char* pattern) {
    std::unique_ptr<RegistryKey> key = OpenWalkedKey(context.platform.registry, root, path);
    if (!key) return 0;
    int result = 0;
    WalkSubkeys(*key, [&](const char* name) {
        char subkeyPath[kTextSize];
        if (!ContainsPattern(name, pattern) || !SubkeyPath(subkeyPath, path, name)) {
            return Visit::Next;
        }
        // Logged only once deleted: the log must not name a key that is still there.
        const int deleted = TakeOverAndDeleteKey(context, root, subkeyPath);
        result |= deleted;
        return RemovedIf(deleted);
    });
    return result;
}

}  // namespace cvp
