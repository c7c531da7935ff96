#include "app/stoppable_platform.h"

#include <algorithm>
#include <utility>

#include "run/registry_reads.h"

namespace cvp {
namespace {

// Pauses and waits are taken in slices this long, so that a stop ends them soon.
constexpr Dword kStopSlice = 50;

// Takes `milliseconds` in slices, each given to `slice`, until a stop or until `slice`
// answers that the wait is over; a wait of 0 is one slice of 0.
template <typename Slice>
void InSlices(const StoppablePlatform& platform, Dword milliseconds, Slice slice) {
    Dword left = milliseconds;
    do {
        if (platform.stopRequested()) return;
        const Dword step = std::min(left, kStopSlice);
        if (!slice(step)) return;
        left -= step;
    } while (left > 0);
}

class StoppableKey final : public RegistryKey {
  public:
    StoppableKey(const StoppablePlatform& platform, std::unique_ptr<RegistryKey> key,
                 std::string objectName)
        : platform_(platform), key_(std::move(key)), objectName_(std::move(objectName)) {}

    Long EnumKey(Dword index, char* name, Dword* nameSize) override {
        return Stopped() ? kErrorAccessDenied : key_->EnumKey(index, name, nameSize);
    }
    Long EnumValue(Dword index, char* name, Dword* nameSize, Dword* type, unsigned char* data,
                   Dword* dataSize) override {
        return Stopped() ? kErrorAccessDenied
                         : key_->EnumValue(index, name, nameSize, type, data, dataSize);
    }
    Long QueryValue(const char* name, Dword* type, unsigned char* data, Dword* dataSize) override {
        return Stopped() ? kErrorAccessDenied : key_->QueryValue(name, type, data, dataSize);
    }
    Long QuerySubkeyCount(Dword* count) override {
        return Stopped() ? kErrorAccessDenied : key_->QuerySubkeyCount(count);
    }
    Long DeleteValue(const char* name) override {
        return Stopped() ? kErrorAccessDenied : key_->DeleteValue(name);
    }
    // A value's take-over, or a Release, through the key's handle.
    Long SetSecurity(Dword securityInformation, const char* sddl) override {
        return platform_.MayWriteDacl(objectName_, sddl)
                   ? key_->SetSecurity(securityInformation, sddl)
                   : kErrorAccessDenied;
    }

  private:
    bool Stopped() const { return platform_.stopRequested(); }

    const StoppablePlatform& platform_;
    std::unique_ptr<RegistryKey> key_;
    std::string objectName_;  // as the security calls name it
};

class StoppableSearch final : public FileSearch {
  public:
    StoppableSearch(const StoppablePlatform& platform, std::unique_ptr<FileSearch> search)
        : platform_(platform), search_(std::move(search)) {}
    bool Next(FindData* data) override { return !platform_.stopRequested() && search_->Next(data); }

  private:
    const StoppablePlatform& platform_;
    std::unique_ptr<FileSearch> search_;
};

class StoppableDeviceSet final : public DeviceSet {
  public:
    StoppableDeviceSet(const StoppablePlatform& platform, std::unique_ptr<DeviceSet> set)
        : platform_(platform), set_(std::move(set)) {}

    bool EnumMember(Dword index) override { return !Stopped() && set_->EnumMember(index); }
    bool ReadProperty(Dword index, Dword property, char* buffer, Dword size) override {
        return !Stopped() && set_->ReadProperty(index, property, buffer, size);
    }
    bool ReadInstanceId(Dword index, char* buffer, Dword size) override {
        return !Stopped() && set_->ReadInstanceId(index, buffer, size);
    }
    bool RemoveMember(Dword index) override { return !Stopped() && set_->RemoveMember(index); }

  private:
    bool Stopped() const { return platform_.stopRequested(); }

    const StoppablePlatform& platform_;
    std::unique_ptr<DeviceSet> set_;
};

// A stop ends the wait as if the process had not ended in time: the stage then goes
// on as it does with a process that hangs, and its next call is refused.
class StoppableProcess final : public Process {
  public:
    StoppableProcess(const StoppablePlatform& platform, std::unique_ptr<Process> process)
        : platform_(platform), process_(std::move(process)) {}

    bool Wait(Dword milliseconds) override {
        bool ended = false;
        InSlices(platform_, milliseconds, [&](Dword step) {
            ended = process_->Wait(step);
            return !ended;
        });
        return ended;
    }

  private:
    const StoppablePlatform& platform_;
    std::unique_ptr<Process> process_;
};

}  // namespace

// --- Registry ---

Long StoppablePlatform::OpenKey(Root root, const char* path, Dword access,
                                std::unique_ptr<RegistryKey>* key) {
    if (stopRequested()) {
        if (key != nullptr) key->reset();
        return kErrorAccessDenied;
    }
    std::unique_ptr<RegistryKey> opened;
    const Long result = inner().registry.OpenKey(root, path, access, &opened);
    if (key != nullptr) {
        key->reset(opened ? new StoppableKey(*this, std::move(opened),
                                             SecurityObjectName(root, path == nullptr ? "" : path))
                          : nullptr);
    }
    return result;
}

Long StoppablePlatform::DeleteTree(Root root, const char* path) {
    return stopRequested() ? kErrorAccessDenied : inner().registry.DeleteTree(root, path);
}

Long StoppablePlatform::ReadKeyDacl(const char* objectName, std::string* sddl) {
    if (stopRequested()) return kErrorAccessDenied;
    const Long result = inner().registry.ReadKeyDacl(objectName, sddl);
    if (result == kErrorSuccess && objectName != nullptr && sddl != nullptr) {
        daclsRead_[objectName] = *sddl;
    }
    return result;
}

// A take-over's Release writes back the DACL its Grant read.
bool StoppablePlatform::MayWriteDacl(const std::string& objectName, const char* sddl) const {
    if (!stopRequested()) return true;
    const auto read = daclsRead_.find(objectName);
    return read != daclsRead_.end() && sddl != nullptr && read->second == sddl;
}

Long StoppablePlatform::WriteKeyDacl(const char* objectName, Dword securityInformation,
                                     const char* sddl) {
    if (objectName == nullptr || !MayWriteDacl(objectName, sddl)) return kErrorAccessDenied;
    return inner().registry.WriteKeyDacl(objectName, securityInformation, sddl);
}

// --- Files ---

unsigned StoppablePlatform::WindowsDirectory(char* buffer, unsigned size) {
    return stopRequested() ? 0 : inner().files.WindowsDirectory(buffer, size);
}

unsigned StoppablePlatform::SystemDirectory(char* buffer, unsigned size) {
    return stopRequested() ? 0 : inner().files.SystemDirectory(buffer, size);
}

std::unique_ptr<FileSearch> StoppablePlatform::FindFirst(const char* pattern, FindData* data) {
    if (stopRequested()) return nullptr;
    std::unique_ptr<FileSearch> search = inner().files.FindFirst(pattern, data);
    if (!search) return nullptr;
    return std::make_unique<StoppableSearch>(*this, std::move(search));
}

Dword StoppablePlatform::GetAttributes(const char* path) {
    const Dword attributes = inner().files.GetAttributes(path);
    if (path != nullptr) attributesRead_[path] = attributes;
    return attributes;
}

// A file whose deletion failed gets back the attributes it was found with.
bool StoppablePlatform::SetAttributes(const char* path, Dword attributes) {
    if (stopRequested()) {
        const auto read = path == nullptr ? attributesRead_.end() : attributesRead_.find(path);
        if (read == attributesRead_.end() || read->second != attributes) return false;
    } else if (path != nullptr) {
        attributesChanged_ = path;
    }
    return inner().files.SetAttributes(path, attributes);
}

// Any deletion before the stop; after it, only the one that finishes a removal under
// way: a file's removal begins with its attributes, and a file left with attributes it
// was not found with would be changed, not removed.
bool StoppablePlatform::MayDelete(const char* path) {
    if (!stopRequested()) return true;
    const bool underWay = path != nullptr && attributesChanged_ == path;
    attributesChanged_.clear();
    return underWay;
}

bool StoppablePlatform::DeleteFileAt(const char* path) {
    return MayDelete(path) && inner().files.DeleteFileAt(path);
}

bool StoppablePlatform::RemoveDirectoryAt(const char* path) {
    return MayDelete(path) && inner().files.RemoveDirectoryAt(path);
}

Dword StoppablePlatform::ReadProfileString(const char* section, const char* key,
                                           const char* defaultValue, char* buffer, Dword size,
                                           const char* file) {
    if (!stopRequested()) {
        return inner().files.ReadProfileString(section, key, defaultValue, buffer, size, file);
    }
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return 0;
}

// --- Devices ---

std::unique_ptr<DeviceSet> StoppablePlatform::OpenPresentDevices(const char* enumerator) {
    if (stopRequested()) return nullptr;
    std::unique_ptr<DeviceSet> set = inner().devices.OpenPresentDevices(enumerator);
    if (!set) return nullptr;
    return std::make_unique<StoppableDeviceSet>(*this, std::move(set));
}

bool StoppablePlatform::UninstallOemInf(const char* infFileName, Dword flags) {
    return !stopRequested() && inner().devices.UninstallOemInf(infFileName, flags);
}

// --- Processes ---

std::unique_ptr<Process> StoppablePlatform::Start(const char* commandLine,
                                                  const char* currentDirectory) {
    if (stopRequested()) return nullptr;
    std::unique_ptr<Process> process = inner().processes.Start(commandLine, currentDirectory);
    if (!process) return nullptr;
    return std::make_unique<StoppableProcess>(*this, std::move(process));
}

// --- System ---

void StoppablePlatform::Sleep(Dword milliseconds) {
    InSlices(*this, milliseconds, [&](Dword step) {
        inner().system.Sleep(step);
        return true;
    });
}

}  // namespace cvp
