// Registry scans that tell which of the maker's drivers are installed and which device
// instances belong to the target family.
#pragma once

#include "run/run_context.h"

namespace cvp {

// Rebuilds installedDrivers and sets the detection flags. Returns 1.
int ScanInstalledDrivers(RunContext& context);

// Records the ParentIdPrefix and instance-name identifiers of the family's device
// instances whose device key matches `pattern`.
void ScanDeviceInstances(RunContext& context, const char* pattern);

}  // namespace cvp
