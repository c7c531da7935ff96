// The exactness check of a preview: the preview of a token is held against the run of
// the same token that follows it on the same machine. Its log lines must be the lines
// the run wrote, in order, and its items the run's change list, item for item, but for
// two differences the check allows by name:
//   - what a module's own unregistration removes: its "module" line stands for it;
//   - under Wine, what Windows' SetupDiRemoveDevice takes with a device and Wine's
//     leaves (a driver key that has subkeys, an interface right after one it removed):
//     the preview follows Windows.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace cvp::scenario {

struct PreviewAllowance {
    // Lower-case full key names ("hkey_local_machine\..."), each with its subtree.
    std::vector<std::string> unregistered;  // taken by the preview's modules
    std::vector<std::string> leftByWine;    // taken by Windows with the preview's devices
};

// The keys Wine's SetupDiRemoveDevice leaves of those Windows takes with the device
// (changes/footprints DeviceRemovalKeys), as they are before the removal.
std::vector<std::string> KeysWineLeavesOfDevice(Registry& registry, const std::string& instanceId);

// The allowance for `preview`'s modules and, when `wine`, its devices, read from the
// machine as it was before the run.
PreviewAllowance AllowanceOf(Platform before, const std::string& preview, bool wine);

// One message per fault. `changes` are ChangeList lines of the run (registry and files).
// For a token that names no family the preview is the message that says so, and the run
// did nothing.
std::vector<std::string> CheckPreview(const std::string& token, const std::string& preview,
                                      const std::string& runLog,
                                      const std::vector<std::string>& changes,
                                      const PreviewAllowance& allowance);

}  // namespace cvp::scenario
