// What the in-memory machine holds. Device sets share it weakly, so that a set kept
// after its machine is gone fails instead of reaching freed memory.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/image/ascii_text.h"
#include "platform/memory/file_tree.h"
#include "platform/memory/memory_machine.h"
#include "platform/memory/registry_tree.h"

namespace cvp::memory {

// The owner and DACL of a file or directory no one set: the Windows directory's, which
// the administrators and the system may change and every user may read.
inline constexpr char kDefaultFileSecurity[] =
    "O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// A module that a started regsvr32 has loaded: it can't be deleted until the process
// has been waited for or the machine has slept.
struct ModuleLoad {
    std::string fileKey;  // FileTree::Key
    bool loaded = true;
};

struct MachineState {
    RegistryTree registry;
    FileTree files;
    std::set<std::string> lockedFiles;  // FileTree::Key; a path need not exist yet
    std::vector<std::shared_ptr<ModuleLoad>> moduleLoads;
    std::vector<std::string> failingRemovals;  // device instance IDs
    // Key faults belong to the key itself: a key deleted and made again is a new key.
    std::vector<std::weak_ptr<const RegKey>> foreignOwnedKeys;
    std::vector<std::pair<std::weak_ptr<const RegKey>, std::string>> guardedValues;
    std::uint64_t freeBytes = UINT64_MAX;  // what writes may still add to the drive
    int deviceRescans = 0;
    Dword clockMilliseconds = 0;  // since kClockStart
    bool failProcessStart = false;
    bool hangProcesses = false;
    std::vector<std::string> startedProcesses;
    std::vector<std::string> startDirectories;
    std::vector<std::string> uninstalledInfs;
    std::vector<Dword> sleeps;
    std::string countryCode = "1";
    OsVersion osVersion{kPlatformWin32Nt, 5, 1};
    Dword ansiCodePage = 1252;
    // The account the program runs as: an administrator, Wine's user.
    std::string processUser = "S-1-5-21-0-0-0-1000";
    bool wow64 = false;
    bool administrator = true;
    // Present devices are those Windows started (a "Control" subkey), as in an export
    // of a running Windows; else those Wine's SetupAPI lists (a well-formed ClassGUID).
    bool startedDevices = false;
    bool hasPciConfig = false;
    std::map<std::tuple<Dword, Dword, Dword>, Dword> pciConfig;

    bool IsModuleLoaded(const std::string& fileKey) const {
        for (const auto& load : moduleLoads) {
            if (load->loaded && load->fileKey == fileKey) return true;
        }
        return false;
    }

    bool OwnedByAdministrators(const RegKey& key) const {
        for (const auto& owned : foreignOwnedKeys) {
            if (owned.lock().get() == &key) return false;
        }
        return true;
    }

    bool GuardsValue(const RegKey& key, std::string_view name) const {
        for (const auto& [guarded, valueName] : guardedValues) {
            if (guarded.lock().get() == &key && EqualsNoCase(valueName, name)) return true;
        }
        return false;
    }
};

// SetupDiRemoveDevice of one instance ("PCI\VEN_...\4&..."); false when it fails.
bool RemoveDeviceInstance(MachineState& machine, const std::string& instanceId);

// Whether CreateProcessA would find the command line's program.
bool ProgramExists(const MachineState& machine, std::string_view commandLine);

// A started command line: regsvr32 -u -s MODULE unregisters MODULE. Returns the
// module load the process holds, or null.
std::shared_ptr<ModuleLoad> RunCommandLine(MachineState& machine, const std::string& commandLine);

}  // namespace cvp::memory

namespace cvp {

struct MemoryMachine::State {
    std::shared_ptr<memory::MachineState> shared = std::make_shared<memory::MachineState>();
    memory::MachineState& machine = *shared;
};

}  // namespace cvp
