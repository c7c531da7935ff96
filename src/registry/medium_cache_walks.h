// Walks over the kernel-streaming medium cache of a control set (Control\MediumCache):
// one entry key per pin medium, whose values are named after the device interfaces
// that registered it. A removal takes the matching value alone.
#pragma once

#include <string>
#include <vector>

#include "run/run_context.h"

namespace cvp {

// The entry keys of one control set's medium cache (`path` ends in a backslash), read
// in one walk the first time a purge needs them. The purges remove values only, never
// an entry key, so the names stay those of the cache for the whole pass over a control
// set: a plan purges the cache up to 73 times, and reading its thousands of entries
// once instead of each time keeps a run linear in the size of the cache.
class MediumCacheEntries {
  public:
    MediumCacheEntries(Root root, std::string path) : root_(root), path_(std::move(path)) {}

    Root root() const { return root_; }
    const char* path() const { return path_.c_str(); }
    const std::vector<std::string>& Names(Registry& registry);

  private:
    Root root_;
    std::string path_;
    bool read_ = false;
    std::vector<std::string> names_;
};

// PurgeMatchingValues in every entry key whose name contains `categoryGuid`
// (case-sensitive). 1 when a value was removed.
int PurgeMediumCacheCategory(RunContext& context, MediumCacheEntries& cache,
                             const char* categoryGuid, const char* pattern, int byModel);

// Removes the values of `entryPath` that name the family's devices: for a USB family
// by `pattern` in the upper-case name, for a card in expert mode by `pattern` (byModel
// 0) or by the card model test (byModel 1). The result of the last removal tried.
int PurgeMatchingValues(RunContext& context, Root root, const char* entryPath, const char* pattern,
                        int byModel);

// PurgeMatchingValues (byModel 0) in every entry key. 1 when a value was removed.
int PurgeMediumCacheAll(RunContext& context, MediumCacheEntries& cache, const char* pattern);

// Removes, in every entry key, the values naming a Conexant encoder-card device.
// Always 0.
int PurgeMediumCacheConexant(RunContext& context, MediumCacheEntries& cache);

}  // namespace cvp
