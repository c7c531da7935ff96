#include "seam_profile.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <string_view>

namespace cvp::benchmark {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

// "X" or "X\..." but not "Xy".
bool IsUnder(std::string_view path, std::string_view area) {
    return StartsWithNoCase(path, area) &&
           (path.size() == area.size() || path[area.size()] == '\\');
}

const char* const kRegistryOpNames[] = {"open",        "enum-key",     "enum-value", "query-value",
                                        "count-keys",  "delete-value", "set-value",  "create-key",
                                        "delete-tree", "read-dacl",    "write-dacl"};
const char* const kOtherOpNames[] = {
    "devices: open set", "devices: enum member", "devices: property",      "devices: remove",
    "devices: rescan",   "files: directories",   "files: find first/next", "files: attributes",
    "files: delete",     "files: profile read",  "files: append",          "files: write, flushed",
    "files: read whole", "files: security",      "processes: start",       "processes: wait",
    "system: sleep",     "system: other"};
static_assert(std::size(kRegistryOpNames) == static_cast<size_t>(RegistryOp::Count));
static_assert(std::size(kOtherOpNames) == static_cast<size_t>(OtherOp::Count));

}  // namespace

Area AreaOf(Root root, const char* path) {
    std::string_view rest = path == nullptr ? "" : path;
    if (root == Root::ClassesRoot) {
        return IsUnder(rest, "CLSID") ? Area::Clsid : Area::Other;
    }
    if (root != Root::LocalMachine) return Area::Other;
    if (IsUnder(rest, "SOFTWARE\\Classes\\CLSID")) return Area::Clsid;
    if (!IsUnder(rest, "SYSTEM")) return Area::Other;
    rest.remove_prefix(std::min(rest.size(), std::string_view("SYSTEM\\").size()));
    const size_t slash = rest.find('\\');
    if (slash == std::string_view::npos) return Area::Other;
    rest.remove_prefix(slash + 1);  // the control set
    if (IsUnder(rest, "Services")) return Area::Services;
    if (IsUnder(rest, "Enum\\PCI")) return Area::EnumPci;
    if (IsUnder(rest, "Enum\\USB")) return Area::EnumUsb;
    if (IsUnder(rest, "Enum\\Stream")) return Area::EnumStream;
    if (rest == "Enum" || rest == "Enum\\") return Area::EnumKey;
    if (IsUnder(rest, "Enum")) return Area::EnumOther;
    if (IsUnder(rest, "Control\\Class")) return Area::Class;
    if (IsUnder(rest, "Control\\DeviceClasses")) return Area::DeviceClasses;
    if (IsUnder(rest, "Control\\MediumCache")) return Area::MediumCache;
    if (IsUnder(rest, "Control\\MediaCategories") || IsUnder(rest, "Control\\MediaInterfaces") ||
        IsUnder(rest, "Control\\MediaSets")) {
        return Area::Media;
    }
    if (IsUnder(rest, "Control")) return Area::ControlOther;
    return Area::Other;
}

const char* AreaName(Area area) {
    switch (area) {
        case Area::Services:
            return "Services";
        case Area::EnumKey:
            return "Enum (the key)";
        case Area::EnumPci:
            return "Enum\\PCI";
        case Area::EnumUsb:
            return "Enum\\USB";
        case Area::EnumStream:
            return "Enum\\Stream";
        case Area::EnumOther:
            return "Enum (other buses)";
        case Area::Class:
            return "Control\\Class";
        case Area::DeviceClasses:
            return "Control\\DeviceClasses";
        case Area::MediumCache:
            return "Control\\MediumCache";
        case Area::Media:
            return "Control\\Media*";
        case Area::ControlOther:
            return "Control (other)";
        case Area::Clsid:
            return "CLSID";
        case Area::Other:
            return "other";
        case Area::Count:
            break;
    }
    return "?";
}

SeamProfile::Timer::Timer(SeamProfile& profile, OpStats& stats) : profile_(profile), stats_(stats) {
    ++stats_.calls;
    if (profile_.heapProbe_ != nullptr) heapAtStart_ = profile_.heapProbe_();
    if (profile_.timed_) start_ = std::chrono::steady_clock::now();
}

SeamProfile::Timer::~Timer() {
    if (profile_.timed_) {
        stats_.seconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }
    if (profile_.heapProbe_ != nullptr) {
        stats_.heapBytes +=
            static_cast<long long>(profile_.heapProbe_()) - static_cast<long long>(heapAtStart_);
    }
}

namespace {

class ProfiledKey final : public RegistryKey {
  public:
    ProfiledKey(SeamProfile& profile, Area area, std::unique_ptr<RegistryKey> inner)
        : profile_(profile), area_(area), inner_(std::move(inner)) {}

    Long EnumKey(Dword index, char* name, Dword* nameSize) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(area_, RegistryOp::EnumKey));
        return inner_->EnumKey(index, name, nameSize);
    }
    Long EnumValue(Dword index, char* name, Dword* nameSize, Dword* type, unsigned char* data,
                   Dword* dataSize) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(area_, RegistryOp::EnumValue));
        return inner_->EnumValue(index, name, nameSize, type, data, dataSize);
    }
    Long QueryValue(const char* name, Dword* type, unsigned char* data, Dword* dataSize) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(area_, RegistryOp::QueryValue));
        return inner_->QueryValue(name, type, data, dataSize);
    }
    Long QuerySubkeyCount(Dword* count) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(area_, RegistryOp::QuerySubkeyCount));
        return inner_->QuerySubkeyCount(count);
    }
    Long DeleteValue(const char* name) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(area_, RegistryOp::DeleteValue));
        return inner_->DeleteValue(name);
    }
    Long SetValue(const char* name, Dword type, const unsigned char* data, Dword size) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(area_, RegistryOp::SetValue));
        return inner_->SetValue(name, type, data, size);
    }
    Long SetSecurity(Dword securityInformation, const char* sddl) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(area_, RegistryOp::WriteDacl));
        return inner_->SetSecurity(securityInformation, sddl);
    }

  private:
    SeamProfile& profile_;
    Area area_;
    std::unique_ptr<RegistryKey> inner_;
};

// "MACHINE\SYSTEM\..." as the security calls name keys.
Area AreaOfObject(const char* objectName) {
    std::string_view name = objectName == nullptr ? "" : objectName;
    if (StartsWithNoCase(name, "MACHINE\\")) {
        return AreaOf(Root::LocalMachine, objectName + std::strlen("MACHINE\\"));
    }
    if (StartsWithNoCase(name, "CLASSES_ROOT\\")) {
        return AreaOf(Root::ClassesRoot, objectName + std::strlen("CLASSES_ROOT\\"));
    }
    return Area::Other;
}

class ProfiledRegistry final : public Registry {
  public:
    ProfiledRegistry(SeamProfile& profile, Registry& inner) : profile_(profile), inner_(inner) {}

    Long OpenKey(Root root, const char* path, Dword access,
                 std::unique_ptr<RegistryKey>* key) override {
        const Area area = AreaOf(root, path);
        Long result;
        {
            SeamProfile::Timer timer(profile_, profile_.Stats(area, RegistryOp::Open));
            result = inner_.OpenKey(root, path, access, key);
        }
        if (key != nullptr && *key) {
            *key = std::make_unique<ProfiledKey>(profile_, area, std::move(*key));
        }
        return result;
    }
    Long CreateKey(Root root, const char* path, Dword access, std::unique_ptr<RegistryKey>* key,
                   Dword* disposition) override {
        const Area area = AreaOf(root, path);
        Long result;
        {
            SeamProfile::Timer timer(profile_, profile_.Stats(area, RegistryOp::CreateKey));
            result = inner_.CreateKey(root, path, access, key, disposition);
        }
        if (key != nullptr && *key) {
            *key = std::make_unique<ProfiledKey>(profile_, area, std::move(*key));
        }
        return result;
    }
    Long DeleteTree(Root root, const char* path) override {
        SeamProfile::Timer timer(profile_,
                                 profile_.Stats(AreaOf(root, path), RegistryOp::DeleteTree));
        return inner_.DeleteTree(root, path);
    }
    Long ReadKeyDacl(const char* objectName, std::string* sddl) override {
        SeamProfile::Timer timer(profile_,
                                 profile_.Stats(AreaOfObject(objectName), RegistryOp::ReadDacl));
        return inner_.ReadKeyDacl(objectName, sddl);
    }
    Long WriteKeyDacl(const char* objectName, Dword securityInformation,
                      const char* sddl) override {
        SeamProfile::Timer timer(profile_,
                                 profile_.Stats(AreaOfObject(objectName), RegistryOp::WriteDacl));
        return inner_.WriteKeyDacl(objectName, securityInformation, sddl);
    }
    Long ReadKeyLink(Root root, const char* path, std::string* target) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(AreaOf(root, path), RegistryOp::Open));
        return inner_.ReadKeyLink(root, path, target);
    }

  private:
    SeamProfile& profile_;
    Registry& inner_;
};

class ProfiledSearch final : public FileSearch {
  public:
    ProfiledSearch(SeamProfile& profile, std::unique_ptr<FileSearch> inner)
        : profile_(profile), inner_(std::move(inner)) {}
    bool Next(FindData* data) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileFind));
        return inner_->Next(data);
    }

  private:
    SeamProfile& profile_;
    std::unique_ptr<FileSearch> inner_;
};

// Opening a file (the log, the receipt's journal), looking at it and writing to it all
// count as appending; a flush as a flushed write.
class ProfiledOpenedFile final : public OpenedFile {
  public:
    ProfiledOpenedFile(SeamProfile& profile, std::unique_ptr<OpenedFile> inner)
        : profile_(profile), inner_(std::move(inner)) {}
    bool ReadInformation(FileInformation* information) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileAppend));
        return inner_->ReadInformation(information);
    }
    Dword FinalPath(char* buffer, Dword size) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileAppend));
        return inner_->FinalPath(buffer, size);
    }
    bool Write(const char* data, Dword size) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileAppend));
        return inner_->Write(data, size);
    }
    bool Flush() override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileWriteFlushed));
        return inner_->Flush();
    }

  private:
    SeamProfile& profile_;
    std::unique_ptr<OpenedFile> inner_;
};

class ProfiledFiles final : public Files {
  public:
    ProfiledFiles(SeamProfile& profile, Files& inner) : profile_(profile), inner_(inner) {}

    unsigned WindowsDirectory(char* buffer, unsigned size) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileDirectories));
        return inner_.WindowsDirectory(buffer, size);
    }
    unsigned SystemDirectory(char* buffer, unsigned size) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileDirectories));
        return inner_.SystemDirectory(buffer, size);
    }
    std::unique_ptr<FileSearch> FindFirst(const char* pattern, FindData* data) override {
        std::unique_ptr<FileSearch> search;
        {
            SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileFind));
            search = inner_.FindFirst(pattern, data);
        }
        if (!search) return search;
        return std::make_unique<ProfiledSearch>(profile_, std::move(search));
    }
    Dword GetAttributes(const char* path) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileAttributes));
        return inner_.GetAttributes(path);
    }
    bool SetAttributes(const char* path, Dword attributes) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileAttributes));
        return inner_.SetAttributes(path, attributes);
    }
    bool DeleteFileAt(const char* path) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileDelete));
        return inner_.DeleteFileAt(path);
    }
    bool OpenForDelete(const char* path) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileDelete));
        return inner_.OpenForDelete(path);
    }
    bool RemoveDirectoryAt(const char* path) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileDelete));
        return inner_.RemoveDirectoryAt(path);
    }
    Dword ReadProfileString(const char* section, const char* key, const char* defaultValue,
                            char* buffer, Dword size, const char* file) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileProfileRead));
        return inner_.ReadProfileString(section, key, defaultValue, buffer, size, file);
    }
    std::unique_ptr<OpenedFile> OpenFileAt(const char* path, Dword access, Dword share,
                                           Dword disposition, Dword flags) override {
        std::unique_ptr<OpenedFile> file;
        {
            SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileAppend));
            file = inner_.OpenFileAt(path, access, share, disposition, flags);
        }
        if (!file) return file;
        return std::make_unique<ProfiledOpenedFile>(profile_, std::move(file));
    }
    Dword FullPath(const char* path, char* buffer, Dword size) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileAppend));
        return inner_.FullPath(path, buffer, size);
    }
    bool WriteFileFlushed(const char* path, const char* data, Dword size) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileWriteFlushed));
        return inner_.WriteFileFlushed(path, data, size);
    }
    bool ReadWholeFile(const char* path, std::string* content) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileRead));
        return inner_.ReadWholeFile(path, content);
    }
    bool CreateDirectoryAt(const char* path, const char* sddl) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileWriteFlushed));
        return inner_.CreateDirectoryAt(path, sddl);
    }
    Long ReadFileSecurity(const char* path, std::string* sddl) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::FileSecurity));
        return inner_.ReadFileSecurity(path, sddl);
    }

  private:
    SeamProfile& profile_;
    Files& inner_;
};

class ProfiledDeviceSet final : public DeviceSet {
  public:
    ProfiledDeviceSet(SeamProfile& profile, std::unique_ptr<DeviceSet> inner)
        : profile_(profile), inner_(std::move(inner)) {}
    bool EnumMember(Dword index) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::DeviceEnum));
        return inner_->EnumMember(index);
    }
    bool ReadProperty(Dword index, Dword property, char* buffer, Dword size) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::DeviceProperty));
        return inner_->ReadProperty(index, property, buffer, size);
    }
    bool ReadInstanceId(Dword index, char* buffer, Dword size) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::DeviceProperty));
        return inner_->ReadInstanceId(index, buffer, size);
    }
    bool RemoveMember(Dword index) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::DeviceRemove));
        return inner_->RemoveMember(index);
    }

  private:
    SeamProfile& profile_;
    std::unique_ptr<DeviceSet> inner_;
};

class ProfiledDevices final : public Devices {
  public:
    ProfiledDevices(SeamProfile& profile, Devices& inner) : profile_(profile), inner_(inner) {}
    std::unique_ptr<DeviceSet> OpenPresentDevices(const char* enumerator) override {
        std::unique_ptr<DeviceSet> set;
        {
            SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::DevicesOpen));
            set = inner_.OpenPresentDevices(enumerator);
        }
        // The set is destroyed (SetupDiDestroyDeviceInfoList) inside the wrapper's
        // destructor, which the next open's time does not include.
        if (!set) return set;
        return std::make_unique<ProfiledDeviceSet>(profile_, std::move(set));
    }
    Dword RescanDevices() override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::DeviceRescan));
        return inner_.RescanDevices();
    }
    bool UninstallOemInf(const char* infFileName, Dword flags) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::DevicesOpen));
        return inner_.UninstallOemInf(infFileName, flags);
    }

  private:
    SeamProfile& profile_;
    Devices& inner_;
};

class ProfiledProcess final : public Process {
  public:
    ProfiledProcess(SeamProfile& profile, std::unique_ptr<Process> inner)
        : profile_(profile), inner_(std::move(inner)) {}
    bool Wait(Dword milliseconds) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::ProcessWait));
        return inner_->Wait(milliseconds);
    }

  private:
    SeamProfile& profile_;
    std::unique_ptr<Process> inner_;
};

class ProfiledProcesses final : public Processes {
  public:
    ProfiledProcesses(SeamProfile& profile, Processes& inner) : profile_(profile), inner_(inner) {}
    std::unique_ptr<Process> Start(const char* commandLine, const char* currentDirectory) override {
        std::unique_ptr<Process> process;
        {
            SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::ProcessStart));
            process = inner_.Start(commandLine, currentDirectory);
        }
        if (!process) return process;
        return std::make_unique<ProfiledProcess>(profile_, std::move(process));
    }

  private:
    SeamProfile& profile_;
    Processes& inner_;
};

class ProfiledSystem final : public System {
  public:
    ProfiledSystem(SeamProfile& profile, System& inner) : profile_(profile), inner_(inner) {}
    void Sleep(Dword milliseconds) override {
        profile_.AddSleep(milliseconds);
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::Sleep));
        inner_.Sleep(milliseconds);
    }
    int LoadText(unsigned id, char* buffer, int size) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::SystemOther));
        return inner_.LoadText(id, buffer, size);
    }
    int UserCountryCode(char* buffer, int size) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::SystemOther));
        return inner_.UserCountryCode(buffer, size);
    }
    bool ReadOsVersion(OsVersion* version) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::SystemOther));
        return inner_.ReadOsVersion(version);
    }
    void ReadLocalTime(LocalTime* time) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::SystemOther));
        inner_.ReadLocalTime(time);
    }
    Dword AnsiCodePage() override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::SystemOther));
        return inner_.AnsiCodePage();
    }
    bool ProcessUser(std::string* sid) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::SystemOther));
        return inner_.ProcessUser(sid);
    }
    bool ReadPciConfig(Dword bus, Dword device, Dword reg, Dword* value) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::SystemOther));
        return inner_.ReadPciConfig(bus, device, reg, value);
    }
    bool QueryWow64(bool* wow64) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::SystemOther));
        return inner_.QueryWow64(wow64);
    }
    bool CheckAdministratorsMembership(bool* member) override {
        SeamProfile::Timer timer(profile_, profile_.Stats(OtherOp::SystemOther));
        return inner_.CheckAdministratorsMembership(member);
    }

  private:
    SeamProfile& profile_;
    System& inner_;
};

}  // namespace

struct SeamProfile::Wrappers {
    Wrappers(SeamProfile& profile, Platform& inner)
        : registry(profile, inner.registry),
          files(profile, inner.files),
          devices(profile, inner.devices),
          processes(profile, inner.processes),
          system(profile, inner.system),
          platform{registry, files, devices, processes, system} {}

    ProfiledRegistry registry;
    ProfiledFiles files;
    ProfiledDevices devices;
    ProfiledProcesses processes;
    ProfiledSystem system;
    Platform platform;
};

SeamProfile::SeamProfile(Platform& inner, bool timed)
    : timed_(timed), wrappers_(std::make_unique<Wrappers>(*this, inner)) {}

SeamProfile::~SeamProfile() = default;

Platform& SeamProfile::platform() { return wrappers_->platform; }

long SeamProfile::RegistryCalls() const {
    long calls = 0;
    for (const auto& area : registry_) {
        for (const OpStats& stats : area) calls += stats.calls;
    }
    return calls;
}

namespace {

// One line of the table: the name columns, the calls, and the time and heap columns
// that this profile keeps.
void PrintLine(std::FILE* out, const char* name, const char* op, const OpStats& stats, bool timed,
               bool heap) {
    std::fprintf(out, "  %-24s %-14s %10ld", name, op, stats.calls);
    if (timed) std::fprintf(out, " %10.1f", stats.seconds * 1000);
    if (heap) std::fprintf(out, " %10.1f", static_cast<double>(stats.heapBytes) / 1024);
    std::fprintf(out, "\n");
}

}  // namespace

void SeamProfile::Print(std::FILE* out, double wallSeconds) const {
    const bool heap = heapProbe_ != nullptr;
    std::fprintf(out, "  %-24s %-14s %10s%s%s\n", "area", "operation", "calls",
                 timed_ ? "         ms" : "", heap ? "   heap KiB" : "");
    OpStats registry;
    for (int a = 0; a < static_cast<int>(Area::Count); ++a) {
        OpStats area;
        for (int op = 0; op < static_cast<int>(RegistryOp::Count); ++op) {
            const OpStats& stats = registry_[a][op];
            if (stats.calls == 0) continue;
            area.calls += stats.calls;
            area.seconds += stats.seconds;
            area.heapBytes += stats.heapBytes;
            PrintLine(out, AreaName(static_cast<Area>(a)), kRegistryOpNames[op], stats, timed_,
                      heap);
        }
        if (area.calls == 0) continue;
        registry.calls += area.calls;
        registry.seconds += area.seconds;
        PrintLine(out, AreaName(static_cast<Area>(a)), "(all)", area, timed_, heap);
    }
    double otherSeconds = 0;
    for (int op = 0; op < static_cast<int>(OtherOp::Count); ++op) {
        const OpStats& stats = other_[op];
        if (stats.calls == 0) continue;
        otherSeconds += stats.seconds;
        PrintLine(out, kOtherOpNames[op], "", stats, timed_, heap);
    }
    std::fprintf(out, "  registry calls %ld", registry.calls);
    if (timed_) {
        std::fprintf(out,
                     ", %.1f ms; other seam calls %.1f ms (sleeps asked %.0f ms); "
                     "outside the seam %.1f ms; whole %.1f ms",
                     registry.seconds * 1000, otherSeconds * 1000, sleptMilliseconds_,
                     (wallSeconds - registry.seconds - otherSeconds) * 1000, wallSeconds * 1000);
    }
    std::fprintf(out, "\n");
}

}  // namespace cvp::benchmark
