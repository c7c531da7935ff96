#include "run/progress.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "run/family_catalogue.h"
#include "run/plain_file.h"

namespace cvp {
namespace {

// The removed item as the log shows it: registry stages name their hive. A path too
// long for the buffer is cut to fit.
void FormatLoggedItem(const RunState& state, char (&text)[kTextSize]) {
    const char* hive = "";
    if (state.stage == StageClassIds) hive = "HKEY_CLASSES_ROOT\\";
    if (state.stage == StageRegistryPlan) hive = "HKEY_LOCAL_MACHINE\\";
    CopyText(text, (std::string(hive) + state.currentItem).c_str(), state.ansiCodePage);
}

// One write per line, so that a line reaches the log whole or not at all. A log that
// can't be written, or is a link, loses the line; the run goes on.
void AppendLogLine(RunContext& context, const char* item) {
    char line[kTextSize * 2 + 2];
    int length = std::snprintf(line, sizeof line, "%s %s\r\n", context.state.statusText, item);
    AppendToPlainFile(context.platform.files, kLogFileName, line, static_cast<Dword>(length));
}

}  // namespace

void ReportProgress(RunContext& context, int units) {
    RunState& state = context.state;
    const bool window = state.commandLineRun == 0 && context.view != nullptr;
    if (state.commandLineRun == 0 && units == kCompletionUnits) {
        state.progressTotal = 100;
        if (window) context.view->SetBarPosition(100);
        return;
    }
    if (std::strcmp(state.currentItem, state.lastReportedItem) == 0) return;
    CopyText(state.lastReportedItem, state.currentItem, state.ansiCodePage);

    char item[kTextSize];
    FormatLoggedItem(state, item);
    if (window) context.view->ShowPath(item);
    state.progressTotal += units;
    // The bar's range is 0 to 100 and a big installation reports more items than that:
    // the bar stays full while the count goes on, as the control itself would show it.
    if (window) context.view->SetBarPosition(std::min(state.progressTotal, 100));
    AppendLogLine(context, item);
}

}  // namespace cvp
