#include "app/cleanup_worker.h"

#include <cstring>

#include "app/cleanup_sequence.h"
#include "app/pending_identifiers.h"
#include "cleanup/device_removal.h"
#include "platform/string_table.h"
#include "receipt/receipt_writer.h"
#include "run/family_catalogue.h"
#include "run/progress.h"

namespace cvp {
namespace {

constexpr int kDeviceUnits = 2;
constexpr Dword kAfterStickPause = 500;
constexpr Dword kBeforeFileStagesPause = 1000;

constexpr const char* kBt878Video = "Vistrel QX4100 XP WDM Video Capture";
constexpr const char* kBt878Audio = "Vistrel QX4100 XP WDM Audio Capture";
constexpr const char* kEmpiaDeluxe = "Vistrel QU Stick II Deluxe";
constexpr const char* kEmpiaAudio = "USB EMP Audio Device";

bool Contains(const char* text, const char* part) { return std::strstr(text, part) != nullptr; }

bool RemoveAndReport(RunContext& context, const char* enumerator, const char* name) {
    if (RemoveDeviceByDescription(context, enumerator, name) != 1) return false;
    ReportProgress(context, kDeviceUnits);
    return true;
}

// Working mode: the device the user picked, then the second function that belongs to
// it (the card's audio function, the Deluxe stick's audio device).
void RemoveChosenDevice(RunContext& context) {
    const char* chosen = ChosenEntry(context.state);
    // An empty name is contained in every description: it would take whichever
    // device happens to come first.
    if (chosen[0] == '\0') return;
    if (context.state.usbFamily == 0) {
        RemoveAndReport(context, "PCI", chosen);
        // The audio function goes even when the video function itself was not found.
        if (Contains(chosen, kBt878Video)) RemoveAndReport(context, "PCI", kBt878Audio);
        return;
    }
    if (!RemoveAndReport(context, "USB", chosen)) return;
    // Give the stick's other interfaces time to leave the tree with it.
    context.platform.system.Sleep(kAfterStickPause);
    if (Contains(chosen, kEmpiaDeluxe)) RemoveAndReport(context, "USB", kEmpiaAudio);
}

CleanupOutcome RunFailurePath(RunContext& context) {
    ReportProgress(context, kCompletionUnits);
    return {IDS_RESULT_FAILED, IDS_BUTTON_EXIT};
}

}  // namespace

const char* ChosenEntry(const RunState& state) {
    const int index = state.selectedIndex;
    if (state.expertMode == 0) {
        if (index < 0 || index >= state.presentDeviceCount || index >= kPresentDeviceSlots) {
            return "";
        }
        return state.presentDevices[index];
    }
    if (index < 0 || index >= state.installedDriverCount || index >= kInstalledDriverSlots) {
        return "";
    }
    return state.installedDrivers[index];
}

CleanupOutcome RunCleanupWorker(RunContext& context) {
    RunState& state = context.state;
    if (state.family == FamilyNone) return RunFailurePath(context);

    state.progressTotal = 0;
    if (context.view != nullptr) context.view->SetBarPosition(0);

    // Every removal goes through the receipt; the pending identifiers are the run's
    // own bookkeeping beside it.
    ReceiptRun receipt(context.platform, state.family);
    RunContext watched{receipt.platform(), state, context.view};
    RememberDeviceIdentifiers(context);
    SetStage(watched, IDS_STAGE_DEVICES);
    state.stage = StageDevices;
    if (state.expertMode == 0) {
        RemoveChosenDevice(watched);
    } else {
        RemoveFamilyDevices(watched);
    }
    if (context.view != nullptr) context.view->ShowPath(ChosenEntry(state));
    watched.platform.system.Sleep(kBeforeFileStagesPause);

    RunFileStages(watched, true);
    SetStage(watched, IDS_STAGE_REGISTRY);
    RunRegistryStep(watched);
    ForgetDeviceIdentifiers(context);
    receipt.Finish();

    ReportProgress(watched, kCompletionUnits);
    return {IDS_RESULT_DONE, 0};
}

}  // namespace cvp
