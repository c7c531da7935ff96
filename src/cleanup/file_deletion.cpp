#include <cstring>

#include "cleanup/file_stages.h"
#include "run/progress.h"
#include "run/text.h"

namespace cvp {

void DeleteFileReported(RunContext& context, const char* path) {
    // A path that does not fit would be cut to the name of another file.
    if (std::strlen(path) >= static_cast<size_t>(kTextSize)) return;
    char file[kTextSize];
    CopyText(file, path, context.state.ansiCodePage);

    Files& files = context.platform.files;
    const Dword original = files.GetAttributes(file);
    if (original != kInvalidAttributes) {
        files.SetAttributes(file, original & ~(kAttrReadOnly | kAttrSystem));
    }
    if (!files.DeleteFileAt(file)) {
        // Leave a file that stays exactly as it was found.
        if (original != kInvalidAttributes) files.SetAttributes(file, original);
        return;
    }
    ReportFileRemoved(context, file);
}

void ReportFileRemoved(RunContext& context, const char* path) {
    CopyText(context.state.currentItem, path, context.state.ansiCodePage);
    ReportProgress(context, 1);
}

}  // namespace cvp
