// The stages shared by the command-line run and the wizard's worker.
#pragma once

#include "run/run_context.h"

namespace cvp {

// Loads a stage caption from the string table into statusText and shows it.
void SetStage(RunContext& context, unsigned captionId);

// Stages 1 to 3, each with its caption; `pause` adds the 10 ms after each stage.
void RunFileStages(RunContext& context, bool pause);

// Stage 4, the class identifiers, then stage 5, the registry plan.
void RunRegistryStep(RunContext& context);

}  // namespace cvp
