// The run's one record: the family and mode chosen, the lists the scans fill, the
// patterns and identifiers the stages match, and the progress of the run.
#pragma once

#include "platform/types.h"

namespace cvp {

using ProductFamily = int;

constexpr ProductFamily FamilyBt878 = 0;
constexpr ProductFamily FamilyCx88 = 2;
constexpr ProductFamily FamilyCx88Dv = 4;
constexpr ProductFamily FamilyCx88Encoder = 5;
constexpr ProductFamily FamilyNvidia = 7;
constexpr ProductFamily FamilyEmpiaUsb = 8;
constexpr ProductFamily FamilyWisUsb = 9;
constexpr ProductFamily FamilyNone = 10;

// The families that have an entry in presentHardwareIds, in its order.
constexpr int kRecordedFamilyCount = 7;

constexpr int kPresentDeviceSlots = 10;
constexpr int kInstalledDriverSlots = 20;
constexpr int kIdentifierSlots = 10;
constexpr int kIdentifierSize = 50;

// Stage numbers: what is being removed now. 4 and 5 also decide the hive that a
// logged registry path is shown under.
constexpr int StageDevices = 0;
constexpr int StageInfFiles = 1;
constexpr int StageDriverFiles = 2;
constexpr int StageOtherFiles = 3;
constexpr int StageClassIds = 4;
constexpr int StageRegistryPlan = 5;

struct RunState {
    ProductFamily family = 0;
    int usbFamily = 0;
    int expertMode = 0;
    int commandLineRun = 0;
    int selectedIndex = 0;
    int stage = 0;
    int progressTotal = 0;
    // The system's ANSI code page (GetACP): a text cut to fit a buffer is cut between
    // two characters of it.
    Dword ansiCodePage = 0;
    char statusText[kTextSize] = {};
    char currentItem[kTextSize] = {};
    char lastReportedItem[kTextSize] = {};

    char presentDevices[kPresentDeviceSlots][kTextSize] = {};
    // The ID each listed device was recorded by (empty when it recorded none), so that
    // working mode purges the device the user chose, not the family's last one.
    char presentDeviceIds[kPresentDeviceSlots][kTextSize] = {};
    int presentDeviceCount = 0;
    char installedDrivers[kInstalledDriverSlots][kTextSize] = {};
    int installedDriverCount = 0;

    char presentHardwareIds[kRecordedFamilyCount][kTextSize] = {};
    char primaryHardwareId[kTextSize] = {};
    char secondaryUsbId[kTextSize] = {};
    char secondaryPciId[kTextSize] = {};

    char parentIdPrefixes[kIdentifierSlots][kIdentifierSize] = {};
    int parentIdPrefixCount = 0;
    char instanceSuffixes[kIdentifierSlots][kIdentifierSize] = {};
    int instanceSuffixCount = 0;

    int foundBt878 = 0;
    int foundCx88Card = 0;
    int foundDvCard = 0;
    int foundEncoderCard = 0;
    int subsysListMatched = 0;
    int foundEmpiaStick = 0;
    int foundEmpiaDeluxe = 0;
    int foundWis7007 = 0;
    int foundWis6668 = 0;
};

}  // namespace cvp
