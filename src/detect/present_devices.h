// The maker's devices that are present now: what the working-mode list offers.
#pragma once

#include "run/run_context.h"

namespace cvp {

// Walks the present PCI and USB devices, lists the recognised ones in presentDevices,
// records their IDs and sets the detection flags. 1 when something was listed.
int EnumeratePresentDevices(RunContext& context);

// On Windows 98, 98 SE and Me, replaces `hardwareId` with the ID of the first display
// adapter read from the PCI configuration space; elsewhere leaves it unchanged.
void ProbeDisplayAdapterId(RunContext& context, char* hardwareId, Dword size);

}  // namespace cvp
