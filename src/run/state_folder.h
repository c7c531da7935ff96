// The folder where the program keeps its own state between runs, %WINDIR%\CVPurger:
// what a run reads back from it steers what the elevated purger deletes, so no one but
// the system, the administrators and the account the purger runs as may write to it.
// (The Windows directory itself will not do: Power Users may write there on 2000 and XP.)
#pragma once

#include "run/run_context.h"

namespace cvp {

// Makes the folder `path` when it is missing, for the system and the administrators
// alone, inheriting nothing from its parent. True when it is there and fit to keep
// state in: its owner and every entry of its DACL that grants a right to change it or
// what it holds name the system, the administrators or the account the purger runs as
// (whose own the folders it makes are, from Vista on and under Wine). A subfolder of the
// program's (%WINDIR%\CVPurger\Receipts) is made and checked the same way.
bool PrepareAdministratorsFolder(RunContext& context, const char* path);

// %WINDIR%\CVPurger, without a trailing backslash, into `folder`, prepared as above;
// false when it is not to be used.
bool PrepareStateFolder(RunContext& context, char (&folder)[kTextSize]);

}  // namespace cvp
