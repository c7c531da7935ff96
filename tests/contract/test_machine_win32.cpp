#include <windows.h>
// windows.h first: shlwapi.h relies on its types.
#include <shlwapi.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "contract/test_machine.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

namespace cvp::contract {
namespace {

using win32::UniqueHandle;
using win32::UniqueKey;

using win32::RootKey;

// The object names the security calls take for registry keys.
std::string KeyObjectName(Root root, const std::string& path) {
    const char* prefix = "MACHINE";
    switch (root) {
        case Root::ClassesRoot:
            prefix = "CLASSES_ROOT";
            break;
        case Root::CurrentUser:
            prefix = "CURRENT_USER";
            break;
        case Root::LocalMachine:
            prefix = "MACHINE";
            break;
        case Root::Users:
            prefix = "USERS";
            break;
        case Root::CurrentConfig:
            prefix = "CURRENT_CONFIG";
            break;
    }
    return std::string(prefix) + "\\" + path;
}

std::string Failure(const char* what, const std::string& path, DWORD code) {
    return std::string(what) + " " + path + ": error " + std::to_string(code);
}

// A key that denies us can still be opened up by its owner; it exists when opening
// fails for any other reason than its absence.
bool KeyExists(Root root, const std::string& path) {
    HKEY key = nullptr;
    const LONG result = RegOpenKeyExA(RootKey(root), path.c_str(), 0, READ_CONTROL, &key);
    if (result == ERROR_SUCCESS) RegCloseKey(key);
    return result != ERROR_FILE_NOT_FOUND && result != ERROR_PATH_NOT_FOUND;
}

bool PathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The shallowest prefix of `path` (split at backslashes, from `first` on) for which
// `exists` is false: what creating `path` brings into being.
template <typename Exists>
std::string FirstMissing(const std::string& path, std::string::size_type first, Exists exists) {
    std::string::size_type end = first;
    while (true) {
        end = path.find('\\', end + 1);
        const std::string prefix = path.substr(0, end);
        if (!exists(prefix)) return prefix;
        if (end == std::string::npos) return {};
    }
}

class Win32TestMachine : public TestMachine {
  public:
    Win32TestMachine() { Clear(); }
    ~Win32TestMachine() override { Clear(); }

    Platform platform() override { return platform_.platform(); }

    bool Apply(const MachineImage& image, std::string* error) override {
        for (const RegistryEdit& edit : image.registry) {
            if (!ApplyEdit(edit, error)) return false;
        }
        for (const ImageFile& file : image.files) {
            if (!ApplyFile(file, error)) return false;
        }
        // Through the key's handle, which keeps the DACL as written, protected flag and
        // all, as the in-memory machine takes an image's.
        for (const KeyDacl& dacl : image.dacls) {
            std::unique_ptr<RegistryKey> key;
            Long result = platform_.OpenKey(dacl.root, dacl.path.c_str(), WRITE_DAC, &key);
            if (result == kErrorSuccess) {
                result = key->SetSecurity(kDaclSecurityInformation, dacl.sddl.c_str());
            }
            if (result != kErrorSuccess) {
                *error = Failure("RegSetKeySecurity", dacl.path, static_cast<DWORD>(result));
                return false;
            }
        }
        for (const std::string& path : image.lockedFiles) {
            // Open elsewhere without write or delete sharing, as a loaded driver is.
            HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE) {
                *error = Failure("CreateFileA (lock)", path, GetLastError());
                return false;
            }
            locks_.emplace_back(file);
        }
        return true;
    }

    bool ReadFileBytes(const std::string& path, std::string* content) override {
        UniqueHandle file(win32::ValidOrNull(CreateFileA(
            path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, 0, nullptr)));
        if (!file) return false;
        content->clear();
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(file.get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) {
            content->append(chunk, got);
        }
        return true;
    }

    std::string CurrentDirectory() override {
        char buffer[MAX_PATH] = {};
        const DWORD length = GetCurrentDirectoryA(MAX_PATH, buffer);
        std::string directory(buffer, length < MAX_PATH ? length : 0);
        if (!directory.empty() && directory.back() == '\\') directory.pop_back();
        return directory;
    }

    bool AddHardLink(const std::string& existing, const std::string& link) override {
        return CreateHardLinkA(link.c_str(), existing.c_str(), nullptr) != FALSE;
    }

    bool ReadOnlyFilesRefuseWrites() override {
        const char probe[] = "C:\\cvpurger-contract-probe.txt";
        ForceRemove(probe);
        {
            UniqueHandle file(win32::ValidOrNull(CreateFileA(
                probe, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)));
            if (!file) return true;
        }
        SetFileAttributesA(probe, FILE_ATTRIBUTE_READONLY);
        const bool refused = !UniqueHandle(win32::ValidOrNull(CreateFileA(
            probe, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
        ForceRemove(probe);
        return refused;
    }

    bool MakeKeyLink(const std::string& link, const std::string& target) override {
        HKEY created = nullptr;
        const std::wstring name(link.begin(), link.end());
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, name.c_str(), 0, nullptr,
                            REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &created,
                            nullptr) != ERROR_SUCCESS) {
            return false;
        }
        const UniqueKey key(created);
        const std::string full = "\\REGISTRY\\MACHINE\\" + target;
        const std::wstring value(full.begin(), full.end());
        return RegSetValueExW(key.get(), L"SymbolicLinkValue", 0, REG_LINK,
                              reinterpret_cast<const BYTE*>(value.data()),
                              static_cast<DWORD>(value.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
    }

  private:
    bool ApplyEdit(const RegistryEdit& edit, std::string* error) {
        const HKEY root = RootKey(edit.root);
        switch (edit.kind) {
            case RegistryEdit::Kind::CreateKey:
            case RegistryEdit::Kind::SetValue: {
                NoteNewKey(edit.root, edit.path);
                HKEY created = nullptr;
                LONG result = RegCreateKeyExA(root, edit.path.c_str(), 0, nullptr, 0,
                                              KEY_ALL_ACCESS, nullptr, &created, nullptr);
                if (result != ERROR_SUCCESS) {
                    *error = Failure("RegCreateKeyExA", edit.path, result);
                    return false;
                }
                UniqueKey key(created);
                if (edit.kind == RegistryEdit::Kind::CreateKey) return true;
                result = RegSetValueExA(
                    key.get(), edit.valueName.empty() ? nullptr : edit.valueName.c_str(), 0,
                    edit.type, edit.data.empty() ? nullptr : edit.data.data(),
                    static_cast<DWORD>(edit.data.size()));
                if (result != ERROR_SUCCESS) {
                    *error = Failure("RegSetValueExA", edit.path + "\\" + edit.valueName, result);
                    return false;
                }
                return true;
            }
            case RegistryEdit::Kind::DeleteKey: {
                const LONG result = SHDeleteKeyA(root, edit.path.c_str());
                if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
                    *error = Failure("SHDeleteKeyA", edit.path, result);
                    return false;
                }
                return true;
            }
            case RegistryEdit::Kind::DeleteValue: {
                HKEY opened = nullptr;
                LONG result = RegOpenKeyExA(root, edit.path.c_str(), 0, KEY_SET_VALUE, &opened);
                if (result == ERROR_FILE_NOT_FOUND) return true;
                if (result != ERROR_SUCCESS) {
                    *error = Failure("RegOpenKeyExA", edit.path, result);
                    return false;
                }
                UniqueKey key(opened);
                result = RegDeleteValueA(key.get(), edit.valueName.c_str());
                if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
                    *error = Failure("RegDeleteValueA", edit.path + "\\" + edit.valueName, result);
                    return false;
                }
                return true;
            }
        }
        return true;
    }

    bool ApplyFile(const ImageFile& file, std::string* error) {
        const char* path = file.path.c_str();
        NoteNewPath(file.path);
        const DWORD extra = file.attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
        if (file.directory) {
            if (!CreateDirectoryA(path, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
                *error = Failure("CreateDirectoryA", file.path, GetLastError());
                return false;
            }
            if (extra != 0 && !SetFileAttributesA(path, extra)) {
                *error = Failure("SetFileAttributesA", file.path, GetLastError());
                return false;
            }
            return true;
        }
        // An earlier read-only copy would refuse to be overwritten.
        if (PathExists(file.path)) SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
        {
            UniqueHandle handle(win32::ValidOrNull(CreateFileA(
                path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)));
            if (!handle) {
                *error = Failure("CreateFileA", file.path, GetLastError());
                return false;
            }
            DWORD written = 0;
            if (!file.content.empty() &&
                (!WriteFile(handle.get(), file.content.data(),
                            static_cast<DWORD>(file.content.size()), &written, nullptr) ||
                 written != file.content.size())) {
                *error = Failure("WriteFile", file.path, GetLastError());
                return false;
            }
        }
        if (!SetFileAttributesA(path, extra != 0 ? extra : FILE_ATTRIBUTE_NORMAL)) {
            *error = Failure("SetFileAttributesA", file.path, GetLastError());
            return false;
        }
        return true;
    }

    // Keys and files an image brings into being outside the scratch areas (device
    // instances under Enum, driver keys) are remembered by their topmost new part and
    // taken away with the machine.
    void NoteNewKey(Root root, const std::string& path) {
        const std::string top =
            FirstMissing(path, 0, [root](const std::string& p) { return KeyExists(root, p); });
        if (!top.empty()) createdKeys_.emplace_back(root, top);
    }

    void NoteNewPath(const std::string& path) {
        // Past "C:\", whose existence is not in question.
        const std::string top = FirstMissing(path, 2, PathExists);
        if (!top.empty()) createdPaths_.push_back(top);
    }

    void Clear() {
        locks_.clear();
        for (auto it = createdKeys_.rbegin(); it != createdKeys_.rend(); ++it) {
            ForceDeleteKey(it->first, it->second);
        }
        createdKeys_.clear();
        for (auto it = createdPaths_.rbegin(); it != createdPaths_.rend(); ++it) {
            ForceRemove(*it);
        }
        createdPaths_.clear();
        ForceDeleteKey(Root::LocalMachine, kScratchKey);
        ForceRemove(kScratchDir);
    }

    void ForceDeleteKey(Root root, const std::string& path) {
        const LONG result = SHDeleteKeyA(RootKey(root), path.c_str());
        if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) return;
        // A key that denies us: open it up, and its children one by one, since Wine
        // does not hand an inheritable ACE down to existing subkeys.
        platform_.WriteKeyDacl(KeyObjectName(root, path).c_str(), kDaclSecurityInformation,
                               "D:(A;CI;GA;;;WD)");
        std::vector<std::string> children;
        HKEY opened = nullptr;
        if (RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &opened) ==
            ERROR_SUCCESS) {
            UniqueKey key(opened);
            char name[MAX_PATH];
            DWORD size = MAX_PATH;
            for (DWORD index = 0; RegEnumKeyExA(key.get(), index, name, &size, nullptr, nullptr,
                                                nullptr, nullptr) == ERROR_SUCCESS;
                 ++index, size = MAX_PATH) {
                children.emplace_back(name);
            }
        }
        for (const std::string& child : children) ForceDeleteKey(root, path + "\\" + child);
        SHDeleteKeyA(RootKey(root), path.c_str());
    }

    // Removes a file or a directory tree, whatever its attributes.
    void ForceRemove(const std::string& path) {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            if (!DeleteFileA(path.c_str())) RemoveDirectoryA(path.c_str());
            return;
        }
        std::vector<std::string> entries;
        WIN32_FIND_DATAA found;
        win32::UniqueFind search(
            win32::ValidOrNull(FindFirstFileA((path + "\\*").c_str(), &found)));
        if (search) {
            do {
                const std::string name = found.cFileName;
                if (name != "." && name != "..") entries.push_back(path + "\\" + name);
            } while (FindNextFileA(search.get(), &found));
        }
        for (const std::string& entry : entries) ForceRemove(entry);
        RemoveDirectoryA(path.c_str());
    }

    Win32Platform platform_;
    std::vector<UniqueHandle> locks_;
    std::vector<std::pair<Root, std::string>> createdKeys_;
    std::vector<std::string> createdPaths_;
};

}  // namespace

std::unique_ptr<TestMachine> NewTestMachine() { return std::make_unique<Win32TestMachine>(); }

}  // namespace cvp::contract
