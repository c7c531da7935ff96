#include "registry/enum_walks.h"

#include <algorithm>
#include <cstring>

#include "detect/card_models.h"
#include "registry/index_walk.h"
#include "registry/name_match.h"

namespace cvp {
namespace {

bool DeviceKeyMatches(const RunState& state, const char* name, const char* pattern) {
    // USB key names are written Vid_0eb1&Pid_6668; the patterns are upper case.
    if (state.usbFamily == 1) return UpperCaseContains(name, pattern);
    return SubsystemFieldMatch(state, state.family, name);
}

// The path of the subkey named exactly `name` (case-sensitive); false when there is none.
bool FindExactSubkey(Registry& registry, Root root, const char* path, const char* name,
                     char (&subkeyPath)[kTextSize]) {
    std::unique_ptr<RegistryKey> key = OpenWalkedKey(registry, root, path);
    if (!key) return false;
    bool found = false;
    WalkSubkeys(*key, [&](const char* subkey) {
        if (std::strcmp(subkey, name) != 0) return Visit::Next;
        found = SubkeyPath(subkeyPath, path, subkey);
        return Visit::Stop;
    });
    return found;
}

int DeleteStreamInstances(RunContext& context, Root root, const char* devicePath) {
    Registry& registry = context.platform.registry;
    std::unique_ptr<RegistryKey> device = OpenWalkedKey(registry, root, devicePath);
    if (!device) return 0;
    int result = 0;
    // A device key without instances is what a run stopped inside the deletion of the
    // device key (the subtree goes first, the key last) leaves: it goes as if with its
    // last instance, or no later run would ever take it.
    bool lastInstance = CountSubkeys(registry, root, devicePath) == 0;
    WalkSubkeys(*device, [&](const char* name) {
        char instancePath[kTextSize];
        if (!SubkeyPath(instancePath, devicePath, name) ||
            !ModeAllowsRemoval(context, root, instancePath)) {
            return Visit::Next;
        }
        if (CountSubkeys(registry, root, devicePath) < 2) {
            lastInstance = true;
            return Visit::Stop;
        }
        result = TakeOverAndDeleteKey(context, root, instancePath);
        return RemovedIf(result);
    });
    if (!lastInstance) return result;
    device.reset();  // the last instance takes its device key with it
    return TakeOverAndDeleteKey(context, root, devicePath);
}

}  // namespace

int DeleteEnumDeviceKeys(RunContext& context, Root root, const char* busPath, const char* pattern) {
    std::unique_ptr<RegistryKey> bus = OpenWalkedKey(context.platform.registry, root, busPath);
    if (!bus) return 0;
    int result = 0;
    WalkSubkeys(*bus, [&](const char* name) {
        char devicePath[kTextSize];
        if (!DeviceKeyMatches(context.state, name, pattern) ||
            !SubkeyPath(devicePath, busPath, name)) {
            return Visit::Next;
        }
        result = TakeOverAndDeleteKey(context, root, devicePath);
        return RemovedIf(result);
    });
    return result;
}

int DeleteStreamDeviceKeys(RunContext& context, Root root, const char* streamPath,
                           const char* deviceName) {
    char devicePath[kTextSize];
    if (!FindExactSubkey(context.platform.registry, root, streamPath, deviceName, devicePath)) {
        return 0;
    }
    if (context.state.family == FamilyCx88Encoder) {
        return TakeOverAndDeleteKey(context, root, devicePath);
    }
    return DeleteStreamInstances(context, root, devicePath);
}

ValueNames::ValueNames(Registry& registry, Root root, const char* path) {
    std::unique_ptr<RegistryKey> key = OpenWalkedKey(registry, root, path);
    if (!key) return;
    WalkValueNames(*key, [&](const char* name) {
        names_.emplace_back(name);
        return Visit::Next;
    });
}

std::vector<std::string>::const_iterator ValueNames::FirstContaining(const char* pattern) const {
    return std::find_if(names_.begin(), names_.end(), [&](const std::string& name) {
        return ContainsPattern(name.c_str(), pattern);
    });
}

int DeleteFirstValueContaining(RunContext& context, Root root, const char* path,
                               ValueNames& names, const char* pattern) {
    const auto name = names.FirstContaining(pattern);
    if (name == names.end()) return 0;
    // Counted and logged only when the value is really gone. One that stays is still
    // the first to hold the pattern, as a new walk of the key would find it.
    if (TakeOverAndDeleteValue(context, root, path, name->c_str()) == 0) return 0;
    names.Forget(name);
    return 1;
}

}  // namespace cvp
