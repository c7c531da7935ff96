// The benchmark's floor: one read-only pass over the registry areas that the purger's
// command-line run walks, through the same platform seam, so that it costs what the
// same walk costs on the machine measured (the in-memory machine natively, the real
// registry under Wine).
#pragma once

#include "platform/platform.h"

namespace cvp::benchmark {

struct PassCounts {
    long keys = 0;           // keys opened (KEY_READ) and enumerated
    long values = 0;         // values read (name, type and data)
    long unopened = 0;       // area keys that could not be opened (absent)
    long registryCalls = 0;  // RegOpenKeyExA + RegEnumKeyExA + RegEnumValueA calls
};

// For each control set of the run (CurrentControlSet, ControlSet001, ControlSet003):
// the subtrees Services, Enum\PCI, Enum\USB, Enum\Stream, Control\Class,
// Control\DeviceClasses, Control\MediumCache, Control\MediaCategories,
// Control\MediaInterfaces and Control\MediaSets, and the values of the Enum key
// itself; then the subtree HKLM\SOFTWARE\Classes\CLSID. Every key is opened with
// KEY_READ by its full path, as the walks open them, its values are read by index
// (name, type and data) and its subkeys enumerated by index, 260-character names.
PassCounts ReadOnlyPass(Registry& registry);

}  // namespace cvp::benchmark
