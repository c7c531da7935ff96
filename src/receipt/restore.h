// Puts back what a receipt kept (receipt_writer.h), newest entry first: every key with
// its values and DACL (taking over the key above it where Windows protects that one,
// as the removal did), every value, file and folder with its attributes, the modules'
// COM registrations, the DACLs and attributes a stopped run left changed; then asks
// Windows to look for devices again, so that removed devices come back with their
// restored drivers. What exists again is left as it is and reported. What it did goes
// to Restore.log in the receipt folder, which is then marked restored: restoring it
// again changes nothing.
//
// Only a receipt folder in %WINDIR%\CVPurger\Receipts that nobody but the
// administrators may write to is read. A receipt that is not as the run wrote it (cut
// short, edited into something else) restores nothing; a file whose copy is missing is
// named and left out.
#pragma once

#include <string>

#include "platform/platform.h"

namespace cvp {

// `named`: the receipt folder's name or full path; "" for the newest receipt. Returns
// what happened, for the person who asked.
std::string RestoreReceipt(Platform& platform, const std::string& named);

}  // namespace cvp
