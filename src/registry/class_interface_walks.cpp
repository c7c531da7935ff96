#include "registry/class_interface_walks.h"

#include <cstring>

#include "detect/card_models.h"
#include "registry/index_walk.h"
#include "registry/name_match.h"
#include "run/text.h"

namespace cvp {
namespace {

// An interface class that goes whole as soon as it has an interface.
constexpr const char* kWholeClassRemoved = "{19689BF6-C384-48FD-AD51-90E58C79F70B}";

// Software devices of the encoder card's drivers: in expert mode with byModel 1 a
// pattern naming one of them needs no card model test.
constexpr const char* kEncoderDeviceNames[] = {
    "vsbbtune.vsntsc",      "vsbbtune.vspal",  "vsbbtune.vsntscj",
    "vsbbxbar.vscnxt",      "vsxbar.xbar",     "vstuner.ntsc",
    "vstuner.ntscj",        "vstuner.pal",     "cxtune.VEN_14F1.PhilipsMK3",
    "cx88xbar.VEN_14F1.BB", "VSBBTUNE.VSNTSC", "VSBBTUNE.VSPAL",
    "VSBBTUNE.VSNTSCJ",     "VSBBXBAR.VSCNXT",
};

constexpr const char* kEmpiaAudioName = "USB EMP Audio Device";

bool NamesEncoderDevice(const char* pattern) {
    for (const char* device : kEncoderDeviceNames) {
        if (std::strstr(pattern, device) != nullptr) return true;
    }
    return false;
}

// A USB interface link begins "##?#USB#" and the stick's ID follows. A link too short
// to hold that part does not match: nothing is read past its end. An empty ID matches
// nothing, or a stick that recorded none would take every USB interface with it.
bool UsbLinkMatches(const char* link, const char* pattern) {
    constexpr std::size_t kBusPart = 8;
    return pattern[0] != '\0' && std::strlen(link) >= kBusPart &&
           StartsWithIgnoringCase(link + kBusPart, pattern);
}

bool CardLinkMatches(const RunState& state, const char* link, const char* pattern, int byModel) {
    char upperLink[kTextSize];
    char upperPattern[kTextSize];
    CopyUpperCase(upperLink, link);
    CopyUpperCase(upperPattern, pattern);
    if (byModel == kByModel && state.expertMode == 1) {
        // The card model test decides here, so an empty pattern passes the text test.
        return std::strstr(upperLink, upperPattern) != nullptr &&
               (NamesEncoderDevice(pattern) || SubsystemTextMatch(state, state.family, link));
    }
    if (!ContainsPattern(upperLink, upperPattern)) return false;
    if (byModel == kByModel) return true;
    // The two CX2388x product lines share interface classes; the DV line's names
    // carry ".DV".
    const bool dvLink = std::strstr(link, ".DV") != nullptr;
    if (state.family == FamilyCx88Dv) return dvLink;
    if (state.family == FamilyCx88) return !dvLink;
    return true;
}

bool IsEmpiaAudio(Registry& registry, Root root, const char* linkPath) {
    char parameters[kTextSize];
    char friendlyName[kTextSize];
    return SubkeyPath(parameters, linkPath, "Device Parameters") &&
           ReadRegistryString(registry, root, parameters, "FriendlyName", friendlyName,
                              kTextSize) == 1 &&
           std::strstr(friendlyName, kEmpiaAudioName) != nullptr;
}

}  // namespace

int DeleteClassKeysByValue(RunContext& context, Root root, const char* classPath,
                           const char* valueName, const char* text) {
    Registry& registry = context.platform.registry;
    std::unique_ptr<RegistryKey> key = OpenWalkedKey(registry, root, classPath);
    if (!key) return 0;
    int result = 0;
    WalkSubkeys(*key, [&](const char* name) {
        char instancePath[kTextSize];
        char value[kTextSize];
        if (!SubkeyPath(instancePath, classPath, name) ||
            ReadRegistryString(registry, root, instancePath, valueName, value, kTextSize) == 0 ||
            !EqualsIgnoringCase(value, text)) {
            return Visit::Next;
        }
        // Logged only once deleted: the log must not name a key that is still there.
        const int deleted = TakeOverAndDeleteKey(context, root, instancePath);
        result |= deleted;
        return RemovedIf(deleted);
    });
    return result;
}

int DeleteInterfaceKeys(RunContext& context, Root root, const char* classPath, const char* pattern,
                        int byModel) {
    const RunState& state = context.state;
    std::unique_ptr<RegistryKey> key = OpenWalkedKey(context.platform.registry, root, classPath);
    if (!key) return 0;
    const bool wholeClass =
        state.usbFamily == 0 && std::strstr(classPath, kWholeClassRemoved) != nullptr;
    bool hasInterface = false;
    int result = 0;
    WalkSubkeys(*key, [&](const char* link) {
        if (wholeClass) {
            hasInterface = true;
            return Visit::Stop;
        }
        const bool matches = state.usbFamily == 1 ? UsbLinkMatches(link, pattern)
                                                  : CardLinkMatches(state, link, pattern, byModel);
        char linkPath[kTextSize];
        if (!matches || !SubkeyPath(linkPath, classPath, link) ||
            !ModeAllowsRemoval(context, root, linkPath)) {
            return Visit::Next;
        }
        result = TakeOverAndDeleteKey(context, root, linkPath);
        return RemovedIf(result);
    });
    if (!hasInterface) return result;
    key.reset();  // the class key itself goes
    return TakeOverAndDeleteKey(context, root, classPath);
}

int DeleteUsbAudioInterfaceKeys(RunContext& context, Root root, const char* classPath) {
    Registry& registry = context.platform.registry;
    std::unique_ptr<RegistryKey> key = OpenWalkedKey(registry, root, classPath);
    if (!key) return 0;
    int result = 0;
    WalkSubkeys(*key, [&](const char* name) {
        char devicePath[kTextSize];
        if (!SubkeyPath(devicePath, classPath, name)) return Visit::Next;
        std::unique_ptr<RegistryKey> device = OpenWalkedKey(registry, root, devicePath);
        if (!device) return Visit::Stop;
        WalkSubkeys(*device, [&](const char* link) {
            char linkPath[kTextSize];
            if (!SubkeyPath(linkPath, devicePath, link) ||
                !ModeAllowsRemoval(context, root, linkPath) ||
                !IsEmpiaAudio(registry, root, linkPath)) {
                return Visit::Next;
            }
            // Logged only once deleted: the log must not name a key that is still there.
            const int deleted = TakeOverAndDeleteKey(context, root, linkPath);
            result |= deleted;
            return RemovedIf(deleted);
        });
        return Visit::Next;
    });
    return result;
}

}  // namespace cvp
