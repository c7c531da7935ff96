// The wizard's cleanup run, as the progress page's worker thread performs it: the
// chosen device or the family's devices, the file stages, the registry step and the
// completion, or the failure path when the chosen entry named no family. The thread
// and the page's controls are the wizard's; this is the sequence they run.
#pragma once

#include "run/run_context.h"

namespace cvp {

// What the progress page shows once the sequence is over.
struct CleanupOutcome {
    unsigned resultTextId;  // string for the result line
    unsigned buttonTextId;  // new text for the page's button; 0 keeps "Finish"
};

// The chosen list entry's text: presentDevices in working mode, installedDrivers in
// expert mode, at selectedIndex; "" when the index lies outside the list.
const char* ChosenEntry(const RunState& state);

// Runs the sequence once on the calling thread. Everything it reads in `context.state`
// must have been set before; it writes stage, statusText, progressTotal and the items.
CleanupOutcome RunCleanupWorker(RunContext& context);

}  // namespace cvp
