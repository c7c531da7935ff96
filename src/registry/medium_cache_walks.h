// Walks over the kernel-streaming medium cache of a control set (Control\MediumCache):
// one entry key per pin medium, whose values are named after the device interfaces
// that registered it. A removal takes the matching value alone.
#pragma once

#include "app/run_context.h"

namespace cvp {

// PurgeMatchingValues in every entry key whose name contains `categoryGuid`
// (case-sensitive). 1 when a value was removed.
int PurgeMediumCacheCategory(RunContext& context, Root root, const char* cachePath,
                             const char* categoryGuid, const char* pattern, int byModel);

// Removes the values of `entryPath` that name the family's devices: for a USB family
// by `pattern` in the upper-case name, for a card in expert mode by `pattern` (byModel
// 0) or by the card model test (byModel 1). The result of the last removal tried.
int PurgeMatchingValues(RunContext& context, Root root, const char* entryPath, const char* pattern,
                        int byModel);

// PurgeMatchingValues (byModel 0) in every entry key, under HKEY_LOCAL_MACHINE. 1 when a
// value was removed.
int PurgeMediumCacheAll(RunContext& context, const char* cachePath, const char* pattern);

// Removes, in every entry key, the values naming a Conexant encoder-card device.
// Always 0.
int PurgeMediumCacheConexant(RunContext& context, Root root, const char* cachePath);

}  // namespace cvp
