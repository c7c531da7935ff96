// machine.txt: what a regedit export and a file tree can't say. One directive a line,
// '#' starts a comment line:
//
//   attributes C:\windows\inf\oem1.inf RH   the exact attribute set, from R H S A, or -
//   directory C:\Program Files\Empty        an empty directory (git keeps none)
//   dacl HKEY_LOCAL_MACHINE\SYSTEM\...\Key D:(D;;KA;;;WD)
//   locked C:\windows\system32\emProp.ax    open elsewhere, without delete sharing
//   module C:\windows\system32\emProp.ax    under Wine, a real filter module that
//                                           regsvr32 can unregister stands here
//
// Paths may hold blanks: for attributes and dacl the path ends at the last blank
// before the final field; for directory, locked and module it is the rest of the line.
#pragma once

#include <string>

#include "platform/image/machine_image.h"

namespace cvp {

// Applies the manifest to an image whose registry and files are already read; what
// a directive names must exist in it. On a fault returns false with `error` set to
// "machine.txt:LINE: what is wrong" and leaves `image` as it was.
bool ReadMachineManifest(const std::string& text, MachineImage* image, std::string* error);

// The attributes GetFileAttributesA reports for a file or directory given `bits`
// from R H S A: a file with none of them is FILE_ATTRIBUTE_NORMAL, as on Windows.
Dword ReportedAttributes(bool directory, Dword bits);

}  // namespace cvp
