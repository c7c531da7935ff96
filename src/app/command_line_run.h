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

// The unattended run of `family` with no receipt: what a preview runs on its view of
// the machine, where nothing may be written, and what the registry benchmark measures
// a receipt against.
void RunWithoutReceipt(RunContext& context, ProductFamily family);

}  // namespace cvp
