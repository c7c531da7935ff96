// A preview: the unattended run of one token against a view of the machine in which
// nothing is written (preview/preview_overlay), told as the lines the run would append
// to its log and the items it would remove (preview/preview_items).
#pragma once

#include <string>

#include "platform/platform.h"

namespace cvp {

constexpr const char* kPreviewFileName = "UnInstall.preview.txt";

// The preview of `token` on `machine`, ANSI with CR LF: the log's lines, one empty line,
// then the items. False, with nothing run, when the token names no family.
bool PreviewRun(Platform machine, const char* token, std::string* text);

// Says that `token` names no family and which tokens do.
std::string UnknownTokenMessage(const char* token);

// What "UnInstall.preview.txt" holds for `token`: its preview, or the message with CR LF
// for a token that names no family (`known` false).
std::string PreviewFileText(Platform machine, const char* token, bool* known);

// "/preview TOKEN" (the switch in any case): true with the token.
bool IsPreviewCommand(const char* commandLine, std::string* token);

// CVPurger.exe /preview TOKEN: writes the preview to "UnInstall.preview.txt" in the
// current directory, in place of any earlier one; for a token that names no family the
// file holds the message instead, and where the run would refuse to start (64-bit
// Windows, no administrator) the refusal's text, since a preview there would be wrong.
// The exit code: 0 a preview written, 1 an unknown token, 2 the file could not be
// written, 3 a refusal.
int WritePreviewFile(Platform machine, const char* token);

}  // namespace cvp
