// The in-memory C: drive.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace cvp::memory {

class ProfileFile;

// What the drive's root allows, as on Windows: everything to the system and the
// administrators, reading to the users, passed on to every file and folder below.
inline constexpr const char* kDriveSecurity =
    "O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// Security given as SDDL, with the administrators as owner when it names none (the
// default owner of what an administrator's process creates).
std::string OwnedSecurity(const std::string& sddl);

struct FileNode {
    std::string name;
    bool directory = false;
    Dword attributes = 0;
    std::string content;
    // Owner and DACL in SDDL when set on this node; "" takes its folder's.
    std::string security;
    // By upper-case name, which is also the order FindFirstFileA returns them in.
    std::map<std::string, std::unique_ptr<FileNode>> children;
    // The parsed profile of a file read with GetPrivateProfileStringA; dropped when
    // the content changes.
    mutable std::shared_ptr<const ProfileFile> profile;

    void SetContent(std::string text) {
        content = std::move(text);
        profile.reset();
    }
};

// A path as the ANSI file calls take it: the names below C:\ it leads to.
struct FilePath {
    std::vector<std::string> names;
    bool trailingSeparator = false;  // "C:\windows\": only a directory answers to it
};

class FileTree {
  public:
    FileTree();

    // '\' or '/', "." and "..", a drive-relative or relative path against the current
    // directory, repeated separators. False for another drive, a UNC or device path,
    // or a path longer than MAX_PATH.
    bool Resolve(std::string_view text, FilePath* path) const;

    FileNode* Find(const std::vector<std::string>& names) const;
    // Creates the node and missing parent directories; null when a file is in the way
    // or a name can't be created.
    FileNode* Put(const std::vector<std::string>& names, bool directory);
    bool CanPut(const std::vector<std::string>& names, bool directory) const;
    bool Remove(const std::vector<std::string>& names);
    // The security a node has: its own, or the nearest folder's above it that has one.
    // Entries a folder passes on are not rewritten as inherited ones, as Windows writes
    // them; who may write is the same.
    std::string SecurityOf(const std::vector<std::string>& names) const;

    FileNode& root() const { return *root_; }
    const std::vector<std::string>& currentDirectory() const { return currentDirectory_; }

    // "C:\WINDOWS\INF\OEM1.INF": one spelling per file, for locks and loaded modules.
    static std::string Key(const std::vector<std::string>& names);

  private:
    std::unique_ptr<FileNode> root_;
    std::vector<std::string> currentDirectory_{"cvpurger"};
};

}  // namespace cvp::memory
