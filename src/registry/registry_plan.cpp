#include "registry/registry_stages.h"

namespace cvp {

// No family's registry plan is known yet: the stage removes nothing.
void RunMainRegistryPlan(RunContext& /*context*/) {}

}  // namespace cvp
