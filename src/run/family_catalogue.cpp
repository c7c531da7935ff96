#include "run/family_catalogue.h"

#include <cstring>

namespace cvp {
namespace {

struct TokenEntry {
    const char* token;
    ProductFamily family;
};

constexpr TokenEntry kTokens[] = {
    {"878", FamilyBt878},         {"88X", FamilyCx88}, {"DV", FamilyCx88Dv},
    {"BB", FamilyCx88Encoder},    {"NV", FamilyNvidia}, {"EM", FamilyEmpiaUsb},
    {"WIS", FamilyWisUsb},
};

constexpr FamilyDeviceList kNoDevices = {nullptr, 0, {}, {}};
constexpr FamilyDeviceList kBt878Devices = {
    "PCI",
    2,
    {"Vistrel QX4100 XP WDM Video Capture", "Vistrel QX4100 XP WDM Audio Capture"},
    {0, 0}};
constexpr FamilyDeviceList kCx88Devices = {"PCI", 1, {"Vistrel QX4100 XP Expert WDM"}, {0}};
constexpr FamilyDeviceList kCx88DvDevices = {"PCI", 1, {"Vistrel QD4100"}, {0}};
constexpr FamilyDeviceList kEncoderDevices = {
    "PCI", 2, {"Vistrel QR4100", "Vistrel QR4100 MPEG Encoder"}, {0, 0}};
constexpr FamilyDeviceList kNvidiaDevices = {"PCI", 1, {"nVidia WDM Video Capture"}, {0}};
constexpr FamilyDeviceList kEmpiaDevices = {
    "USB",
    3,
    {"Vistrel QU Stick II", "Vistrel QU Stick II Deluxe", "USB EMP Audio Device"},
    {200, 200, 0}};
constexpr FamilyDeviceList kWisDevices = {
    "USB", 3, {"Vistrel RoamView", "WIS GO7007SB A/V Capture", "LifeView"}, {0, 0, 0}};

// Fixed patterns of expert mode and command-line runs.
const char* FixedPrimaryHardwareId(ProductFamily family) {
    switch (family) {
        case FamilyBt878: return "VEN_109E&DEV_036E";
        case FamilyCx88Encoder: return "VEN_14F1&DEV_8802";
        case FamilyNvidia: return "VEN_10DE";
        case FamilyEmpiaUsb: return "VID_0F6B";
        case FamilyWisUsb: return "VID_0EB1&PID_7007";
        default: return "VEN_14F1&DEV_8800";
    }
}

bool Contains(const char* text, const char* part) { return std::strstr(text, part) != nullptr; }
bool Equals(const char* text, const char* other) { return std::strcmp(text, other) == 0; }

}  // namespace

ProductFamily FamilyFromToken(const char* token) {
    for (const TokenEntry& entry : kTokens) {
        if (Equals(token, entry.token)) return entry.family;
    }
    return FamilyNone;
}

const char* FamilyToken(ProductFamily family) {
    for (const TokenEntry& entry : kTokens) {
        if (entry.family == family) return entry.token;
    }
    return "";
}

std::string FamilyTokenList() {
    std::string list;
    for (const TokenEntry& entry : kTokens) {
        list += (list.empty() ? "" : ", ") + std::string(entry.token);
    }
    return list;
}

bool IsUsbFamily(ProductFamily family) {
    return family == FamilyEmpiaUsb || family == FamilyWisUsb;
}

void FamilyFromListEntry(RunState& state, const char* entry) {
    ProductFamily family = FamilyNone;
    if (Equals(entry, "Vistrel QX4100 XP WDM Video Capture") ||
        Equals(entry, "Vistrel QX4100 XP WDM")) {
        family = FamilyBt878;
    } else if (Contains(entry, "Vistrel QX4100 XP Expert")) {
        family = FamilyCx88;
    } else if (Contains(entry, "Vistrel QD4100")) {
        family = FamilyCx88Dv;
    } else if (Contains(entry, "Vistrel QR4100")) {
        family = FamilyCx88Encoder;
    } else if (Contains(entry, "nVidia WDM Video Capture")) {
        family = FamilyNvidia;
    } else if (Equals(entry, "Vistrel QU Stick II") ||
               Equals(entry, "Vistrel QU Stick II Deluxe")) {
        family = FamilyEmpiaUsb;
    } else if (Contains(entry, "Vistrel RoamView")) {
        family = FamilyWisUsb;
    }
    state.family = family;
    if (family != FamilyNone) state.usbFamily = IsUsbFamily(family) ? 1 : 0;
}

int PresentHardwareIdSlot(ProductFamily family) {
    switch (family) {
        case FamilyBt878: return 0;
        case FamilyCx88Dv: return 2;
        case FamilyCx88Encoder: return 3;
        case FamilyNvidia: return 4;
        case FamilyEmpiaUsb: return 5;
        case FamilyWisUsb: return 6;
        default: return 1;
    }
}

namespace {

// The chosen entry's own ID. The family's recorded ID is the last present device's of
// the family: with two of its sticks or cards plugged in (or another brand's stick on
// the chip maker's reference ID, which the eMPIA rows hold), it would purge the other
// device, not the one the user chose. It stands in only for an entry that recorded none.
const char* WorkingModeId(const RunState& state, ProductFamily family) {
    const int index = state.selectedIndex;
    if (index >= 0 && index < state.presentDeviceCount && index < kPresentDeviceSlots &&
        state.presentDeviceIds[index][0] != '\0') {
        return state.presentDeviceIds[index];
    }
    return state.presentHardwareIds[PresentHardwareIdSlot(family)];
}

}  // namespace

void SetFamilyHardwareIds(RunState& state, ProductFamily family, int expertMode,
                          int commandLineRun) {
    if (expertMode == 0 && commandLineRun == 0) {
        // Working mode: the ID of the device that was found present. No ID is recorded
        // for an nVidia card, and an empty pattern would match every device, so the
        // fixed vendor pattern stands in.
        if (family == FamilyNvidia) {
            CopyText(state.primaryHardwareId, FixedPrimaryHardwareId(family), state.ansiCodePage);
        } else {
            CopyText(state.primaryHardwareId, WorkingModeId(state, family), state.ansiCodePage);
        }
        return;
    }
    CopyText(state.primaryHardwareId, FixedPrimaryHardwareId(family), state.ansiCodePage);
    if (family == FamilyCx88Encoder && commandLineRun == 0) {
        CopyText(state.secondaryPciId, "VEN_14F1&DEV_8800&SUBSYS_663", state.ansiCodePage);
    }
    if (family == FamilyWisUsb) {
        CopyText(state.secondaryUsbId, "VID_0EB1&PID_6668", state.ansiCodePage);
    }
}

const FamilyDeviceList& FamilyDeviceNames(ProductFamily family) {
    switch (family) {
        case FamilyBt878: return kBt878Devices;
        case FamilyCx88: return kCx88Devices;
        case FamilyCx88Dv: return kCx88DvDevices;
        case FamilyCx88Encoder: return kEncoderDevices;
        case FamilyNvidia: return kNvidiaDevices;
        case FamilyEmpiaUsb: return kEmpiaDevices;
        case FamilyWisUsb: return kWisDevices;
        default: return kNoDevices;
    }
}

}  // namespace cvp
