#include "app/command_line_run.h"

#include "app/cleanup_sequence.h"
#include "app/pending_identifiers.h"
#include "cleanup/device_removal.h"
#include "detect/scans.h"
#include "platform/string_table.h"
#include "run/family_catalogue.h"

namespace cvp {
namespace {

constexpr Dword kAfterDevicesPause = 500;

}  // namespace

int RunCommandLine(RunContext& context, const char* commandLine) {
    RunState& state = context.state;
    const ProductFamily family = FamilyFromToken(commandLine);
    if (family == FamilyNone) return 0;
    state.family = family;
    state.commandLineRun = 1;

    ScanInstalledDrivers(context);
    state.usbFamily = IsUsbFamily(family) ? 1 : 0;
    state.expertMode = 1;

    // The device instances are recorded before their devices go: removal takes the
    // instance keys that hold their identifiers.
    SetFamilyHardwareIds(state, family, state.expertMode, state.commandLineRun);
    ScanDeviceInstances(context, state.primaryHardwareId);
    RememberDeviceIdentifiers(context);

    // Devices go first, under an empty caption: their log lines begin with a blank.
    state.stage = StageDevices;
    RemoveFamilyDevices(context);
    context.platform.system.Sleep(kAfterDevicesPause);

    RunFileStages(context, true);
    SetStage(context, IDS_STAGE_REGISTRY);
    RunRegistryStep(context);
    ForgetDeviceIdentifiers(context);

    // A second pass, without pauses, for files the first could not remove.
    RunFileStages(context, false);
    return 1;
}

}  // namespace cvp
