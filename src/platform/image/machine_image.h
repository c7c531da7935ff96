// A machine image: the registry and the files of a scenario PC, as a folder that the
// in-memory machine loads and the Wine harness imports into a fresh prefix.
//
//   registry.reg   a regedit export: "Windows Registry Editor Version 5.00" (UTF-16LE
//                  with BOM, or UTF-8/ANSI) or "REGEDIT4" (ANSI)
//   drive_c/       files as they lie on C:
//   machine.txt    optional: what a .reg file and a file tree can't say (see
//                  ReadMachineManifest)
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "platform/types.h"

namespace cvp {

// One change a registry export asks for, in file order.
struct RegistryEdit {
    enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
    Kind kind = Kind::CreateKey;
    Root root = Root::LocalMachine;
    std::string path;       // below the root, no leading or trailing backslash
    std::string valueName;  // "" is the default value
    Dword type = 0;
    // The value's bytes as the ANSI calls return them: string types in the ANSI code
    // page, with whatever terminator the export gave them.
    std::vector<unsigned char> data;
    int line = 0;  // of its key or value line in the export, from 1
};

struct ImageFile {
    std::string path;  // Windows form: C:\windows\inf\oem1.inf
    bool directory = false;
    Dword attributes = 0;  // as GetFileAttributesA reports it
    std::string content;
};

struct KeyDacl {
    Root root = Root::LocalMachine;
    std::string path;
    std::string sddl;  // "D:(D;;KA;;;BA)"
};

struct MachineImage {
    std::vector<RegistryEdit> registry;
    std::vector<ImageFile> files;  // parents before children
    std::vector<KeyDacl> dacls;
    std::vector<std::string> lockedFiles;  // open elsewhere, without delete sharing
};

// Parses a regedit export held in `bytes`. On a fault returns false and sets `error`
// to "FILE:LINE: what is wrong"; `edits` is then left as it was.
bool ReadRegistryExport(const std::string& fileName, const std::string& bytes,
                        std::vector<RegistryEdit>* edits, std::string* error);

// Takes one edit of an export being read; false, with `reason` set, stops the read.
using EditSink = std::function<bool(RegistryEdit&& edit, std::string* reason)>;

// Reads a regedit export from `in` a part at a time, as regedit wrote it (UTF-16LE with
// its BOM, or ANSI), and hands each edit to `take` in file order: memory holds one line,
// however big the file (a line over 16 MiB is refused). A file that does not end as
// regedit ends one, with an empty line, is taken for one cut short. On a fault, or when
// `take` refuses, returns false with `error` "FILE:LINE: what".
bool StreamRegistryExport(const std::string& fileName, std::istream& in, const EditSink& take,
                          std::string* error);

// Loads a machine image folder. On a fault returns false with `error` naming the file
// and line; `image` is then left as it was.
bool LoadMachineImage(const std::string& folder, MachineImage* image, std::string* error);

// "HKEY_LOCAL_MACHINE" and the other full root names, and back.
bool RootFromName(const std::string& name, Root* root);
const char* RootName(Root root);

}  // namespace cvp
