// Walks that select keys by their own name alone: driver services, the kernel-streaming
// media registrations (categories, interfaces, sets) and class identifiers.
#pragma once

#include "run/run_context.h"

namespace cvp {

// Deletes the subkey of `path` (a control set's Services key) named `serviceName`,
// compared whole and without regard to case. 1 when it was deleted.
int DeleteServiceKey(RunContext& context, Root root, const char* path, const char* serviceName);

// Deletes every subkey of `path` whose name contains `pattern`. 1 when one was deleted.
int DeleteSubkeysContaining(RunContext& context, Root root, const char* path, const char* pattern);

}  // namespace cvp
