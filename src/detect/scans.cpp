#include "detect/scans.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "detect/card_models.h"
#include "run/family_catalogue.h"
#include "run/registry_reads.h"
#include "run/text.h"

namespace cvp {
namespace {

constexpr const char* kEnumPci = "SYSTEM\\CurrentControlSet\\Enum\\PCI\\";
constexpr const char* kEnumUsb = "SYSTEM\\CurrentControlSet\\Enum\\USB\\";

bool Contains(const char* text, const char* part) { return std::strstr(text, part) != nullptr; }

bool SamePair(const CardModel& row, std::uint16_t subsystemId, std::uint16_t subsystemVendor) {
    return row.subsystemId == subsystemId && row.subsystemVendor == subsystemVendor;
}

// A PCI device key: the Bt878 functions count whatever board they sit on; CX2388x
// keys count by the subsystem pair of the maker's rows.
void NotePciDeviceKey(RunState& state, const char* name) {
    std::uint16_t subsystemId = 0;
    std::uint16_t subsystemVendor = 0;
    const bool hasPair =
        ReadHexField(name, 25, &subsystemId) && ReadHexField(name, 29, &subsystemVendor);
    if (Contains(name, "VEN_109E&DEV_036E") || Contains(name, "VEN_109E&DEV_0878")) {
        state.foundBt878 = 1;
    } else if (!hasPair) {
        return;
    } else if (Contains(name, "VEN_14F1&DEV_8800")) {
        for (const CardModel& row : CardModelGroup(FamilyCx88)) {
            if (SamePair(row, subsystemId, subsystemVendor)) state.foundCx88Card = 1;
        }
        for (const CardModel& row : CardModelGroup(FamilyCx88Dv)) {
            if (SamePair(row, subsystemId, subsystemVendor)) state.foundDvCard = 1;
        }
    } else if (Contains(name, "VEN_14F1&DEV_8802")) {
        for (const CardModel& row : CardModelGroup(FamilyCx88Encoder)) {
            if (state.foundEncoderCard != 0) break;
            if (SamePair(row, subsystemId, subsystemVendor)) state.foundEncoderCard = 1;
        }
    }
}

struct UsbStickPrefix {
    const char* prefix;
    int RunState::*flag;
};

constexpr UsbStickPrefix kUsbStickKeys[] = {
    {"Vid_eb1a&Pid_2800", &RunState::foundEmpiaStick},
    {"Vid_eb1a&Pid_2820", &RunState::foundEmpiaStick},
    {"Vid_0F6B&Pid_6023", &RunState::foundEmpiaDeluxe},
    {"Vid_0eb1&Pid_7007", &RunState::foundWis7007},
    {"Vid_0eb1&Pid_6668", &RunState::foundWis6668},
};

void NoteUsbDeviceKey(RunState& state, const char* name) {
    for (const UsbStickPrefix& stick : kUsbStickKeys) {
        if (StartsWithIgnoringCase(name, stick.prefix)) state.*stick.flag = 1;
    }
}

// Calls `note` with the name of every device key under `busPath`.
template <typename Note>
void ForEachDeviceKey(Registry& registry, const char* busPath, Note note) {
    std::unique_ptr<RegistryKey> bus;
    if (registry.OpenKey(Root::LocalMachine, busPath, kKeyRead, &bus) != kErrorSuccess) return;
    char name[kTextSize];
    WalkStep step;
    for (Dword index = 0; (step = NextSubkey(*bus, index, name)) != WalkStep::End; ++index) {
        if (step == WalkStep::Name) note(name);
    }
}

bool ServiceExists(Registry& registry, const char* services, const char* name) {
    return HasSubkey(registry, Root::LocalMachine, services, name) == 1;
}

void NoteServiceKeys(Registry& registry, RunState& state, const char* services) {
    if (state.foundBt878 == 0) {
        for (const char* name : {"VS23880", "VS88XBAR", "VSTUNE"}) {
            if (ServiceExists(registry, services, name)) state.foundBt878 = 1;
        }
    }
    if (state.foundEncoderCard == 0) {
        for (const char* name : {"VSBB", "VSBBXBAR", "VSBBENC"}) {
            if (ServiceExists(registry, services, name)) state.foundEncoderCard = 1;
        }
    }
    if (state.foundEmpiaDeluxe == 0) {
        if (ServiceExists(registry, services, "DCamUSBEMPIA")) {
            char path[kTextSize];
            char displayName[kTextSize] = {};
            if (std::snprintf(path, sizeof path, "%s%s", services, "DCamUSBEMPIA") < kTextSize &&
                ReadRegistryString(registry, Root::LocalMachine, path, "DisplayName", displayName,
                                   kTextSize) == 1 &&
                std::strcmp(displayName, "Vistrel QU Stick II Deluxe") == 0) {
                state.foundEmpiaDeluxe = 1;
            }
        }
        for (const char* name : {"emAudio", "FiltUSBEMPIA", "ScanUSBEMPIA"}) {
            if (ServiceExists(registry, services, name)) state.foundEmpiaDeluxe = 1;
        }
    }
    if (state.foundWis7007 == 0 || state.foundWis6668 == 0) {
        for (const char* name : {"RoamView", "RoamViewTunerLoader", "WisTunerLoader", "WISTechVIDCAP"}) {
            if (ServiceExists(registry, services, name)) {
                state.foundWis7007 = 1;
                state.foundWis6668 = 1;
            }
        }
    }
}

void AddInstalledDriver(RunState& state, const char* name) {
    if (state.installedDriverCount >= kInstalledDriverSlots) return;
    CopyText(state.installedDrivers[state.installedDriverCount++], name, state.ansiCodePage);
}

void BuildInstalledDriverList(RunState& state) {
    if (state.foundBt878) AddInstalledDriver(state, "Vistrel QX4100 XP WDM");
    if (state.foundCx88Card) AddInstalledDriver(state, "Vistrel QX4100 XP Expert WDM");
    if (state.foundDvCard) AddInstalledDriver(state, "Vistrel QD4100");
    if (state.foundEncoderCard) AddInstalledDriver(state, "Vistrel QR4100");
    if (state.foundEmpiaStick || state.foundEmpiaDeluxe) {
        AddInstalledDriver(state, state.foundEmpiaDeluxe ? "Vistrel QU Stick II Deluxe"
                                                         : "Vistrel QU Stick II");
    }
    if (state.foundWis7007 || state.foundWis6668) {
        AddInstalledDriver(state, "Vistrel RoamView");
        CopyText(state.secondaryUsbId, "VID_0EB1&PID_6668", state.ansiCodePage);
    }
}

// The text between the first and the second "&" (or the end): 7&1a2b3c4d&0 gives
// 1a2b3c4d. False when there is no "&" or the part does not fit an entry.
bool MiddlePart(const char* source, char (&part)[kIdentifierSize]) {
    const char* first = std::strchr(source, '&');
    if (first == nullptr) return false;
    const char* start = first + 1;
    const char* second = std::strchr(start, '&');
    const size_t length = second != nullptr ? static_cast<size_t>(second - start) : std::strlen(start);
    if (length >= static_cast<size_t>(kIdentifierSize)) return false;
    std::memcpy(part, start, length);
    part[length] = '\0';
    return true;
}

// Entries past the tenth are dropped: the lists hold ten.
void AddIdentifier(char (&list)[kIdentifierSlots][kIdentifierSize], int& count,
                   const char* source) {
    if (count >= kIdentifierSlots) return;
    if (MiddlePart(source, list[count])) ++count;
}

bool DeviceKeyBelongs(const RunState& state, const char* name, const char* pattern) {
    if (state.usbFamily == 0 && state.expertMode == 1) {
        return SubsystemFieldMatch(state, state.family, name);
    }
    return pattern[0] != '\0' && Contains(name, pattern);
}

void RecordInstance(RunContext& context, const char* devicePath, const char* instance) {
    RunState& state = context.state;
    Registry& registry = context.platform.registry;
    char instancePath[kTextSize];
    if (std::snprintf(instancePath, sizeof instancePath, "%s%s\\", devicePath, instance) >=
        kTextSize) {
        return;
    }
    if (state.expertMode == 0 &&
        HasSubkey(registry, Root::LocalMachine, instancePath, "Control") == 0) {
        return;
    }
    // A ParentIdPrefix of 50 characters or more does not fit its buffer and is
    // treated as unreadable.
    char parentIdPrefix[kIdentifierSize];
    if (ReadRegistryString(registry, Root::LocalMachine, instancePath, "ParentIdPrefix",
                           parentIdPrefix, kIdentifierSize) == 1) {
        AddIdentifier(state.parentIdPrefixes, state.parentIdPrefixCount, parentIdPrefix);
    }
    AddIdentifier(state.instanceSuffixes, state.instanceSuffixCount, instance);
}

// Returns false when the device key can't be opened, which ends the scan.
bool RecordDeviceInstances(RunContext& context, const char* busPath, const char* name) {
    char devicePath[kTextSize];
    if (std::snprintf(devicePath, sizeof devicePath, "%s%s\\", busPath, name) >= kTextSize) {
        return false;
    }
    std::unique_ptr<RegistryKey> device;
    if (context.platform.registry.OpenKey(Root::LocalMachine, devicePath, kKeyRead, &device) !=
        kErrorSuccess) {
        return false;
    }
    char instance[kTextSize];
    WalkStep step;
    for (Dword index = 0; (step = NextSubkey(*device, index, instance)) != WalkStep::End; ++index) {
        if (step == WalkStep::Name) RecordInstance(context, devicePath, instance);
    }
    return true;
}

}  // namespace

int ScanInstalledDrivers(RunContext& context) {
    RunState& state = context.state;
    Registry& registry = context.platform.registry;
    ForEachDeviceKey(registry, kEnumPci, [&](const char* name) { NotePciDeviceKey(state, name); });
    state.installedDriverCount = 0;
    ForEachDeviceKey(registry, kEnumUsb, [&](const char* name) { NoteUsbDeviceKey(state, name); });
    for (const char* controlSet : ControlSetRoots) {
        char services[kTextSize];
        std::snprintf(services, sizeof services, "%s%s", controlSet, "Services\\");
        std::unique_ptr<RegistryKey> key;
        if (registry.OpenKey(Root::LocalMachine, services, kKeyRead, &key) != kErrorSuccess) continue;
        NoteServiceKeys(registry, state, services);
    }
    BuildInstalledDriverList(state);
    return 1;
}

void ScanDeviceInstances(RunContext& context, const char* pattern) {
    RunState& state = context.state;
    state.parentIdPrefixCount = 0;
    state.instanceSuffixCount = 0;
    const char* busPath = state.usbFamily == 1 ? kEnumUsb : kEnumPci;
    std::unique_ptr<RegistryKey> bus;
    if (context.platform.registry.OpenKey(Root::LocalMachine, busPath, kKeyRead, &bus) !=
        kErrorSuccess) {
        return;
    }
    char name[kTextSize];
    WalkStep step;
    for (Dword index = 0; (step = NextSubkey(*bus, index, name)) != WalkStep::End; ++index) {
        if (step != WalkStep::Name) continue;
        // USB key names are written Vid_0eb1&Pid_7007; the patterns are upper case.
        if (state.usbFamily == 1) ToUpperAscii(name);
        if (!DeviceKeyBelongs(state, name, pattern)) continue;
        if (!RecordDeviceInstances(context, busPath, name)) return;
    }
}

}  // namespace cvp
