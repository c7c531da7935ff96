// Applying a machine image: everything is checked first, then done, so that a refused
// image leaves the machine as it was.
#include <map>

#include "platform/image/ascii_text.h"
#include "platform/image/machine_manifest.h"
#include "platform/image/windows_names.h"
#include "platform/memory/machine_state.h"

namespace cvp {
namespace {

using memory::FilePath;
using memory::FileTree;
using memory::MachineState;

std::string KeyText(Root root, const std::string& path) {
    return std::string(RootName(root)) + (path.empty() ? "" : "\\" + path);
}

// Image paths are absolute: "C:\...".
bool ResolveImagePath(const MachineState& machine, const std::string& text, FilePath* path) {
    return text.size() >= 3 && UpperAscii(text[0]) == 'C' && text[1] == ':' &&
           (text[2] == '\\' || text[2] == '/') && machine.files.Resolve(text, path) &&
           !path->names.empty();
}

class ImageApplier {
  public:
    ImageApplier(MachineState& machine, const MachineImage& image)
        : machine_(machine), image_(image) {}

    bool Check(std::string* error) {
        return CheckRegistry(error) && CheckFiles(error) && CheckDacls(error) && CheckLocks(error);
    }

    void Apply() {
        ApplyRegistry();
        ApplyFiles();
        for (size_t i = 0; i < image_.dacls.size(); ++i) {
            const KeyDacl& entry = image_.dacls[i];
            memory::RegKey* key = machine_.registry.Find(CanonicalKey(entry.root, entry.path));
            if (key != nullptr) key->SetDacl(dacls_[i]);
        }
        for (const std::string& path : image_.lockedFiles) {
            FilePath resolved;
            ResolveImagePath(machine_, path, &resolved);
            machine_.lockedFiles.insert(FileTree::Key(resolved.names));
        }
    }

  private:
    static bool Fail(std::string* error, const std::string& what) {
        *error = what;
        return false;
    }

    bool CheckRegistry(std::string* error) {
        for (const RegistryEdit& edit : image_.registry) {
            const KeyLocation key = CanonicalKey(edit.root, edit.path);
            std::vector<std::string_view> names;
            std::string problem;
            const std::string where = "registry edit " + KeyText(edit.root, edit.path) + ": ";
            if (!SplitKeyPath(key.path, &names, &problem)) return Fail(error, where + problem);
            if (edit.kind == RegistryEdit::Kind::DeleteKey && names.empty()) {
                return Fail(error, where + "a root key cannot be deleted");
            }
            if (edit.valueName.size() > kMaxValueNameLength) {
                return Fail(error, where + "value name longer than 16383 characters");
            }
        }
        return true;
    }

    // A file may not stand where the machine or the image has a directory, nor a
    // directory where either has a file, at the path itself or above it.
    bool CheckFiles(std::string* error) {
        for (const ImageFile& file : image_.files) {
            FilePath path;
            if (!ResolveImagePath(machine_, file.path, &path)) {
                return Fail(error, "file " + file.path + ": not a path on drive C:");
            }
            for (size_t depth = 1; depth <= path.names.size(); ++depth) {
                const std::vector<std::string> names(path.names.begin(),
                                                     path.names.begin() + depth);
                const bool wantDirectory = file.directory || depth < path.names.size();
                if (!CanHold(names, wantDirectory)) {
                    return Fail(error, "file " + file.path + ": a " +
                                           (wantDirectory ? "file" : "directory") +
                                           " is in the way");
                }
            }
            for (const std::string& name : path.names) {
                if (!IsWindowsFileName(name)) {
                    return Fail(error, "file " + file.path + ": not a name Windows can hold");
                }
            }
            planned_[FileTree::Key(path.names)] = file.directory;
        }
        return true;
    }

    bool CanHold(const std::vector<std::string>& names, bool directory) const {
        const auto planned = planned_.find(FileTree::Key(names));
        if (planned != planned_.end()) return planned->second == directory;
        const memory::FileNode* existing = machine_.files.Find(names);
        return existing == nullptr || existing->directory == directory;
    }

    bool CheckDacls(std::string* error) {
        for (const KeyDacl& entry : image_.dacls) {
            auto dacl = std::make_shared<Dacl>();
            const std::string where = "dacl " + KeyText(entry.root, entry.path) + ": ";
            if (!ParseDaclSddl(entry.sddl, dacl.get()))
                return Fail(error, where + "bad SDDL " + entry.sddl);
            if (!KeyWillExist(CanonicalKey(entry.root, entry.path)))
                return Fail(error, where + "no such key");
            dacls_.push_back(std::move(dacl));
        }
        return true;
    }

    bool KeyWillExist(const KeyLocation& key) const {
        std::vector<std::string_view> names;
        std::string problem;
        if (!SplitKeyPath(key.path, &names, &problem)) return false;
        switch (KeyFateAfterEdits(image_.registry, key)) {
            case KeyFate::Present:
                return true;
            case KeyFate::Absent:
                return false;
            case KeyFate::Untouched:
                break;
        }
        return machine_.registry.Find(key) != nullptr;
    }

    bool CheckLocks(std::string* error) {
        for (const std::string& path : image_.lockedFiles) {
            FilePath resolved;
            if (!ResolveImagePath(machine_, path, &resolved)) {
                return Fail(error, "locked file " + path + ": not a path on drive C:");
            }
        }
        return true;
    }

    // Consecutive edits of one key (an export's values) reuse the key found last.
    void ApplyRegistry() {
        memory::RegKey* lastKey = nullptr;
        const RegistryEdit* lastEdit = nullptr;
        for (const RegistryEdit& edit : image_.registry) {
            const KeyLocation where = CanonicalKey(edit.root, edit.path);
            const bool sameKey =
                lastEdit != nullptr && lastEdit->root == edit.root && lastEdit->path == edit.path;
            switch (edit.kind) {
                case RegistryEdit::Kind::CreateKey:
                    lastKey = machine_.registry.Create(where);
                    break;
                case RegistryEdit::Kind::DeleteKey:
                    machine_.registry.Delete(where);
                    lastKey = nullptr;
                    break;
                case RegistryEdit::Kind::SetValue:
                    if (!sameKey || lastKey == nullptr) lastKey = machine_.registry.Create(where);
                    lastKey->SetValue(edit.valueName, edit.type, edit.data);
                    break;
                case RegistryEdit::Kind::DeleteValue:
                    if (!sameKey || lastKey == nullptr) lastKey = machine_.registry.Find(where);
                    if (lastKey != nullptr) lastKey->RemoveValue(edit.valueName);
                    break;
            }
            lastEdit = &edit;
        }
    }

    void ApplyFiles() {
        for (const ImageFile& file : image_.files) {
            FilePath path;
            ResolveImagePath(machine_, file.path, &path);
            memory::FileNode* node = machine_.files.Put(path.names, file.directory);
            if (node == nullptr) continue;  // not reached: checked above
            node->attributes = ReportedAttributes(file.directory, file.attributes);
            if (!file.directory) node->SetContent(file.content);
        }
    }

    MachineState& machine_;
    const MachineImage& image_;
    std::map<std::string, bool> planned_;  // FileTree::Key -> is a directory
    std::vector<std::shared_ptr<const Dacl>> dacls_;
};

}  // namespace

bool MemoryMachine::Apply(const MachineImage& image, std::string* error) {
    ImageApplier applier(state_->machine, image);
    std::string message;
    if (!applier.Check(&message)) {
        if (error != nullptr) *error = message;
        return false;
    }
    applier.Apply();
    return true;
}

}  // namespace cvp
