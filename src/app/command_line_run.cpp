#include "app/command_line_run.h"

#include <string_view>

#include "app/cleanup_sequence.h"
#include "app/pending_identifiers.h"
#include "cleanup/device_removal.h"
#include "detect/scans.h"
#include "platform/image/ascii_text.h"
#include "platform/string_table.h"
#include "receipt/receipt_writer.h"
#include "receipt/restore.h"
#include "run/family_catalogue.h"

namespace cvp {
namespace {

constexpr Dword kAfterDevicesPause = 500;
constexpr std::string_view kRestore = "/restore";

// "/restore", or "/restore" and a blank and the receipt folder (in quotes when it holds
// blanks): the folder, "" for the newest receipt.
bool IsRestore(std::string_view commandLine, std::string* folder) {
    if (commandLine.substr(0, kRestore.size()) != kRestore) return false;
    std::string_view rest = commandLine.substr(kRestore.size());
    if (!rest.empty() && rest.front() != ' ' && rest.front() != '\t') return false;
    rest = TrimBlanks(rest);
    if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') {
        rest = rest.substr(1, rest.size() - 2);
    }
    *folder = std::string(rest);
    return true;
}

// The stages of the unattended run of `context.state.family`: `watched` is the machine
// through the run's receipt, `context` the machine itself, for the run's own bookkeeping
// (the pending identifiers).
void RunUnattendedStages(RunContext& context, RunContext& watched) {
    RunState& state = context.state;
    ScanInstalledDrivers(watched);
    state.usbFamily = IsUsbFamily(state.family) ? 1 : 0;
    state.expertMode = 1;

    // The device instances are recorded before their devices go: removal takes the
    // instance keys that hold their identifiers.
    SetFamilyHardwareIds(state, state.family, state.expertMode, state.commandLineRun);
    ScanDeviceInstances(watched, state.primaryHardwareId);
    RememberDeviceIdentifiers(context);

    // Devices go first, under an empty caption: their log lines begin with a blank.
    state.stage = StageDevices;
    RemoveFamilyDevices(watched);
    watched.platform.system.Sleep(kAfterDevicesPause);

    RunFileStages(watched, true);
    SetStage(watched, IDS_STAGE_REGISTRY);
    RunRegistryStep(watched);
    ForgetDeviceIdentifiers(context);

    // A second pass, without pauses, for files the first could not remove.
    RunFileStages(watched, false);
}

void BeginUnattendedRun(RunState& state, ProductFamily family) {
    state.family = family;
    state.commandLineRun = 1;
}

}  // namespace

void RunWithoutReceipt(RunContext& context, ProductFamily family) {
    BeginUnattendedRun(context.state, family);
    RunUnattendedStages(context, context);
}

int RunCommandLine(RunContext& context, const char* commandLine, std::string* message) {
    std::string folder;
    if (IsRestore(commandLine, &folder)) {
        const std::string outcome = RestoreReceipt(context.platform, folder);
        if (message != nullptr) *message = outcome;
        return 1;
    }
    RunState& state = context.state;
    const ProductFamily family = FamilyFromToken(commandLine);
    if (family == FamilyNone) return 0;
    BeginUnattendedRun(state, family);

    ReceiptRun receipt(context.platform, family);
    RunContext watched{receipt.platform(), state, context.view};
    RunUnattendedStages(context, watched);
    receipt.Finish();
    return 1;
}

}  // namespace cvp
