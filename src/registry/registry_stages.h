// The two registry stages: class identifiers under HKEY_CLASSES_ROOT, then the
// family's plan under HKEY_LOCAL_MACHINE over every control set.
#pragma once

#include "run/run_context.h"

namespace cvp {

void PurgeClassesRootClsids(RunContext& context);
void RunMainRegistryPlan(RunContext& context);

}  // namespace cvp
