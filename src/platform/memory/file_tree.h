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

// What a file holds, shared by all its names (hard links).
struct FileBody {
    std::string content;
    // The parsed profile of a file read with GetPrivateProfileStringA; dropped when
    // the content changes.
    std::shared_ptr<const ProfileFile> profile;
};

struct FileNode {
    std::string name;
    bool directory = false;
    Dword attributes = 0;
    // Held by the file's names alone (an open file keeps a weak hold), so its count is
    // the number of names.
    std::shared_ptr<FileBody> body = std::make_shared<FileBody>();
    // A symbolic link's target ("C:\windows\win.ini"); its attributes say
    // FILE_ATTRIBUTE_REPARSE_POINT.
    std::string linkTarget;
    // Owner and DACL in SDDL; empty for the default (kDefaultFileSecurity).
    std::string security;
    // By upper-case name, which is also the order FindFirstFileA returns them in.
    std::map<std::string, std::unique_ptr<FileNode>> children;

    const std::string& content() const { return body->content; }
    void SetContent(std::string text) {
        body->content = std::move(text);
        body->profile.reset();
    }
    void Append(const char* data, std::size_t size) {
        body->content.append(data, size);
        body->profile.reset();
    }
    Dword links() const { return static_cast<Dword>(body.use_count()); }
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

    FileNode& root() const { return *root_; }
    const std::vector<std::string>& currentDirectory() const { return currentDirectory_; }

    // "C:\WINDOWS\INF\OEM1.INF": one spelling per file, for locks and loaded modules.
    static std::string Key(const std::vector<std::string>& names);

  private:
    std::unique_ptr<FileNode> root_;
    std::vector<std::string> currentDirectory_{"cvpurger"};
};

}  // namespace cvp::memory
