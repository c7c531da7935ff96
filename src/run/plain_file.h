// Appending to a file the purger keeps (its log, its pending identifiers) without
// writing through a link: the log lies in the current directory, which a limited user
// may well own, and the purger runs as an administrator.
#pragma once

#include "platform/platform.h"

namespace cvp {

// Appends `size` bytes to the file at `path` in one write, creating it when absent.
// False, with nothing written, when it can't be opened or is a link of any kind: a
// reparse point (a symbolic link, opened as itself), a file with more than one name
// (a hard link), or one whose final path is not the path opened (a link the system
// followed; only Vista and later can tell). The file's owner proves nothing: an
// elevated administrator's own files belong to that user from Vista on.
bool AppendToPlainFile(Files& files, const char* path, const char* data, Dword size);

}  // namespace cvp
