#include "registry/medium_cache_walks.h"

#include <cstring>

#include "detect/card_models.h"
#include "registry/index_walk.h"
#include "registry/name_match.h"

namespace cvp {
namespace {

// Value names that mark the encoder card's devices, in upper case.
constexpr const char* kConexantDeviceTexts[] = {"VEN_14F1&DEV_8802", "VEN_14F1&DEV_8800&SUBSYS_663",
                                                "CX88XBAR.VEN_14F1.BB", "VSBBXBAR.VSCNXT"};

bool CacheValueMatches(const RunState& state, const char* name, const char* pattern, int byModel) {
    if (state.usbFamily == 1) return UpperCaseContains(name, pattern);
    if (state.expertMode != 1) return false;
    if (byModel == kByModel) return SubsystemTextMatch(state, state.family, name);
    return ContainsPattern(name, pattern);
}

// The texts are all in capitals, so only the upper-case form of a name can hold one.
bool NamesConexantDevice(const char* name) {
    char upper[kTextSize];
    CopyUpperCase(upper, name);
    for (const char* text : kConexantDeviceTexts) {
        if (std::strstr(upper, text) != nullptr) return true;
    }
    return false;
}

// Removes the values of an entry key that `matches` picks, each after a take-over of
// the entry key, and logs "entry-path value-name". Only the value goes: a medium
// registration that other devices share keeps their values and its entry key.
template <typename Match>
int PurgeValuesWhere(RunContext& context, Root root, const char* entryPath, Match matches) {
    std::unique_ptr<RegistryKey> entry = OpenWalkedKey(context.platform.registry, root, entryPath);
    if (!entry) return 0;
    int result = 0;
    WalkValueNames(*entry, [&](const char* name) {
        if (!matches(name)) return Visit::Next;
        result = TakeOverAndDeleteValue(context, root, entryPath, name);
        return RemovedIf(result);
    });
    return result;
}

// Calls `purge` with the path of every entry key whose name `selected` picks. 1 when a
// purge removed something.
template <typename Select, typename Purge>
int PurgeEntriesWhere(RunContext& context, MediumCacheEntries& cache, Select selected,
                      Purge purge) {
    int result = 0;
    for (const std::string& name : cache.Names(context.platform.registry)) {
        char entryPath[kTextSize];
        if (selected(name.c_str()) && SubkeyPath(entryPath, cache.path(), name.c_str()) &&
            purge(entryPath) != 0) {
            result = 1;
        }
    }
    return result;
}

}  // namespace

const std::vector<std::string>& MediumCacheEntries::Names(Registry& registry) {
    if (read_) return names_;
    read_ = true;
    std::unique_ptr<RegistryKey> cache = OpenWalkedKey(registry, root_, path_.c_str());
    if (!cache) return names_;
    WalkSubkeys(*cache, [&](const char* name) {
        names_.emplace_back(name);
        return Visit::Next;
    });
    return names_;
}

int PurgeMediumCacheCategory(RunContext& context, MediumCacheEntries& cache,
                             const char* categoryGuid, const char* pattern, int byModel) {
    return PurgeEntriesWhere(
        context, cache, [&](const char* name) { return ContainsPattern(name, categoryGuid); },
        [&](const char* entryPath) {
            return PurgeMatchingValues(context, cache.root(), entryPath, pattern, byModel);
        });
}

int PurgeMatchingValues(RunContext& context, Root root, const char* entryPath, const char* pattern,
                        int byModel) {
    return PurgeValuesWhere(context, root, entryPath, [&](const char* name) {
        return CacheValueMatches(context.state, name, pattern, byModel);
    });
}

int PurgeMediumCacheAll(RunContext& context, MediumCacheEntries& cache, const char* pattern) {
    return PurgeEntriesWhere(
        context, cache, [](const char*) { return true; },
        [&](const char* entryPath) {
            return PurgeMatchingValues(context, cache.root(), entryPath, pattern, kByText);
        });
}

int PurgeMediumCacheConexant(RunContext& context, MediumCacheEntries& cache) {
    PurgeEntriesWhere(
        context, cache, [](const char*) { return true; },
        [&](const char* entryPath) {
            return PurgeValuesWhere(context, cache.root(), entryPath, NamesConexantDevice);
        });
    return 0;
}

}  // namespace cvp
