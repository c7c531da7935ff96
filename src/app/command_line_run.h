// The unattended run: one token names the family, every stage runs on this thread,
// and the run keeps its receipt. "/restore" puts back the newest receipt, "/restore
// FOLDER" the one named.
#pragma once

#include <string>

#include "run/run_context.h"

namespace cvp {

// Returns 1 when `commandLine` named a family and the cleanup ran, or asked for a
// restore; 0 when it named neither (then nothing was scanned, removed or logged). What
// a restore did goes to `message`, for the person who asked.
int RunCommandLine(RunContext& context, const char* commandLine, std::string* message = nullptr);

// The stages of the unattended run of `context.state.family`, as RunCommandLine runs
// them beneath the run's receipt: `watched` is the machine through the receipt,
// `context` the machine itself, for the run's own bookkeeping. The registry benchmark
// runs them with no receipt (the same context twice) to measure what one costs.
void RunUnattendedStages(RunContext& context, RunContext& watched);

}  // namespace cvp
