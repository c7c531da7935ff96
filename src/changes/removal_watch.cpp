#include "changes/removal_watch.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/image/ascii_text.h"
#include "run/registry_reads.h"

namespace cvp {
namespace {

// Large enough for any device description and hardware-ID list Windows keeps.
constexpr Dword kPropertyBuffer = 4096;

std::string WithoutTrailingBackslashes(std::string path) {
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

// The observer hears of a removal before and after; a refused one never reaches the
// machine.
template <typename Remove>
auto Watched(RemovalObserver& observer, const Removal& removal, Remove remove,
             decltype(remove()) refused, decltype(remove()) succeeded) {
    if (!observer.BeforeRemoval(removal)) return refused;
    const auto result = remove();
    observer.AfterRemoval(removal, result == succeeded);
    return result;
}

class WatchedKey final : public RegistryKey {
  public:
    WatchedKey(std::unique_ptr<RegistryKey> key, RemovalObserver& observer, Root root,
               std::string path)
        : key_(std::move(key)), observer_(observer), root_(root), path_(std::move(path)) {}

    Long EnumKey(Dword index, char* name, Dword* nameSize) override {
        return key_->EnumKey(index, name, nameSize);
    }
    Long EnumValue(Dword index, char* name, Dword* nameSize, Dword* type, unsigned char* data,
                   Dword* dataSize) override {
        return key_->EnumValue(index, name, nameSize, type, data, dataSize);
    }
    Long QueryValue(const char* name, Dword* type, unsigned char* data, Dword* dataSize) override {
        return key_->QueryValue(name, type, data, dataSize);
    }
    Long QuerySubkeyCount(Dword* count) override { return key_->QuerySubkeyCount(count); }
    Long DeleteValue(const char* name) override {
        Removal removal{Removal::Kind::Value, root_, path_, name == nullptr ? "" : name, {}};
        return Watched(
            observer_, removal, [&] { return key_->DeleteValue(name); }, kErrorAccessDenied,
            kErrorSuccess);
    }
    // A value's take-over, or its release, through the key's handle.
    Long SetSecurity(Dword securityInformation, const char* sddl) override {
        observer_.BeforeKeyDaclWrite(root_, path_);
        return key_->SetSecurity(securityInformation, sddl);
    }

  private:
    std::unique_ptr<RegistryKey> key_;
    RemovalObserver& observer_;
    Root root_;
    std::string path_;
};

// The strings of a multi-string property, in order.
std::vector<std::string> MultiStrings(const char* data, Dword size) {
    std::vector<std::string> strings;
    for (Dword at = 0; at < size && data[at] != '\0';) {
        const char* end = std::find(data + at, data + size, '\0');
        const std::string text(data + at, end);
        at += static_cast<Dword>(text.size()) + 1;
        strings.push_back(text);
    }
    return strings;
}

class WatchedDeviceSet final : public DeviceSet {
  public:
    WatchedDeviceSet(std::unique_ptr<DeviceSet> set, RemovalObserver& observer)
        : set_(std::move(set)), observer_(observer) {}

    bool EnumMember(Dword index) override { return set_->EnumMember(index); }
    bool ReadProperty(Dword index, Dword property, char* buffer, Dword size) override {
        return set_->ReadProperty(index, property, buffer, size);
    }
    bool ReadInstanceId(Dword index, char* buffer, Dword size) override {
        return set_->ReadInstanceId(index, buffer, size);
    }
    bool RemoveMember(Dword index) override {
        const Removal removal = Describe(index);
        return Watched(
            observer_, removal, [&] { return set_->RemoveMember(index); }, false, true);
    }

  private:
    Removal Describe(Dword index) {
        Removal removal{Removal::Kind::Device, Root::LocalMachine, "", "", {}};
        std::vector<char> buffer(kPropertyBuffer, '\0');
        if (set_->ReadInstanceId(index, buffer.data(), kPropertyBuffer)) {
            removal.path = buffer.data();
        }
        if (set_->ReadProperty(index, kPropertyDeviceDesc, buffer.data(), kPropertyBuffer - 1)) {
            removal.name = buffer.data();
        }
        std::fill(buffer.begin(), buffer.end(), '\0');
        if (set_->ReadProperty(index, kPropertyHardwareId, buffer.data(), kPropertyBuffer - 2)) {
            removal.hardwareIds = MultiStrings(buffer.data(), kPropertyBuffer);
        }
        return removal;
    }

    std::unique_ptr<DeviceSet> set_;
    RemovalObserver& observer_;
};

// The command line's words; a word in double quotes may hold blanks.
std::vector<std::string> CommandWords(const char* commandLine) {
    std::vector<std::string> words;
    for (const char* at = commandLine; *at != '\0';) {
        if (*at == ' ' || *at == '\t') {
            ++at;
            continue;
        }
        std::string word;
        if (*at == '"') {
            for (++at; *at != '\0' && *at != '"'; ++at) word += *at;
            if (*at == '"') ++at;
        } else {
            for (; *at != '\0' && *at != ' ' && *at != '\t'; ++at) word += *at;
        }
        words.push_back(word);
    }
    return words;
}

bool IsProgram(const std::string& path, const char* program) {
    const size_t slash = path.find_last_of("\\/");
    return EqualsNoCase(slash == std::string::npos ? path : path.substr(slash + 1), program);
}

}  // namespace

Long RemovalWatch::OpenKey(Root root, const char* path, Dword access,
                           std::unique_ptr<RegistryKey>* key) {
    const Long result = ForwardingPlatform::OpenKey(root, path, access, key);
    if (result == kErrorSuccess && key != nullptr && *key) {
        *key = std::make_unique<WatchedKey>(std::move(*key), observer_, root,
                                            WithoutTrailingBackslashes(path));
    }
    return result;
}

Long RemovalWatch::DeleteTree(Root root, const char* path) {
    const Removal removal{Removal::Kind::Key, root, WithoutTrailingBackslashes(path), "", {}};
    return Watched(
        observer_, removal, [&] { return ForwardingPlatform::DeleteTree(root, path); },
        kErrorAccessDenied, kErrorSuccess);
}

Long RemovalWatch::WriteKeyDacl(const char* objectName, Dword securityInformation,
                                const char* sddl) {
    Root root = Root::LocalMachine;
    std::string path;
    if (ParseSecurityObjectName(objectName, &root, &path)) {
        observer_.BeforeKeyDaclWrite(root, WithoutTrailingBackslashes(path));
    }
    return ForwardingPlatform::WriteKeyDacl(objectName, securityInformation, sddl);
}

bool RemovalWatch::SetAttributes(const char* path, Dword attributes) {
    observer_.BeforeAttributeChange(path);
    return ForwardingPlatform::SetAttributes(path, attributes);
}

bool RemovalWatch::DeleteFileAt(const char* path) {
    const Removal removal{Removal::Kind::File, Root::LocalMachine, path, "", {}};
    return Watched(
        observer_, removal, [&] { return ForwardingPlatform::DeleteFileAt(path); }, false, true);
}

bool RemovalWatch::RemoveDirectoryAt(const char* path) {
    const Removal removal{Removal::Kind::Folder, Root::LocalMachine, path, "", {}};
    return Watched(
        observer_, removal, [&] { return ForwardingPlatform::RemoveDirectoryAt(path); }, false,
        true);
}

std::unique_ptr<DeviceSet> RemovalWatch::OpenPresentDevices(const char* enumerator) {
    std::unique_ptr<DeviceSet> set = ForwardingPlatform::OpenPresentDevices(enumerator);
    if (!set) return nullptr;
    return std::make_unique<WatchedDeviceSet>(std::move(set), observer_);
}

// The published INF goes with its driver package: a file removal.
bool RemovalWatch::UninstallOemInf(const char* infFileName, Dword flags) {
    char windows[kTextSize];
    const unsigned length = ForwardingPlatform::WindowsDirectory(windows, kTextSize);
    if (infFileName == nullptr || length == 0 || length >= static_cast<unsigned>(kTextSize)) {
        return ForwardingPlatform::UninstallOemInf(infFileName, flags);
    }
    const std::string inf = std::string(windows) + "\\inf\\" + infFileName;
    const Removal removal{Removal::Kind::File, Root::LocalMachine, inf, "", {}};
    return Watched(
        observer_, removal, [&] { return ForwardingPlatform::UninstallOemInf(infFileName, flags); },
        false, true);
}

std::unique_ptr<Process> RemovalWatch::Start(const char* commandLine,
                                             const char* currentDirectory) {
    Removal removal;
    if (!UnregistrationOf(commandLine, &removal)) {
        return ForwardingPlatform::Start(commandLine, currentDirectory);
    }
    if (!observer_.BeforeRemoval(removal)) return nullptr;
    std::unique_ptr<Process> process = ForwardingPlatform::Start(commandLine, currentDirectory);
    observer_.AfterRemoval(removal, process != nullptr);
    return process;
}

bool RemovalWatch::UnregistrationOf(const char* commandLine, Removal* removal) {
    const std::vector<std::string> words = CommandWords(commandLine);
    if (words.size() < 3 || !IsProgram(words.front(), "regsvr32.exe")) return false;
    bool unregister = false;
    for (size_t i = 1; i + 1 < words.size(); ++i) {
        if (EqualsNoCase(words[i], "-u") || EqualsNoCase(words[i], "/u")) unregister = true;
    }
    if (!unregister) return false;
    *removal = Removal{Removal::Kind::Module, Root::LocalMachine, words.back(), "", {}};
    return true;
}

}  // namespace cvp
