// The program's own folder, %WINDIR%\CVPurger, where it keeps what outlives a run. The
// program runs elevated and reads back what it keeps there, so only the system and
// the administrators may write to it: a folder anyone else may write to, or one that
// is a link to somewhere else, is never used.
#pragma once

#include <string>

#include "platform/platform.h"

namespace cvp {

constexpr const char* kStateFolderName = "CVPurger";

// The state folder's subfolder `name` ("C:\WINDOWS\CVPurger\Receipts"), each made when
// missing, the state folder with a DACL of its own for the system and the
// administrators alone; "" with `problem` set when either can't be made or may be
// written by anyone else.
std::string OpenStateFolder(Files& files, const char* name, std::string* problem);

// Whether `path` is a folder (not a link) that nobody but the system, the
// administrators and the owner of the Windows directory (who may replace the system
// anyway) may write to, delete, or change the security of; "" or why not.
std::string WhyNotAdministratorsOnly(Files& files, const std::string& path);

}  // namespace cvp
