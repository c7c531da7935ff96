// What a run asks Windows to remove, one request at a time, as the seam sees it. The
// record of a run's changes is made of these: a receipt keeps what each one took, a
// preview lists them without letting any happen.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

namespace cvp {

struct Removal {
    enum class Kind {
        Key,     // a key with its whole subtree (SHDeleteKeyA)
        Value,   // one value of a key that stays (RegDeleteValueA)
        File,    // DeleteFileA
        Folder,  // RemoveDirectoryA
        Device,  // SetupDiRemoveDevice: the device and the keys Windows takes with it
        Module,  // regsvr32 -u: what the module's own unregistration removes
    };

    Kind kind = Kind::Key;
    Root root = Root::LocalMachine;  // a key's or a value's
    // A key without a trailing backslash; a file's, a folder's or a module's full path;
    // a device's instance ID ("PCI\VEN_...\4&...").
    std::string path;
    std::string name;                      // a value's name; a device's description
    std::vector<std::string> hardwareIds;  // a device's
};

}  // namespace cvp
