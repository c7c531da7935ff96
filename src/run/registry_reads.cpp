#include "run/registry_reads.h"

#include <cstring>

#include "run/text.h"

namespace cvp {
namespace {

struct RootObjectPrefix {
    Root root;
    const char* prefix;
};

// The security calls name registry keys by these words, not by the root handles.
constexpr RootObjectPrefix kRootObjectPrefixes[] = {
    {Root::ClassesRoot, "CLASSES_ROOT\\"}, {Root::CurrentUser, "CURRENT_USER\\"},
    {Root::LocalMachine, "MACHINE\\"},     {Root::Users, "USERS\\"},
    {Root::CurrentConfig, "CURRENT_CONFIG\\"},
};

WalkStep StepFor(Long result) {
    if (result == kErrorSuccess) return WalkStep::Name;
    if (result == kErrorMoreData) return WalkStep::Skip;
    return WalkStep::End;
}

}  // namespace

std::string SecurityObjectName(Root root, std::string_view path) {
    for (const RootObjectPrefix& entry : kRootObjectPrefixes) {
        if (entry.root == root) return std::string(entry.prefix) + std::string(path);
    }
    return std::string(path);
}

bool ParseSecurityObjectName(std::string_view objectName, Root* root, std::string* path) {
    for (const RootObjectPrefix& entry : kRootObjectPrefixes) {
        const size_t length = std::strlen(entry.prefix);
        if (objectName.size() >= length && StartsWithIgnoringCase(objectName.data(), entry.prefix)) {
            *root = entry.root;
            path->assign(objectName.substr(length));
            return true;
        }
    }
    return false;
}

WalkStep NextSubkey(RegistryKey& key, Dword index, char (&name)[kTextSize]) {
    Dword length = kTextSize;
    return StepFor(key.EnumKey(index, name, &length));
}

WalkStep NextValueName(RegistryKey& key, Dword index, char (&name)[kTextSize]) {
    Dword length = kTextSize;
    return StepFor(key.EnumValue(index, name, &length, nullptr, nullptr, nullptr));
}

int ReadRegistryString(Registry& registry, Root root, const char* path, const char* valueName,
                       char* buffer, Dword size) {
    if (path[0] == '\0' || size == 0) return 0;
    std::unique_ptr<RegistryKey> key;
    if (registry.OpenKey(root, path, kKeyAllAccess, &key) != kErrorSuccess) return 0;
    Dword type = 0;
    Dword length = size;
    const Long result =
        key->QueryValue(valueName, &type, reinterpret_cast<unsigned char*>(buffer), &length);
    if (result != kErrorSuccess || (type != kRegSz && type != kRegExpandSz)) return 0;
    // A value stored without its terminator must not be read past its end; one that
    // fills the buffer exactly has no room for it and counts as unreadable.
    if (length == 0 || std::memchr(buffer, '\0', length) == nullptr) {
        if (length >= size) return 0;
        buffer[length] = '\0';
    }
    return 1;
}

int CountSubkeys(Registry& registry, Root root, const char* path) {
    std::unique_ptr<RegistryKey> key;
    if (registry.OpenKey(root, path, kKeyRead, &key) != kErrorSuccess) return 0;
    Dword count = 0;
    if (key->QuerySubkeyCount(&count) != kErrorSuccess) return 0;
    return static_cast<int>(count);
}

int HasSubkey(Registry& registry, Root root, const char* path, const char* name) {
    std::unique_ptr<RegistryKey> key;
    if (registry.OpenKey(root, path, kKeyRead, &key) != kErrorSuccess) return 0;
    int found = 0;
    char subkey[kTextSize];
    WalkStep step;
    for (Dword index = 0; (step = NextSubkey(*key, index, subkey)) != WalkStep::End; ++index) {
        if (step == WalkStep::Name && std::strcmp(subkey, name) == 0) found = 1;
    }
    return found;
}

}  // namespace cvp
