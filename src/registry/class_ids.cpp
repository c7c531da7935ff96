#include "registry/registry_stages.h"

namespace cvp {

// No class identifier is known yet: the stage removes nothing.
void PurgeClassesRootClsids(RunContext& /*context*/) {}

}  // namespace cvp
