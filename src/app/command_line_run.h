// The unattended run: one token names the family, every stage runs on this thread.
#pragma once

#include "run/run_context.h"

namespace cvp {

// Returns 1 when `commandLine` named a family and the cleanup ran, 0 when it named
// none (then nothing was scanned, removed or logged).
int RunCommandLine(RunContext& context, const char* commandLine);

}  // namespace cvp
