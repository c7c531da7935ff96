#include "preview/preview_run.h"

#include <cstring>

#include "app/command_line_run.h"
#include "app/start_refusal.h"
#include "changes/removal_watch.h"
#include "preview/preview_items.h"
#include "preview/preview_overlay.h"
#include "run/family_catalogue.h"
#include "run/plain_file.h"
#include "run/text.h"

namespace cvp {
namespace {

constexpr const char* kPreviewSwitch = "/preview";

}  // namespace

bool PreviewRun(Platform machine, const char* token, std::string* text) {
    const ProductFamily family = FamilyFromToken(token);
    if (family == FamilyNone) return false;
    PreviewOverlay view(machine);
    PreviewItems items(view.platform(), view.footprints());
    RemovalWatch watch(view.platform(), items);
    Platform watched = watch.platform();
    // A record of its own, as a new process starts with.
    RunState state;
    RunContext context{watched, state, nullptr};
    // No receipt: it would be written nowhere, and so refuse every removal.
    RunWithoutReceipt(context, family);
    *text = view.log() + "\r\n" + items.Text();
    return true;
}

std::string UnknownTokenMessage(const char* token) {
    return "\"" + std::string(token) + "\" names no product family; the tokens are " +
           FamilyTokenList() + ".";
}

bool IsPreviewCommand(const char* commandLine, std::string* token) {
    const size_t length = std::strlen(kPreviewSwitch);
    if (commandLine == nullptr || !StartsWithIgnoringCase(commandLine, kPreviewSwitch) ||
        (commandLine[length] != ' ' && commandLine[length] != '\t' &&
         commandLine[length] != '\0')) {
        return false;
    }
    const char* at = commandLine + length;
    while (*at == ' ' || *at == '\t') ++at;
    token->assign(at);
    return true;
}

std::string PreviewFileText(Platform machine, const char* token, bool* known) {
    std::string text;
    *known = PreviewRun(machine, token, &text);
    return *known ? text : UnknownTokenMessage(token) + "\r\n";
}

int WritePreviewFile(Platform machine, const char* token) {
    bool known = false;
    std::string text;
    const unsigned refusal = StartRefusal(machine.system);
    if (refusal != 0) {
        char reason[kTextSize] = {};
        machine.system.LoadText(refusal, reason, kTextSize);
        text = std::string(reason) + "\r\n";
    } else {
        text = PreviewFileText(machine, token, &known);
    }
    // The current directory may be a limited user's: an earlier file (or a link in its
    // place) goes, and the new one is written only where it is a plain file.
    Files& files = machine.files;
    files.DeleteFileAt(kPreviewFileName);
    if (!AppendToPlainFile(files, kPreviewFileName, text.data(), static_cast<Dword>(text.size()))) {
        return 2;
    }
    if (refusal != 0) return 3;
    return known ? 0 : 1;
}

}  // namespace cvp
