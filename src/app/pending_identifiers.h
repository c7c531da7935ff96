// The device identifiers a run needs across an interruption.
//
// The registry step finds the NextParentID values and the medium-cache values of the
// family's devices by the ParentIdPrefix values and instance names read from
// CurrentControlSet's device instance keys. Device removal and the Enum walks delete
// those keys well before the registry step gets to the values, so a run stopped in
// between (killed, power lost) would leave the values where no later run could find
// them. The identifiers are therefore kept in a small file in the program's state
// folder (run/state_folder), one per family, from before the devices go until the
// registry step is done. When that folder is not fit to use, a run goes on with its own
// identifiers alone: a planted file would steer which values go.
#pragma once

#include "run/run_context.h"

namespace cvp {

// Before the devices go: adds the identifiers that an unfinished run of the same
// family left in its file to the run's own (up to the lists' ten entries), and writes
// them all to the file.
void RememberDeviceIdentifiers(RunContext& context);

// After the registry step: the identifiers are used, the file goes.
void ForgetDeviceIdentifiers(RunContext& context);

}  // namespace cvp
