// Takes the family's devices out of the device tree before their files and keys go.
#pragma once

#include "run/run_context.h"

namespace cvp {

// Removes the first present device under `enumerator` whose description contains
// `name` (case-sensitive). 1 when it was removed; `currentItem` then holds `name`.
int RemoveDeviceByDescription(RunContext& context, const char* enumerator, const char* name);

// Removes the family's devices by its fixed name list, with the list's pauses, and
// reports each removal.
void RemoveFamilyDevices(RunContext& context);

}  // namespace cvp
