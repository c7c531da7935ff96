#include "registry/enum_walks.h"

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
    bool lastInstance = false;
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
        return RestartIf(result);
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
        return RestartIf(result);
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

int DeleteFirstValueContaining(RunContext& context, Root root, const char* path,
                               const char* pattern) {
    std::unique_ptr<RegistryKey> key = OpenWalkedKey(context.platform.registry, root, path);
    if (!key) return 0;
    int result = 0;
    WalkValueNames(*key, [&](const char* name) {
        if (!ContainsPattern(name, pattern)) return Visit::Next;
        // Counted and logged only when the value is really gone.
        result = TakeOverAndDeleteValue(context, root, path, name);
        return Visit::Stop;
    });
    return result;
}

}  // namespace cvp
