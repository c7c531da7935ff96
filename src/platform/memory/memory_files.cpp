// The file calls of the in-memory machine: drive C: only.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/image/machine_manifest.h"
#include "platform/image/sddl.h"
#include "platform/memory/file_names.h"
#include "platform/memory/machine_state.h"
#include "platform/memory/profile_file.h"

namespace cvp {
namespace {

using memory::FileNode;
using memory::FilePath;
using memory::FileTree;

constexpr const char* kWindowsDirectory = "C:\\windows";
constexpr const char* kSystemDirectory = "C:\\windows\\system32";
// What SetFileAttributesA can change: R H S A, NORMAL, TEMPORARY, OFFLINE and
// NOT_CONTENT_INDEXED.
constexpr Dword kSettableAttributes = 0x01 | 0x02 | 0x04 | 0x20 | 0x80 | 0x100 | 0x1000 | 0x2000;

// GetWindowsDirectoryA's conventions: the length copied, or the size needed with its
// NUL when the buffer is too small.
unsigned CopyDirectoryName(const char* text, char* buffer, unsigned size) {
    const unsigned length = static_cast<unsigned>(std::strlen(text));
    if (buffer == nullptr || size <= length) return length + 1;
    std::memcpy(buffer, text, length + 1);
    return length;
}

FindData FoundEntry(const std::string& name, Dword attributes) {
    FindData data;
    data.attributes = attributes;
    const size_t length = std::min(name.size(), sizeof data.name - 1);
    std::memcpy(data.name, name.data(), length);
    data.name[length] = '\0';
    return data;
}

// A name matches through itself or through its short name.
bool NameMatches(std::string_view pattern, const std::string& name) {
    if (memory::MatchesWildcard(pattern, name)) return true;
    const std::string shortName = memory::ShortNameOf(name);
    return !shortName.empty() && memory::MatchesWildcard(pattern, shortName);
}

// The names a path leads to, spelt as the files have them.
std::string StoredPath(const FileTree& files, const std::vector<std::string>& names) {
    std::string path = "C:";
    const FileNode* node = &files.root();
    for (const std::string& name : names) {
        const auto found = node->children.find(UpperCopy(name));
        if (found == node->children.end()) return "";
        node = found->second.get();
        path += "\\" + node->name;
    }
    return path;
}

// A file opened for writing. It holds the file's content weakly, as a name does not
// hold it: a file deleted meanwhile takes no more writes.
class MemoryOpenedFile final : public OpenedFile {
  public:
    MemoryOpenedFile(std::weak_ptr<memory::MachineState> machine, std::vector<std::string> names,
                     std::weak_ptr<memory::FileBody> body)
        : machine_(std::move(machine)), names_(std::move(names)), body_(std::move(body)) {}

    bool ReadInformation(FileInformation* information) override {
        const std::shared_ptr<memory::MachineState> machine = machine_.lock();
        const FileNode* node = machine ? machine->files.Find(names_) : nullptr;
        if (information == nullptr || node == nullptr) return false;
        information->attributes = node->attributes;
        information->links = node->links();
        return true;
    }

    // Windows' answer from Vista on; before, the call is missing.
    Dword FinalPath(char* buffer, Dword size) override {
        const std::shared_ptr<memory::MachineState> machine = machine_.lock();
        if (!machine || machine->osVersion.major < 6) return 0;
        const std::string stored = StoredPath(machine->files, names_);
        if (stored.empty()) return 0;
        return CopyDirectoryName(("\\\\?\\" + stored).c_str(), buffer, size);
    }

    // Refused where the drive has no room left for the bytes.
    bool Write(const char* data, Dword size) override {
        const std::shared_ptr<memory::MachineState> machine = machine_.lock();
        const std::shared_ptr<memory::FileBody> body = body_.lock();
        if (!machine || !body || (data == nullptr && size > 0) || size > machine->freeBytes) {
            return false;
        }
        body->content.append(data, size);
        body->profile.reset();
        machine->freeBytes -= size;
        return true;
    }

    // Nothing is held back from the machine: what was written is there while the file is.
    bool Flush() override { return machine_.lock() && body_.lock(); }

  private:
    std::weak_ptr<memory::MachineState> machine_;
    std::vector<std::string> names_;
    std::weak_ptr<memory::FileBody> body_;
};

// A search hands out entries taken when it began.
class MemorySearch final : public FileSearch {
  public:
    explicit MemorySearch(std::vector<FindData> entries) : entries_(std::move(entries)) {}

    bool Next(FindData* data) override {
        if (data == nullptr || next_ >= entries_.size()) return false;
        *data = entries_[next_++];
        return true;
    }

  private:
    std::vector<FindData> entries_;
    size_t next_ = 1;  // the first went out with FindFirstFileA
};

// The node a path names, or null. "file\" names nothing: only a directory takes a
// trailing separator.
FileNode* Lookup(const memory::MachineState& machine, const char* text, FilePath* path) {
    if (text == nullptr || !machine.files.Resolve(text, path)) return nullptr;
    FileNode* node = machine.files.Find(path->names);
    if (node != nullptr && !node->directory && path->trailingSeparator) return nullptr;
    return node;
}

std::vector<std::string> ParentNames(const std::vector<std::string>& names) {
    return std::vector<std::string>(names.begin(), names.end() - (names.empty() ? 0 : 1));
}

bool IsPrefixOf(const std::vector<std::string>& names, const std::vector<std::string>& longer) {
    if (names.size() > longer.size()) return false;
    for (size_t i = 0; i < names.size(); ++i) {
        if (FileTree::Key({names[i]}) != FileTree::Key({longer[i]})) return false;
    }
    return true;
}

// The directory part and the name pattern of a FindFirstFileA pattern.
void SplitPattern(std::string_view pattern, std::string* directory, std::string_view* name) {
    const size_t cut = pattern.find_last_of("\\/");
    if (cut != std::string_view::npos) {
        *directory = std::string(pattern.substr(0, cut + 1));
        *name = pattern.substr(cut + 1);
    } else if (pattern.size() >= 2 && pattern[1] == ':') {
        *directory = std::string(pattern.substr(0, 2));
        *name = pattern.substr(2);
    } else {
        *directory = ".";
        *name = pattern;
    }
}

}  // namespace

unsigned MemoryMachine::WindowsDirectory(char* buffer, unsigned size) {
    return CopyDirectoryName(kWindowsDirectory, buffer, size);
}

unsigned MemoryMachine::SystemDirectory(char* buffer, unsigned size) {
    return CopyDirectoryName(kSystemDirectory, buffer, size);
}

// Entries come sorted by an upper-case compare, as Wine returns them; "." and ".."
// come first where the pattern takes them (a drive's root has neither).
std::unique_ptr<FileSearch> MemoryMachine::FindFirst(const char* pattern, FindData* data) {
    if (pattern == nullptr || data == nullptr) return nullptr;
    std::string directoryText;
    std::string_view namePattern;
    SplitPattern(pattern, &directoryText, &namePattern);
    FilePath directoryPath;
    const FileTree& files = state_->machine.files;
    if (namePattern.empty() || !files.Resolve(directoryText, &directoryPath)) return nullptr;
    const FileNode* directory = files.Find(directoryPath.names);
    if (directory == nullptr || !directory->directory) return nullptr;

    std::vector<FindData> entries;
    if (!directoryPath.names.empty()) {
        const FileNode* parent = files.Find(ParentNames(directoryPath.names));
        if (memory::MatchesWildcard(namePattern, "."))
            entries.push_back(FoundEntry(".", directory->attributes));
        if (memory::MatchesWildcard(namePattern, ".."))
            entries.push_back(FoundEntry("..", parent->attributes));
    }
    for (const auto& child : directory->children) {
        if (NameMatches(namePattern, child.second->name)) {
            entries.push_back(FoundEntry(child.second->name, child.second->attributes));
        }
    }
    if (entries.empty()) return nullptr;
    *data = entries.front();
    return std::make_unique<MemorySearch>(std::move(entries));
}

Dword MemoryMachine::GetAttributes(const char* path) {
    FilePath resolved;
    const FileNode* node = Lookup(state_->machine, path, &resolved);
    return node == nullptr ? kInvalidAttributes : node->attributes;
}

bool MemoryMachine::SetAttributes(const char* path, Dword attributes) {
    FilePath resolved;
    FileNode* node = Lookup(state_->machine, path, &resolved);
    if (node == nullptr) return false;
    node->attributes = ReportedAttributes(node->directory, attributes & kSettableAttributes) |
                       (node->attributes & kAttrReparsePoint);
    return true;
}

bool MemoryMachine::DeleteFileAt(const char* path) {
    memory::MachineState& machine = state_->machine;
    FilePath resolved;
    const FileNode* node = Lookup(machine, path, &resolved);
    if (node == nullptr || node->directory || (node->attributes & kAttrReadOnly)) return false;
    const std::string key = FileTree::Key(resolved.names);
    if (machine.lockedFiles.count(key) != 0 || machine.IsModuleLoaded(key)) return false;
    return machine.files.Remove(resolved.names);
}

// A directory goes only when empty, writable, not a link, and not the current
// directory (which the process holds open without delete sharing) or above it.
// A lock is another program's handle that shares no deletion; a module regsvr32 has
// loaded is held the same way.
bool MemoryMachine::OpenForDelete(const char* path) {
    memory::MachineState& machine = state_->machine;
    FilePath resolved;
    const FileNode* node = Lookup(machine, path, &resolved);
    if (node == nullptr || node->directory) return false;
    const std::string key = FileTree::Key(resolved.names);
    return machine.lockedFiles.count(key) == 0 && !machine.IsModuleLoaded(key);
}

bool MemoryMachine::RemoveDirectoryAt(const char* path) {
    memory::MachineState& machine = state_->machine;
    FilePath resolved;
    const FileNode* node = Lookup(machine, path, &resolved);
    if (node == nullptr || !node->directory || resolved.names.empty() || !node->children.empty() ||
        (node->attributes & (kAttrReadOnly | kAttrReparsePoint)) ||
        machine.lockedFiles.count(FileTree::Key(resolved.names)) != 0 ||
        IsPrefixOf(resolved.names, machine.files.currentDirectory())) {
        return false;
    }
    return machine.files.Remove(resolved.names);
}

// Made with the DACL asked for, owned by the account the program runs as (as on Vista
// and later, and Wine). Nothing is inherited from the parent: a DACL asked for is
// protected, and a folder made without one has the default security.
bool MemoryMachine::CreateDirectoryAt(const char* path, const char* sddl) {
    memory::MachineState& machine = state_->machine;
    FilePath resolved;
    std::string owner;
    Dacl dacl;
    if (path == nullptr || Lookup(machine, path, &resolved) != nullptr || resolved.names.empty() ||
        (sddl != nullptr && (!ParseSecuritySddl(sddl, &owner, &dacl) || !dacl.present))) {
        return false;
    }
    const FileNode* parent = machine.files.Find(ParentNames(resolved.names));
    if (parent == nullptr || !parent->directory) return false;
    FileNode* directory = machine.files.Put(resolved.names, true);
    if (directory == nullptr) return false;
    if (sddl != nullptr) directory->security = "O:" + machine.processUser + FormatDaclSddl(dacl);
    return true;
}

Long MemoryMachine::ReadFileSecurity(const char* path, std::string* sddl) {
    FilePath resolved;
    const FileNode* node = Lookup(state_->machine, path, &resolved);
    if (node == nullptr || sddl == nullptr) return kErrorFileNotFound;
    *sddl = node->security.empty() ? memory::kDefaultFileSecurity : node->security;
    return kErrorSuccess;
}

// A file name without a directory lies in the Windows directory, as
// GetPrivateProfileStringA takes it. A missing file gives the default as it is; an
// existing file gives it through the same quote rule as a value (Wine's way). The
// default loses its trailing blanks either way.
Dword MemoryMachine::ReadProfileString(const char* section, const char* key,
                                       const char* defaultValue, char* buffer, Dword size,
                                       const char* file) {
    std::string_view fallback = defaultValue == nullptr ? "" : defaultValue;
    while (fallback.size() > 1 && fallback.back() == ' ') fallback.remove_suffix(1);
    if (buffer == nullptr || size == 0) return 0;
    if (section == nullptr || key == nullptr || file == nullptr) {
        return memory::CopyProfileText(fallback, false, buffer, size);
    }
    const std::string_view fileName(file);
    const std::string fullName = fileName.find_first_of("\\/") == std::string_view::npos
                                     ? std::string(kWindowsDirectory) + "\\" + file
                                     : std::string(file);
    FilePath resolved;
    const FileNode* node = Lookup(state_->machine, fullName.c_str(), &resolved);
    if (node == nullptr || node->directory)
        return memory::CopyProfileText(fallback, false, buffer, size);
    memory::FileBody& body = *node->body;
    if (!body.profile) body.profile = std::make_shared<memory::ProfileFile>(body.content);
    const std::string* value = body.profile->Find(section, key);
    return memory::CopyProfileText(value != nullptr ? std::string_view(*value) : fallback, true,
                                   buffer, size);
}

// Opened for writing (the purger opens nothing else): a locked file refuses, as does a
// read-only one or a directory. A symbolic link is followed to its target unless the
// flags say to open it itself.
std::unique_ptr<OpenedFile> MemoryMachine::OpenFileAt(const char* path, Dword /*access*/,
                                                      Dword /*share*/, Dword disposition,
                                                      Dword flags) {
    memory::MachineState& machine = state_->machine;
    FilePath resolved;
    FileNode* node = Lookup(machine, path, &resolved);
    if (node != nullptr && !node->linkTarget.empty() && (flags & kFileFlagOpenReparsePoint) == 0) {
        node = Lookup(machine, node->linkTarget.c_str(), &resolved);
        if (node == nullptr) return nullptr;
    }
    if (path == nullptr || resolved.trailingSeparator || resolved.names.empty() ||
        machine.lockedFiles.count(FileTree::Key(resolved.names)) != 0) {
        return nullptr;
    }
    if (node != nullptr && disposition == kCreateNew) return nullptr;
    if (node == nullptr) {
        const FileNode* parent = machine.files.Find(ParentNames(resolved.names));
        if ((disposition != kOpenAlways && disposition != kCreateNew) || parent == nullptr ||
            !parent->directory) {
            return nullptr;
        }
        node = machine.files.Put(resolved.names, false);
        if (node == nullptr) return nullptr;
    } else if (node->directory || (node->attributes & kAttrReadOnly)) {
        return nullptr;
    }
    return std::make_unique<MemoryOpenedFile>(state_->shared, resolved.names, node->body);
}

// GetFullPathNameA: the path against the current directory, as the names were given.
Dword MemoryMachine::FullPath(const char* path, char* buffer, Dword size) {
    FilePath resolved;
    if (path == nullptr || !state_->machine.files.Resolve(path, &resolved)) return 0;
    std::string full = "C:\\";
    for (size_t i = 0; i < resolved.names.size(); ++i) {
        full += (i == 0 ? "" : "\\") + resolved.names[i];
    }
    if (resolved.trailingSeparator && !resolved.names.empty()) full += "\\";
    return CopyDirectoryName(full.c_str(), buffer, size);
}

// Refused for a file that is there, as any opening for writing is, and where the drive
// has no room left for the bytes.
bool MemoryMachine::WriteFileFlushed(const char* path, const char* data, Dword size) {
    if (size > state_->machine.freeBytes) return false;
    const std::unique_ptr<OpenedFile> file =
        OpenFileAt(path, kGenericWrite, kFileShareRead, kCreateNew, kAttrNormal);
    return file != nullptr && file->Write(data, size);
}

// Reading is open to every file that is there, also one that is locked (held open
// elsewhere with read sharing, as a loaded driver is).
bool MemoryMachine::ReadWholeFile(const char* path, std::string* content) {
    FilePath resolved;
    const FileNode* node = Lookup(state_->machine, path, &resolved);
    if (node == nullptr || node->directory || content == nullptr) return false;
    *content = node->content();
    return true;
}

}  // namespace cvp
