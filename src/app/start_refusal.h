// Where the purger refuses to start, since its removals could not be right there.
#pragma once

#include "platform/platform.h"

namespace cvp {

// The id of the text that says why the purger must not run here, or 0 when it may:
// - under 64-bit Windows the 32-bit process sees SysWOW64 for system32 and a
//   redirected CLSID tree, and can't remove devices, but shares HKLM\SYSTEM with the
//   system: it would delete a live driver's keys and leave its device and files;
// - without administrator rights (no elevation prompt on Windows 2000 and XP) every
//   removal fails, while the wizard would still report success.
// A question the system can't answer refuses too.
unsigned StartRefusal(System& system);

}  // namespace cvp
