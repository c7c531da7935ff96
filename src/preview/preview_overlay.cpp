#include "preview/preview_overlay.h"

#include <cstring>
#include <optional>
#include <vector>

#include "changes/footprints.h"
#include "changes/removal_watch.h"
#include "platform/image/ascii_text.h"
#include "preview/hidden_state.h"
#include "run/progress.h"
#include "run/registry_reads.h"

namespace cvp {
namespace {

using Hidden = PreviewOverlay::Hidden;

// What RegEnumKeyExA and friends answer on a key deleted while it is open.
constexpr Long kErrorKeyDeleted = 1018;
constexpr Dword kKeyNameBuffer = 256;      // 255 characters and the NUL
constexpr Dword kValueNameBuffer = 16384;  // 16,383 characters and the NUL
// Instance IDs are at most 200 characters (MAX_DEVICE_ID_LEN).
constexpr Dword kInstanceIdBuffer = 201;

bool AsksToChange(Dword access) {
    return (access & (kKeySetValue | kKeyCreateSubKey | kDelete | kWriteDac | kWriteOwner |
                      kGenericWrite | kGenericAll)) != 0;
}

// An index walk over the entries (subkeys or values) of one open key, in the view: the
// machine's entries less those the view removed. The cursor remembers where the last
// answer lay among the machine's entries, so that a walk by rising index reads each
// entry once; a walk that removes the entry it was just given and asks for the same
// index again goes on from there, as the machine itself would answer.
class EntryCursor {
  public:
    // A cursor made now needs none of the removals made before it.
    explicit EntryCursor(size_t seen) : seen_(seen) {}

    // The machine's index of the view's entry `index`, with its name; false with the
    // machine's answer when there is no such entry. `enumerate` reads the machine's
    // entry at an index into `name` (a buffer of `size` characters).
    template <typename Enumerate, typename Gone>
    Long Find(Dword index, const Hidden& hidden, const std::string& key, bool values,
              Enumerate enumerate, Gone gone, Dword* machineIndex, std::string* name) {
        Follow(hidden, key, values);
        if (index < visible_) Restart(hidden);
        while (true) {
            const Long result = enumerate(next_, name);
            if (result != kErrorSuccess && result != kErrorMoreData) return result;
            const bool removed = result == kErrorSuccess && gone(*name);
            ++next_;
            if (removed) {
                last_.reset();
                continue;
            }
            if (result == kErrorSuccess) {
                last_ = LowerCopy(*name);
            } else {
                last_.reset();
            }
            if (visible_++ == index) {
                *machineIndex = next_ - 1;
                return result;
            }
        }
    }

  private:
    // Removals since the last answer: the entry just answered shifts the view's indexes
    // by one; any other entry of this key moved in an unknown place, so start over.
    void Follow(const Hidden& hidden, const std::string& key, bool values) {
        for (; seen_ < hidden.events.size(); ++seen_) {
            const Hidden::Event& event = hidden.events[seen_];
            if (event.value != values || event.parent != key) continue;
            if (last_ && *last_ == event.name) {
                --visible_;
                last_.reset();
            } else {
                Restart(hidden);
                return;
            }
        }
    }

    void Restart(const Hidden& hidden) {
        visible_ = 0;
        next_ = 0;
        last_.reset();
        seen_ = hidden.events.size();
    }

    Dword visible_ = 0;                // view entries among the machine's entries before `next_`
    Dword next_ = 0;                   // the machine's next index to read
    std::optional<std::string> last_;  // lower-case name at `next_` - 1, when in view
    size_t seen_ = 0;                  // events followed so far
};

// RegEnumKeyExA's name copy: the size counts the NUL going in and not coming out.
Long CopyName(const std::string& text, char* name, Dword* nameSize) {
    if (name == nullptr || nameSize == nullptr) return kErrorInvalidParameter;
    if (text.size() >= *nameSize) return kErrorMoreData;
    std::memcpy(name, text.c_str(), text.size() + 1);
    *nameSize = static_cast<Dword>(text.size());
    return kErrorSuccess;
}

// An open key of the view. Without a machine key it is a key the view took over that
// this process may not read: writes succeed as the take-over would let them, reads are
// refused.
class ViewKey final : public RegistryKey {
  public:
    ViewKey(std::unique_ptr<RegistryKey> key, PreviewOverlay& view, Hidden& hidden, Root root,
            std::string path, std::string identity, bool writable)
        : key_(std::move(key)),
          view_(view),
          hidden_(hidden),
          root_(root),
          path_(std::move(path)),
          identity_(std::move(identity)),
          writable_(writable),
          subkeys_(hidden.events.size()),
          values_(hidden.events.size()) {}

    Long EnumKey(Dword index, char* name, Dword* nameSize) override {
        if (const Long refused = Refusal()) return refused;
        std::string found;
        Dword at = 0;
        const Long result = subkeys_.Find(
            index, hidden_, identity_, false,
            [&](Dword i, std::string* text) {
                char buffer[kKeyNameBuffer];
                Dword size = kKeyNameBuffer;
                const Long read = key_->EnumKey(i, buffer, &size);
                if (read == kErrorSuccess) text->assign(buffer, size);
                return read;
            },
            [&](const std::string& text) { return hidden_.SubkeyGone(identity_, text); }, &at,
            &found);
        if (result == kErrorMoreData) return key_->EnumKey(at, name, nameSize);
        if (result != kErrorSuccess) return result;
        return CopyName(found, name, nameSize);
    }

    Long EnumValue(Dword index, char* name, Dword* nameSize, Dword* type, unsigned char* data,
                   Dword* dataSize) override {
        if (const Long refused = Refusal()) return refused;
        std::string found;
        Dword at = 0;
        const Long result = values_.Find(
            index, hidden_, identity_, true,
            [&](Dword i, std::string* text) {
                char buffer[kValueNameBuffer];
                Dword size = kValueNameBuffer;
                const Long read = key_->EnumValue(i, buffer, &size, nullptr, nullptr, nullptr);
                if (read == kErrorSuccess) text->assign(buffer, size);
                return read;
            },
            [&](const std::string& text) { return hidden_.ValueGone(identity_, text); }, &at,
            &found);
        if (result != kErrorSuccess && result != kErrorMoreData) return result;
        if (result == kErrorSuccess && type == nullptr && data == nullptr && dataSize == nullptr) {
            return CopyName(found, name, nameSize);
        }
        return key_->EnumValue(at, name, nameSize, type, data, dataSize);
    }

    Long QueryValue(const char* name, Dword* type, unsigned char* data, Dword* dataSize) override {
        if (const Long refused = Refusal()) return refused;
        if (hidden_.ValueGone(identity_, name == nullptr ? "" : name)) return kErrorFileNotFound;
        return key_->QueryValue(name, type, data, dataSize);
    }

    Long QuerySubkeyCount(Dword* count) override {
        if (const Long refused = Refusal()) return refused;
        const Long result = key_->QuerySubkeyCount(count);
        if (result != kErrorSuccess || count == nullptr) return result;
        const auto removed = hidden_.removedSubkeys.find(identity_);
        if (removed != hidden_.removedSubkeys.end()) {
            *count = *count > removed->second ? *count - removed->second : 0;
        }
        return kErrorSuccess;
    }

    Long DeleteValue(const char* name) override {
        const std::string valueName = name == nullptr ? "" : name;
        if (Gone()) return kErrorKeyDeleted;
        if (!writable_) return kErrorAccessDenied;
        if (hidden_.ValueGone(identity_, valueName)) return kErrorFileNotFound;
        if (key_) {
            Dword size = 0;
            const Long present = key_->QueryValue(valueName.c_str(), nullptr, nullptr, &size);
            if (present != kErrorSuccess) return present;
        }
        hidden_.RemoveValue(identity_, valueName);
        return kErrorSuccess;
    }

    // A run sets no value; only a restore does, and a view makes nothing.
    Long SetValue(const char*, Dword, const unsigned char*, Dword) override {
        return kErrorAccessDenied;
    }

    Long SetSecurity(Dword, const char* sddl) override {
        if (Gone()) return kErrorKeyDeleted;
        if (!writable_) return kErrorAccessDenied;
        return view_.RecordKeyDacl(root_, path_, sddl);
    }

  private:
    // Whether the view removed this key (or one above it) since it was opened; looked up
    // again only after a removal.
    bool Gone() {
        if (checkedAt_ != hidden_.events.size()) {
            checkedAt_ = hidden_.events.size();
            gone_ = hidden_.KeyGone(identity_);
        }
        return gone_;
    }

    Long Refusal() {
        if (Gone()) return kErrorKeyDeleted;
        return key_ ? kErrorSuccess : kErrorAccessDenied;
    }

    std::unique_ptr<RegistryKey> key_;
    PreviewOverlay& view_;
    Hidden& hidden_;
    Root root_;
    std::string path_;
    std::string identity_;
    bool writable_;
    EntryCursor subkeys_;
    EntryCursor values_;
    size_t checkedAt_ = static_cast<size_t>(-1);
    bool gone_ = false;
};

// A search of the machine less the files and folders the view removed, with the
// attributes the view wrote.
class ViewSearch final : public FileSearch {
  public:
    ViewSearch(std::unique_ptr<FileSearch> search, const Hidden& hidden, std::string folder)
        : search_(std::move(search)), hidden_(hidden), folder_(std::move(folder)) {}

    bool Next(FindData* data) override {
        while (search_->Next(data)) {
            if (Shown(data)) return true;
        }
        return false;
    }

    // False for an entry the view removed; else the entry with the view's attributes.
    bool Shown(FindData* data) const {
        const std::string name = data->name;
        if (name == "." || name == "..") return true;
        const std::string file = FileIdentity(folder_ + name);
        if (hidden_.FileGone(file)) return false;
        if (const std::optional<Dword> written = hidden_.WrittenAttributes(file)) {
            data->attributes = *written;
        }
        return true;
    }

  private:
    std::unique_ptr<FileSearch> search_;
    const Hidden& hidden_;
    std::string folder_;  // the pattern's folder, with its trailing backslash
};

// The machine's present devices less those whose instance key the view removed. The
// members are fixed when the set is made, as SetupAPI fixes them.
class ViewDeviceSet final : public DeviceSet {
  public:
    ViewDeviceSet(std::unique_ptr<DeviceSet> set, PreviewOverlay& view, Hidden& hidden)
        : set_(std::move(set)), view_(view), hidden_(hidden) {
        for (Dword index = 0; set_->EnumMember(index); ++index) {
            if (!hidden_.KeyGone(InstanceKey(index))) members_.push_back(index);
        }
    }

    bool EnumMember(Dword index) override { return index < members_.size(); }
    bool ReadProperty(Dword index, Dword property, char* buffer, Dword size) override {
        return index < members_.size() &&
               set_->ReadProperty(members_[index], property, buffer, size);
    }
    bool ReadInstanceId(Dword index, char* buffer, Dword size) override {
        return index < members_.size() && set_->ReadInstanceId(members_[index], buffer, size);
    }
    // Windows' removal, by its footprint: the keys it takes go from the view.
    bool RemoveMember(Dword index) override {
        if (index >= members_.size()) return false;
        char instanceId[kInstanceIdBuffer] = {};
        if (!set_->ReadInstanceId(members_[index], instanceId, kInstanceIdBuffer)) return false;
        const std::vector<std::string> keys = view_.footprints().Keys(instanceId);
        for (const std::string& key : keys) hidden_.RemoveKey(hidden_.Key(Root::LocalMachine, key));
        return !keys.empty();
    }

  private:
    std::string InstanceKey(Dword index) {
        char instanceId[kInstanceIdBuffer] = {};
        if (!set_->ReadInstanceId(index, instanceId, kInstanceIdBuffer)) return "";
        return hidden_.Key(Root::LocalMachine,
                           std::string("SYSTEM\\CurrentControlSet\\Enum\\") + instanceId);
    }

    std::unique_ptr<DeviceSet> set_;
    PreviewOverlay& view_;
    Hidden& hidden_;
    std::vector<Dword> members_;  // the machine's indexes still in the view
};

// A file the view lets the run write to: the log keeps what it is given, any other file
// nothing. A file that is there already answers the run's link checks as itself (opened
// for reading, as the run opens it); a new one as the plain file it would be: one name,
// no link, a final path the system can't give (as before Vista).
class UnwrittenFile final : public OpenedFile {
  public:
    UnwrittenFile(std::string* kept, std::unique_ptr<OpenedFile> existing)
        : kept_(kept), existing_(std::move(existing)) {}
    bool ReadInformation(FileInformation* information) override {
        if (existing_) return existing_->ReadInformation(information);
        information->attributes = kAttrArchive;
        information->links = 1;
        return true;
    }
    Dword FinalPath(char* buffer, Dword size) override {
        return existing_ ? existing_->FinalPath(buffer, size) : 0;
    }
    bool Write(const char* data, Dword size) override {
        if (kept_ != nullptr && data != nullptr) kept_->append(data, size);
        return true;
    }
    bool Flush() override { return true; }

  private:
    std::string* kept_;
    std::unique_ptr<OpenedFile> existing_;
};

class EndedProcess final : public Process {
  public:
    bool Wait(Dword) override { return true; }
};

// GetPrivateProfileStringA of a file that is not there: the default, cut to fit.
Dword DefaultProfileString(const char* defaultValue, char* buffer, Dword size) {
    if (buffer == nullptr || size == 0) return 0;
    const std::string text = defaultValue == nullptr ? "" : defaultValue;
    const size_t length = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<Dword>(length);
}

}  // namespace

PreviewOverlay::PreviewOverlay(Platform machine)
    : ForwardingPlatform(machine), hidden_(std::make_unique<Hidden>()), footprints_(*this) {
    // On Windows CurrentControlSet and the control set it leads to are the same keys: a
    // removal by one name is gone by the other, as the run finds it.
    std::string target;
    if (ForwardingPlatform::ReadKeyLink(Root::LocalMachine, "SYSTEM\\CurrentControlSet", &target) ==
        kErrorSuccess) {
        hidden_->LinkCurrentControlSet(target);
    }
}

PreviewOverlay::~PreviewOverlay() = default;

// --- Registry ---

Long PreviewOverlay::OpenKey(Root root, const char* path, Dword access,
                             std::unique_ptr<RegistryKey>* key) {
    if (path == nullptr || key == nullptr) {
        return ForwardingPlatform::OpenKey(root, path, access, key);
    }
    std::string identity = hidden_->Key(root, path);
    if (hidden_->KeyGone(identity)) return kErrorFileNotFound;
    std::unique_ptr<RegistryKey> opened;
    Long result = ForwardingPlatform::OpenKey(root, path, access, &opened);
    bool writable = AsksToChange(access);
    if (result == kErrorAccessDenied && hidden_->TakenOver(identity)) {
        // The grant would let this open through; read what the machine lets us read.
        result = ForwardingPlatform::OpenKey(root, path, kKeyRead, &opened);
        writable = true;
        if (result == kErrorAccessDenied && AsksToChange(access)) result = kErrorSuccess;
    }
    if (result != kErrorSuccess) return result;
    *key = std::make_unique<ViewKey>(std::move(opened), *this, *hidden_, root, path,
                                     std::move(identity), writable);
    return kErrorSuccess;
}

Long PreviewOverlay::CreateKey(Root, const char*, Dword, std::unique_ptr<RegistryKey>*,
                               Dword*) {
    return kErrorAccessDenied;
}

Long PreviewOverlay::DeleteTree(Root root, const char* path) {
    const std::string identity = hidden_->Key(root, path);
    if (hidden_->KeyGone(identity)) return kErrorFileNotFound;
    std::unique_ptr<RegistryKey> key;
    const Long present = ForwardingPlatform::OpenKey(root, path, kKeyRead, &key);
    if (present == kErrorFileNotFound || present == kErrorPathNotFound) return present;
    hidden_->RemoveKey(identity);
    return kErrorSuccess;
}

Long PreviewOverlay::ReadKeyDacl(const char* objectName, std::string* sddl) {
    Root root = Root::LocalMachine;
    std::string path;
    if (ParseSecurityObjectName(objectName, &root, &path)) {
        const std::string identity = hidden_->Key(root, path);
        if (hidden_->KeyGone(identity)) return kErrorFileNotFound;
        const auto written = hidden_->dacls.find(identity);
        if (written != hidden_->dacls.end()) {
            *sddl = written->second;
            return kErrorSuccess;
        }
    }
    return ForwardingPlatform::ReadKeyDacl(objectName, sddl);
}

Long PreviewOverlay::WriteKeyDacl(const char* objectName, Dword, const char* sddl) {
    Root root = Root::LocalMachine;
    std::string path;
    if (!ParseSecurityObjectName(objectName, &root, &path)) return kErrorInvalidParameter;
    std::unique_ptr<RegistryKey> key;
    if (hidden_->KeyGone(hidden_->Key(root, path))) return kErrorFileNotFound;
    const Long allowed = ForwardingPlatform::OpenKey(root, path.c_str(), kWriteDac, &key);
    if (allowed != kErrorSuccess) return allowed;
    return RecordKeyDacl(root, path, sddl);
}

Long PreviewOverlay::RecordKeyDacl(Root root, const std::string& path, const char* sddl) {
    const std::string identity = hidden_->Key(root, path);
    if (hidden_->KeyGone(identity)) return kErrorFileNotFound;
    std::string current;
    if (ForwardingPlatform::ReadKeyDacl(SecurityObjectName(root, path).c_str(), &current) ==
            kErrorSuccess &&
        sddl != nullptr && current == sddl) {
        hidden_->dacls.erase(identity);
    } else {
        hidden_->dacls[identity] = sddl == nullptr ? "" : sddl;
    }
    return kErrorSuccess;
}

// --- Files ---

std::unique_ptr<FileSearch> PreviewOverlay::FindFirst(const char* pattern, FindData* data) {
    const std::string text = pattern == nullptr ? "" : pattern;
    const size_t slash = text.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? "" : text.substr(0, slash + 1);
    if (!folder.empty() && hidden_->FileGone(FileIdentity(folder))) return nullptr;
    std::unique_ptr<FileSearch> search = ForwardingPlatform::FindFirst(pattern, data);
    if (!search) return nullptr;
    auto view = std::make_unique<ViewSearch>(std::move(search), *hidden_, folder);
    if (view->Shown(data) || view->Next(data)) return view;
    return nullptr;
}

Dword PreviewOverlay::GetAttributes(const char* path) {
    const std::string file = FileIdentity(path);
    if (hidden_->FileGone(file)) return kInvalidAttributes;
    if (const std::optional<Dword> written = hidden_->WrittenAttributes(file)) return *written;
    return ForwardingPlatform::GetAttributes(path);
}

bool PreviewOverlay::SetAttributes(const char* path, Dword attributes) {
    if (GetAttributes(path) == kInvalidAttributes) return false;
    hidden_->attributes[FileIdentity(path)] = attributes;
    return true;
}

// DeleteFileA refuses a folder and a read-only file. Whether another program holds the
// file then, the view can't know: the preview's list says so.
bool PreviewOverlay::DeleteFileAt(const char* path) {
    const Dword attributes = GetAttributes(path);
    if (attributes == kInvalidAttributes || (attributes & (kAttrDirectory | kAttrReadOnly))) {
        return false;
    }
    hidden_->files.insert(FileIdentity(path));
    return true;
}

bool PreviewOverlay::OpenForDelete(const char* path) {
    return !hidden_->FileGone(FileIdentity(path)) && ForwardingPlatform::OpenForDelete(path);
}

// RemoveDirectoryA removes an empty folder that is neither read-only nor a link.
bool PreviewOverlay::RemoveDirectoryAt(const char* path) {
    const Dword attributes = GetAttributes(path);
    if (attributes == kInvalidAttributes || (attributes & kAttrDirectory) == 0 ||
        (attributes & (kAttrReadOnly | kAttrReparsePoint))) {
        return false;
    }
    FindData entry;
    if (std::unique_ptr<FileSearch> search =
            FindFirst((std::string(path) + "\\*").c_str(), &entry)) {
        do {
            if (std::strcmp(entry.name, ".") != 0 && std::strcmp(entry.name, "..") != 0) {
                return false;
            }
        } while (search->Next(&entry));
    }
    hidden_->files.insert(FileIdentity(path));
    return true;
}

Dword PreviewOverlay::ReadProfileString(const char* section, const char* key,
                                        const char* defaultValue, char* buffer, Dword size,
                                        const char* file) {
    if (file != nullptr && hidden_->FileGone(FileIdentity(file))) {
        return DefaultProfileString(defaultValue, buffer, size);
    }
    return ForwardingPlatform::ReadProfileString(section, key, defaultValue, buffer, size, file);
}

bool PreviewOverlay::CreateDirectoryAt(const char*, const char*) { return false; }

bool PreviewOverlay::WriteFileFlushed(const char*, const char*, Dword) { return false; }

Long PreviewOverlay::ReadFileSecurity(const char* path, std::string* sddl) {
    if (hidden_->FileGone(FileIdentity(path))) return kErrorFileNotFound;
    return ForwardingPlatform::ReadFileSecurity(path, sddl);
}

std::unique_ptr<OpenedFile> PreviewOverlay::OpenFileAt(const char* path, Dword access, Dword share,
                                                       Dword disposition, Dword flags) {
    if ((access & (kFileAppendData | kGenericWrite | kGenericAll)) == 0) {
        return ForwardingPlatform::OpenFileAt(path, access, share, disposition, flags);
    }
    const bool log = path != nullptr && std::strcmp(path, kLogFileName) == 0;
    const Dword attributes = GetAttributes(path);
    if (attributes == kInvalidAttributes) {
        return std::make_unique<UnwrittenFile>(log ? &log_ : nullptr, nullptr);
    }
    // Where the machine's file refuses writing (read-only, open elsewhere), so does the view.
    if (attributes & (kAttrReadOnly | kAttrDirectory)) return nullptr;
    std::unique_ptr<OpenedFile> existing =
        ForwardingPlatform::OpenFileAt(path, kGenericRead, share, kOpenExisting, flags);
    if (!existing) return nullptr;
    return std::make_unique<UnwrittenFile>(log ? &log_ : nullptr, std::move(existing));
}

// --- Devices ---

std::unique_ptr<DeviceSet> PreviewOverlay::OpenPresentDevices(const char* enumerator) {
    std::unique_ptr<DeviceSet> set = ForwardingPlatform::OpenPresentDevices(enumerator);
    if (!set) return nullptr;
    return std::make_unique<ViewDeviceSet>(std::move(set), *this, *hidden_);
}

bool PreviewOverlay::UninstallOemInf(const char* infFileName, Dword) {
    char windows[kTextSize];
    const unsigned length = WindowsDirectory(windows, kTextSize);
    if (infFileName == nullptr || length == 0 || length >= static_cast<unsigned>(kTextSize)) {
        return false;
    }
    const std::string inf = std::string(windows) + "\\inf\\" + infFileName;
    if (!DeleteFileAt(inf.c_str())) return false;
    DeleteFileAt((inf.substr(0, inf.rfind('.')) + ".PNF").c_str());
    return true;
}

// --- Processes ---

// regsvr32 -u of a module that is there takes its registrations, as changes/footprints
// names them; of a missing module, nothing (regsvr32 -s fails quietly).
void PreviewOverlay::Unregister(const std::string& module) {
    const Dword attributes = GetAttributes(module.c_str());
    if (attributes == kInvalidAttributes || (attributes & kAttrDirectory) != 0) return;
    Platform view = platform();
    for (const std::string& key : ComRegistrationKeys(view, module)) {
        hidden_->RemoveKey(hidden_->Key(Root::LocalMachine, key));
    }
}

std::unique_ptr<Process> PreviewOverlay::Start(const char* commandLine, const char*) {
    Removal removal;
    if (commandLine == nullptr || !RemovalWatch::UnregistrationOf(commandLine, &removal)) {
        return nullptr;
    }
    Unregister(removal.path);
    return std::make_unique<EndedProcess>();
}

// --- System ---

Dword PreviewOverlay::RescanDevices() { return kConfigRetFailure; }

void PreviewOverlay::Sleep(Dword) {}

}  // namespace cvp
