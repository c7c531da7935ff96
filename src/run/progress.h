// The one way a removal is made known: counted, shown on the progress page and
// written to "UnInstall.log".
#pragma once

#include "run/run_context.h"

namespace cvp {

constexpr const char* kLogFileName = "UnInstall.log";

// Units: 1 for a file or key, 2 for a device; kCompletionUnits ends a wizard run.
constexpr int kCompletionUnits = 999;

// Reports `state.currentItem` as removed, unless it repeats the last report.
void ReportProgress(RunContext& context, int units);

}  // namespace cvp
