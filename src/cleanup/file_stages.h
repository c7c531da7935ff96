// The three file stages: INF, PNF and catalogue files; driver binaries and filter
// modules; auxiliary files. Each deletes the files of `state.family` and reports them.
#pragma once

#include "run/run_context.h"

namespace cvp {

// Deletes one file (read-only and system bits cleared first) and reports it when the
// deletion succeeded.
void DeleteFileReported(RunContext& context, const char* path);
// Reports a file as removed, as DeleteFileReported does after its deletion.
void ReportFileRemoved(RunContext& context, const char* path);

void CleanInfFiles(RunContext& context);
void CleanDriverFiles(RunContext& context);
void CleanOtherFiles(RunContext& context);

// Unregisters a filter module with regsvr32 -u -s, started in the system directory,
// waits for it to end, then deletes the module.
void UnregisterAndDelete(RunContext& context, const char* modulePath);

// Sets or clears the hidden, read-only and system bits on every file and folder of
// the tree at `directory` (ending in a backslash) and, with `remove`, deletes them.
// Links are removed, never followed, `directory` itself included. 0 when the directory
// was not searched (missing, or a link).
int DeleteTree(RunContext& context, const char* directory, int hidden, int readOnly,
               int system, int remove);

}  // namespace cvp
