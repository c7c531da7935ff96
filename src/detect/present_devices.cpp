#include "detect/present_devices.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "detect/card_models.h"
#include "run/family_catalogue.h"

namespace cvp {
namespace {

constexpr Dword kIdBufferSize = 255;

bool Contains(const char* text, const char* part) { return std::strstr(text, part) != nullptr; }

// The family's recorded ID, and the ID of the list entry the device becomes if it is
// listed (the entry after the last one).
void RecordId(RunState& state, ProductFamily family, const char* id) {
    CopyText(state.presentHardwareIds[PresentHardwareIdSlot(family)], id, state.ansiCodePage);
    if (state.presentDeviceCount < kPresentDeviceSlots) {
        CopyText(state.presentDeviceIds[state.presentDeviceCount], id, state.ansiCodePage);
    }
}

// The subsystem pair after "SUBSYS_" in a PCI hardware ID, formatted as recorded.
bool SubsystemPair(const char* hardwareId, std::uint16_t* id, std::uint16_t* vendor,
                   char (&text)[9]) {
    if (!ReadHexField(hardwareId, 29, id) || !ReadHexField(hardwareId, 33, vendor)) return false;
    std::snprintf(text, sizeof text, "%4.4X%4.4X", unsigned{*id}, unsigned{*vendor});
    return true;
}

bool MatchesRow(const CardModel& row, std::uint16_t id, std::uint16_t vendor) {
    return row.subsystemId == id && row.subsystemVendor == vendor;
}

bool NoteBt878Video(RunState& state, const char* hardwareId) {
    std::uint16_t id = 0, vendor = 0;
    char pair[9];
    if (!SubsystemPair(hardwareId, &id, &vendor, pair)) return false;
    bool listed = false;
    for (const CardModel& row : CardModelGroup(FamilyBt878)) {
        if (MatchesRow(row, id, vendor)) {
            RecordId(state, FamilyBt878, pair);
            listed = true;
        }
    }
    return listed;
}

bool NoteCx88Card(RunState& state, const char* hardwareId) {
    std::uint16_t id = 0, vendor = 0;
    char pair[9];
    if (!SubsystemPair(hardwareId, &id, &vendor, pair)) return false;
    bool listed = false;
    for (const CardModel& row : CardModelGroup(FamilyCx88)) {
        if (!MatchesRow(row, id, vendor)) continue;
        RecordId(state, FamilyCx88, pair);
        state.foundCx88Card = 1;
        listed = true;
    }
    // Only the first DV card and the first encoder card are recorded.
    for (const CardModel& row : CardModelGroup(FamilyCx88Dv)) {
        if (state.foundDvCard != 0) break;
        if (!MatchesRow(row, id, vendor)) continue;
        RecordId(state, FamilyCx88Dv, pair);
        state.foundDvCard = 1;
        listed = true;
    }
    for (const CardModel& row : CardModelGroup(FamilyCx88Encoder)) {
        if (state.foundEncoderCard != 0) break;
        if (!MatchesRow(row, id, vendor)) continue;
        RecordId(state, FamilyCx88Encoder, pair);
        state.foundEncoderCard = 1;
        listed = true;
    }
    return listed;
}

// An nVidia chip on one of the maker's boards, whatever its subsystem ID: at most one
// device is listed this way.
bool NoteNvidiaCard(RunState& state, const char* hardwareId) {
    if (state.subsysListMatched != 0) return false;
    char anySubsystem[kIdBufferSize];
    CopyText(anySubsystem, hardwareId, state.ansiCodePage);
    if (std::strlen(anySubsystem) >= 33) std::memcpy(anySubsystem + 29, "FFFF", 4);
    for (const CardModel& row : CardModelGroup(FamilyNvidia)) {
        char model[64];
        std::snprintf(model, sizeof model, "PCI\\VEN_%4.4X&DEV_%4.4X&SUBSYS_%4.4X%4.4X",
                      unsigned{row.chipVendor}, unsigned{row.chipDevice},
                      unsigned{row.subsystemId}, unsigned{row.subsystemVendor});
        if (Contains(anySubsystem, model)) {
            state.subsysListMatched = 1;
            return true;
        }
    }
    return false;
}

bool NotePciDevice(RunState& state, const char* hardwareId) {
    bool listed = false;
    if (Contains(hardwareId, "PCI\\VEN_109E&DEV_036E")) listed |= NoteBt878Video(state, hardwareId);
    if (Contains(hardwareId, "PCI\\VEN_109E&DEV_0878")) listed = true;
    if (Contains(hardwareId, "PCI\\VEN_14F1&DEV_8800")) listed |= NoteCx88Card(state, hardwareId);
    listed |= NoteNvidiaCard(state, hardwareId);
    return listed;
}

struct UsbStick {
    const char* prefix;
    int RunState::*flag;
    ProductFamily family;  // FamilyNone: the ID goes to secondaryUsbId
    const char* id;
};

constexpr UsbStick kUsbSticks[] = {
    {"USB\\Vid_eb1a&Pid_2800", &RunState::foundEmpiaStick, FamilyEmpiaUsb, "VID_EB1A&PID_2800"},
    {"USB\\Vid_eb1a&Pid_2820", &RunState::foundEmpiaStick, FamilyEmpiaUsb, "VID_EB1A&PID_2820"},
    {"USB\\Vid_0F6B&Pid_6023", &RunState::foundEmpiaDeluxe, FamilyEmpiaUsb, "VID_0F6B&PID_6023"},
    {"USB\\Vid_0eb1&Pid_6668", &RunState::foundWis6668, FamilyNone, "VID_0EB1&PID_6668"},
    {"USB\\Vid_0eb1&Pid_7007", &RunState::foundWis7007, FamilyWisUsb, "VID_0EB1&PID_7007"},
};

bool NoteUsbDevice(RunState& state, const char* hardwareId) {
    bool listed = false;
    for (const UsbStick& stick : kUsbSticks) {
        if (!StartsWithIgnoringCase(hardwareId, stick.prefix)) continue;
        state.*stick.flag = 1;
        if (stick.family == FamilyNone) {
            CopyText(state.secondaryUsbId, stick.id, state.ansiCodePage);
        } else {
            RecordId(state, stick.family, stick.id);
        }
        listed = true;
    }
    return listed;
}

void AddPresentDevice(RunState& state, const char* description) {
    // Devices past the tenth are not listed: the list holds ten.
    if (state.presentDeviceCount >= kPresentDeviceSlots) return;
    CopyText(state.presentDevices[state.presentDeviceCount++], description, state.ansiCodePage);
}

// Walks the present devices of one bus; `note` recognises a hardware ID, `hidden`
// names descriptions that are recognised but not offered.
template <typename Note>
void WalkBus(RunContext& context, const char* enumerator, Note note,
             std::initializer_list<const char*> hidden) {
    std::unique_ptr<DeviceSet> devices = context.platform.devices.OpenPresentDevices(enumerator);
    if (!devices) return;
    for (Dword index = 0; devices->EnumMember(index); ++index) {
        char hardwareId[kIdBufferSize] = {};
        if (!devices->ReadProperty(index, kPropertyHardwareId, hardwareId, kIdBufferSize)) continue;
        hardwareId[kIdBufferSize - 1] = '\0';
        if (hardwareId[0] == '*') ProbeDisplayAdapterId(context, hardwareId, kIdBufferSize);
        if (context.state.presentDeviceCount < kPresentDeviceSlots) {
            context.state.presentDeviceIds[context.state.presentDeviceCount][0] = '\0';
        }
        if (!note(context.state, hardwareId)) continue;
        char description[kIdBufferSize] = {};
        if (!devices->ReadProperty(index, kPropertyDeviceDesc, description, kIdBufferSize)) continue;
        description[kIdBufferSize - 1] = '\0';
        bool shown = true;
        for (const char* text : hidden) shown = shown && !Contains(description, text);
        if (shown) AddPresentDevice(context.state, description);
    }
}

bool IsWindowsMe98(const OsVersion& version) {
    return version.platformId == kPlatformWin32Windows && version.major == 4 &&
           (version.minor == 10 || version.minor == 90);
}

}  // namespace

int EnumeratePresentDevices(RunContext& context) {
    WalkBus(context, "PCI", NotePciDevice, {"Vistrel QX4100 XP WDM Audio Capture"});
    WalkBus(context, "USB", NoteUsbDevice, {"USB EMP Audio Device", "USB Composite Device"});
    return context.state.presentDeviceCount != 0 ? 1 : 0;
}

void ProbeDisplayAdapterId(RunContext& context, char* hardwareId, Dword size) {
    System& system = context.platform.system;
    OsVersion version;
    if (!system.ReadOsVersion(&version) || !IsWindowsMe98(version)) return;
    for (Dword bus = 1; bus <= 7; ++bus) {
        for (Dword device = 0; device <= 31; ++device) {
            Dword classCode = 0;
            if (!system.ReadPciConfig(bus, device, 0x08, &classCode)) return;
            if ((classCode >> 24) != 0x03) continue;
            Dword ids = 0;
            Dword subsystem = 0;
            if (!system.ReadPciConfig(bus, device, 0x00, &ids) ||
                !system.ReadPciConfig(bus, device, 0x2C, &subsystem)) {
                return;
            }
            std::snprintf(hardwareId, size, "PCI\\VEN_%4.4X&DEV_%4.4X&SUBSYS_%4.4X%4.4X",
                          unsigned{ids & 0xFFFF}, unsigned{ids >> 16}, unsigned{subsystem >> 16},
                          unsigned{subsystem & 0xFFFF});
            return;
        }
    }
}

}  // namespace cvp
