// COM class registrations of the filter modules: the class-identifier walks and the
// identifiers they remove.
#pragma once

#include <array>

#include "run/run_context.h"

namespace cvp {

// The RoamView stick's filter classes, removed under HKEY_CLASSES_ROOT and once more
// under HKEY_LOCAL_MACHINE.
inline constexpr std::array<const char*, 3> kRoamViewClassIds = {
    "{35D3656A-6C20-46B0-B44A-DC8E861F1205}",
    "{8ED37ED7-477B-4764-B72E-DFC2D1899C6C}",
    "{E65DDCB1-652E-4843-958F-95099EEDEC8D}",
};

// Deletes every key under HKEY_CLASSES_ROOT\CLSID whose name contains `pattern`. 1 when
// one was deleted.
int DeleteClassesRootClsid(RunContext& context, const char* pattern);

// The same under HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID.
int DeleteMachineClsid(RunContext& context, const char* pattern);

}  // namespace cvp
